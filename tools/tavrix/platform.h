// The few calls that differ between Linux and Windows, in one place.
#pragma once

#include <string>

namespace tavrix_tool {

// From now on an interrupt (Ctrl-C) only sets a flag that InterruptRequested
// reports, so that a long command can stop at a safe point.
void CatchInterrupt();
bool InterruptRequested();

// Replaces `to` by `from` in one step (also when `to` exists).
bool ReplaceFile(const std::string& from, const std::string& to);

// A name for a temporary file beside `path`, unique to this process.
std::string TemporaryNameBeside(const std::string& path);

}  // namespace tavrix_tool
