// SHA-256, the one digest the tool records (maps in an image's record). The
// system's own implementation on each: OpenSSL's libcrypto on Linux, where
// every distribution ships it; CNG (bcrypt.dll) on Windows, part of Windows
// itself, so the station's program carries and updates no crypto library.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace tavrix_tool {

class Sha256Digest {
 public:
  Sha256Digest();  // Failure when the system offers no SHA-256
  ~Sha256Digest();
  Sha256Digest(const Sha256Digest&) = delete;
  Sha256Digest& operator=(const Sha256Digest&) = delete;

  void Update(const void* bytes, size_t count);
  // The digest in lower-case hex; call once, after the last Update.
  std::string Hex();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// 32 bytes as 64 lower-case hex digits.
std::string HexOfDigest(const unsigned char* digest, size_t length);

}  // namespace tavrix_tool
