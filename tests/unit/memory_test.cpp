// The memory manager: frames, buffers, nodes, growth and the cell primitives.
#include "runtime/memory/memory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/virtual_memory.h"
#include "runtime/memory/collector.h"
#include "runtime/datatypes/error_raise.h"

namespace xol {
namespace {

using memory::SeriesBuffer;

class MemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    collector::active = false;
    memory::init();
  }
  void TearDown() override { memory::free_all_frames(); }
};

bool data_is_8_aligned(const SeriesBuffer* buffer) {
  return reinterpret_cast<uintptr_t>(buffer->data()) % 8 == 0;
}

TEST_F(MemoryTest, EveryUnitSizeAllocatesAlignedRoundedBuffers) {
  struct Case {
    uint32_t units, unit, size;
  } cases[] = {
      {0, 1, 16}, {0, 16, 16}, {1, 1, 16}, {16, 1, 16}, {17, 1, 32}, {3, 2, 16}, {9, 2, 32},
      {4, 4, 16}, {5, 4, 32}, {1, 16, 16}, {10, 16, 160},
  };
  for (const Case& c : cases) {
    NodeId node = memory::alloc_series(c.units, c.unit, 0);
    SeriesBuffer* buffer = memory::buffer_of(node);
    EXPECT_EQ(buffer->size, c.size) << c.units << " x " << c.unit;
    EXPECT_EQ(buffer->unit(), c.unit);
    EXPECT_EQ(buffer->node, node);
    EXPECT_EQ(buffer->length(), 0u);
    EXPECT_TRUE(buffer->flags & memory::FLAG_LIVE);
    EXPECT_TRUE(buffer->flags & memory::FLAG_ALLOCATED);
    EXPECT_TRUE(data_is_8_aligned(buffer));
  }
}

TEST_F(MemoryTest, ZeroRequestsGiveSixteenBytes) {
  EXPECT_EQ(memory::buffer_of(memory::alloc_bytes(0))->size, 16u);
  for (uint32_t unit : {1u, 2u, 4u, 16u})
    EXPECT_EQ(memory::buffer_of(memory::alloc_units(0, unit))->size, 16u) << unit;
}

TEST_F(MemoryTest, HeadInTheMiddle) {
  SeriesBuffer* buffer = memory::buffer_of(memory::alloc_series(64, 1, memory::kHeadMiddle));
  EXPECT_EQ(buffer->head, 32u);
  EXPECT_EQ(buffer->tail, 32u);
  EXPECT_TRUE(buffer->flags & memory::FLAG_HEAD_MID);
}

TEST_F(MemoryTest, BigFrameThresholdIsTotalOfTwoMegabytes) {
  // total = size + 24: exactly the limit goes to a big frame, 16 bytes less stays in a frame.
  uint32_t at_limit = memory::kFrameSizeLimit - memory::kBufferOverhead;
  SeriesBuffer* big = memory::buffer_of(memory::alloc_bytes(at_limit));
  EXPECT_TRUE(big->flags & memory::FLAG_BIG);
  EXPECT_TRUE(data_is_8_aligned(big));
  SeriesBuffer* framed = memory::buffer_of(memory::alloc_bytes(at_limit - 16));
  EXPECT_FALSE(framed->flags & memory::FLAG_BIG);
}

TEST_F(MemoryTest, SeriesFramesAreOneThenTwoMegabytesAndSorted) {
  // Fill the first frame, then keep allocating: frames after the first are 2 MiB.
  std::vector<NodeId> nodes;
  for (int i = 0; i < 200; ++i) nodes.push_back(memory::alloc_bytes(64 * 1024));
  int frames = 0, one_megabyte = 0, two_megabytes = 0;
  for (memory::SeriesFrame* f = memory::state.series_head; f; f = f->next, ++frames) {
    uint32_t data = f->size - memory::SeriesFrame::kHeaderSize;
    one_megabyte += data == memory::kFirstSeriesFrameSize;
    two_megabytes += data == memory::kFrameSizeLimit;
    if (f->next) {
      EXPECT_LT(f, f->next);
    }
  }
  EXPECT_GE(frames, 6);
  EXPECT_EQ(one_megabyte, 1);
  EXPECT_EQ(two_megabytes, frames - 1);
  // Every buffer is intact and addressed through its own node.
  for (NodeId node : nodes) EXPECT_EQ(memory::buffer_of(node)->node, node);
}

