#include "folder_lock.h"

#ifdef _WIN32
#include <windows.h>

#include "system/native_paths.h"
#else
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>
#endif

namespace tavrix_tool {

namespace {
constexpr const char* kBusy = "another process holds it";
}

#ifdef _WIN32

FolderLock::FolderLock(const std::string& path) {
  const std::wstring wide = FsPath(path).wstring();
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    problem_ = "cannot open " + path + " (error " + std::to_string(GetLastError()) + ")";
    return;
  }
  OVERLAPPED start{};
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &start)) {
    problem_ = kBusy;
    CloseHandle(file);
    return;
  }
  handle_ = file;
}

FolderLock::~FolderLock() {
  if (handle_ != nullptr) CloseHandle(static_cast<HANDLE>(handle_));
}

#else

FolderLock::FolderLock(const std::string& path) {
  descriptor_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (descriptor_ < 0) {
    problem_ = "cannot open " + path + ": " + std::strerror(errno);
    return;
  }
  if (flock(descriptor_, LOCK_EX | LOCK_NB) != 0) {
    problem_ = errno == EWOULDBLOCK ? kBusy : "cannot lock " + path + ": " + std::strerror(errno);
    close(descriptor_);
    descriptor_ = -1;
  }
}

FolderLock::~FolderLock() {
  if (descriptor_ >= 0) close(descriptor_);
}

#endif

}  // namespace tavrix_tool
