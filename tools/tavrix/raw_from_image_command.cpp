// tavrix raw-from-image: the raw frame that reads out as a given image, for
// replay files of the simulator (PCI_FRM01_SIM_FRAMES).
#include <cstdio>
#include <vector>

#include "acquisition/read_frame.h"
#include "command_line.h"
#include "commands.h"
#include "grabber/frame_grabber.h"
#include "image_files.h"
#include "output_files.h"
#include "tavrix_1417_pci_vusk.h"

namespace tavrix_tool {

namespace {

const char* const kUsage =
    "usage: tavrix raw-from-image IMAGE -o RAW_FILE [--force]\n"
    "\n"
    "Writes the raw frame (16,204,480 bytes) that the readout turns into IMAGE (a 3072 x 3072\n"
    "16-bit TIFF or .raw). The middle columns 1280..1791 carry no data and are not kept.\n"
    "Concatenated frames make a replay file for the simulator (PCI_FRM01_SIM_FRAMES).\n";

std::string WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return "cannot create the file";
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  return written && closed ? std::string() : "cannot write the frame (disk full?)";
}

int Run(const std::vector<std::string>& words) {
  const Arguments arguments(words, {{"-o", true}, {"--force", false}});
  if (arguments.Positionals().size() != 1) throw UsageError("one IMAGE is required");
  if (!arguments.Has("-o") || arguments.Value("-o").empty()) throw UsageError("-o RAW_FILE is required");
  const std::string target = arguments.Value("-o");
  RequireOutputFolder(target);
  const std::vector<uint16_t> image =
      ReadImage16(arguments.Positionals()[0], TAVRIX_IMAGE_WIDTH, TAVRIX_IMAGE_HEIGHT);
  std::vector<uint8_t> frame(size_t(tavrix::kRawFrameBytes));
  tavrix::ScrambleFrame(image.data(), frame.data(), TAVRIX_IMAGE_WIDTH, TAVRIX_IMAGE_HEIGHT);
  WriteAtomically(target, arguments.Has("--force"), [&](const std::string& path) { return WriteBytes(path, frame); });
  std::printf("wrote %s\n", target.c_str());
  return 0;
}

}  // namespace

const Command kRawFromImageCommand = {"raw-from-image", "make a raw frame (for replay) from an image", kUsage, Run};

}  // namespace tavrix_tool
