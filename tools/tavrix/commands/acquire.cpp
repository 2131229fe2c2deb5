// tavrix acquire: exposures through the library's 14 exports, as a station
// takes them, against whichever frame-grabber module is installed.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/interrupt.h"
#include "commands/commands.h"
#include "commands/detector_session.h"
#include "commands/image_output.h"
#include "files/map_files.h"
#include "tavrix_1417_pci_vusk.h"

namespace tavrix_tool {

namespace {

constexpr size_t kPixels = tavrix::kImagePixels;
constexpr int kMaxFrames = 100000;

const char* const kUsage =
    "usage: tavrix acquire [--pixel-map FILE --gain-map FILE] [--panel 0|1] [--frames N]\n"
    "                      [--enhance L,S,R,D] [--format tiff,png,dicom] -o PREFIX\n"
    "\n"
    "Acquires N exposures (default 1) through the library, as a station does. The maps\n"
    "are loaded for the chosen panel (default 0), which is then selected; without maps\n"
    "the neutral maps correct nothing. After each frame the serial channel is polled\n"
    "and its switch codes and temperature are recorded with the image. Ctrl-C stops\n"
    "after the current frame, or once the wait for a frame ends, and disarms; the\n"
    "frames written stay (exit status 130).\n"
    "\n"
    "  --pixel-map FILE, --gain-map FILE   the panel's calibration maps (both or neither)\n"
    "  --panel 0|1                the panel to select (default 0)\n"
    "  --accept-bad-gains         use a gain map even when more than 0.1 % of its gains where\n"
    "                             the image carries data are not finite and positive\n"
    "  --frames N                 exposures to take (default 1)\n"
    "  --enhance L,S,R,D          also write PREFIX_NNNN_enhanced.*: levels, strength,\n"
    "                             smoothing radius (1..3), decay (1..30 tenths)\n";

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
  Require(LoadPixelMap(pixelMap.c_str(), panel) == 1, pixelMap + ": LoadPixelMap refused the file");
  Require(LoadGainMap(gainMap.c_str(), panel) == 1, gainMap + ": LoadGainMap refused the file");
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
    StopIfInterrupted("interrupted while waiting for frame " + std::to_string(frame) + "; " +
                      std::to_string(frame - 1) + " frame(s) written, detector disarmed");
    throw Failure("RunforDetector(2) returned 0 for frame " + std::to_string(frame) + ": " +
                  (seconds < kFrameWaitSeconds
                       ? "the card reported the frame transfer failed or incomplete; no image was taken"
                       : "no frame within the 30-second waits"));
  }
  const uint16_t* buffer = SaveRawImage();
  Require(buffer != nullptr, "SaveRawImage returned no image");
  return std::vector<uint16_t>(buffer, buffer + kPixels);
}

int Run(const std::vector<std::string>& words) {
  std::vector<OptionSpec> options = kImageOutputOptions;
  options.insert(options.end(), {{"--pixel-map", true}, {"--gain-map", true}, {"--panel", true},
                                 {"--frames", true}, {"--enhance", true}, {kAcceptBadGainsOption, false}});
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
  if (enhance) enhancement = ParseEnhancement(arguments.Value("--enhance"));
  CheckOutputsFree(output, 1, frames, enhance);

  DetectorSession session;
  Require(CheckFrameGrabber() == 1, "CheckFrameGrabber returned 0: no frame grabber (card or PCI_FRM01 module)");
  if (arguments.Has("--pixel-map")) {
    LoadMaps(arguments.Value("--pixel-map"), arguments.Value("--gain-map"), panel, arguments.Has(kAcceptBadGainsOption),
             record);
  } else {
    std::printf("no maps given: the neutral maps are used (nothing is corrected but outliers and the border)\n");
  }
  Require(PanelSelect(panel) == panel, "PanelSelect(" + std::to_string(panel) + ") did not select the panel");
  CatchInterrupt();

  std::vector<uint16_t> enhanced(kPixels);
  const auto start = std::chrono::steady_clock::now();
  for (int frame = 1; frame <= frames; ++frame) {
    const std::vector<uint16_t> image = AcquireOne(frame);
    PollMessagesInto(record);
    record.enhanced = false;
    WriteImageFiles(output, frame, "", image.data(), record);
    if (enhance) {
      EnhanceImage(image.data(), enhanced.data(), enhancement);
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
      RunforDetector(TAVRIX_RUN_CANCEL);
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
