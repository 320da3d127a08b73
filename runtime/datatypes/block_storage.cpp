// Block storage: constructors, accessors and the append and insert primitives.
#include "runtime/datatypes/block_storage.h"

#include <algorithm>
#include <cstring>

#include "runtime/collector.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/memory.h"

namespace xol::block {
namespace {

using memory::SeriesBuffer;

constexpr uint32_t kCellSize = sizeof(Cell);

Cell root_cell{TYPE_UNSET, 0, 0, 0};
Cell unparented_cell{TYPE_UNSET, 0, 0, 0};

SeriesBuffer* buffer(const Cell* block) { return memory::buffer_of(block->node()); }

// Cells from the buffer's head offset to its tail.
uint32_t cell_count(const SeriesBuffer* series) { return series->used_bytes() / kCellSize; }

// The head index clamped to the tail.
uint32_t clamped_head(const Cell* block) {
  return std::min(block->head_index(), cell_count(buffer(block)));
}

Cell* cells(const Cell* block) {
  return reinterpret_cast<Cell*>(buffer(block)->head_ptr());
}

// Makes room for one more cell, doubling the bytes needed when full; answers the buffer.
SeriesBuffer* room_for_one(const Cell* block) {
  SeriesBuffer* series = buffer(block);
  if (series->tail + kCellSize > series->size)
    series = memory::grow_series(series, (series->used_bytes() + kCellSize) * 2);
  return series;
}

}  // namespace

Cell* root() { return &root_cell; }
uint32_t head_position(const Cell* block) { return clamped_head(block); }
bool root_exists() { return root_cell.is(TYPE_BLOCK); }

void release_roots() {
  for (Cell* fixed : {&root_cell, &unparented_cell}) {
    collector::unregister_root(&fixed->data2);
    cell::set_unset(fixed);
  }
}

uint32_t length(const Cell* block) {
  return cell_count(buffer(block)) - clamped_head(block);
}

Cell* head(const Cell* block) { return cells(block) + clamped_head(block); }

Cell* tail(const Cell* block) { return reinterpret_cast<Cell*>(buffer(block)->tail_ptr()); }

bool at_tail(const Cell* block) { return length(block) == 0; }

Cell* abs_at(const Cell* block, uint32_t index) { return cells(block) + index; }

bool next_within(Cell* block) {
  uint32_t count = cell_count(buffer(block));
  if (block->data1 < count) ++block->data1;
  return block->data1 >= count;
}

void cut_at(const Cell* block, uint32_t count) {
  SeriesBuffer* series = buffer(block);
  series->tail = series->head + std::min(count, cell_count(series)) * kCellSize;
}

void cut_at_head(const Cell* block) { cut_at(block, block->head_index()); }

void remove_last(Cell* block) {
  SeriesBuffer* series = buffer(block);
  uint32_t count = cell_count(series);
  if (count == 0) return;
  series->tail -= kCellSize;
  if (block->data1 > count - 1) block->data1 = count - 1;
}

Cell* make_at(Cell* cell, int32_t capacity) {
  cell::set_unset(cell);
  NodeId node = memory::alloc_cells(uint32_t(std::max(capacity, 1)));
  *cell = Cell{TYPE_BLOCK, 0, node, 0};
  return cell;
}

Cell* make_at_sized(Cell* cell, int32_t capacity, bool external) {
  cell::set_unset(cell);
  uint32_t count = uint32_t(std::max(capacity, 1));
  NodeId node;
  if (external) {
    node = memory::alloc_external_series(count, kCellSize, 0);
  } else {
    node = memory::alloc_unset_cells(count);
  }
  *cell = Cell{TYPE_BLOCK, 0, node, 0};
  return cell;
}

Cell* make_in(Cell* parent, int32_t capacity) {
  if (!parent) {
    collector::register_root_node(&unparented_cell.data2);
    return make_at(&unparented_cell, capacity);
  }
  Cell made;
  make_at(&made, capacity);
  return append_cell(parent, &made);
}

Cell* make_in_sized(Cell* parent, int32_t capacity) {
  if (!parent) {
    collector::register_root_node(&root_cell.data2, collector::RANK_ROOT_BLOCK);
    return make_at_sized(&root_cell, capacity, true);
  }
  Cell made;
  make_at_sized(&made, capacity, true);
  return append_cell(parent, &made);
}

Cell* append_cell(const Cell* block, const Cell* value) {
  Cell copy = *value;   // the value may live in the buffer that grows
  Cell* slot = buffer::append_unset(block->node());
  *slot = copy;
  return slot;
}

Cell* append_cells_of(Cell* target, const Cell* source) {
  uint32_t count = length(source);
  uint32_t first = clamped_head(source);   // copied by index: appending may move the source
  for (uint32_t i = 0; i < count; ++i) append_cell(target, abs_at(source, first + i));
  return target;
}

Cell* insert_value(Cell* block, const Cell* value, bool advance, bool at_start) {
  Cell copy = *value;
  uint32_t position = at_start ? 0 : clamped_head(block);
  SeriesBuffer* series = room_for_one(block);
  Cell* first = reinterpret_cast<Cell*>(series->head_ptr());
  uint32_t count = cell_count(series);
  std::memmove(first + position + 1, first + position, (count - position) * kCellSize);
  first[position] = copy;
  series->tail += kCellSize;
  if (advance) block->data1 = position + 1;
  return first + position;
}

Cell* select_word(const Cell* block, const Cell* word, bool strict) {
  int32_t wanted = int32_t(word->data2);
  if (!strict) wanted = symbol::resolve(wanted);
  Cell* end = tail(block);
  for (Cell* cell = head(block); cell < end; ++cell) {
    TypeId type = cell->type();
    if (type < TYPE_WORD || type > TYPE_GET_WORD) continue;
    int32_t id = int32_t(cell->data2);
    if ((strict ? id : symbol::resolve(id)) != wanted) continue;
    return cell + 1 < end ? cell + 1 : nullptr;
  }
  return nullptr;
}

}  // namespace xol::block
