// char!: one Unicode code point as a scalar value, child of integer!.
//
// It is what `pick`, `take`, `select` and `first` answer on text and what `append` adds to a
// string. Its arithmetic runs the 32-bit integer worker (with its overflow and zero-divide
// errors) and then checks that the result is still a code point. Unlike text, chars compare
// exactly: #"a" and #"A" differ.
//
// Cell: header type 10; payload word 2 holds the code point (0 to 10FFFF hex); words 1 and 3
// are 0.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/number.h"

namespace xol::character {

constexpr int32_t kMaxCodePoint = 0x10FFFF;

inline Cell make(uint32_t cp) { return Cell{TYPE_CHAR, 0, cp, 0}; }
inline uint32_t get(const Cell* value) { return value->data2; }

// Applies an arithmetic or bitwise operation (OP_ADD .. OP_XOR) to a char and an operand
// (char!, integer! or float!, truncated), writing the char! result; a result outside 0 to
// 10FFFF hex raises math `overflow`.
void do_math(MathOp op, const Cell* value, const Cell* operand, Cell* result);

// ---- actions ----
void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);

// Registers char! (id 10, parent integer!).
void init();

}  // namespace xol::character
