// The library's facts as the usage texts state them, so that no text types a
// number the library names.
#pragma once

#include <cstdint>
#include <string>

namespace tavrix_tool {

// 16204480 as "16,204,480".
std::string Grouped(uint64_t number);
// "3072 x 3072": the image, or any square of `side`.
std::string ImageSize();
std::string Square(int32_t side);
// "1280..1791": the columns the readout leaves without data.
std::string DatalessColumns();
// "40..3031": the rows and columns inside the masked border.
std::string UnmaskedLines();

}  // namespace tavrix_tool
