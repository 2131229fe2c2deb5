// tavrix raw-from-image: the raw frame that reads out as a given image, for
// replay files of the simulator (PCI_FRM01_SIM_FRAMES).
#include <cstdio>
#include <vector>

#include "cli/command_line.h"
#include "cli/usage_facts.h"
#include "commands/commands.h"
#include "files/image_files.h"
#include "files/output_files.h"
#include "files/raw_frames.h"
#include "tavrix_internal.h"

namespace tavrix_tool {

namespace {

const std::string kUsage =
    "usage: tavrix raw-from-image IMAGE -o RAW_FILE [--force]\n"
    "\n"
    "Writes the raw frame (" + Grouped(tavrix::kRawFrameBytes) + " bytes) that the readout turns into IMAGE (a " + ImageSize() + "\n"
    "16-bit TIFF or .raw). The middle columns " + DatalessColumns() + " carry no data and are not kept.\n"
    "Concatenated frames make a replay file for the simulator (PCI_FRM01_SIM_FRAMES).\n";

int Run(const std::vector<std::string>& words) {
  const Arguments arguments(words, {{"-o", true}, {"--force", false}});
  if (arguments.Positionals().size() != 1) throw UsageError("one IMAGE is required");
  if (!arguments.Has("-o") || arguments.Value("-o").empty()) throw UsageError("-o RAW_FILE is required");
  const std::string target = arguments.Value("-o");
  RequireOutputFolder(target);
  const std::vector<uint16_t> image =
      ReadImage16(arguments.Positionals()[0], tavrix::kImageWidth, tavrix::kImageHeight);
  WriteRawFrames(target, arguments.Has("--force"), 1, [&](uint8_t* frame) {
    tavrix::internal::Scramble(image.data(), frame);
    return std::string();
  });
  std::printf("wrote %s\n", target.c_str());
  return 0;
}

}  // namespace

const Command kRawFromImageCommand = {"raw-from-image", "make a raw frame (for replay) from an image", kUsage.c_str(), Run};

}  // namespace tavrix_tool
