// Pictures for reports, and the one plot builder every report's charts use:
// a plotting area with an x and a y axis, ticks at 1, 2 or 5 x 10^n, their
// numbers, and each axis' title with its unit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrix_tool {

struct Rgb {
  uint8_t red, green, blue;
};

struct Picture {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgb;  // 3 bytes a pixel, row-major

  Picture(int32_t w, int32_t h, Rgb fill);
  Rgb At(int32_t row, int32_t column) const;
  void Set(int32_t row, int32_t column, Rgb colour);  // ignores points outside
};

// Text in a small built-in font: digits, lower-case letters and . - + e % / ( ) and space.
int32_t TextWidth(const std::string& text);
void DrawText(Picture& picture, int32_t top, int32_t left, const std::string& text, Rgb colour);

// Every `period` pixels along a line, the first half drawn: dashes.
bool Dashed(int32_t along);

struct AxisRange {
  double low, high;
};

struct Axis {
  AxisRange range;
  std::string title;  // with the unit: "gain", "pixels per bin", "row"
};

// A chart of `plotWidth` x `plotHeight` pixels inside margins that hold the
// axes, their numbers and titles.
class Plot {
 public:
  Plot(int32_t plotWidth, int32_t plotHeight, Axis x, Axis y, Rgb paper, Rgb ink);

  // The pixel column and row of a value on each axis (a value outside its
  // range lands outside the plotting area).
  int32_t X(double value) const;
  int32_t Y(double value) const;
  int32_t Left() const;
  int32_t Top() const;
  int32_t Bottom() const;  // the row of the x axis
  int32_t PlotWidth() const { return plotWidth_; }
  int32_t PlotHeight() const { return plotHeight_; }

  void Point(double x, double y, Rgb colour);
  // Straight lines through the points in turn; a point that is not a
  // number breaks the line.
  void Polyline(const std::vector<double>& x, const std::vector<double>& y, Rgb colour);
  // A vertical line across the plotting area at `x`, dashed or solid.
  void Marker(double x, Rgb colour, bool dashed);
  // The axes, ticks, numbers and titles, drawn over what is there.
  Picture Finish();
  Picture& Canvas() { return picture_; }

 private:
  void DrawXAxis();
  void DrawYAxis();
  int32_t plotWidth_, plotHeight_;
  Axis x_, y_;
  Rgb ink_;
  Picture picture_;
};

}  // namespace tavrix_tool
