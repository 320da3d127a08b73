// The collector: what each kind of root keeps alive, what it reclaims, how buffers move (and
// which do not), marking by type, and the torture mode.
//
// Graphs are trees of blocks (cell buffers whose block cells name their children by node) with
// strings of units 1, 2 and 4 and a back reference to the root in every block. What a walk must
// find is recorded in heap vectors, which the collector never sees. Each test first sets aside
// node frames that give no nodes, so that the nodes under test have ids that the small
// integers and pointer halves always present on the native stack cannot name, and that no id
// of an earlier test (still lying in stale slots of the test runner's frames) can name either.
#include "runtime/memory/collector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "runtime/memory/handle_table.h"
#include "runtime/tables/hash_table.h"
#include "runtime/memory/memory.h"

namespace xol {
namespace {

using memory::SeriesBuffer;
using memory::SeriesFrame;

constexpr int32_t kFirstTestFrame = 7;     // ids from 70001, above every 16-bit number
constexpr int32_t kFramesPerTest = 12;     // more than the most nodes one test takes

// Makes the node frames [0, count) look full without listing them, so that they give no
// nodes. Their slots must name no buffer: the memory manager gives back only the whole pages of
// a released frame's slots, so the slots on the partial pages at each end may still hold
// buffer addresses of an earlier test, and are cleared here.
void set_aside_node_frames(int32_t count) {
  constexpr uint32_t kEdgeSlots = 4096 / sizeof(uintptr_t);
  for (int32_t i = 0; i < count; ++i) {
    memory::NodeFrame& frame = memory::state.node_frames[i];
    frame.capacity = frame.used = memory::kNodesPerFrame;
    frame.free_head = kNoNode;
    uintptr_t* slots = &memory::node_slots[frame.first_id()];
    std::fill(slots, slots + kEdgeSlots, 0);
    std::fill(slots + memory::kNodesPerFrame - kEdgeSlots, slots + memory::kNodesPerFrame, 0);
  }
}
constexpr uint32_t kStringUnits[] = {1, 2, 4};

// ---- building and checking graphs ----

Cell block_cell(NodeId node) { return Cell{TYPE_BLOCK, 0, node, 0}; }
Cell string_cell(NodeId node) { return Cell{TYPE_STRING, 0, node, 0}; }

void append(NodeId block, Cell value) { *buffer::append_unset(block) = value; }

uint32_t pattern(uint32_t serial, uint32_t i, uint32_t unit) {
  uint32_t value = serial * 2654435761u + i * 40503u + 1;
  return unit == 4 ? value : value & ((1u << (8 * unit)) - 1);
}

uint32_t string_length(uint32_t serial) { return 5 + serial % 23; }

NodeId make_string(uint32_t serial) {
  uint32_t unit = kStringUnits[serial % 3];
  uint32_t length = string_length(serial);
  NodeId node = memory::alloc_units(length, unit);
  SeriesBuffer* buffer = memory::buffer_of(node);
  for (uint32_t i = 0; i < length; ++i) {
    uint32_t value = pattern(serial, i, unit);
    std::memcpy(buffer->data() + i * unit, &value, unit);
  }
  buffer->tail = length * unit;
  return node;
}

bool string_intact(NodeId node, uint32_t serial) {
  if (!memory::is_live_node(node)) return false;
  SeriesBuffer* buffer = memory::buffer_of(node);
  uint32_t unit = kStringUnits[serial % 3];
  if (buffer->unit() != unit || buffer->length() != string_length(serial)) return false;
  for (uint32_t i = 0; i < buffer->length(); ++i) {
    uint32_t value = 0;
    std::memcpy(&value, buffer->head_ptr() + i * unit, unit);
    if (value != pattern(serial, i, unit)) return false;
  }
  return true;
}

struct TreeShape {
  int depth;
  int branching;
  int strings;
};
constexpr TreeShape kSmallTree{3, 4, 3};   // 85 blocks, 255 strings

// Everything a tree holds, in the order a depth-first walk meets it. Contents derive from
// serial numbers counted from `serial_base`: every block starts with an integer! tag of its own
// serial, every string holds the pattern of its serial. Garbage trees count from
// kGarbageSerials, so that a garbage id handed out again to a newer series is told apart.
struct Tree {
  uint32_t serial_base = 0;
  std::vector<NodeId> blocks;
  std::vector<NodeId> strings;
  int32_t handle = handles::kNoSlot;
};
constexpr uint32_t kGarbageSerials = 100000;

Cell tag_cell(uint32_t serial) { return Cell{TYPE_INTEGER, 0, serial, 0}; }

int handle_kind = 0;
uintptr_t handle_object(const Tree& tree) { return 0x4000 + tree.serial_base + tree.blocks.size(); }
std::vector<uintptr_t> released_handles;
void release_handle(uintptr_t object) { released_handles.push_back(object); }

NodeId build_block(const TreeShape& shape, Tree& tree, NodeId root, int depth) {
  NodeId block = memory::alloc_cells(1);
  if (root == kNoNode) root = block;
  append(block, tag_cell(tree.serial_base + uint32_t(tree.blocks.size())));
  tree.blocks.push_back(block);
  for (int s = 0; s < shape.strings; ++s) {
    uint32_t serial = tree.serial_base + uint32_t(tree.strings.size());
    NodeId string = make_string(serial);
    tree.strings.push_back(string);
    append(block, string_cell(string));
  }
  if (depth > 0)
    for (int c = 0; c < shape.branching; ++c)
      append(block, block_cell(build_block(shape, tree, root, depth - 1)));
  append(block, block_cell(root));
  return block;
}

// A tree whose root block also holds a handle! cell of a fresh handle-table slot. The cell is
// reserved before the slot is taken: a collection in between would release an unheld slot.
__attribute__((noinline)) NodeId build_tree(const TreeShape& shape, Tree& tree) {
  NodeId root = build_block(shape, tree, kNoNode, shape.depth);
  Cell* handle = buffer::append_unset(root);
  tree.handle = handles::alloc(handle_object(tree), handle_kind);
  *handle = Cell{TYPE_HANDLE, uint32_t(handle_kind), 0, uint32_t(tree.handle)};
  return root;
}

// Walks the tree from `root` and compares it with what was built: same nodes, same contents.
bool tree_intact(NodeId root, const Tree& tree) {
  size_t next_block = 0, next_string = 0;
  bool intact = true;
  std::vector<NodeId> pending{root};
  while (!pending.empty() && intact) {
    NodeId block = pending.back();
    pending.pop_back();
    intact = memory::is_live_node(block) && next_block < tree.blocks.size() &&
             tree.blocks[next_block++] == block;
    if (!intact) break;
    SeriesBuffer* buffer = memory::buffer_of(block);
    const Cell* cells = buffer->cells();
    std::vector<NodeId> children;
    for (uint32_t i = 0; i < buffer->length() && intact; ++i) {
      const Cell& cell = cells[i];
      if (cell.is(TYPE_INTEGER)) {
        intact = cell.data2 == tree.serial_base + next_block - 1;
      } else if (cell.is(TYPE_STRING)) {
        intact = next_string < tree.strings.size() && tree.strings[next_string] == cell.node() &&
                 string_intact(cell.node(), tree.serial_base + uint32_t(next_string));
        ++next_string;
      } else if (cell.is(TYPE_BLOCK) && cell.node() != root) {
        children.push_back(cell.node());
      } else if (cell.is(TYPE_HANDLE)) {
        intact = int32_t(cell.data3) == tree.handle && handles::is_used(tree.handle);
      } else {
        intact = cell.is(TYPE_BLOCK);   // the back reference to the root
      }
    }
    pending.insert(pending.end(), children.rbegin(), children.rend());
  }
  return intact && next_block == tree.blocks.size() && next_string == tree.strings.size();
}

// Runs `body` in a frame of its own, so that what it leaves in heap vectors is not also held
// by a local of the caller.
template <class Body>
__attribute__((noinline)) void out_of_sight(Body body) {
  body();
}

// Zeroes the stack below the caller, where frames that have returned leave node ids and
// pointers behind; the collector's own frames are laid over that area and may not write every
// slot of it. Without AddressSanitizer's red zones the array starts right below this frame's
// saved registers, so no slot in between keeps its old value.
__attribute__((noinline, no_sanitize("address"))) void clear_stale_stack() {
  volatile uint8_t area[64 * 1024];
  for (size_t i = 0; i < sizeof area; ++i) area[i] = 0;
}

// Runs a test body on a new thread, on a stack cleared first: the collector scans the stack of
// the thread it runs on, and the test runner's frames on the main thread keep stale slots of
// earlier tests, which may point into memory that this test's frames happen to reuse.
template <class Body>
void on_fresh_stack(Body body) {
  std::thread thread([&body] {
    clear_stale_stack();
    body();
  });
  thread.join();
}

// A tree that nothing holds once this returns.
void build_garbage(Tree& garbage) {
  garbage.serial_base = kGarbageSerials;
  out_of_sight([&garbage] { build_tree(kSmallTree, garbage); });
  clear_stale_stack();
}

uintptr_t address_of(NodeId node) { return reinterpret_cast<uintptr_t>(memory::buffer_of(node)); }

// Every node of the garbage tree is free, or was handed out again to a newer series (torture
// mode collects at every allocation, and free nodes are reused first).
bool all_reclaimed(const Tree& garbage) {
  for (size_t i = 0; i < garbage.blocks.size(); ++i) {
    NodeId node = garbage.blocks[i];
    if (!memory::is_live_node(node) || memory::buffer_of(node)->length() == 0) continue;
    const Cell& tag = memory::buffer_of(node)->cells()[0];
    if (tag.is(TYPE_INTEGER) && tag.data2 == garbage.serial_base + i) return false;
  }
  for (size_t i = 0; i < garbage.strings.size(); ++i)
    if (string_intact(garbage.strings[i], garbage.serial_base + uint32_t(i))) return false;
  return !handles::is_used(garbage.handle) ||
         handles::object_of(garbage.handle) != handle_object(garbage);
}

uint64_t used_series_bytes() {
  uint64_t used = 0;
  for (const collector::FrameUse& frame : collector::memory_stats().series_frames)
    used += frame.used;
  return used;
}

size_t node_frame_count() { return collector::memory_stats().node_frames.size(); }

SeriesBuffer* buffer_holding(const void* address) {
  for (SeriesFrame* frame = memory::state.series_head; frame; frame = frame->next) {
    for (uint8_t* at = frame->first_buffer(); at < frame->cursor;) {
      auto* buffer = reinterpret_cast<SeriesBuffer*>(at);
      at += memory::kBufferOverhead + buffer->size;
      if (address >= static_cast<const void*>(buffer) && address < static_cast<const void*>(at))
        return buffer;
    }
  }
  return nullptr;
}

// Roots that tests register; the fixture takes them down again whatever the test did.
NodeId registered_node = kNoNode;
Cell registered_cells[2];
Cell* registered_first = registered_cells;
Cell* registered_end = registered_cells + 2;
NodeId callback_node = kNoNode;
void mark_callback_node() { collector::mark_block(callback_node); }

class CollectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_torture_ = collector::torture_period();
    memory::init();
    handles::init();
    handle_kind = handles::register_kind("test", release_handle);
    released_handles.clear();
    static int32_t first_frame = kFirstTestFrame - kFramesPerTest;
    first_frame += kFramesPerTest;
    set_aside_node_frames(first_frame);
    collector::active = true;
  }
  void TearDown() override {
    collector::unregister_root(&registered_node);
    collector::unregister_root(&registered_first);
    collector::unregister_mark(mark_callback_node);
    registered_node = callback_node = kNoNode;
    registered_cells[0] = registered_cells[1] = Cell{TYPE_NONE, 0, 0, 0};
    collector::active = false;
    collector::set_torture_period(saved_torture_);
    memory::free_all_frames();
  }

