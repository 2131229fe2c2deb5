// Creation must survive any failed allocation: it releases what it had,
// closes the grabber again, leaves no detector and reports 0. This program
// replaces the non-throwing allocator so that the n-th allocation fails.
#include <cstdlib>
#include <new>
#include <string>

#include "support/detector_fixture.h"

namespace {

long g_allocations = 0;
constexpr long kOff = -1;    // neither count nor fail
constexpr long kCount = -2;  // count without failing
long g_failAt = kOff;

void* Allocate(size_t size) {
  if (g_failAt != kOff && g_allocations++ == g_failAt) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
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
    EXPECT_EQ(SaveRawImage(), nullptr) << "allocation " << failAt;
    EXPECT_EQ(Sys_Free(), -1) << "allocation " << failAt;
    const std::string log = PCI_FRM01_SimCallLog();
    if (log.find("OpenDAQDevice") != std::string::npos) {
      EXPECT_NE(log.find("CloseDAQDevice"), std::string::npos) << "allocation " << failAt;
    }
  }
  // Memory is back: the host can retry.
  EXPECT_EQ(Sys_Allocation_1417(), 1);
}

}  // namespace
}  // namespace tavrix_test
