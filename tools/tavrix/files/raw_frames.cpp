#include "files/raw_frames.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "cli/command_line.h"
#include "files/input_files.h"
#include "system/native_paths.h"
#include "files/output_files.h"
#include "tavrix_internal.h"

namespace tavrix_tool {

namespace {

constexpr size_t kFrameBytes = size_t(tavrix::kRawFrameBytes);

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

}  // namespace

std::vector<uint64_t> RawFrameCounts(const std::vector<std::string>& files) {
  const uint64_t frameBytes = kFrameBytes;
  std::vector<uint64_t> counts;
  for (const std::string& file : files) {
    OpenRegularFile(file);  // a folder, device or pipe named as such
    std::error_code error;
    const uint64_t size = std::filesystem::file_size(FsPath(file), error);
    if (error) throw Failure(file + ": " + error.message());
    if (size == 0 || size % frameBytes != 0) {
      const std::string format = RecognisedFormat(file);
      throw Failure(file + ": " + std::to_string(size) + " bytes, not a whole number of raw frames of " +
                    std::to_string(frameBytes) + " bytes" + (format.empty() ? "" : "; it is " + format) +
                    " (raw frames as the frame grabber delivers them are expected)");
    }
    counts.push_back(size / frameBytes);
  }
  return counts;
}

void ReadRawFrames(const std::vector<std::string>& files, const std::vector<uint64_t>& counts, const RawFrameUse& use) {
  // Read whole each time: no need to clear it.
  const std::unique_ptr<uint8_t[]> frame(new uint8_t[kFrameBytes]);
  for (size_t f = 0; f < files.size(); ++f) {
    const FilePointer file = OpenRegularFile(files[f]);
    for (uint64_t k = 0; k < counts[f]; ++k) {
      if (std::fread(frame.get(), 1, kFrameBytes, file.get()) != kFrameBytes)
        throw Failure(files[f] + ": frame " + std::to_string(k) + " could not be read");
      if (!use(files[f], k, frame.get())) return;
    }
  }
}

void RequirePanelRange(const std::string& file, uint64_t index, const uint16_t* image) {
  size_t over = 0, data = 0;
  for (int32_t r = 0; r < tavrix::kImageHeight; ++r)
    for (int32_t c = 0; c < tavrix::kImageWidth; ++c) {
      if (!tavrix::internal::InDataArea(r, c)) continue;
      ++data;
      if (image[size_t(r) * size_t(tavrix::kImageWidth) + size_t(c)] > tavrix::kMaxPixelValue) ++over;
    }
  if (double(over) <= kMaxOverRangeShare * double(data)) return;
  char shares[64];
  std::snprintf(shares, sizeof shares, "%.1f %%; at most %g %% is taken", 100.0 * double(over) / double(data),
                100.0 * kMaxOverRangeShare);
  throw Failure(file + ": frame " + std::to_string(index) + ": " + std::to_string(over) + " of its " +
                std::to_string(data) + " data pixels exceed " + std::to_string(tavrix::kMaxPixelValue) + " (" + shares +
                "); the panel delivers 14 bits: are the words byte-swapped, or the frames another device's?");
}

void WriteRawFrames(const std::string& path, bool overwrite, int frames, const RawFrameFiller& next) {
  WriteAtomically(path, overwrite, [&](const std::string& temporary) -> std::string {
    File file(OpenFile(temporary, "wb"), std::fclose);
    if (!file) return std::strerror(errno);
    std::vector<uint8_t> frame(kFrameBytes);
    for (int k = 0; k < frames; ++k) {
      const std::string problem = next(frame.data());
      if (!problem.empty()) return problem;
      if (std::fwrite(frame.data(), 1, kFrameBytes, file.get()) != kFrameBytes) return std::strerror(errno);
    }
    return std::fclose(file.release()) == 0 ? "" : std::strerror(errno);
  });
}

}  // namespace tavrix_tool
