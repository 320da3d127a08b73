// The storage layer of blocks: constructors, accessors, the append and insert primitives, and
// the support routines (clone, element-wise compare, the molding loop) that every any-block
// type shares and that the rest of the runtime calls directly.
//
// A block cell holds its head index in cells (word 1) and the node of a buffer of 16-byte
// cells (word 2); word 3 is the hash index of a hash!, 0 otherwise. A head may lie past the
// tail after another reference shortened the buffer, so every routine that uses the head clamps
// it to the tail first. Cell pointers answered here are valid only until the next allocation:
// callers keep the block cell, not the pointer, across anything that can allocate. Every
// primitive that adds cells keeps a hash! index current.
//
// The molding loop honours the new-line flag (header bit 30) that the lexer sets on a value
// that began a line: such a value starts a new line indented four spaces per level, and a
// block whose first value is flagged closes on a line of its own. Everything printed counts
// against the part limit, and the walk stops once the limit is used up.
//
// The root block, made first at start-up, lives in a fixed runtime-wide cell; everything made
// while the boot flag is set is appended to it so that it stays reachable.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::block {

// ---- the fixed cells for blocks made without a parent ----

// The cell that `make_in_sized(nullptr, ...)` fills: the root block.
Cell* root();
// True once the root block has been made.
bool root_exists();
// Forgets the root block and the block made without a parent, and their collector roots
// (runtime shutdown).
void release_roots();

// ---- accessors ----

// The head index clamped to the tail.
uint32_t head_position(const Cell* block);
// Number of cells from the head (clamped) to the tail.
uint32_t length(const Cell* block);
// The cell at the head, clamped to the tail.
Cell* head(const Cell* block);
// Just past the last cell of the buffer.
Cell* tail(const Cell* block);
bool at_tail(const Cell* block);
// Cell `index` counted from the buffer start, the head not added.
Cell* abs_at(const Cell* block, uint32_t index);
// Drops every cell from absolute index `count` on.
void cut_at(const Cell* block, uint32_t count);
// Drops the last cell when there is one; a head left past the tail is moved to the tail.
void remove_last(Cell* block);

// ---- constructors ----

// Turns `cell` into an empty block! at head 0 with room for `capacity` cells (a negative or zero
// capacity gives 1). The cell is unset while the buffer is allocated, so a collection in between
// never sees a half-built block.
Cell* make_at(Cell* cell, int32_t capacity);
// A new empty block at the tail of `parent`, or in the fixed cell when `parent` is null.
Cell* make_in(Cell* parent, int32_t capacity);
// As make_in with make_at_sized: an external buffer; a null parent makes the root block.
Cell* make_in_sized(Cell* parent, int32_t capacity);

// ---- appending and inserting ----

// Appends a copy of `value` (which may lie in the same buffer) at the tail; answers the new cell.
Cell* append_cell(const Cell* block, const Cell* value);
// Appends copies of the source's cells from its head to its tail; answers the target.
Cell* append_cells_of(Cell* target, const Cell* source);
// Inserts a copy of `value` at the head (at the buffer start with `at_start`); with `advance`
// the head moves past the new cell. Answers the new cell.
Cell* insert_value(Cell* block, const Cell* value, bool advance, bool at_start);

// Opens a gap of `count` cells at absolute `position` (cells after it move up), growing the
// buffer when needed to the size needed, twice that with `doubled`. Answers the gap; the
// caller fills it and then tells a hash! index (hash::inserted).
Cell* open_gap(const Cell* block, uint32_t position, uint32_t count, bool doubled);

// ---- searching ----

// Whether `stored` equals `sought` under compare op `op` (the sought value's compare routine).
bool values_match(const Cell* stored, const Cell* sought, int32_t op);
// Whether a cell of `type` belongs to `types`, a datatype! or a typeset!.
bool type_in(const Cell* types, TypeId type);

// The cell after the first word (word!, set-word!, lit-word!, get-word!) whose symbol equals
// `word`'s: canonical symbols unless `strict`. Null when there is none or the match is last.
Cell* select_word(const Cell* block, const Cell* word, bool strict);

// ---- copying ----

// A new block of the source's type at head 0 holding copies of the cells from its head. With
// `deep`, nested block! values are cloned too (and paren! and the path types with
// `any_block`); hash! values never are. A block met again inside itself raises internal
// `no-cycle`.
void clone(const Cell* block, bool deep, bool any_block, Cell* result);
// Replaces every cell of the block (from its head) whose type is in `types` (a datatype! or a
// typeset!) and that is a series, bitset!, object!, error! or map! by its deep copy: the
// `types` refinement of `copy`.
void find_type(const Cell* block, const Cell* types);

// ---- comparing and printing ----

// The body of `compare` for every any-block type: -1, 0 or 1 (or a nested -2). The empty
// block is lesser than any other, so the order is antisymmetric.
int32_t compare_each(const Cell* block1, const Cell* block2, int32_t op);
// Molds the cells from the head (without brackets), with the new-line and indentation rules
// above; answers the remaining part limit.
int32_t mold_each(const Cell* block, Cell* buffer, bool only, bool all, bool flat,
                  const Cell* argument, int32_t part, int32_t indent);

}  // namespace xol::block
