#include "files/folder_replacement.h"

#include <filesystem>
#include <system_error>

#include "cli/command_line.h"
#include "files/file_replacement.h"
#include "system/native_paths.h"

namespace tavrix_tool {

namespace fs = std::filesystem;

namespace {

void Check(const std::error_code& error, const std::string& what) {
  if (error) throw Failure(what + ": " + error.message());
}

// A hard link where the file system allows one (no copy of gigabytes of
// frames), else a copy.
void CarryOver(const fs::path& from, const fs::path& to) {
  std::error_code error;
  if (fs::is_regular_file(from, error)) {
    fs::create_hard_link(from, to, error);
    if (!error) return;
    error.clear();
  }
  fs::copy(from, to, fs::copy_options::recursive, error);
  Check(error, "cannot carry " + Utf8Name(from) + " over into the new folder");
}

}  // namespace

std::string MakeStagingFolder(const std::string& folder) {
  const fs::path target = FsPath(folder);
  std::error_code error;
  if (!target.parent_path().empty()) {
    fs::create_directories(target.parent_path(), error);
    Check(error, Utf8Name(target.parent_path()) + ": cannot make the folder");
  }
  const std::string staging = TemporaryNameBeside(Utf8Name(target.lexically_normal()));
  fs::create_directory(FsPath(staging), error);
  Check(error, staging + ": cannot make a folder beside " + folder);
  return staging;
}

void SwapFolderIn(const std::string& staging, const std::string& folder,
                  const std::function<bool(const std::string& name)>& carried) {
  const fs::path from = FsPath(staging), to = FsPath(folder);
  std::error_code error;
  if (!fs::exists(to, error)) {
    fs::rename(from, to, error);
    Check(error, folder + ": cannot move the new folder into place");
    return;
  }
  if (!fs::is_directory(to, error)) throw Failure(folder + ": not a folder");
  for (const fs::directory_entry& entry : fs::directory_iterator(to, error)) {
    const std::string name = Utf8Name(entry.path().filename());
    const fs::path copy = from / entry.path().filename();
    if (carried(name) && !fs::exists(copy)) CarryOver(entry.path(), copy);
  }
  Check(error, folder + ": cannot list the folder");
  const std::string previous = folder + ".previous";
  fs::remove_all(FsPath(previous), error);
  Check(error, previous + ": cannot remove the older previous folder");
  fs::rename(to, FsPath(previous), error);
  Check(error, folder + ": cannot move it aside as " + previous);
  fs::rename(from, to, error);
  if (error) {
    std::error_code ignored;
    fs::rename(FsPath(previous), to, ignored);
    Check(error, folder + ": cannot move the new folder into place (the previous one is back)");
  }
}

void MoveFolderTo(const std::string& staging, const std::string& target) {
  std::error_code error;
  fs::remove_all(FsPath(target), error);
  Check(error, target + ": cannot remove it");
  fs::rename(FsPath(staging), FsPath(target), error);
  Check(error, target + ": cannot move the folder there");
}

void RemoveStagingFolder(const std::string& staging) {
  std::error_code ignored;
  fs::remove_all(FsPath(staging), ignored);
}

}  // namespace tavrix_tool
