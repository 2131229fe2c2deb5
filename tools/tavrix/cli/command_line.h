// The shared parts of every subcommand: its options, its usage, and how a
// failure reaches the user (exit 2 for wrong usage, 1 for a failure, each
// with one line on standard error).
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavrix_tool {

// Wrong usage: the message, then the subcommand's usage, on standard error;
// exit status 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A failure: "tavrix: <message>" on standard error; exit status 1. The
// message names the file or call and the reason.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// --help or -h where an option may stand (not as another option's value):
// the command's usage on standard output, exit status 0.
struct HelpRequested {};

// One option a subcommand takes: "--name" with a value, as a flag, or with
// a list of files ("--name FILE...": the words up to the next option, each
// use of the option a list of its own).
struct OptionSpec {
  std::string name;  // with the dashes: "--pixel-map", "-o"
  bool takesValue;
  bool takesList = false;
};

// A parsed command line: "--name VALUE", "--name=VALUE", flags, lists, and
// the positional arguments ("--" ends the options).
class Arguments {
 public:
  // Throws UsageError for an unknown option, a missing value or a value
  // option given twice; HelpRequested for --help or -h.
  Arguments(const std::vector<std::string>& words, const std::vector<OptionSpec>& options);

  bool Has(const std::string& name) const { return values_.count(name) != 0; }
  // The option's value, or `fallback` when it was not given.
  std::string Value(const std::string& name, const std::string& fallback = "") const;
  // An integer in [low, high], written as digits with an optional minus;
  // UsageError naming the option otherwise.
  int IntValue(const std::string& name, int fallback, int low, int high) const;
  // A decimal number in [low, high] ("0.5", "1e-3"; no sign but minus, no
  // spaces, no hex); UsageError naming the option otherwise.
  double NumberValue(const std::string& name, double fallback, double low, double high) const;
  // Each use of a list option, in order; none when it was not given.
  std::vector<std::vector<std::string>> Lists(const std::string& name) const;
  // All of a list option's words, its uses joined.
  std::vector<std::string> List(const std::string& name) const;
  const std::vector<std::string>& Positionals() const { return positionals_; }

 private:
  std::map<std::string, std::string> values_;
  std::map<std::string, std::vector<std::vector<std::string>>> lists_;
  std::vector<std::string> positionals_;
};

// Parses "a,b,c" into integers; UsageError naming `what` unless there are
// exactly `count` of them.
std::vector<int> ParseIntegerList(const std::string& text, size_t count, const std::string& what);

// The image formats a command writes: any of "tiff", "png", "dicom",
// separated by commas (default "tiff").
struct Formats {
  bool tiff = false;
  bool png = false;
  bool dicom = false;
};
Formats ParseFormats(const std::string& text);

}  // namespace tavrix_tool
