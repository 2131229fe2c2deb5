// tavrix acquire: exposures through the library's 14 exports, as a station
// takes them, against whichever frame-grabber module is installed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "cli/interrupt.h"
#include "commands/commands.h"
#include "commands/detector_session.h"
#include "commands/image_output.h"
#include "commands/outbox_sending.h"
#include "dicom/exam.h"
#include "network/worklist_query.h"
#include "files/map_files.h"
#include "system/native_paths.h"
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
    "                             read from their files; the serial channel is not polled\n"
    "  --worklist AE@HOST:PORT --accession N\n"
    "                             take the patient, the study (its UID too), the requested\n"
    "                             procedure and the step from the worklist's item of that\n"
    "                             accession number, before anything is exposed (\"default\":\n"
    "                             the configuration's worklist)\n"
    "  --send AE@HOST:PORT        send the DICOM files to the PACS after the last frame,\n"
    "                             through the outbox (\"default\": the configuration's pacs);\n"
    "                             exit status 3 when any stays there unsent\n"
    "  --outbox DIR               where DICOM files wait until the PACS has them (default:\n"
    "                             the configuration's outbox, else the user's data folder,\n"
    "                             tavrix/outbox); implies --format dicom\n"
    "  --calling-ae AE            this station's AE title (default: the configuration's)\n";

// What leaves the station and from where: the outbox, the PACS, the
// worklist, and the AE title this station calls them from.
struct StationNetwork {
  std::string outbox;
  std::optional<PeerConnection> pacs, worklist;
};

StationNetwork ParseNetwork(const Arguments& arguments, const StationSettings& station) {
  StationNetwork network;
  const std::string callingAe = CallingAeTitle(arguments, station);
  if (arguments.Has("--send") || arguments.Has("--outbox")) network.outbox = OutboxFolder(arguments, station);
  if (arguments.Has("--send"))
    network.pacs = PeerConnection{PeerAddress(arguments, "--send", station.pacs, "pacs"), callingAe, {}};
  if (arguments.Has("--worklist")) {
    network.worklist = PeerConnection{PeerAddress(arguments, "--worklist", station.worklist, "worklist"), callingAe, {}};
    if (!arguments.Has("--accession")) throw UsageError("--worklist needs --accession N: the exam to take");
  }
  return network;
}

// The fields the worklist gives; the operator's options cannot override them.
void RefuseWorklistFields(const Arguments& arguments) {
  for (const ExamField& field : ExamFields()) {
    const std::string option = field.option;
    const bool operatorsOwn = option == "--accession" || option == "--body-part" || option == "--view-position" ||
                              option == "--operator";
    if (!operatorsOwn && arguments.Has(option))
      throw UsageError(option + ": the worklist's item gives it with --worklist; leave it out");
  }
}

// The worklist's item for the accession number, in place of the exam the
// options described (keeping the body part, view and operator). Failure
// when the worklist cannot be asked, has no such item, or one that cannot
// be recorded.
void TakeWorklistItem(const PeerConnection& worklist, ImageOutput& output) {
  WorklistFilter filter;
  filter.accessionNumber = output.exam.accessionNumber;
  const WorklistAnswer answer = QueryWorklist(worklist, filter);
  if (!answer.error.empty()) throw Failure(answer.error + "; nothing was exposed");
  const std::string where = "the worklist " + FormatNetworkAddress(worklist.peer);
  if (answer.steps.empty())
    throw Failure(where + " has no scheduled step with accession number " + filter.accessionNumber +
                  "; nothing was exposed");
  for (const ScheduledStep& step : answer.steps)
    if (step.studyInstanceUid != answer.steps[0].studyInstanceUid)
      throw Failure(where + " has steps of several studies with accession number " + filter.accessionNumber +
                    "; nothing was exposed");
  DicomPatientStudy exam = ExamFromWorklist(answer.steps[0]);
  exam.bodyPartExamined = output.exam.bodyPartExamined;
  exam.viewPosition = output.exam.viewPosition;
  exam.operatorName = output.exam.operatorName;
  exam.studyDateTimeUtc = output.exam.studyDateTimeUtc;
  if (exam.studyInstanceUid.empty()) exam.studyInstanceUid = output.exam.studyInstanceUid;
  if (exam.studyId.empty()) exam.studyId = output.exam.studyId;
  const std::string problem = CheckExam(exam, true);
  if (!problem.empty()) throw Failure(problem + "; nothing was exposed");
  output.exam = exam;
  std::printf("worklist: %s, %s, accession %s, %s\n", exam.patientName.c_str(), exam.patientId.c_str(),
              exam.accessionNumber.c_str(), exam.requestedProcedureDescription.c_str());
  std::fflush(stdout);  // before the exposures' progress on standard error
}

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
  // The library holds 0 until a temperature frame arrives, and the last
  // frame's value after: 0 is taken as no reading (a panel at exactly 0 C,
  // far outside its working range, is not recorded either).
  const int32_t temperature = GetTemperature();
  if (temperature != 0) record.temperature = temperature;
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

