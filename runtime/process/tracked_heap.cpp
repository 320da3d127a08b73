// The tracked heap: malloc'd blocks threaded on one doubly linked list.
//
// Each block starts with a header (previous block, next block, the size the caller asked for)
// and the caller gets the address just past it. The header is padded to 32 bytes so that the
// caller's data keeps malloc's 16-byte alignment. New blocks go to the tail; freeing walks from
// the head, which is why this heap is for a modest number of long-lived runtime buffers only.
#include "runtime/process/tracked_heap.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "runtime/process/low_print.h"
#include "runtime/process/process.h"

namespace xol::rt {

namespace {

struct alignas(16) BlockHeader {
  BlockHeader* previous;
  BlockHeader* next;
  size_t asked;
};
static_assert(sizeof(BlockHeader) == 32, "two pointers and a size, padded to 16-byte alignment");

struct BlockList {
  BlockHeader* head;
  BlockHeader* tail;
  size_t real_bytes;   // headers included, for the memory statistics
};

// Zero-initialised before anything runs, so the list is empty at process start.
BlockList blocks;

BlockHeader* header_of(void* data) { return static_cast<BlockHeader*>(data) - 1; }
void* data_of(BlockHeader* header) { return header + 1; }

// The size to ask malloc for, or a fatal error when the header would overflow it.
size_t real_size(size_t asked, uintptr_t caller) {
  if (asked > SIZE_MAX - sizeof(BlockHeader)) runtime_error(RUNTIME_OUT_OF_MEMORY, caller);
  return asked + sizeof(BlockHeader);
}

void* allocate_block(size_t size, uintptr_t caller) {
  auto* header = static_cast<BlockHeader*>(std::malloc(real_size(size, caller)));
  if (header == nullptr) runtime_error(RUNTIME_OUT_OF_MEMORY, caller);
  header->previous = blocks.tail;
  header->next = nullptr;
  header->asked = size;
  blocks.real_bytes += size + sizeof(BlockHeader);
  if (blocks.tail == nullptr) {
    blocks.head = header;
  } else {
    blocks.tail->next = header;
  }
  blocks.tail = header;
  return data_of(header);
}

// Points a block's former neighbours (or the list ends) at `replacement`: the block's new
// address when realloc moved it, or null when the block leaves the list.
void relink(BlockHeader* previous, BlockHeader* next, BlockHeader* replacement) {
  BlockHeader* after_previous = replacement ? replacement : next;
  BlockHeader* before_next = replacement ? replacement : previous;
  if (previous == nullptr) {
    blocks.head = after_previous;
  } else {
    previous->next = after_previous;
  }
  if (next == nullptr) {
    blocks.tail = before_next;
  } else {
    next->previous = before_next;
  }
}

}  // namespace

void* allocate(size_t size) { return allocate_block(size, XOL_CALLER_ADDRESS); }

void* allocate_zeroed(size_t size) {
  void* data = allocate_block(size, XOL_CALLER_ADDRESS);
  std::memset(data, 0, size);
  return data;
}

void* resize(void* block, size_t size) {
  if (block == nullptr) return allocate_block(size, XOL_CALLER_ADDRESS);
  if (size == 0) {
    free(block);
    return nullptr;
  }
  BlockHeader* header = header_of(block);
  size_t new_size = real_size(size, XOL_CALLER_ADDRESS);
  BlockHeader* previous = header->previous;
  BlockHeader* next = header->next;
  auto* moved = static_cast<BlockHeader*>(std::realloc(header, new_size));
  if (moved == nullptr) runtime_error(RUNTIME_OUT_OF_MEMORY, XOL_CALLER_ADDRESS);
  blocks.real_bytes += size - moved->asked;
  moved->asked = size;
  relink(previous, next, moved);
  return data_of(moved);
}

void free(void* block) {
  // Compare addresses only: a pointer that is not ours is never dereferenced.
  auto wanted = reinterpret_cast<uintptr_t>(block) - sizeof(BlockHeader);
  BlockHeader* header = blocks.head;
  while (header != nullptr && reinterpret_cast<uintptr_t>(header) != wanted) {
    header = header->next;
  }
  if (header == nullptr) return;
  relink(header->previous, header->next, nullptr);
  blocks.real_bytes -= header->asked + sizeof(BlockHeader);
  std::free(header);
}

void free_all() {
  BlockHeader* header = blocks.head;
  while (header != nullptr) {
    BlockHeader* next = header->next;
    std::free(header);
    header = next;
  }
  blocks = BlockList{};
}

size_t heap_bytes() { return blocks.real_bytes; }

void dump_heap() {
  print_line("-- Heap-allocations --");
  print_line("Asked   Real");
  size_t sum = 0;
  for (BlockHeader* header = blocks.head; header != nullptr; header = header->next) {
    size_t real = header->asked + sizeof(BlockHeader);
    print_line(header->asked, '\t', real);
    sum += real;
  }
  print_line("-- Sum: ", sum, " --");
}

}  // namespace xol::rt
