#include <cstring>

#include "detector/detector.h"
#include "platform/wait.h"
#include "grabber/frame_grabber.h"

namespace tavrix {
namespace {

constexpr int32_t kDrainRounds = 100;
constexpr uint8_t kTemperatureStart = 'f';
constexpr uint8_t kTemperatureEnd = 'g';

int32_t SwitchCode(uint8_t byte) {
  switch (byte) {
    case 'v': return 1;
    case 's': return 2;
    case 'u': return 3;
    default: return 0;
  }
}

// The value byte is a signed two's-complement number offset by 4.
int32_t DecodeTemperature(uint8_t value) { return int32_t(int8_t(value)) - 4; }

}  // namespace

void Detector::PollMessages() {
  SleepMilliseconds(kPollIntervalMilliseconds);
  std::memset(rxBuffer, 0, size_t(messageLength));
  FetchSerialBytes(rxBuffer, messageLength);
}

void Detector::DrainMessages() {
  for (int32_t round = 0; round < kDrainRounds; ++round) {
    std::memset(rxBuffer, 0, size_t(messageLength));
    PollMessages();
    for (int32_t position = 0; position < messageLength; ++position) DecodeMessage(position);
  }
}

int32_t Detector::DecodeMessage(int32_t position) {
  // Positions outside the message read nothing.
  if (position < 0 || position >= messageLength) return 0;
  const uint8_t byte = rxBuffer[position];
  const int32_t code = SwitchCode(byte);
  if (code != 0) return code;
  // A frame whose closing byte would lie beyond the message never completes.
  if (byte == kTemperatureStart && position + 2 < messageLength &&
      rxBuffer[position + 2] == kTemperatureEnd)
    temperature = DecodeTemperature(rxBuffer[position + 1]);
  return 0;
}

}  // namespace tavrix
