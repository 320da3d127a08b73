// typeset!: a set of datatypes, one bit per datatype id, held in the cell itself.
//
// The three payload words form a 96-bit set read as 12 bytes in memory order: the bit of id n
// is byte n >> 3 under the mask 0x80 >> (n & 7), so id 0 is the top bit of the first byte. That
// numbering is part of the stored form (the binary format writes the three words as they are),
// which is why a plain `1 << id` on a word is never used. Ids 0 and 55-95 name no datatype: only
// the default typeset and `complement` set them. Walks (count, mold, to-block) visit ids 1 up to
// the highest registered id; equality compares all 96 bits.
//
// A typeset has no buffer: copying the cell copies the set. It is the type list of every typed
// function argument, so membership is one byte load and one mask.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/number.h"

namespace xol::typeset {

constexpr int32_t kBits = 96;

inline const uint8_t* bytes(const Cell* set) {
  return reinterpret_cast<const uint8_t*>(&set->data1);
}
inline uint8_t* bytes(Cell* set) { return reinterpret_cast<uint8_t*>(&set->data1); }
inline uint8_t mask_of(int32_t id) { return uint8_t(0x80u >> (id & 7)); }

inline bool has(const Cell* set, int32_t id) { return bytes(set)[id >> 3] & mask_of(id); }
inline void add_id(Cell* set, int32_t id) { bytes(set)[id >> 3] |= mask_of(id); }

// A typeset with exactly these three words.
inline Cell make(uint32_t word1, uint32_t word2, uint32_t word3) {
  return Cell{TYPE_TYPESET, word1, word2, word3};
}
// A typeset of the given datatype ids.
Cell of(std::initializer_list<int32_t> ids);
// The set of an untyped argument: all 96 bits but the one of unset!.
Cell default_set();

// Number of set bits among ids 1 to the highest registered id.
int32_t count_types(const Cell* set);
// Appends a typeset of exactly these words to the tail of a block; answers the new cell.
Cell* make_default_in(Cell* block);
// Appends a typeset filled from a function's type block: datatypes and typesets, words
// replaced by their values (a word whose value is a word stands for object!), nested blocks
// skipped; anything else raises script `invalid-type-spec`.
Cell* make_from_block(Cell* block, const Cell* spec);
// The set operation `op` (OP_AND .. OP_XOR, OP_UNIQUE .. OP_DIFFERENCE) of a typeset and a
// typeset or datatype.
void set_operation(MathOp op, const Cell* set, const Cell* other, Cell* result);
// Makes `target` a new block of the words naming the set's datatypes, in id order.
Cell* to_block(const Cell* set, Cell* target);
// The printed form; with `only` the names without "make typeset! [" and "]". Answers the part
// limit minus the characters written.
int32_t form_mold(const Cell* set, Cell* buffer, bool only, bool has_part, int32_t part);

// ---- actions ----
void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);

// Registers typeset! (id 33).
void init();

}  // namespace xol::typeset
