// tavrix calibrate: the panel's pixel map and gain map from dark and flat
// frames, either stored raw-frame files (build) or frames fetched through
// the frame grabber (acquire), with a report of what was found.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <system_error>

#include "calibration_analysis.h"
#include "calibration_frames.h"
#include "calibration_report.h"
#include "command_line.h"
#include "commands.h"
#include "detector/detector.h"
#include "platform/dimensions.h"
#include "grabber/frame_grabber.h"
#include "map_files.h"
#include "output_files.h"

namespace tavrix_tool {

namespace {

const char* const kUsage =
    "usage: tavrix calibrate build --darks FILE... --flats FILE... [--flats FILE...] [--check FILE...]\n"
    "                              [THRESHOLDS] [--force] -o DIR\n"
    "       tavrix calibrate acquire --darks N --flats N [--levels K] [--check N] [--yes]\n"
    "                              [THRESHOLDS] [--force] -o DIR\n"
    "\n"
    "Builds the panel's maps from uncorrected frames (read out only: no filter, no maps,\n"
    "no border) and writes DIR/pixel_map.bin, DIR/gain_map.bin, DIR/defects.csv and\n"
    "DIR/report.html with its pictures. Each --flats is one dose level (files of one or\n"
    "more raw frames of 16,204,480 bytes); --check is an independent flat used only to\n"
    "measure the result. Every set needs at least 8 frames. `acquire` fetches the frames\n"
    "through the frame grabber, asks for each dose (Enter to go on; --yes does not ask),\n"
    "stores them as raw files in DIR and builds from them.\n"
    "\n"
    "  --dead-below F        signal below F x the median: dead (0.10)\n"
    "  --hot-above N         dark above the median dark by N counts: hot (819)\n"
    "  --over-above F        response above F x its 21 x 21 median (1.3)\n"
    "  --under-below F       response below F x its 21 x 21 median (0.6)\n"
    "  --noisy-above F       temporal deviation above F x the median (6)\n"
    "  --nonuniform-above F  corrected check flat off its 9 x 9 median by more (0.01)\n"
    "  --line-fraction F     half rows and columns with more defective pixels are flagged (0.5)\n"
    "  --line-departure F    ... and those whose mean is this far off the lines 2 and 3 away (0.10)\n"
    "  --force               replace maps DIR holds already\n";

const char* const kPixelMapName = "pixel_map.bin";
const char* const kGainMapName = "gain_map.bin";

struct Threshold {
  const char* option;
  double CalibrationSettings::*field;
  double low, high;
};
const Threshold kThresholds[] = {
    {"--dead-below", &CalibrationSettings::deadBelow, 0.0, 1.0},
    {"--hot-above", &CalibrationSettings::hotAbove, 1.0, 16383.0},
    {"--over-above", &CalibrationSettings::overAbove, 1.0, 100.0},
    {"--under-below", &CalibrationSettings::underBelow, 0.0, 1.0},
    {"--noisy-above", &CalibrationSettings::noisyAbove, 1.0, 1000.0},
    {"--nonuniform-above", &CalibrationSettings::nonUniformAbove, 0.0001, 1.0},
    {"--line-fraction", &CalibrationSettings::lineFraction, 0.0, 1.0},
    {"--line-departure", &CalibrationSettings::lineDeparture, 0.0, 1.0},
};

// The command line: options that take lists of files (each --flats a new
// level), options with one value, and flags.
struct CalibrateLine {
  std::string mode;
  std::vector<std::string> darks, check;
  std::vector<std::vector<std::string>> flats;
  std::map<std::string, std::string> values;
  bool force = false, yes = false;
};

bool IsOption(const std::string& word) { return word.size() > 1 && word[0] == '-'; }

CalibrateLine ParseLine(const std::vector<std::string>& words) {
  CalibrateLine line;
  if (words.empty() || (words[0] != "build" && words[0] != "acquire")) throw UsageError("say build or acquire");
  line.mode = words[0];
  const bool build = line.mode == "build";
  std::vector<std::string> valueOptions = {"-o"};
  if (!build) valueOptions.insert(valueOptions.end(), {"--darks", "--flats", "--levels", "--check"});
  for (const Threshold& t : kThresholds) valueOptions.push_back(t.option);
  std::vector<std::string>* list = nullptr;
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (!IsOption(word)) {
      if (list == nullptr) throw UsageError("'" + word + "' belongs to no option");
      list->push_back(word);
      continue;
    }
    list = nullptr;
    if (word == "--force") {
      line.force = true;
    } else if (word == "--yes" && !build) {
      line.yes = true;
    } else if (build && (word == "--darks" || word == "--check")) {
      list = word == "--darks" ? &line.darks : &line.check;
    } else if (build && word == "--flats") {
      line.flats.emplace_back();
      list = &line.flats.back();
    } else if (std::find(valueOptions.begin(), valueOptions.end(), word) != valueOptions.end()) {
      if (i + 1 >= words.size()) throw UsageError(word + " needs a value");
      line.values[word] = words[++i];
    } else {
      throw UsageError("unknown option " + word);
    }
  }
  if (!line.values.count("-o")) throw UsageError("-o DIR is required");
  return line;
}

double ParseFraction(const std::string& option, const std::string& text, double low, double high) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(value >= low && value <= high))
    throw UsageError(option + " must be a number from " + std::to_string(low) + " to " + std::to_string(high) +
                     ", not '" + text + "'");
  return value;
}

