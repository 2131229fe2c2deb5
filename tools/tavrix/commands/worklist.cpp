// tavrix worklist: the department's scheduled exams, as the worklist
// answers a C-FIND on the Modality Worklist model.
#include <cstdio>
#include <vector>

#include "commands/commands.h"
#include "dicom/value_checks.h"
#include "network/worklist_query.h"
#include "system/system_places.h"
#include "commands/outbox_sending.h"

namespace tavrix_tool {

namespace {

const char* const kUsage =
    "usage: tavrix worklist [--from AE@HOST:PORT|default] [--date YYYYMMDD] [--station AE]\n"
    "                       [--calling-ae AE] [--config FILE]\n"
    "\n"
    "Lists the scheduled procedure steps of the department's modality worklist: date and\n"
    "time, accession number, patient ID, name, birth date and sex, and the step. Take one\n"
    "with `tavrix acquire --worklist AE@HOST:PORT --accession N`.\n"
    "\n"
    "  --from AE@HOST:PORT        the worklist (\"default\", or left out: the configuration's)\n"
    "  --date YYYYMMDD            only steps scheduled that day (default: every day)\n"
    "  --station AE               only steps scheduled for that station's AE title\n"
    "  --calling-ae AE            this station's AE title (default: the configuration's\n"
    "                             ae_title, else TAVRIX)\n"
    "  --config FILE              the station configuration (default " TAVRIX_STATION_CONFIG_PLACE ")\n"
    "\n"
    "Exit status: 0 answered (also with no step), 1 the worklist could not be asked.\n";

// `text` ("-" when empty) padded to `width` characters and a space: names
// such as Müller hold more bytes than characters.
std::string Column(const std::string& text, size_t width) {
  const std::string shown = text.empty() ? "-" : text;
  size_t characters = 0;
  for (const char byte : shown) characters += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
  return shown + std::string(characters < width ? width - characters : 0, ' ') + " ";
}

void PrintSteps(const std::vector<ScheduledStep>& steps) {
  std::printf("%-8s %-6s %-16s %-16s %-28s %-8s %-3s %s\n", "date", "time", "accession", "patient ID",
              "patient name", "born", "sex", "step");
  for (const ScheduledStep& step : steps) {
    const std::string line = Column(step.stepStartDate, 8) + Column(step.stepStartTime.substr(0, 6), 6) +
                             Column(step.accessionNumber, 16) + Column(step.patientId, 16) +
                             Column(step.patientName, 28) + Column(step.patientBirthDate, 8) +
                             Column(step.patientSex, 3) + (step.stepDescription.empty() ? "-" : step.stepDescription) +
                             (step.stationAeTitle.empty() ? "" : " @" + step.stationAeTitle);
    std::printf("%s\n", line.c_str());
  }
  std::printf("%zu scheduled step(s)\n", steps.size());
}

int Run(const std::vector<std::string>& words) {
  const Arguments arguments(
      words, {{"--from", true}, {"--date", true}, {"--station", true}, {"--calling-ae", true}, {"--config", true}});
  if (!arguments.Positionals().empty()) throw UsageError("unexpected argument " + arguments.Positionals()[0]);
  WorklistFilter filter;
  filter.date = arguments.Value("--date");
  filter.stationAeTitle = arguments.Value("--station");
  std::string problem = CheckValue("--date", Vr::kDA, filter.date);
  if (problem.empty()) problem = CheckWorklistFilter(filter);
  if (!problem.empty()) throw UsageError(problem);
  const StationSettings station = ReadStationSettings(arguments);
  PeerConnection connection;
  if (arguments.Has("--from")) {
    connection.peer = PeerAddress(arguments, "--from", station.worklist, "worklist");
  } else if (station.worklist) {
    connection.peer = *station.worklist;
  } else {
    throw UsageError("--from AE@HOST:PORT is required (the station configuration names no worklist)");
  }
  connection.callingAeTitle = CallingAeTitle(arguments, station);
  const WorklistAnswer answer = QueryWorklist(connection, filter);
  if (!answer.error.empty()) throw Failure(answer.error);
  PrintSteps(answer.steps);
  return 0;
}

}  // namespace

const Command kWorklistCommand = {"worklist", "list the scheduled exams of the department's worklist", kUsage, Run};

}  // namespace tavrix_tool
