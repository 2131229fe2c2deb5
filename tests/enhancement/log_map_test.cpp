#include "enhancement/log_map.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tavrix {
namespace {

TEST(LogMapValue, MapsKnownValuesOntoLogScale) {
  EXPECT_EQ(LogMapValue(1), 1169);
  EXPECT_EQ(LogMapValue(2), 1853);
  EXPECT_EQ(LogMapValue(100), 7791);
  EXPECT_EQ(LogMapValue(1000), 11663);
  EXPECT_EQ(LogMapValue(16382), 16382);
  EXPECT_EQ(LogMapValue(16383), 16383);
  EXPECT_EQ(LogMapValue(65535), 18723);
}

TEST(LogMapValue, MapsBlackToBlackInsteadOfWrappingToBrightest) {
  EXPECT_EQ(LogMapValue(0), 0);
}

TEST(LogMapValue, RisesMonotonicallyAndNeverBelowFirstStepForNonZero) {
  uint16_t previous = LogMapValue(1);
  for (uint32_t v = 2; v < kLogMapTableSize; ++v) {
    const uint16_t m = LogMapValue(uint16_t(v));
    ASSERT_GE(m, previous) << v;
    ASSERT_GE(m, 1169) << v;
    previous = m;
  }
  EXPECT_EQ(size_t(previous) + 1, kLogMapValueCount) << "the largest value bounds every table";
}

TEST(LogMapImage, MapsEveryPixelThroughTable) {
  std::vector<uint16_t> table(kLogMapTableSize);
  BuildLogMapTable(table.data());
  for (uint32_t v = 0; v < kLogMapTableSize; ++v)
    ASSERT_EQ(table[v], LogMapValue(uint16_t(v))) << v;

  const std::vector<uint16_t> source = {0, 1, 2, 100, 1000, 16383, 65535};
  std::vector<uint16_t> destination(source.size(), 0xBEEF);
  LogMapImage(source.data(), destination.data(), source.size(), table.data());
  EXPECT_EQ(destination, (std::vector<uint16_t>{0, 1169, 1853, 7791, 11663, 16383, 18723}));
}

}  // namespace
}  // namespace tavrix
