// map!: an associative table of key/value pairs with lookup by hash.
//
// The pairs live in a cell block, two cells each (key, then value), in insertion order; a
// kind-1 hash table of runtime/tables/hash_table.h indexes the keys. A removed pair stays in the
// block with its value cell's header 0 and every walk skips it; storing a value under its key
// again revives it in place. The number of entries is the table's live count.
//
// Keys are normalised when stored: the four word kinds become one set-word! key, and the
// string types are copied, so that changing the caller's string never moves a key. For the
// same reason the keys that `find` and `reflect` hand out for string types are copies.
//
// Cell: word 1 the head index, word 2 the pair block's node, word 3 the table's node.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"

namespace xol::map {

// Writes a map! over a new pair block with room for `capacity` pairs.
Cell* make_at(Cell* cell, int32_t capacity);
// The number of live entries.
int32_t count(const Cell* map);
// Whether values of this type may be keys.
bool valid_key_type(TypeId type);
// A stored key as handed out on its own (`foreach`, `find`): set-words as words, and text keys
// as copies, since a change to a stored key would move it under the index.
Cell key_given_out(const Cell* key);
// Stores every key/value pair of `block` (an even number of cells, else script
// `invalid-arg`), overwriting or reviving the pairs of keys already there.
void extend_from_block(const Cell* map, const Cell* block, bool case_sensitive);

// The make and reflect actions, which the JSON codec builds and reads maps with.
void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);
void reflect(Cell* map, const Cell* field, Cell* result);
void eval_path(const PathStep& step, Cell* result);
void put(Cell* map, Cell* key, Cell* value, bool case_sensitive, Cell* result);
void select(Cell* map, Cell* key, const FindOptions& options, Cell* result);

// Registers map! (id 40).
void init();

}  // namespace xol::map
