// Where a command's files go and how they are written: to a temporary name in
// the same folder, renamed when complete, so that a failure leaves no partial
// file; an existing file is replaced only when asked to.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace tavrix_tool {

// PREFIX_0001.tif, PREFIX_0001_enhanced.png, ...: `index` from 1, `suffix`
// "" or "_enhanced", `extension` without the dot.
std::string NumberedName(const std::string& prefix, int index, const std::string& suffix,
                         const std::string& extension);

// Fails (Failure) when the folder a prefix or file lies in does not exist.
void RequireOutputFolder(const std::string& path);

// Writes `path` through `write`, which writes the file whose name it is given
// and returns "" or the reason it failed. Throws Failure naming `path` when
// `path` exists and `overwrite` is false, or when writing or moving fails;
// the temporary file is removed then. Without `overwrite` an existing file is
// never replaced: when another process makes `path` while this one writes,
// the finished file is kept beside it as PATH-2.EXT (the next free number)
// and the Failure says so.
void WriteAtomically(const std::string& path, bool overwrite,
                     const std::function<std::string(const std::string& temporaryPath)>& write);

// Writes `count` bytes as the whole file `path`. Empty on success, else why not.
std::string WriteBytes(const std::string& path, const void* bytes, size_t count);

// WriteAtomically of `count` bytes.
void WriteBytesAtomically(const std::string& path, bool overwrite, const void* bytes, size_t count);

}  // namespace tavrix_tool