 private:
  uint32_t saved_torture_ = 0;
};

// ---- roots ----

enum class Holder {
  REGISTERED_NODE,
  REGISTERED_CELLS,
  MARK_CALLBACK,
  STACK_NODE_ID,
  STACK_CELL,
  STACK_POINTER_INTO_BUFFER,
};


class CollectorRootTest : public CollectorTest, public ::testing::WithParamInterface<Holder> {};

// Builds a tree and answers only a pointer to the second cell of its root block.
__attribute__((noinline)) const Cell* tree_behind_pointer(Tree& tree) {
  return memory::buffer_of(build_tree(kSmallTree, tree))->cells() + 1;
}

NodeId node_of_pointer(const void* address) { return buffer_holding(address)->node; }

// Holds the tree through `holder` alone while garbage is collected; answers the root node.
__attribute__((noinline)) NodeId collect_holding(Holder holder, Tree& tree) {
  switch (holder) {
    case Holder::REGISTERED_NODE:
      registered_node = build_tree(kSmallTree, tree);
      collector::register_root_node(&registered_node);
      collector::collect();
      return registered_node;
    case Holder::REGISTERED_CELLS:
      registered_cells[1] = block_cell(build_tree(kSmallTree, tree));
      collector::register_root_cells(&registered_first, &registered_end);
      collector::collect();
      return registered_cells[1].node();
    case Holder::MARK_CALLBACK:
      callback_node = build_tree(kSmallTree, tree);
      collector::register_mark(mark_callback_node);
      collector::collect();
      return callback_node;
    case Holder::STACK_NODE_ID: {
      NodeId root = build_tree(kSmallTree, tree);
      collector::collect();
      return root;
    }
    case Holder::STACK_CELL: {
      Cell root = block_cell(build_tree(kSmallTree, tree));
      collector::collect();
      return root.node();
    }
    case Holder::STACK_POINTER_INTO_BUFFER: {
      const Cell* inner = tree_behind_pointer(tree);
      Cell before = *inner;
      collector::collect();
      EXPECT_EQ(std::memcmp(inner, &before, sizeof(Cell)), 0);
      return node_of_pointer(inner);
    }
  }
  return kNoNode;
}

