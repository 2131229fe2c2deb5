// tavrix calibrate: the panel's pixel map and gain map from dark and flat
// frames, either stored raw-frame files (build) or frames fetched through
// the frame grabber (acquire), with a report of what was found.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <system_error>

#include "calibration/acceptance.h"
#include "calibration/calibration_analysis.h"
#include "calibration/calibration_frames.h"
#include "calibration/calibration_report.h"
#include "cli/command_line.h"
#include "cli/interrupt.h"
#include "cli/usage_facts.h"
#include "commands/commands.h"
#include "commands/image_output.h"
#include "files/folder_replacement.h"
#include "files/map_files.h"
#include "files/output_files.h"
#include "system/native_paths.h"
#include "files/raw_frames.h"
#include "system/utc_time.h"
#include "tavrix_internal.h"

namespace tavrix_tool {

namespace {

std::string LimitsUsage() {
  std::string text;
  const AcceptanceLimits defaults;
  for (const AcceptanceLimit& limit : kAcceptanceLimits) {
    char line[160];
    std::snprintf(line, sizeof line, "  %-21s most %s (%g)\n", (std::string(limit.option) + " X").c_str(), limit.what,
                  defaults.*limit.field);
    text += line;
  }
  return text;
}

const std::string kResponse = WindowName(kResponseWindow);
const std::string kUniformity = WindowName(kUniformityWindow);
const std::string kUsage =
    "usage: tavrix calibrate build --darks FILE... --flats FILE... [--flats FILE...] [--check FILE...]\n"
    "                              [THRESHOLDS] [LIMITS] [IDENTITY] [--allow-fewer-levels] [--force] -o DIR\n"
    "       tavrix calibrate acquire --darks N --flats N [--levels K] [--check N] [--yes]\n"
    "                              [--discard-frames]\n"
    "                              [THRESHOLDS] [LIMITS] [IDENTITY] [--allow-fewer-levels] [--force] -o DIR\n"
    "\n"
    "Builds the panel's maps from uncorrected frames (read out only: no filter, no maps,\n"
    "no border) and writes DIR/pixel_map.bin, DIR/gain_map.bin, DIR/defects.csv and\n"
    "DIR/report.html with its pictures. Each --flats is one dose level (files of one or\n"
    "more raw frames of " + Grouped(tavrix::kRawFrameBytes) + " bytes); --check is an independent flat used only to\n"
    "measure the result. Every set needs at least " + std::to_string(kMinFramesPerSet) + " frames. `acquire` fetches the frames\n"
    "through the frame grabber, asks for each dose (Enter to go on; --yes does not ask),\n"
    "stores them as raw files in DIR (darks.raw, flats_K.raw, check.raw), kept for a later\n"
    "`calibrate build`, and builds from them; --discard-frames removes them once the maps\n"
    "are written. Ctrl-C stops it and leaves DIR as it was, no frame file and no temporary\n"
    "file written (exit status 130).\n"
    "\n"
    "A flat level refused (saturated, too dim, too noisy) stops the build (exit 1) unless\n"
    "--allow-fewer-levels builds from the levels left. The report opens with a verdict, PASS or\n"
    "FAIL against the acceptance LIMITS (FAIL without a check flat: no independent check).\n"
    "\n"
    "  --station NAME        the station, for the report (IDENTITY)\n"
    "  --panel-id ID         the panel's serial number, for the report (IDENTITY)\n"
    "  --allow-fewer-levels  build from the levels left when a level is refused\n"
    "  --dead-below F        signal below F x the median: dead (0.10)\n"
    "  --hot-above N         dark above the median dark by N counts: hot (819)\n"
    "  --over-above F        response above F x its " + kResponse + " median (1.3)\n"
    "  --under-below F       response below F x its " + kResponse + " median (0.6)\n"
    "  --noisy-above F       temporal deviation above F x the median (6)\n"
    "  --nonuniform-above F  corrected check flat off its " + kUniformity + " median by more (0.01)\n"
    "  --line-fraction F     half rows and columns with more defective pixels are flagged (0.5)\n"
    "  --line-departure F    ... and those whose mean is this far off the lines 2 and 3 away (0.10)\n"
    "  --force               replace the calibration (and, for acquire, the frames) DIR holds\n"
    "\n"
    "DIR changes whole or not at all: everything is written into a new folder beside it,\n"
    "which replaces DIR only when complete; the calibration it held is kept as DIR.previous\n"
    "(other files in DIR are carried over). A refused calibration leaves DIR as it was and\n"
    "its report in DIR.refused.\n\n" + LimitsUsage();

constexpr int kMaxFlatLevels = 8;
const char* const kStoppedByInterrupt = "stopped by Ctrl-C";
const char* const kPixelMapName = "pixel_map.bin";
const char* const kGainMapName = "gain_map.bin";
const char* const kDarksName = "darks.raw";
const char* const kCheckName = "check.raw";
std::string FlatsName(int level) { return "flats_" + std::to_string(level) + ".raw"; }

struct Threshold {
  const char* option;
  double CalibrationSettings::*field;
  double low, high;
};
const Threshold kThresholds[] = {
    {"--dead-below", &CalibrationSettings::deadBelow, 0.0, 1.0},
    {"--hot-above", &CalibrationSettings::hotAbove, 1.0, double(tavrix::kMaxPixelValue)},
    {"--over-above", &CalibrationSettings::overAbove, 1.0, 100.0},
    {"--under-below", &CalibrationSettings::underBelow, 0.0, 1.0},
    {"--noisy-above", &CalibrationSettings::noisyAbove, 1.0, 1000.0},
    {"--nonuniform-above", &CalibrationSettings::nonUniformAbove, 0.0001, 1.0},
    {"--line-fraction", &CalibrationSettings::lineFraction, 0.0, 1.0},
    {"--line-departure", &CalibrationSettings::lineDeparture, 0.0, 1.0},
};

// The options of each mode: build takes files, acquire takes frame counts.
std::vector<OptionSpec> Options(bool build) {
  std::vector<OptionSpec> options = {{"-o", true},       {"--force", false},  {"--allow-fewer-levels", false},
                                     {"--station", true}, {"--panel-id", true}};
  for (const AcceptanceLimit& limit : kAcceptanceLimits) options.push_back({limit.option, true});
  if (build) {
    options.insert(options.end(), {{"--darks", false, true}, {"--flats", false, true}, {"--check", false, true}});
  } else {
    options.insert(options.end(),
                   {{"--darks", true}, {"--flats", true}, {"--levels", true}, {"--check", true}, {"--yes", false},
                    {"--discard-frames", false}});
  }
  for (const Threshold& t : kThresholds) options.push_back({t.option, true});
  return options;
}

CalibrationSettings ParseSettings(const Arguments& arguments) {
  CalibrationSettings settings;
  for (const Threshold& t : kThresholds) settings.*t.field = arguments.NumberValue(t.option, settings.*t.field, t.low, t.high);
  return settings;
}

AcceptanceLimits ParseLimits(const Arguments& arguments) {
  AcceptanceLimits limits;
  for (const AcceptanceLimit& l : kAcceptanceLimits)
    limits.*l.field = arguments.NumberValue(l.option, limits.*l.field, l.low, l.high);
  return limits;
}

// Everything a build takes beside the frames.
struct BuildOptions {
  CalibrationSettings settings;
  AcceptanceLimits limits;
  bool allowFewerLevels = false;
  std::string station, panelId;
};

BuildOptions ParseBuildOptions(const Arguments& arguments) {
  return {ParseSettings(arguments), ParseLimits(arguments), arguments.Has("--allow-fewer-levels"),
          arguments.Value("--station"), arguments.Value("--panel-id")};
}

void AddFrameFiles(CalibrationSources& sources, const std::string& set, const std::vector<std::string>& files) {
  const std::vector<int> counts = CountRawFrames(files);
  for (size_t f = 0; f < files.size(); ++f) sources.files.push_back({set, files[f], counts[f], FileSha256(files[f])});
}

// The names a calibration writes into its folder; anything else there (frames
// the user keeps beside the maps) is carried over when the folder is replaced.
bool IsCalibrationOutput(const std::string& name) {
  const auto endsWith = [&](const std::string& end) {
    return name.size() >= end.size() && name.compare(name.size() - end.size(), end.size(), end) == 0;
  };
  return name == kPixelMapName || name == kGainMapName || name == "defects.csv" || endsWith(".html") ||
         endsWith(".png");
}

// "maps/" and "maps" are the same folder; its siblings are named from "maps".
// The folder is replaced through its parent: ".", ".." and a root have none.
std::string FolderName(std::string folder) {
  while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  const std::string name = FsPath(folder).filename().u8string();
  if (name.empty() || name == "." || name == "..")
    throw UsageError("-o DIR must name a folder of its own (not '" + folder + "'): it is replaced whole");
  return folder;
}

// Refuses before anything is read when DIR holds any of `names` already.
void CheckOutputFolder(const std::string& folder, bool force, const std::vector<std::string>& names) {
  std::error_code error;
  if (force) return;
  for (const std::string& name : names)
    if (std::filesystem::exists(FsPath(folder + "/" + name), error))
      throw Failure(folder + " holds " + name + " already; --force replaces it");
}

std::string Join(const std::vector<std::string>& files) {
  std::string text;
  for (const std::string& f : files) text += (text.empty() ? "" : " ") + f;
  return text;
}

int TotalFrames(const std::vector<std::string>& files) {
  int total = 0;
  for (int count : CountRawFrames(files)) total += count;
  return total;
}

void RequireFrames(const std::string& what, int frames) {
  if (frames < kMinFramesPerSet)
    throw Failure(what + " hold " + std::to_string(frames) + " frame(s); each set needs at least " +
                  std::to_string(kMinFramesPerSet));
  if (frames > kMaxFramesPerSet)
    throw Failure(what + " hold more than " + std::to_string(kMaxFramesPerSet) + " frames, more than a set may");
}

FrameSetStats ReadSet(const std::string& what, const std::vector<std::string>& files, Deviations keep) {
  FrameSetAccumulator accumulator;
  const int total = TotalFrames(files);
  AccumulateRawFiles(files, accumulator, [&](int done) {
    std::fprintf(stderr, "\rreading %s: %d of %d frames", what.c_str(), done, total);
    std::fflush(stderr);
  });
  std::fprintf(stderr, "\n");
  return accumulator.Finish(keep);
}

void WriteMaps(const std::string& folder, const CalibrationResult& result) {
  WritePixelMapFile(folder + "/" + kPixelMapName, true, result.pixelMap.data());
  WriteGainMapFile(folder + "/" + kGainMapName, true, result.gains.data());
}

// Builds the calibration into `staging` and swaps it in as `folder`; a refused
// one goes to FOLDER.refused, `folder` untouched.
int BuildFromFiles(const std::vector<std::string>& darkFiles, const std::vector<std::vector<std::string>>& flatFiles,
                   const std::vector<std::string>& checkFiles, const BuildOptions& options,
                   const std::string& folder, const std::string& staging, const char* how) {
  const CalibrationSettings& settings = options.settings;
  // Every file's size and every set's length before a frame is read.
  RequireFrames("the darks", TotalFrames(darkFiles));
  for (size_t k = 0; k < flatFiles.size(); ++k)
    RequireFrames("flat level " + std::to_string(k + 1) + " (" + Join(flatFiles[k]) + ")", TotalFrames(flatFiles[k]));
  if (!checkFiles.empty()) RequireFrames("the check flat (" + Join(checkFiles) + ")", TotalFrames(checkFiles));

  const FrameSetStats darks = ReadSet("darks", darkFiles, Deviations::kKeep);
  const double darkMedian = DataMedian(darks.mean);
  CalibrationSources sources;
  sources.darks = Join(darkFiles);
  sources.created = UtcNow("%Y-%m-%d %H:%M:%S UTC");
  sources.toolVersion = VersionString();
  sources.libraryVersion = VersionString();  // one copy of the library, linked in
  sources.station = options.station;
  sources.panelId = options.panelId;
  // Uncorrected frames come without the serial channel that reports it.
  sources.temperature = "no reading";
  sources.command = how;
  std::vector<std::unique_ptr<FrameSetStats>> levels;
  std::vector<std::pair<double, size_t>> order;
  for (size_t k = 0; k < flatFiles.size(); ++k) {
    auto level = std::make_unique<FrameSetStats>(ReadSet("flat level " + std::to_string(k + 1), flatFiles[k], Deviations::kMedianOnly));
    const double median = DataMedian(level->mean);
    if (median <= darkMedian)
      throw Failure("the darks (median " + std::to_string(int(darkMedian)) + ") are brighter than flat level " +
                    std::to_string(k + 1) + " (" + Join(flatFiles[k]) + ", median " + std::to_string(int(median)) +
                    "): are darks and flats swapped?");
    const std::string problem = FlatLevelProblem(*level, darks);
    if (!problem.empty()) {
      std::fprintf(stderr, "tavrix calibrate: flat level %zu (%s) refused: %s\n", k + 1, Join(flatFiles[k]).c_str(),
                   problem.c_str());
      sources.refusedLevels.push_back(Join(flatFiles[k]) + ": " + problem);
      continue;
    }
    order.push_back({median, levels.size()});
    sources.levels.push_back(Join(flatFiles[k]));
    levels.push_back(std::move(level));
  }
  if (levels.empty()) throw Failure("no flat level is left to calibrate with");
  if (!sources.refusedLevels.empty() && !options.allowFewerLevels)
    throw Failure(std::to_string(sources.refusedLevels.size()) + " of " + std::to_string(flatFiles.size()) +
                  " flat level(s) refused, nothing written; repeat them, or --allow-fewer-levels builds from the " +
                  std::to_string(levels.size()) + " left");
  std::unique_ptr<FrameSetStats> check;
  if (!checkFiles.empty()) {
    check = std::make_unique<FrameSetStats>(ReadSet("check flat", checkFiles, Deviations::kMedianOnly));
    const std::string problem = FlatLevelProblem(*check, darks);
    if (!problem.empty()) throw Failure("the check flat (" + Join(checkFiles) + "): " + problem);
    sources.check = Join(checkFiles);
  }
  // Levels in increasing dose.
  std::sort(order.begin(), order.end());
  std::vector<const FrameSetStats*> sorted;
  std::vector<std::string> names;
  for (const auto& [median, index] : order) {
    sorted.push_back(levels[index].get());
    names.push_back(sources.levels[index]);
  }
  sources.levels = names;

  AddFrameFiles(sources, "darks", darkFiles);
  for (size_t k = 0; k < sources.levels.size(); ++k)
    AddFrameFiles(sources, "flat level " + std::to_string(k + 1), {sources.levels[k]});
  if (!checkFiles.empty()) AddFrameFiles(sources, "check flat", checkFiles);

  const CalibrationResult result = Calibrate(darks, sorted, check.get(), settings);
  const Verdict verdict = Judge(result, options.limits);
  const std::string csv = DefectsCsv(result);
  WriteBytesAtomically(staging + "/defects.csv", true, csv.data(), csv.size());
  WriteCalibrationReport(staging, result, sources, settings, verdict);
  std::printf("%s", CalibrationSummary(result, verdict).c_str());
  if (const std::string beam = BeamProblem(result); !beam.empty()) {
    const std::string refused = folder + ".refused";
    MoveFolderTo(staging, refused);
    throw Failure("maps not written: " + beam + " (see " + refused + "/report.html; " + folder + " is as it was)");
  }
  if (!result.refusals.empty()) {
    // One line however many: the report lists them all.
    const size_t more = result.refusals.size() - 1;
    const std::string reasons =
        result.refusals.front() + (more > 0 ? " and " + std::to_string(more) + " more problem(s)" : "");
    const std::string refused = folder + ".refused";
    MoveFolderTo(staging, refused);
    throw Failure("maps not written, the correction could not use them well: " + reasons + " (see " + refused +
                  "/report.html; " + folder + " is as it was)");
  }
  WriteMaps(staging, result);
  SwapFolderIn(staging, folder, [](const std::string& name) { return !IsCalibrationOutput(name); });
  std::printf("maps written: %s/%s, %s/%s; report: %s/report.html\n", folder.c_str(), kPixelMapName, folder.c_str(),
              kGainMapName, folder.c_str());
  return 0;
}

// Acquires `frames` uncorrected frames into the raw file `path`.
void AcquireSet(tavrix::internal::RawFrameSource& grabber, const std::string& what, int frames,
                const std::string& path) {
  int done = 0;
  try {
    WriteRawFrames(path, true, frames, [&](uint8_t* frame) -> std::string {
      if (InterruptRequested()) return kStoppedByInterrupt;
      if (!grabber.Capture(frame)) return InterruptRequested() ? kStoppedByInterrupt : "the frame grabber delivered no frame";
      std::fprintf(stderr, "\racquiring %s: %d of %d frames", what.c_str(), ++done, frames);
      std::fflush(stderr);
      return "";
    });
  } catch (const Failure&) {
    std::fprintf(stderr, "\n");
    StopIfInterrupted("interrupted while acquiring " + what + "; nothing written, the output folder as it was");
    throw;
  }
  std::fprintf(stderr, "\n");
}

void AskFor(const std::string& prompt, bool yes) {
  std::printf("%s%s\n", prompt.c_str(), yes ? "" : " Press Enter when ready.");
  std::fflush(stdout);
  if (yes) return;
  std::string answer;
  if (!std::getline(std::cin, answer)) {
    StopIfInterrupted("interrupted at the prompt; nothing written, the output folder as it was");
    throw Failure("stopped: no answer on standard input");
  }
}

struct AcquisitionPlan {
  int darks, flats, levels, checks;
  bool yes;
};

// Acquires every set into `staging`, then builds there. A failure once the
// sets are in hand keeps them, with the folder, as FOLDER.refused.
int AcquireAndBuild(const AcquisitionPlan& plan, const BuildOptions& options, const std::string& folder,
                    const std::string& staging) {
  CatchInterrupt();
  auto grabber = std::make_unique<tavrix::internal::RawFrameSource>();
  const char* reason = "";
  if (!grabber->Open(reason)) throw Failure(reason);

  AskFor("Darks: no exposure; the panel warmed up for 30 minutes.", plan.yes);
  const std::string darkFile = staging + "/" + kDarksName;
  AcquireSet(*grabber, "darks", plan.darks, darkFile);
  std::vector<std::vector<std::string>> flatFiles;
  for (int k = 1; k <= plan.levels; ++k) {
    AskFor("Flat level " + std::to_string(k) + " of " + std::to_string(plan.levels) +
               ": uniform exposure, no object in the beam.",
           plan.yes);
    flatFiles.push_back({staging + "/" + FlatsName(k)});
    AcquireSet(*grabber, "flat level " + std::to_string(k), plan.flats, flatFiles.back()[0]);
  }
  std::vector<std::string> checkFiles;
  if (plan.checks > 0) {
    AskFor("Check flat: a uniform exposure at a dose between the levels.", plan.yes);
    checkFiles.push_back(staging + "/" + kCheckName);
    AcquireSet(*grabber, "check flat", plan.checks, checkFiles[0]);
  }
  grabber.reset();
  try {
    return BuildFromFiles({darkFile}, flatFiles, checkFiles, options, folder, staging,
                          "acquired through the frame grabber (calibrate acquire)");
  } catch (const Failure& failure) {
    std::error_code error;
    if (!std::filesystem::exists(FsPath(staging), error)) throw;  // moved aside as refused already
    MoveFolderTo(staging, folder + ".refused");
    throw Failure(std::string(failure.what()) + " (the frames acquired are kept in " + folder + ".refused)");
  }
}

int Acquire(const Arguments& arguments, const BuildOptions& options) {
  const std::string folder = FolderName(arguments.Value("-o"));
  if (!arguments.Has("--darks") || !arguments.Has("--flats")) throw UsageError("acquire needs --darks N and --flats N");
  AcquisitionPlan plan;
  plan.darks = arguments.IntValue("--darks", 0, kMinFramesPerSet, kMaxFramesPerSet);
  plan.flats = arguments.IntValue("--flats", 0, kMinFramesPerSet, kMaxFramesPerSet);
  plan.levels = arguments.IntValue("--levels", 1, 1, kMaxFlatLevels);
  plan.checks = arguments.IntValue("--check", 0, 0, kMaxFramesPerSet);
  if (plan.checks > 0 && plan.checks < kMinFramesPerSet)
    throw UsageError("--check needs at least " + std::to_string(kMinFramesPerSet) + " frames");
  plan.yes = arguments.Has("--yes");
  // Frames an earlier run left in DIR are refused like its maps, before the
  // first exposure.
  std::vector<std::string> names = {kPixelMapName, kGainMapName, kDarksName};
  for (int k = 1; k <= plan.levels; ++k) names.push_back(FlatsName(k));
  if (plan.checks > 0) names.push_back(kCheckName);
  CheckOutputFolder(folder, arguments.Has("--force"), names);
  const std::string staging = MakeStagingFolder(folder);
  try {
    const int status = AcquireAndBuild(plan, options, folder, staging);
    if (status == 0 && arguments.Has("--discard-frames"))
      for (size_t i = 2; i < names.size(); ++i) RemoveFile(folder + "/" + names[i]);  // the frames, not the maps
    return status;
  } catch (...) {
    RemoveStagingFolder(staging);
    throw;
  }
}

int Run(const std::vector<std::string>& words) {
  if (words.empty() || (words[0] != "build" && words[0] != "acquire")) throw UsageError("say build or acquire");
  const bool build = words[0] == "build";
  const Arguments arguments(std::vector<std::string>(words.begin() + 1, words.end()), Options(build));
  if (!arguments.Positionals().empty())
    throw UsageError("'" + arguments.Positionals()[0] + "' belongs to no option");
  if (!arguments.Has("-o")) throw UsageError("-o DIR is required");
  const BuildOptions options = ParseBuildOptions(arguments);
  if (!build) return Acquire(arguments, options);
  const std::vector<std::string> darks = arguments.List("--darks");
  const std::vector<std::vector<std::string>> flats = arguments.Lists("--flats");
  if (darks.empty()) throw Failure("no dark frames: --darks FILE... is required");
  if (flats.empty()) throw UsageError("--flats FILE... is required");
  for (const auto& level : flats)
    if (level.empty()) throw UsageError("--flats names no file");
  const std::string folder = FolderName(arguments.Value("-o"));
  CheckOutputFolder(folder, arguments.Has("--force"), {kPixelMapName, kGainMapName});
  // Made first: an output folder that cannot be written is found before any frame is read.
  const std::string staging = MakeStagingFolder(folder);
  try {
    return BuildFromFiles(darks, flats, arguments.List("--check"), options, folder, staging,
                          "stored raw-frame files (calibrate build)");
  } catch (...) {
    RemoveStagingFolder(staging);
    throw;
  }
}

}  // namespace

const Command kCalibrateCommand = {"calibrate", "build the panel's pixel map and gain map from dark and flat frames",
                                   kUsage.c_str(), Run};

}  // namespace tavrix_tool
