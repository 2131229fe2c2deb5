// Replacing a file in one step, the one file-system call that differs
// between Linux and Windows.
#pragma once

#include <string>

namespace tavrix_tool {

// Replaces `to` by `from` in one step (also when `to` exists).
bool ReplaceFile(const std::string& from, const std::string& to);

// A name for a temporary file beside `path`, unique to this process.
std::string TemporaryNameBeside(const std::string& path);

}  // namespace tavrix_tool
