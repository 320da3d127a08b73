// The value cell: every value of the language is one 16-byte cell.
//
// Word 0 is the header (type id in bits 0-7, flags above it, bit 30 the new-line marker that
// mold honours); words 1-3 are the payload, whose meaning each datatype fixes. A cell never
// holds a machine address: series values name their buffer through a 32-bit node id (payload
// word 2) and their head index in units (word 1), so buffers can move without touching cells.
// A double takes words 2-3, which stay 8-byte aligned inside cell buffers.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace xol {

// Datatype ids, fixed: the datatype words' symbols and the XOLBIN format use these numbers.
enum TypeId : uint8_t {
  TYPE_DATATYPE = 1, TYPE_UNSET, TYPE_NONE, TYPE_LOGIC, TYPE_BLOCK, TYPE_PAREN, TYPE_STRING,
  TYPE_FILE, TYPE_URL, TYPE_CHAR, TYPE_INTEGER, TYPE_FLOAT, TYPE_SYMBOL, TYPE_CONTEXT, TYPE_WORD,
  TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD, TYPE_REFINEMENT, TYPE_ISSUE, TYPE_NATIVE,
  TYPE_ACTION, TYPE_OP, TYPE_FUNCTION, TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH,
  TYPE_ROUTINE, TYPE_BITSET, TYPE_TRIPLE, TYPE_OBJECT, TYPE_TYPESET, TYPE_ERROR, TYPE_VECTOR,
  TYPE_HASH, TYPE_PAIR, TYPE_PERCENT, TYPE_TUPLE, TYPE_MAP, TYPE_BINARY, TYPE_SERIES, TYPE_TIME,
  TYPE_TAG, TYPE_EMAIL, TYPE_HANDLE, TYPE_DATE, TYPE_PORT, TYPE_MONEY, TYPE_REF, TYPE_POINT2D,
  TYPE_POINT3D, TYPE_IMAGE, TYPE_EVENT,
};
constexpr int kTypeCount = TYPE_EVENT;  // highest datatype id

// Sets of datatypes as 64-bit masks, one bit per type id, so that testing a cell's type against
// one is a shift.
static_assert(kTypeCount < 64, "every type id has its bit in a 64-bit set");
constexpr uint64_t types_of(std::initializer_list<TypeId> types) {
  uint64_t mask = 0;
  for (TypeId type : types) mask |= uint64_t(1) << type;
  return mask;
}
// Every cell holds a type id below 64 (kTypeCount), so the shift stays inside the set.
inline bool in_types(uint64_t types, TypeId type) { return types >> type & 1; }

// A node id names one slot of the node table; 0 names nothing.
using NodeId = uint32_t;
constexpr NodeId kNoNode = 0;

constexpr uint32_t kTypeMask = 0xFF;
constexpr uint32_t kNewLineFlag = 0x40000000;

struct Cell {
  uint32_t header;
  uint32_t data1;
  uint32_t data2;
  uint32_t data3;

  TypeId type() const { return TypeId(header & kTypeMask); }
  bool is(TypeId t) const { return type() == t; }

  // Series values: head index in units and the buffer's node.
  uint32_t head_index() const { return data1; }
  NodeId node() const { return data2; }

  // Doubles live in words 2-3.
  double float_value() const {
    double d;
    std::memcpy(&d, &data2, sizeof d);
    return d;
  }
  void set_float_value(double d) { std::memcpy(&data2, &d, sizeof d); }
};
static_assert(sizeof(Cell) == 16, "a cell is four 32-bit words");
static_assert(alignof(Cell) == 4);

namespace cell {

// Replaces the type id, keeping the flags above it.
inline void set_type(Cell* c, TypeId t) { c->header = (c->header & ~kTypeMask) | t; }
inline void clear_new_line(Cell* c) { c->header &= ~kNewLineFlag; }
inline void set_unset(Cell* c) { *c = Cell{TYPE_UNSET, 0, 0, 0}; }

}  // namespace cell

// Copies the four words; a cell copied onto itself is left alone.
inline Cell* copy_cell(const Cell* source, Cell* target) {
  if (source != target) *target = *source;
  return target;
}

}  // namespace xol
