// handle!: an opaque external value carried through the language.
//
// A handle! cell: header (type 46); word 1 the kind (an index into the kinds of the handle
// table, 0 for a plain handle); word 2 the value, 32 bits; word 3 the handle-table slot that
// keeps the resource alive, or -1. A native object (a window, a pixbuf) never sits in a cell:
// it goes into a handle-table slot whose index is both the value and word 3, so the collector
// marks the slot while a handle reaches it and releases the object through its kind once none
// does.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::handle {

constexpr int32_t kPlainKind = 0;
constexpr int32_t kNoSlot = -1;

inline uint32_t value_of(const Cell* handle) { return handle->data2; }
inline int32_t kind_of(const Cell* handle) { return int32_t(handle->data1); }
inline int32_t slot_of(const Cell* handle) { return int32_t(handle->data3); }

Cell* make_at(Cell* cell, uint32_t value, int32_t kind);
// Puts `object` into a new handle-table slot of `kind` and writes a handle naming it into
// `cell`, which must already be reachable by the collector (the slot lives only as long as a
// handle reaches it).
Cell* make_resource(Cell* cell, uintptr_t object, int32_t kind);

int32_t form(const Cell* value, Cell* buffer, const Cell* argument, int32_t part);

// Registers handle! (id 46, parent integer!).
void init();

}  // namespace xol::handle
