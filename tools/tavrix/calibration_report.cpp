#include "calibration_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/dimensions.h"
#include "image_files.h"
#include "map_report.h"
#include "output_files.h"

namespace tavrix_tool {

namespace {

using tavrix::kImageHeight;
using tavrix::kImageWidth;
using tavrix::kMapWidth;

constexpr int32_t kReduction = 4;  // pictures of the image area at a quarter of its size
constexpr int32_t kReduced = kImageWidth / kReduction;
constexpr double kFlatWindow = 0.02;  // the corrected flat shown at +-2 %
constexpr int32_t kProfileWidth = 1024;
constexpr int32_t kProfileHeight = 220;
constexpr int32_t kProfileMargin = 10;
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

std::string Escape(const std::string& text) {
  std::string out;
  for (char ch : text) {
    if (ch == '<') out += "&lt;";
    else if (ch == '>') out += "&gt;";
    else if (ch == '&') out += "&amp;";
    else out += ch;
  }
  return out;
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

std::string Row(const std::vector<std::string>& cells, bool header = false) {
  std::string html = "<tr>";
  for (const std::string& cell : cells) html += (header ? "<th>" : "<td>") + cell + (header ? "</th>" : "</td>");
  return html + "</tr>\n";
}

std::string Figure(const std::string& file, const std::string& caption) {
  return "<figure><img src=\"" + file + "\" alt=\"" + Escape(caption) + "\"><figcaption>" + Escape(caption) +
         "</figcaption></figure>\n";
}

std::string FlagName(uint8_t flag, bool row) {
  if (!row) return "column";
  switch (flag) {
    case 1:
      return "right half row";
    case 2:
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

Picture ProfilePicture(const std::vector<float>& profile, const std::vector<LineFlag>& flagged) {
  Picture picture(kProfileWidth + 2 * kProfileMargin, kProfileHeight + 2 * kProfileMargin, kPaper);
  std::vector<float> sorted;
  for (float v : profile)
    if (v > 0) sorted.push_back(v);
  std::sort(sorted.begin(), sorted.end());
  if (sorted.empty()) return picture;
  const double low = std::min(0.9, double(sorted.front())), high = std::max(1.1, double(sorted.back()));
  const auto yOf = [&](double v) {
    return kProfileMargin + int32_t(std::lround((high - v) / (high - low) * (kProfileHeight - 1)));
  };
  for (int32_t x = 0; x < kProfileWidth; ++x) picture.Set(yOf(1.0), kProfileMargin + x, kAxis);
  const double step = double(profile.size()) / kProfileWidth;
  for (const LineFlag& line : flagged) {
    const int32_t x = kProfileMargin + int32_t(line.index / step);
    for (int32_t y = 0; y < kProfileHeight; ++y) picture.Set(kProfileMargin + y, x, kFlagMark);
  }
  for (size_t i = 0; i < profile.size(); ++i) {
    if (profile[i] <= 0) continue;
    picture.Set(yOf(profile[i]), kProfileMargin + int32_t(double(i) / step), kTrace);
  }
  return picture;
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

std::string CalibrationSummary(const CalibrationResult& result) {
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
  out << (result.checkGiven ? "check flat" : "last level") << " corrected: " << Percent(result.checkCv, 3)
      << " coefficient of variation\n";
  return out.str();
}

void WriteCalibrationReport(const std::string& folder, const CalibrationResult& result,
                            const CalibrationSources& sources, const CalibrationSettings& settings) {
  const std::string defects = WritePicture(folder, "defects.png", DefectClassPicture(result));
  const std::string gain = WritePicture(folder, "gain.png", GainPicture(result));
  const GainReport gains = AnalyseGainMap(result.gains);
  const std::string histogram = WritePicture(folder, "gain_histogram.png", GainHistogramPicture(result.gains, gains));
  const std::string flat = WritePicture(folder, "corrected_flat.png", CorrectedFlatPicture(result.correctedCheck));
  const std::string rows = WritePicture(folder, "row_profile.png", ProfilePicture(result.rowProfile, result.rows));
  const std::string columns =
      WritePicture(folder, "column_profile.png", ProfilePicture(result.columnProfile, result.columns));

  std::ostringstream html;
  html << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>Panel calibration</title>\n"
       << "<style>body{font-family:sans-serif;margin:2em;max-width:1100px}table{border-collapse:collapse;margin:1em 0}"
          "td,th{border:1px solid #bbb;padding:3px 8px;text-align:right}th{background:#eee}"
          "figure{display:inline-block;margin:0.5em}img{max-width:520px;border:1px solid #888}"
          ".wide img{max-width:1044px}.refused{color:#b00}</style></head><body>\n"
       << "<h1>Panel calibration</h1>\n";
  if (!result.refusals.empty()) {
    html << "<h2 class=\"refused\">Maps not written</h2><ul class=\"refused\">\n";
    for (const std::string& reason : result.refusals) html << "<li>" << Escape(reason) << "</li>\n";
    html << "</ul>\n";
  }
  html << "<h2>Frames</h2><table>" << Row({"set", "files"}, true) << Row({"darks", Escape(sources.darks)});
  for (size_t k = 0; k < sources.levels.size(); ++k)
    html << Row({"flat level " + std::to_string(k + 1), Escape(sources.levels[k])});
  html << Row({"check flat", sources.check.empty() ? "none (the last level serves)" : Escape(sources.check)});
  for (const std::string& refused : sources.refusedLevels) html << Row({"refused level", Escape(refused)});
  html << "</table>\n";

  html << "<h2>Defects</h2><table>" << Row({"class", "pixels", "colour"}, true);
  for (size_t k = 1; k < size_t(PixelClass::kClassCount); ++k)
    html << Row({PixelClassName(PixelClass(k)), std::to_string(result.pixelsByClass[k]), kClassColourNames[k]});
  html << "</table><p>Counted over the pixels that carry data inside the masked border.</p>\n<table>"
       << Row({"code", "pixels", "meaning"}, true)
       << Row({"0", std::to_string(result.pixelsByCode[0]), "good"})
       << Row({"1", std::to_string(result.pixelsByCode[1]), "replaced by its good neighbours"})
       << Row({"2", std::to_string(result.pixelsByCode[2]), "gross defect: filled before the gain, then replaced"})
       << "</table>\n<table>" << Row({"line", "flag", "why"}, true);
  for (const LineFlag& row : result.rows)
    html << Row({FlagName(row.flag, true) + " " + std::to_string(row.index), std::to_string(row.flag), Escape(row.reason)});
  for (const LineFlag& column : result.columns)
    html << Row({"column " + std::to_string(column.index), std::to_string(column.flag), Escape(column.reason)});
  if (result.rows.empty() && result.columns.empty()) html << Row({"none", "", ""});
  html << "</table>\n";
  std::map<size_t, size_t> clusters;
  for (size_t size : result.clusterSizes) ++clusters[size];
  html << "<p>Clusters (8-connected groups of defective pixels): ";
  if (clusters.empty()) html << "none";
  for (auto it = clusters.rbegin(); it != clusters.rend(); ++it)
    html << (it == clusters.rbegin() ? "" : ", ") << it->second << " of " << it->first;
  html << ".</p>\n";

  html << "<h2>Gain</h2><table>" << Row({"min", "1st percentile", "median", "99th percentile", "max"}, true)
       << Row({Number(gains.min, 4), Number(gains.p1, 4), Number(gains.median, 4), Number(gains.p99, 4),
               Number(gains.max, 4)})
       << "</table><p>The gain includes the panel's offset, as the correction subtracts none. The columns without "
          "data and the rows and columns the correction never multiplies carry 1.0; a defective pixel carries the "
          "mean gain of the good pixels around it.</p>\n";

  html << "<h2>Uniformity</h2><table>"
       << Row({"level", "median reading", "median signal", "CV before (offset subtracted)", "CV after (gain map)",
               "temporal noise"},
              true);
  html << Row({"darks", Number(result.darkMedian, 0), "", "", "", Number(result.darkNoise, 1)});
  for (size_t k = 0; k < result.levels.size(); ++k) {
    const LevelFigures& f = result.levels[k];
    html << Row({std::to_string(k + 1), Number(f.medianReading, 0), Number(f.medianSignal, 0), Percent(f.cvBefore),
                 Percent(f.cvAfter, 3), Number(f.temporalNoise, 1)});
  }
  html << Row({result.checkGiven ? "check flat" : "last level", "", "", Percent(result.checkCvRaw),
               Percent(result.checkCv, 3), ""})
       << "</table>\n<p>Predicted residual non-uniformity of a flat corrected with these maps at other doses (the "
          "offset's share of the reading changes with the dose):</p><table>"
       << Row({"median reading (fraction of full scale)", "predicted CV"}, true);
  for (const ResidualFigure& r : result.residuals) html << Row({Number(r.fractionOfFullScale, 1), Percent(r.cv, 3)});
  html << "</table>\n";

  html << "<h2>Pictures</h2>\n"
       << Figure(defects, "Defects by class (colours as in the table; flagged lines green; grey: no data)")
       << Figure(gain, "Gain map, 1st (black) to 99th percentile (white)")
       << Figure(histogram, "Gain histogram (1st and 99th percentile orange, median cyan)")
       << Figure(flat, "Corrected flat, black -2 % to white +2 %")
       << "<div class=\"wide\">" << Figure(rows, "Row profile of the flat, flagged rows red")
       << Figure(columns, "Column profile of the flat, flagged columns red") << "</div>\n";

  html << "<h2>Thresholds</h2><table>" << Row({"setting", "value"}, true)
       << Row({"dead: signal below", Percent(settings.deadBelow, 0) + " of the median"})
       << Row({"hot: dark above the median by", Number(settings.hotAbove, 0) + " counts"})
       << Row({"over-responding above", Number(settings.overAbove, 2) + " x the 21 x 21 median"})
       << Row({"under-responding below", Number(settings.underBelow, 2) + " x the 21 x 21 median"})
       << Row({"gross (code 2) beyond", Number(settings.grossOver, 2) + " x and " + Number(settings.grossUnder, 2) + " x"})
       << Row({"noisy above", Number(settings.noisyAbove, 1) + " x the median temporal noise"})
       << Row({"non-uniform beyond", Percent(settings.nonUniformAbove, 1) + " of the 9 x 9 median"})
       << Row({"line: defective pixels over", Percent(settings.lineFraction, 0)})
       << Row({"line: mean off the trend by over", Percent(settings.lineDeparture, 0)}) << "</table>\n</body></html>\n";

  const std::string text = html.str();
  WriteAtomically(folder + "/report.html", true, [&](const std::string& temporary) -> std::string {
    std::ofstream out(temporary, std::ios::binary);
    out << text;
    out.close();
    return out ? "" : "cannot write";
  });
}

}  // namespace tavrix_tool
