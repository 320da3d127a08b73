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

// ---- header bits kept by the types ----
// Above the type id each type keeps its own flags and small fields in the header. They are
// named here, once, in the type's namespace, because units below the type (the collector, the
// XOLBIN codec) read them as well. Bits of different types may coincide; the bits one cell can
// carry may not, which the asserts below check.

namespace context {
// context!: the kind (plain, function, object), values on the argument stack, an object's
// context, and "the owners table has walked this object's fields".
constexpr uint32_t kKindShift = 11;
constexpr uint32_t kKindMask = 0x3u << kKindShift;
constexpr uint32_t kOwnerWalkedFlag = 0x10000;
constexpr uint32_t kOnStackFlag = 0x400000;
constexpr uint32_t kObjectFlag = 0x1000000;
// A word of an object's word list: set whenever its field is assigned.
constexpr uint32_t kChangedMark = 0x2000;
}  // namespace context

namespace function {
// Any function value (an op! keeps its source's): trace its body, or never trace it.
constexpr uint32_t kTraceFlag = 0x400;
constexpr uint32_t kNoTraceFlag = 0x200;
}  // namespace function

namespace routines {
// routine!: arguments and result passed as cells, and the arity (spec words, at most 31).
constexpr uint32_t kPassCellsFlag = 0x8000;
constexpr uint32_t kArityShift = 25;
constexpr uint32_t kArityMask = 0x1F;
}  // namespace routines

namespace natives {
// op!: the type of the function it was made from, in header byte 2.
constexpr uint32_t kOpSourceShift = 16;
constexpr uint32_t kOpSourceMask = kTypeMask << kOpSourceShift;
}  // namespace natives

namespace money {
constexpr uint32_t kSignFlag = 1u << 14;   // money!: negative
}  // namespace money

namespace tuple {
constexpr uint32_t kCountShift = 19;   // tuple!: the number of bytes, 3 to 12
constexpr uint32_t kCountMask = 0xFu << kCountShift;
}  // namespace tuple

namespace interpreter {
// The typesets of an argument cache: how the argument is fetched (an interpreter::ArgKind).
constexpr uint32_t kArgKindShift = 20;
constexpr uint32_t kArgKindMask = 0x3u << kArgKindShift;
}  // namespace interpreter

namespace event {
constexpr uint32_t kMadeFlag = 0x1000;   // event!: made by code, payload word 2 is its block
}  // namespace event

// True when no two of the masks share a bit.
constexpr bool disjoint(std::initializer_list<uint32_t> masks) {
  uint32_t seen = 0;
  for (uint32_t mask : masks) {
    if (seen & mask) return false;
    seen |= mask;
  }
  return true;
}
static_assert(disjoint({kTypeMask, kNewLineFlag, context::kKindMask, context::kOwnerWalkedFlag,
                        context::kOnStackFlag, context::kObjectFlag}));
static_assert(disjoint({kTypeMask, kNewLineFlag, context::kChangedMark}));
static_assert(disjoint({kTypeMask, kNewLineFlag, function::kTraceFlag, function::kNoTraceFlag,
                        routines::kPassCellsFlag, routines::kArityMask << routines::kArityShift,
                        natives::kOpSourceMask}));
static_assert(disjoint({kTypeMask, kNewLineFlag, money::kSignFlag}));
static_assert(disjoint({kTypeMask, kNewLineFlag, tuple::kCountMask}));
static_assert(disjoint({kTypeMask, kNewLineFlag, interpreter::kArgKindMask}));
static_assert(disjoint({kTypeMask, kNewLineFlag, event::kMadeFlag}));

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
