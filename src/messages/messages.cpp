#include "messages/messages.h"

#include <cstring>

#include "grabber/frame_grabber.h"
#include "platform/wait.h"

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

void ReceiveMessage(uint8_t* message, int32_t length) {
  SleepMilliseconds(kPollIntervalMilliseconds);
  std::memset(message, 0, size_t(length));
  FetchSerialBytes(message, length);
}

int32_t DecodeMessage(const uint8_t* message, int32_t length, int32_t position, int32_t* temperature) {
  // Positions outside the message read nothing.
  if (position < 0 || position >= length) return 0;
  const uint8_t byte = message[position];
  const int32_t code = SwitchCode(byte);
  if (code != 0) return code;
  // A frame whose closing byte would lie beyond the message never completes.
  if (byte == kTemperatureStart && position < length - 2 && message[position + 2] == kTemperatureEnd)
    *temperature = DecodeTemperature(message[position + 1]);
  return 0;
}

void DrainMessages(uint8_t* message, int32_t length, int32_t* temperature) {
  for (int32_t round = 0; round < kDrainRounds; ++round) {
    ReceiveMessage(message, length);
    for (int32_t position = 0; position < length; ++position) DecodeMessage(message, length, position, temperature);
  }
}

}  // namespace tavrix
