// The serial channel's messages: fixed-length blocks of bytes, each byte a
// switch code or one byte of a three-byte temperature frame 'f' V 'g'.
#pragma once

#include <cstdint>

namespace tavrix {

// Waits one poll interval, clears the first `length` bytes of `message` and
// fetches up to `length` received bytes into it.
void ReceiveMessage(uint8_t* message, int32_t length);

// The code of the byte at `position` of a message of `length` bytes: 1, 2 or
// 3 for a switch, 0 for anything else and for positions outside the message.
// A temperature frame starting at `position` and closing inside the message
// stores its value in *temperature, which is otherwise left as it is.
int32_t DecodeMessage(const uint8_t* message, int32_t length, int32_t position, int32_t* temperature);

// Receives and decodes a fixed number of messages, so that the temperature
// is the last one reported and nothing stale waits in the channel.
void DrainMessages(uint8_t* message, int32_t length, int32_t* temperature);

}  // namespace tavrix
