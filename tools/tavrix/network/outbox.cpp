#include "outbox.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "folder_lock.h"
#include "system/native_paths.h"

namespace tavrix_tool {

namespace fs = std::filesystem;

namespace {

constexpr const char* kExtension = ".dcm";
constexpr const char* kReasonSuffix = ".reason.txt";
// Held while sending, so that two sends of one outbox never send a file twice.
constexpr const char* kLockName = ".sending";
constexpr size_t kMaxUidLength = 64;

// A UID is digits and dots, so it is a safe file name on every system.
bool IsUid(const std::string& uid) {
  return !uid.empty() && uid.size() <= kMaxUidLength && uid.find_first_not_of("0123456789.") == std::string::npos;
}

std::string TemporaryName(const std::string& uid) {
  std::random_device random;
  return "." + uid + "." + std::to_string(random()) + ".part";
}

// Copies `source` to `target` through a temporary name beside it.
std::string CopyInPlace(const std::string& source, const fs::path& target, const std::string& uid) {
  const fs::path temporary = target.parent_path() / TemporaryName(uid);
  std::error_code error;
  fs::copy_file(FsPath(source), temporary, fs::copy_options::overwrite_existing, error);
  if (!error) fs::rename(temporary, target, error);
  if (error) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return "cannot copy " + source + " into the outbox: " + error.message();
  }
  return "";
}

bool WriteNote(const fs::path& path, const std::string& text) {
  std::FILE* note = OpenFile(Utf8Name(path), "wb");
  if (note == nullptr) return false;
  const bool written = std::fprintf(note, "%s\n", text.c_str()) > 0;
  return std::fclose(note) == 0 && written;
}

// Moves an unsendable file aside with its reason; says what went wrong if
// even that failed (the file then stays where it is).
std::string SetAside(const fs::path& file, const std::string& reason) {
  const fs::path rejected = file.parent_path() / Outbox::kRejectedFolder;
  const fs::path target = rejected / file.filename();
  std::error_code error;
  fs::create_directories(rejected, error);
  if (!error && !WriteNote(rejected / (Utf8Name(file.filename()) + kReasonSuffix), reason))
    error = std::make_error_code(std::errc::io_error);
  if (!error) fs::rename(file, target, error);
  if (error) return "; it could not be moved to " + Utf8Name(rejected) + ": " + error.message();
  return "; moved to " + Utf8Name(target);
}

std::string Remove(const fs::path& file) {
  std::error_code error;
  fs::remove(file, error);
  if (error) return "stored, but it stays in the outbox and would be sent again: " + error.message();
  return "";
}

}  // namespace

size_t OutboxReport::Count(StoreOutcome outcome) const {
  return size_t(std::count_if(entries.begin(), entries.end(),
                              [&](const OutboxEntry& entry) { return entry.result.outcome == outcome; }));
}

std::string Outbox::Put(const std::string& source) const {
  std::string uid;
  const std::string reason = CheckStorableFile(source, &uid);
  if (!reason.empty()) return source + ": " + reason;
  if (!IsUid(uid)) return source + ": its SOP instance UID \"" + uid + "\" is not a UID";
  std::error_code error;
  fs::create_directories(FsPath(folder_), error);
  if (error) return "cannot create the outbox " + folder_ + ": " + error.message();
  return CopyInPlace(source, FsPath(folder_) / (uid + kExtension), uid);
}

std::vector<std::string> Outbox::Waiting(std::string* problem) const {
  std::vector<std::pair<fs::file_time_type, std::string>> files;
  std::error_code error;
  fs::directory_iterator it(FsPath(folder_), error);
  if (error == std::errc::no_such_file_or_directory) return {};
  for (fs::directory_iterator end; !error && it != end; it.increment(error)) {
    const std::string name = Utf8Name(it->path().filename());
    if (name.empty() || name[0] == '.' || !it->is_regular_file()) continue;
    std::error_code timeError;
    files.emplace_back(fs::last_write_time(it->path(), timeError), Utf8Name(it->path()));
  }
  if (error && problem != nullptr) *problem = "cannot read the outbox " + folder_ + ": " + error.message();
  std::sort(files.begin(), files.end());
  std::vector<std::string> paths;
  for (const auto& file : files) paths.push_back(file.second);
  return paths;
}

OutboxReport Outbox::Send(const PeerConnection& connection, const OutboxProgress& progress) const {
  OutboxReport report;
  std::vector<std::string> files = Waiting(&report.error);
  if (files.empty()) return report;
  const FolderLock lock(Utf8Name(FsPath(folder_) / kLockName));
  if (!lock.Holding()) {
    report.error = "the outbox " + folder_ + " is not sent now: " + lock.Problem() + " (another send?)";
    return report;
  }
  // Listed again under the lock: a send that ended meanwhile took its files.
  files = Waiting(&report.error);
  report.entries.resize(files.size());
  // Each file leaves the outbox the moment the PACS has it, so that a later
  // failure (or a crash) cannot make it be sent again.
  StoreFiles(connection, files, [&](size_t index, const StoreResult& result) {
    OutboxEntry& entry = report.entries[index];
    entry.file = Utf8Name(FsPath(files[index]).filename());
    entry.result = result;
    if (result.outcome == StoreOutcome::kStored) {
      const std::string problem = Remove(FsPath(files[index]));
      if (!problem.empty()) entry.result.detail = problem;
    } else if (result.outcome == StoreOutcome::kUnreadable) {
      entry.result.detail += SetAside(FsPath(files[index]), result.detail);
    }
    if (progress) progress(index + 1, files.size(), entry);
  });
  return report;
}

}  // namespace tavrix_tool