TEST_P(CollectorRootTest, TreeHeldOnlyByTheRootSurvivesAndGarbageIsReclaimed) {
  on_fresh_stack([&] {
    Tree garbage, tree;
    build_garbage(garbage);
    NodeId root = collect_holding(GetParam(), tree);
    EXPECT_TRUE(all_reclaimed(garbage));
    EXPECT_EQ(released_handles, std::vector<uintptr_t>{handle_object(garbage)});
    ASSERT_EQ(root, tree.blocks.front());
    EXPECT_TRUE(tree_intact(root, tree));
    // Still reachable the same way, so a second cycle keeps it whole as well.
    if (GetParam() < Holder::STACK_NODE_ID) {
      collector::collect();
      EXPECT_TRUE(tree_intact(root, tree));
    }
  });
}

INSTANTIATE_TEST_SUITE_P(EveryKindOfRoot, CollectorRootTest,
                         ::testing::Values(Holder::REGISTERED_NODE, Holder::REGISTERED_CELLS,
                                           Holder::MARK_CALLBACK, Holder::STACK_NODE_ID,
                                           Holder::STACK_CELL,
                                           Holder::STACK_POINTER_INTO_BUFFER));

TEST_F(CollectorTest, UnreachableTreeIsReclaimedWholeAndItsHandleReleased) {
  on_fresh_stack([&] {
    Tree garbage;
    build_garbage(garbage);
    uint64_t used_before = used_series_bytes();
    collector::collect();
    EXPECT_TRUE(all_reclaimed(garbage));
    EXPECT_EQ(released_handles.size(), 1u);
    EXPECT_LT(used_series_bytes(), used_before);
  });
}

