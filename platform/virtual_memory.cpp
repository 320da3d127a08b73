// Pages from the OS: anonymous private mappings.
#include "platform/virtual_memory.h"

#include <cstdint>

#include <sys/mman.h>
#include <unistd.h>

namespace xol::platform {

size_t page_size() {
  static const size_t size = size_t(sysconf(_SC_PAGESIZE));
  return size;
}

void* vm_allocate(size_t size) {
  void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  return block == MAP_FAILED ? nullptr : block;
}

bool vm_free(void* block, size_t size) { return munmap(block, size) == 0; }

void* vm_reserve(size_t size) {
  void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  return block == MAP_FAILED ? nullptr : block;
}

}  // namespace xol::platform
