// Serial stream through the exports: the input after its first byte is what
// the simulated serial channel delivers; it is read as a host would (an
// Init_Comm first when bit 0 of the first byte is set, then CheckSwitch and
// every position, poll after poll, up to one poll past the end of the stream),
// and every code and temperature is compared with the model below.
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"

namespace {

constexpr int32_t kMessage = 64;
constexpr int32_t kDrainPolls = 100;
constexpr int32_t kOutside[] = {INT32_MIN, -1, kMessage, 1023, 1024, INT32_MAX};

// What the host should see: bytes arrive 64 per poll, a message is cleared
// before each poll, a byte reads as its switch code, and visiting an 'f'
// whose 'g' lies two places on, inside the message, sets the temperature to
// the signed value byte less four.
struct Model {
  const uint8_t* stream;
  size_t size;
  size_t used = 0;
  uint8_t message[kMessage] = {};
  int32_t temperature = 0;

  void Poll() {
    const size_t count = size - used < size_t(kMessage) ? size - used : size_t(kMessage);
    std::memset(message, 0, sizeof message);
    std::memcpy(message, stream + used, count);
    used += count;
  }
  int32_t Visit(int32_t p) {
    const uint8_t b = message[p];
    if (b == 'v') return 1;
    if (b == 's') return 2;
    if (b == 'u') return 3;
    if (b == 'f' && p + 2 < kMessage && message[p + 2] == 'g') temperature = int8_t(message[p + 1]) - 4;
    return 0;
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::CreateDetector();
  CHECK(GetMsgLength() == kMessage);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool drainFirst = (data[0] & 1) != 0;
  Model model{data + 1, size - 1};
  // Also forgets the call log, which would otherwise grow with every input.
  PCI_FRM01_SimReset();
  PCI_FRM01_SimInjectSerial(model.stream, int32_t(model.size));
  model.temperature = GetTemperature();

  if (drainFirst) {
    CHECK(Init_Comm() == -1);
    for (int32_t poll = 0; poll < kDrainPolls; ++poll) {
      model.Poll();
      for (int32_t p = 0; p < kMessage; ++p) model.Visit(p);
    }
    CHECK(GetTemperature() == model.temperature);
  }

  // The message the drain left is read first, without a poll.
  for (bool polled = !drainFirst;; polled = true) {
    const bool streamUsedUp = model.used == model.size;
    if (polled) {
      CHECK(CheckSwitch() == -1);
      model.Poll();
    }
    for (int32_t p = 0; p < kMessage; ++p) {
      CHECK(GetSwitchMsg(p) == model.Visit(p));
      CHECK(GetTemperature() == model.temperature);
    }
    for (int32_t outside : kOutside) CHECK(GetSwitchMsg(outside) == 0);
    CHECK(GetTemperature() == model.temperature);
    if (polled && streamUsedUp) break;
  }
  return 0;
}
