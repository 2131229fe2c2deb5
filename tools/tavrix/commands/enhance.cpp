// tavrix enhance: stored images enhanced for display through the library's
// Enhancement; the input files are only read.
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/usage_facts.h"
#include "commands/commands.h"
#include "commands/detector_session.h"
#include "commands/image_output.h"
#include "files/image_files.h"
#include "tavrix_1417_pci_vusk.h"

namespace tavrix_tool {

namespace {

constexpr int32_t kWidth = TAVRIX_IMAGE_WIDTH;
constexpr int32_t kHeight = TAVRIX_IMAGE_HEIGHT;
constexpr size_t kPixels = size_t(kWidth) * kHeight;

const std::string kUsage =
    "usage: tavrix enhance [--levels L] [--strength S] [--radius R] [--decay D] [--format ...] -o PREFIX IMAGE...\n"
    "\n"
    "Enhances stored " + ImageSize() + " 16-bit images (TIFF, or headerless little-endian .raw of\n"
    "" + Grouped(kPixels * sizeof(uint16_t)) + " bytes) for display and writes PREFIX_0001_enhanced.tif, ... The inputs are\n"
    "never modified.\n"
    "\n"
    "  --levels L                 detail levels, 1..5 (default 5)\n"
    "  --strength S               detail gain, 1..1000 (default 10)\n"
    "  --radius R                 smoothing radius, 1..3 (default 3)\n"
    "  --decay D                  smoothing decay in tenths, 1..30 (default 10)\n";

int Run(const std::vector<std::string>& words) {
  std::vector<OptionSpec> options = kImageOutputOptions;
  for (const EnhancementRange& range : kEnhancementRanges) options.push_back({std::string("--") + range.name, true});
  const Arguments arguments(words, options);
  const ImageOutput output = ParseImageOutput(arguments);
  const std::vector<std::string>& inputs = arguments.Positionals();
  if (inputs.empty()) throw UsageError("no image given");
  // Values the library would leave untouched are refused here, so that no
  // file claims an enhancement it did not get.
  EnhancementSettings enhancement{};
  for (const EnhancementRange& range : kEnhancementRanges)
    enhancement.*range.field =
        arguments.IntValue(std::string("--") + range.name, range.fallback, range.low, range.high);
  CheckOutputsFree(output, 1, int(inputs.size()), true);
  // Every input read once before the first write, so that a bad one among
  // good ones leaves nothing behind; reading is cheap beside the enhancement.
  for (const std::string& input : inputs) ReadImage16(input, kWidth, kHeight);

  const DetectorSession session;
  std::vector<uint16_t> working(kPixels), enhanced(kPixels);
  ImageRecord record;
  record.command = "enhance";
  record.enhanced = true;
  record.enhancement = enhancement;
  for (size_t i = 0; i < inputs.size(); ++i) {
    const std::vector<uint16_t> source = ReadImage16(inputs[i], kWidth, kHeight);
    try {
      EnhanceImage(source.data(), working.data(), enhanced.data(), enhancement);
    } catch (const Failure& failure) {
      throw Failure(inputs[i] + ": " + failure.what());
    }
    record.sourceFile = inputs[i];
    record.frameIndex = 0;
    WriteImageFiles(output, int(i) + 1, "_enhanced", enhanced.data(), record);
  }
  std::printf("%zu image(s) enhanced into %s_NNNN_enhanced\n", inputs.size(), output.prefix.c_str());
  return 0;
}

}  // namespace

const Command kEnhanceCommand = {"enhance", "enhance stored images for display", kUsage.c_str(), Run, true};

}  // namespace tavrix_tool
