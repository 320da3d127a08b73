// The action dispatchers: the entries of the action table that `action!` values name.
//
// A dispatcher is called like a native (a frame whose base holds the arguments, one parameter
// per refinement: the stack index of its first argument, or -1). It finds the routine of the
// first argument's type in that type's action row (two indexed loads) and calls it with the
// argument cells, turning the refinement parameters into the routine's typed options first:
// a refinement with an argument becomes the address of that argument's cell (null when not
// used), one without becomes a flag. A few dispatchers prepare more (`/part` counts of append,
// insert and change, pick and poke indexes, form and mold limits). The routine writes the
// result into the frame's base cell.
//
// eval-path, set-path and compare have no word and no dispatcher: the interpreter and the
// comparison natives reach their routines directly.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::actions {

// Fills the action table (start-up, after the datatypes are registered).
void register_dispatchers();

// The comparison of the frame's first two arguments under `op` (a CompareOp), as a logic!
// in the result slot; two values that cannot be compared are unequal for the equalities and
// raise script `invalid-compare` for the orderings.
void compare_op(int32_t op);
// The same on two cells: true or false.
bool compare_values(const Cell* value1, const Cell* value2, int32_t op);

// The commonest `append` (no /part, no /dup), done in place when the series' buffer has room:
// text to a string (string::append_at_tail) or one value to a block (block::append_at_tail).
// It runs no code and cannot fail; false, having done nothing, when the action must run.
bool append_in_place(Cell* series, const Cell* value);

}  // namespace xol::actions