int ParseCount(const CalibrateLine& line, const std::string& option, int fallback, int low, int high) {
  const auto found = line.values.find(option);
  if (found == line.values.end()) return fallback;
  return int(ParseFraction(option, found->second, low, high));
}

CalibrationSettings ParseSettings(const CalibrateLine& line) {
  CalibrationSettings settings;
  for (const Threshold& t : kThresholds) {
    const auto found = line.values.find(t.option);
    if (found != line.values.end()) settings.*t.field = ParseFraction(t.option, found->second, t.low, t.high);
  }
  return settings;
}

// Refuses before anything is read when DIR holds maps already.
void CheckOutputFolder(const std::string& folder, bool force) {
  std::error_code error;
  if (force) return;
  for (const char* name : {kPixelMapName, kGainMapName})
    if (std::filesystem::exists(folder + "/" + name, error))
      throw Failure(folder + " holds maps already (" + name + "); --force replaces them");
}

void MakeOutputFolder(const std::string& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error || !std::filesystem::is_directory(folder))
    throw Failure(folder + ": cannot make the folder: " + (error ? error.message() : "not a folder"));
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

std::string WriteBytes(const std::string& path, const void* bytes, size_t count) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
  if (!file) return std::strerror(errno);
  if (std::fwrite(bytes, 1, count, file.get()) != count) return std::strerror(errno);
  return std::fclose(file.release()) == 0 ? "" : std::strerror(errno);
}

void WriteMaps(const std::string& folder, const CalibrationResult& result) {
  WriteAtomically(folder + "/" + kPixelMapName, true, [&](const std::string& temporary) {
    return WriteBytes(temporary, result.pixelMap.data(), result.pixelMap.size());
  });
  // Little-endian whatever the host.
  std::vector<uint8_t> bytes(result.gains.size() * 4);
  for (size_t i = 0; i < result.gains.size(); ++i) {
    uint32_t bits;
    std::memcpy(&bits, &result.gains[i], 4);
    for (int b = 0; b < 4; ++b) bytes[i * 4 + size_t(b)] = uint8_t(bits >> (8 * b));
  }
  WriteAtomically(folder + "/" + kGainMapName, true, [&](const std::string& temporary) {
    return WriteBytes(temporary, bytes.data(), bytes.size());
  });
}

int BuildFromFiles(const std::vector<std::string>& darkFiles, const std::vector<std::vector<std::string>>& flatFiles,
                   const std::vector<std::string>& checkFiles, const CalibrationSettings& settings,
                   const std::string& folder, bool force) {
  CheckOutputFolder(folder, force);
  // Every file's size and every set's length before a frame is read.
  RequireFrames("the darks", TotalFrames(darkFiles));
  for (size_t k = 0; k < flatFiles.size(); ++k)
    RequireFrames("flat level " + std::to_string(k + 1) + " (" + Join(flatFiles[k]) + ")", TotalFrames(flatFiles[k]));
  if (!checkFiles.empty()) RequireFrames("the check flat (" + Join(checkFiles) + ")", TotalFrames(checkFiles));

  const FrameSetStats darks = ReadSet("darks", darkFiles, Deviations::kKeep);
  const double darkMedian = DataMedian(darks.mean);
  CalibrationSources sources;
  sources.darks = Join(darkFiles);
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

  const CalibrationResult result = Calibrate(darks, sorted, check.get(), settings);
  MakeOutputFolder(folder);
  const std::string csv = DefectsCsv(result);
  WriteAtomically(folder + "/defects.csv", true,
                  [&](const std::string& temporary) { return WriteBytes(temporary, csv.data(), csv.size()); });
  WriteCalibrationReport(folder, result, sources, settings);
  std::printf("%s", CalibrationSummary(result).c_str());
  if (!result.refusals.empty()) {
    std::string reasons;
    for (const std::string& r : result.refusals) reasons += (reasons.empty() ? "" : "; ") + r;
    throw Failure("maps not written, the correction could not use them well: " + reasons + " (see " + folder +
                  "/report.html)");
  }
  WriteMaps(folder, result);
  std::printf("maps written: %s/%s, %s/%s; report: %s/report.html\n", folder.c_str(), kPixelMapName, folder.c_str(),
              kGainMapName, folder.c_str());
  return 0;
}

