#include "dicom/uid_scheme.h"

#include <stdexcept>

#include "system/system_random.h"
#include "dicom/value_checks.h"

namespace tavrix_tool {

namespace {

constexpr size_t kMaxUidLength = 64;
constexpr size_t kMaxRandomDigits = 39;  // as many as a 128-bit number has
constexpr size_t kUuidBytes = 16;

void RandomBytes(unsigned char* bytes, size_t count) {
  const std::string problem = SystemRandomBytes(bytes, count);
  if (!problem.empty()) throw std::runtime_error("no new UID: " + problem);
}

// Uniform decimal digits, the first not zero (a UID component has no
// leading zero). Bytes from 250 up are dropped so that each digit is as
// likely as the others.
std::string RandomDigits(size_t count) {
  std::string digits;
  unsigned char pool[64];
  while (digits.size() < count) {
    RandomBytes(pool, sizeof pool);
    for (unsigned char byte : pool) {
      if (byte >= 250 || digits.size() == count) continue;
      const char digit = char('0' + byte % 10);
      if (digits.empty() && digit == '0') continue;
      digits += digit;
    }
  }
  return digits;
}

}  // namespace

const char* const kImplementationClassUid = "2.25.217787597688522353286232719102680334811";
const char* const kImplementationVersionName = "TAVRIX_1.0.0";

std::string CheckUidRoot(const std::string& field, const std::string& root) {
  if (root.empty()) return field + ": empty; leave it out for the 2.25. form";
  const std::string problem = CheckValue(field, Vr::kUI, root);
  if (!problem.empty()) return problem;
  if (root.size() > kMaxUidRootLength)
    return field + ": " + std::to_string(root.size()) + " characters; a root may have " +
           std::to_string(kMaxUidRootLength) + ", leaving 20 digits of the 64 a UID has for the unique part";
  return "";
}

std::string UuidUid(const unsigned char uuid[16]) {
  unsigned char number[kUuidBytes];
  for (size_t i = 0; i < kUuidBytes; ++i) number[i] = uuid[i];
  // Long division by ten, the remainders being the digits from the last.
  std::string reversed;
  bool zero = false;
  while (!zero) {
    unsigned remainder = 0;
    zero = true;
    for (unsigned char& byte : number) {
      const unsigned value = remainder * 256 + byte;
      byte = static_cast<unsigned char>(value / 10);
      remainder = value % 10;
      if (byte != 0) zero = false;
    }
    reversed += char('0' + remainder);
  }
  return "2.25." + std::string(reversed.rbegin(), reversed.rend());
}

std::string NewUid(const std::string& root) {
  if (root.empty()) {
    unsigned char uuid[kUuidBytes];
    RandomBytes(uuid, sizeof uuid);
    uuid[6] = static_cast<unsigned char>((uuid[6] & 0x0F) | 0x40);  // version 4: random
    uuid[8] = static_cast<unsigned char>((uuid[8] & 0x3F) | 0x80);  // the variant of RFC 4122
    return UuidUid(uuid);
  }
  const size_t room = kMaxUidLength - root.size() - 1;
  return root + "." + RandomDigits(room < kMaxRandomDigits ? room : kMaxRandomDigits);
}

}  // namespace tavrix_tool
