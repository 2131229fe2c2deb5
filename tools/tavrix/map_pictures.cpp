#include "map_pictures.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/dimensions.h"

namespace tavrix_tool {

namespace {

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
constexpr int32_t kDashLength = 8;
constexpr double kGreyLevels = kGreyWhite;

Rgb Dimmed(Rgb colour) { return {uint8_t(colour.red / 2), uint8_t(colour.green / 2), uint8_t(colour.blue / 2)}; }

Rgb Softened(Rgb colour) {
  return {uint8_t(colour.red * 3 / 4), uint8_t(colour.green * 3 / 4), uint8_t(colour.blue * 3 / 4)};
}

bool Dashed(int32_t along) { return (along / kDashLength) % 2 == 0; }

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

// ---- the histogram ----

constexpr int32_t kPlotWidth = 800;  // one bin a pixel
constexpr int32_t kPlotHeight = 400;
constexpr int32_t kMarginLeft = 90;
constexpr int32_t kMarginRight = 30;
constexpr int32_t kMarginTop = 20;
constexpr int32_t kMarginBottom = 50;
constexpr int32_t kTickLength = 6;
constexpr int32_t kTargetTicks = 10;
constexpr int32_t kGlyphScale = 2;
constexpr int32_t kGlyphWidth = 3;
constexpr int32_t kGlyphHeight = 5;
constexpr int32_t kGlyphGap = 1;
constexpr int32_t kLabelGap = 4;
// A tick this close to 0, relative to the step, is 0 missed by rounding.
constexpr double kZeroTickFraction = 1e-6;

struct Glyph {
  char character;
  const char* rows[kGlyphHeight];
};
constexpr Glyph kGlyphs[] = {
    {'0', {"###", "#.#", "#.#", "#.#", "###"}}, {'1', {".#.", "##.", ".#.", ".#.", "###"}},
    {'2', {"###", "..#", "###", "#..", "###"}}, {'3', {"###", "..#", "###", "..#", "###"}},
    {'4', {"#.#", "#.#", "###", "..#", "..#"}}, {'5', {"###", "#..", "###", "..#", "###"}},
    {'6', {"###", "#..", "###", "#.#", "###"}}, {'7', {"###", "..#", "..#", "..#", "..#"}},
    {'8', {"###", "#.#", "###", "#.#", "###"}}, {'9', {"###", "#.#", "###", "..#", "###"}},
    {'.', {"...", "...", "...", "...", ".#."}}, {'-', {"...", "...", "###", "...", "..."}},
    {'+', {"...", ".#.", "###", ".#.", "..."}}, {'e', {"...", ".##", "###", "#..", ".##"}},
};

int32_t TextWidth(const std::string& text) {
  return int32_t(text.size()) * (kGlyphWidth + kGlyphGap) * kGlyphScale - kGlyphGap * kGlyphScale;
}

void DrawText(Picture& picture, int32_t top, int32_t left, const std::string& text, Rgb colour) {
  for (size_t i = 0; i < text.size(); ++i) {
    const int32_t x0 = left + int32_t(i) * (kGlyphWidth + kGlyphGap) * kGlyphScale;
    for (const Glyph& glyph : kGlyphs) {
      if (glyph.character != text[i]) continue;
      for (int32_t gy = 0; gy < kGlyphHeight * kGlyphScale; ++gy)
        for (int32_t gx = 0; gx < kGlyphWidth * kGlyphScale; ++gx)
          if (glyph.rows[gy / kGlyphScale][gx / kGlyphScale] == '#') picture.Set(top + gy, x0 + gx, colour);
    }
  }
}

// 1, 2 or 5 times a power of ten, giving about kTargetTicks ticks over `span`.
double TickStep(double span) {
  const double rough = span / kTargetTicks;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  for (double factor : {1.0, 2.0, 5.0})
    if (factor * power >= rough) return factor * power;
  return 10.0 * power;
}

std::string Number(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

int32_t PlotBottom() { return kMarginTop + kPlotHeight; }

void DrawXAxis(Picture& picture, HistogramRange range) {
  for (int32_t x = -1; x <= kPlotWidth; ++x) picture.Set(PlotBottom(), kMarginLeft + x, kAxisColour);
  const double step = TickStep(range.high - range.low);
  for (double tick = std::ceil(range.low / step) * step; tick <= range.high; tick += step) {
    const int32_t x = kMarginLeft + int32_t(std::lround((tick - range.low) / (range.high - range.low) * kPlotWidth));
    for (int32_t k = 1; k <= kTickLength; ++k) picture.Set(PlotBottom() + k, x, kAxisColour);
    const std::string label = Number("%g", std::abs(tick) < step * kZeroTickFraction ? 0.0 : tick);
    DrawText(picture, PlotBottom() + kTickLength + kLabelGap, x - TextWidth(label) / 2, label, kAxisColour);
  }
}

void DrawYAxis(Picture& picture, size_t highestCount) {
  for (int32_t y = 0; y <= kPlotHeight; ++y) picture.Set(kMarginTop + y, kMarginLeft - 1, kAxisColour);
  const double top = std::max<double>(double(highestCount), 1.0);
  const double step = std::max(1.0, TickStep(top));
  for (double tick = 0; tick <= top; tick += step) {
    const int32_t y = PlotBottom() - int32_t(std::lround(tick / top * kPlotHeight));
    for (int32_t k = 1; k <= kTickLength; ++k) picture.Set(y, kMarginLeft - 1 - k, kAxisColour);
    const std::string label = Number("%.0f", tick);
    const int32_t left = kMarginLeft - 1 - kTickLength - kLabelGap - TextWidth(label);
    DrawText(picture, y - kGlyphHeight * kGlyphScale / 2, left, label, kAxisColour);
  }
}

void DrawMarker(Picture& picture, HistogramRange range, double value, Rgb colour) {
  const double at = (value - range.low) / (range.high - range.low);
  if (at < 0.0 || at > 1.0) return;
  const int32_t x = kMarginLeft + std::min(kPlotWidth - 1, int32_t(at * kPlotWidth));
  for (int32_t y = 0; y < kPlotHeight; ++y)
    if (Dashed(y)) picture.Set(kMarginTop + y, x, colour);
}

}  // namespace

Picture::Picture(int32_t w, int32_t h, Rgb fill) : width(w), height(h), rgb(size_t(w) * size_t(h) * 3) {
  for (size_t i = 0; i < rgb.size(); i += 3) {
    rgb[i] = fill.red;
    rgb[i + 1] = fill.green;
    rgb[i + 2] = fill.blue;
  }
}

Rgb Picture::At(int32_t row, int32_t column) const {
  const size_t i = (size_t(row) * size_t(width) + size_t(column)) * 3;
  return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

void Picture::Set(int32_t row, int32_t column, Rgb colour) {
  if (row < 0 || row >= height || column < 0 || column >= width) return;
  const size_t i = (size_t(row) * size_t(width) + size_t(column)) * 3;
  rgb[i] = colour.red;
  rgb[i + 1] = colour.green;
  rgb[i + 2] = colour.blue;
}

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
  Picture picture(kMarginLeft + kPlotWidth + kMarginRight, kMarginTop + kPlotHeight + kMarginBottom, kBlack);
  const HistogramRange range = GainHistogramRange(report);
  const std::vector<size_t> counts = GainHistogram(gains, range, kPlotWidth);
  const size_t highest = *std::max_element(counts.begin(), counts.end());
  for (int32_t x = 0; x < kPlotWidth; ++x) {
    const int32_t bar =
        highest == 0 ? 0 : int32_t(std::lround(double(counts[size_t(x)]) / double(highest) * kPlotHeight));
    for (int32_t y = 1; y <= bar; ++y) picture.Set(PlotBottom() - y, kMarginLeft + x, kBarColour);
  }
  DrawMarker(picture, range, report.p1, kPercentileColour);
  DrawMarker(picture, range, report.p99, kPercentileColour);
  DrawMarker(picture, range, report.median, kMedianColour);
  DrawXAxis(picture, range);
  DrawYAxis(picture, highest);
  return picture;
}

}  // namespace tavrix_tool
