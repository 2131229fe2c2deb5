// What a panel's calibration maps do to its images: the defective pixels and
// their clusters, the flagged rows and columns, and which of them the
// correction never reaches or masks afterwards; the spread of the gains over
// the pixels that carry data.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace tavrix_tool {

// What a row or column flag does to the image.
enum class LineEffect {
  kRepaired,              // changes pixels that carry data
  kIgnoredValue,          // a row flag other than 1, 2 and 3
  kNeverRepaired,         // too near the edge for any repair
  kMaskedByBorder,        // repaired, but every pixel it changes is masked
  kDatalessOnly,          // a column repair that changes only data-less columns
  kReadsDatalessColumns,  // a column repair that rescales data columns against zeros
};

LineEffect RowFlagEffect(int32_t row, uint8_t flag);
LineEffect ColumnFlagEffect(int32_t column);

struct FlaggedLine {
  int32_t index;
  uint8_t flag;
  LineEffect effect;
  // Within the reference reach of another fitted repair of the same pixels,
  // so the pair is not rebuilt reliably.
  bool nearAnother;
};

struct Cluster {
  size_t pixels = 0;
  int32_t top = 0, left = 0, bottom = 0, right = 0;
};

struct PixelMapReport {
  std::array<size_t, 256> pixelsByCode{};  // [0]: good pixels
  size_t defective = 0;
  std::map<size_t, size_t> clustersBySize;  // 8-connected groups of defective pixels
  Cluster largestCluster;                   // the first in raster order among equals
  // Defective pixels the repair reaches that have no good neighbour and keep
  // their own value (code 2: the fill value).
  size_t withoutGoodNeighbour = 0;
  size_t fillWithoutGoodNeighbour = 0;
  size_t inBorder = 0;         // masked at the end whatever the repair gives
  size_t neverRepaired = 0;    // on the outermost rows and columns
  size_t fillNeverFilled = 0;  // code 2 too near the top or left edge
  size_t inDatalessColumns = 0;
  // Defective pixels beside the data-less columns whose mean takes in a
  // good-coded data-less pixel (value 0) and so comes out low.
  size_t averagingDatalessZero = 0;
  std::vector<FlaggedLine> rows;     // nonzero row flags, in increasing order
  std::vector<FlaggedLine> columns;  // nonzero column flags, in increasing order
};

// `map` is a whole pixel-map file (tavrix::kPixelMapBytes).
PixelMapReport AnalysePixelMap(const std::vector<uint8_t>& map);

struct GainReport {
  size_t dataGains = 0;  // gains of the data area
  size_t nan = 0, infinite = 0, zero = 0, negative = 0;
  size_t finite = 0;
  // Over the finite gains of the data area (0 when there are none).
  float min = 0, p1 = 0, median = 0, p99 = 0, max = 0;
};

// `gains` is a whole gain-map file (3072 x 3072 values).
GainReport AnalyseGainMap(const std::vector<float>& gains);

}  // namespace tavrix_tool
