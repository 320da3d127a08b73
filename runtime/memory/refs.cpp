// The refs table, the cycles stack, mold's indentation and the doubling fill of /dup.
//
// The refs block's tail always stays at its capacity, so every slot, free or used, lies inside
// the block and the collector marks them all (free slots are integers and reach nothing).
// The cycles stack is a fixed array: it never holds more than kCapacity - 1 nodes.
#include "runtime/memory/refs.h"

#include <algorithm>
#include <cstring>

#include "runtime/memory/collector.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/memory/memory.h"

namespace xol {
namespace {

// Appends ASCII text to a string of any unit width.
void append_ascii(NodeId string, const char* text, uint32_t length) {
  uint32_t unit = memory::buffer_of(string)->unit();
  uint8_t* at = series::reserve_tail(string, length * unit);
  for (uint32_t i = 0; i < length; ++i, at += unit) {
    uint32_t code = uint8_t(text[i]);
    std::memcpy(at, &code, unit);   // little-endian: the low bytes come first
  }
}

}  // namespace
}  // namespace xol

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

namespace xol::cycles {

namespace {

NodeId entries[kCapacity];
uint32_t height = 0;

// Cycle markers of mold by type; forming prints kFormMarker for every type.
constexpr const char* kFormMarker = "...";
struct MoldMarker {
  TypeId type;
  const char* text;
};
constexpr MoldMarker kMoldMarkers[] = {
    {TYPE_BLOCK, "[...]"},    {TYPE_HASH, "[...]"},     {TYPE_PAREN, "(...)"},
    {TYPE_MAP, "#[...]"},     {TYPE_OBJECT, "make object! [...]"},
    {TYPE_PATH, "..."},       {TYPE_LIT_PATH, "..."},   {TYPE_SET_PATH, "..."},
    {TYPE_GET_PATH, "..."},
};

const char* marker_of(TypeId type, bool mold) {
  if (!mold) return kFormMarker;
  for (const MoldMarker& m : kMoldMarkers)
    if (m.type == type) return m.text;
  return kFormMarker;
}

}  // namespace

void push(NodeId node) {
  entries[height++] = node;
  if (height == kCapacity) {
    height = 0;
    error::raise(error::CAT_INTERNAL, "too-deep");
  }
}

void pop() {
  if (height) --height;
}

void pop_n(uint32_t count) { height -= std::min(count, height); }

void reset() { height = 0; }

bool find(NodeId node) { return std::find(entries, entries + height, node) != entries + height; }

uint32_t depth() { return height; }

void truncate(uint32_t new_height) { height = std::min(height, new_height); }

NodeId key_of(const Cell& value) {
  switch (value.type()) {
    case TYPE_OBJECT:
    case TYPE_ERROR:
    case TYPE_PORT:
      return value.data1;
    default:
      return value.node();
  }
}

bool detect(const Cell& value, NodeId output, int32_t& remaining, bool mold) {
  if (!find(key_of(value))) return false;
  const char* marker = marker_of(value.type(), mold);
  uint32_t length = uint32_t(std::strlen(marker));
  append_ascii(output, marker, length);
  remaining -= int32_t(length);
  return true;
}

}  // namespace xol::cycles

namespace xol::string {

int32_t append_indent(NodeId string, uint32_t levels, int32_t remaining) {
  static constexpr char kLevel[] = "    ";
  static_assert(sizeof kLevel - 1 == kIndentWidth);
  for (uint32_t i = 0; i < levels; ++i) append_ascii(string, kLevel, kIndentWidth);
  return remaining - int32_t(levels * kIndentWidth);
}

}  // namespace xol::string

namespace xol::memory {

uint8_t* repeat_fill(uint8_t* address, size_t unit_length, size_t count) {
  const size_t total = unit_length * count;
  size_t filled = unit_length;
  while (filled < total) {
    size_t chunk = std::min(filled, total - filled);
    std::memcpy(address + filled, address, chunk);
    filled += chunk;
  }
  return address + total;
}

}  // namespace xol::memory
