// The refs table. Its block's tail always stays at its capacity, so every slot, free or used,
// lies inside the block and the collector marks them all (free slots are integers and reach
// nothing).
#include "runtime/memory/refs.h"

#include "runtime/memory/collector.h"
#include "runtime/memory/memory.h"

namespace xol::refs {

namespace {

constexpr int32_t kNoFreeSlot = -1;

struct Table {
  NodeId block = kNoNode;
  uint32_t capacity = 0;
  int32_t free_head = kNoFreeSlot;
};

Table table;

Cell* slots() { return memory::buffer_of(table.block)->cells(); }

// Chains slots [first, end) as free in slot order, the last one ending the list.
void chain_free(uint32_t first, uint32_t end) {
  Cell* cells = slots();
  for (uint32_t i = first; i < end; ++i)
    cells[i] = Cell{TYPE_INTEGER, 0, i + 1 < end ? i + 1 : uint32_t(kNoFreeSlot), 0};
}

void set_capacity(uint32_t capacity) {
  table.capacity = capacity;
  memory::buffer_of(table.block)->tail = capacity * sizeof(Cell);
}

}  // namespace

void init() {
  table.block = memory::alloc_cells(kInitialCapacity);
  set_capacity(kInitialCapacity);
  chain_free(0, kInitialCapacity);
  table.free_head = 0;
  collector::register_root_node(&table.block, collector::RANK_REFS_TABLE);
}

void shutdown() { table = Table{}; }

uint32_t put(const Cell& value) {
  // The value may sit in a buffer that the grow below moves: keep a copy on the native stack.
  const Cell kept = value;
  if (table.free_head == kNoFreeSlot) {
    uint32_t old_capacity = table.capacity;
    memory::grow_series(memory::buffer_of(table.block), old_capacity * 2 * sizeof(Cell));
    set_capacity(old_capacity * 2);
    chain_free(old_capacity, table.capacity);
    table.free_head = int32_t(old_capacity);
  }
  int32_t slot = table.free_head;
  Cell& cell = slots()[slot];
  table.free_head = int32_t(cell.data2);
  cell = kept;
  return uint32_t(slot) + 1;
}

Cell* get(uint32_t index) { return &slots()[index - 1]; }

void free(uint32_t index) {
  if (index == kNoValue) return;
  slots()[index - 1] = Cell{TYPE_INTEGER, 0, uint32_t(table.free_head), 0};
  table.free_head = int32_t(index - 1);
}

uint32_t capacity() { return table.capacity; }

}  // namespace xol::refs
