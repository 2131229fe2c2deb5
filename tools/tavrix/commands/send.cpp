// tavrix send: DICOM files to the PACS through the outbox; what the PACS
// did not take stays there for the next send.
#include <cstdio>
#include <vector>

#include "commands/commands.h"
#include "network/outbox.h"
#include "system/system_places.h"
#include "commands/outbox_sending.h"

namespace tavrix_tool {

namespace {

const char* const kUsage =
    "usage: tavrix send [--to AE@HOST:PORT|default] [--outbox DIR] [--calling-ae AE] [--config FILE] [FILE...]\n"
    "\n"
    "Puts each DICOM FILE in the outbox, then sends every file waiting there to the PACS by\n"
    "C-STORE, showing each as it goes. A file leaves the outbox only when the PACS answered\n"
    "that it has it; a PACS that is down, refuses or does not answer leaves the files for the\n"
    "next send (exit status 3). Without FILE it sends what waits, e.g. after acquire --send\n"
    "could not reach the PACS. A file that is no DICOM object is moved to the outbox's\n"
    "folder \"rejected\" with a note why.\n"
    "\n"
    "  --to AE@HOST:PORT          the PACS (\"default\", or left out: the configuration's pacs)\n"
    "  --outbox DIR               the outbox (default: the configuration's outbox, else\n"
    "                             the user's data folder, tavrix/outbox)\n"
    "  --calling-ae AE            this station's AE title (default: the configuration's\n"
    "                             ae_title, else TAVRIX)\n"
    "  --config FILE              the station configuration (default " TAVRIX_STATION_CONFIG_PLACE ")\n"
    "\n"
    "Exit status: 0 all sent, 1 failed before sending, 2 wrong usage, 3 files stay unsent.\n";

int Run(const std::vector<std::string>& words) {
  const Arguments arguments(words, {{"--to", true}, {"--outbox", true}, {"--calling-ae", true}, {"--config", true}});
  const StationSettings station = ReadStationSettings(arguments);
  PeerConnection connection;
  if (arguments.Has("--to")) {
    connection.peer = PeerAddress(arguments, "--to", station.pacs, "pacs");
  } else if (station.pacs) {
    connection.peer = *station.pacs;
  } else {
    throw UsageError("--to AE@HOST:PORT is required (the station configuration names no pacs)");
  }
  connection.callingAeTitle = CallingAeTitle(arguments, station);
  const std::string folder = OutboxFolder(arguments, station);
  // Every file is checked before any is put, so that a typing error puts none.
  for (const std::string& file : arguments.Positionals()) {
    const std::string problem = CheckStorableFile(file);
    if (!problem.empty()) throw Failure(file + ": " + problem);
  }
  const Outbox outbox(folder);
  for (const std::string& file : arguments.Positionals()) {
    const std::string problem = outbox.Put(file);
    if (!problem.empty()) throw Failure(file + ": not put in the outbox " + folder + ": " + problem);
  }
  return SendOutbox(folder, connection);
}

}  // namespace

const Command kSendCommand = {"send", "send DICOM files to the PACS through the outbox", kUsage, Run};

}  // namespace tavrix_tool
