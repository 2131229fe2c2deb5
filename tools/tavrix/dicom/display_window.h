// The window a DICOM viewer shows an image with, from the image's own data
// area: its 1st percentile black, its 99th white, the masked border and the
// data-less columns left out (they would pull the window toward their
// constant values).
#pragma once

#include <cstdint>

#include "dicom/dicom_file.h"
#include "files/image_files.h"

namespace tavrix_tool {

// The linear VOI window that shows `shown.low` and below black and
// `shown.high` and above white.
VoiWindow VoiWindowShowing(DisplayWindow shown);

// The window of the data area's 1st to 99th percentile.
VoiWindow DataAreaWindow(const uint16_t* image, int32_t width, int32_t height);

}  // namespace tavrix_tool
