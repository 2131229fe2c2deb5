// File names are UTF-8 strings throughout the tool; this unit hands them to
// the system. Windows' narrow file functions read names in the ANSI code
// page, not UTF-8, so there every name goes through the wide functions.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

typedef struct tiff TIFF;

namespace tavrix_tool {

// The path a UTF-8 name stands for, and back to UTF-8 for messages.
std::filesystem::path FsPath(const std::string& utf8);
std::string Utf8Name(const std::filesystem::path& path);

// fopen, TIFFOpen and remove of a UTF-8 name.
std::FILE* OpenFile(const std::string& utf8, const char* mode);
TIFF* OpenTiff(const std::string& utf8, const char* mode);
bool RemoveFile(const std::string& utf8);

// The name to hand the library's LoadPixelMap and LoadGainMap, which open
// files by narrow name: on Windows in the ANSI code page, or the short (8.3)
// name when the code page cannot spell it; elsewhere the name itself.
std::string LibraryFileName(const std::string& utf8);

}  // namespace tavrix_tool
