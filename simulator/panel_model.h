// The simulated panel: what lies where on it. The frame composer and the
// calibration-map writers both read this one model, so the maps describe
// exactly the panel that produces the frames.
#pragma once

#include <cstdint>

namespace pci_frm01_sim {

// A disc of the phantom: its plateau adds `contrast` to the background, and
// its edge blurs over kDiscEdgeWidth pixels, as an X-ray focal spot would.
struct Disc {
  int32_t row;
  int32_t column;
  int32_t radius;
  int32_t contrast;
};

// A single defective pixel: what it reads whatever the exposure, and the
// pixel-map code that flags it.
struct DefectivePixel {
  int32_t row;
  int32_t column;
  uint16_t reading;
  uint8_t code;
};

constexpr int32_t kDiscEdgeWidth = 16;

// Four large discs, one per quadrant, so that any mirrored or swapped
// quadrant shows; an absorber darker than the background; a row of small
// discs; and a faint disc across the columns that receive no data.
constexpr Disc kDiscs[] = {
    {800, 700, 420, 5800},    // top left
    {700, 2450, 260, 4200},   // top right
    {2350, 2500, 150, 7900},  // bottom right, the brightest
    {2300, 800, 350, -1500},  // bottom left, an absorber
    {1536, 1536, 500, 2500},  // centre, cut by the columns without data
    {1800, 300, 60, 3000},
    {1800, 500, 45, 3000},
    {1800, 680, 34, 3000},
    {1800, 840, 25, 3000},
    {1800, 980, 16, 3000},
};

// Background: brighter towards the right and towards the bottom.
constexpr double kBackgroundLevel = 2200.0;
constexpr double kBackgroundRiseAcross = 1400.0;
constexpr double kBackgroundRiseDown = 900.0;

// Line defects, placed where the line repair reaches them and away from
// the columns without data: the left half of one row and one whole column
// respond with only a fraction of the exposure.
constexpr int32_t kDarkHalfRow = 1100;
constexpr uint8_t kDarkHalfRowFlag = 2;  // row flag of a defective left half
constexpr int32_t kDarkColumn = 2200;
constexpr uint8_t kDarkColumnFlag = 1;
constexpr double kDarkLineResponse = 0.3;

constexpr uint16_t kHotReading = 16383;
constexpr uint16_t kDeadReading = 0;
constexpr uint8_t kHotCode = 1;
constexpr uint8_t kDeadCode = 2;  // the fill code: filled before the gain step

// Isolated pixels, which the impulse filter alone would catch, and small
// clusters, which only the pixel map can.
constexpr DefectivePixel kDefectivePixels[] = {
    {300, 1900, kHotReading, kHotCode},
    {450, 2900, kHotReading, kHotCode},
    {1250, 400, kHotReading, kHotCode},
    {1400, 2700, kHotReading, kHotCode},
    {2000, 1100, kHotReading, kHotCode},
    {2600, 2000, kHotReading, kHotCode},
    {2900, 150, kHotReading, kHotCode},
    {2750, 2800, kHotReading, kHotCode},
    {2750, 2801, kHotReading, kHotCode},
    {2751, 2801, kHotReading, kHotCode},
    {200, 600, kDeadReading, kDeadCode},
    {740, 2420, kDeadReading, kDeadCode},  // inside a disc
    {1000, 1100, kDeadReading, kDeadCode},
    {1650, 2100, kDeadReading, kDeadCode},
    {2200, 2950, kDeadReading, kDeadCode},
    {2500, 1200, kDeadReading, kDeadCode},
    {2950, 1900, kDeadReading, kDeadCode},
    {600, 1000, kDeadReading, kDeadCode},
    {601, 1000, kDeadReading, kDeadCode},
};

// The ideal exposure at a pixel, before the panel's response.
double PhantomSignal(int32_t row, int32_t column);

// The fixed response of a pixel: about 1, varying by a few percent from
// pixel to pixel and from one readout chip (256 columns) to the next.
float PixelGain(int32_t row, int32_t column);

// What a working pixel of the panel reads in frame `index`: the phantom
// times the pixel's gain, plus noise that depends on the frame, with the
// dark row half and dark column applied.
uint16_t ExposedReading(int32_t row, int32_t column, uint32_t index);

// What the panel reads at a pixel in frame `index`, defective pixels
// included. Columns that the readout never delivers still have a value.
uint16_t PanelReading(int32_t row, int32_t column, uint32_t index);

}  // namespace pci_frm01_sim
