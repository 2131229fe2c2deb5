// A lock that one process at a time holds on a folder, released by the
// system when the process ends (also when it crashes), so that a stale lock
// never blocks the station.
#pragma once

#include <string>

namespace tavrix_tool {

class FolderLock {
 public:
  // Tries once, without waiting, to take the lock file `path`. Holding() says
  // whether it was taken; Problem() why not.
  explicit FolderLock(const std::string& path);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  bool Holding() const { return problem_.empty(); }
  const std::string& Problem() const { return problem_; }  // "" while held

 private:
  std::string problem_;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int descriptor_ = -1;
#endif
};

}  // namespace tavrix_tool
