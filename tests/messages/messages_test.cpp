// Serial messages through the exports against the frame-grabber simulator's
// serial channel: polling, draining, and when decoding happens; the decoding
// of single bytes is tested directly in decode_message_test.cpp.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "detector/detector.h"
#include "platform/wait.h"
#include "support/detector_fixture.h"
#include "support/detector_probe.h"

namespace tavrix_test {
namespace {

constexpr int32_t kMessageBytes = 64;
constexpr int32_t kDrainPolls = 100;

int64_t g_sleptMilliseconds = 0;
int64_t g_sleepCalls = 0;
void CountingSleep(int32_t milliseconds) {
  ++g_sleepCalls;
  g_sleptMilliseconds += milliseconds;
}
int64_t CountingNow() { return g_sleptMilliseconds; }

using Message = std::vector<uint8_t>;

Message EmptyMessage() { return Message(kMessageBytes, 0); }

// A message with a temperature frame 'f' V 'g' starting at `position`.
Message WithFrame(Message message, int32_t position, uint8_t value) {
  message[size_t(position)] = 'f';
  message[size_t(position) + 1] = value;
  message[size_t(position) + 2] = 'g';
  return message;
}

void Send(const Message& message) {
  PCI_FRM01_SimInjectSerial(message.data(), int32_t(message.size()));
}

class MessagesTest : public DetectorTest {
 protected:
  void SetUp() override {
    g_sleptMilliseconds = 0;
    g_sleepCalls = 0;
    previous_ = tavrix::ReplaceWaitFunctions({CountingSleep, CountingNow});
    DetectorTest::SetUp();
  }
  void TearDown() override {
    DetectorTest::TearDown();
    tavrix::ReplaceWaitFunctions(previous_);
  }

  // Polls once and reads every position as a host would.
  static std::vector<int32_t> ReceiveAndRead() {
    EXPECT_EQ(CheckSwitch(), -1);
    std::vector<int32_t> codes;
    for (int32_t p = 0; p < GetMsgLength(); ++p) codes.push_back(GetSwitchMsg(p));
    return codes;
  }

