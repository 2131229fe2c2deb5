// tavrix correct: stored raw frames read out and corrected exactly as an
// acquisition treats the frame it fetches, through the library's own core.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <memory>
#include <system_error>
#include <tuple>
#include <utility>
#include <vector>

#include "background_writer.h"
#include "commands.h"
#include "acquisition/read_frame.h"
#include "correction/correct_image.h"
#include "grabber/frame_grabber.h"
#include "platform/dimensions.h"
#include "image_output.h"
#include "map_files.h"
#include "platform.h"
#include "tavrix_1417_pci_vusk.h"

namespace tavrix_tool {

namespace {

const char* const kUsage =
    "usage: tavrix correct --pixel-map FILE --gain-map FILE [--panel 0|1] [--format ...] -o PREFIX RAW_FILE...\n"
    "\n"
    "Reads out and corrects stored raw frames (each file one or more frames of 16,204,480\n"
    "bytes) with the given maps, exactly as an acquisition would: the images equal those\n"
    "of acquiring the same frames with the same maps. Images are numbered across the files.\n"
    "\n"
    "  --pixel-map FILE, --gain-map FILE   the panel's calibration maps\n"
    "  --panel 0|1                the panel the maps are recorded for (default 0)\n";

constexpr uint64_t kFrameBytes = uint64_t(tavrix::kRawFrameBytes);
constexpr size_t kPixels = size_t(TAVRIX_IMAGE_WIDTH) * TAVRIX_IMAGE_HEIGHT;

// Frames in each file; Failure before anything is written when a size is
// not a whole number of frames.
std::vector<uint64_t> CountFrames(const std::vector<std::string>& files) {
  std::vector<uint64_t> counts;
  for (const std::string& file : files) {
    std::error_code error;
    const uint64_t size = std::filesystem::file_size(file, error);
    if (error) throw Failure(file + ": " + error.message());
    if (size == 0 || size % kFrameBytes != 0)
      throw Failure(file + ": " + std::to_string(size) + " bytes, not a whole number of raw frames of " +
                    std::to_string(kFrameBytes) + " bytes");
    counts.push_back(size / kFrameBytes);
  }
  return counts;
}

int Run(const std::vector<std::string>& words) {
  std::vector<OptionSpec> options = kImageOutputOptions;
  options.insert(options.end(), {{"--pixel-map", true}, {"--gain-map", true}, {"--panel", true}});
  const Arguments arguments(words, options);
  const ImageOutput output = ParseImageOutput(arguments);
  if (!arguments.Has("--pixel-map") || !arguments.Has("--gain-map"))
    throw UsageError("--pixel-map and --gain-map are required");
  const std::vector<std::string>& files = arguments.Positionals();
  if (files.empty()) throw UsageError("no raw file given");
  const int panel = arguments.IntValue("--panel", 0, 0, 1);
  const std::string pixelMapPath = arguments.Value("--pixel-map");
  const std::string gainMapPath = arguments.Value("--gain-map");

  // Read once, sizes checked before anything is written; the correction
  // reads the maps' rows where the files' bytes lie, as the library's
  // loaders would place them.
  const std::vector<uint8_t> pixelMap = ReadPixelMapFile(pixelMapPath);
  const std::vector<float> gainMap = ReadGainMapFile(gainMapPath);
  const std::vector<uint64_t> counts = CountFrames(files);
  uint64_t total = 0;
  for (const uint64_t count : counts) total += count;
  CheckOutputsFree(output, 1, int(total), false);
  std::vector<const uint8_t*> pixelRows(kPixelMapSide);
  for (int32_t r = 0; r < kPixelMapSide; ++r) pixelRows[size_t(r)] = pixelMap.data() + size_t(r) * kPixelMapSide;
  std::vector<const float*> gainRows(kGainMapSide);
  for (int32_t r = 0; r < kGainMapSide; ++r) gainRows[size_t(r)] = gainMap.data() + size_t(r) * kGainMapSide;

  ImageRecord record;
  record.command = "correct";
  record.panel = panel;
  // The maps' digests are taken on another thread while the first frame is
  // read and corrected; its files are the first to need them.
  std::future<std::pair<std::string, std::string>> digests = std::async(std::launch::async, [&] {
    return std::make_pair(Sha256(pixelMap.data(), pixelMap.size()), Sha256(gainMap.data(), gainMap.size() * sizeof(float)));
  });
  CatchInterrupt();
  // The frame in a buffer as large as the detector's, so that the readout
  // sees what it sees in an acquisition.
  std::vector<uint8_t> frame(tavrix::kRawFrameBufferBytes);
  // Two images: one being written while the next is read out and corrected
  // by the library's own steps, as an acquisition does.
  std::vector<uint16_t> images[2] = {std::vector<uint16_t>(kPixels), std::vector<uint16_t>(kPixels)};
  BackgroundWriter writer;
  int index = 0;
  for (size_t f = 0; f < files.size(); ++f) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(files[f].c_str(), "rb"), std::fclose);
    if (!file) throw Failure(files[f] + ": " + std::strerror(errno));
    for (uint64_t k = 0; k < counts[f]; ++k) {
      if (std::fread(frame.data(), 1, kFrameBytes, file.get()) != kFrameBytes)
        throw Failure(files[f] + ": frame " + std::to_string(k) + " could not be read");
      std::vector<uint16_t>& slot = images[index % 2];
      tavrix::ReadOutFrame(frame.data(), slot.data(), TAVRIX_IMAGE_WIDTH, TAVRIX_IMAGE_HEIGHT);
      tavrix::CorrectImage(slot.data(), TAVRIX_IMAGE_WIDTH, TAVRIX_IMAGE_HEIGHT, pixelRows.data(), gainRows.data());
      if (digests.valid()) std::tie(record.pixelMap, record.gainMap) = digests.get();
      record.sourceFile = files[f];
      record.frameIndex = long(k);
      ++index;
      writer.Submit([&output, &slot, record, index] { WriteImageFiles(output, index, "", slot.data(), record); });
      if (total > 1) std::fprintf(stderr, "\r%d of %llu frames", index, (unsigned long long)total);
      if (InterruptRequested()) {
        writer.Finish();
        std::fprintf(stderr, "\ninterrupted: %d of %llu frames written\n", index, (unsigned long long)total);
        return 130;
      }
    }
  }
  writer.Finish();
  if (total > 1) std::fprintf(stderr, "\n");
  std::printf("%d frame(s) corrected into %s_NNNN\n", index, output.prefix.c_str());
  return 0;
}

}  // namespace

const Command kCorrectCommand = {"correct", "correct stored raw frames exactly as an acquisition would", kUsage, Run,
                                 true};

}  // namespace tavrix_tool
