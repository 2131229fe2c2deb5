// A settings file of "key = value" lines: '#' begins a comment, at the start
// of a line or after a space; blank lines are ignored, spaces around keys
// and values too. Every key must be
// one the reader knows, given once, and its value must pass the key's check;
// otherwise the file is refused, naming the line.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tavrix_tool {

struct ConfigKey {
  std::string name;
  // "" when the value is usable, else the rule it breaks.
  std::function<std::string(const std::string& value)> check;
};

struct ConfigValue {
  std::string value;
  int line = 0;
};

// Reads `path` into `values` (key to value and line). Returns "" or
// "PATH:LINE: what is wrong" ("PATH: ..." when the file cannot be read).
std::string ReadConfigFile(const std::string& path, const std::vector<ConfigKey>& keys,
                           std::map<std::string, ConfigValue>& values);

}  // namespace tavrix_tool
