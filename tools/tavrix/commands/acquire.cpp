// tavrix acquire: exposures through the library's 14 exports, as a station
// takes them, against whichever frame-grabber module is installed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "cli/interrupt.h"
#include "commands/commands.h"
#include "commands/detector_session.h"
#include "commands/image_output.h"
#include "files/map_files.h"
#include "files/native_paths.h"
#include "files/output_files.h"
#include "tavrix_1417_pci_vusk.h"

namespace tavrix_tool {

namespace {

constexpr size_t kPixels = tavrix::kImagePixels;
constexpr int kMaxFrames = 100000;

const char* const kUsage =
    "usage: tavrix acquire [--pixel-map FILE --gain-map FILE] [--panel 0|1] [--frames N]\n"
    "                      [--enhance L,S,R,D] [--raw] [--format tiff,png,dicom] -o PREFIX\n"
    "\n"
    "Acquires N exposures (default 1) through the library, as a station does. The maps\n"
    "are loaded for the chosen panel (default 0), which is then selected; without maps\n"
    "the neutral maps correct nothing. After each frame the serial channel is polled\n"
    "and its switch codes and temperature are recorded with the image. Ctrl-C stops\n"
    "after the current frame and disarms; the frames written stay (exit status 130).\n"
    "\n"
    "  --pixel-map FILE, --gain-map FILE   the panel's calibration maps (both or neither)\n"
    "  --panel 0|1                the panel to select (default 0)\n"
    "  --accept-bad-gains         use a gain map even when more than 0.1 % of its gains where\n"
    "                             the image carries data are not finite and positive\n"
    "  --frames N                 exposures to take (default 1)\n"
    "  --enhance L,S,R,D          also write PREFIX_NNNN_enhanced.*: levels, strength,\n"
    "                             smoothing radius (1..3), decay (1..30 tenths)\n"
    "  --raw                      also write each exposure's raw frame as PREFIX_NNNN.raw, as the\n"
    "                             card delivered it (for correct, replay and calibrate build);\n"
    "                             the frame is corrected by the library's same steps, the maps\n"
    "                             read from their files; the serial channel is not polled\n";

void Require(bool ok, const std::string& what) {
  if (!ok) throw Failure(what);
}

// Loads both maps, their sizes checked and their digests taken first so
// that nothing partial loads.
void LoadMaps(const std::string& pixelMap, const std::string& gainMap, int panel, bool acceptBadGains,
              ImageRecord& record) {
  const std::vector<uint8_t> pixels = ReadPixelMapFile(pixelMap);
  const std::vector<float> gains = ReadGainMapFile(gainMap);
  if (!acceptBadGains) RequireUsableGains(gainMap, gains.data());
  const std::string pixelDigest = Sha256(pixels.data(), pixels.size());
  const std::string gainDigest = Sha256(gains.data(), gains.size() * sizeof(float));
  Require(LoadPixelMap(LibraryFileName(pixelMap).c_str(), panel) == 1, pixelMap + ": LoadPixelMap refused the file");
  Require(LoadGainMap(LibraryFileName(gainMap).c_str(), panel) == 1, gainMap + ": LoadGainMap refused the file");
  record.pixelMap = pixelDigest;
  record.gainMap = gainDigest;
}

void PollMessagesInto(ImageRecord& record) {
  CheckSwitch();
  record.hasMessages = true;
  record.switchCodes.clear();
  const int32_t length = GetMsgLength();
  for (int32_t position = 0; position < length; ++position)
    if (const int32_t code = GetSwitchMsg(position)) record.switchCodes.push_back(code);
  record.temperature = GetTemperature();
}

// The library's waits give up after 30 s each; a failure well before that can
// only be the card reporting the transfer failed or incomplete.
constexpr double kFrameWaitSeconds = 30.0;

std::vector<uint16_t> AcquireOne(int frame) {
  Require(RunforDetector(TAVRIX_RUN_ARM) == 1, "RunforDetector(1): arming refused");
  const auto start = std::chrono::steady_clock::now();
  if (RunforDetector(TAVRIX_RUN_ACQUIRE) != 1) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    RunforDetector(TAVRIX_RUN_CANCEL);
    throw Failure("RunforDetector(2) returned 0 for frame " + std::to_string(frame) + ": " +
                  (seconds < kFrameWaitSeconds
                       ? "the card reported the frame transfer failed or incomplete; no image was taken"
                       : "no frame within the 30-second waits"));
  }
  const uint16_t* buffer = SaveRawImage();
  Require(buffer != nullptr, "SaveRawImage returned no image");
  return std::vector<uint16_t>(buffer, buffer + kPixels);
}

// --raw: each exposure fetched uncorrected through the library's internal
// door, its raw frame written as it came, then read out and corrected by the
// functions an acquisition through the exports calls: the same image.
class RawExposures {
 public:
  RawExposures(const ImageOutput& output, const Arguments& arguments, ImageRecord& record) : output_(output) {
    if (arguments.Has("--pixel-map")) {
      ReadPanelMaps(arguments.Value("--pixel-map"), arguments.Value("--gain-map"), maps_);
      if (!arguments.Has(kAcceptBadGainsOption)) RequireUsableGains(arguments.Value("--gain-map"), maps_.GainMap());
      record.pixelMap = Sha256(maps_.PixelMap(), tavrix::kPixelMapBytes);
      record.gainMap = Sha256(maps_.GainMap(), tavrix::kGainMapBytes);
    } else {
      // The library's neutral maps: every pixel good, every gain 1.
      std::memset(maps_.PixelMap(), tavrix::kGoodPixel, tavrix::kPixelMapBytes);
      std::fill(maps_.GainMap(), maps_.GainMap() + kPixels, 1.0f);
      std::printf("no maps given: the neutral maps are used (nothing is corrected but outliers and the border)\n");
    }
    const char* reason = "";
    if (!source_.Open(reason)) throw Failure(reason);
  }

