#include "commands/image_output.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "commands/outbox_sending.h"
#include "dicom/dicom_file.h"
#include "dicom/display_window.h"
#include "dicom/exam.h"
#include "network/outbox.h"
#include "dicom/uid_scheme.h"
#include "dicom/value_checks.h"
#include "files/image_files.h"
#include "system/native_paths.h"
#include "files/output_files.h"
#include "system/system_places.h"
#include "system/utc_time.h"
#include "qa/exposure_index.h"
#include "tavrix_1417_pci_vusk.h"

namespace tavrix_tool {

namespace {

constexpr int32_t kWidth = TAVRIX_IMAGE_WIDTH;
constexpr int32_t kHeight = TAVRIX_IMAGE_HEIGHT;

// Above the 14-bit range every enhanced pixel lies in: a pixel still holding
// it was never written.
constexpr uint16_t kUnwritten = 0xFFFF;

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += char(c);
    }
  }
  return out + "\"";
}

}  // namespace

namespace {

std::vector<OptionSpec> ImageOutputOptions() {
  std::vector<OptionSpec> options = {{"-o", true},      {"--format", true},   {"--force", false},
                                     {"--compress", false}, {"--config", true}, {"--uid-root", true}};
  for (const ExamField& field : ExamFields()) options.push_back({field.option, true});
  return options;
}

}  // namespace

const std::vector<OptionSpec> kImageOutputOptions = ImageOutputOptions();

const char* const kImageOutputUsage =
    "  -o PREFIX                  write PREFIX_0001.tif, PREFIX_0002.tif, ... (the folder must exist)\n"
    "  --format LIST              any of tiff,png,dicom separated by commas (default tiff)\n"
    "  --compress                 deflate-compressed TIFF\n"
    "  --force                    replace files that exist\n"
    "DICOM files (one study per run; corrected images series 1, enhanced series 2):\n"
    "  --patient-name FAMILY^GIVEN, --patient-id ID, --birth-date YYYYMMDD, --sex M|F|O\n"
    "  --accession N, --study-id ID, --study-description TEXT, --referring-physician NAME\n"
    "  --body-part CHEST|ABDOMEN|PELVIS|SKULL|CSPINE|TSPINE|LSPINE|SHOULDER|HAND|KNEE|FOOT,\n"
    "  --view-position AP|PA|LL|RL|LLO|RLO,\n"
    "  --operator NAME            recorded as given (empty when not given); each is checked\n"
    "                             against its DICOM rules before anything is done\n"
    "  --uid-root ROOT            the organisation's UID root (default: the configuration's,\n"
    "                             else UUID-derived 2.25. UIDs)\n"
    "  --config FILE              the station configuration (default " TAVRIX_STATION_CONFIG_PLACE ")\n";

ImageOutput ParseImageOutput(const Arguments& arguments) {
  ImageOutput output;
  if (!arguments.Has("-o") || arguments.Value("-o").empty()) throw UsageError("-o PREFIX is required");
  output.prefix = arguments.Value("-o");
  output.formats = ParseFormats(arguments.Value("--format", "tiff"));
  output.force = arguments.Has("--force");
  output.compress = arguments.Has("--compress");
  for (const ExamField& field : ExamFields()) output.exam.*field.member = arguments.Value(field.option);
  const std::string problem = CheckExam(output.exam, false);
  if (!problem.empty()) throw UsageError(problem);
  // DICOM leaves for a PACS or an outbox, and is what a worklist item is for.
  for (const char* option : {"--send", "--outbox", "--worklist"})
    if (arguments.Has(option)) output.formats.dicom = true;
  if (output.formats.dicom || arguments.Has("--config")) output.station = ReadStationSettings(arguments);
  if (arguments.Has("--uid-root")) {
    const std::string rootProblem = CheckUidRoot("--uid-root", arguments.Value("--uid-root"));
    if (!rootProblem.empty()) throw UsageError(rootProblem);
    output.station.uidRoot = arguments.Value("--uid-root");
  }
  output.exam.studyInstanceUid = NewUid(output.station.uidRoot);
  output.exam.studyDateTimeUtc = UtcNow("%Y%m%d%H%M%S");
  // A study needs an ID to be filed under; without one given, its start
  // "YYMMDDHHMMSS" (UTC) serves, as a station numbers its studies.
  if (output.exam.studyId.empty()) output.exam.studyId = output.exam.studyDateTimeUtc.substr(2);
  output.correctedSeriesUid = NewUid(output.station.uidRoot);
  output.enhancedSeriesUid = NewUid(output.station.uidRoot);
  return output;
}

std::string VersionString() {
  return std::to_string(TAVRIX_VERSION_MAJOR) + "." + std::to_string(TAVRIX_VERSION_MINOR) + "." +
         std::to_string(TAVRIX_VERSION_PATCH);
}

