// The storage layer of blocks: constructors, accessors and the append and insert primitives
// that every any-block type shares and that the rest of the runtime calls directly.
//
// A block cell holds its head index in cells (word 1) and the node of a buffer of 16-byte
// cells (word 2); word 3 is the hash index of a hash!, 0 otherwise. A head may lie past the
// tail after another reference shortened the buffer, so every routine that uses the head clamps
// it to the tail first. Cell pointers answered here are valid only until the next allocation:
// callers keep the block cell, not the pointer, across anything that can allocate.
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
// Advances the head by one cell unless at the tail; true when the head is then at the tail.
bool next_within(Cell* block);
// Drops every cell from absolute index `count` on.
void cut_at(const Cell* block, uint32_t count);
void cut_at_head(const Cell* block);
// Drops the last cell when there is one; a head left past the tail is moved to the tail.
void remove_last(Cell* block);

// ---- constructors ----

// Turns `cell` into an empty block! at head 0 with room for `capacity` cells (a negative or zero
// capacity gives 1). The cell is unset while the buffer is allocated, so a collection in between
// never sees a half-built block.
Cell* make_at(Cell* cell, int32_t capacity);
// As make_at; with `external` the buffer comes from outside the collected frames, otherwise its
// whole data area is pre-filled with unset cells.
Cell* make_at_sized(Cell* cell, int32_t capacity, bool external);
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

// ---- searching ----

// The cell after the first word (word!, set-word!, lit-word!, get-word!) whose symbol equals
// `word`'s: canonical symbols unless `strict`. Null when there is none or the match is last.
Cell* select_word(const Cell* block, const Cell* word, bool strict);

}  // namespace xol::block