 private:
  tavrix::WaitFunctions previous_{};
};

TEST_F(MessagesTest, SingleSwitchByteIsReportedOnlyAtItsPosition) {
  Message message = EmptyMessage();
  message[0] = 'v';
  Send(message);
  std::vector<int32_t> expected(kMessageBytes, 0);
  expected[0] = 1;
  EXPECT_EQ(ReceiveAndRead(), expected);
}

TEST_F(MessagesTest, FrameStartingAtTheLastTwoPositionsNeverCompletes) {
  for (int32_t start : {62, 63}) {
    SCOPED_TRACE(start);
    // The stream goes on with the closing bytes, which arrive with the next poll.
    Message message = EmptyMessage();
    message[size_t(start)] = 'f';
    if (start + 1 < kMessageBytes) message[size_t(start) + 1] = 0x19;
    Send(message);
    Send(Message{'g', 'g', 'g'});
    EXPECT_EQ(ReceiveAndRead(), std::vector<int32_t>(kMessageBytes, 0));
    EXPECT_EQ(GetTemperature(), 0);
    ReceiveAndRead();
    EXPECT_EQ(GetTemperature(), 0);
  }
  Message tail = EmptyMessage();
  tail[62] = 'f';
  tail[63] = 0x19;
  Send(tail);
  Send(Message{'g'});
  EXPECT_EQ(Init_Comm(), -1);
  EXPECT_EQ(GetTemperature(), 0);
}

TEST_F(MessagesTest, TemperatureChangesWhenTheFrameIsVisitedNotWhenPolled) {
  Send(WithFrame(EmptyMessage(), 5, 0x19));
  ASSERT_EQ(CheckSwitch(), -1);
  EXPECT_EQ(GetTemperature(), 0);
  EXPECT_EQ(GetSwitchMsg(4), 0);
  EXPECT_EQ(GetTemperature(), 0);
  EXPECT_EQ(GetSwitchMsg(5), 0);
  EXPECT_EQ(GetTemperature(), 21);
}

TEST_F(MessagesTest, EachPollStartsFromAClearedMessage) {
  Send(Message(kMessageBytes, 's'));
  ReceiveAndRead();
  Message shorter{'u', 'v'};
  Send(shorter);
  std::vector<int32_t> expected(kMessageBytes, 0);
  expected[0] = 3;
  expected[1] = 1;
  EXPECT_EQ(ReceiveAndRead(), expected);
  EXPECT_EQ(ReceiveAndRead(), std::vector<int32_t>(kMessageBytes, 0));
}

TEST_F(MessagesTest, PollAsksForOneMessageAfterAOneMillisecondSleep) {
  ASSERT_EQ(CheckSwitch(), -1);
  EXPECT_EQ(RecordedCalls(), std::vector<std::string>{"UART_GetData(64)"});
  EXPECT_EQ(g_sleepCalls, 1);
  EXPECT_EQ(g_sleptMilliseconds, 1);
}

TEST_F(MessagesTest, InitCommKeepsTheLastTemperatureOfItsHundredPolls) {
  for (int32_t poll = 0; poll < kDrainPolls - 1; ++poll)
    Send(WithFrame(EmptyMessage(), poll % 60, uint8_t(poll)));
  // The last polled message holds two frames; the later position wins.
  Send(WithFrame(WithFrame(EmptyMessage(), 40, 0x19), 5, 0x7F));
  // Not reached by the drain.
  Send(WithFrame(EmptyMessage(), 0, 0x80));

  EXPECT_EQ(Init_Comm(), -1);

  EXPECT_EQ(GetTemperature(), 21);
  EXPECT_EQ(g_sleepCalls, kDrainPolls);
  EXPECT_EQ(g_sleptMilliseconds, kDrainPolls);
  EXPECT_EQ(RecordedCalls().size(), size_t(kDrainPolls));
  // The buffer holds the last poll's bytes.
  EXPECT_EQ(GetSwitchMsg(40), 0);
  EXPECT_EQ(GetSwitchMsg(41), 0);
}

TEST_F(MessagesTest, InitCommDrainsPastAFrameFollowedByEmptyPolls) {
  Send(WithFrame(EmptyMessage(), 0, 0xFF));
  Message switches = EmptyMessage();
  switches[7] = 'v';
  Send(switches);
  EXPECT_EQ(Init_Comm(), -1);
  EXPECT_EQ(GetTemperature(), -5);
  // Later polls received nothing, so the message reads empty.
  EXPECT_EQ(GetSwitchMsg(7), 0);
}

TEST_F(MessagesTest, MessageCallsWithoutBytesStillReturnMinusOne) {
  EXPECT_EQ(CheckSwitch(), -1);
  EXPECT_EQ(Init_Comm(), -1);
  EXPECT_EQ(GetMsgLength(), kMessageBytes);
  EXPECT_EQ(GetTemperature(), 0);
}

// What a correct reader of one polled message makes of it.
struct Decoded {
  std::vector<int32_t> codes;
  bool hasTemperature = false;
  int32_t lastTemperature = 0;
};

Decoded Reference(const Message& message) {
  Decoded d;
  for (int32_t p = 0; p < kMessageBytes; ++p) {
    const uint8_t b = message[size_t(p)];
    d.codes.push_back(b == 'v' ? 1 : b == 's' ? 2 : b == 'u' ? 3 : 0);
    if (b == 'f' && p + 2 < kMessageBytes && message[size_t(p) + 2] == 'g') {
      d.hasTemperature = true;
      d.lastTemperature = int32_t(int8_t(message[size_t(p) + 1])) - 4;
    }
  }
  return d;
}

TEST_F(MessagesTest, ArbitrarySerialBytesChangeTheTemperatureOnlyThroughCompleteFrames) {
  std::mt19937 random(1417);
  const uint8_t alphabet[] = {'f', 'g', 'v', 's', 'u', 0, 0x19, 0x80, 0xFF, 'f', 'g'};
  std::uniform_int_distribution<size_t> pick(0, sizeof alphabet - 1);
  std::uniform_int_distribution<int> anyByte(0, 255);
  int32_t expectedTemperature = GetTemperature();
  for (int32_t round = 0; round < 300; ++round) {
    Message message(kMessageBytes);
    for (uint8_t& b : message) b = round % 2 == 0 ? alphabet[pick(random)] : uint8_t(anyByte(random));
    Send(message);
    const Decoded reference = Reference(message);
    ASSERT_EQ(ReceiveAndRead(), reference.codes) << "round " << round;
    if (reference.hasTemperature) expectedTemperature = reference.lastTemperature;
    ASSERT_EQ(GetTemperature(), expectedTemperature) << "round " << round;
  }
}

TEST_F(MessagesTest, StreamOfNothingButFrameStartsNeverSetsATemperature) {
  Send(Message(size_t(kMessageBytes) * (kDrainPolls + 5), 'f'));
  EXPECT_EQ(Init_Comm(), -1);
  EXPECT_EQ(GetTemperature(), 0);
  EXPECT_EQ(ReceiveAndRead(), std::vector<int32_t>(kMessageBytes, 0));
  EXPECT_EQ(GetTemperature(), 0);
}

// The part of the receive buffer beyond the message is zero from creation on
// and never written, whatever arrives; no position reaches it.
class ReceiveBufferTest : public SimulatorTest {};

TEST_F(ReceiveBufferTest, BytesBeyondTheMessageStayZeroAndAreNeverDecoded) {
  tavrix::Detector detector;
  ASSERT_TRUE(detector.IsComplete());
  uint8_t* const rxBuffer = tavrix::DetectorProbe(detector).RxBuffer();
  for (size_t i = kMessageBytes; i < 1024; ++i) ASSERT_EQ(rxBuffer[i], 0) << i;

  Send(Message(4 * kMessageBytes, 'v'));
  detector.PollMessages();
  detector.DrainMessages();
  for (size_t i = kMessageBytes; i < 1024; ++i) ASSERT_EQ(rxBuffer[i], 0) << i;

  // Even bytes that would decode stay unread beyond the message.
  for (size_t i = kMessageBytes; i < 1024; ++i) rxBuffer[i] = 'g';
  rxBuffer[100] = 'v';
  EXPECT_EQ(detector.DecodeMessage(100), 0);
  EXPECT_EQ(detector.DecodeMessage(1023), 0);
  EXPECT_EQ(detector.DecodeMessage(INT_MAX), 0);
  EXPECT_EQ(detector.DecodeMessage(INT_MIN), 0);
  EXPECT_EQ(detector.Temperature(), 0);
}

}  // namespace
}  // namespace tavrix_test
