// The readout of one raw frame into the image buffer: which raw word lands on
// which pixel, that words arrive unchanged, and what the readout leaves alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/raw_frame_layout.h"
#include "acquisition/read_frame.h"
#include "detector/detector.h"
#include "grabber/frame_grabber.h"
#include "support/detector_fixture.h"
#include "support/detector_probe.h"
#include "support/vector_paths.h"

namespace tavrix_test {
namespace {

constexpr int32_t kWidth = 3072;
constexpr int32_t kHeight = 3072;
constexpr int32_t kLineWords = 6320;
constexpr int32_t kLines = 1282;
constexpr int32_t kMiddleFirst = 1280;
constexpr int32_t kMiddleLast = 1791;
constexpr uint16_t kSentinel = 0xA5C3;

// A raw frame built word by word from (raw line, word within the line).
std::vector<uint8_t> RawFrame(const std::function<uint16_t(int32_t line, int32_t word)>& value) {
  std::vector<uint8_t> bytes(size_t(kLines) * kLineWords * 2);
  for (int32_t n = 0; n < kLines; ++n)
    for (int32_t w = 0; w < kLineWords; ++w) {
      const uint16_t v = value(n, w);
      const size_t at = (size_t(n) * kLineWords + size_t(w)) * 2;
      bytes[at] = uint8_t(v & 0xFF);  // least significant byte first
      bytes[at + 1] = uint8_t(v >> 8);
    }
  return bytes;
}

bool IsReadWord(int32_t w) {
  return (w >= 8 && w <= 1543) || (w >= 1572 && w <= 3107) || (w >= 3168 && w <= 4703) ||
         (w >= 4732 && w <= 6267);
}

bool IsMiddleColumn(int32_t c) { return c >= kMiddleFirst && c <= kMiddleLast; }

// Runs the readout of the given raw frame on a detector of its own, with the
// image filled with a sentinel beforehand. No correction follows.
class ReadFrameTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    detector_ = std::make_unique<tavrix::Detector>();
    ASSERT_TRUE(detector_->IsComplete());
    ASSERT_EQ(Probe().Width(), kWidth);
    ASSERT_EQ(Probe().Height(), kHeight);
  }
  void TearDown() override {
    detector_.reset();
    SimulatorTest::TearDown();
  }

  void ReadOut(const std::vector<uint8_t>& raw) {
    std::fill_n(detector_->Image(), size_t(kWidth) * kHeight, kSentinel);
    PCI_FRM01_SimInjectFrame(raw.data(), int32_t(raw.size()));
    const int32_t delivered = PCI_FRM01_SimFramesDelivered();
    detector_->ReadFrame(detector_->Image());
    ASSERT_EQ(PCI_FRM01_SimFramesDelivered(), delivered + 1);
  }

  uint16_t Pixel(int32_t row, int32_t column) const {
    return detector_->Image()[size_t(row) * kWidth + size_t(column)];
  }

  tavrix::DetectorProbe Probe() const { return tavrix::DetectorProbe(*detector_); }

  std::unique_ptr<tavrix::Detector> detector_;
};

TEST_F(ReadFrameTest, OuterColumnsOfTheTopHalfCarryRunsAAndCInTheirDirections) {
  ReadOut(RawFrame([](int32_t, int32_t w) { return uint16_t(w); }));
  for (int32_t r = 0; r < 1536; ++r) {
    ASSERT_EQ(Pixel(r, 3071), 8 + r) << "row " << r;
    ASSERT_EQ(Pixel(r, 0), 4703 - r) << "row " << r;
  }
}

struct Landing {
  int32_t line;
  int32_t word;
  int32_t row;
  int32_t column;
};

