#include "files/file_replacement.h"

#include <cstdio>

#include "files/native_paths.h"

#if defined(_WIN32)
#include <process.h>
#include <windows.h>
// windows.h names its own ReplaceFile as a macro.
#undef ReplaceFile
#else
#include <unistd.h>
#endif

namespace tavrix_tool {

namespace {

int ProcessId() {
#if defined(_WIN32)
  return _getpid();
#else
  return int(getpid());
#endif
}

}  // namespace

bool ReplaceFile(const std::string& from, const std::string& to) {
#if defined(_WIN32)
  // rename() on Windows refuses an existing target.
  return MoveFileExW(FsPath(from).c_str(), FsPath(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

std::string TemporaryNameBeside(const std::string& path) {
  static int counter = 0;
  return path + ".part-" + std::to_string(ProcessId()) + "-" + std::to_string(++counter);
}

}  // namespace tavrix_tool
