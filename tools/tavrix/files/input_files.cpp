#include "files/input_files.h"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <sys/types.h>

#include "cli/command_line.h"
#include "system/native_paths.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tavrix_tool {

namespace {

const char* KindOf(unsigned mode) {
  if ((mode & S_IFMT) == S_IFDIR) return "a folder, not a file";
#if defined(S_IFIFO)
  if ((mode & S_IFMT) == S_IFIFO) return "a named pipe, not a regular file";
#endif
  if ((mode & S_IFMT) == S_IFCHR) return "a device, not a regular file";
  return "not a regular file";
}

bool StartsWith(const unsigned char* head, size_t got, const char* signature, size_t length, size_t at = 0) {
  return got >= at + length && std::memcmp(head + at, signature, length) == 0;
}

}  // namespace

std::string RecognisedFormat(const std::string& path) {
  unsigned char head[132] = {};
  const FilePointer file = OpenRegularFile(path);
  const size_t got = std::fread(head, 1, sizeof head, file.get());
  if (StartsWith(head, got, "II*\0", 4) || StartsWith(head, got, "MM\0*", 4)) return "a TIFF image";
  if (StartsWith(head, got, "II+\0", 4) || StartsWith(head, got, "MM\0+", 4)) return "a BigTIFF image";
  if (StartsWith(head, got, "\x89PNG", 4)) return "a PNG image";
  if (StartsWith(head, got, "DICM", 4, 128)) return "a DICOM file";
  if (StartsWith(head, got, "\xff\xd8\xff", 3)) return "a JPEG image";
  return "";
}

#if defined(_WIN32)

FilePointer OpenRegularFile(const std::string& path) {
  FilePointer file(OpenFile(path, "rb"), std::fclose);
  if (!file) throw Failure(path + ": " + std::strerror(errno));
  struct _stat64 info;
  if (_fstat64(_fileno(file.get()), &info) != 0) throw Failure(path + ": " + std::strerror(errno));
  if ((info.st_mode & _S_IFMT) != _S_IFREG) throw Failure(path + ": " + KindOf(info.st_mode));
  return file;
}

#else

FilePointer OpenRegularFile(const std::string& path) {
  // Without O_NONBLOCK, opening a named pipe waits for a writer.
  const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) throw Failure(path + ": " + std::strerror(errno));
  struct stat info;
  const bool known = fstat(descriptor, &info) == 0;
  if (!known || !S_ISREG(info.st_mode)) {
    const std::string reason = known ? KindOf(info.st_mode) : std::strerror(errno);
    close(descriptor);
    throw Failure(path + ": " + reason);
  }
  fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
  FilePointer file(fdopen(descriptor, "rb"), std::fclose);
  if (!file) {
    const std::string reason = std::strerror(errno);
    close(descriptor);
    throw Failure(path + ": " + reason);
  }
  return file;
}

#endif

}  // namespace tavrix_tool
