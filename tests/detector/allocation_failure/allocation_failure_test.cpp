// Creation must survive any failed allocation: it releases what it had,
// closes the grabber again, leaves no detector and reports 0. This program
// replaces the non-throwing allocator so that the n-th allocation fails.
#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "platform/dimensions.h"

#include "support/detector_fixture.h"

namespace {

long g_allocations = 0;
constexpr long kOff = -1;    // neither count nor fail
constexpr long kCount = -2;  // count without failing
long g_failAt = kOff;

// Creation's allocations and release's frees, in order, while recording is on.
// Fixed storage: recording must not allocate.
constexpr size_t kMaxRecorded = 40000;
struct Allocation {
  size_t size;
  void* block;
};
bool g_recordAllocations = false;
Allocation g_allocated[kMaxRecorded];
size_t g_allocatedCount = 0;
bool g_recordFrees = false;
void* g_freed[kMaxRecorded];
size_t g_freedCount = 0;

void* Allocate(size_t size) {
  if (g_failAt != kOff && g_allocations++ == g_failAt) return nullptr;
  void* block = std::malloc(size == 0 ? 1 : size);
  if (g_recordAllocations && g_allocatedCount < kMaxRecorded) g_allocated[g_allocatedCount++] = {size, block};
  return block;
}

void Free(void* p) {
  if (g_recordFrees && p != nullptr && g_freedCount < kMaxRecorded) g_freed[g_freedCount++] = p;
  std::free(p);
}

}  // namespace

void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete[](void* p) noexcept { Free(p); }
void operator delete(void* p) noexcept { Free(p); }
void operator delete[](void* p, size_t) noexcept { Free(p); }
void operator delete(void* p, size_t) noexcept { Free(p); }
void* operator new[](size_t size) {
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t size) {
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

namespace tavrix_test {
namespace {

using CreationUnderMemoryPressure = SimulatorTest;

long CountCreationAllocations() {
  g_allocations = 0;
  g_failAt = kCount;
  EXPECT_EQ(Sys_Allocation_1417(), 1);
  const long count = g_allocations;
  EXPECT_EQ(Sys_Free(), 1);
  g_failAt = kOff;
  return count;
}

TEST_F(CreationUnderMemoryPressure, AnyFailedAllocationLeavesNoDetectorAndClosesTheGrabber) {
  const long count = CountCreationAllocations();
  ASSERT_GT(count, 6000) << "every map row is its own block";
  // The object, the engine's planes, the buffers, the first and last rows of
  // each map and a row in the middle.
  std::vector<long> failures = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
  for (long n : {count / 4, count / 2, count - 3, count - 2, count - 1}) failures.push_back(n);
  for (long failAt : failures) {
    PCI_FRM01_SimReset();
    g_allocations = 0;
    g_failAt = failAt;
    EXPECT_EQ(Sys_Allocation_1417(), 0) << "allocation " << failAt;
    g_failAt = kOff;
    tavrix_test::ExpectEveryExportWithoutDetector("after allocation " + std::to_string(failAt) + " failed");
    const std::string log = PCI_FRM01_SimCallLog();
    if (log.find("OpenDAQDevice") != std::string::npos) {
      EXPECT_NE(log.find("CloseDAQDevice"), std::string::npos) << "allocation " << failAt;
    }
  }
  // Memory is back: the host can retry.
  EXPECT_EQ(Sys_Allocation_1417(), 1);
}

// Creation: the object, then the engine, then image, raw frame, gain map 0
// (row pointers, then rows from the top), pixel map 0, gain map 1, pixel
// map 1, and the serial buffer last. Release: pixel-map rows (panel 0 then 1
// for each row), their row-pointer arrays, the same for the gain maps, then
// image, raw frame and serial buffer; the engine's planes and the object after.
TEST_F(CreationUnderMemoryPressure, AllocatesAndReleasesInTheFixedOrder) {
  using namespace tavrix;
  g_allocatedCount = 0;
  g_recordAllocations = true;
  const int32_t created = Sys_Allocation_1417();
  g_recordAllocations = false;
  ASSERT_EQ(created, 1);
  const std::vector<Allocation> allocated(g_allocated, g_allocated + g_allocatedCount);

  // The raw-frame buffer's size is unique; the image comes right before it.
  const auto rawFrameAt = std::find_if(allocated.begin(), allocated.end(),
                                       [](const Allocation& a) { return a.size == kRawFrameBufferBytes; });
  ASSERT_NE(rawFrameAt, allocated.end());
  ASSERT_NE(rawFrameAt, allocated.begin());
  const auto imageAt = rawFrameAt - 1;
  const size_t engineEnd = size_t(imageAt - allocated.begin());
  ASSERT_GE(engineEnd, 2u) << "the object and the engine come before the image";
  EXPECT_TRUE(std::any_of(allocated.begin() + 1, imageAt,
                          [](const Allocation& a) { return a.size == kImagePixels * sizeof(float); }))
      << "the engine's planes are allocated before the detector's buffers";

  // Expected sizes from the image on, and where each map's blocks start.
  std::vector<size_t> sizes = {kImagePixels * sizeof(uint16_t), kRawFrameBufferBytes};
  size_t mapStart[2][2];  // [panel][0 gain, 1 pixel]: index of the row-pointer array
  for (int32_t p = 0; p < kPanelCount; ++p) {
    mapStart[p][0] = engineEnd + sizes.size();
    sizes.push_back(size_t(kImageHeight) * sizeof(float*));
    sizes.insert(sizes.end(), size_t(kImageHeight), size_t(kImageWidth) * sizeof(float));
    mapStart[p][1] = engineEnd + sizes.size();
    sizes.push_back(size_t(kMapHeight) * sizeof(uint8_t*));
    sizes.insert(sizes.end(), size_t(kMapHeight), size_t(kMapWidth));
  }
  sizes.push_back(kRxBufferBytes);
  ASSERT_EQ(allocated.size(), engineEnd + sizes.size());
  for (size_t i = 0; i < sizes.size(); ++i)
    ASSERT_EQ(allocated[engineEnd + i].size, sizes[i]) << "allocation " << engineEnd + i;

  g_freedCount = 0;
  g_recordFrees = true;
  const int32_t released = Sys_Free();
  g_recordFrees = false;
  ASSERT_EQ(released, 1);
  // Only the blocks creation allocated; the grabber's own bookkeeping may free others.
  std::vector<void*> freed;
  for (size_t i = 0; i < g_freedCount; ++i)
    if (std::any_of(allocated.begin(), allocated.end(), [&](const Allocation& a) { return a.block == g_freed[i]; }))
      freed.push_back(g_freed[i]);

  std::vector<void*> expected;
  auto block = [&](size_t index) { return allocated[index].block; };
  for (int32_t kind : {1, 0}) {  // pixel maps first, then gain maps
    const int32_t rows = kind == 1 ? kMapHeight : kImageHeight;
    for (int32_t r = 0; r < rows; ++r)
      for (int32_t p = 0; p < kPanelCount; ++p) expected.push_back(block(mapStart[p][kind] + 1 + size_t(r)));
    for (int32_t p = 0; p < kPanelCount; ++p) expected.push_back(block(mapStart[p][kind]));
  }
  expected.push_back(block(engineEnd));      // image
  expected.push_back(block(engineEnd + 1));  // raw frame
  expected.push_back(allocated.back().block);  // serial buffer
  ASSERT_EQ(freed.size(), allocated.size());
  for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(freed[i], expected[i]) << "release step " << i;
  EXPECT_EQ(freed.back(), allocated.front().block) << "the object is freed last";
}

}  // namespace
}  // namespace tavrix_test
