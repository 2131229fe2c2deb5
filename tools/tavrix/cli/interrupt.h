// Ctrl-C: from CatchInterrupt on, an interrupt only sets a flag that
// InterruptRequested reports, so that a long command stops at a safe point.
#pragma once

namespace tavrix_tool {

void CatchInterrupt();
bool InterruptRequested();

// Exit status after an interrupt, as shells report a command ended by Ctrl-C.
constexpr int kInterruptedStatus = 130;

}  // namespace tavrix_tool
