// Where the station keeps its things by default, as each system expects.
#pragma once

#include <string>

// The default station configuration as usage texts show it.
#ifdef _WIN32
#define TAVRIX_STATION_CONFIG_PLACE "%ProgramData%\\Tavrix\\station.conf"
#else
#define TAVRIX_STATION_CONFIG_PLACE "/etc/tavrix/station.conf"
#endif

namespace tavrix_tool {

// The station configuration read when no --config is given:
// /etc/tavrix/station.conf on Linux, %ProgramData%\Tavrix\station.conf on
// Windows.
std::string DefaultStationConfigPath();

// The outbox when neither --outbox nor the configuration names one:
// $XDG_DATA_HOME/tavrix/outbox (by default ~/.local/share/tavrix/outbox) on
// Linux, %LOCALAPPDATA%\Tavrix\outbox on Windows. "" when the system names
// no such folder for the user.
std::string DefaultOutboxFolder();

}  // namespace tavrix_tool
