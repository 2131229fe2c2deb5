#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include "cli/command_line.h"
#include "system/sha256.h"

namespace tavrix_tool {

namespace {

constexpr ULONG kSha256Bytes = 32;

}  // namespace

struct Sha256Digest::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  ~State() {
    if (hash != nullptr) BCryptDestroyHash(hash);
    if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
};

Sha256Digest::Sha256Digest() : state_(new State) {
  // The hash object's memory is left to CNG (null buffer, Windows 7 and later).
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&state_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
      !BCRYPT_SUCCESS(BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0)))
    throw Failure("SHA-256 unavailable (CNG)");
}

Sha256Digest::~Sha256Digest() = default;

void Sha256Digest::Update(const void* bytes, size_t count) {
  // BCryptHashData takes at most 4 GB a call.
  const auto* at = static_cast<const unsigned char*>(bytes);
  while (count > 0) {
    const ULONG chunk = count > 0x40000000u ? 0x40000000u : ULONG(count);
    BCryptHashData(state_->hash, const_cast<PUCHAR>(at), chunk, 0);
    at += chunk;
    count -= chunk;
  }
}

std::string Sha256Digest::Hex() {
  unsigned char digest[kSha256Bytes];
  if (!BCRYPT_SUCCESS(BCryptFinishHash(state_->hash, digest, kSha256Bytes, 0))) throw Failure("SHA-256 failed (CNG)");
  return HexOfDigest(digest, kSha256Bytes);
}

}  // namespace tavrix_tool
