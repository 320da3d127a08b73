// The refs table: indexes, reuse, growth and what it keeps alive.
#include "runtime/memory/refs.h"

#include <gtest/gtest.h>

#include <cstring>

#include "runtime/memory/collector.h"
#include "runtime/memory/memory.h"

namespace xol {
namespace {

class RefsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    collector::active = false;
    memory::init();
    refs::init();
  }
  void TearDown() override {
    refs::shutdown();
    memory::free_all_frames();
  }
};

Cell integer(int32_t value) { return Cell{TYPE_INTEGER, 0, uint32_t(value), 0}; }

TEST_F(RefsTest, IndexesStartAtOneAndGiveBackTheKeptValue) {
  for (int32_t i = 1; i <= 5; ++i) EXPECT_EQ(refs::put(integer(i * 10)), uint32_t(i));
  for (uint32_t i = 1; i <= 5; ++i) EXPECT_EQ(refs::get(i)->data2, i * 10);
}

TEST_F(RefsTest, FreedIndexIsReusedFirst) {
  for (int32_t i = 1; i <= 5; ++i) refs::put(integer(i));
  refs::free(refs::kNoValue);
  refs::free(3);
  EXPECT_EQ(refs::put(integer(99)), 3u);
  EXPECT_EQ(refs::get(3)->data2, 99u);
  refs::free(2);
  refs::free(4);
  EXPECT_EQ(refs::put(integer(1)), 4u);
  EXPECT_EQ(refs::put(integer(1)), 2u);
  EXPECT_EQ(refs::put(integer(1)), 6u);
}

TEST_F(RefsTest, PutBeyondCapacityDoublesAndKeepsEarlierValues) {
  for (uint32_t i = 1; i <= refs::kInitialCapacity; ++i) refs::put(integer(int32_t(i)));
  EXPECT_EQ(refs::capacity(), refs::kInitialCapacity);
  EXPECT_EQ(refs::put(integer(-1)), refs::kInitialCapacity + 1);
  EXPECT_EQ(refs::capacity(), 2 * refs::kInitialCapacity);
  for (uint32_t i = 1; i <= refs::kInitialCapacity; ++i) ASSERT_EQ(refs::get(i)->data2, i);
  EXPECT_EQ(int32_t(refs::get(refs::kInitialCapacity + 1)->data2), -1);
}

TEST_F(RefsTest, KeptSeriesSurvivesACollection) {
  NodeId kept = memory::alloc_bytes(8);
  NodeId dropped = memory::alloc_bytes(8);
  std::memcpy(memory::buffer_of(kept)->data(), "kept", 4);
  uint32_t kept_index = refs::put(Cell{TYPE_BINARY, 0, kept, 0});
  uint32_t dropped_index = refs::put(Cell{TYPE_BINARY, 0, dropped, 0});
  refs::free(dropped_index);
  // Only the refs table names these nodes from now on.
  kept = dropped = kNoNode;
  collector::collect();
  NodeId node = refs::get(kept_index)->node();
  ASSERT_TRUE(memory::is_live_node(node));
  EXPECT_EQ(std::memcmp(memory::buffer_of(node)->data(), "kept", 4), 0);
}

}  // namespace
}  // namespace xol
