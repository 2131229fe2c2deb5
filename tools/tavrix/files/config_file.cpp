#include "files/config_file.h"

#include <fstream>
#include <sstream>

#include "system/native_paths.h"

namespace tavrix_tool {

namespace {

// A station's settings are a few dozen lines; anything far larger is not one.
constexpr std::streamoff kMaxFileBytes = 1 << 20;
constexpr const char* kUtf8ByteOrderMark = "\xEF\xBB\xBF";

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

const ConfigKey* FindKey(const std::vector<ConfigKey>& keys, const std::string& name) {
  for (const ConfigKey& key : keys)
    if (key.name == name) return &key;
  return nullptr;
}

// "" or the problem of one line (without its place).
std::string ReadLine(const std::string& raw, const std::vector<ConfigKey>& keys, int number,
                     std::map<std::string, ConfigValue>& values) {
  std::string line = raw;
  if (!line.empty() && line.back() == '\r') line.pop_back();  // written on Windows
  if (number == 1 && line.compare(0, 3, kUtf8ByteOrderMark) == 0) line.erase(0, 3);
  std::string content = Trim(line);
  if (content.empty() || content[0] == '#') return "";
  // A comment may follow a value after a space: "pacs = P@h:104  # the PACS".
  for (size_t at = content.find('#'); at != std::string::npos; at = content.find('#', at + 1))
    if (content[at - 1] == ' ' || content[at - 1] == '\t') {
      content = Trim(content.substr(0, at));
      break;
    }
  const size_t equals = content.find('=');
  if (equals == std::string::npos) return "\"" + content + "\" is no \"key = value\" line";
  const std::string name = Trim(content.substr(0, equals));
  const std::string value = Trim(content.substr(equals + 1));
  const ConfigKey* key = FindKey(keys, name);
  if (key == nullptr) return "unknown key \"" + name + "\"";
  const auto earlier = values.find(name);
  if (earlier != values.end())
    return name + " is given twice (first on line " + std::to_string(earlier->second.line) + ")";
  const std::string problem = key->check ? key->check(value) : "";
  if (!problem.empty()) return name + ": " + problem;
  values[name] = {value, number};
  return "";
}

}  // namespace

std::string ReadConfigFile(const std::string& path, const std::vector<ConfigKey>& keys,
                           std::map<std::string, ConfigValue>& values) {
  std::ifstream file(FsPath(path), std::ios::binary);
  if (!file) return path + ": cannot be read";
  file.seekg(0, std::ios::end);
  if (file.tellg() > kMaxFileBytes) return path + ": larger than a settings file can be";
  file.seekg(0);
  std::map<std::string, ConfigValue> read;
  std::string line;
  for (int number = 1; std::getline(file, line); ++number) {
    const std::string problem = ReadLine(line, keys, number, read);
    if (!problem.empty()) return path + ":" + std::to_string(number) + ": " + problem;
  }
  if (file.bad()) return path + ": reading failed";
  values = std::move(read);
  return "";
}

}  // namespace tavrix_tool