TEST_F(MemoryTest, RequestAtLeastNextSizeMakesFrameAtLimit) {
  memory::alloc_bytes(1000);  // first frame: 1 MiB
  memory::alloc_bytes(memory::kFirstSeriesFrameSize + 100);  // does not fit: a 2 MiB frame
  EXPECT_EQ(memory::state.series_current->size - memory::SeriesFrame::kHeaderSize,
            memory::kFrameSizeLimit);
}

TEST_F(MemoryTest, GrowMovesSeriesAndAbandonsOldBuffer) {
  for (uint32_t unit : {1u, 2u, 4u, 16u}) {
    NodeId node = memory::alloc_units(8, unit);
    SeriesBuffer* old = memory::buffer_of(node);
    for (uint32_t i = 0; i < old->size; ++i) old->data()[i] = uint8_t(i + 1);
    old->head = unit;
    old->tail = 3 * unit;
    series::set_flags(node, memory::FLAG_OWNED);
    SeriesBuffer* grown = memory::grow_series(old, 0);
    EXPECT_EQ(memory::buffer_of(node), grown);
    EXPECT_EQ(grown->size, old->size * 2);
    EXPECT_EQ(grown->unit(), unit);
    EXPECT_EQ(grown->node, node);
    EXPECT_EQ(grown->head, 0u);
    EXPECT_EQ(grown->used_bytes(), 2 * unit);
    EXPECT_TRUE(grown->flags & memory::FLAG_OWNED);
    EXPECT_EQ(grown->data()[0], uint8_t(unit + 1));  // copied from the old head
    EXPECT_EQ(old->node, kNoNode);
    EXPECT_FALSE(old->flags & memory::FLAG_LIVE);
  }
}

TEST_F(MemoryTest, GrowFilledFillsOnlyTheNewPart) {
  NodeId node = memory::alloc_bytes_filled(16, 0xAA);
  SeriesBuffer* grown = memory::grow_series_filled(memory::buffer_of(node), 64, 0x55);
  EXPECT_EQ(grown->data()[15], 0xAA);
  EXPECT_EQ(grown->data()[16], 0x55);
  EXPECT_EQ(grown->data()[63], 0x55);
}

void expect_no_memory(void (*attempt)()) {
  try {
    attempt();
    FAIL() << "expected no-memory";
  } catch (const error::Raised& raised) {
    EXPECT_EQ(raised.category, error::CAT_INTERNAL);
    EXPECT_STREQ(raised.id, "no-memory");
  }
}

TEST_F(MemoryTest, GrowOfEmptyAreaMakesRoom) {
  SeriesBuffer* buffer = memory::buffer_of(memory::alloc_series(0, 16, 0));
  buffer->size = 0;  // a buffer with no data area cannot double: it grows to what one byte needs
  EXPECT_EQ(memory::grow_buffer(buffer, 0)->size, 16u);
}

// Sizes are computed in 64 bits and capped below 2^31 bytes, so that no length or index in any
// unit wraps; the checks come before any allocation.
TEST_F(MemoryTest, GrownSizeDoublesUpToTheLargestBuffer) {
  constexpr uint64_t kMax = memory::kMaxBufferSize;
  struct Case {
    uint64_t size, needed, grown;
  } cases[] = {
      {16, 17, 32},                            // doubles
      {16, 1000, 1000},                        // a larger need is met as it is
      {0, 1, 1},                               // an empty area grows to what is needed
      {0x40000000, 0x40000001, kMax},          // doubling would pass the largest size
      {kMax - 16, kMax, kMax},                 // the largest size itself is allowed
      {0xC0000000, kMax, kMax},                // a size past the cap never grows further
  };
  for (const Case& c : cases) EXPECT_EQ(memory::grown_size(c.size, c.needed), c.grown) << c.needed;
  expect_no_memory([] { memory::grown_size(16, memory::kMaxBufferSize + 1); });
  expect_no_memory([] { memory::grown_size(0x40000000, uint64_t(0x40000000) * 4); });
}

