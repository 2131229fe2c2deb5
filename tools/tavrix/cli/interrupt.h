// Ctrl-C: from CatchInterrupt on, an interrupt only sets a flag that
// InterruptRequested reports, so that a long command stops at a safe point.
#pragma once

#include <stdexcept>
#include <string>

namespace tavrix_tool {

void CatchInterrupt();
bool InterruptRequested();

// Exit status after an interrupt, as shells report a command ended by Ctrl-C.
constexpr int kInterruptedStatus = 130;

// A command stopped at a safe point after Ctrl-C: "tavrix: <message>" on
// standard error, saying what was kept; exit status kInterruptedStatus.
struct Interrupted : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Throws Interrupted with `message` when Ctrl-C came.
void StopIfInterrupted(const std::string& message);

}  // namespace tavrix_tool
