#include "system/utc_time.h"

#include <ctime>

namespace tavrix_tool {

std::string UtcNow(const char* format) {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  // The thread-safe gmtime of each system.
#if defined(_WIN32)
  gmtime_s(&utc, &now);
#else
  gmtime_r(&now, &utc);
#endif
  char text[32];
  std::strftime(text, sizeof text, format, &utc);
  return text;
}

}  // namespace tavrix_tool