// Locals of every kind stay usable across allocations that collect: the buffers that pointers
// point into stay put, the ones held by id alone move over the garbage before them.
TEST_F(CollectorTest, CppLocalsStayValidAcrossCollections) {
  on_fresh_stack([&] {
    Tree garbage;
    build_garbage(garbage);
    NodeId by_id = make_string(1);
    Cell by_cell = string_cell(make_string(2));
    uint8_t* into_string = memory::buffer_of(make_string(3))->data() + 4;
    Tree tree;
    Cell* into_block = memory::buffer_of(build_tree(kSmallTree, tree))->cells() + 2;
    const Cell third_cell = *into_block;
    uint8_t byte_before = *into_string;
    std::vector<uintptr_t> id_buffer_before;   // in the heap, so that it does not pin the buffer
    out_of_sight([&] { id_buffer_before.push_back(address_of(by_id)); });

    collector::collect();
    EXPECT_TRUE(all_reclaimed(garbage));
    for (int i = 0; i < 50; ++i) make_string(100 + i);   // more cycles under torture mode

    EXPECT_TRUE(string_intact(by_id, 1));
    EXPECT_TRUE(string_intact(by_cell.node(), 2));
    EXPECT_NE(address_of(by_id), id_buffer_before[0]);
    EXPECT_EQ(*into_string, byte_before);
    EXPECT_TRUE(string_intact(node_of_pointer(into_string), 3));
    EXPECT_EQ(memory::buffer_of(node_of_pointer(into_string))->data() + 4, into_string);
    EXPECT_EQ(std::memcmp(into_block, &third_cell, sizeof(Cell)), 0);
    EXPECT_TRUE(tree_intact(node_of_pointer(into_block), tree));
  });
}

TEST_F(CollectorTest, TreesBuiltWhileEveryAllocationMayCollectComeOutWhole) {
  on_fresh_stack([&] {
    std::vector<Tree> trees(4);
    NodeId roots[4];
    for (int i = 0; i < 4; ++i) {
      Tree garbage;
      build_garbage(garbage);
      roots[i] = build_tree(kSmallTree, trees[i]);
    }
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(tree_intact(roots[i], trees[i])) << i;
  });
}

TEST_F(CollectorTest, DeepChainIsMarkedWithoutRecursion) {
  on_fresh_stack([&] {
    constexpr int kDepth = 100000;
    collector::active = false;
    NodeId head = memory::alloc_cells(1);
    NodeId link = head;
    for (int i = 0; i < kDepth; ++i) {
      NodeId next = memory::alloc_cells(1);
      append(link, block_cell(next));
      link = next;
    }
    link = kNoNode;
    collector::collect();
    int length = 0;
    for (NodeId at = head; memory::buffer_of(at)->length() == 1; ++length)
      at = memory::buffer_of(at)->cells()[0].node();
    EXPECT_EQ(length, kDepth);
  });
}

TEST_F(CollectorTest, EmptiedNodeFramesAreReleased) {
  on_fresh_stack([&] {
    constexpr uint32_t kGarbageNodes = 3 * memory::kNodesPerFrame;
    collector::active = false;
    NodeId keep = memory::alloc_bytes(16);
    std::vector<NodeId> garbage;
    out_of_sight([&garbage] {
      for (uint32_t i = 0; i < kGarbageNodes; ++i) garbage.push_back(memory::alloc_bytes(16));
    });
    clear_stale_stack();
    size_t frames_before = node_frame_count();
    collector::collect();
    EXPECT_LE(node_frame_count() + 2, frames_before);
    EXPECT_TRUE(memory::is_live_node(keep));
    EXPECT_TRUE(std::none_of(garbage.begin(), garbage.end(), memory::is_live_node));
  });
}

TEST_F(CollectorTest, BigFramesLiveByRootOrPointerAndDieOtherwise) {
  on_fresh_stack([&] {
    constexpr uint32_t kBig = memory::kFrameSizeLimit;
    NodeId kept = memory::alloc_bytes(kBig);
    uint8_t* pointed = memory::buffer_of(memory::alloc_bytes(kBig))->data() + kBig / 2;
    *pointed = 0x5A;
    std::vector<NodeId> dropped;
    out_of_sight([&dropped] { dropped.push_back(memory::alloc_bytes(kBig)); });
    clear_stale_stack();
    ASSERT_TRUE(memory::buffer_of(kept)->flags & memory::FLAG_BIG);
    collector::collect();
    EXPECT_TRUE(memory::is_live_node(kept));
    EXPECT_FALSE(memory::is_live_node(dropped[0]));
    EXPECT_EQ(*pointed, 0x5A);
    EXPECT_EQ(collector::memory_stats().big_frames.size(), 2u);
  });
}

// Registered nodes may name buffers outside the frames (the root block, the stacks): they are
// never swept, and their marks do not outlive the cycle.
TEST_F(CollectorTest, ExternalSeriesKeepsItsContentsAndLosesItsMark) {
  on_fresh_stack([&] {
    registered_node = memory::alloc_external_series(4, sizeof(Cell), 0);
    collector::register_root_node(&registered_node, collector::RANK_ROOT_BLOCK);
    Tree tree;
    append(registered_node, block_cell(build_tree(kSmallTree, tree)));
    for (int cycle = 0; cycle < 2; ++cycle) {
      collector::collect();
      EXPECT_FALSE(memory::buffer_of(registered_node)->flags & memory::FLAG_MARKED);
      EXPECT_TRUE(tree_intact(memory::buffer_of(registered_node)->cells()[0].node(), tree));
    }
  });
}

std::vector<int> callback_order;
void first_callback() { callback_order.push_back(1); }
void second_callback() { callback_order.push_back(2); }
void early_callback() { callback_order.push_back(0); }
void late_callback() { callback_order.push_back(3); }

