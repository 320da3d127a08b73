// bitset!: a growable set of non-negative integers, one bit per integer; the character sets of
// `parse`, `find` on text and the lexer.
//
// The cell holds only the node of a byte buffer (payload word 2); the bits start at the buffer
// head. Bit n is byte n >> 3 under the mask 0x80 >> (n & 7), most significant bit first, so the
// letter a (97) is byte 12, mask 0x40.
//
// A set may be complemented (flag kComplemented in the buffer's flags word): it then also holds
// every integer past its stored bytes. The stored bytes always hold the true membership of the
// integers they cover, so a membership test is one byte load, or the flag past the tail. Every
// byte of the capacity beyond the tail holds the set's fill (0xFF complemented, 0x00 plain), so
// moving the tail up inside the capacity never changes the membership.
//
// The spec language of `make` (integers, chars, strings, ranges `a - z`, nested blocks, a
// leading `not`) is shared by `append`, `insert`, `poke`, `remove`, `pick` and `find` through
// one walker whose operation measures, sets, tests or clears.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/number.h"
#include "runtime/memory/memory.h"

namespace xol::bitset {

// Buffer flag of a complemented set, beside the unit bits and the memory manager's own flags.
constexpr uint32_t kComplemented = 0x80000;

inline memory::SeriesBuffer* buffer_of(const Cell* set) { return memory::buffer_of(set->node()); }
inline bool complemented(const Cell* set) { return buffer_of(set)->flags & kComplemented; }
// Stored bytes, tail minus head.
inline uint32_t byte_length(const Cell* set) { return buffer_of(set)->used_bytes(); }

// Membership of `n`: the hot path of `parse` and the lexer.
inline bool contains(const Cell* set, uint32_t n) {
  const memory::SeriesBuffer* buffer = buffer_of(set);
  uint32_t byte = n >> 3;
  if (byte >= buffer->used_bytes()) return buffer->flags & kComplemented;
  return buffer->data()[buffer->head + byte] & (0x80u >> (n & 7));
}

// The spec walker's operations and the callers that choose its error for a bad value.
enum WalkOp : int32_t { WALK_MEASURE, WALK_SET, WALK_TEST, WALK_CLEAR };
enum Caller : int32_t { CALLER_MAKE, CALLER_TO, CALLER_OTHER };

// A new plain set of `bytes` zero bytes.
Cell make_empty(uint32_t bytes);
// Address of the first stored byte and just past the last; valid until the next allocation.
uint8_t* zq_head(const Cell* set);
// The set operations OP_AND .. OP_XOR and OP_UNIQUE .. OP_DIFFERENCE, as sets: a complemented
// operand counts every integer past its bytes, and so does the result where it should.
void do_bitwise(MathOp op, const Cell* set1, const Cell* set2, Cell* result);

// Registers bitset! (id 30).
void init();

}  // namespace xol::bitset
