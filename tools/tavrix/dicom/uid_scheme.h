// The station's unique identifiers. Under an organisation's root (from
// --uid-root or the station configuration) a UID is ROOT.<random digits>,
// as many digits as fit in 64 characters (at most 39); without a root it is
// 2.25.<a random UUID as one decimal number>, the form that needs no
// registration. Either way the digits come from the system's generator, so
// two stations never collide without a counter to keep.
#pragma once

#include <string>

namespace tavrix_tool {

// The longest root: leaves room for at least 20 random digits (66 bits).
constexpr size_t kMaxUidRootLength = 43;

// The file meta information's implementation class UID and version name:
// the project's own, under 2.25. from the fixed UUID
// a3d85d97-55ec-463a-a799-8b267e0d81db.
extern const char* const kImplementationClassUid;
extern const char* const kImplementationVersionName;  // "TAVRIX_1.0.0", at most 16 characters

// "" when `root` can prefix the station's UIDs; otherwise the rule it
// breaks, beginning with `field`.
std::string CheckUidRoot(const std::string& field, const std::string& root);

// "2.25." and the 16 bytes (big-endian, as a UUID is written) as one
// decimal number.
std::string UuidUid(const unsigned char uuid[16]);

// A new UID under `root` ("" for the 2.25. form); `root` must pass
// CheckUidRoot. Throws std::runtime_error when the system gives no random
// bytes.
std::string NewUid(const std::string& root);

}  // namespace tavrix_tool
