// Pages from the OS for the memory manager's frames and the node range.
#pragma once

#include <cstddef>

namespace xol::platform {

size_t page_size();
// Read-write zeroed pages, or nullptr when the OS refuses.
void* vm_allocate(size_t size);
// Answers false when the OS refuses to release them.
bool vm_free(void* block, size_t size);
// A large read-write range whose pages are only backed once touched (no swap reserved).
void* vm_reserve(size_t size);

}  // namespace xol::platform