// The first and last word of every run, in the first and the last raw line
// that carries image data.
const Landing kRunCorners[] = {
    // Run A: column 3071 - c, rows 0..1535 downward.
    {2, 8, 0, 3071}, {2, 1543, 1535, 3071}, {1281, 8, 0, 1792}, {1281, 1543, 1535, 1792},
    // Run B: column 3071 - c, rows 1536..3071 downward.
    {2, 1572, 1536, 3071}, {2, 3107, 3071, 3071}, {1281, 1572, 1536, 1792}, {1281, 3107, 3071, 1792},
    // Run C: column c, rows 1535..0 upward.
    {2, 3168, 1535, 0}, {2, 4703, 0, 0}, {1281, 3168, 1535, 1279}, {1281, 4703, 0, 1279},
    // Run D: column c, rows 3071..1536 upward.
    {2, 4732, 3071, 0}, {2, 6267, 1536, 0}, {1281, 4732, 3071, 1279}, {1281, 6267, 1536, 1279},
};

TEST_F(ReadFrameTest, FirstAndLastWordOfEachRunLandOnTheirCornerPixels) {
  // Two frames: one tells the word, the other the raw line, of each pixel.
  ReadOut(RawFrame([](int32_t, int32_t w) { return uint16_t(w); }));
  for (const Landing& l : kRunCorners)
    EXPECT_EQ(Pixel(l.row, l.column), l.word) << "line " << l.line << " word " << l.word;

  ReadOut(RawFrame([](int32_t n, int32_t) { return uint16_t(n); }));
  for (const Landing& l : kRunCorners)
    EXPECT_EQ(Pixel(l.row, l.column), l.line) << "line " << l.line << " word " << l.word;
}

// The mapping written out from the frame's layout, to check every pixel.
Landing SourceOf(int32_t row, int32_t column) {
  const bool right = column >= kMiddleLast + 1;
  const int32_t c = right ? kWidth - 1 - column : column;
  const bool top = row < 1536;
  int32_t word;
  if (right)
    word = top ? 8 + row : 1572 + (row - 1536);
  else
    word = top ? 3168 + (1535 - row) : 4732 + (3071 - row);
  return {c + 2, word, row, column};
}

