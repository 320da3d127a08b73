// The runtime's thread: one thread on a large native stack of our own reservation.
//
// The interpreter recurses natively for every nested evaluation, so it runs on a stack far
// larger than the main thread's, reserved here with a no-access guard zone under it. Pages are
// backed only when touched, so a large reservation costs nothing until it is used. Knowing the
// exact bounds lets the collector scan the stack and the fault handler recognise an overflow.
#pragma once

#include <cstddef>
#include <cstdint>

namespace xol::platform {

struct AddressRange {
  uintptr_t low = 0;    // first byte
  uintptr_t high = 0;   // one past the last byte
};

struct ReservedStack {
  AddressRange usable;
  AddressRange guard;   // directly under `usable`: touching it faults
};

// Reserves `size` bytes of stack above a guard zone of `guard_size` bytes (both rounded up to
// whole pages); false when the OS refuses.
bool reserve_stack(size_t size, size_t guard_size, ReservedStack* stack);
// Runs `entry(argument)` on a new thread on `stack` and waits until the thread ends; false when
// the thread could not be started.
bool run_thread(const ReservedStack& stack, void (*entry)(void*), void* argument);

}  // namespace xol::platform
