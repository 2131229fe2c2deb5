// The current time in UTC, formatted: for file records and DICOM dates.
#pragma once

#include <string>

namespace tavrix_tool {

// strftime's `format` of the current UTC time.
std::string UtcNow(const char* format);

}  // namespace tavrix_tool
