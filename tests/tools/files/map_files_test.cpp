#include "files/map_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "cli/command_line.h"

namespace tavrix_tool {
namespace {

constexpr size_t kPixels = size_t(tavrix::kImageWidth) * size_t(tavrix::kImageHeight);

std::string Refusal(const std::vector<float>& gains) {
  try {
    RequireUsableGains("gain.map", gains.data());
  } catch (const Failure& failure) {
    return failure.what();
  }
  return "";
}

bool CarriesData(size_t i) {
  return tavrix::internal::InDataArea(int32_t(i / tavrix::kImageWidth), int32_t(i % tavrix::kImageWidth));
}

TEST(GainMapCheck, RefusesMapsWhoseDataAreaIsNotFiniteAndPositive) {
  for (const float bad : {std::numeric_limits<float>::quiet_NaN(), 0.0f, -1.0f, INFINITY}) {
    const std::vector<float> gains(kPixels, bad);
    const std::string message = Refusal(gains);
    EXPECT_NE(message.find("gain.map: "), std::string::npos) << bad;
    EXPECT_NE(message.find(std::to_string(CountBadGains(gains.data()).dataPixels) + " pixels"), std::string::npos)
        << message;
    EXPECT_EQ(CountBadGains(gains.data()).Bad(), CountBadGains(gains.data()).dataPixels) << bad;
  }
}

TEST(GainMapCheck, TakesAFewBadGainsAndAnyOutsideTheDataArea) {
  std::vector<float> gains(kPixels, std::numeric_limits<float>::quiet_NaN());
  std::vector<size_t> data;
  for (size_t i = 0; i < kPixels; ++i)
    if (CarriesData(i)) {
      gains[i] = 1.0f;
      data.push_back(i);
    }
  EXPECT_EQ(Refusal(gains), "");
  const size_t allowed = size_t(kMaxBadGainShare * double(data.size()));
  for (size_t k = 0; k < allowed; ++k) gains[data[k * 97]] = 0.0f;
  EXPECT_EQ(Refusal(gains), "");
  gains[data[1]] = -2.0f;
  EXPECT_NE(Refusal(gains), "");
}

}  // namespace
}  // namespace tavrix_tool
