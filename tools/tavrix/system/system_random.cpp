#include "system/system_random.h"

#ifdef _WIN32
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>
#else
#include <errno.h>
#include <sys/random.h>

#include <cstring>
#endif

namespace tavrix_tool {

#ifdef _WIN32

std::string SystemRandomBytes(unsigned char* bytes, size_t count) {
  const NTSTATUS status =
      BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(count), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  if (status != 0) return "BCryptGenRandom failed (status " + std::to_string(long(status)) + ")";
  return "";
}

#else

std::string SystemRandomBytes(unsigned char* bytes, size_t count) {
  size_t filled = 0;
  while (filled < count) {
    // Blocks only until the system's generator is first seeded, at boot.
    const ssize_t got = getrandom(bytes + filled, count - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::string("getrandom failed: ") + std::strerror(errno);
    }
    filled += size_t(got);
  }
  return "";
}

#endif

}  // namespace tavrix_tool