TEST_F(CollectorTest, RootsRunByRankThenRegistrationOrder) {
  on_fresh_stack([&] {
    callback_order.clear();
    collector::register_mark(first_callback);
    collector::register_mark(late_callback);
    collector::register_mark(early_callback, collector::RANK_ROOT_BLOCK);
    collector::register_mark(second_callback, collector::RANK_REFS_TABLE);
    collector::collect();
    EXPECT_EQ(callback_order, (std::vector<int>{0, 2, 1, 3}));
    for (auto callback : {first_callback, second_callback, early_callback, late_callback})
      collector::unregister_mark(callback);
    callback_order.clear();
    collector::collect();
    EXPECT_TRUE(callback_order.empty());
  });
}

NodeId weak_reachable = kNoNode, weak_unreachable = kNoNode;
bool weak_reachable_marked = false, weak_unreachable_marked = true, weak_in_cycle = false;
void weak_sweep() {
  weak_reachable_marked = collector::is_marked(weak_reachable);
  weak_unreachable_marked = collector::is_marked(weak_unreachable);
  weak_in_cycle = collector::in_cycle();
}

TEST_F(CollectorTest, SweepHooksSeeTheMarksBeforeAnythingIsFreed) {
  on_fresh_stack([&] {
    registered_node = memory::alloc_cells(1);
    collector::register_root_node(&registered_node);
    weak_reachable = registered_node;
    out_of_sight([] { weak_unreachable = memory::alloc_bytes(4); });
    collector::register_sweep(weak_sweep);
    collector::collect();
    collector::unregister_sweep(weak_sweep);
    EXPECT_TRUE(weak_in_cycle);
    EXPECT_TRUE(weak_reachable_marked);
    EXPECT_FALSE(weak_unreachable_marked);
    EXPECT_FALSE(memory::is_live_node(weak_unreachable));
    EXPECT_FALSE(collector::in_cycle());
  });
}

TEST_F(CollectorTest, ActiveFlagGatesAllocationCyclesButNotRecycle) {
  on_fresh_stack([&] {
    collector::active = false;
    uint32_t cycles = collector::series_cycles;
    EXPECT_FALSE(collector::collect_if_active());
    EXPECT_EQ(collector::series_cycles, cycles);
    collector::collect();
    EXPECT_EQ(collector::series_cycles, cycles + 1);
    collector::active = true;
    EXPECT_TRUE(collector::collect_if_active());
    EXPECT_EQ(collector::series_cycles, cycles + 2);
  });
}

// A word table over a key block of its own, made in a frame that is gone once this returns:
// only the record then names the flags, buckets and key block.
__attribute__((noinline)) NodeId make_word_table() {
  constexpr uint32_t kTableSize = 8;
  return hashtable::make(kTableSize, nullptr, hashtable::KIND_WORDS, 0, hashtable::KEYS_CONTEXT);
}

// A table held by a local id alone (a context's table while the context is being assembled)
// keeps its parts: the stack scan marks a table's record through the table marker.
TEST_F(CollectorTest, HashTableHeldOnlyByALocalIdKeepsItsParts) {
  on_fresh_stack([&] {
    collector::set_table_marker(hashtable::mark);
    const NodeId table = make_word_table();
    clear_stale_stack();
    collector::collect();
    const hashtable::Table& t = *hashtable::record(table);
    for (NodeId part : {t.flags, t.buckets, t.keys}) EXPECT_TRUE(memory::is_live_node(part));
    EXPECT_EQ(memory::buffer_of(t.keys)->length(), 0u);
  });
}

// ---- marking by type ----

struct MarkingCase {
  const char* name;
  uint32_t header;
  uint8_t node_words;        // payload words that get a fresh node
  uint8_t surviving_words;   // those whose node the cell keeps alive
};

using collector::payload_word;
constexpr uint8_t W1 = payload_word(1), W2 = payload_word(2), W3 = payload_word(3);

const MarkingCase kMarkingCases[] = {
    {"block", TYPE_BLOCK, W2 | W3, W2},
    {"string and its conversion buffer", TYPE_STRING, W2 | W3, W2 | W3},
    {"symbol", TYPE_SYMBOL, W2 | W3, W2 | W3},
    {"binary", TYPE_BINARY, W2, W2},
    {"word and its context", TYPE_WORD, W1, W1},
    {"object, context and on-set record", TYPE_OBJECT, W1 | W3, W1 | W3},
    {"function", TYPE_FUNCTION, W1 | W2 | W3, W1 | W2 | W3},
    {"native: word 1 is a code id", TYPE_NATIVE, W2 | W3, W2 | W3},
    {"op! of a function", TYPE_OP | (TYPE_FUNCTION << 16), W1 | W2 | W3, W1 | W2 | W3},
    {"op! of a native", TYPE_OP | (TYPE_NATIVE << 16), W1 | W2 | W3, W2 | W3},
    {"heap context", TYPE_CONTEXT, W1 | W2, W1 | W2},
    {"context on the stack", TYPE_CONTEXT | 0x400000, W1 | W2, W1},
    {"made event", TYPE_EVENT | 0x1000, W2, W2},
    {"system event", TYPE_EVENT, W2, 0},
    {"integer", TYPE_INTEGER, W2, 0},
    {"pair", TYPE_PAIR, W2 | W3, 0},
};

class TypeMarkingTest : public CollectorTest,
                        public ::testing::WithParamInterface<MarkingCase> {};

