// Processor faults and interrupts, turned into runtime error codes.
//
// One handler serves every fatal signal: a table maps the signal and its si_code to a runtime
// error code, and a fault whose address lies in the guard zone under the runtime thread's stack
// is an overflow of that stack. The handler runs on an alternate signal stack, so it still runs
// when the native stack is used up; it hands the code and the faulting instruction's address to
// the runtime's reporter, in signal context, where only async-signal-safe calls are allowed.
// SIGINT, SIGHUP (the terminal closing) and SIGTERM end the process at once, silently, with the
// status 128 + the signal's number that shells expect of a process those signals ended.
#pragma once

#include <cstdint>

namespace xol::platform {

// Receives the runtime error code and the address of the faulting instruction; ends the process.
using FaultReporter = void (*)(int code, uintptr_t address);

// Status 128 + N of a process that signal N ended.
constexpr int kSignalledStatusBase = 128;

// Installs the handler for the fatal signals and the interrupts, for the whole process.
void install_signal_handlers(FaultReporter reporter);
// Gives the calling thread its own alternate signal stack; false when it cannot be made.
bool install_alternate_signal_stack();
// Faults at addresses in [low, high) are overflows of the runtime thread's native stack.
void watch_stack_guard(uintptr_t low, uintptr_t high);
// The runtime error code of a signal with this si_code, faulting at `fault_address`.
int runtime_error_for_signal(int signal, int si_code, uintptr_t fault_address);

}  // namespace xol::platform