namespace {

// The DICOM file's decimal strings, so that the two records agree.
std::string ExposureIndexJson(const DicomExposureIndex& index) {
  std::string json = "{\"ei\":" + FormatDecimal(index.exposureIndex);
  if (index.targetExposureIndex) json += ",\"target\":" + FormatDecimal(*index.targetExposureIndex);
  if (index.deviationIndex) json += ",\"di\":" + FormatDecimal(*index.deviationIndex);
  return json + "}";
}

}  // namespace

std::string RecordJson(const ImageRecord& record, const std::string& utcTime) {
  std::string json = "{\"version\":" + JsonString(VersionString()) + ",\"time\":" + JsonString(utcTime) +
                     ",\"command\":" + JsonString(record.command);
  if (record.panel >= 0) json += ",\"panel\":" + std::to_string(record.panel);
  json += ",\"pixel_map\":" + JsonString(record.pixelMap) + ",\"gain_map\":" + JsonString(record.gainMap);
  if (record.enhanced) {
    const EnhancementSettings& e = record.enhancement;
    json += ",\"enhancement\":{\"levels\":" + std::to_string(e.levels) + ",\"strength\":" +
            std::to_string(e.strength) + ",\"radius\":" + std::to_string(e.radius) + ",\"decay\":" +
            std::to_string(e.decay) + "}";
  }
  if (record.hasMessages) {
    json += ",\"switch_codes\":[";
    for (size_t i = 0; i < record.switchCodes.size(); ++i)
      json += (i ? "," : "") + std::to_string(record.switchCodes[i]);
    json += "]";
    if (record.temperature) json += ",\"temperature\":" + std::to_string(*record.temperature);
  }
  if (!record.sourceFile.empty()) json += ",\"source_file\":" + JsonString(record.sourceFile);
  if (record.frameIndex >= 0) json += ",\"frame_index\":" + std::to_string(record.frameIndex);
  if (record.exposureIndex) json += ",\"exposure_index\":" + ExposureIndexJson(*record.exposureIndex);
  return json + "}";
}

void CheckOutputsFree(const ImageOutput& output, int firstIndex, int count, bool enhancedToo) {
  RequireOutputFolder(output.prefix);
  if (output.force) return;
  std::vector<std::string> extensions;
  if (output.formats.tiff) extensions.push_back("tif");
  if (output.formats.png) extensions.push_back("png");
  if (output.formats.dicom) extensions.push_back("dcm");
  for (int index = firstIndex; index < firstIndex + count; ++index)
    for (const std::string& suffix : {std::string(), std::string("_enhanced")}) {
      if (!suffix.empty() && !enhancedToo) continue;
      for (const std::string& extension : extensions) {
        const std::string path = NumberedName(output.prefix, index, suffix, extension);
        std::error_code error;
        if (std::filesystem::exists(FsPath(path), error)) throw Failure(path + ": exists already (--force replaces it)");
      }
    }
}

namespace {

// The record, its source file shortened in the middle if need be, so that
// the whole fits DerivationDescription and stays one JSON object.
std::string DerivationRecord(ImageRecord record, const std::string& utcTime) {
  const size_t limit = VrMaxLength(Vr::kST);
  std::string json = RecordJson(record, utcTime);
  const std::string source = record.sourceFile;
  for (size_t keep = source.size(); json.size() > limit && keep > 0;) {
    keep = keep > json.size() - limit ? keep - (json.size() - limit) : 0;
    record.sourceFile = ShortenMiddle(source, keep);
    json = RecordJson(record, utcTime);
  }
  return json;
}

// The panel whose settings describe an image: panel 0 when none was recorded.
const PanelSettings& PanelOf(const StationSettings& station, int panel) {
  return station.panels[panel > 0 && panel < kPanels ? panel : 0];
}

// The exposure index of a corrected image over its whole data area, when
// the station knows the panel's response; the target and the deviation when
// it sets a target too.
std::optional<DicomExposureIndex> ExposureIndexOf(const uint16_t* image, const PanelSettings& panel,
                                                  const StationSettings& station) {
  if (!panel.response) return std::nullopt;
  tavrix_qa::ResponseConversion response;
  response.countsPerUGy = panel.response->countsPerUGy;
  response.offset = panel.response->offset;
  const tavrix_qa::Region whole{0, 0, kHeight, kWidth};
  DicomExposureIndex index;
  index.exposureIndex = tavrix_qa::ExposureIndex(image, whole, response);
  index.targetExposureIndex = station.targetExposureIndex;
  if (index.targetExposureIndex && index.exposureIndex > 0)
    index.deviationIndex = tavrix_qa::DeviationIndex(index.exposureIndex, *index.targetExposureIndex);
  return index;
}

DicomImage DicomOf(const ImageOutput& output, const uint16_t* image, const ImageRecord& record,
                   const std::string& isoTime) {
  const StationSettings& station = output.station;
  const PanelSettings& panel = PanelOf(station, record.panel);
  DicomImage info;
  info.forPresentation = record.enhanced;
  // A corrected image is for processing: its window is the processing's
  // to choose, and DICOM allows none.
  if (record.enhanced) info.window = DataAreaWindow(image, kWidth, kHeight);
  info.exam = output.exam;
  info.equipment = {station.manufacturer, station.modelName, station.stationName, panel.deviceSerialNumber,
                    panel.detectorId, VersionString()};
  info.seriesInstanceUid = record.enhanced ? output.enhancedSeriesUid : output.correctedSeriesUid;
  info.seriesNumber = record.enhanced ? kEnhancedSeriesNumber : kCorrectedSeriesNumber;
  info.sopInstanceUid = NewUid(station.uidRoot);
  info.sourceSopClassUid = record.sourceSopClassUid;
  info.sourceSopInstanceUid = record.sourceSopInstanceUid;
  if (record.temperature) info.detectorTemperature = double(*record.temperature);
  info.exposureIndex = record.exposureIndex;
  info.acquisitionDateTimeUtc = UtcNow("%Y%m%d%H%M%S");
  info.derivationDescription = DerivationRecord(record, isoTime);
  return info;
}

}  // namespace

