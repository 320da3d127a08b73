// Ground shared by the numeric datatypes (integer!, float!, percent!, time!, date!, money!):
// the operation codes of the arithmetic cores, the compare-op classes, and the errors they all
// raise.
//
// Every binary operation on a number goes through the arithmetic core of its first operand's
// type, which decides by the second operand's type and may hand the whole operation to another
// core (an integer plus a float goes to the float core, anything with money to the money core).
// The cores take the two operand cells and write one result cell, which may be the first
// operand's own cell: a core reads both operands before it writes the result.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"

namespace xol {

// One list of operation codes, shared by the arithmetic cores (0-7) and the set operations of
// the series types (8-12).
enum MathOp : int32_t {
  OP_ADD, OP_SUBTRACT, OP_MULTIPLY, OP_DIVIDE, OP_REMAINDER, OP_OR, OP_AND, OP_XOR,
  OP_UNIQUE, OP_UNION, OP_INTERSECT, OP_EXCLUDE, OP_DIFFERENCE,
};

namespace number {

// The action that carries an arithmetic or bitwise op (OP_ADD .. OP_XOR).
Action action_of(MathOp op);

// a op b on words of bits, for the bitwise ops and the set operations of bitset! and typeset!
// (OP_OR and OP_UNION, OP_AND and OP_INTERSECT, OP_EXCLUDE; any other op is exclusive or).
inline uint32_t combine_bits(MathOp op, uint32_t a, uint32_t b) {
  switch (op) {
    case OP_OR: case OP_UNION: return a | b;
    case OP_AND: case OP_INTERSECT: return a & b;
    case OP_EXCLUDE: return a & ~b;
    default: return a ^ b;
  }
}

// An arithmetic core: `left op right` written to `result`.
using MathCore = void (*)(MathOp op, const Cell* left, const Cell* right, Cell* result);
// The routine of the action that carries `Op`, run by `Core`: the add, subtract, ... rows of a
// type whose core takes the op as an argument all hold instances of this one template.
template <MathCore Core, MathOp Op>
void op_action(Cell* value1, Cell* value2, Cell* result) {
  Core(Op, value1, value2, result);
}
// Places the add, subtract, multiply, divide and remainder rows run by `Core` in `list`.
template <MathCore Core>
actions::ActionList& own_arithmetic(actions::ActionList& list) {
  return list.own(actions::own<ACT_ADD>(op_action<Core, OP_ADD>))
      .own(actions::own<ACT_SUBTRACT>(op_action<Core, OP_SUBTRACT>))
      .own(actions::own<ACT_MULTIPLY>(op_action<Core, OP_MULTIPLY>))
      .own(actions::own<ACT_DIVIDE>(op_action<Core, OP_DIVIDE>))
      .own(actions::own<ACT_REMAINDER>(op_action<Core, OP_REMAINDER>));
}
// Places the and~, or~ and xor~ rows run by `Core` in `list`.
template <MathCore Core>
actions::ActionList& own_bitwise(actions::ActionList& list) {
  return list.own(actions::own<ACT_AND>(op_action<Core, OP_AND>))
      .own(actions::own<ACT_OR>(op_action<Core, OP_OR>))
      .own(actions::own<ACT_XOR>(op_action<Core, OP_XOR>));
}

// Equality ops under which a value of another type is never equal (`strict-equal?`, `same?`
// and the equality of `find`, `select` and `put`).
inline bool is_strict_op(int32_t op) {
  return op == COMP_STRICT_EQUAL || op == COMP_SAME || op == COMP_SELECT;
}
// The ops that order rather than test equality.
inline bool is_ordering_op(int32_t op) {
  return (op >= COMP_LESSER && op <= COMP_GREATER_EQUAL) || op == COMP_SORT ||
         op == COMP_CASE_SORT;
}
// The op that asks the same question with the operands exchanged (lesser becomes greater).
int32_t swapped_op(int32_t op);
// A three-way answer turned round for exchanged operands; -2 (not comparable) stays.
inline int32_t swapped_answer(int32_t answer) {
  return answer == kNotComparable ? answer : -answer;
}
inline int32_t three_way(auto a, auto b) { return a < b ? -1 : (b < a ? 1 : 0); }

// The 1-based position in `names` of the name of an any-word cell, letter case ignored; 0 for
// another name or a value that is not a word. Names the fields of paths and `pick`.
int32_t word_index(const Cell* word, const char* const* names, int32_t count);

// The first bytes of a binary from its head, at most `max_bytes` (8 or fewer), read as one
// big-endian unsigned number; an empty binary gives 0. Integers and floats convert binaries
// through it.
uint64_t binary_prefix(const Cell* binary, int32_t max_bytes);

// The errors of the numeric types. Each names what the error catalogue's message shows.
[[noreturn]] void raise_zero_divide();
[[noreturn]] void raise_overflow();
// script `invalid-type`: the datatype of `value`.
[[noreturn]] void raise_invalid_type(const Cell* value);
// script `not-related`: the action's word and a datatype.
[[noreturn]] void raise_not_related(Action action, TypeId type);
// script `cannot-use`: the action's word and a datatype.
[[noreturn]] void raise_cannot_use(Action action, TypeId type);
// script `expect-arg`: the action's word, the datatype of the argument and its name.
[[noreturn]] void raise_expect_arg(Action action, const Cell* argument, const char* name);
// script `bad-to-arg` / `bad-make-arg`: the target datatype and the value.
[[noreturn]] void raise_bad_to_arg(TypeId target, const Cell* value);
[[noreturn]] void raise_bad_make_arg(TypeId target, const Cell* value);
// script `type-limit`: the datatype whose range the value leaves.
[[noreturn]] void raise_type_limit(TypeId type);
// script `invalid-arg`, `out-of-range`: the offending value.
[[noreturn]] void raise_invalid_arg(const Cell* value);
// script `invalid-path`: the path being walked and its element that the value has no field for.
[[noreturn]] void raise_invalid_path(const PathStep& step);
[[noreturn]] void raise_out_of_range(const Cell* index);

}  // namespace number
}  // namespace xol
