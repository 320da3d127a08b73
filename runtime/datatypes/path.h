// The block variants that differ from block! only in how they are built and printed: path!
// with lit-path!, set-path! and get-path!, and paren!.
//
// Their cells and buffers are block!'s and they inherit block!'s actions; a path molds as its
// segments joined by "/", with its mark ("'" before a lit-path, ":" before a get-path, ":"
// after a set-path), at indentation level 0, since a path never breaks across lines. A paren
// molds as a block in "(" and ")".
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"

namespace xol::path {

// Turns `cell` into an empty path! with room for `capacity` segments.
Cell* make_at(Cell* cell, int32_t capacity);

// Registers path!, lit-path!, set-path! and get-path! (ids 25-28), after block!.
void init();

}  // namespace xol::path

namespace xol::paren {

// Registers paren! (id 6), after block!.
void init();

}  // namespace xol::paren
