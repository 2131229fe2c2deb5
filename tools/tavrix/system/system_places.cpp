#include "system/system_places.h"

#include <cstdlib>

namespace tavrix_tool {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

#ifdef _WIN32

std::string DefaultStationConfigPath() {
  const std::string programData = Environment("ProgramData");
  return (programData.empty() ? std::string("C:\\ProgramData") : programData) + "\\Tavrix\\station.conf";
}

std::string DefaultOutboxFolder() {
  const std::string local = Environment("LOCALAPPDATA");
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
