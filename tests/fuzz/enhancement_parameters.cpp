// Enhancement's four parameters on fixed images. The input: levels, strength,
// smoothingRadius, smoothingDecay (int32, little-endian, missing bytes 0) and
// one byte choosing the image (flat, ramp or noise). Checked:
//   - a null image gives 0;
//   - parameters outside the documented ranges give 1 and leave both images
//     untouched;
//   - any other run gives 1 and writes every destination pixel (no result is
//     as high as the 0xA5A5 the destination held before);
//   - a second run on the same input with parameters documented to be
//     equivalent (levels above 5 as 5; for a negative levels, -1 and another
//     strength) gives the same source and destination. The first run follows
//     the previous input's (other data, other parameters), so state carried
//     from run to run shows as a difference.
#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "fuzz_support.h"

namespace {

constexpr size_t kPixels = size_t(TAVRIX_IMAGE_WIDTH) * TAVRIX_IMAGE_HEIGHT;
constexpr uint16_t kUnwritten = 0xA5A5;

using Image = std::vector<uint16_t>;
std::vector<Image> g_images;
Image g_source, g_destination, g_source2, g_destination2;

int32_t Run(const Image& input, Image& source, Image& destination, int32_t levels, int32_t strength,
            int32_t radius, int32_t decay) {
  source = input;
  std::fill(destination.begin(), destination.end(), kUnwritten);
  return Enhancement(source.data(), destination.data(), levels, strength, radius, decay);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::CreateDetector();
  Image flat(kPixels, 9000), ramp(kPixels), noise(kPixels);
  for (size_t i = 0; i < kPixels; ++i) {
    const size_t r = i / TAVRIX_IMAGE_WIDTH, c = i % TAVRIX_IMAGE_WIDTH;
    ramp[i] = uint16_t((r + c) * 16383 / (TAVRIX_IMAGE_WIDTH + TAVRIX_IMAGE_HEIGHT - 2));
  }
  std::mt19937 random(1417);
  for (uint16_t& pixel : noise) pixel = uint16_t(random());
  g_images = {flat, ramp, noise};
  for (Image* image : {&g_source, &g_destination, &g_source2, &g_destination2}) image->resize(kPixels);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int32_t levels = fuzz::ReadInt32(data, size, 0);
  const int32_t strength = fuzz::ReadInt32(data, size, 4);
  const int32_t radius = fuzz::ReadInt32(data, size, 8);
  const int32_t decay = fuzz::ReadInt32(data, size, 12);
  const Image& input = g_images[size > 16 ? data[16] % g_images.size() : 0];

  CHECK(Enhancement(nullptr, g_destination.data(), levels, strength, radius, decay) == 0);
  CHECK(Enhancement(g_source.data(), nullptr, levels, strength, radius, decay) == 0);

  CHECK(Run(input, g_source, g_destination, levels, strength, radius, decay) == 1);
  const bool untouched = levels == 0 || strength == 0 || radius < 1 || radius > 3 || decay < 1 || decay > 30;
  if (untouched) {
    CHECK(g_source == input);
    for (uint16_t pixel : g_destination) CHECK(pixel == kUnwritten);
    return 0;
  }

  CHECK(std::find(g_destination.begin(), g_destination.end(), kUnwritten) == g_destination.end());

  const int32_t levels2 = levels > 5 ? 5 : levels < 0 ? -1 : levels;
  const int32_t strength2 = levels < 0 ? (strength == 1 ? 2 : 1) : strength;
  CHECK(Run(input, g_source2, g_destination2, levels2, strength2, radius, decay) == 1);
  CHECK(g_source2 == g_source);
  CHECK(g_destination2 == g_destination);
  return 0;
}