// Fills registered_cells[0] with a cell of the case's header whose node words name fresh
// zero-filled buffers (zeroes read as empty fields if a table marker looks inside).
__attribute__((noinline)) void make_marking_cell(const MarkingCase& c, std::vector<NodeId>& nodes) {
  constexpr uint32_t kBufferBytes = 64;
  Cell& cell = registered_cells[0];
  cell = Cell{c.header, 0, 0, 0};
  uint32_t* words[] = {nullptr, &cell.data1, &cell.data2, &cell.data3};
  for (int n = 1; n <= 3; ++n)
    if (c.node_words & payload_word(n)) *words[n] = nodes[n] = memory::alloc_bytes_filled(kBufferBytes, 0);
  registered_cells[1] = Cell{TYPE_NONE, 0, 0, 0};
}

TEST_P(TypeMarkingTest, CellKeepsExactlyTheNodesOfItsLayout) {
  on_fresh_stack([&] {
    const MarkingCase& c = GetParam();
    std::vector<NodeId> nodes(4, kNoNode);
    collector::active = false;
    make_marking_cell(c, nodes);
    clear_stale_stack();
    collector::register_root_cells(&registered_first, &registered_end);
    collector::collect();
    for (int n = 1; n <= 3; ++n) {
      if (!(c.node_words & payload_word(n))) continue;
      EXPECT_EQ(memory::is_live_node(nodes[n]), bool(c.surviving_words & payload_word(n)))
          << "word " << n;
    }
  });
}

INSTANTIATE_TEST_SUITE_P(Layouts, TypeMarkingTest, ::testing::ValuesIn(kMarkingCases),
                         [](const ::testing::TestParamInfo<MarkingCase>& info) {
                           std::string name;
                           for (const char* p = info.param.name; *p; ++p)
                             name += std::isalnum(uint8_t(*p)) ? *p : '_';
                           return name;
                         });

TEST_F(CollectorTest, HandleCellMarksItsSlotUnlessItHasNone) {
  on_fresh_stack([&] {
    int32_t slot = handles::alloc(0x77, handle_kind);
    int32_t unreferenced = handles::alloc(0x78, handle_kind);
    registered_cells[0] = Cell{TYPE_HANDLE, uint32_t(handle_kind), 0, uint32_t(slot)};
    registered_cells[1] = Cell{TYPE_HANDLE, 0, 0x1234, uint32_t(-1)};
    collector::register_root_cells(&registered_first, &registered_end);
    collector::collect();
    EXPECT_TRUE(handles::is_used(slot));
    EXPECT_FALSE(handles::is_used(unreferenced));
    EXPECT_EQ(released_handles, std::vector<uintptr_t>{0x78});
  });
}

// ---- compaction ----

class CompactionTest : public CollectorTest {
 protected:
  void SetUp() override {
    CollectorTest::SetUp();
    collector::set_torture_period(0);
    collector::active = false;
  }
};

std::vector<uint8_t*> frame_cursors() {
  std::vector<uint8_t*> cursors;
  for (SeriesFrame* frame = memory::state.series_head; frame; frame = frame->next)
    cursors.push_back(frame->cursor);
  return cursors;
}

TEST_F(CompactionTest, CycleWithNothingDeadMovesNothing) {
  on_fresh_stack([&] {
    Tree tree;
    registered_node = build_tree(kSmallTree, tree);
    collector::register_root_node(&registered_node);
    clear_stale_stack();
    collector::collect();   // the first cycle may retain stack garbage; the second sees none
    std::vector<uint8_t*> cursors = frame_cursors();
    std::vector<SeriesBuffer*> places;
    for (NodeId node : tree.blocks) places.push_back(memory::buffer_of(node));
    collector::collect();
    EXPECT_EQ(frame_cursors(), cursors);
    for (size_t i = 0; i < tree.blocks.size(); ++i)
      ASSERT_EQ(memory::buffer_of(tree.blocks[i]), places[i]);
  });
}

TEST_F(CompactionTest, DeadBufferAtTheFrameStartLetsEverythingSlideDown) {
  on_fresh_stack([&] {
    std::vector<NodeId> dead;
    out_of_sight([&dead] { dead.push_back(make_string(7)); });
    registered_node = memory::alloc_cells(1);
    collector::register_root_node(&registered_node);
    std::vector<uint32_t> serials;
    for (uint32_t serial = 10; serial < 60; ++serial) {
      append(registered_node, string_cell(make_string(serial)));
      serials.push_back(serial);
    }
    out_of_sight([&dead] {
      auto* first = reinterpret_cast<SeriesBuffer*>(memory::state.series_head->first_buffer());
      ASSERT_EQ(first->node, dead[0]);
    });
    uint8_t* cursor_before = memory::state.series_head->cursor;
    clear_stale_stack();
    collector::collect();
    EXPECT_FALSE(memory::is_live_node(dead[0]));
    EXPECT_LT(memory::state.series_head->cursor, cursor_before);
    const Cell* cells = memory::buffer_of(registered_node)->cells();
    for (size_t i = 0; i < serials.size(); ++i)
      ASSERT_TRUE(string_intact(cells[i].node(), serials[i])) << i;
    // The frame now starts with a live buffer and holds no gap.
    uint8_t* at = memory::state.series_head->first_buffer();
    for (; at < memory::state.series_head->cursor;
         at += memory::kBufferOverhead + reinterpret_cast<SeriesBuffer*>(at)->size)
      ASSERT_TRUE(reinterpret_cast<SeriesBuffer*>(at)->flags & memory::FLAG_LIVE);
  });
}

