#include <openssl/evp.h>

#include "cli/command_line.h"
#include "system/sha256.h"

namespace tavrix_tool {

struct Sha256Digest::State {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  ~State() { EVP_MD_CTX_free(context); }
};

Sha256Digest::Sha256Digest() : state_(new State) {
  if (state_->context == nullptr || EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) != 1)
    throw Failure("SHA-256 unavailable (OpenSSL)");
}

Sha256Digest::~Sha256Digest() = default;

void Sha256Digest::Update(const void* bytes, size_t count) { EVP_DigestUpdate(state_->context, bytes, count); }

std::string Sha256Digest::Hex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(state_->context, digest, &length);
  return HexOfDigest(digest, length);
}
}  // namespace tavrix_tool
