// Processor faults and interrupts, turned into runtime error codes.
//
// The tables follow the meaning of each si_code onto the runtime error text closest to it; a
// code the tables do not know falls back to the signal's general code.
#include "platform/signals.h"

#include <csignal>
#include <cstddef>

#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include "runtime/process/process.h"

namespace xol::platform {
namespace {

// Room for the handler and the report it formats, with a wide margin for sanitizer builds.
constexpr size_t kAlternateStackSize = 256 * 1024;

struct SignalCode {
  int signal;
  int si_code;
  int error;
};

constexpr SignalCode kSignalCodes[] = {
    {SIGBUS, BUS_ADRALN, rt::RUNTIME_INVALID_ALIGNMENT},
    {SIGFPE, FPE_FLTSUB, rt::RUNTIME_BOUNDS_EXCEEDED},
    {SIGFPE, FPE_FLTDIV, rt::RUNTIME_FLOAT_DIVIDE_BY_ZERO},
    {SIGFPE, FPE_FLTRES, rt::RUNTIME_FLOAT_INEXACT},
    {SIGFPE, FPE_FLTINV, rt::RUNTIME_FLOAT_INVALID},
    {SIGFPE, FPE_FLTOVF, rt::RUNTIME_FLOAT_OVERFLOW},
    {SIGFPE, FPE_FLTUND, rt::RUNTIME_FLOAT_UNDERFLOW},
    {SIGFPE, FPE_INTDIV, rt::RUNTIME_INT_DIVIDE_BY_ZERO},
    {SIGFPE, FPE_INTOVF, rt::RUNTIME_INT_OVERFLOW},
};

// Every signal the runtime handles, with the code of an si_code that the table above lacks.
struct SignalDefault {
  int signal;
  int error;
};

constexpr SignalDefault kSignalDefaults[] = {
    {SIGSEGV, rt::RUNTIME_ACCESS_VIOLATION},
    {SIGBUS, rt::RUNTIME_BUS_ERROR},
    {SIGFPE, rt::RUNTIME_FPU_ERROR},
    {SIGILL, rt::RUNTIME_ILLEGAL_INSTRUCTION},
    {SIGTRAP, rt::RUNTIME_BREAKPOINT},
};

constexpr int kInterrupts[] = {SIGINT, SIGHUP, SIGTERM};

FaultReporter reporter = nullptr;
uintptr_t guard_low = 0;
uintptr_t guard_high = 0;

uintptr_t instruction_address(const void* context) {
  const auto* machine = &static_cast<const ucontext_t*>(context)->uc_mcontext;
#if defined(__x86_64__)
  return uintptr_t(machine->gregs[REG_RIP]);
#elif defined(__aarch64__)
  return uintptr_t(machine->pc);
#else
#error "instruction_address: unknown processor"
#endif
}

void on_signal(int signal, siginfo_t* info, void* context) {
  int code = runtime_error_for_signal(signal, info->si_code, uintptr_t(info->si_addr));
  reporter(code, code == rt::RUNTIME_NORMAL_END ? 0 : instruction_address(context));
  _exit(code);   // the reporter ends the process; returning into the fault would repeat it
}

// Standard output is written unbuffered, so nothing is left to flush.
void on_interrupt(int signal) { _exit(kSignalledStatusBase + signal); }

}  // namespace

int runtime_error_for_signal(int signal, int si_code, uintptr_t fault_address) {
  if (signal == SIGSEGV && fault_address >= guard_low && fault_address < guard_high)
    return rt::RUNTIME_STACK_OVERFLOW;
  for (const SignalCode& entry : kSignalCodes)
    if (entry.signal == signal && entry.si_code == si_code) return entry.error;
  for (const SignalDefault& entry : kSignalDefaults)
    if (entry.signal == signal) return entry.error;
  return rt::RUNTIME_UNKNOWN;
}

void install_signal_handlers(FaultReporter fault_reporter) {
  reporter = fault_reporter;
  struct sigaction action = {};
  action.sa_sigaction = on_signal;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigfillset(&action.sa_mask);
  for (const SignalDefault& entry : kSignalDefaults) sigaction(entry.signal, &action, nullptr);
  struct sigaction interrupt = {};
  interrupt.sa_handler = on_interrupt;
  sigfillset(&interrupt.sa_mask);
  for (int signal : kInterrupts) sigaction(signal, &interrupt, nullptr);
}

bool install_alternate_signal_stack() {
  void* block = mmap(nullptr, kAlternateStackSize, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
  if (block == MAP_FAILED) return false;
  stack_t stack = {};
  stack.ss_sp = block;
  stack.ss_size = kAlternateStackSize;
  return sigaltstack(&stack, nullptr) == 0;
}

void watch_stack_guard(uintptr_t low, uintptr_t high) {
  guard_low = low;
  guard_high = high;
}

}  // namespace xol::platform