TEST_F(ReadFrameTest, EveryReadPixelComesFromItsOneRawWordAndMiddleColumnsAreCleared) {
  ReadOut(RawFrame([](int32_t, int32_t w) { return uint16_t(w); }));
  std::vector<uint16_t> words(detector_->Image(), detector_->Image() + size_t(kWidth) * kHeight);
  ReadOut(RawFrame([](int32_t n, int32_t) { return uint16_t(n); }));

  int64_t wrong = 0;
  int64_t middleNotCleared = 0;
  for (int32_t r = 0; r < kHeight; ++r)
    for (int32_t c = 0; c < kWidth; ++c) {
      const size_t i = size_t(r) * kWidth + size_t(c);
      if (IsMiddleColumn(c)) {
        middleNotCleared += (words[i] != 0) + (detector_->Image()[i] != 0);
        continue;
      }
      const Landing expected = SourceOf(r, c);
      if (words[i] != expected.word || detector_->Image()[i] != expected.line) {
        if (wrong++ < 5)
          ADD_FAILURE() << "pixel (" << r << ", " << c << ") holds word " << words[i] << " of line "
                        << detector_->Image()[i] << ", expected word " << expected.word << " of line "
                        << expected.line;
      }
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(middleNotCleared, 0);
}

TEST_F(ReadFrameTest, FullScaleWordsArriveUnchanged) {
  ReadOut(RawFrame([](int32_t, int32_t) { return uint16_t(65535); }));
  int64_t notFullScale = 0;
  for (int32_t r = 0; r < kHeight; ++r)
    for (int32_t c = 0; c < kWidth; ++c)
      if (!IsMiddleColumn(c)) notFullScale += Pixel(r, c) != 65535;
  EXPECT_EQ(notFullScale, 0);
  EXPECT_EQ(Pixel(100, 1280), 0);
  EXPECT_EQ(Pixel(100, 1791), 0);
}

TEST_F(ReadFrameTest, WordsAreCopiedWithoutMaskingOrByteSwapping) {
  // High bits and asymmetric bytes show any masking to 14 bits or swap.
  ReadOut(RawFrame([](int32_t, int32_t w) { return uint16_t(0xC000 | (w & 0x3FFF)); }));
  EXPECT_EQ(Pixel(0, 3071), 0xC000 | 8);
  EXPECT_EQ(Pixel(1536, 3071), 0xC000 | 1572);
  EXPECT_EQ(Pixel(1535, 0), 0xC000 | 3168);
  EXPECT_EQ(Pixel(3071, 0), 0xC000 | 4732);
}

TEST_F(ReadFrameTest, NonzeroWordsOnlyInUnreadPlacesLeaveEveryReadPixelZero) {
  ReadOut(RawFrame([](int32_t n, int32_t w) {
    return (n < 2 || !IsReadWord(w)) ? uint16_t(0xFFFF) : uint16_t(0);
  }));
  int64_t nonzero = 0;
  for (int32_t r = 0; r < kHeight; ++r)
    for (int32_t c = 0; c < kWidth; ++c)
      if (!IsMiddleColumn(c)) nonzero += Pixel(r, c) != 0;
  EXPECT_EQ(nonzero, 0);
}

TEST_F(ReadFrameTest, ReadoutIgnoresTheBufferBeyondTheRawFrame) {
  // Stale bytes after the frame in the raw-frame buffer do not reach the image.
  std::fill_n(Probe().RawFrame() + tavrix::kRawFrameBytes,
              tavrix::kRawFrameBufferBytes - size_t(tavrix::kRawFrameBytes), uint8_t(0xEE));
  ReadOut(RawFrame([](int32_t, int32_t) { return uint16_t(7); }));
  EXPECT_EQ(Pixel(3071, 1279), 7);
  EXPECT_EQ(Pixel(3071, 1792), 7);
}

TEST_F(ReadFrameTest, ReadoutFetchesTheFrameWithItsByteCount) {
  PCI_FRM01_SimClearCallLog();
  ReadOut(RawFrame([](int32_t, int32_t) { return uint16_t(1); }));
  EXPECT_EQ(RecordedCalls(), std::vector<std::string>{"LVDS_GetFrame(16204480)"});
}

TEST(UnscrambleFrame, WorksOnAFrameAtAnOddAddress) {
  // The raw frame's words need not be aligned in the buffer handed over.
  std::vector<uint8_t> storage(size_t(tavrix::kRawFrameBytes) + 1);
  uint8_t* raw = storage.data() + 1;
  const size_t at = (size_t(2) * kLineWords + 8) * 2;  // line 2, word 8
  raw[at] = 0x34;
  raw[at + 1] = 0x12;
  std::vector<uint16_t> image(size_t(kWidth) * kHeight, kSentinel);
  tavrix::UnscrambleFrame(raw, image.data(), kWidth, kHeight);
  EXPECT_EQ(image[3071], 0x1234);
  EXPECT_EQ(image[0], 0);
  EXPECT_EQ(image[1500], kSentinel);
}

std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed) {
  std::vector<uint8_t> bytes(count);
  for (uint8_t& byte : bytes) {
    seed = seed * 1664525u + 1013904223u;
    byte = uint8_t(seed >> 24);
  }
  return bytes;
}

// An image buffer placed at a chosen distance from a cache line, with guard
// words on both sides that no path may touch.
class GuardedImage {
 public:
  GuardedImage(int32_t width, int32_t height, size_t offsetWords)
      : pixels_(size_t(width) * height), storage_(kGuardWords + kLineWords + pixels_ + kGuardWords, kSentinel) {
    const uintptr_t address = reinterpret_cast<uintptr_t>(storage_.data() + kGuardWords);
    const size_t toLine = (kLineBytes - address % kLineBytes) % kLineBytes / sizeof(uint16_t);
    image_ = storage_.data() + kGuardWords + toLine + offsetWords;
  }
  uint16_t* data() { return image_; }
  bool GuardsIntact() const {
    for (const uint16_t* p = storage_.data(); p < image_; ++p)
      if (*p != kSentinel) return false;
    for (const uint16_t* p = image_ + pixels_; p < storage_.data() + storage_.size(); ++p)
      if (*p != kSentinel) return false;
    return true;
  }

