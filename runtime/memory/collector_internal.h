// What the collector's own units share: the marking work list, pinning, and the stack scan.
#pragma once

#include "runtime/memory/memory.h"

namespace xol::collector::detail {

// Visits the cells of every cell buffer marked since the last drain, and of those they reach.
void drain();
// Marks a node that a native-stack word names: a hash table's record together with the parts
// that only the record names, anything else as a block.
void mark_found(NodeId node);
// Pins a buffer that a native-stack word points into, and marks it (with its cells) unless a
// grow abandoned it.
void pin(memory::SeriesBuffer* buffer);
// External buffers (tracked heap) are never swept, so their marks are cleared here instead.
void clear_external_marks();
// Marks and pins from the calling thread's native stack, from `from` up to its base; the caller
// spilled the registers above `from`.
void scan_native_stack(uintptr_t from);

}  // namespace xol::collector::detail
