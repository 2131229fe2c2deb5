// tavrix correct: stored raw frames read out and corrected exactly as an
// acquisition treats the frame it fetches, through the library's own core.
#include <cstdio>
#include <future>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

#include "cli/interrupt.h"
#include "cli/usage_facts.h"
#include "commands/commands.h"
#include "commands/image_output.h"
#include "files/background_writer.h"
#include "files/map_files.h"
#include "files/raw_frames.h"
#include "tavrix_internal.h"

namespace tavrix_tool {

namespace {

const std::string kUsage =
    "usage: tavrix correct --pixel-map FILE --gain-map FILE [--panel 0|1] [--format ...] -o PREFIX RAW_FILE...\n"
    "\n"
    "Reads out and corrects stored raw frames (each file one or more frames of " + Grouped(tavrix::kRawFrameBytes) + "\n"
    "bytes) with the given maps, exactly as an acquisition would: the images equal those\n"
    "of acquiring the same frames with the same maps. Images are numbered across the files.\n"
    "\n"
    "  --pixel-map FILE, --gain-map FILE   the panel's calibration maps\n"
    "  --panel 0|1                the panel the maps are recorded for (default 0)\n"
    "  --accept-bad-gains         use a gain map even when more than 0.1 % of its gains where\n"
    "                             the image carries data are not finite and positive\n";

constexpr size_t kPixels = tavrix::kImagePixels;

using tavrix::internal::PanelMaps;

int Run(const std::vector<std::string>& words) {
  std::vector<OptionSpec> options = kImageOutputOptions;
  options.insert(options.end(), {{"--pixel-map", true}, {"--gain-map", true}, {"--panel", true},
                                 {kAcceptBadGainsOption, false}});
  const Arguments arguments(words, options);
  const ImageOutput output = ParseImageOutput(arguments);
  if (!arguments.Has("--pixel-map") || !arguments.Has("--gain-map"))
    throw UsageError("--pixel-map and --gain-map are required");
  const std::vector<std::string>& files = arguments.Positionals();
  if (files.empty()) throw UsageError("no raw file given");
  const int panel = arguments.IntValue("--panel", 0, 0, 1);
  const std::string pixelMapPath = arguments.Value("--pixel-map");
  const std::string gainMapPath = arguments.Value("--gain-map");
  const bool acceptBadGains = arguments.Has(kAcceptBadGainsOption);

  const std::vector<uint64_t> counts = RawFrameCounts(files);
  uint64_t total = 0;
  for (const uint64_t count : counts) total += count;
  CheckOutputsFree(output, 1, int(total), false);

  // The maps are read (sizes checked) and then hashed on another thread
  // while the first frame is read and read out; nothing is written before
  // both are in hand, so a bad map still leaves no file.
  std::promise<std::shared_ptr<const PanelMaps>> mapsRead;
  std::future<std::shared_ptr<const PanelMaps>> pendingMaps = mapsRead.get_future();
  std::future<std::pair<std::string, std::string>> digests =
      std::async(std::launch::async, [&mapsRead, pixelMapPath, gainMapPath, acceptBadGains] {
        std::shared_ptr<PanelMaps> maps;
        try {
          // Not cleared first: the files fill them, and clearing 46 MB that is
          // overwritten at once costs a one-shot command more than its reading.
          maps = std::make_shared<PanelMaps>();
          ReadPanelMaps(pixelMapPath, gainMapPath, *maps);
          if (!acceptBadGains) RequireUsableGains(gainMapPath, maps->GainMap());
        } catch (...) {
          mapsRead.set_exception(std::current_exception());
          return std::make_pair(std::string(), std::string());
        }
        mapsRead.set_value(maps);
        return std::make_pair(Sha256(maps->PixelMap(), tavrix::kPixelMapBytes),
                              Sha256(maps->GainMap(), tavrix::kGainMapBytes));
      });
  std::shared_ptr<const PanelMaps> maps;
  ImageRecord record;
  record.command = "correct";
  record.panel = panel;
  CatchInterrupt();
  // The readout writes every pixel of the image: no need to clear them. Two images: one being written while the next is read out and corrected
  // by the library's own steps, as an acquisition does.
  const std::unique_ptr<uint16_t[]> images[2] = {std::unique_ptr<uint16_t[]>(new uint16_t[kPixels]),
                                                 std::unique_ptr<uint16_t[]>(new uint16_t[kPixels])};
  BackgroundWriter writer;
  int index = 0;
  bool interrupted = false;
  ReadRawFrames(files, counts, [&](const std::string& file, uint64_t k, const uint8_t* frame) {
    uint16_t* slot = images[index % 2].get();
    tavrix::internal::ReadOut(frame, slot);
    RequirePanelRange(file, k, slot);
    if (pendingMaps.valid()) maps = pendingMaps.get();
    tavrix::internal::Correct(slot, *maps);
    if (digests.valid()) std::tie(record.pixelMap, record.gainMap) = digests.get();
    record.sourceFile = file;
    record.frameIndex = long(k);
    ++index;
    writer.Submit([&output, slot, record, index] { WriteImageFiles(output, index, "", slot, record); });
    if (total > 1) std::fprintf(stderr, "\r%d of %llu frames", index, (unsigned long long)total);
    interrupted = InterruptRequested();
    return !interrupted;
  });
  writer.Finish();
  if (interrupted) {
    std::fprintf(stderr, "\ninterrupted: %d of %llu frames written\n", index, (unsigned long long)total);
    return kInterruptedStatus;
  }
  if (total > 1) std::fprintf(stderr, "\n");
  std::printf("%d frame(s) corrected into %s_NNNN\n", index, output.prefix.c_str());
  return 0;
}

}  // namespace

const Command kCorrectCommand = {"correct", "correct stored raw frames exactly as an acquisition would", kUsage.c_str(), Run,
                                 true};

}  // namespace tavrix_tool
