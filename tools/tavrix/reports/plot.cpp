#include "reports/plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tavrix_tool {

namespace {

constexpr int32_t kDashLength = 8;
constexpr int32_t kMarginLeft = 90;
constexpr int32_t kMarginRight = 30;
constexpr int32_t kMarginTop = 34;
constexpr int32_t kMarginBottom = 70;
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
    {'%', {"#.#", "..#", ".#.", "#..", "#.#"}}, {'/', {"..#", "..#", ".#.", "#..", "#.."}},
    {'(', {".#.", "#..", "#..", "#..", ".#."}}, {')', {".#.", "..#", "..#", "..#", ".#."}},
    {'a', {"...", "##.", "..#", "###", "###"}}, {'b', {"#..", "#..", "###", "#.#", "###"}},
    {'c', {"...", "...", "###", "#..", "###"}}, {'d', {"..#", "..#", "###", "#.#", "###"}},
    {'f', {".##", "#..", "###", "#..", "#.."}}, {'g', {"...", "###", "#.#", "###", "..#"}},
    {'h', {"#..", "#..", "###", "#.#", "#.#"}}, {'i', {".#.", "...", ".#.", ".#.", ".#."}},
    {'j', {"..#", "...", "..#", "#.#", ".#."}}, {'k', {"#..", "#.#", "##.", "#.#", "#.#"}},
    {'l', {"##.", ".#.", ".#.", ".#.", "###"}}, {'m', {"...", "###", "###", "#.#", "#.#"}},
    {'n', {"...", "##.", "#.#", "#.#", "#.#"}}, {'o', {"...", "###", "#.#", "#.#", "###"}},
    {'p', {"...", "###", "#.#", "###", "#.."}}, {'q', {"...", "###", "#.#", "###", "..#"}},
    {'r', {"...", "#.#", "##.", "#..", "#.."}}, {'s', {"...", ".##", ".#.", "..#", "##."}},
    {'t', {".#.", "###", ".#.", ".#.", ".##"}}, {'u', {"...", "#.#", "#.#", "#.#", "###"}},
    {'v', {"...", "#.#", "#.#", "#.#", ".#."}}, {'w', {"...", "#.#", "#.#", "###", "###"}},
    {'x', {"...", "#.#", ".#.", ".#.", "#.#"}}, {'y', {"...", "#.#", "###", "..#", "##."}},
    {'z', {"...", "###", "..#", "#..", "###"}},
};

// 1, 2 or 5 times a power of ten, giving about kTargetTicks ticks over `span`.
double TickStep(double span) {
  const double rough = span / kTargetTicks;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  for (double factor : {1.0, 2.0, 5.0})
    if (factor * power >= rough) return factor * power;
  return 10.0 * power;
}

std::string TickLabel(double tick, double step) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", std::abs(tick) < step * kZeroTickFraction ? 0.0 : tick);
  return text;
}

double Fraction(double value, AxisRange range) { return (value - range.low) / (range.high - range.low); }

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

bool Dashed(int32_t along) { return (along / kDashLength) % 2 == 0; }

Plot::Plot(int32_t plotWidth, int32_t plotHeight, Axis x, Axis y, Rgb paper, Rgb ink)
    : plotWidth_(plotWidth),
      plotHeight_(plotHeight),
      x_(std::move(x)),
      y_(std::move(y)),
      ink_(ink),
      picture_(kMarginLeft + plotWidth + kMarginRight, kMarginTop + plotHeight + kMarginBottom, paper) {}

int32_t Plot::Left() const { return kMarginLeft; }
int32_t Plot::Top() const { return kMarginTop; }
int32_t Plot::Bottom() const { return kMarginTop + plotHeight_; }

int32_t Plot::X(double value) const { return Left() + int32_t(std::lround(Fraction(value, x_.range) * plotWidth_)); }

int32_t Plot::Y(double value) const { return Bottom() - int32_t(std::lround(Fraction(value, y_.range) * plotHeight_)); }

void Plot::Point(double x, double y, Rgb colour) { picture_.Set(Y(y), X(x), colour); }

void Plot::Polyline(const std::vector<double>& x, const std::vector<double>& y, Rgb colour) {
  for (size_t i = 1; i < std::min(x.size(), y.size()); ++i) {
    if (!std::isfinite(y[i - 1]) || !std::isfinite(y[i])) continue;
    const int32_t x0 = X(x[i - 1]), y0 = Y(y[i - 1]), x1 = X(x[i]), y1 = Y(y[i]);
    const int32_t steps = std::max({std::abs(x1 - x0), std::abs(y1 - y0), 1});
    for (int32_t k = 0; k <= steps; ++k)
      picture_.Set(y0 + int32_t(std::lround(double(y1 - y0) * k / steps)),
                   x0 + int32_t(std::lround(double(x1 - x0) * k / steps)), colour);
  }
}

void Plot::Marker(double x, Rgb colour, bool dashed) {
  const double at = Fraction(x, x_.range);
  if (at < 0.0 || at > 1.0) return;
  const int32_t column = Left() + std::min(plotWidth_ - 1, int32_t(at * plotWidth_));
  for (int32_t y = 0; y < plotHeight_; ++y)
    if (!dashed || Dashed(y)) picture_.Set(Top() + y, column, colour);
}

void Plot::DrawXAxis() {
  for (int32_t x = -1; x <= plotWidth_; ++x) picture_.Set(Bottom(), Left() + x, ink_);
  const double step = TickStep(x_.range.high - x_.range.low);
  const int32_t numbersTop = Bottom() + kTickLength + kLabelGap;
  for (double tick = std::ceil(x_.range.low / step) * step; tick <= x_.range.high; tick += step) {
    const int32_t x = X(tick);
    for (int32_t k = 1; k <= kTickLength; ++k) picture_.Set(Bottom() + k, x, ink_);
    const std::string label = TickLabel(tick, step);
    DrawText(picture_, numbersTop, x - TextWidth(label) / 2, label, ink_);
  }
  const int32_t titleTop = numbersTop + kGlyphHeight * kGlyphScale + 3 * kLabelGap;
  DrawText(picture_, titleTop, Left() + (plotWidth_ - TextWidth(x_.title)) / 2, x_.title, ink_);
}

void Plot::DrawYAxis() {
  for (int32_t y = 0; y <= plotHeight_; ++y) picture_.Set(Top() + y, Left() - 1, ink_);
  const double step = TickStep(y_.range.high - y_.range.low);
  for (double tick = std::ceil(y_.range.low / step) * step; tick <= y_.range.high; tick += step) {
    const int32_t y = Y(tick);
    for (int32_t k = 1; k <= kTickLength; ++k) picture_.Set(y, Left() - 1 - k, ink_);
    const std::string label = TickLabel(tick, step);
    const int32_t left = Left() - 1 - kTickLength - kLabelGap - TextWidth(label);
    DrawText(picture_, y - kGlyphHeight * kGlyphScale / 2, left, label, ink_);
  }
  DrawText(picture_, kLabelGap, kLabelGap, y_.title, ink_);
}

Picture Plot::Finish() {
  DrawXAxis();
  DrawYAxis();
  return picture_;
}

}  // namespace tavrix_tool
