// The subcommands of tavrix. Each takes the words after its name, throws
// UsageError or Failure (command_line.h), and returns the exit status.
#pragma once

#include <string>
#include <vector>

namespace tavrix_tool {

struct Command {
  const char* name;
  const char* summary;  // one line for `tavrix help`
  const char* usage;    // the whole usage text, starting "usage: tavrix NAME"
  int (*run)(const std::vector<std::string>& words);
  bool writesImages = false;  // the usage goes on with the image output options
};

extern const Command kAcquireCommand;
extern const Command kCalibrateCommand;
extern const Command kCorrectCommand;
extern const Command kEnhanceCommand;
extern const Command kMapsCommand;
extern const Command kQaCommand;
extern const Command kRawFromImageCommand;
extern const Command kSendCommand;
extern const Command kWorklistCommand;

}  // namespace tavrix_tool
