// tavrix maps: what a panel's calibration maps do to its images, as text and,
// on request, as pictures.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/usage_facts.h"
#include "commands/commands.h"
#include "files/image_files.h"
#include "files/map_files.h"
#include "system/native_paths.h"
#include "files/output_files.h"
#include "reports/map_pictures.h"
#include "reports/map_report.h"
#include "tavrix_internal.h"

namespace tavrix_tool {

namespace {

using tavrix::kImageHeight;
using tavrix::kImageWidth;

constexpr size_t kListLimit = 12;  // lines listed one by one; more are counted
constexpr int32_t kFirstDataless = tavrix::kReadoutColumns;
constexpr int32_t kLastDataless = kImageWidth - tavrix::kReadoutColumns - 1;

const std::string kUsage =
    "usage: tavrix maps PIXEL_MAP [GAIN_MAP] [-o PREFIX] [--force]\n"
    "\n"
    "Checks a panel's calibration maps and tells what they do to its images.\n"
    "\n"
    "  PIXEL_MAP    pixel map: " + Square(tavrix::kMapWidth) + " bytes (pixel codes, a flag byte ending\n"
    "               each of the first " + std::to_string(tavrix::kImageHeight) + " rows, column flags in the last row)\n"
    "  GAIN_MAP     gain map: " + ImageSize() + " little-endian float32 values\n"
    "\n"
    "Prints the defective pixels by code (2 is the fill code), their clusters\n"
    "(8-connected), the flagged rows (1 right half, 2 left half, 3 both halves)\n"
    "and columns, and the defects and flags the correction never reaches or\n"
    "masks with the " + std::to_string(tavrix::kBorderMaskWidth) + "-pixel border. For a gain map: the 1st, 50th and 99th\n"
    "percentile, minimum and maximum of the finite gains where the image carries\n"
    "data (rows and columns " + UnmaskedLines() + " without columns " + DatalessColumns() + "), and how many\n"
    "gains there are NaN, infinite, zero and negative.\n"
    "\n"
    "  -o PREFIX    also write PREFIX_defects.png (the defect map in colour, full\n"
    "               size) and, with a gain map, PREFIX_gain.png (grey, black at\n"
    "               the 1st percentile, white at the 99th, NaN black)\n"
    "               and PREFIX_gain_histogram.png\n"
    "  --force      replace those files when they exist\n"
    "  --accept-bad-gains  exit 0 even when more than 0.1 % of the gains where the\n"
    "               image carries data are not finite and positive\n"
    "  --help       print this text\n"
    "\n"
    "Exit status: 0 done; 1 a map cannot be read or has the wrong size, its gains\n"
    "are unusable (see --accept-bad-gains), or a picture cannot be written; 2 wrong usage.\n";

// ---- the pixel map ----

std::string IndexList(const std::vector<FlaggedLine>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size() && i < kListLimit; ++i)
    text += (i == 0 ? "" : ", ") + std::to_string(lines[i].index);
  if (lines.size() > kListLimit) text += ", ... (" + std::to_string(lines.size() - kListLimit) + " more)";
  return text;
}

template <typename Keep>
std::vector<FlaggedLine> Select(const std::vector<FlaggedLine>& lines, Keep keep) {
  std::vector<FlaggedLine> kept;
  for (const FlaggedLine& line : lines)
    if (keep(line)) kept.push_back(line);
  return kept;
}

void PrintLines(const char* heading, const std::vector<FlaggedLine>& lines) {
  if (!lines.empty()) std::printf("    %s: %zu at %s\n", heading, lines.size(), IndexList(lines).c_str());
}

void PrintCodes(const PixelMapReport& report) {
  std::printf("  defective pixels: %zu of %zu\n", report.defective, size_t(kImageWidth) * kImageHeight);
  for (size_t code = 1; code < report.pixelsByCode.size(); ++code) {
    if (report.pixelsByCode[code] == 0) continue;
    const char* note = code == tavrix::kFillCode ? " (fill code: filled before the gain step)" : "";
    std::printf("    code %zu%s: %zu\n", code, note, report.pixelsByCode[code]);
  }
}

void PrintClusters(const PixelMapReport& report) {
  size_t total = 0;
  for (const auto& [size, count] : report.clustersBySize) total += count;
  std::printf("  clusters (8-connected): %zu\n", total);
  for (const auto& [size, count] : report.clustersBySize)
    std::printf("    %zu pixel%s: %zu\n", size, size == 1 ? "" : "s", count);
  const Cluster& largest = report.largestCluster;
  if (largest.pixels == 0) return;
  std::printf("    largest: %zu pixels, rows %d..%d, columns %d..%d\n", largest.pixels, largest.top, largest.bottom,
              largest.left, largest.right);
}

void PrintPlaces(const PixelMapReport& report) {
  const int32_t border = tavrix::kBorderMaskWidth;
  std::printf(
      "  in the data area without a good neighbour (keep their own value): %zu, of them code 2 "
      "(keep the fill value): %zu\n",
      report.withoutGoodNeighbour, report.fillWithoutGoodNeighbour);
  std::printf("  in the %d-pixel border (masked after the repair): %zu\n", border, report.inBorder);
  std::printf("  on rows or columns 0 and %d (never repaired): %zu\n", kImageWidth - 1, report.neverRepaired);
  std::printf("  code 2 on rows or columns 0..%d (never filled): %zu\n", tavrix::kFillReach - 1,
              report.fillNeverFilled);
  std::printf("  in the data-less columns %d..%d: %zu\n", kFirstDataless, kLastDataless, report.inDatalessColumns);
  std::printf("  beside the data-less columns, averaging in a data-less pixel of code 0 (come out low): %zu\n",
              report.averagingDatalessZero);
}

bool Is(const FlaggedLine& line, LineEffect effect) { return line.effect == effect; }

void PrintLineEffects(const std::vector<FlaggedLine>& lines, const char* what) {
  const int32_t margin = tavrix::kLineRepairMargin;
  const std::string never = "never repaired (only " + std::to_string(margin) + ".." +
                            std::to_string(kImageWidth - 1 - margin) + " are, by a fit)";
  PrintLines(never.c_str(), Select(lines, [](const FlaggedLine& l) { return Is(l, LineEffect::kNeverRepaired); }));
  PrintLines("repaired inside the border only (masked, no visible effect)",
             Select(lines, [](const FlaggedLine& l) { return Is(l, LineEffect::kMaskedByBorder); }));
  PrintLines("changing only data-less columns",
             Select(lines, [](const FlaggedLine& l) { return Is(l, LineEffect::kDatalessOnly); }));
  PrintLines("rescaled against data-less columns (the data columns beside come out wrong)",
             Select(lines, [](const FlaggedLine& l) { return Is(l, LineEffect::kReadsDatalessColumns); }));
  const std::string near = std::string("within ") + std::to_string(tavrix::kReferenceReach) + " " + what +
                           " of another fitted repair (not rebuilt reliably)";
  PrintLines(near.c_str(), Select(lines, [](const FlaggedLine& l) { return l.nearAnother; }));
}

void PrintRows(const PixelMapReport& report) {
  std::printf("  flagged rows: %zu\n", report.rows.size());
  const int32_t half = kImageWidth / 2;
  const std::string right =
      "flag 1 (right half, columns " + std::to_string(half) + ".." + std::to_string(kImageWidth - 1) + ")";
  const std::string left = "flag 2 (left half, columns 0.." + std::to_string(half - 1) + ")";
  auto flagged = [&](uint8_t flag) {
    return Select(report.rows, [flag](const FlaggedLine& l) { return l.flag == flag; });
  };
  PrintLines(right.c_str(), flagged(tavrix::kRowFlagRightHalf));
  PrintLines(left.c_str(), flagged(tavrix::kRowFlagLeftHalf));
  PrintLines("flag 3 (both halves)", flagged(tavrix::kRowFlagBothHalves));
  PrintLines("other values (ignored)",
             Select(report.rows, [](const FlaggedLine& l) { return Is(l, LineEffect::kIgnoredValue); }));
  PrintLineEffects(report.rows, "rows");
}

void PrintColumns(const PixelMapReport& report) {
  std::printf("  flagged columns: %zu (any nonzero value flags the whole column)\n", report.columns.size());
  for (int flag = 1; flag <= 255; ++flag) {
    const std::vector<FlaggedLine> lines =
        Select(report.columns, [flag](const FlaggedLine& l) { return l.flag == flag; });
    PrintLines(("flag " + std::to_string(flag)).c_str(), lines);
  }
  PrintLineEffects(report.columns, "columns");
}

void PrintPixelMap(const std::string& path, const PixelMapReport& report) {
  std::printf("pixel map %s: %d x %d bytes\n", path.c_str(), tavrix::kMapWidth, tavrix::kMapHeight);
  PrintCodes(report);
  PrintClusters(report);
  PrintPlaces(report);
  PrintRows(report);
  PrintColumns(report);
}

// ---- the gain map ----

void PrintGainMap(const std::string& path, const GainReport& report) {
  const int32_t border = tavrix::kBorderMaskWidth;
  std::printf("gain map %s: %d x %d float32\n", path.c_str(), tavrix::kImageWidth, tavrix::kImageHeight);
  std::printf("  data area (rows and columns %d..%d without columns %d..%d): %zu gains\n", border,
              kImageHeight - 1 - border, kFirstDataless, kLastDataless, report.dataGains);
  if (report.finite > 0)
    std::printf("  finite gains: min %.6g, 1%% %.6g, median %.6g, 99%% %.6g, max %.6g\n", double(report.min),
                double(report.p1), double(report.median), double(report.p99), double(report.max));
  std::printf("  NaN: %zu, infinite: %zu, zero: %zu, negative: %zu (all but +infinity make the pixel 0)\n", report.nan,
              report.infinite, report.zero, report.negative);
}

// ---- the pictures ----

using FileWriter = std::function<std::string(const std::string& temporaryPath)>;

void WriteFile(const std::string& path, bool overwrite, const FileWriter& write) {
  WriteAtomically(path, overwrite, write);
  std::printf("wrote %s\n", path.c_str());
}

void WritePicture(const std::string& path, bool overwrite, const Picture& picture) {
  WriteFile(path, overwrite, [&](const std::string& temporaryPath) {
    return WritePngRgb(temporaryPath, picture.rgb.data(), picture.width, picture.height);
  });
}

struct Maps {
  std::vector<uint8_t> pixel;
  std::vector<float> gain;  // empty without a gain map
};

// The pictures a run writes; none without -o, no gain pictures without a gain map.
struct Outputs {
  std::string defects, gain, histogram;
  bool overwrite = false;
};

Outputs PlanOutputs(const Arguments& arguments, bool withGain) {
  Outputs outputs;
  if (!arguments.Has("-o")) return outputs;
  const std::string prefix = arguments.Value("-o");
  if (prefix.empty()) throw UsageError("-o needs a prefix");
  RequireOutputFolder(prefix);
  outputs.overwrite = arguments.Has("--force");
  outputs.defects = prefix + "_defects.png";
  if (withGain) {
    outputs.gain = prefix + "_gain.png";
    outputs.histogram = prefix + "_gain_histogram.png";
  }
  // Refused before any map is read, so that no run leaves part of its pictures.
  for (const std::string* path : {&outputs.defects, &outputs.gain, &outputs.histogram})
    if (!outputs.overwrite && !path->empty() && std::filesystem::exists(FsPath(*path)))
      throw Failure(*path + ": exists (--force replaces it)");
  return outputs;
}

void WriteGainPictures(const Outputs& outputs, const std::vector<float>& gains, const GainReport& report) {
  const std::vector<uint16_t> levels = GainGreyLevels(gains, report.p1, report.p99);
  WriteFile(outputs.gain, outputs.overwrite, [&](const std::string& temporaryPath) {
    return WritePngPreview(temporaryPath, levels.data(), tavrix::kImageWidth, tavrix::kImageHeight, {0, kGreyWhite});
  });
  WritePicture(outputs.histogram, outputs.overwrite, GainHistogramPicture(gains, report));
  const HistogramRange range = GainHistogramRange(report);
  std::printf("  gains %.6g..%.6g, 1st and 99th percentile orange, median cyan\n", range.low, range.high);
}

void WritePictures(const Outputs& outputs, const Maps& maps, const PixelMapReport& pixelReport,
                   const GainReport& gainReport) {
  if (outputs.defects.empty()) return;
  WritePicture(outputs.defects, outputs.overwrite, DefectPicture(maps.pixel, pixelReport));
  std::printf("  %s\n", DefectPictureLegend().c_str());
  if (!outputs.gain.empty()) WriteGainPictures(outputs, maps.gain, gainReport);
}

int RunMaps(const std::vector<std::string>& words) {
  const Arguments arguments(words, {{"-o", true}, {"--force", false}, {"--help", false}, {kAcceptBadGainsOption, false}});
  if (arguments.Has("--help")) {
    std::fputs(kUsage.c_str(), stdout);
    return 0;
  }
  const std::vector<std::string>& paths = arguments.Positionals();
  if (paths.empty() || paths.size() > 2) throw UsageError("expected a pixel map and at most a gain map");
  const Outputs outputs = PlanOutputs(arguments, paths.size() == 2);

  Maps maps{ReadPixelMapFile(paths[0]), {}};
  if (paths.size() == 2) maps.gain = ReadGainMapFile(paths[1]);
  const PixelMapReport pixelReport = AnalysePixelMap(maps.pixel);
  PrintPixelMap(paths[0], pixelReport);
  GainReport gainReport;
  if (!maps.gain.empty()) {
    gainReport = AnalyseGainMap(maps.gain);
    PrintGainMap(paths[1], gainReport);
  }
  std::fflush(stdout);
  WritePictures(outputs, maps, pixelReport, gainReport);
  // Described and drawn above, then refused: a host must not load it.
  if (!maps.gain.empty() && !arguments.Has(kAcceptBadGainsOption)) RequireUsableGains(paths[1], maps.gain.data());
  return 0;
}

}  // namespace

extern const Command kMapsCommand{"maps", "what a pixel map and a gain map do to the images, as text and pictures",
                                  kUsage.c_str(), RunMaps};

}  // namespace tavrix_tool
