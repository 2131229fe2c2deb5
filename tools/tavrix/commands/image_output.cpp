#include "commands/image_output.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "dicom/dicom_file.h"
#include "files/image_files.h"
#include "files/output_files.h"
#include "tavrix_1417_pci_vusk.h"

namespace tavrix_tool {

namespace {

constexpr int32_t kWidth = TAVRIX_IMAGE_WIDTH;
constexpr int32_t kHeight = TAVRIX_IMAGE_HEIGHT;
// An enhanced image spans the 14-bit range; shown whole.
constexpr double kEnhancedWindowCenter = 8192.0;
constexpr double kEnhancedWindowWidth = 16384.0;

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

std::string FormatTime(const char* format) {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
#if defined(_WIN32)
  gmtime_s(&utc, &now);
#else
  gmtime_r(&now, &utc);
#endif
  char text[32];
  std::strftime(text, sizeof text, format, &utc);
  return text;
}

const std::vector<OptionSpec> kImageOutputOptions = {
    {"-o", true},           {"--format", true},     {"--force", false},
    {"--compress", false},  {"--patient-name", true}, {"--patient-id", true},
    {"--study-description", true},
};

const char* const kImageOutputUsage =
    "  -o PREFIX                  write PREFIX_0001.tif, PREFIX_0002.tif, ... (the folder must exist)\n"
    "  --format LIST              any of tiff,png,dicom separated by commas (default tiff)\n"
    "  --compress                 deflate-compressed TIFF\n"
    "  --force                    replace files that exist\n"
    "  --patient-name NAME, --patient-id ID, --study-description TEXT\n"
    "                             recorded in DICOM files (empty when not given)\n";

ImageOutput ParseImageOutput(const Arguments& arguments) {
  ImageOutput output;
  if (!arguments.Has("-o") || arguments.Value("-o").empty()) throw UsageError("-o PREFIX is required");
  output.prefix = arguments.Value("-o");
  output.formats = ParseFormats(arguments.Value("--format", "tiff"));
  output.force = arguments.Has("--force");
  output.compress = arguments.Has("--compress");
  output.patientName = arguments.Value("--patient-name");
  output.patientId = arguments.Value("--patient-id");
  output.studyDescription = arguments.Value("--study-description");
  return output;
}

std::string VersionString() {
  return std::to_string(TAVRIX_VERSION_MAJOR) + "." + std::to_string(TAVRIX_VERSION_MINOR) + "." +
         std::to_string(TAVRIX_VERSION_PATCH);
}

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
    json += "],\"temperature\":" + std::to_string(record.temperature);
  }
  if (!record.sourceFile.empty()) json += ",\"source_file\":" + JsonString(record.sourceFile);
  if (record.frameIndex >= 0) json += ",\"frame_index\":" + std::to_string(record.frameIndex);
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
        if (std::filesystem::exists(path, error)) throw Failure(path + ": exists already (--force replaces it)");
      }
    }
}

void WriteImageFiles(const ImageOutput& output, int index, const std::string& suffix, const uint16_t* image,
                     const ImageRecord& record) {
  const std::string isoTime = FormatTime("%Y-%m-%dT%H:%M:%SZ");
  if (output.formats.tiff) {
    TiffTags tags;
    tags.software = "tavrix " + VersionString();
    tags.dateTime = FormatTime("%Y:%m:%d %H:%M:%S");
    tags.make = kManufacturer;
    tags.model = kModelName;
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
  if (output.formats.dicom) {
    DicomImage info;
    info.forPresentation = record.enhanced;
    info.windowCenter = kEnhancedWindowCenter;
    info.windowWidth = kEnhancedWindowWidth;
    info.patientName = output.patientName;
    info.patientId = output.patientId;
    info.studyDescription = output.studyDescription;
    info.acquisitionDateTimeUtc = FormatTime("%Y%m%d%H%M%S");
    info.softwareVersion = VersionString();
    info.derivationDescription = RecordJson(record, isoTime);
    WriteAtomically(NumberedName(output.prefix, index, suffix, "dcm"), output.force,
                    [&](const std::string& path) { return WriteDicom(path, image, kWidth, kHeight, info); });
  }
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

void EnhanceImage(const uint16_t* image, uint16_t* enhanced, const EnhancementSettings& settings) {
  const size_t pixels = size_t(kWidth) * size_t(kHeight);
  std::vector<uint16_t> source(image, image + pixels);
  std::fill(enhanced, enhanced + pixels, kUnwritten);
  if (Enhancement(source.data(), enhanced, settings.levels, settings.strength, settings.radius, settings.decay) != 1)
    throw Failure("Enhancement refused the image");
  if (std::find(enhanced, enhanced + pixels, kUnwritten) != enhanced + pixels)
    throw Failure("Enhancement left the image unwritten; nothing enhanced is written");
}

}  // namespace tavrix_tool
