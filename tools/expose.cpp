// One whole exposure, run exactly as a host runs it, through the library's
// exports only, against whichever frame-grabber module is installed (the
// simulator in the build tree):
//   expose <output-dir> [--uncorrected]
// writes the simulated panel's maps, loads them, acquires one frame, polls
// the detector's messages, enhances the image and writes both images as a
// 16-bit TIFF and an 8-bit PNG preview. --uncorrected also acquires a frame
// with the neutral maps of the other panel, for comparison.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "image_files.h"
#include "simulated_panel.h"
#include "tavrix_1417_pci_vusk.h"

namespace {

constexpr int32_t kWidth = TAVRIX_IMAGE_WIDTH;
constexpr int32_t kHeight = TAVRIX_IMAGE_HEIGHT;
constexpr size_t kPixels = size_t(kWidth) * size_t(kHeight);

constexpr int32_t kDone = 1;
constexpr int32_t kArm = TAVRIX_RUN_ARM;
constexpr int32_t kAcquire = TAVRIX_RUN_ACQUIRE;
constexpr int32_t kPanel = 0;
// Maps are loaded for panel 0 only, so panel 1 keeps the neutral maps of
// creation: its frames show what the panel delivers, only filtered and masked.
constexpr int32_t kNeutralPanel = 1;

// Enhancement settings for viewing.
constexpr int32_t kLevels = 4;
constexpr int32_t kStrength = 10;
constexpr int32_t kSmoothingRadius = 2;
constexpr int32_t kSmoothingDecay = 10;

bool Report(const std::string& call, int32_t result, int32_t expected) {
  std::printf("  %-44s -> %d\n", call.c_str(), result);
  if (result == expected) return true;
  std::fprintf(stderr, "expose: %s returned %d, expected %d\n", call.c_str(), result, expected);
  return false;
}

// Arms, acquires and copies the library's image out before anything can
// overwrite it.
bool AcquireInto(std::vector<uint16_t>& image) {
  if (!Report("RunforDetector(1)", RunforDetector(kArm), kDone)) return false;
  if (!Report("RunforDetector(2)", RunforDetector(kAcquire), kDone)) return false;
  const uint16_t* buffer = SaveRawImage();
  std::printf("  %-44s -> %s\n", "SaveRawImage()", buffer != nullptr ? "image buffer" : "null");
  if (buffer == nullptr) {
    std::fprintf(stderr, "expose: SaveRawImage returned no image\n");
    return false;
  }
  std::memcpy(image.data(), buffer, kPixels * sizeof(uint16_t));
  return true;
}

void PollMessages() {
  std::printf("  %-44s -> %d\n", "CheckSwitch()", CheckSwitch());
  const int32_t length = GetMsgLength();
  std::printf("  %-44s -> %d\n", "GetMsgLength()", length);
  int32_t codes = 0;
  for (int32_t position = 0; position < length; ++position) {
    const int32_t code = GetSwitchMsg(position);
    if (code == 0) continue;
    const std::string call = "GetSwitchMsg(" + std::to_string(position) + ")";
    std::printf("  %-44s -> %d\n", call.c_str(), code);
    ++codes;
  }
  if (codes == 0) {
    const std::string calls = "GetSwitchMsg(0.." + std::to_string(length - 1) + ")";
    std::printf("  %-44s -> 0 everywhere, no switch code\n", calls.c_str());
  }
  std::printf("  %-44s -> %d\n", "GetTemperature()", GetTemperature());
}

bool WriteImage(const std::filesystem::path& directory, const char* name, const std::vector<uint16_t>& image) {
  const std::string tiff = (directory / (std::string(name) + ".tif")).string();
  const std::string png = (directory / (std::string(name) + ".png")).string();
  std::string error = tavrix_tools::WriteTiff16(tiff, image.data(), kWidth, kHeight);
  const tavrix_tools::DisplayWindow window = tavrix_tools::PercentileWindow(image.data(), kWidth, kHeight);
  if (error.empty()) error = tavrix_tools::WritePngPreview(png, image.data(), kWidth, kHeight, window);
  if (!error.empty()) {
    std::fprintf(stderr, "expose: %s\n", error.c_str());
    return false;
  }
  std::printf("  %-11s %s\n  %-11s %s (window %u..%u)\n", name, tiff.c_str(), "", png.c_str(), unsigned(window.low),
              unsigned(window.high));
  return true;
}

// Everything between creation and release; false at the first failure.
bool RunExposure(const std::filesystem::path& directory, bool withUncorrected) {
  if (!Report("CheckFrameGrabber()", CheckFrameGrabber(), kDone)) return false;

  const std::string pixelMap = (directory / "sim_pixel_map.bin").string();
  const std::string gainMap = (directory / "sim_gain_map.bin").string();
  if (!pci_frm01_sim::WritePixelMapFile(pixelMap.c_str()) || !pci_frm01_sim::WriteGainMapFile(gainMap.c_str())) {
    std::fprintf(stderr, "expose: cannot write the calibration maps into %s: %s\n", directory.c_str(),
                 std::strerror(errno));
    return false;
  }
  if (!Report("LoadPixelMap(\"" + pixelMap + "\", 0)", LoadPixelMap(pixelMap.c_str(), kPanel), kDone)) return false;
  if (!Report("LoadGainMap(\"" + gainMap + "\", 0)", LoadGainMap(gainMap.c_str(), kPanel), kDone)) return false;
  if (!Report("PanelSelect(0)", PanelSelect(kPanel), kPanel)) return false;

  std::vector<uint16_t> corrected(kPixels);
  if (!AcquireInto(corrected)) return false;
  PollMessages();

  // The run smooths its source in place: enhance a copy.
  std::vector<uint16_t> source = corrected;
  std::vector<uint16_t> enhanced(kPixels, 0);
  const std::string call = "Enhancement(copy, buffer, " + std::to_string(kLevels) + ", " + std::to_string(kStrength) +
                           ", " + std::to_string(kSmoothingRadius) + ", " + std::to_string(kSmoothingDecay) + ")";
  if (!Report(call, Enhancement(source.data(), enhanced.data(), kLevels, kStrength, kSmoothingRadius, kSmoothingDecay),
              kDone)) {
    return false;
  }

  std::vector<uint16_t> uncorrected;
  if (withUncorrected) {
    std::printf("uncorrected frame, panel 1 with neutral maps:\n");
    if (!Report("PanelSelect(1)", PanelSelect(kNeutralPanel), kNeutralPanel)) return false;
    uncorrected.resize(kPixels);
    if (!AcquireInto(uncorrected)) return false;
  }

  std::printf("images:\n");
  if (!WriteImage(directory, "corrected", corrected) || !WriteImage(directory, "enhanced", enhanced)) return false;
  if (withUncorrected && !WriteImage(directory, "uncorrected", uncorrected)) return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool withUncorrected = false;
  const char* output = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--uncorrected") == 0) {
      withUncorrected = true;
    } else if (output == nullptr && argv[i][0] != '-') {
      output = argv[i];
    } else {
      output = nullptr;
      break;
    }
  }
  if (output == nullptr) {
    std::fprintf(stderr, "usage: %s <output-dir> [--uncorrected]\n", argv[0]);
    return 2;
  }
  const std::filesystem::path directory(output);
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error || !std::filesystem::is_directory(directory)) {
    std::fprintf(stderr, "expose: cannot create the output directory %s: %s\n", output, error.message().c_str());
    return 1;
  }

  std::printf("one exposure through the detector library:\n");
  if (!Report("Sys_Allocation_1417()", Sys_Allocation_1417(), kDone)) return 1;
  const bool exposed = RunExposure(directory, withUncorrected);
  const bool released = Report("Sys_Free()", Sys_Free(), kDone);
  if (!exposed || !released) {
    std::fprintf(stderr, "expose: the exposure failed; see above\n");
    return 1;
  }
  std::printf("done: the images are in %s\n", std::filesystem::absolute(directory).c_str());
  return 0;
}
