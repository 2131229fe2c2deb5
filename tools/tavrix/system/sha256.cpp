#include "system/sha256.h"

namespace tavrix_tool {

std::string HexOfDigest(const unsigned char* digest, size_t length) {
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (size_t i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

}  // namespace tavrix_tool
