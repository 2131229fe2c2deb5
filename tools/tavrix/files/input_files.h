// Opening a file the user names for reading: never waiting on a named pipe or
// a device, never reading one without end.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace tavrix_tool {

using FilePointer = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// `path` opened for binary reading when it is a regular file; Failure naming
// it and what it is otherwise (a folder, a device, a named pipe) or why it
// cannot be opened.
FilePointer OpenRegularFile(const std::string& path);

// What the first bytes of `path` say it is ("a BigTIFF image", "a PNG
// image", "a DICOM file", ...), or "" when they name no format the tool knows.
std::string RecognisedFormat(const std::string& path);

}  // namespace tavrix_tool
