// Stack bounds of the calling thread, through pthread_getattr_np.
//
// For the process's main thread glibc answers from /proc/self/maps, which is slow, so the answer
// is cached per thread: the collector asks at every cycle, and in torture mode that is at every
// allocation.
#include "platform/stack_bounds.h"

#include <pthread.h>

#include "runtime/process/process.h"

namespace xol::platform {

uintptr_t current_stack_base() {
  thread_local uintptr_t base = 0;
  if (base) return base;
  pthread_attr_t attr;
  void* low = nullptr;
  size_t size = 0;
  if (pthread_getattr_np(pthread_self(), &attr) != 0)
    rt::runtime_error(rt::RUNTIME_UNKNOWN, XOL_CALLER_ADDRESS);
  pthread_attr_getstack(&attr, &low, &size);
  pthread_attr_destroy(&attr);
  base = reinterpret_cast<uintptr_t>(low) + size;
  return base;
}

}  // namespace xol::platform
