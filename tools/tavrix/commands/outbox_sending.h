// Sending an outbox to the PACS as the commands do it: one line per file as
// it is done, a summary, and the exit status: 0 when every waiting file is
// at the PACS, 3 when any stays in the outbox.
#pragma once

#include <optional>
#include <string>

#include "cli/command_line.h"
#include "network/network_address.h"
#include "dicom/station_settings.h"

namespace tavrix_tool {

// Exit status when files stay unsent in the outbox.
constexpr int kNotAllSentStatus = 3;

// The outbox named by `--outbox`, else the configuration's, else the
// system's default place; Failure when there is none.
std::string OutboxFolder(const Arguments& arguments, const StationSettings& station);

// A peer from an option's value: "AE@HOST:PORT", or "default" for the
// configuration's `configured` (named `key` in the configuration).
// UsageError naming `option` otherwise.
NetworkAddress PeerAddress(const Arguments& arguments, const std::string& option,
                           const std::optional<NetworkAddress>& configured, const std::string& key);

// This station's AE title: --calling-ae, else the configuration's.
std::string CallingAeTitle(const Arguments& arguments, const StationSettings& station);

// The configuration at --config, else at the system's default place (whose
// absence leaves the defaults); Failure naming the line that is wrong.
StationSettings ReadStationSettings(const Arguments& arguments);

// Sends every file waiting in `outbox` to `connection.peer`, showing each.
int SendOutbox(const std::string& outbox, const PeerConnection& connection);

}  // namespace tavrix_tool
