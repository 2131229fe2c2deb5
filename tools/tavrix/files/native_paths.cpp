#include "files/native_paths.h"

#include <tiffio.h>

#include <system_error>

namespace tavrix_tool {

std::filesystem::path FsPath(const std::string& utf8) { return std::filesystem::u8path(utf8); }

std::string Utf8Name(const std::filesystem::path& path) { return path.u8string(); }

#if defined(_WIN32)

namespace {

std::wstring Wide(const char* ascii) { return std::wstring(ascii, ascii + std::char_traits<char>::length(ascii)); }

}  // namespace

std::FILE* OpenFile(const std::string& utf8, const char* mode) {
  return _wfopen(FsPath(utf8).c_str(), Wide(mode).c_str());
}

TIFF* OpenTiff(const std::string& utf8, const char* mode) { return TIFFOpenW(FsPath(utf8).c_str(), mode); }

#else

std::FILE* OpenFile(const std::string& utf8, const char* mode) { return std::fopen(utf8.c_str(), mode); }

TIFF* OpenTiff(const std::string& utf8, const char* mode) { return TIFFOpen(utf8.c_str(), mode); }

#endif

bool RemoveFile(const std::string& utf8) {
  std::error_code error;
  return std::filesystem::remove(FsPath(utf8), error);
}

}  // namespace tavrix_tool