TEST_F(MemoryTest, AllocationsAndGrowsPastTheLargestBufferRaiseBeforeChangingAnything) {
  expect_no_memory([] { memory::alloc_series(0x20000000, 4, 0); });    // 2 GiB of 4-byte units
  expect_no_memory([] { memory::alloc_series(0x08000000, 16, 0); });   // 2 GiB of cells
  NodeId node = memory::alloc_bytes(16);
  memory::buffer_of(node)->tail = 16;
  static NodeId grown;
  grown = node;
  expect_no_memory([] { memory::grow_series(memory::buffer_of(grown), uint64_t(1) << 32); });
  expect_no_memory([] { series::reserve_tail(grown, 0x7FFFFFF8u); });
  EXPECT_EQ(memory::buffer_of(node)->size, 16u);
  EXPECT_EQ(memory::buffer_of(node)->tail, 16u);
}

TEST_F(MemoryTest, CopySeriesAndCopyPart) {
  NodeId node = memory::alloc_units(8, 2);
  SeriesBuffer* source = memory::buffer_of(node);
  auto* units = reinterpret_cast<uint16_t*>(source->data());
  for (uint16_t i = 0; i < 8; ++i) units[i] = uint16_t(0x100 + i);
  source->tail = 16;
  series::set_flags(node, memory::FLAG_OWNED);

  SeriesBuffer* copy = memory::buffer_of(memory::copy_series(node));
  EXPECT_EQ(copy->unit(), 2u);
  EXPECT_EQ(copy->length(), 8u);
  EXPECT_EQ(reinterpret_cast<uint16_t*>(copy->data())[7], 0x107);

  SeriesBuffer* part = memory::buffer_of(series::copy_part(node, 2, 3));
  EXPECT_EQ(part->unit(), 2u);
  EXPECT_EQ(part->length(), 3u);
  EXPECT_EQ(reinterpret_cast<uint16_t*>(part->data())[0], 0x102);
  EXPECT_FALSE(part->flags & memory::FLAG_OWNED);
}

TEST_F(MemoryTest, EmptyCellBufferCanGrow) {
  NodeId node = memory::alloc_cells(0);
  buffer::append_unset(node);
  buffer::append_unset(node);
  EXPECT_EQ(memory::buffer_of(node)->length(), 2u);
}

TEST_F(MemoryTest, AppendUnsetDoublesAFullBuffer) {
  NodeId node = memory::alloc_cells(2);
  for (int i = 0; i < 2; ++i) buffer::append_unset(node);
  EXPECT_EQ(memory::buffer_of(node)->size, 32u);
  Cell* cell = buffer::append_unset(node);
  SeriesBuffer* buffer = memory::buffer_of(node);
  EXPECT_EQ(buffer->size, 64u);
  EXPECT_EQ(buffer->tail, 48u);
  EXPECT_EQ(cell->header, uint32_t(TYPE_UNSET));
  EXPECT_EQ(cell, buffer->cells() + 2);
}

TEST_F(MemoryTest, ReserveTailGrowsGeometrically) {
  NodeId node = memory::alloc_bytes(16);
  uint8_t* old_tail = series::reserve_tail(node, 16);  // exact fit: no grow
  EXPECT_EQ(memory::buffer_of(node)->size, 16u);
  EXPECT_EQ(old_tail, memory::buffer_of(node)->data());
  series::reserve_tail(node, 100);  // more than twice the size: what is needed
  EXPECT_EQ(memory::buffer_of(node)->size, 128u);  // 116 rounded to 16
  EXPECT_EQ(memory::buffer_of(node)->tail, 116u);
  series::reserve_tail(node, 100);  // does not fit 128: doubles
  EXPECT_EQ(memory::buffer_of(node)->size, 256u);
  int grows = 0;
  for (int i = 0; i < 200; ++i) {   // a run of equal requests grows by doubling, not each time
    uint32_t before = memory::buffer_of(node)->size;
    series::reserve_tail(node, 1000);
    grows += memory::buffer_of(node)->size != before;
  }
  EXPECT_LE(grows, 9);
}