WrittenDicom WriteImageFiles(const ImageOutput& output, int index, const std::string& suffix, const uint16_t* image,
                             const ImageRecord& source) {
  // A corrected image's own index; an enhanced one carries its exposure's.
  ImageRecord record = source;
  if (!record.enhanced) record.exposureIndex = ExposureIndexOf(image, PanelOf(output.station, record.panel), output.station);
  const std::string isoTime = UtcNow("%Y-%m-%dT%H:%M:%SZ");
  if (output.formats.tiff) {
    TiffTags tags;
    tags.software = "tavrix " + VersionString();
    tags.dateTime = UtcNow("%Y:%m:%d %H:%M:%S");
    tags.make = output.station.manufacturer;
    tags.model = output.station.modelName;
    tags.description = RecordJson(record, isoTime);
    tags.pixelPitchMm = kPixelPitchMm;
    tags.deflate = output.compress;
    WriteAtomically(NumberedName(output.prefix, index, suffix, "tif"), output.force,
                    [&](const std::string& path) { return WriteTiff16(path, image, kWidth, kHeight, tags); });
  }
  if (output.formats.png) {
    const DisplayWindow window = PercentileWindow(image, kWidth, kHeight);
    WriteAtomically(NumberedName(output.prefix, index, suffix, "png"), output.force,
                    [&](const std::string& path) { return WritePngPreview(path, image, kWidth, kHeight, window); });
  }
  WrittenDicom written;
  if (output.formats.dicom) {
    DicomImage info = DicomOf(output, image, record, isoTime);
    info.instanceNumber = index;
    const std::string path = NumberedName(output.prefix, index, suffix, "dcm");
    WriteAtomically(path, output.force,
                    [&](const std::string& temporary) { return WriteDicom(temporary, image, kWidth, kHeight, info); });
    if (!output.outbox.empty()) {
      const std::string problem = Outbox(output.outbox).Put(path);
      if (!problem.empty()) throw Failure(path + ": not put in the outbox " + output.outbox + ": " + problem);
    }
    written.sopClassUid = DicomSopClassUid(info);
    written.sopInstanceUid = info.sopInstanceUid;
  }
  written.exposureIndex = record.exposureIndex;
  return written;
}

const EnhancementRange kEnhancementRanges[4] = {{"levels", &EnhancementSettings::levels, 1, 5, 5},
                                                {"strength", &EnhancementSettings::strength, 1, 1000, 10},
                                                {"radius", &EnhancementSettings::radius, 1, 3, 3},
                                                {"decay", &EnhancementSettings::decay, 1, 30, 10}};

EnhancementSettings ParseEnhancement(const std::string& text) {
  const std::vector<int> values = ParseIntegerList(text, 4, "--enhance");
  EnhancementSettings settings{};
  for (size_t i = 0; i < 4; ++i) {
    const EnhancementRange& range = kEnhancementRanges[i];
    if (values[i] < range.low || values[i] > range.high)
      throw UsageError("--enhance: " + std::string(range.name) + " " + std::to_string(values[i]) + " is outside " +
                       std::to_string(range.low) + ".." + std::to_string(range.high));
    settings.*range.field = values[i];
  }
  return settings;
}

void EnhanceImage(const uint16_t* image, uint16_t* working, uint16_t* enhanced, const EnhancementSettings& settings) {
  const size_t pixels = size_t(kWidth) * size_t(kHeight);
  std::copy(image, image + pixels, working);
  std::fill(enhanced, enhanced + pixels, kUnwritten);
  if (Enhancement(working, enhanced, settings.levels, settings.strength, settings.radius, settings.decay) != 1)
    throw Failure("Enhancement refused the image");
  if (std::find(enhanced, enhanced + pixels, kUnwritten) != enhanced + pixels)
    throw Failure("Enhancement left the image unwritten; nothing enhanced is written");
}

}  // namespace tavrix_tool
