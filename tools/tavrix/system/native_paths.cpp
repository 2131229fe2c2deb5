#include "system/native_paths.h"

#include <tiffio.h>

#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#endif

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

namespace {

// `wide` in the ANSI code page, or "" when it cannot spell every letter.
std::string Ansi(const std::wstring& wide) {
  BOOL lossy = FALSE;
  const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0, nullptr, &lossy);
  if (bytes <= 1 || lossy) return std::string();
  std::string text(size_t(bytes), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, &text[0], bytes, nullptr, &lossy);
  text.resize(size_t(bytes) - 1);
  return text;
}

}  // namespace

std::string LibraryFileName(const std::string& utf8) {
  const std::wstring wide = FsPath(utf8).wstring();
  std::string name = Ansi(wide);
  if (!name.empty()) return name;
  std::wstring shortName(MAX_PATH, L'\0');
  const DWORD length = GetShortPathNameW(wide.c_str(), &shortName[0], DWORD(shortName.size()));
  if (length > 0 && length < shortName.size()) {
    shortName.resize(length);
    name = Ansi(shortName);
  }
  return name.empty() ? utf8 : name;
}

#else

std::FILE* OpenFile(const std::string& utf8, const char* mode) { return std::fopen(utf8.c_str(), mode); }

TIFF* OpenTiff(const std::string& utf8, const char* mode) { return TIFFOpen(utf8.c_str(), mode); }

std::string LibraryFileName(const std::string& utf8) { return utf8; }

#endif

bool RemoveFile(const std::string& utf8) {
  std::error_code error;
  return std::filesystem::remove(FsPath(utf8), error);
}

}  // namespace tavrix_tool
