#include "commands/outbox_sending.h"

#include <cstdio>

#include "network/outbox.h"
#include "system/system_places.h"

namespace tavrix_tool {

namespace {

constexpr const char* kConfiguredPeer = "default";

const char* OutcomeText(StoreOutcome outcome) {
  switch (outcome) {
    case StoreOutcome::kStored:
      return "sent";
    case StoreOutcome::kRefused:
      return "refused";
    case StoreOutcome::kNotSent:
      return "not sent";
    case StoreOutcome::kUnreadable:
      return "set aside";
  }
  return "";
}

}  // namespace

std::string OutboxFolder(const Arguments& arguments, const StationSettings& station) {
  if (arguments.Has("--outbox")) {
    if (arguments.Value("--outbox").empty()) throw UsageError("--outbox needs a folder");
    return arguments.Value("--outbox");
  }
  if (!station.outbox.empty()) return station.outbox;
  const std::string folder = DefaultOutboxFolder();
  if (folder.empty()) throw Failure("no outbox: give --outbox DIR, or set outbox in the station configuration");
  return folder;
}

NetworkAddress PeerAddress(const Arguments& arguments, const std::string& option,
                           const std::optional<NetworkAddress>& configured, const std::string& key) {
  const std::string value = arguments.Value(option);
  if (value == kConfiguredPeer) {
    if (!configured) throw UsageError(option + " default: the station configuration names no " + key);
    return *configured;
  }
  NetworkAddress address;
  const std::string problem = ParseNetworkAddress(value, address);
  if (!problem.empty()) throw UsageError(option + ": " + problem);
  return address;
}

std::string CallingAeTitle(const Arguments& arguments, const StationSettings& station) {
  if (!arguments.Has("--calling-ae")) return station.aeTitle;
  const std::string title = arguments.Value("--calling-ae");
  const std::string problem = CheckAeTitle(title, "this station's");
  if (!problem.empty()) throw UsageError("--calling-ae: " + problem);
  return title;
}

StationSettings ReadStationSettings(const Arguments& arguments) {
  StationSettings station;
  const bool given = arguments.Has("--config");
  const std::string problem =
      LoadStationSettings(given ? arguments.Value("--config") : DefaultStationConfigPath(), given, station);
  if (!problem.empty()) throw Failure("station configuration " + problem);
  return station;
}

int SendOutbox(const std::string& outbox, const PeerConnection& connection) {
  const std::string peer = FormatNetworkAddress(connection.peer);
  std::printf("sending the outbox %s to %s\n", outbox.c_str(), peer.c_str());
  std::fflush(stdout);
  const OutboxReport report = Outbox(outbox).Send(connection, [](size_t done, size_t total, const OutboxEntry& entry) {
    std::printf("  %zu/%zu %s: %s%s%s\n", done, total, entry.file.c_str(), OutcomeText(entry.result.outcome),
                entry.result.detail.empty() ? "" : ", ", entry.result.detail.c_str());
    std::fflush(stdout);
  });
  if (!report.error.empty()) {
    std::fprintf(stderr, "tavrix: %s\n", report.error.c_str());
    return kNotAllSentStatus;
  }
  const size_t sent = report.Count(StoreOutcome::kStored);
  const size_t setAside = report.Count(StoreOutcome::kUnreadable);
  if (report.AllSent()) {
    std::printf("%zu file(s) sent to %s; the outbox is empty\n", sent, peer.c_str());
    return 0;
  }
  const size_t waiting = report.entries.size() - sent - setAside;
  const std::string setAsideNote =
      setAside ? "; " + std::to_string(setAside) + " unreadable set aside in its folder " + Outbox::kRejectedFolder : "";
  std::fprintf(stderr,
               "tavrix: %zu of %zu file(s) sent to %s; %zu wait in the outbox %s (`tavrix send --outbox %s` "
               "sends them later)%s\n",
               sent, report.entries.size(), peer.c_str(), waiting, outbox.c_str(), outbox.c_str(),
               setAsideNote.c_str());
  return kNotAllSentStatus;
}

}  // namespace tavrix_tool
