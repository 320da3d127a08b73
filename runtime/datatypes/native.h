// native!, action! and op!: the values that wrap the runtime's natives, the polymorphic
// actions, and infix operators made from either or from a function.
//
// A native! or action! cell holds a code id (word 1): the 1-based index of its routine in the
// natives table (120 slots) or the actions table (62 slots), never an address; word 2 the spec
// block's node; word 3 the node of a two-cell record, the context! cell of a context made from
// the spec and none. The tables belong to the evaluator, which fills them at start-up; a slot
// it leaves empty can never be reached, since `make native!` and `make action!` refuse it.
// A routine reads its arguments where its spec lays them out, so both makes are refused once
// start-up is over (a native made then with another spec would read cells never pushed), and
// `reflect` answers a copy of the spec.
//
// An op! cell is a copy of its source with type 23 in bits 0-7 and the source's type in bits
// 16-23; an operator made from a function! or routine! shares the function's record, whose
// cell 3 then holds a copy of the function.
#pragma once

#include <array>
#include <cstdint>

#include "runtime/cell.h"

namespace xol::natives {

constexpr int32_t kNativeSlots = 120;
constexpr int32_t kActionSlots = 62;

// A native or action dispatcher: it reads its arguments from the current frame of the argument
// stack and leaves its result in the frame's result cell. `check` asks it to check its argument
// types (callers that have not); `refinements` holds one entry per refinement of its spec: the
// stack index of the refinement's first argument (from the frame base) when used, else -1.
using Routine = void (*)(bool check, const int32_t* refinements);

void set_native(int32_t index, Routine routine);
void set_action(int32_t index, Routine routine);
// The routine of a slot (1-based), or null for an empty slot or an index out of range. Inline:
// every call of a native or action reads one.
extern std::array<Routine, kNativeSlots + 1> native_table;
extern std::array<Routine, kActionSlots + 1> action_table;
inline Routine native_at(int32_t index) {
  return index >= 1 && index <= kNativeSlots ? native_table[size_t(index)] : nullptr;
}
inline Routine action_at(int32_t index) {
  return index >= 1 && index <= kActionSlots ? action_table[size_t(index)] : nullptr;
}
// Empties both tables.
void clear_tables();

inline int32_t code_of(const Cell* value) { return int32_t(value->data1); }
// The source type of an op!.
inline TypeId op_source(const Cell* op) {
  return TypeId((op->header & kOpSourceMask) >> kOpSourceShift);
}

// ---- actions ----
void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);
void make_op(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);

// Register native! (21), action! (22, parent native!) and op! (23, parent native!).
void init_native();
void init_action();
void init_op();

}  // namespace xol::natives
