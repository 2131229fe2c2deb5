#include "cli/usage_facts.h"

#include "tavrix_internal.h"

namespace tavrix_tool {

std::string Grouped(uint64_t number) {
  std::string digits = std::to_string(number);
  for (int64_t at = int64_t(digits.size()) - 3; at > 0; at -= 3) digits.insert(size_t(at), ",");
  return digits;
}

std::string Square(int32_t side) { return std::to_string(side) + " x " + std::to_string(side); }

std::string ImageSize() { return Square(tavrix::kImageWidth); }

std::string DatalessColumns() {
  return std::to_string(tavrix::kReadoutColumns) + ".." +
         std::to_string(tavrix::kImageWidth - tavrix::kReadoutColumns - 1);
}

std::string UnmaskedLines() {
  return std::to_string(tavrix::kBorderMaskWidth) + ".." +
         std::to_string(tavrix::kImageWidth - tavrix::kBorderMaskWidth - 1);
}

}  // namespace tavrix_tool
