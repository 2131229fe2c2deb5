// A folder of files that belong together (a calibration: maps, defect list,
// report) replaced whole or not at all: written into a staging folder beside
// it, then swapped in; the previous one is kept as FOLDER.previous.
#pragma once

#include <functional>
#include <string>

namespace tavrix_tool {

// A new, empty staging folder beside `folder` (hidden, short-named, unique to
// this process); Failure with the reason when it cannot be made.
std::string MakeStagingFolder(const std::string& folder);

// Swaps `staging` in as `folder`. Entries of an existing `folder` that
// `carried(name)` accepts and `staging` lacks (files the user keeps there,
// such as acquired frames) are carried over first, linked or copied; the old
// folder then becomes FOLDER.previous (an older one of that name is removed).
// Failure with the reason, `folder` as it was, when any step fails.
void SwapFolderIn(const std::string& staging, const std::string& folder,
                  const std::function<bool(const std::string& name)>& carried);

// Moves `staging` to `target`, replacing a folder of that name (FOLDER.refused
// for a build whose report must be kept but whose maps must not be used).
void MoveFolderTo(const std::string& staging, const std::string& target);

// Removes a staging folder left by a failed run; errors are ignored.
void RemoveStagingFolder(const std::string& staging);

}  // namespace tavrix_tool
