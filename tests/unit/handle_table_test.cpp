// The handle table: slots by kind, LIFO reuse, growth, and release by kind at free and sweep.
#include "runtime/memory/handle_table.h"

#include <gtest/gtest.h>

#include <vector>

namespace xol {
namespace {

std::vector<uintptr_t> released;
void record_release(uintptr_t object) { released.push_back(object); }

class HandleTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    handles::init();
    released.clear();
    with_release = handles::register_kind("image", record_release);
    without_release = handles::register_kind("font", nullptr);
  }
  int with_release = 0;
  int without_release = 0;
};

TEST_F(HandleTableTest, KindsAreNumberedFromOneInRegistrationOrder) {
  EXPECT_EQ(with_release, 1);
  EXPECT_EQ(without_release, 2);
  EXPECT_STREQ(handles::kind_name(1), "image");
  EXPECT_STREQ(handles::kind_name(2), "font");
  EXPECT_EQ(handles::kind_name(3), nullptr);
}

TEST_F(HandleTableTest, SlotsAreHandedOutInIndexOrderAndKeepKindAndObject) {
  for (int32_t i = 0; i < 5; ++i) {
    int32_t index = handles::alloc(0x1000 + i, with_release);
    EXPECT_EQ(index, i);
    EXPECT_EQ(handles::object_of(index), uintptr_t(0x1000 + i));
    EXPECT_EQ(handles::kind_of(index), with_release);
  }
}

TEST_F(HandleTableTest, TakingTheLastFreeSlotDoublesTheTableAndKeepsIndexes) {
  for (uint32_t i = 0; i + 1 < handles::kInitialSlots; ++i) handles::alloc(i + 1, with_release);
  EXPECT_EQ(handles::capacity(), handles::kInitialSlots);
  int32_t last = handles::alloc(0xABC, with_release);
  EXPECT_EQ(last, int32_t(handles::kInitialSlots) - 1);
  EXPECT_EQ(handles::capacity(), 2 * handles::kInitialSlots);
  for (int32_t i = 0; i + 1 < int32_t(handles::kInitialSlots); ++i)
    ASSERT_EQ(handles::object_of(i), uintptr_t(i + 1));
  EXPECT_EQ(handles::alloc(0xDEF, with_release), int32_t(handles::kInitialSlots));
}

TEST_F(HandleTableTest, FreeReleasesOnlyWhenAskedAndTheSlotIsReusedFirst) {
  int32_t a = handles::alloc(0xA, with_release);
  int32_t b = handles::alloc(0xB, with_release);
  handles::free(a, false);
  EXPECT_TRUE(released.empty());
  handles::free(b, true);
  EXPECT_EQ(released, std::vector<uintptr_t>{0xB});
  EXPECT_FALSE(handles::is_used(b));
  EXPECT_EQ(handles::alloc(0xC, without_release), b);   // LIFO: freed last, reused first
  EXPECT_EQ(handles::alloc(0xD, without_release), a);
}

TEST_F(HandleTableTest, SlotOfAKindWithoutReleaseIsSimplyFreed) {
  int32_t h = handles::alloc(0xF0, without_release);
  handles::free(h, true);
  EXPECT_TRUE(released.empty());
  EXPECT_FALSE(handles::is_used(h));
  EXPECT_EQ(handles::object_of(h), 0u);
}

TEST_F(HandleTableTest, SetObjectReleasesTheOldObjectUnlessItIsTheSame) {
  int32_t h = handles::alloc(0x10, with_release);
  handles::set_object(h, 0x10);
  EXPECT_TRUE(released.empty());
  handles::set_object(h, 0x20);
  EXPECT_EQ(released, std::vector<uintptr_t>{0x10});
  EXPECT_EQ(handles::object_of(h), 0x20u);
}

TEST_F(HandleTableTest, SweepReleasesUnmarkedSlotsAndKeepsMarkedOnes) {
  int32_t kept = handles::alloc(0x1, with_release);
  int32_t dropped = handles::alloc(0x2, with_release);
  int32_t plain = handles::alloc(0x3, without_release);
  EXPECT_TRUE(handles::mark(kept));
  EXPECT_FALSE(handles::mark(kept));   // already marked
  handles::sweep();
  EXPECT_EQ(released, std::vector<uintptr_t>{0x2});
  EXPECT_TRUE(handles::is_used(kept));
  EXPECT_FALSE(handles::is_used(dropped));
  EXPECT_FALSE(handles::is_used(plain));
  // The mark was cleared: the next sweep without marking releases the survivor too.
  handles::sweep();
  EXPECT_EQ(released, (std::vector<uintptr_t>{0x2, 0x1}));
  // The slot released last is handed out first.
  EXPECT_EQ(handles::alloc(0x4, with_release), kept);
}

TEST_F(HandleTableTest, MarkWithAnObjectReplacesItAndIgnoresFreeSlots) {
  int32_t h = handles::alloc(0x1, with_release);
  EXPECT_TRUE(handles::mark(h, 0x99));
  EXPECT_EQ(handles::object_of(h), 0x99u);
  EXPECT_TRUE(released.empty());
  EXPECT_FALSE(handles::mark(h + 1));
  EXPECT_FALSE(handles::mark(-1));
  EXPECT_FALSE(handles::is_used(h + 1));
}

TEST_F(HandleTableTest, ForEachOfKindVisitsUsedSlotsOfThatKindNewestFirst) {
  handles::alloc(0x1, with_release);
  handles::alloc(0x2, without_release);
  int32_t freed = handles::alloc(0x3, with_release);
  handles::alloc(0x4, with_release);
  handles::free(freed, false);
  std::vector<uintptr_t> seen;
  handles::for_each_of_kind(with_release, [&seen](uintptr_t object) { seen.push_back(object); });
  EXPECT_EQ(seen, (std::vector<uintptr_t>{0x4, 0x1}));
}

}  // namespace
}  // namespace xol
