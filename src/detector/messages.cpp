#include "detector/detector.h"
#include "messages/messages.h"

namespace tavrix {

void Detector::PollMessages() { ReceiveMessage(rxBuffer, messageLength); }

void Detector::DrainMessages() { tavrix::DrainMessages(rxBuffer, messageLength, &temperature); }

int32_t Detector::DecodeMessage(int32_t position) {
  return tavrix::DecodeMessage(rxBuffer, messageLength, position, &temperature);
}

}  // namespace tavrix