TEST_F(CompactionTest, PinnedBufferStaysAndTheGapBeforeItBecomesAFiller) {
  on_fresh_stack([&] {
    std::vector<NodeId> dead;
    out_of_sight([&dead] { dead = {make_string(1), make_string(2)}; });
    uint8_t* pointer = memory::buffer_of(make_string(3))->data();
    std::vector<uintptr_t> after_before;
    out_of_sight([&after_before] {
      registered_node = make_string(4);
      after_before.push_back(address_of(registered_node));
    });
    collector::register_root_node(&registered_node);
    clear_stale_stack();
    collector::collect();
    SeriesBuffer* holder = buffer_holding(pointer);
    EXPECT_EQ(holder->data(), pointer);
    EXPECT_TRUE(string_intact(holder->node, 3));
    // The string behind the pinned one had nothing dead between them: it stays too.
    EXPECT_EQ(address_of(registered_node), after_before[0]);
    auto* filler = reinterpret_cast<SeriesBuffer*>(memory::state.series_head->first_buffer());
    EXPECT_EQ(filler->node, kNoNode);
    EXPECT_EQ(filler->flags, 0u);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(filler) + memory::kBufferOverhead + filler->size,
              reinterpret_cast<uint8_t*>(holder));
    EXPECT_FALSE(memory::is_live_node(dead[0]));
    EXPECT_FALSE(memory::is_live_node(dead[1]));
  });
}

TEST_F(CompactionTest, GrowAbandonedBuffersAreReclaimed) {
  on_fresh_stack([&] {
    registered_node = memory::alloc_cells(1);
    collector::register_root_node(&registered_node);
    for (int i = 0; i < 200; ++i) append(registered_node, string_cell(kNoNode));
    uint64_t used_before = used_series_bytes();
    clear_stale_stack();
    collector::collect();
    uint64_t live = memory::kBufferOverhead + memory::buffer_of(registered_node)->size;
    EXPECT_LT(used_series_bytes(), used_before);
    EXPECT_LE(used_series_bytes(), live + 64 * memory::kBufferOverhead);
    EXPECT_EQ(memory::buffer_of(registered_node)->length(), 200u);
  });
}

// Three frames in address order: the first holds one live string and garbage, the second only
// live strings, the third nothing. The second frame's strings move into the first frame's free
// room, and the second frame, emptied, is freed; the third stays as the last frame.
TEST_F(CompactionTest, LiveBuffersMoveIntoThePreviousFramesRoomAndEmptiedFramesGo) {
  on_fresh_stack([&] {
    constexpr uint32_t kStrings = 40;
    constexpr uint32_t kGarbage = 100;
    constexpr uint32_t kGarbageBytes = 4000;
    for (int i = 0; i < 3; ++i) memory::alloc_series_frame();
    SeriesFrame* first = memory::state.series_head;
    SeriesFrame* second = first->next;
    memory::state.series_current = first;
    registered_node = memory::alloc_cells(kStrings);
    collector::register_root_node(&registered_node);
    append(registered_node, string_cell(make_string(0)));
    out_of_sight([] {
      for (uint32_t i = 0; i < kGarbage; ++i) memory::alloc_bytes(kGarbageBytes);
    });
    memory::state.series_current = second;
    for (uint32_t serial = 1; serial < kStrings; ++serial)
      append(registered_node, string_cell(make_string(serial)));
    ASSERT_EQ(memory::state.series_current, second);
    clear_stale_stack();
    collector::collect();
    EXPECT_EQ(collector::memory_stats().series_frames.size(), 2u);
    ASSERT_EQ(memory::state.series_head, first);
    const Cell* cells = memory::buffer_of(registered_node)->cells();
    for (uint32_t serial = 0; serial < kStrings; ++serial) {
      ASSERT_TRUE(string_intact(cells[serial].node(), serial));
      auto* buffer = reinterpret_cast<uint8_t*>(memory::buffer_of(cells[serial].node()));
      EXPECT_TRUE(buffer >= first->first_buffer() && buffer < first->cursor) << serial;
    }
  });
}

// ---- heap growth ----

// Live data that only grows: each collection frees nothing, so the frames grow to match the
// live bytes and collections come at doubling heap sizes, not once per frame filled (which
// would mark the whole heap again for every 2 MiB allocated).
TEST_F(CollectorTest, CollectionsThatFreeNothingGrowTheFramesSoCollectionsStayFew) {
  if (collector::torture_period()) GTEST_SKIP() << "torture mode collects at every allocation";
  on_fresh_stack([&] {
    constexpr uint32_t kBuffers = 2000;
    constexpr uint32_t kBufferBytes = 16 * 1024;   // 32 MiB live in all: 16 frames' worth
    constexpr uint32_t kMostCycles = 7;            // one per doubling from the first frame
    registered_node = memory::alloc_cells(kBuffers);
    collector::register_root_node(&registered_node);
    const uint32_t cycles = collector::series_cycles;
    for (uint32_t i = 0; i < kBuffers; ++i)
      append(registered_node, Cell{TYPE_BINARY, 0, memory::alloc_bytes(kBufferBytes), 0});
    EXPECT_GT(collector::series_cycles, cycles);
    EXPECT_LE(collector::series_cycles - cycles, kMostCycles);
    EXPECT_EQ(memory::buffer_of(registered_node)->length(), kBuffers);
  });
}