 private:
  static constexpr size_t kGuardWords = 64;
  static constexpr size_t kLineBytes = 64;
  static constexpr size_t kLineWords = kLineBytes / sizeof(uint16_t);
  size_t pixels_;
  std::vector<uint16_t> storage_;
  uint16_t* image_ = nullptr;
};

size_t CountDifferences(const uint16_t* actual, const std::vector<uint16_t>& expected) {
  size_t differing = 0;
  for (size_t i = 0; i < expected.size(); ++i) differing += actual[i] != expected[i];
  return differing;
}

// Every vector path against the plain readout, with the frame at an aligned
// and an odd address and the image at every kind of distance from a cache
// line (whole groups only, partial groups at the edges of both halves, words
// that are not 16-byte aligned).
TEST(UnscrambleFrame, EveryPathMatchesPlainAtAlignedAndOddFrameAndImageAddresses) {
  const std::vector<uint8_t> storage = RandomBytes(size_t(tavrix::kRawFrameBytes) + 1, 99);
  for (size_t rawOffset : {size_t(0), size_t(1)}) {
    const uint8_t* raw = storage.data() + rawOffset;
    std::vector<uint16_t> expected(size_t(kWidth) * kHeight, kSentinel);
    tavrix::UnscrambleFramePlain(raw, expected.data(), kWidth, kHeight);
    tavrix_test::ForEachInstructionSet([&](tavrix::InstructionSet) {
      for (size_t imageOffset : {size_t(0), size_t(1), size_t(8), size_t(24)}) {
        SCOPED_TRACE(testing::Message() << "frame offset " << rawOffset
                                        << ", image offset " << imageOffset << " words");
        GuardedImage image(kWidth, kHeight, imageOffset);
        tavrix::UnscrambleFrame(raw, image.data(), kWidth, kHeight);
        EXPECT_EQ(CountDifferences(image.data(), expected), 0u);
        EXPECT_TRUE(image.GuardsIntact());
      }
    });
  }
}

// Rows that are not whole cache lines must take the plain copy: the vector
// paths stream whole lines and would fault or misplace words.
TEST(UnscrambleFrame, WidthWhoseRowsMissTheCacheLinesMatchesPlain) {
  constexpr int32_t kWideWidth = kWidth + 8;
  const std::vector<uint8_t> raw = RandomBytes(size_t(tavrix::kRawFrameBytes), 7);
  std::vector<uint16_t> expected(size_t(kWideWidth) * kHeight, kSentinel);
  tavrix::UnscrambleFramePlain(raw.data(), expected.data(), kWideWidth, kHeight);
  GuardedImage image(kWideWidth, kHeight, 0);
  tavrix::UnscrambleFrame(raw.data(), image.data(), kWideWidth, kHeight);
  EXPECT_EQ(CountDifferences(image.data(), expected), 0u);
  EXPECT_TRUE(image.GuardsIntact());
}

// Through the exports: the middle columns hold 0 from creation on and reach
// the host as 0 after an acquisition with neutral maps.
TEST_F(DetectorTest, MiddleColumnsReachTheHostAsZeroAfterAnAcquisition) {
  const std::vector<uint8_t> raw = RawFrame([](int32_t, int32_t) { return uint16_t(1200); });
  PCI_FRM01_SimInjectFrame(raw.data(), int32_t(raw.size()));
  ASSERT_EQ(RunforDetector(1), 1);
  ASSERT_EQ(RunforDetector(2), 1);
  const uint16_t* image = SaveRawImage();
  for (int32_t c = kMiddleFirst + 4; c <= kMiddleLast - 4; ++c)
    ASSERT_EQ(image[size_t(1000) * kWidth + size_t(c)], 0) << "column " << c;
  EXPECT_EQ(image[size_t(1000) * kWidth + 1000], 1200);
  EXPECT_EQ(image[size_t(1000) * kWidth + 2000], 1200);
}

}  // namespace
}  // namespace tavrix_test
