// Tracked heap: the block list behind allocate/resize/free, seen through its dump.
//
// Tests that need an empty list run in a child process (a gtest death test that must exit 0):
// `free_all` there cannot pull blocks from under the other modules of this test binary. The
// child prints the dump into a file, compares it and reports a mismatch on stderr.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "runtime/process/tracked_heap.h"
#include "tests/unit/stdout_capture.h"

namespace xol {
namespace {

// On x86-64 the block header is two pointers and a size padded to 16-byte alignment.
constexpr size_t kHeaderSize = 32;
// Allocated after each scenario: where it lands shows whether the tail was left right.
constexpr size_t kProbeSize = 99;

std::string dump_text(const std::vector<size_t>& sizes) {
  std::string text = "-- Heap-allocations --\nAsked   Real\n";
  size_t sum = 0;
  for (size_t size : sizes) {
    text += std::to_string(size) + "\t" + std::to_string(size + kHeaderSize) + "\n";
    sum += size + kHeaderSize;
  }
  return text + "-- Sum: " + std::to_string(sum) + " --\n";
}

[[noreturn]] void check_dump_and_exit(const std::vector<size_t>& expected) {
  std::string dump = test::capture_stdout(rt::dump_heap);
  std::string wanted = dump_text(expected);
  if (dump == wanted) _exit(0);
  std::fprintf(stderr, "dump was:\n%swanted:\n%s", dump.c_str(), wanted.c_str());
  _exit(1);
}

void expect_dump_after(const std::function<void()>& scenario,
                       const std::vector<size_t>& expected) {
  EXPECT_EXIT(
      {
        rt::free_all();
        scenario();
        check_dump_and_exit(expected);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(TrackedHeap, DumpOfEmptyListHasHeadersAndZeroSum) {
  expect_dump_after([] {}, {});
}

TEST(TrackedHeap, DumpListsAskedAndRealSize) {
  expect_dump_after([] { rt::allocate(10); }, {10});
  EXPECT_EQ(dump_text({10}),
            "-- Heap-allocations --\nAsked   Real\n10\t42\n-- Sum: 42 --\n");
}

TEST(TrackedHeap, FreeAllEmptiesAListOfBlocks) {
  expect_dump_after(
      [] {
        rt::allocate(1);
        rt::allocate(2);
        rt::free_all();
      },
      {});
}

struct FreeCase {
  const char* name;
  std::vector<size_t> sizes;       // allocated in this order
  std::vector<size_t> free_order;  // indices into `sizes`
  std::vector<size_t> remaining;   // the dump afterwards, before the probe block
};

void PrintTo(const FreeCase& c, std::ostream* os) { *os << c.name; }

class TrackedHeapFree : public ::testing::TestWithParam<FreeCase> {};

TEST_P(TrackedHeapFree, RelinksTheRemainingBlocks) {
  const FreeCase& c = GetParam();
  std::vector<size_t> expected = c.remaining;
  expected.push_back(kProbeSize);
  expect_dump_after(
      [&c] {
        std::vector<void*> blocks;
        for (size_t size : c.sizes) blocks.push_back(rt::allocate(size));
        for (size_t index : c.free_order) rt::free(blocks[index]);
        rt::allocate(kProbeSize);
      },
      expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrackedHeapFree,
    ::testing::Values(FreeCase{"OnlyBlock", {11}, {0}, {}},
                      FreeCase{"Head", {11, 12, 13}, {0}, {12, 13}},
                      FreeCase{"Middle", {11, 12, 13}, {1}, {11, 13}},
                      FreeCase{"Tail", {11, 12, 13}, {2}, {11, 12}},
                      FreeCase{"MiddleThenTail", {11, 12, 13}, {1, 2}, {11}},
                      FreeCase{"TailThenHead", {11, 12, 13}, {2, 0}, {12}},
                      FreeCase{"HeadTailThenLast", {11, 12, 13}, {0, 2, 1}, {}}),
    [](const ::testing::TestParamInfo<FreeCase>& info) { return info.param.name; });

TEST(TrackedHeap, FreeIgnoresPointersThatAreNotOnTheList) {
  expect_dump_after(
      [] {
        rt::allocate(11);
        int local = 0;
        void* foreign = std::malloc(64);
        rt::free(&local);
        rt::free(foreign);
        rt::free(nullptr);
        std::free(foreign);
      },
      {11});
}

TEST(TrackedHeap, ResizeOfNullAllocatesAndResizeToZeroFrees) {
  expect_dump_after(
      [] {
        void* block = rt::resize(nullptr, 8);
        rt::allocate(11);
        if (rt::resize(block, 0) != nullptr) _exit(2);
      },
      {11});
}

TEST(TrackedHeap, ResizedBlockKeepsItsPlaceAndContent) {
  expect_dump_after(
      [] {
        rt::allocate(11);
        auto* middle = static_cast<char*>(rt::allocate(12));
        void* last = rt::allocate(13);
        std::memcpy(middle, "twelve bytes", 12);
        // Large enough that realloc moves the block.
        middle = static_cast<char*>(rt::resize(middle, 40000));
        if (std::memcmp(middle, "twelve bytes", 12) != 0) _exit(2);
        rt::free(last);
        rt::allocate(kProbeSize);
      },
      {11, 40000, kProbeSize});
}

TEST(TrackedHeap, AllocateZeroedClearsReusedMemory) {
  constexpr size_t kSize = 256;
  auto* dirty = static_cast<unsigned char*>(rt::allocate(kSize));
  std::memset(dirty, 0xAB, kSize);
  rt::free(dirty);
  auto* clean = static_cast<unsigned char*>(rt::allocate_zeroed(kSize));
  std::vector<unsigned char> zeros(kSize, 0);
  EXPECT_EQ(std::memcmp(clean, zeros.data(), kSize), 0);
  rt::free(clean);
}

TEST(TrackedHeap, SizeThatOverflowsTheHeaderIsOutOfMemory) {
  EXPECT_EXIT(rt::allocate(SIZE_MAX), ::testing::ExitedWithCode(94), "out of memory");
  EXPECT_EXIT(rt::allocate_zeroed(SIZE_MAX - kHeaderSize + 1), ::testing::ExitedWithCode(94),
              "out of memory");
  EXPECT_EXIT(
      {
        void* block = rt::allocate(8);
        rt::resize(block, SIZE_MAX - 1);
      },
      ::testing::ExitedWithCode(94), "out of memory");
}

}  // namespace
}  // namespace xol

namespace xol {
namespace {

TEST(TrackedHeap, HeapBytesFollowAllocateResizeAndFree) {
  size_t before = rt::heap_bytes();
  void* block = rt::allocate(100);
  EXPECT_EQ(rt::heap_bytes(), before + 100 + kHeaderSize);
  block = rt::resize(block, 40);
  EXPECT_EQ(rt::heap_bytes(), before + 40 + kHeaderSize);
  rt::free(block);
  EXPECT_EQ(rt::heap_bytes(), before);
}

}  // namespace
}  // namespace xol
