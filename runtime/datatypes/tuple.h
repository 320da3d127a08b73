// tuple!: 3 to 12 unsigned bytes written with dots (1.2.3, 255.0.0.128): colours, versions,
// addresses.
//
// The bytes live in the cell: byte 1 is the lowest-addressed byte of payload word 1, byte 12
// the highest of word 3; the byte count sits in header bits 19-22 beside the other header
// flags. Bytes past the count are zero in every tuple made here, so two tuples of different
// counts compare as if the shorter were padded with zeros. Arithmetic saturates each byte to
// 0..255 rather than failing.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/number.h"

namespace xol::tuple {

constexpr int32_t kMinBytes = 3;
constexpr int32_t kMaxBytes = 12;

inline int32_t count(const Cell* tuple) {
  return int32_t((tuple->header & kCountMask) >> kCountShift);
}
inline void set_count(Cell* tuple, int32_t n) {
  tuple->header = (tuple->header & ~kCountMask) | (uint32_t(n) << kCountShift);
}
inline const uint8_t* bytes(const Cell* tuple) {
  return reinterpret_cast<const uint8_t*>(&tuple->data1);
}
inline uint8_t* bytes(Cell* tuple) { return reinterpret_cast<uint8_t*>(&tuple->data1); }

// A tuple of `n` bytes (3 to 12) from `values`.
Cell make(int32_t n, const uint8_t* values);
// R.G.B, or R.G.B.A unless `a` is -1; each component keeps its low 8 bits.
Cell make_rgba(int32_t r, int32_t g, int32_t b, int32_t a);
// The bytes of `n` integers (low 8 bits each), padded with zeros to 3.
Cell from_ints(int32_t n, const int32_t* values);
// True when every byte within the count is 0.
bool all_zero(const Cell* tuple);

// tuple op operand (a tuple!, integer!, float! or percent!), written to `result`; with
// `number_first` the operand is the left-hand side.
void do_math(MathOp op, const Cell* tuple, const Cell* operand, bool number_first, Cell* result);

// ---- actions ----
void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);

// Registers tuple! (id 39).
void init();

}  // namespace xol::tuple