// Acquires `frames` uncorrected frames into the raw file `path`.
void AcquireSet(tavrix::Detector& detector, const std::string& what, int frames, const std::string& path) {
  WriteAtomically(path, true, [&](const std::string& temporary) -> std::string {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(temporary.c_str(), "wb"), std::fclose);
    if (!file) return std::strerror(errno);
    for (int k = 0; k < frames; ++k) {
      if (!detector.CaptureFrame()) return "the frame grabber delivered no frame";
      if (std::fwrite(detector.rawFrame, 1, size_t(tavrix::kRawFrameBytes), file.get()) !=
          size_t(tavrix::kRawFrameBytes))
        return std::strerror(errno);
      std::fprintf(stderr, "\racquiring %s: %d of %d frames", what.c_str(), k + 1, frames);
      std::fflush(stderr);
    }
    std::fprintf(stderr, "\n");
    return std::fclose(file.release()) == 0 ? "" : std::strerror(errno);
  });
}

void AskFor(const std::string& prompt, bool yes) {
  std::printf("%s%s\n", prompt.c_str(), yes ? "" : " Press Enter when ready.");
  std::fflush(stdout);
  if (yes) return;
  std::string answer;
  if (!std::getline(std::cin, answer)) throw Failure("stopped: no answer on standard input");
}

int Acquire(const CalibrateLine& line, const CalibrationSettings& settings) {
  const std::string folder = line.values.at("-o");
  if (!line.values.count("--darks") || !line.values.count("--flats"))
    throw UsageError("acquire needs --darks N and --flats N");
  const int darks = ParseCount(line, "--darks", 0, kMinFramesPerSet, kMaxFramesPerSet);
  const int flats = ParseCount(line, "--flats", 0, kMinFramesPerSet, kMaxFramesPerSet);
  const int levels = ParseCount(line, "--levels", 1, 1, 8);
  const int checks = ParseCount(line, "--check", 0, 0, kMaxFramesPerSet);
  if (checks > 0 && checks < kMinFramesPerSet)
    throw UsageError("--check needs at least " + std::to_string(kMinFramesPerSet) + " frames");
  CheckOutputFolder(folder, line.force);
  MakeOutputFolder(folder);
  auto detector = std::make_unique<tavrix::Detector>();
  if (!detector->IsComplete()) throw Failure("not enough memory for the detector's buffers");
  if (detector->grabberOpen == 0) throw Failure("no frame grabber: OpenDAQDevice failed");

  AskFor("Darks: no exposure; the panel warmed up for 30 minutes.", line.yes);
  const std::string darkFile = folder + "/darks.raw";
  AcquireSet(*detector, "darks", darks, darkFile);
  std::vector<std::vector<std::string>> flatFiles;
  for (int k = 1; k <= levels; ++k) {
    AskFor("Flat level " + std::to_string(k) + " of " + std::to_string(levels) +
               ": uniform exposure, no object in the beam.",
           line.yes);
    flatFiles.push_back({folder + "/flats_" + std::to_string(k) + ".raw"});
    AcquireSet(*detector, "flat level " + std::to_string(k), flats, flatFiles.back()[0]);
  }
  std::vector<std::string> checkFiles;
  if (checks > 0) {
    AskFor("Check flat: a uniform exposure at a dose between the levels.", line.yes);
    checkFiles.push_back(folder + "/check.raw");
    AcquireSet(*detector, "check flat", checks, checkFiles[0]);
  }
  detector.reset();
  return BuildFromFiles({darkFile}, flatFiles, checkFiles, settings, folder, true);
}

int Run(const std::vector<std::string>& words) {
  const CalibrateLine line = ParseLine(words);
  const CalibrationSettings settings = ParseSettings(line);
  if (line.mode == "acquire") return Acquire(line, settings);
  if (line.darks.empty()) throw Failure("no dark frames: --darks FILE... is required");
  if (line.flats.empty()) throw UsageError("--flats FILE... is required");
  for (const auto& level : line.flats)
    if (level.empty()) throw UsageError("--flats names no file");
  return BuildFromFiles(line.darks, line.flats, line.check, settings, line.values.at("-o"), line.force);
}

}  // namespace

const Command kCalibrateCommand = {"calibrate", "build the panel's pixel map and gain map from dark and flat frames",
                                   kUsage, Run};

}  // namespace tavrix_tool
