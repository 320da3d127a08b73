// Pages from the OS for the memory manager's frames and the node range.
#pragma once

#include <cstddef>

namespace xol::platform {

size_t page_size();

// The smallest multiple of `alignment` (a power of two) not below `size`.
constexpr size_t round_up(size_t size, size_t alignment) {
  return (size + alignment - 1) & ~(alignment - 1);
}
inline size_t round_to_pages(size_t size) { return round_up(size, page_size()); }

// Read-write zeroed pages, or nullptr when the OS refuses.
void* vm_allocate(size_t size);
// Answers false when the OS refuses to release them.
bool vm_free(void* block, size_t size);
// A large read-write range whose pages are only backed once touched (no swap reserved).
void* vm_reserve(size_t size);

}  // namespace xol::platform
