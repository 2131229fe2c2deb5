#include "files/output_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "cli/command_line.h"
#include "files/file_replacement.h"
#include "system/native_paths.h"

namespace tavrix_tool {

std::string NumberedName(const std::string& prefix, int index, const std::string& suffix,
                         const std::string& extension) {
  char number[16];
  std::snprintf(number, sizeof number, "%04d", index);
  return prefix + "_" + number + suffix + "." + extension;
}

void RequireOutputFolder(const std::string& path) {
  const std::filesystem::path folder = FsPath(path).parent_path();
  std::error_code error;
  if (!folder.empty() && !std::filesystem::is_directory(folder, error))
    throw Failure(Utf8Name(folder) + ": no such folder for the output");
}

namespace {

// PATH with "-N" before its extension: P_0001.tif -> P_0001-2.tif.
std::string NumberedAside(const std::string& path, int n) {
  const std::filesystem::path p = FsPath(path);
  return Utf8Name(p.parent_path() / (p.stem().u8string() + "-" + std::to_string(n) + p.extension().u8string()));
}

// Another run took `path` while this one wrote: the finished file goes under
// the first free name beside it, never over the other run's.
[[noreturn]] void KeepAside(const std::string& temporary, const std::string& path) {
  constexpr int kMaxTries = 1000;
  for (int n = 2; n < kMaxTries; ++n) {
    const std::string aside = NumberedAside(path, n);
    const std::string problem = MoveIntoPlace(temporary, aside, false);
    if (problem.empty())
      throw Failure(path + ": written meanwhile by another run, left as it is; this run's file is kept as " + aside);
    if (problem != kTargetExists) break;
  }
  RemoveFile(temporary);
  throw Failure(path + ": written meanwhile by another run, and no free name is left beside it");
}

}  // namespace

void WriteAtomically(const std::string& path, bool overwrite,
                     const std::function<std::string(const std::string& temporaryPath)>& write) {
  std::error_code error;
  if (std::filesystem::is_directory(FsPath(path), error))
    throw Failure(path + ": is a folder; the output needs a file name");
  if (!overwrite && std::filesystem::exists(FsPath(path), error))
    throw Failure(path + ": exists already (--force replaces it)");
  const std::string temporary = TemporaryNameBeside(path);
  const std::string reason = write(temporary);
  if (!reason.empty()) {
    RemoveFile(temporary);
    throw Failure(path + ": " + reason);
  }
  const std::string problem = MoveIntoPlace(temporary, path, overwrite);
  if (problem.empty()) return;
  if (problem == kTargetExists) KeepAside(temporary, path);
  RemoveFile(temporary);
  throw Failure(path + ": cannot move the finished file into place: " + problem);
}

std::string WriteBytes(const std::string& path, const void* bytes, size_t count) {
  std::FILE* file = OpenFile(path, "wb");
  if (file == nullptr) return std::string("cannot create the file: ") + std::strerror(errno);
  const bool written = std::fwrite(bytes, 1, count, file) == count;
  const bool closed = std::fclose(file) == 0;
  return written && closed ? std::string() : "cannot write the file (disk full?)";
}

void WriteBytesAtomically(const std::string& path, bool overwrite, const void* bytes, size_t count) {
  WriteAtomically(path, overwrite, [&](const std::string& temporary) { return WriteBytes(temporary, bytes, count); });
}

}  // namespace tavrix_tool
