#include "reports/map_pictures.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "tavrix_internal.h"

namespace tavrix_tool {

namespace {

using tavrix::internal::InDataArea;
using tavrix::internal::InMaskedBorder;
using tavrix::internal::IsDatalessColumn;
using tavrix::internal::RowFlagCovers;

using tavrix::kImageHeight;
using tavrix::kImageWidth;
using tavrix::kMapWidth;

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kBorderShade{30, 30, 80};
constexpr Rgb kDatalessShade{60, 60, 60};
constexpr Rgb kLineColour{0, 220, 230};
constexpr Rgb kBarColour{200, 200, 200};
constexpr Rgb kPercentileColour{255, 150, 0};
constexpr Rgb kMedianColour{0, 220, 230};
constexpr Rgb kAxisColour{255, 255, 255};

struct NamedColour {
  Rgb colour;
  const char* name;
};
// Codes 1 to 6 each have a colour; higher codes share the last one.
constexpr std::array<NamedColour, 7> kCodeColours{{{{235, 50, 50}, "red"},
                                                   {{250, 220, 0}, "yellow"},
                                                   {{60, 210, 80}, "green"},
                                                   {{80, 140, 255}, "blue"},
                                                   {{230, 70, 230}, "magenta"},
                                                   {{255, 140, 0}, "orange"},
                                                   {{255, 255, 255}, "white"}}};

// A square ring around each defective pixel, clear of its 8 neighbours so
// that the pixel itself stands out at full size; the ring still shows when
// the picture is viewed at a third of its size.
constexpr int32_t kHaloInnerRadius = 2;
constexpr int32_t kHaloOuterRadius = 5;
constexpr int32_t kLineHalo = 1;
constexpr double kGreyLevels = kGreyWhite;

Rgb Dimmed(Rgb colour) { return {uint8_t(colour.red / 2), uint8_t(colour.green / 2), uint8_t(colour.blue / 2)}; }

Rgb Softened(Rgb colour) {
  return {uint8_t(colour.red * 3 / 4), uint8_t(colour.green * 3 / 4), uint8_t(colour.blue * 3 / 4)};
}

bool HasVisibleEffect(LineEffect effect) {
  return effect == LineEffect::kRepaired || effect == LineEffect::kReadsDatalessColumns;
}

void ShadeBackground(Picture& picture) {
  for (int32_t r = 0; r < kImageHeight; ++r)
    for (int32_t c = 0; c < kImageWidth; ++c)
      if (InMaskedBorder(r, c))
        picture.Set(r, c, kBorderShade);
      else if (IsDatalessColumn(c))
        picture.Set(r, c, kDatalessShade);
}

// A line of one pixel with a dimmer pixel on either side; dashed when it changes nothing one sees.
void DrawLinePoint(Picture& picture, int32_t row, int32_t column, bool horizontal, bool solid) {
  const int32_t along = horizontal ? column : row;
  if (!solid && !Dashed(along)) return;
  for (int32_t k = -kLineHalo; k <= kLineHalo; ++k) {
    const Rgb colour = k == 0 ? kLineColour : Dimmed(kLineColour);
    if (horizontal)
      picture.Set(row + k, column, colour);
    else
      picture.Set(row, column + k, colour);
  }
}

void DrawFlaggedLines(Picture& picture, const PixelMapReport& report) {
  for (const FlaggedLine& line : report.rows) {
    const bool ignored = line.effect == LineEffect::kIgnoredValue;
    for (int32_t c = 0; c < kImageWidth; ++c)
      if (ignored || RowFlagCovers(line.flag, c))
        DrawLinePoint(picture, line.index, c, true, HasVisibleEffect(line.effect));
  }
  for (const FlaggedLine& line : report.columns)
    for (int32_t r = 0; r < kImageHeight; ++r)
      DrawLinePoint(picture, r, line.index, false, HasVisibleEffect(line.effect));
}

void DrawHalo(Picture& picture, int32_t row, int32_t column, Rgb colour) {
  for (int32_t dr = -kHaloOuterRadius; dr <= kHaloOuterRadius; ++dr)
    for (int32_t dc = -kHaloOuterRadius; dc <= kHaloOuterRadius; ++dc)
      if (std::max(std::abs(dr), std::abs(dc)) >= kHaloInnerRadius)
        picture.Set(row + dr, column + dc, Softened(colour));
}

void ClearNeighbours(Picture& picture, const Picture& background, int32_t row, int32_t column) {
  for (int32_t r = std::max(row - 1, 0); r <= std::min(row + 1, picture.height - 1); ++r)
    for (int32_t c = std::max(column - 1, 0); c <= std::min(column + 1, picture.width - 1); ++c)
      picture.Set(r, c, background.At(r, c));
}

template <typename Draw>
void ForEachDefect(const std::vector<uint8_t>& map, Draw draw) {
  for (int32_t r = 0; r < kImageHeight; ++r)
    for (int32_t c = 0; c < kImageWidth; ++c) {
      const uint8_t code = map[size_t(r) * kMapWidth + size_t(c)];
      if (code != 0) draw(r, c, CodeColour(code));
    }
}

// The histogram: one bin a pixel.
constexpr int32_t kPlotWidth = 800;
constexpr int32_t kPlotHeight = 400;

}  // namespace

Rgb CodeColour(uint8_t code) { return kCodeColours[std::min<size_t>(code, kCodeColours.size()) - 1].colour; }

std::string DefectPictureLegend() {
  std::string legend = "codes";
  for (size_t i = 0; i < kCodeColours.size(); ++i) {
    const bool last = i + 1 == kCodeColours.size();
    legend += (i == 0 ? " " : ", ") + std::to_string(i + 1) + (last ? " and up " : " ") + kCodeColours[i].name;
  }
  return legend +
         " (each in an 11 x 11 ring of its colour); flagged rows and columns cyan, dashed where they change no "
         "visible pixel; border dark blue, data-less columns grey";
}

Picture DefectPicture(const std::vector<uint8_t>& map, const PixelMapReport& report) {
  Picture picture(kImageWidth, kImageHeight, kBlack);
  ShadeBackground(picture);
  DrawFlaggedLines(picture, report);
  // All rings first, then the pixels, so that no ring hides a defective pixel.
  const Picture background = picture;
  ForEachDefect(map, [&](int32_t r, int32_t c, Rgb colour) { DrawHalo(picture, r, c, colour); });
  ForEachDefect(map, [&](int32_t r, int32_t c, Rgb) { ClearNeighbours(picture, background, r, c); });
  ForEachDefect(map, [&](int32_t r, int32_t c, Rgb colour) { picture.Set(r, c, colour); });
  return picture;
}

std::vector<uint16_t> GainGreyLevels(const std::vector<float>& gains, float low, float high) {
  std::vector<uint16_t> levels(gains.size());
  const double span = high > low ? double(high) - double(low) : 1.0;
  for (size_t i = 0; i < gains.size(); ++i) {
    // NaN fails both comparisons and stays black, as its pixels do.
    const double level = (double(gains[i]) - low) / span * kGreyLevels;
    levels[i] = level >= kGreyLevels ? uint16_t(kGreyLevels) : level > 0.0 ? uint16_t(level) : 0;
  }
  return levels;
}

HistogramRange GainHistogramRange(const GainReport& report) {
  const double width = double(report.p99) - double(report.p1);
  if (!(width > 0.0)) return {double(report.median) - 0.5, double(report.median) + 0.5};
  return {std::max(double(report.min), report.p1 - width / 2), std::min(double(report.max), report.p99 + width / 2)};
}

std::vector<size_t> GainHistogram(const std::vector<float>& gains, HistogramRange range, size_t bins) {
  std::vector<size_t> counts(bins, 0);
  const double scale = double(bins) / (range.high - range.low);
  for (int32_t r = 0; r < kImageHeight; ++r) {
    for (int32_t c = 0; c < kImageWidth; ++c) {
      const double gain = gains[size_t(r) * kImageWidth + size_t(c)];
      if (!InDataArea(r, c) || !(gain >= range.low && gain <= range.high)) continue;
      ++counts[std::min(bins - 1, size_t((gain - range.low) * scale))];
    }
  }
  return counts;
}

Picture GainHistogramPicture(const std::vector<float>& gains, const GainReport& report) {
  const HistogramRange range = GainHistogramRange(report);
  const std::vector<size_t> counts = GainHistogram(gains, range, kPlotWidth);
  const size_t highest = std::max<size_t>(1, *std::max_element(counts.begin(), counts.end()));
  Plot plot(kPlotWidth, kPlotHeight, {range, "gain"}, {{0.0, double(highest)}, "pixels per bin"}, kBlack,
            kAxisColour);
  for (int32_t x = 0; x < kPlotWidth; ++x) {
    const int32_t bar = int32_t(std::lround(double(counts[size_t(x)]) / double(highest) * kPlotHeight));
    for (int32_t y = 1; y <= bar; ++y) plot.Canvas().Set(plot.Bottom() - y, plot.Left() + x, kBarColour);
  }
  plot.Marker(report.p1, kPercentileColour, true);
  plot.Marker(report.p99, kPercentileColour, true);
  plot.Marker(report.median, kMedianColour, true);
  return plot.Finish();
}

}  // namespace tavrix_tool
