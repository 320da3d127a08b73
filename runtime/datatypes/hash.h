// hash!: a block whose cells are indexed by hash, so that `find`, `select`, `put` and the set
// operations locate values without scanning; and the hashing of values that map! shares.
//
// The index is one byte series (named by word 3 of every hash! cell over the buffer): a small
// header, buckets open-addressed with the scheme of runtime/tables/buckets.h, and an arena of
// position lists. A bucket stands for one hash and holds every cell position of that hash in
// increasing order (a lone one in the bucket itself, more in a list), so a lookup probes for
// its hash once and tests the positions from the end the search starts at: a run of equal
// values costs an insert or a first match no more than one value does. Positions count from
// the buffer start, whatever the head of the cell at hand, so all cells over one buffer share
// one index. Every routine that changes cells calls the upkeep
// below (`forget` before, `remember` after; `inserted` and `removing` shift the positions of
// the cells that move), which keeps the invariant: the index holds exactly the indexable cells
// of the buffer, each at its current position.
//
// Text keys are the user's series and change in place without the hash! knowing: such a
// change leaves the key under the hash of its old content. Every indexed text buffer is
// flagged and its changes (announced through series::Notice) are logged; before its next
// search or removal, an index that holds text places the cells on the changed buffers again
// (or, having missed more changes than the log keeps, is laid out again).
//
// Not every value is indexed. A value's hash must agree with every equality its type's compare
// routine answers under the search ops (12, 2 with /case, 9 with /same), and that is known for
// the scalar, word and text types, which are the keys that matter. Cells of other types stay
// out of the index, and a search for such a value scans the block instead, so a hash! answers
// every search exactly as the same block! would. Hashes are coarse on purpose: integers,
// chars and integral floats of the same value hash alike, text hashes folded to upper case.
// map! keys hash the same way except integers: a map compares a key only with keys of its own
// type, so its integer keys hash by value alone, without the folding.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"

namespace xol::hash {

// ---- the index of a hash! ----

// Builds a new index over every cell of the series' buffer and stores its node in word 3.
void build_index(Cell* series);
// Records a change of the text buffer `text`, which some index holds as a key (the buffer has
// FLAG_HASH_KEY).
void key_changed(NodeId text);

// Upkeep, each a no-op for a series that is not a hash!:
// cells [position, position + count) are about to change in place, or have just changed;
void forget(const Cell* series, uint32_t position, uint32_t count);
void remember(const Cell* series, uint32_t position, uint32_t count);
// `count` cells were just inserted at `position` (the cells after them moved up);
void inserted(const Cell* series, uint32_t position, uint32_t count);
// `count` cells from `position` are about to be removed (the cells after them move down).
void removing(const Cell* series, uint32_t position, uint32_t count);
// `count` cells moved from `from` to `to` inside the buffer (positions before the move).
void moved(const Cell* series, uint32_t from, uint32_t count, uint32_t to);

// A search through the index, with the positions it may answer: forward from `start` on the
// grid start + k x skip below `end`; with `last` the greatest such position; with `backward`
// the greatest position below `start` on the grid start - 1 - k x skip.
struct Search {
  uint32_t start;
  uint32_t end;
  uint32_t skip;
  bool last;
  bool backward;
};
// True when the index can answer a search for `value` (the series is a hash! and the value is
// of an indexed type).
bool can_search(const Cell* series, const Cell* value);
// The position of the match, or -1. `matches(stored, value, op)` is the block's own test.
int32_t search(const Cell* series, const Cell* value, int32_t op, const Search& search,
               bool (*matches)(const Cell* stored, const Cell* sought, int32_t op));

// ---- actions ----

// Registers hash! (id 36) and plugs value hashing into the hash tables of map! keys.
void init();

}  // namespace xol::hash