// What one run takes, parsed and checked before the detector is touched.
struct Acquisition {
  int panel = 0;
  int frames = 1;
  bool enhance = false;
  EnhancementSettings enhancement{};
  std::string pixelMap, gainMap;  // both empty: the neutral maps
  bool acceptBadGains = false;
  bool raw = false;  // the raw frames too, through the library's internal door
};

Acquisition ParseAcquisition(const Arguments& arguments) {
  Acquisition plan;
  plan.panel = arguments.IntValue("--panel", 0, 0, 1);
  plan.frames = arguments.IntValue("--frames", 1, 1, kMaxFrames);
  if (arguments.Has("--pixel-map") != arguments.Has("--gain-map"))
    throw UsageError("--pixel-map and --gain-map go together");
  plan.pixelMap = arguments.Value("--pixel-map");
  plan.gainMap = arguments.Value("--gain-map");
  plan.acceptBadGains = arguments.Has(kAcceptBadGainsOption);
  plan.raw = arguments.Has("--raw");
  plan.enhance = arguments.Has("--enhance");
  if (plan.enhance) {
    plan.enhancement = ParseEnhancement(arguments.Value("--enhance"));
  }
  return plan;
}

// --raw: each exposure fetched uncorrected through the library's internal
// door, its raw frame written as it came, then read out and corrected by the
// functions an acquisition through the exports calls: the same image.
class RawExposures {
 public:
  RawExposures(const ImageOutput& output, const Acquisition& plan, ImageRecord& record) : output_(output) {
    if (!plan.pixelMap.empty()) {
      ReadPanelMaps(plan.pixelMap, plan.gainMap, maps_);
      if (!plan.acceptBadGains) RequireUsableGains(plan.gainMap, maps_.GainMap());
      record.pixelMap = Sha256(maps_.PixelMap(), tavrix::kPixelMapBytes);
      record.gainMap = Sha256(maps_.GainMap(), tavrix::kGainMapBytes);
    } else {
      // The library's neutral maps: every pixel good, every gain 1.
      std::memset(maps_.PixelMap(), tavrix::kGoodPixel, tavrix::kPixelMapBytes);
      std::fill(maps_.GainMap(), maps_.GainMap() + kPixels, 1.0f);
      std::printf("no maps given: the neutral maps are used (nothing is corrected but outliers and the border)\n");
      std::fflush(stdout);  // before the exposures' progress on standard error
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

// The radiographer's feedback on the dose, when the station knows the panel's
// response: "frame 1: exposure index 250, target 250, deviation index +0.0".
void ReportExposureIndex(int frame, const std::optional<DicomExposureIndex>& index) {
  if (!index) return;
  std::printf("frame %d: exposure index %.0f", frame, index->exposureIndex);
  if (index->targetExposureIndex) std::printf(", target %.0f", *index->targetExposureIndex);
  if (index->deviationIndex) std::printf(", deviation index %+.1f", *index->deviationIndex);
  std::printf("\n");
}

// Writes the corrected image of `frame` and, when asked, its enhanced image
// referring to it.
void WriteFrame(const Acquisition& plan, const ImageOutput& output, int frame, const std::vector<uint16_t>& image,
                ImageRecord& record, std::vector<uint16_t>& working, std::vector<uint16_t>& enhanced) {
  record.enhanced = false;
  record.sourceSopClassUid.clear();
  record.sourceSopInstanceUid.clear();
  record.exposureIndex.reset();
  const WrittenDicom corrected = WriteImageFiles(output, frame, "", image.data(), record);
  ReportExposureIndex(frame, corrected.exposureIndex);
  if (!plan.enhance) return;
  EnhanceImage(image.data(), working.data(), enhanced.data(), plan.enhancement);
  record.enhanced = true;
  record.enhancement = plan.enhancement;
  record.sourceSopClassUid = corrected.sopClassUid;
  record.sourceSopInstanceUid = corrected.sopInstanceUid;
  record.exposureIndex = corrected.exposureIndex;
  WriteImageFiles(output, frame, "_enhanced", enhanced.data(), record);
}

// Arms, exposes and writes every frame; the detector is released when it
// returns. Returns the frames written (fewer after Ctrl-C).
int TakeFrames(const Acquisition& plan, const ImageOutput& output) {
  ImageRecord record;
  record.command = "acquire";
  record.panel = plan.panel;

  // One of the two ways in, held for the whole run.
  std::unique_ptr<DetectorSession> session;
  std::unique_ptr<RawExposures> rawExposures;
  std::function<std::vector<uint16_t>(int)> next;
  if (plan.raw) {
    rawExposures = std::make_unique<RawExposures>(output, plan, record);
    next = [&](int frame) { return rawExposures->Next(frame); };
  } else {
    session = std::make_unique<DetectorSession>();
    Require(CheckFrameGrabber() == 1, "CheckFrameGrabber returned 0: no frame grabber (card or PCI_FRM01 module)");
    if (!plan.pixelMap.empty()) {
      LoadMaps(plan.pixelMap, plan.gainMap, plan.panel, plan.acceptBadGains, record);
    } else {
      std::printf("no maps given: the neutral maps are used (nothing is corrected but outliers and the border)\n");
      std::fflush(stdout);  // before the exposures' progress on standard error
    }
    Require(PanelSelect(plan.panel) == plan.panel,
            "PanelSelect(" + std::to_string(plan.panel) + ") did not select the panel");
    next = [&](int frame) {
      std::vector<uint16_t> image = AcquireOne(frame);
      PollMessagesInto(record);
      return image;
    };
  }
  CatchInterrupt();

  std::vector<uint16_t> working(kPixels), enhanced(kPixels);
  const auto start = std::chrono::steady_clock::now();
  for (int frame = 1; frame <= plan.frames; ++frame) {
    const std::vector<uint16_t> image = next(frame);
    WriteFrame(plan, output, frame, image, record, working, enhanced);
    if (plan.frames > 1) {
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::fprintf(stderr, "\r%d of %d frames, %.2f frames per second", frame, plan.frames,
                   seconds > 0 ? frame / seconds : 0.0);
      if (frame == plan.frames) std::fprintf(stderr, "\n");
    }
    if (InterruptRequested() && frame < plan.frames) {
      if (!plan.raw) RunforDetector(TAVRIX_RUN_CANCEL);
      return frame;
    }
  }
  return plan.frames;
}

int Run(const std::vector<std::string>& words) {
  std::vector<OptionSpec> options = kImageOutputOptions;
  options.insert(options.end(), {{"--pixel-map", true}, {"--gain-map", true}, {"--panel", true},
                                 {"--frames", true}, {"--enhance", true}, {"--worklist", true}, {"--send", true},
                                 {"--outbox", true}, {"--calling-ae", true}, {kAcceptBadGainsOption, false},
                                 {"--raw", false}});
  const Arguments arguments(words, options);
  if (!arguments.Positionals().empty()) throw UsageError("unexpected argument " + arguments.Positionals()[0]);
  if (arguments.Has("--worklist")) RefuseWorklistFields(arguments);
  ImageOutput output = ParseImageOutput(arguments);
  const StationNetwork network = ParseNetwork(arguments, output.station);
  output.outbox = network.outbox;
  const Acquisition plan = ParseAcquisition(arguments);
  CheckOutputsFree(output, 1, plan.frames, plan.enhance);
  if (plan.raw) RequireRawNamesFree(output, plan.frames);
  if (network.worklist) TakeWorklistItem(*network.worklist, output);

  const int written = TakeFrames(plan, output);
  if (written < plan.frames) {
    std::fprintf(stderr, "\ninterrupted: %d of %d frames written, detector disarmed%s%s\n", written, plan.frames,
                 network.outbox.empty() ? "" : "; their DICOM files wait in the outbox ", network.outbox.c_str());
    return kInterruptedStatus;
  }
  std::printf("%d frame(s) written as %s_NNNN\n", plan.frames, output.prefix.c_str());
  // Sent with the detector released: a slow PACS holds up no other exposure.
  if (!network.pacs) {
    if (!network.outbox.empty())
      std::printf("their DICOM files wait in the outbox %s (`tavrix send --outbox %s` sends them)\n",
                  network.outbox.c_str(), network.outbox.c_str());
    return 0;
  }
  return SendOutbox(network.outbox, *network.pacs);
}

}  // namespace

const Command kAcquireCommand = {"acquire", "acquire exposures through the library and write them", kUsage, Run,
                                 true};

}  // namespace tavrix_tool
