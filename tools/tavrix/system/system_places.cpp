#include "system/system_places.h"

#include <cstdlib>

#ifdef _WIN32
#include "system/native_paths.h"
#endif

namespace tavrix_tool {

namespace {

#ifdef _WIN32
// In UTF-8: the narrow environment is in the ANSI code page, which cannot
// spell every user's name (C:\Users\Zoë\AppData\Local).
std::string Environment(const wchar_t* name) {
  const wchar_t* value = _wgetenv(name);
  return value != nullptr ? Utf8Name(std::filesystem::path(value)) : "";
}
#else
std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}
#endif

}  // namespace

#ifdef _WIN32

std::string DefaultStationConfigPath() {
  const std::string programData = Environment(L"ProgramData");
  return (programData.empty() ? std::string("C:\\ProgramData") : programData) + "\\Tavrix\\station.conf";
}

std::string DefaultOutboxFolder() {
  const std::string local = Environment(L"LOCALAPPDATA");
  return local.empty() ? "" : local + "\\Tavrix\\outbox";
}

#else

std::string DefaultStationConfigPath() { return TAVRIX_STATION_CONFIG_PLACE; }

std::string DefaultOutboxFolder() {
  // Only an absolute XDG_DATA_HOME counts, as the XDG rules say.
  const std::string data = Environment("XDG_DATA_HOME");
  if (!data.empty() && data[0] == '/') return data + "/tavrix/outbox";
  const std::string home = Environment("HOME");
  return home.empty() ? "" : home + "/.local/share/tavrix/outbox";
}

#endif

}  // namespace tavrix_tool
