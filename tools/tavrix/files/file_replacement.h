// Moving a finished file into place, the file-system calls that differ
// between Linux and Windows.
#pragma once

#include <string>

namespace tavrix_tool {

// Moves `from` to `to` in one step. With `replace` an existing `to` is
// replaced; without it an existing `to` is never touched, even when another
// process makes it between any check and this move. Empty on success, else
// the system's reason; kTargetExists when `to` exists and `replace` is false.
std::string MoveIntoPlace(const std::string& from, const std::string& to, bool replace);
extern const char* const kTargetExists;

// A temporary name in the folder of `path`, unique to this process and short
// whatever the length of `path`'s own name.
std::string TemporaryNameBeside(const std::string& path);

}  // namespace tavrix_tool
