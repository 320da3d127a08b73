// The tracked heap: plain runtime memory that never moves (tables, hook lists, scratch
// buffers), each block kept on one doubly linked list so that everything the runtime still
// holds can be freed at exit or listed for diagnosis. Values never live here.
#pragma once

#include <cstddef>

namespace xol::rt {

// Allocation failure is the fatal runtime error 94 "out of memory"; so is a size whose block
// header would overflow.
void* allocate(size_t size);
void* allocate_zeroed(size_t size);
// resize(nullptr, n) allocates; resize(p, 0) frees p and answers nullptr.
void* resize(void* block, size_t size);
// Freeing a pointer that is not on the list is ignored.
void free(void* block);
void free_all();
// Bytes of the live blocks, headers included.
size_t heap_bytes();
// Prints the list of live blocks through the low-level printer.
void dump_heap();

}  // namespace xol::rt
