#include "output_files.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "command_line.h"
#include "platform.h"

namespace tavrix_tool {

std::string NumberedName(const std::string& prefix, int index, const std::string& suffix,
                         const std::string& extension) {
  char number[16];
  std::snprintf(number, sizeof number, "%04d", index);
  return prefix + "_" + number + suffix + "." + extension;
}

void RequireOutputFolder(const std::string& path) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  std::error_code error;
  if (!folder.empty() && !std::filesystem::is_directory(folder, error))
    throw Failure(folder.string() + ": no such folder for the output");
}

void WriteAtomically(const std::string& path, bool overwrite,
                     const std::function<std::string(const std::string& temporaryPath)>& write) {
  std::error_code error;
  if (!overwrite && std::filesystem::exists(path, error))
    throw Failure(path + ": exists already (--force replaces it)");
  const std::string temporary = TemporaryNameBeside(path);
  const std::string reason = write(temporary);
  if (!reason.empty()) {
    std::remove(temporary.c_str());
    throw Failure(path + ": " + reason);
  }
  if (!ReplaceFile(temporary, path)) {
    std::remove(temporary.c_str());
    throw Failure(path + ": cannot rename the finished file into place");
  }
}

}  // namespace tavrix_tool
