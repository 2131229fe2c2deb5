// tavrix: the detector's command-line tool. One subcommand per task; see
// `tavrix help`.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/interrupt.h"
#include "cli/program_start.h"
#include "commands/commands.h"
#include "commands/image_output.h"

namespace {

using tavrix_tool::Command;

const Command* const kCommands[] = {
    &tavrix_tool::kAcquireCommand, &tavrix_tool::kCalibrateCommand, &tavrix_tool::kCorrectCommand,
    &tavrix_tool::kEnhanceCommand, &tavrix_tool::kMapsCommand,      &tavrix_tool::kQaCommand,
    &tavrix_tool::kRawFromImageCommand, &tavrix_tool::kSendCommand, &tavrix_tool::kWorklistCommand,
};

void PrintOverview(std::FILE* out) {
  std::fprintf(out, "usage: tavrix COMMAND [OPTIONS...]\n\ncommands:\n");
  for (const Command* command : kCommands) std::fprintf(out, "  %-16s %s\n", command->name, command->summary);
  std::fprintf(out,
               "\n`tavrix COMMAND --help` shows a command's options; `tavrix --version` the version.\n"
               "Exit status: 0 done, 1 failed (one line on standard error says why), 2 wrong usage,\n"
               "3 files stay unsent in the outbox (send, acquire --send), 130 stopped by Ctrl-C\n"
               "at a safe point (the files finished stay, nothing partial).\n");
}

void PrintUsage(const Command& command, std::FILE* out) {
  std::fprintf(out, "%s", command.usage);
  if (command.writesImages) std::fprintf(out, "%s", tavrix_tool::kImageOutputUsage);
}

const Command* Find(const std::string& name) {
  for (const Command* command : kCommands)
    if (name == command->name) return command;
  return nullptr;
}

// Only the first word here: later ones are the option parser's, which knows
// a value ("--patient-name -h") from a request for help.
bool AsksForHelp(const std::vector<std::string>& words) {
  return !words.empty() && (words[0] == "--help" || words[0] == "-h");
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = tavrix_tool::Utf8Arguments(argc, argv);
  if (args.empty()) {
    PrintOverview(stderr);
    return 2;
  }
  const std::string& name = args[0];
  if (name == "help" || name == "--help" || name == "-h") {
    const Command* command = args.size() > 1 ? Find(args[1]) : nullptr;
    if (command != nullptr) {
      PrintUsage(*command, stdout);
    } else {
      PrintOverview(stdout);
    }
    return 0;
  }
  if (name == "--version") {
    std::printf("tavrix %s\n", tavrix_tool::VersionString().c_str());
    return 0;
  }
  const Command* command = Find(name);
  if (command == nullptr) {
    std::fprintf(stderr, "tavrix: unknown command '%s'\n\n", name.c_str());
    PrintOverview(stderr);
    return 2;
  }
  const std::vector<std::string> words(args.begin() + 1, args.end());
  if (AsksForHelp(words)) {
    PrintUsage(*command, stdout);
    return 0;
  }
  if (!tavrix_tool::GrabberModuleReachable()) {
    std::fprintf(stderr, "tavrix: %s not found: the frame grabber's module belongs beside tavrix\n",
                 tavrix_tool::kGrabberModuleName);
    return 1;
  }
  try {
    return command->run(words);
  } catch (const tavrix_tool::HelpRequested&) {
    PrintUsage(*command, stdout);
    return 0;
  } catch (const tavrix_tool::UsageError& error) {
    std::fprintf(stderr, "tavrix %s: %s\n\n", command->name, error.what());
    PrintUsage(*command, stderr);
    return 2;
  } catch (const tavrix_tool::Interrupted& error) {
    std::fprintf(stderr, "tavrix %s: %s\n", command->name, error.what());
    return tavrix_tool::kInterruptedStatus;
  } catch (const tavrix_tool::Failure& error) {
    std::fprintf(stderr, "tavrix %s: %s\n", command->name, error.what());
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tavrix %s: %s\n", command->name, error.what());
    return 1;
  }
}