  std::vector<uint16_t> Next(int frame) {
    if (!source_.Capture(frame_.data())) throw Failure("the frame grabber delivered no frame " + std::to_string(frame));
    WriteBytesAtomically(NumberedName(output_.prefix, frame, "", "raw"), output_.force, frame_.data(), frame_.size());
    std::vector<uint16_t> image(kPixels);
    tavrix::internal::ReadOut(frame_.data(), image.data());
    tavrix::internal::Correct(image.data(), maps_);
    return image;
  }

 private:
  const ImageOutput& output_;
  tavrix::internal::PanelMaps maps_;
  tavrix::internal::RawFrameSource source_;
  std::vector<uint8_t> frame_ = std::vector<uint8_t>(tavrix::kRawFrameBytes);
};

void RequireRawNamesFree(const ImageOutput& output, int frames) {
  if (output.force) return;
  for (int frame = 1; frame <= frames; ++frame) {
    const std::string path = NumberedName(output.prefix, frame, "", "raw");
    std::error_code error;
    if (std::filesystem::exists(FsPath(path), error)) throw Failure(path + ": exists already (--force replaces it)");
  }
}

int Run(const std::vector<std::string>& words) {
  std::vector<OptionSpec> options = kImageOutputOptions;
  options.insert(options.end(), {{"--pixel-map", true}, {"--gain-map", true}, {"--panel", true},
                                 {"--frames", true}, {"--enhance", true}, {kAcceptBadGainsOption, false},
                                 {"--raw", false}});
  const Arguments arguments(words, options);
  if (!arguments.Positionals().empty()) throw UsageError("unexpected argument " + arguments.Positionals()[0]);
  const ImageOutput output = ParseImageOutput(arguments);
  const int panel = arguments.IntValue("--panel", 0, 0, 1);
  const int frames = arguments.IntValue("--frames", 1, 1, kMaxFrames);
  if (arguments.Has("--pixel-map") != arguments.Has("--gain-map"))
    throw UsageError("--pixel-map and --gain-map go together");
  ImageRecord record;
  record.command = "acquire";
  record.panel = panel;
  EnhancementSettings enhancement{};
  const bool enhance = arguments.Has("--enhance");
  if (enhance) {
    const std::vector<int> v = ParseIntegerList(arguments.Value("--enhance"), 4, "--enhance");
    enhancement = {v[0], v[1], v[2], v[3]};
  }
  CheckOutputsFree(output, 1, frames, enhance);
  const bool raw = arguments.Has("--raw");
  if (raw) RequireRawNamesFree(output, frames);

  // One of the two ways in, held for the whole run.
  std::unique_ptr<DetectorSession> session;
  std::unique_ptr<RawExposures> rawExposures;
  std::function<std::vector<uint16_t>(int)> next;
  if (raw) {
    rawExposures = std::make_unique<RawExposures>(output, arguments, record);
    next = [&](int frame) { return rawExposures->Next(frame); };
  } else {
    session = std::make_unique<DetectorSession>();
    Require(CheckFrameGrabber() == 1, "CheckFrameGrabber returned 0: no frame grabber (card or PCI_FRM01 module)");
    if (arguments.Has("--pixel-map")) {
      LoadMaps(arguments.Value("--pixel-map"), arguments.Value("--gain-map"), panel,
               arguments.Has(kAcceptBadGainsOption), record);
    } else {
      std::printf("no maps given: the neutral maps are used (nothing is corrected but outliers and the border)\n");
    }
    Require(PanelSelect(panel) == panel, "PanelSelect(" + std::to_string(panel) + ") did not select the panel");
    next = [&](int frame) {
      std::vector<uint16_t> image = AcquireOne(frame);
      PollMessagesInto(record);
      return image;
    };
  }
  CatchInterrupt();

  std::vector<uint16_t> source(kPixels), enhanced(kPixels);
  const auto start = std::chrono::steady_clock::now();
  for (int frame = 1; frame <= frames; ++frame) {
    const std::vector<uint16_t> image = next(frame);
    record.enhanced = false;
    WriteImageFiles(output, frame, "", image.data(), record);
    if (enhance) {
      std::memcpy(source.data(), image.data(), kPixels * sizeof(uint16_t));
      std::memset(enhanced.data(), 0, kPixels * sizeof(uint16_t));
      Require(Enhancement(source.data(), enhanced.data(), enhancement.levels, enhancement.strength,
                          enhancement.radius, enhancement.decay) == 1,
              "Enhancement refused the image");
      record.enhanced = true;
      record.enhancement = enhancement;
      WriteImageFiles(output, frame, "_enhanced", enhanced.data(), record);
    }
    if (frames > 1) {
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::fprintf(stderr, "\r%d of %d frames, %.2f frames per second", frame, frames,
                   seconds > 0 ? frame / seconds : 0.0);
      if (frame == frames) std::fprintf(stderr, "\n");
    }
    if (InterruptRequested() && frame < frames) {
      if (!raw) RunforDetector(TAVRIX_RUN_CANCEL);
      std::fprintf(stderr, "\ninterrupted: %d of %d frames written, detector disarmed\n", frame, frames);
      return kInterruptedStatus;
    }
  }
  std::printf("%d frame(s) written as %s_NNNN\n", frames, output.prefix.c_str());
  return 0;
}

}  // namespace

const Command kAcquireCommand = {"acquire", "acquire exposures through the library and write them", kUsage, Run,
                                 true};

}  // namespace tavrix_tool
