// The runtime's thread on a stack of our own reservation.
#include "platform/thread.h"

#include <pthread.h>
#include <sys/mman.h>

#include "platform/virtual_memory.h"

namespace xol::platform {
namespace {

struct ThreadStart {
  void (*entry)(void*);
  void* argument;
};

void* thread_main(void* start) {
  const auto* what = static_cast<const ThreadStart*>(start);
  what->entry(what->argument);
  return nullptr;
}

}  // namespace

bool reserve_stack(size_t size, size_t guard_size, ReservedStack* stack) {
  size = round_to_pages(size);
  guard_size = round_to_pages(guard_size);
  void* block = mmap(nullptr, guard_size + size, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
  if (block == MAP_FAILED) return false;
  if (mprotect(block, guard_size, PROT_NONE) != 0) {
    munmap(block, guard_size + size);
    return false;
  }
  const auto low = reinterpret_cast<uintptr_t>(block);
  stack->guard = {low, low + guard_size};
  stack->usable = {low + guard_size, low + guard_size + size};
  return true;
}

bool run_thread(const ReservedStack& stack, void (*entry)(void*), void* argument) {
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return false;
  ThreadStart start{entry, argument};
  pthread_t thread;
  bool started =
      pthread_attr_setstack(&attributes, reinterpret_cast<void*>(stack.usable.low),
                            stack.usable.high - stack.usable.low) == 0 &&
      pthread_create(&thread, &attributes, thread_main, &start) == 0;
  pthread_attr_destroy(&attributes);
  if (started) pthread_join(thread, nullptr);
  return started;
}

}  // namespace xol::platform
