// tavrix correct: stored raw frames read out and corrected exactly as an
// acquisition treats the frame it fetches, through the library's own core.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

#include "background_writer.h"
#include "commands.h"
#include "acquisition/read_frame.h"
#include "correction/correct_image.h"
#include "grabber/frame_grabber.h"
#include "platform/dimensions.h"
#include "image_files.h"
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

// A panel's maps as the correction reads them: rows where the files' bytes
// lie, as the library's loaders would place them.
struct Maps {
  std::unique_ptr<uint8_t[]> pixel;
  std::unique_ptr<float[]> gain;
  std::vector<const uint8_t*> pixelRows;
  std::vector<const float*> gainRows;
};

Maps ReadMaps(const std::string& pixelMapPath, const std::string& gainMapPath) {
  // Not cleared first: the files fill them, and clearing 46 MB that is
  // overwritten at once costs a one-shot command more than its reading.
  Maps maps{std::unique_ptr<uint8_t[]>(new uint8_t[kPixelMapFileBytes]),
            std::unique_ptr<float[]>(new float[kGainMapFileBytes / sizeof(float)]), {}, {}};
  ReadPixelMapFile(pixelMapPath, maps.pixel.get());
  ReadGainMapFile(gainMapPath, maps.gain.get());
  for (int32_t r = 0; r < kPixelMapSide; ++r) maps.pixelRows.push_back(maps.pixel.get() + size_t(r) * kPixelMapSide);
  for (int32_t r = 0; r < kGainMapSide; ++r) maps.gainRows.push_back(maps.gain.get() + size_t(r) * kGainMapSide);
  return maps;
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

  const std::vector<uint64_t> counts = RawFrameCounts(files);
  uint64_t total = 0;
  for (const uint64_t count : counts) total += count;
  CheckOutputsFree(output, 1, int(total), false);

  // The maps are read (sizes checked) and then hashed on another thread
  // while the first frame is read and read out; nothing is written before
  // both are in hand, so a bad map still leaves no file.
  std::promise<std::shared_ptr<const Maps>> mapsRead;
  std::future<std::shared_ptr<const Maps>> pendingMaps = mapsRead.get_future();
  std::future<std::pair<std::string, std::string>> digests =
      std::async(std::launch::async, [&mapsRead, pixelMapPath, gainMapPath] {
        std::shared_ptr<const Maps> maps;
        try {
          maps = std::make_shared<const Maps>(ReadMaps(pixelMapPath, gainMapPath));
        } catch (...) {
          mapsRead.set_exception(std::current_exception());
          return std::make_pair(std::string(), std::string());
        }
        mapsRead.set_value(maps);
        return std::make_pair(Sha256(maps->pixel.get(), kPixelMapFileBytes), Sha256(maps->gain.get(), kGainMapFileBytes));
      });
  std::shared_ptr<const Maps> maps;
  ImageRecord record;
  record.command = "correct";
  record.panel = panel;
  CatchInterrupt();
  // The readout reads the frame's bytes only, and writes every pixel of the
  // image: neither buffer needs clearing.
  const std::unique_ptr<uint8_t[]> frame(new uint8_t[kFrameBytes]);
  // Two images: one being written while the next is read out and corrected
  // by the library's own steps, as an acquisition does.
  const std::unique_ptr<uint16_t[]> images[2] = {std::unique_ptr<uint16_t[]>(new uint16_t[kPixels]),
                                                 std::unique_ptr<uint16_t[]>(new uint16_t[kPixels])};
  BackgroundWriter writer;
  int index = 0;
  for (size_t f = 0; f < files.size(); ++f) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(files[f].c_str(), "rb"), std::fclose);
    if (!file) throw Failure(files[f] + ": " + std::strerror(errno));
    for (uint64_t k = 0; k < counts[f]; ++k) {
      if (std::fread(frame.get(), 1, kFrameBytes, file.get()) != kFrameBytes)
        throw Failure(files[f] + ": frame " + std::to_string(k) + " could not be read");
      uint16_t* slot = images[index % 2].get();
      tavrix::ReadOutFrame(frame.get(), slot, TAVRIX_IMAGE_WIDTH, TAVRIX_IMAGE_HEIGHT);
      if (pendingMaps.valid()) maps = pendingMaps.get();
      tavrix::CorrectImage(slot, TAVRIX_IMAGE_WIDTH, TAVRIX_IMAGE_HEIGHT, maps->pixelRows.data(), maps->gainRows.data());
      if (digests.valid()) std::tie(record.pixelMap, record.gainMap) = digests.get();
      record.sourceFile = files[f];
      record.frameIndex = long(k);
      ++index;
      writer.Submit([&output, slot, record, index] { WriteImageFiles(output, index, "", slot, record); });
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
