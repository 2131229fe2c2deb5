// Decoding of one received message, byte by byte, without a detector or a
// grabber: switch codes, temperature frames and the message's bounds.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "messages/messages.h"

namespace tavrix {
namespace {

constexpr int32_t kLength = 64;
constexpr int32_t kUnchanged = 777;

// A message of kLength bytes inside a larger buffer whose bytes beyond the
// message are `beyond`, so that reading past the message would show.
std::vector<uint8_t> Message(uint8_t beyond = 0) {
  std::vector<uint8_t> bytes(2 * kLength, beyond);
  std::fill(bytes.begin(), bytes.begin() + kLength, 0);
  return bytes;
}

void PutFrame(std::vector<uint8_t>& bytes, int32_t position, uint8_t value) {
  bytes[size_t(position)] = 'f';
  bytes[size_t(position) + 1] = value;
  bytes[size_t(position) + 2] = 'g';
}

int32_t Decode(const std::vector<uint8_t>& bytes, int32_t position, int32_t* temperature) {
  return DecodeMessage(bytes.data(), kLength, position, temperature);
}

TEST(DecodeMessage, SwitchBytesGiveTheirCodesAndEveryOtherByteZero) {
  std::vector<uint8_t> bytes = Message();
  for (int32_t value = 0; value < 256; ++value) {
    bytes[0] = uint8_t(value);
    const int32_t expected = value == 'v' ? 1 : value == 's' ? 2 : value == 'u' ? 3 : 0;
    int32_t temperature = kUnchanged;
    EXPECT_EQ(Decode(bytes, 0, &temperature), expected) << "byte " << value;
    EXPECT_EQ(temperature, kUnchanged) << "byte " << value;
  }
}

TEST(DecodeMessage, TemperatureFrameStoresTheSignedValueLessFourOnlyFromItsStart) {
  const struct {
    uint8_t value;
    int32_t temperature;
  } table[] = {{0x19, 21}, {0xFF, -5}, {0x80, -132}, {0x7F, 123}, {0x04, 0}, {0x00, -4}, {0x03, -1}};
  for (const auto& row : table) {
    SCOPED_TRACE(int(row.value));
    std::vector<uint8_t> bytes = Message();
    PutFrame(bytes, 10, row.value);
    int32_t temperature = kUnchanged;
    EXPECT_EQ(Decode(bytes, 9, &temperature), 0);
    EXPECT_EQ(Decode(bytes, 11, &temperature), 0);
    EXPECT_EQ(Decode(bytes, 12, &temperature), 0);
    EXPECT_EQ(temperature, kUnchanged);
    EXPECT_EQ(Decode(bytes, 10, &temperature), 0);
    EXPECT_EQ(temperature, row.temperature);
  }
}

TEST(DecodeMessage, ValueByteThatIsASwitchByteIsBothValueAndCode) {
  const struct {
    uint8_t value;
    int32_t code;
  } table[] = {{'v', 1}, {'s', 2}, {'u', 3}};
  for (const auto& [value, code] : table) {
    std::vector<uint8_t> bytes = Message();
    PutFrame(bytes, 20, value);
    int32_t temperature = kUnchanged;
    EXPECT_EQ(Decode(bytes, 21, &temperature), code);
    EXPECT_EQ(temperature, kUnchanged) << "reading the value byte decoded the frame";
    EXPECT_EQ(Decode(bytes, 20, &temperature), 0);
    EXPECT_EQ(temperature, int32_t(value) - 4);
  }
}

TEST(DecodeMessage, FramesWithoutTheirClosingByteInPlaceLeaveTheTemperature) {
  std::vector<uint8_t> bytes = Message();
  bytes[1] = 'f';  // wrong closing byte
  bytes[2] = 0x40;
  bytes[3] = 'x';
  bytes[10] = 'f';  // closing byte one place early
  bytes[11] = 'g';
  bytes[20] = 'f';  // closing byte one place late
  bytes[21] = 0x40;
  bytes[22] = 0x40;
  bytes[23] = 'g';
  int32_t temperature = kUnchanged;
  for (int32_t position = 0; position < kLength; ++position) EXPECT_EQ(Decode(bytes, position, &temperature), 0);
  EXPECT_EQ(temperature, kUnchanged);
}

TEST(DecodeMessage, FrameClosingBeyondTheMessageNeverCompletesWhateverFollows) {
  std::vector<uint8_t> bytes = Message('g');
  bytes[62] = 'f';
  bytes[63] = 0x19;
  int32_t temperature = kUnchanged;
  EXPECT_EQ(Decode(bytes, 62, &temperature), 0);
  EXPECT_EQ(Decode(bytes, 63, &temperature), 0);
  EXPECT_EQ(temperature, kUnchanged);
  // The last frame that fits closes on the message's last byte.
  PutFrame(bytes, 61, 0xFF);
  EXPECT_EQ(Decode(bytes, 61, &temperature), 0);
  EXPECT_EQ(temperature, -5);
  // A shorter message cuts the same frame off.
  temperature = kUnchanged;
  EXPECT_EQ(DecodeMessage(bytes.data(), 63, 61, &temperature), 0);
  EXPECT_EQ(temperature, kUnchanged);
}

TEST(DecodeMessage, PositionsOutsideTheMessageReadNothing) {
  std::vector<uint8_t> bytes(2 * kLength, 'v');
  PutFrame(bytes, kLength, 0x19);
  int32_t temperature = kUnchanged;
  for (int32_t position : {-1, kLength, kLength + 1, 2 * kLength - 1, INT_MAX, INT_MIN}) {
    EXPECT_EQ(Decode(bytes, position, &temperature), 0) << position;
  }
  EXPECT_EQ(temperature, kUnchanged);
  EXPECT_EQ(Decode(bytes, 0, &temperature), 1);
  EXPECT_EQ(Decode(bytes, kLength - 1, &temperature), 1);
  EXPECT_EQ(DecodeMessage(bytes.data(), 0, 0, &temperature), 0) << "an empty message holds no byte";
}

}  // namespace
}  // namespace tavrix
