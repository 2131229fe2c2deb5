#include "calibration/calibration_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>

#include "files/image_files.h"
#include "files/output_files.h"
#include "reports/html_page.h"
#include "reports/map_report.h"
#include "reports/plot.h"
#include "tavrix_internal.h"

namespace tavrix_tool {

namespace {

using tavrix::internal::InMaskedBorder;
using tavrix::internal::IsDatalessColumn;
using tavrix::internal::RowFlagCovers;

using tavrix::kImageHeight;
using tavrix::kImageWidth;
using tavrix::kMapWidth;

constexpr int32_t kReduction = 4;  // pictures of the image area at a quarter of its size
constexpr int32_t kReduced = kImageWidth / kReduction;
constexpr double kFlatWindow = 0.02;  // the corrected flat shown at +-2 %
constexpr int32_t kProfileWidth = 1024;
constexpr int32_t kProfileHeight = 220;
constexpr Rgb kPaper{250, 250, 250};
constexpr Rgb kDataShade{215, 215, 215};
constexpr Rgb kDatalessShade{120, 120, 120};
constexpr Rgb kBorderShade{170, 170, 190};
constexpr Rgb kTrace{20, 20, 20};
constexpr Rgb kFlagMark{230, 30, 30};
constexpr Rgb kAxis{150, 150, 150};

// One colour per class, index PixelClass.
constexpr Rgb kClassColours[] = {
    {0, 0, 0},       {230, 30, 30},  {20, 20, 20},   {250, 150, 0},  {40, 90, 230},
    {160, 40, 200},  {0, 170, 170},  {120, 70, 20},  {0, 170, 0},
};

const char* const kClassColourNames[] = {"", "red", "black", "orange", "blue", "purple", "teal", "brown", "green"};

std::string Percent(double fraction, int decimals = 2) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f %%", decimals, fraction * 100.0);
  return text;
}

std::string Number(double x, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, x);
  return text;
}

Rgb Grey(double level) {
  const uint8_t g = uint8_t(std::clamp(level, 0.0, 255.0));
  return {g, g, g};
}

Rgb AreaShade(int32_t row, int32_t column) {
  if (IsDatalessColumn(column)) return kDatalessShade;
  if (InMaskedBorder(row, column)) return kBorderShade;
  return kDataShade;
}

void DrawDot(Picture& picture, int32_t row, int32_t column, Rgb colour) {
  for (int32_t dr = -1; dr <= 1; ++dr)
    for (int32_t dc = -1; dc <= 1; ++dc) picture.Set(row + dr, column + dc, colour);
}

// Shades of an image-sized field averaged over blocks, through `shade`.
template <typename Shade>
Picture ReducedPicture(const std::vector<float>& values, Shade shade) {
  Picture picture(kReduced, kReduced, kPaper);
  for (int32_t y = 0; y < kReduced; ++y)
    for (int32_t x = 0; x < kReduced; ++x) {
      const int32_t column = x * kReduction;
      if (IsDatalessColumn(column)) {
        picture.Set(y, x, kDatalessShade);
        continue;
      }
      double sum = 0;
      for (int32_t r = 0; r < kReduction; ++r)
        for (int32_t c = 0; c < kReduction; ++c) sum += values[size_t(y * kReduction + r) * kImageWidth + size_t(column + c)];
      picture.Set(y, x, shade(sum / (kReduction * kReduction)));
    }
  return picture;
}

std::string WritePicture(const std::string& folder, const std::string& name, const Picture& picture) {
  WriteAtomically(folder + "/" + name, true, [&](const std::string& temporary) {
    return WritePngRgb(temporary, picture.rgb.data(), picture.width, picture.height);
  });
  return name;
}

std::string FlagName(uint8_t flag, bool row) {
  if (!row) return "column";
  switch (flag) {
    case tavrix::kRowFlagRightHalf:
      return "right half row";
    case tavrix::kRowFlagLeftHalf:
      return "left half row";
    default:
      return "whole row";
  }
}

}  // namespace

