#include "cli/command_line.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace tavrix_tool {

namespace {

const OptionSpec* Find(const std::vector<OptionSpec>& options, const std::string& name) {
  for (const OptionSpec& option : options)
    if (option.name == name) return &option;
  return nullptr;
}

// Digits with an optional leading minus: "+1", " 1" and "1.0" are not
// whole numbers as written.
bool ParseInteger(const std::string& text, long& value) {
  const size_t digits = text.size() - (text.empty() || text[0] != '-' ? 0 : 1);
  if (digits == 0 || text.find_first_not_of("0123456789", text.size() - digits) != std::string::npos) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtol(text.c_str(), &end, 10);
  return errno == 0 && end != nullptr && *end == '\0';
}

}  // namespace

Arguments::Arguments(const std::vector<std::string>& words, const std::vector<OptionSpec>& options) {
  bool optionsEnded = false;
  std::vector<std::string>* list = nullptr;  // the list option being read
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (optionsEnded || word.size() < 2 || word[0] != '-') {
      (list != nullptr && !optionsEnded ? *list : positionals_).push_back(word);
      continue;
    }
    list = nullptr;
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    const size_t equals = word.find('=');
    const std::string name = word.substr(0, equals);
    if (name == "--help" || name == "-h") throw HelpRequested();
    const OptionSpec* option = Find(options, name);
    if (option == nullptr) throw UsageError("unknown option " + name);
    if (option->takesList) {
      if (equals != std::string::npos) throw UsageError(name + " takes files, not '=" + word.substr(equals + 1) + "'");
      values_[name] = "";
      list = &lists_[name].emplace_back();
    } else if (option->takesValue && values_.count(name) != 0) {
      throw UsageError(name + " is given twice ('" + values_[name] + "' and a second time); it takes one value");
    } else if (!option->takesValue) {
      if (equals != std::string::npos) throw UsageError(name + " takes no value");
      values_[name] = "";
    } else if (equals != std::string::npos) {
      values_[name] = word.substr(equals + 1);
    } else if (i + 1 < words.size()) {
      values_[name] = words[++i];
    } else {
      throw UsageError(name + " needs a value");
    }
  }
}

std::string Arguments::Value(const std::string& name, const std::string& fallback) const {
  const auto found = values_.find(name);
  return found == values_.end() ? fallback : found->second;
}

int Arguments::IntValue(const std::string& name, int fallback, int low, int high) const {
  if (!Has(name)) return fallback;
  long value = 0;
  if (!ParseInteger(Value(name), value) || value < low || value > high)
    throw UsageError(name + " must be an integer from " + std::to_string(low) + " to " + std::to_string(high) +
                     ", not '" + Value(name) + "'");
  return int(value);
}

double Arguments::NumberValue(const std::string& name, double fallback, double low, double high) const {
  if (!Has(name)) return fallback;
  const std::string text = Value(name);
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  const bool plain = text.find_first_not_of("0123456789.eE-") == std::string::npos;
  if (text.empty() || !plain || *end != '\0' || !(value >= low && value <= high))
    throw UsageError(name + " must be a number from " + std::to_string(low) + " to " + std::to_string(high) +
                     ", not '" + text + "'");
  return value;
}

std::vector<std::vector<std::string>> Arguments::Lists(const std::string& name) const {
  const auto found = lists_.find(name);
  return found == lists_.end() ? std::vector<std::vector<std::string>>() : found->second;
}

std::vector<std::string> Arguments::List(const std::string& name) const {
  std::vector<std::string> words;
  for (const std::vector<std::string>& list : Lists(name)) words.insert(words.end(), list.begin(), list.end());
  return words;
}

std::vector<int> ParseIntegerList(const std::string& text, size_t count, const std::string& what) {
  std::vector<int> values;
  std::stringstream stream(text);
  std::string item;
  while (std::getline(stream, item, ',')) {
    long value = 0;
    if (!ParseInteger(item, value) || value < INT32_MIN || value > INT32_MAX)
      throw UsageError(what + ": '" + item + "' is not an integer");
    values.push_back(int(value));
  }
  if (values.size() != count || (!text.empty() && text.back() == ','))
    throw UsageError(what + " takes " + std::to_string(count) + " integers separated by commas, not '" + text + "'");
  return values;
}

Formats ParseFormats(const std::string& text) {
  Formats formats;
  std::stringstream stream(text);
  std::string item;
  while (std::getline(stream, item, ',')) {
    if (item == "tiff") {
      formats.tiff = true;
    } else if (item == "png") {
      formats.png = true;
    } else if (item == "dicom") {
      formats.dicom = true;
    } else {
      throw UsageError("--format: unknown format '" + item + "' (tiff, png, dicom)");
    }
  }
  if (!formats.tiff && !formats.png && !formats.dicom) throw UsageError("--format names no format");
  return formats;
}

}  // namespace tavrix_tool
