#include "files/file_replacement.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "system/native_paths.h"

#if defined(_WIN32)
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace tavrix_tool {

const char* const kTargetExists = "exists already";

namespace {

int ProcessId() {
#if defined(_WIN32)
  return _getpid();
#else
  return int(getpid());
#endif
}

#if defined(_WIN32)
std::string SystemMessage(DWORD code) {
  char text[512] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text,
                 nullptr);
  std::string message(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
    message.pop_back();
  return message.empty() ? "system error " + std::to_string(code) : message;
}
#else
// renameat2 with RENAME_NOREPLACE; file systems without it (and old kernels)
// get link() + unlink(), which refuses an existing target as well.
bool RenameNoReplace(const char* from, const char* to) {
#if defined(SYS_renameat2)
  constexpr unsigned kRenameNoReplace = 1;  // RENAME_NOREPLACE
  if (syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, kRenameNoReplace) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
#endif
  if (link(from, to) != 0) return false;
  unlink(from);
  return true;
}
#endif

}  // namespace

std::string MoveIntoPlace(const std::string& from, const std::string& to, bool replace) {
#if defined(_WIN32)
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  if (MoveFileExW(FsPath(from).c_str(), FsPath(to).c_str(), flags)) return "";
  const DWORD code = GetLastError();
  if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) {
    std::error_code error;
    return std::filesystem::is_directory(FsPath(to), error) ? "a folder of that name is in the way" : kTargetExists;
  }
  return SystemMessage(code);
#else
  const bool moved = replace ? std::rename(from.c_str(), to.c_str()) == 0 : RenameNoReplace(from.c_str(), to.c_str());
  if (moved) return "";
  if (errno == EEXIST) {
    std::error_code error;
    return std::filesystem::is_directory(FsPath(to), error) ? "a folder of that name is in the way" : kTargetExists;
  }
  if (errno == EISDIR) return "a folder of that name is in the way";
  return std::strerror(errno);
#endif
}

std::string TemporaryNameBeside(const std::string& path) {
  static int counter = 0;
  const std::filesystem::path folder = FsPath(path).parent_path();
  const std::string name = ".tavrix-" + std::to_string(ProcessId()) + "-" + std::to_string(++counter) + ".part";
  return folder.empty() ? name : Utf8Name(folder / name);
}

}  // namespace tavrix_tool