Picture DefectClassPicture(const CalibrationResult& result) {
  Picture picture(kReduced, kReduced, kPaper);
  for (int32_t y = 0; y < kReduced; ++y)
    for (int32_t x = 0; x < kReduced; ++x) picture.Set(y, x, AreaShade(y * kReduction, x * kReduction));
  const Rgb line = kClassColours[size_t(PixelClass::kLine)];
  for (const LineFlag& row : result.rows)
    for (int32_t c = 0; c < kImageWidth; ++c)
      if (RowFlagCovers(row.flag, c) && !IsDatalessColumn(c)) picture.Set(row.index / kReduction, c / kReduction, line);
  for (const LineFlag& column : result.columns)
    for (int32_t y = 0; y < kReduced; ++y) picture.Set(y, column.index / kReduction, line);
  for (int32_t r = 0; r < kImageHeight; ++r)
    for (int32_t c = 0; c < kImageWidth; ++c) {
      const uint8_t cls = result.classes[size_t(r) * kImageWidth + size_t(c)];
      if (cls == uint8_t(PixelClass::kGood) || cls == uint8_t(PixelClass::kLine)) continue;
      DrawDot(picture, r / kReduction, c / kReduction, kClassColours[cls]);
    }
  return picture;
}

Picture GainPicture(const CalibrationResult& result) {
  const GainReport report = AnalyseGainMap(result.gains);
  const double low = report.p1, high = report.p99 > report.p1 ? report.p99 : report.p1 + 1e-3;
  return ReducedPicture(result.gains, [&](double g) { return Grey((g - low) / (high - low) * 255.0); });
}

Picture CorrectedFlatPicture(const std::vector<float>& relative) {
  return ReducedPicture(relative, [](double x) { return Grey(127.5 + (x - 1.0) / kFlatWindow * 127.5); });
}

Picture ProfilePicture(const std::vector<float>& profile, const std::vector<LineFlag>& flagged, const char* line) {
  std::vector<float> sorted;
  for (float v : profile)
    if (v > 0) sorted.push_back(v);
  std::sort(sorted.begin(), sorted.end());
  const double low = sorted.empty() ? 0.9 : std::min(0.9, double(sorted.front()));
  const double high = sorted.empty() ? 1.1 : std::max(1.1, double(sorted.back()));
  Plot plot(kProfileWidth, kProfileHeight, {{0.0, double(profile.size())}, line},
            {{low, high}, "signal / median"}, kPaper, kAxis);
  for (int32_t x = 0; x < kProfileWidth; ++x) plot.Canvas().Set(plot.Y(1.0), plot.Left() + x, kAxis);
  for (const LineFlag& flag : flagged) plot.Marker(flag.index, kFlagMark, false);
  for (size_t i = 0; i < profile.size(); ++i)
    if (profile[i] > 0) plot.Point(double(i), profile[i], kTrace);
  return plot.Finish();
}

std::string DefectsCsv(const CalibrationResult& result) {
  std::ostringstream csv;
  csv << "row,column,class,code\n";
  for (const LineFlag& row : result.rows) csv << row.index << ",," << FlagName(row.flag, true) << "," << int(row.flag) << "\n";
  for (const LineFlag& column : result.columns) csv << "," << column.index << ",column," << int(column.flag) << "\n";
  for (int32_t r = 0; r < kImageHeight; ++r)
    for (int32_t c = 0; c < kImageWidth; ++c) {
      const uint8_t cls = result.classes[size_t(r) * kImageWidth + size_t(c)];
      if (cls == uint8_t(PixelClass::kGood) || cls == uint8_t(PixelClass::kLine)) continue;
      csv << r << "," << c << "," << PixelClassName(PixelClass(cls)) << ","
          << int(result.pixelMap[size_t(r) * kMapWidth + size_t(c)]) << "\n";
    }
  return csv.str();
}

std::string CalibrationSummary(const CalibrationResult& result, const Verdict& verdict) {
  std::ostringstream out;
  size_t defective = 0;
  for (size_t k = 1; k < size_t(PixelClass::kClassCount); ++k)
    if (k != size_t(PixelClass::kLine)) defective += result.pixelsByClass[k];
  out << "defective pixels: " << defective;
  for (size_t k = 1; k < size_t(PixelClass::kClassCount); ++k)
    if (k != size_t(PixelClass::kLine) && result.pixelsByClass[k] > 0)
      out << ", " << result.pixelsByClass[k] << " " << PixelClassName(PixelClass(k));
  out << "\nflagged rows: " << result.rows.size() << ", flagged columns: " << result.columns.size() << "\n";
  for (size_t k = 0; k < result.levels.size(); ++k)
    out << "level " << k + 1 << ": median " << int(result.levels[k].medianReading) << ", non-uniformity "
        << Percent(result.levels[k].cvBefore) << " before, " << Percent(result.levels[k].cvAfter) << " after\n";
  if (result.checkGiven)
    out << "check flat corrected: " << Percent(result.checkCv, 3) << " coefficient of variation\n";
  else
    out << "no independent check: no check flat was given (--check); the level the gain was built from proves "
           "nothing\n";
  out << "verdict: " << (verdict.passed ? "PASS" : "FAIL");
  for (const AcceptanceCheck& check : verdict.checks)
    if (!check.passed) out << "; " << check.what << " " << check.figure << ", " << check.limit;
  out << "\n";
  return out.str();
}

