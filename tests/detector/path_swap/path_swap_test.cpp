// A map path swapped for a named pipe after it was looked at and before it was
// opened must not make a loader wait for a writer. This program replaces
// stat() so that the path, a named pipe, looks like a regular map-sized file
// to anyone who checks it by name: the race, made certain.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "detector/detector.h"
#include "support/detector_fixture.h"

namespace {

std::string g_swappedPath;  // the named pipe
std::string g_decoyPath;    // the regular file it was before the swap

using StatFunction = int (*)(const char*, struct stat*);

}  // namespace

extern "C" int stat(const char* __restrict path, struct stat* __restrict info) noexcept {
  static const auto real = reinterpret_cast<StatFunction>(dlsym(RTLD_NEXT, "stat"));
  if (!g_swappedPath.empty() && g_swappedPath == path) return real(g_decoyPath.c_str(), info);
  return real(path, info);
}

namespace tavrix_test {
namespace {

TEST(PathSwap, MapPathSwappedForANamedPipeIsRefusedAtOnce) {
  char directory[] = "/tmp/tavrix_swap_XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  g_swappedPath = std::string(directory) + "/map";
  g_decoyPath = std::string(directory) + "/decoy";
  ASSERT_EQ(mkfifo(g_swappedPath.c_str(), 0600), 0);
  {
    const int fd = open(g_decoyPath.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, off_t(tavrix::kGainMapBytes)), 0);
    close(fd);
  }
  struct stat info;
  ASSERT_EQ(stat(g_swappedPath.c_str(), &info), 0);
  ASSERT_TRUE(S_ISREG(info.st_mode)) << "the interposed stat is not in effect";

  tavrix::Detector detector;
  ASSERT_TRUE(detector.IsComplete());
  // Should a loader wait for a writer, one turns up after two seconds, so
  // that the test fails instead of hanging.
  std::atomic<bool> loaded{false};
  std::atomic<bool> writerNeeded{false};
  std::thread writer([&] {
    const auto patience = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!loaded) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (std::chrono::steady_clock::now() < patience) continue;
      const int fd = open(g_swappedPath.c_str(), O_WRONLY | O_NONBLOCK);  // fails while nobody reads
      if (fd >= 0) {
        writerNeeded = true;
        close(fd);
      }
    }
  });
  const int32_t pixelResult = detector.LoadPixelMap(g_swappedPath.c_str(), 0);
  const int32_t gainResult = detector.LoadGainMap(g_swappedPath.c_str(), 1);
  loaded = true;
  writer.join();
  unlink(g_swappedPath.c_str());
  unlink(g_decoyPath.c_str());
  rmdir(directory);
  g_swappedPath.clear();

  EXPECT_EQ(pixelResult, 0);
  EXPECT_EQ(gainResult, 0);
  EXPECT_FALSE(writerNeeded) << "a loader waited for a writer on a path swapped for a named pipe";
}

}  // namespace
}  // namespace tavrix_test
