// The refs table keeps values alive by a small 1-based index, for native code that must hold a
// value where the collector cannot see it (a GUI window remembering its face). It is one cell
// block, a collector root; a free slot is an `integer!` cell whose word 2 names the next free
// slot, so the free list costs no memory of its own and is LIFO.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::refs {

constexpr uint32_t kInitialCapacity = 100;   // doubled when the free list runs dry
constexpr uint32_t kNoValue = 0;             // the index that names nothing

// Makes the block and chains every slot as free; registers the block as a collector root.
void init();
// Forgets the block, so the root marks nothing (at shutdown, or before the memory manager is
// reset).
void shutdown();
// Keeps a copy of `value` and answers its 1-based index.
uint32_t put(const Cell& value);
// The kept cell; valid until the next allocation (the block may move).
Cell* get(uint32_t index);
// Frees the slot of `index` (kNoValue does nothing); it is the next one `put` hands out.
void free(uint32_t index);
uint32_t capacity();

}  // namespace xol::refs
