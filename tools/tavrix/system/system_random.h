// Random bytes from the operating system's generator, for identifiers that
// no other station can choose: getrandom on Linux, BCryptGenRandom on
// Windows.
#pragma once

#include <cstddef>
#include <string>

namespace tavrix_tool {

// Fills `bytes` with `count` random bytes. Returns "" or why the system
// gave none (then nothing may be built on them).
std::string SystemRandomBytes(unsigned char* bytes, size_t count);

}  // namespace tavrix_tool