// Big buffers dropped at once beside a live heap: collections come once their bytes reach the
// live heap's, not one per big buffer (each would mark the whole heap), and yet they come, so
// the dropped buffers never pile up past that growth.
TEST_F(CollectorTest, BigBuffersCollectOnGrowthBesideALiveHeap) {
  if (collector::torture_period()) GTEST_SKIP() << "torture mode collects at every allocation";
  on_fresh_stack([&] {
    constexpr uint32_t kBuffers = 2000;
    constexpr uint32_t kBufferBytes = 16 * 1024;   // 32 MiB live
    constexpr uint32_t kBigBuffers = 100;          // 200 MiB dropped, 2 MiB each
    registered_node = memory::alloc_cells(kBuffers);
    collector::register_root_node(&registered_node);
    for (uint32_t i = 0; i < kBuffers; ++i)
      append(registered_node, Cell{TYPE_BINARY, 0, memory::alloc_bytes(kBufferBytes), 0});
    const uint32_t cycles = collector::series_cycles;
    size_t most_big_frames = 0;
    for (uint32_t i = 0; i < kBigBuffers; ++i) {
      out_of_sight([] { memory::alloc_bytes(memory::kFrameSizeLimit); });
      most_big_frames = std::max(most_big_frames, collector::memory_stats().big_frames.size());
    }
    const uint32_t ran = collector::series_cycles - cycles;
    EXPECT_GE(ran, 3u);    // 200 MiB of growth over a 32 MiB heap
    EXPECT_LE(ran, 10u);   // one per big buffer before
    EXPECT_LE(most_big_frames, 20u);
    EXPECT_EQ(memory::buffer_of(registered_node)->length(), kBuffers);
  });
}

// ---- torture mode ----

class TortureTest : public CollectorTest {
 protected:
  void SetUp() override {
    CollectorTest::SetUp();
    collector::set_torture_period(1);
  }
};

__attribute__((noinline)) void keep_only_in_heap(std::vector<NodeId>& ids) {
  ids.push_back(make_string(5));
}

// The id of a string kept only in a heap vector is reclaimed by the very next allocation, and
// may at once name that allocation's series instead.
TEST_F(TortureTest, NodeKeptOnlyInAHeapVectorIsReclaimedAtTheNextAllocation) {
  on_fresh_stack([&] {
    std::vector<NodeId> unrooted;
    keep_only_in_heap(unrooted);
    ASSERT_TRUE(string_intact(unrooted[0], 5));
    clear_stale_stack();
    uint32_t cycles = collector::series_cycles;
    NodeId fresh = memory::alloc_bytes(8);   // collects first
    EXPECT_EQ(collector::series_cycles, cycles + 1);
    EXPECT_FALSE(string_intact(unrooted[0], 5));
    EXPECT_TRUE(!memory::is_live_node(unrooted[0]) || unrooted[0] == fresh);
  });
}

__attribute__((noinline)) void remember_data_address(NodeId node, std::vector<uintptr_t>& out) {
  out.push_back(reinterpret_cast<uintptr_t>(memory::buffer_of(node)->data()));
}

TEST_F(TortureTest, BufferPointerKeptOnlyInTheHeapGoesStaleAndSeesPoison) {
  on_fresh_stack([&] {
    registered_node = make_string(9);
    collector::register_root_node(&registered_node);
    std::vector<uintptr_t> stale;
    remember_data_address(registered_node, stale);
    clear_stale_stack();
    collector::collect();
    ASSERT_TRUE(string_intact(registered_node, 9));
    EXPECT_NE(reinterpret_cast<uintptr_t>(memory::buffer_of(registered_node)->data()), stale[0]);
    const uint8_t* old = reinterpret_cast<const uint8_t*>(stale[0]);
    for (uint32_t i = 0; i < string_length(9); ++i) ASSERT_EQ(old[i], collector::kPoisonByte) << i;
  });
}

TEST_F(TortureTest, EveryUnpinnedBufferMovesAtEveryCycle) {
  on_fresh_stack([&] {
    Tree tree;
    registered_node = build_tree(kSmallTree, tree);
    collector::register_root_node(&registered_node);
    clear_stale_stack();
    for (int cycle = 0; cycle < 3; ++cycle) {
      // Addresses are compared in the heap: one left in a local would pin its buffer.
      std::vector<uintptr_t> before, after;
      auto addresses = [&tree](std::vector<uintptr_t>& out) {
        out_of_sight([&] {
          for (NodeId node : tree.strings) out.push_back(address_of(node));
        });
      };
      addresses(before);
      clear_stale_stack();
      collector::collect();
      addresses(after);
      for (size_t i = 0; i < tree.strings.size(); ++i) ASSERT_NE(after[i], before[i]) << i;
      ASSERT_TRUE(tree_intact(registered_node, tree));
    }
  });
}

TEST_F(CollectorTest, MemoryStatsCountFramesAndUse) {
  on_fresh_stack([&] {
    collector::active = false;
    NodeId a = memory::alloc_bytes(100);
    NodeId b = memory::alloc_cells(3);
    collector::MemoryStats stats = collector::memory_stats();
    ASSERT_EQ(stats.series_frames.size(), 1u);
    const collector::FrameUse& frame = stats.series_frames[0];
    EXPECT_EQ(frame.used, 2 * memory::kBufferOverhead + memory::buffer_of(a)->size +
                              memory::buffer_of(b)->size);
    EXPECT_EQ(frame.free + frame.used, frame.capacity);
    EXPECT_EQ(frame.capacity, memory::kFirstSeriesFrameSize);
    EXPECT_EQ(stats.node_frames.back().used + stats.node_frames.back().free,
              stats.node_frames.back().capacity);
    EXPECT_FALSE(collector::active);
  });
}

}  // namespace
}  // namespace xol
