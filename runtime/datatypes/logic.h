// unset!, none! and logic!: the value-less and one-bit types, their shared constant cells, and
// the truth rule of the whole language.
//
// A value counts as false exactly when it is none! or logic! false; every other value, 0, the
// empty string and the empty block included, counts as true. unset! and none! cells carry only
// the header; a logic! cell holds 0 or 1 in word 1.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::unset {
// The shared unset cell, given its value by init.
extern Cell value;
Cell* box(Cell* slot);
// Compare of the value-less types: not comparable with another type, equal to their own under
// the equality and sort ops.
int32_t compare(const Cell* value1, const Cell* value2, int32_t op);
void init();
}  // namespace xol::unset

namespace xol::none {
extern Cell value;
inline Cell make() { return Cell{TYPE_NONE, 0, 0, 0}; }
Cell* box(Cell* slot);
void init();
}  // namespace xol::none

namespace xol::logic {
extern Cell true_value;
extern Cell false_value;

inline Cell make(bool truth) { return Cell{TYPE_LOGIC, truth ? 1u : 0u, 0, 0}; }
Cell* box(Cell* slot, bool truth);
inline bool get(const Cell* cell) { return cell->data1 != 0; }

// True unless none! or logic! false. With `check`, an unset! value raises script `no-value`
// naming `argument`.
bool cell_true(const Cell* cell, bool check, const Cell* argument);
// The tests of a result cell for compiled conditionals: true_q raises script `no-return` on an
// unset! value; false_q counts unset! as true.
[[noreturn]] void raise_no_return();
inline bool counts_false(const Cell* cell) {
  return cell->is(TYPE_NONE) || (cell->is(TYPE_LOGIC) && !get(cell));
}
inline bool true_q(const Cell* result) {
  if (result->is(TYPE_UNSET)) raise_no_return();
  return !counts_false(result);
}
inline bool false_q(const Cell* result) { return counts_false(result); }

void init();
}  // namespace xol::logic