TEST_F(MemoryTest, NodesAreReusedAndEmptyFramesReleased) {
  NodeId a = memory::alloc_node();
  NodeId b = memory::alloc_node();
  EXPECT_NE(a, kNoNode);
  EXPECT_NE(a, b);
  memory::free_node(b);
  EXPECT_EQ(memory::alloc_node(), b);

  // Fill the first frame so that a second one is made, then free all of the second.
  std::vector<NodeId> nodes;
  for (uint32_t i = 0; i < memory::kNodesPerFrame; ++i) nodes.push_back(memory::alloc_node());
  int32_t second = memory::node_frame_of(nodes.back());
  EXPECT_NE(second, memory::node_frame_of(a));
  for (NodeId node : nodes)
    if (memory::node_frame_of(node) == second) memory::free_node(node);
  memory::release_node_frames();
  EXPECT_EQ(memory::state.node_frames[second].capacity, 0u);
  EXPECT_EQ(memory::state.node_head, memory::state.node_tail);
}

TEST_F(MemoryTest, LiveNodesAreRecognised) {
  NodeId node = memory::alloc_bytes(10);
  EXPECT_TRUE(memory::is_live_node(node));
  NodeId bare = memory::alloc_node();
  EXPECT_FALSE(memory::is_live_node(bare));  // taken but holds no buffer yet
  memory::free_node(bare);
  EXPECT_FALSE(memory::is_live_node(bare));
  EXPECT_FALSE(memory::is_live_node(0));
  EXPECT_FALSE(memory::is_live_node(0xFFFFFFFF));
}

TEST_F(MemoryTest, ExternalSeriesLiveOutsideTheFrames) {
  NodeId node = memory::alloc_external_series(100, 16, 0);
  SeriesBuffer* buffer = memory::buffer_of(node);
  EXPECT_TRUE(buffer->flags & memory::FLAG_EXTERNAL);
  EXPECT_TRUE(data_is_8_aligned(buffer));
  EXPECT_EQ(buffer->size, 1600u);
  // A grow moves it into the frames like any other series.
  SeriesBuffer* grown = memory::grow_series(buffer, 0);
  EXPECT_FALSE(grown->flags & memory::FLAG_EXTERNAL);
}

TEST_F(MemoryTest, BytesInUseFollowFrames) {
  uint64_t before = memory::state.bytes_in_use;
  memory::alloc_bytes(memory::kFrameSizeLimit);  // big frame
  EXPECT_GT(memory::state.bytes_in_use, before + memory::kFrameSizeLimit);
  memory::free_all_frames();
  EXPECT_EQ(memory::state.bytes_in_use, 0u);
}

TEST(RepeatFill, RepeatsTheFirstUnitByDoubling) {
  struct Case {
    size_t unit, count;
    const char* expected;
  } cases[] = {{4, 1, "abcd"}, {3, 5, "abcabcabcabcabc"}, {1, 8, "aaaaaaaa"}, {2, 3, "ababab"}};
  for (const Case& c : cases) {
    char buffer[32] = "abcdefghijklmnopqrstuvwxyz";
    uint8_t* start = reinterpret_cast<uint8_t*>(buffer);
    EXPECT_EQ(memory::repeat_fill(start, c.unit, c.count), start + c.unit * c.count);
    EXPECT_EQ(std::string(buffer, c.unit * c.count), c.expected);
    // Nothing past the last copy is touched.
    EXPECT_EQ(buffer[c.unit * c.count], "abcdefghijklmnopqrstuvwxyz"[c.unit * c.count]);
  }
}

TEST(RoundUp, ToAPowerOfTwo) {
  static_assert(platform::round_up(17, 16) == 32);
  static_assert(platform::round_up(16, 16) == 16);
  static_assert(platform::round_up(0, 8) == 0);
  EXPECT_EQ(platform::round_up(size_t{1} << 40 | 1, 4096), (size_t{1} << 40) + 4096);
  EXPECT_EQ(platform::round_to_pages(1), platform::page_size());
}

}  // namespace
}  // namespace xol
