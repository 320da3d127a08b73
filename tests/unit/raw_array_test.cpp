// Raw arrays on series buffers: growth through the node, 1-based picks, byte-offset finds.
#include "runtime/memory/raw_array.h"

#include <gtest/gtest.h>

#include <vector>

#include "runtime/memory/collector.h"
#include "runtime/memory/memory.h"

namespace xol {
namespace {

class RawArrayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    collector::active = false;
    memory::init();
  }
  void TearDown() override { memory::free_all_frames(); }

  static std::vector<uint32_t> ints(NodeId a) {
    std::vector<uint32_t> out;
    for (uint32_t i = 1; i <= array::length(a); ++i) out.push_back(array::pick_int(a, i));
    return out;
  }
  static NodeId ints_of(std::initializer_list<uint32_t> values) {
    NodeId a = array::make(4, 4);
    for (uint32_t v : values) array::append_int(a, v);
    return a;
  }
};

TEST_F(RawArrayTest, MakeSetsTheUnitAndStartsEmpty) {
  for (uint32_t unit : {1u, 4u}) {
    NodeId a = array::make(8, unit);
    EXPECT_EQ(array::flags(a) & memory::UNIT_MASK, unit);
    EXPECT_EQ(array::length(a), 0u);
  }
}

TEST_F(RawArrayTest, AppendingToAFullArrayMovesItToABufferTwiceAsLarge) {
  NodeId a = array::make(4, 4);
  memory::SeriesBuffer* before = memory::buffer_of(a);
  uint32_t size = before->size;
  for (uint32_t v : {10u, 20u, 30u, 40u}) array::append_int(a, v);
  EXPECT_EQ(memory::buffer_of(a), before);  // exactly full still fits
  array::append_int(a, 50);
  EXPECT_NE(memory::buffer_of(a), before);
  EXPECT_EQ(memory::buffer_of(a)->size, 2 * size);
  EXPECT_EQ(array::flags(a) & memory::UNIT_MASK, 4u);
  EXPECT_EQ(ints(a), (std::vector<uint32_t>{10, 20, 30, 40, 50}));
}

TEST_F(RawArrayTest, InsertTakesAZeroBasedIndexAndGrowsWhenFull) {
  struct Case {
    std::initializer_list<uint32_t> start;
    uint32_t value, index;
    std::vector<uint32_t> expected;
  } cases[] = {
      {{1, 2}, 5, 0, {5, 1, 2}},
      {{1, 2}, 5, 1, {1, 5, 2}},
      {{1, 2}, 5, 2, {1, 2, 5}},
      {{}, 5, 0, {5}},
      {{1, 2, 3, 4}, 9, 1, {1, 9, 2, 3, 4}},  // a full buffer doubles first
  };
  for (const Case& c : cases) {
    NodeId a = ints_of(c.start);
    array::insert_int(a, c.value, c.index);
    EXPECT_EQ(ints(a), c.expected) << "insert at " << c.index;
  }
}

TEST_F(RawArrayTest, TruncateKeepsTheElementsBeforeThePosition) {
  NodeId a = ints_of({1, 2, 3});
  array::truncate(a, 3);
  EXPECT_EQ(ints(a), (std::vector<uint32_t>{1, 2}));
  array::truncate(a, 1);
  EXPECT_EQ(array::length(a), 0u);
}

TEST_F(RawArrayTest, FindAnswersByteOffsetsOrMinusOne) {
  EXPECT_EQ(array::find_int(array::make(4, 4), 7), -1);
  NodeId a = ints_of({3, 7, 7});
  EXPECT_EQ(array::find_int(a, 7), 4);
  EXPECT_EQ(array::find_int(a, 3), 0);
  EXPECT_EQ(array::find_int(a, 8), -1);
}

TEST_F(RawArrayTest, RemovePointerRemovesOnlyTheFirstOccurrence) {
  NodeId a = ints_of({7, 9, 7});
  array::remove_pointer(a, 7);
  EXPECT_EQ(ints(a), (std::vector<uint32_t>{9, 7}));
  array::remove_pointer(a, 4);
  EXPECT_EQ(ints(a), (std::vector<uint32_t>{9, 7}));
}

TEST_F(RawArrayTest, PokeClearAndCopy) {
  NodeId a = ints_of({1, 2, 3});
  array::poke_int(a, 2, 20);
  NodeId b = array::copy(a);
  array::clear(a);
  EXPECT_EQ(array::length(a), 0u);
  EXPECT_EQ(ints(b), (std::vector<uint32_t>{1, 20, 3}));
  EXPECT_EQ(array::flags(b) & memory::UNIT_MASK, 4u);
}

TEST_F(RawArrayTest, BytesAppendPickAndRemove) {
  NodeId a = array::make(2, 1);
  array::append_bytes(a, "hello", 5);   // more than the buffer holds: grows to fit
  array::append_byte(a, '!');
  EXPECT_EQ(array::length(a), 6u);
  EXPECT_EQ(array::pick_byte(a, 1), 'h');
  EXPECT_EQ(array::pick_byte(a, 6), '!');
  array::remove_bytes(a, 1, 3);
  EXPECT_EQ(array::length(a), 3u);
  EXPECT_EQ(array::pick_byte(a, 2), 'o');
}

}  // namespace
}  // namespace xol
