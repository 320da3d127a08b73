// Block storage: constructors, accessors, the append and insert primitives, and the support
// routines shared by every any-block type.
#include "runtime/datatypes/block_storage.h"

#include <algorithm>
#include <cstring>

#include "runtime/memory/collector.h"
#include "runtime/datatypes/hash.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/memory/memory.h"
#include "runtime/memory/cycles.h"

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
    series = memory::grow_series(
        series, memory::grown_size(series->size, uint64_t(series->used_bytes()) + kCellSize));
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

void cut_at(const Cell* block, uint32_t count) {
  SeriesBuffer* series = buffer(block);
  series->tail = series->head + std::min(count, cell_count(series)) * kCellSize;
}

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

namespace {
// As make_at; with `external` the buffer comes from outside the collected frames, otherwise its
// whole data area is pre-filled with unset cells.
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
}  // namespace

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
  if (block->is(TYPE_HASH)) {
    uint32_t position = cell_count(buffer(block)) - 1;
    hash::inserted(block, position, 1);
    return abs_at(block, position);
  }
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
  hash::inserted(block, position, 1);
  return abs_at(block, position);
}

Cell* open_gap(const Cell* block, uint32_t position, uint32_t count, bool doubled) {
  return reinterpret_cast<Cell*>(series::open_gap(block, position, count, doubled));
}

bool values_match(const Cell* stored, const Cell* sought, int32_t op) {
  CompareRoutine compare = actions::find<ACT_COMPARE>(sought->type());
  if (!compare) return std::memcmp(stored, sought, sizeof(Cell)) == 0;
  return compare(sought, stored, op) == 0;
}

bool type_in(const Cell* types, TypeId type) {
  if (types->is(TYPE_DATATYPE)) return types->data1 == type;
  // A typeset's 96 bits in memory order: id n is bit 0x80 >> (n & 7) of byte n >> 3.
  constexpr uint32_t kBitsPerByte = 8;
  constexpr uint8_t kHighBit = 0x80;
  const uint8_t* bits = reinterpret_cast<const uint8_t*>(&types->data1);
  return (bits[type / kBitsPerByte] & (kHighBit >> (type % kBitsPerByte))) != 0;
}

void clone(const Cell* block, bool deep, bool any_block, Cell* result) {
  Cell made;
  series::copy_units(block, clamped_head(block), length(block), &made);
  if (!deep) {
    *result = made;   // the result may be the source's own cell
    return;
  }
  if (cycles::find(block->node())) error::raise(error::CAT_INTERNAL, "no-cycle");
  cycles::Visit visit(block->node());
  *result = made;
  for (uint32_t i = 0, count = length(&made); i < count; ++i) {
    Cell nested = *abs_at(&made, i);
    TypeId type = nested.type();
    if (type != TYPE_BLOCK && !(any_block && (type == TYPE_PAREN || series::any_path(type))))
      continue;
    clone(&nested, true, any_block, &nested);
    *abs_at(&made, i) = nested;
  }
}

void find_type(const Cell* block, const Cell* types) {
  for (uint32_t i = clamped_head(block), count = cell_count(buffer(block)); i < count; ++i) {
    Cell nested = *abs_at(block, i);
    TypeId type = nested.type();
    bool copyable = series::is_series(type) || type == TYPE_BITSET || type == TYPE_OBJECT ||
                    type == TYPE_ERROR || type == TYPE_MAP;
    if (!copyable || !type_in(types, type)) continue;
    CopyRoutine copy = actions::find<ACT_COPY>(type);
    if (!copy) continue;
    Cell copied;
    copy(&nested, nullptr, true, nullptr, &copied);
    copied.header = (copied.header & ~kNewLineFlag) | (nested.header & kNewLineFlag);
    *abs_at(block, i) = copied;
  }
}

namespace {

bool is_equality_op(int32_t op) {
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_FIND_STRICT:
    case COMP_FIND: case COMP_SELECT:
      return true;
    default:
      return false;
  }
}

bool is_number_type(TypeId type) {
  return type == TYPE_INTEGER || type == TYPE_FLOAT || type == TYPE_PERCENT;
}

// Cells of different types that compare all the same: word kinds, and the plain numbers.
bool comparable(TypeId a, TypeId b) {
  if (a == b) return true;
  if (a >= TYPE_WORD && a <= TYPE_ISSUE && b >= TYPE_WORD && b <= TYPE_ISSUE) return true;
  return is_number_type(a) && is_number_type(b);
}

}  // namespace

int32_t compare_each(const Cell* block1, const Cell* block2, int32_t op) {
  bool same_place = block1->node() == block2->node() &&
                    clamped_head(block1) == clamped_head(block2);
  if (op == COMP_SAME) return same_place ? 0 : -1;
  if (same_place) return 0;
  if (cycles::find(block1->node())) return cycles::find(block2->node()) ? 0 : -1;
  uint32_t length1 = length(block1), length2 = length(block2);
  if (is_equality_op(op) && length1 != length2) return 1;
  if (length1 == 0) return length2 == 0 ? 0 : -1;
  cycles::Visit visit1(block1->node());
  cycles::Visit visit2(block2->node());
  uint32_t head1 = clamped_head(block1), head2 = clamped_head(block2);
  for (uint32_t i = 0, shorter = std::min(length1, length2); i < shorter; ++i) {
    // Copies: a nested compare may allocate and move both buffers.
    Cell a = *abs_at(block1, head1 + i);
    Cell b = *abs_at(block2, head2 + i);
    if (!comparable(a.type(), b.type())) return a.type() < b.type() ? -1 : 1;
    int32_t answer = actions::get<ACT_COMPARE>(a.type())(&a, &b, op);
    if (answer != 0) return answer;
  }
  return length1 < length2 ? -1 : length1 > length2 ? 1 : 0;
}

int32_t mold_each(const Cell* block, Cell* buffer, bool only, bool all, bool flat,
                  const Cell* argument, int32_t part, int32_t indent) {
  cycles::Visit visit(block->node());
  uint32_t first = clamped_head(block);
  uint32_t count = length(block);
  int32_t level = indent;
  bool closing_line = false;
  for (uint32_t i = 0; i < count; ++i) {
    if (part < 1) return part;
    Cell value = *abs_at(block, first + i);
    if (!flat && (value.header & kNewLineFlag)) {
      if (i == 0 && !only) {
        ++level;
        closing_line = true;
      }
      if (i > 0 || !only) part = text::append_counted(buffer, "\n", part);
      part = string::append_indent(buffer->node(), uint32_t(level), part);
    } else if (i > 0) {
      part = text::append_counted(buffer, " ", part);
    }
    part = actions::get<ACT_MOLD>(value.type())(&value, buffer, false, all, flat, argument, part,
                                               level);
  }
  if (closing_line) {
    part = text::append_counted(buffer, "\n", part);
    part = string::append_indent(buffer->node(), uint32_t(level - 1), part);
  }
  return part;
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