namespace {

std::string OrNotGiven(const std::string& text, const char* option) {
  return text.empty() ? std::string("not given (") + option + ")" : text;
}

void AddVerdict(HtmlPage& page, const Verdict& verdict) {
  page.Heading(std::string("Verdict: ") + (verdict.passed ? "PASS" : "FAIL"), !verdict.passed);
  std::vector<HtmlPage::Row> rows;
  for (const AcceptanceCheck& check : verdict.checks)
    rows.push_back({check.what, check.figure, check.limit, check.passed ? "pass" : "FAIL"});
  page.Table({"acceptance", "found", "limit", ""}, rows);
}

void AddIdentity(HtmlPage& page, const CalibrationSources& sources) {
  page.Heading("Calibration");
  page.Table({"record", "value"}, {{"date and time", sources.created},
                        {"station", OrNotGiven(sources.station, "--station")},
                        {"panel", OrNotGiven(sources.panelId, "--panel-id")},
                        {"panel temperature during the frames", sources.temperature},
                        {"frames", sources.command},
                        {"tool", "tavrix " + sources.toolVersion},
                        {"library", "Tavrix 1417 PCI Vusk " + sources.libraryVersion + " (linked in)"}});
}

void AddSources(HtmlPage& page, const CalibrationSources& sources) {
  page.Heading("Frames");
  std::vector<HtmlPage::Row> rows;
  for (const FrameFile& file : sources.files)
    rows.push_back({file.set, file.path, std::to_string(file.frames), file.sha256});
  page.Table({"set", "file", "frames", "SHA-256"}, rows);
  if (sources.check.empty())
    page.Paragraph("No check flat was given: no independent check of the correction was made; the uniformity below "
                   "is that of the last level, which the gain was built from.");
  for (const std::string& refused : sources.refusedLevels) page.Paragraph("Refused level: " + refused);
}

std::string ClusterLine(const CalibrationResult& result) {
  std::map<size_t, size_t> clusters;
  for (size_t size : result.clusterSizes) ++clusters[size];
  std::string text = "Clusters (8-connected groups of defective pixels): ";
  if (clusters.empty()) text += "none";
  for (auto it = clusters.rbegin(); it != clusters.rend(); ++it)
    text += (it == clusters.rbegin() ? "" : ", ") + std::to_string(it->second) + " of " + std::to_string(it->first);
  return text + ".";
}

void AddDefects(HtmlPage& page, const CalibrationResult& result) {
  page.Heading("Defects");
  std::vector<HtmlPage::Row> classes;
  for (size_t k = 1; k < size_t(PixelClass::kClassCount); ++k)
    classes.push_back({PixelClassName(PixelClass(k)), std::to_string(result.pixelsByClass[k]), kClassColourNames[k]});
  page.Table({"class", "pixels", "colour"}, classes);
  page.Paragraph("Counted over the pixels that carry data inside the masked border.");
  page.Table({"code", "pixels", "meaning"},
             {{"0", std::to_string(result.pixelsByCode[0]), "good"},
              {"1", std::to_string(result.pixelsByCode[1]), "replaced by its good neighbours"},
              {"2", std::to_string(result.pixelsByCode[2]), "gross defect: filled before the gain, then replaced"}});
  std::vector<HtmlPage::Row> lines;
  for (const LineFlag& row : result.rows)
    lines.push_back({FlagName(row.flag, true) + " " + std::to_string(row.index), std::to_string(row.flag), row.reason});
  for (const LineFlag& column : result.columns)
    lines.push_back({"column " + std::to_string(column.index), std::to_string(column.flag), column.reason});
  if (lines.empty()) lines.push_back({"none", "", ""});
  page.Table({"line", "flag", "why"}, lines);
  page.Paragraph(ClusterLine(result));
}

void AddGain(HtmlPage& page, const GainReport& gains) {
  page.Heading("Gain");
  page.Table({"min", "1st percentile", "median", "99th percentile", "max"},
             {{Number(gains.min, 4), Number(gains.p1, 4), Number(gains.median, 4), Number(gains.p99, 4),
               Number(gains.max, 4)}});
  page.Paragraph(
      "The gain includes the panel's offset, as the correction subtracts none. The columns without data and the "
      "rows and columns the correction never multiplies carry 1.0; a defective pixel carries the mean gain of the "
      "good pixels around it.");
}

void AddUniformity(HtmlPage& page, const CalibrationResult& result) {
  page.Heading("Uniformity");
  std::vector<HtmlPage::Row> rows = {{"darks", Number(result.darkMedian, 0), "", "", "", Number(result.darkNoise, 1)}};
  for (size_t k = 0; k < result.levels.size(); ++k) {
    const LevelFigures& f = result.levels[k];
    rows.push_back({std::to_string(k + 1), Number(f.medianReading, 0), Number(f.medianSignal, 0), Percent(f.cvBefore),
                    Percent(f.cvAfter, 3), Number(f.temporalNoise, 1)});
  }
  rows.push_back({result.checkGiven ? "check flat" : "last level (not independent)", "", "", Percent(result.checkCvRaw),
                  Percent(result.checkCv, 3), ""});
  page.Table({"level", "median reading", "median signal", "CV before (offset subtracted)", "CV after (gain map)",
              "temporal noise"},
             rows);
  page.Paragraph(
      "Predicted residual non-uniformity of a flat corrected with these maps at other doses (the offset's share of "
      "the reading changes with the dose):");
  std::vector<HtmlPage::Row> residuals;
  for (const ResidualFigure& r : result.residuals) residuals.push_back({Number(r.fractionOfFullScale, 1), Percent(r.cv, 3)});
  page.Table({"median reading (fraction of full scale)", "predicted CV"}, residuals);
}

void AddPictures(HtmlPage& page, const std::string& folder, const CalibrationResult& result, const GainReport& gains) {
  page.Heading("Pictures");
  page.Figure(WritePicture(folder, "defects.png", DefectClassPicture(result)),
              "Defects by class (colours as in the table; flagged lines green; grey: no data)");
  page.Figure(WritePicture(folder, "gain.png", GainPicture(result)), "Gain map, 1st (black) to 99th percentile (white)");
  page.Figure(WritePicture(folder, "gain_histogram.png", GainHistogramPicture(result.gains, gains)),
              "Gain histogram (1st and 99th percentile orange, median cyan)");
  page.Figure(WritePicture(folder, "corrected_flat.png", CorrectedFlatPicture(result.correctedCheck)),
              "Corrected flat, black -2 % to white +2 %");
  page.Figure(WritePicture(folder, "row_profile.png", ProfilePicture(result.rowProfile, result.rows, "row")),
              "Row profile of the flat, flagged rows red", true);
  page.Figure(WritePicture(folder, "column_profile.png", ProfilePicture(result.columnProfile, result.columns, "column")),
              "Column profile of the flat, flagged columns red", true);
}

void AddThresholds(HtmlPage& page, const CalibrationSettings& settings) {
  page.Heading("Thresholds");
  const std::string response = " x the " + WindowName(kResponseWindow) + " median";
  page.Table({"setting", "value"},
             {{"dead: signal below", Percent(settings.deadBelow, 0) + " of the median"},
              {"hot: dark above the median by", Number(settings.hotAbove, 0) + " counts"},
              {"over-responding above", Number(settings.overAbove, 2) + response},
              {"under-responding below", Number(settings.underBelow, 2) + response},
              {"gross (code 2) beyond", Number(settings.grossOver, 2) + " x and " + Number(settings.grossUnder, 2) + " x"},
              {"noisy above", Number(settings.noisyAbove, 1) + " x the median temporal noise"},
              {"non-uniform beyond", Percent(settings.nonUniformAbove, 1) + " of the " + WindowName(kUniformityWindow) + " median"},
              {"line: defective pixels over", Percent(settings.lineFraction, 0)},
              {"line: mean off the trend by over", Percent(settings.lineDeparture, 0)}});
}

}  // namespace

void WriteCalibrationReport(const std::string& folder, const CalibrationResult& result,
                            const CalibrationSources& sources, const CalibrationSettings& settings,
                            const Verdict& verdict) {
  HtmlPage page("Panel calibration");
  const std::string beam = BeamProblem(result);
  if (!result.refusals.empty() || !beam.empty()) {
    page.Heading("Maps not written", true);
    if (!beam.empty()) page.Paragraph("Likely cause: " + beam + ".");
    page.List(result.refusals, true);
  }
  AddVerdict(page, verdict);
  AddIdentity(page, sources);
  AddSources(page, sources);
  AddDefects(page, result);
  const GainReport gains = AnalyseGainMap(result.gains);
  AddGain(page, gains);
  AddUniformity(page, result);
  AddPictures(page, folder, result, gains);
  AddThresholds(page, settings);
  page.Write(folder + "/report.html");
}

}  // namespace tavrix_tool
