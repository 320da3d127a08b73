// Process start, the non-local exits of the runtime, and fatal runtime errors.
//
// Every non-local exit carries a 32-bit thrown code. A guarded block with catch level L catches
// every code from 1 to L (compared unsigned) and lets higher codes pass to outer guards; the
// outermost guard, around the whole run, catches everything and turns a throw that nobody
// handled into the fatal report 95. Codes travel as the C++ exception `Thrown`, so RAII
// restores what each frame saved on the way out.
//
// A fatal runtime error prints "*** Runtime Error N: text" and "*** at: ADDRESSh" on stderr,
// frees the tracked heap and ends the process with N as its exit code.
#pragma once

#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstdint>

#include "platform/address_sanitizer.h"

namespace xol::rt {

enum ThrownCode : uint32_t {
  THROWN_LEXER = 10,                  // syntax error raised by the lexer
  THROWN_NORMAL_END = 0x0BADCAFE,     // normal end requested through the outermost guard
  THROWN_VM_RELEASE = 0x7FFFFFF6,     // virtual-memory release failed
  THROWN_VM_ALLOC = 0x7FFFFFF7,       // virtual-memory allocation failed
  THROWN_INT_OVERFLOW = 0x7FFFFFF9,   // integer overflow inside the integer datatype
  THROWN_THROW = 0x7FFFFFFA,          // the language's `throw`
  THROWN_EXIT = 0x7FFFFFFB,
  THROWN_RETURN = 0x7FFFFFFC,
  THROWN_CONTINUE = 0x7FFFFFFD,
  THROWN_BREAK = 0x7FFFFFFE,
  THROWN_ERROR = 0x7FFFFFFF,          // a language error! value was raised
};

// The C++ exception through which a thrown code unwinds.
struct Thrown {
  uint32_t code;
};

// Fatal runtime error codes that the runtime raises itself, and those the fault handler maps
// signals to. Code 0 is the normal end: it exits silently with 0.
enum RuntimeErrorCode : int {
  RUNTIME_NORMAL_END = 0,
  RUNTIME_ACCESS_VIOLATION = 1,
  RUNTIME_INVALID_ALIGNMENT = 2,
  RUNTIME_BREAKPOINT = 3,
  RUNTIME_BOUNDS_EXCEEDED = 5,
  RUNTIME_FLOAT_DIVIDE_BY_ZERO = 7,
  RUNTIME_FLOAT_INEXACT = 8,
  RUNTIME_FLOAT_INVALID = 9,
  RUNTIME_FLOAT_OVERFLOW = 10,
  RUNTIME_FLOAT_UNDERFLOW = 12,
  RUNTIME_INT_DIVIDE_BY_ZERO = 13,
  RUNTIME_INT_OVERFLOW = 14,
  RUNTIME_ILLEGAL_INSTRUCTION = 17,
  RUNTIME_STACK_OVERFLOW = 19,
  RUNTIME_FPU_ERROR = 33,
  RUNTIME_BUS_ERROR = 34,
  RUNTIME_OUT_OF_MEMORY = 94,
  RUNTIME_NO_CATCH = 95,
  RUNTIME_ASSERTION = 98,
  RUNTIME_UNKNOWN = 99,
  RUNTIME_NO_CASE_MATCH = 100,
  RUNTIME_NO_SWITCH_MATCH = 101,
};

// A language error that no handler caught ends the process with this code (254 as Linux
// reports it).
constexpr int kUncaughtErrorExit = -2;

// The native stack of the runtime thread. The interpreter recurses natively, and the language's
// own stack limits must always come first. AddressSanitizer cleans up the shadow of a stack of
// at most 64 MiB on a throw and leaves stale poison on a larger one, so sanitizer builds run on
// that much.
#if defined(XOL_ADDRESS_SANITIZER)
constexpr size_t kRuntimeStackSize = size_t(64) << 20;
#else
constexpr size_t kRuntimeStackSize = size_t(512) << 20;
#endif

// The runtime's global record.
struct RuntimeState {
  int argc = 0;
  char** argv = nullptr;     // UTF-8 strings, then a null pointer; all in the tracked heap
  uintptr_t stack_low = 0;   // the runtime thread's native stack, [stack_low, stack_high)
  uintptr_t stack_high = 0;
};
extern RuntimeState state;

// Process start: keeps the arguments and installs the fault and interrupt handlers.
void init_process(int argc, char** argv);

// Runs `body` on the runtime thread (a large native stack, the alternate signal stack) under
// the outermost guard, then ends the process: silently with 0 when `body` returns, with the
// fatal report when a code, an error or an exception escapes it.
[[noreturn]] void run_runtime_thread(void (*body)());

// Standard output could not be written, with this errno. A reader that has gone (as in
// `xol s.xol | head -1`) ends the process at once, silently, with 141 as other Unix filters do;
// any other failure (a full disk) is reported once on stderr, and the process that would have
// ended with 0 ends with 1.
void output_failed(int error);

// Throws `code` to the nearest guard whose catch level covers it.
[[noreturn]] void throw_code(uint32_t code);

// Requests from outside the evaluation, set by signal handlers on whichever thread the signal
// lands: bits of `pending_requests`. The evaluator polls the word at every call and loop turn
// (as do native loops that can run for ever, such as a parse `while` that matches without
// moving, and `wait`), and answers them there, on its own thread.
enum Request : int {
  kHaltRequest = 1,     // the interrupt key: stop the evaluation
  kResizeRequest = 2,   // the terminal's size changed
};
extern std::atomic<int> pending_requests;
// Adds a request; safe in a signal handler (the atomic is lock-free).
void request(Request what);
// Where a halt goes while an interactive console runs (it ends the evaluation there); none
// outside a console.
extern void (*halt_handler)();
// What a change of the terminal's size updates; none outside a terminal console.
extern void (*resize_handler)();
// Takes the pending requests and answers them: a resize through the resize handler, then a halt
// as the interrupt key does, through the halt handler, else a silent normal end. Returns when
// no halt was pending.
void answer_requests();

// Runs `body` under a guard of catch level `level`: answers 0 when the body ended normally, the
// caught code when it threw a code in 1..level; higher codes pass on.
template <class Body>
uint32_t guard(uint32_t level, Body&& body) {
  try {
    body();
    return 0;
  } catch (const Thrown& thrown) {
    if (thrown.code == 0 || thrown.code > level) throw;
    return thrown.code;
  }
}

// The message text of a fatal runtime error code ("unknown error code!" when it has none).
const char* runtime_error_text(int code);

// Reports a fatal runtime error and ends the process with `code`; code 0 ends it silently.
[[noreturn]] void runtime_error(int code, uintptr_t address);

// Longest report that format_report makes, terminator included.
constexpr size_t kReportCapacity = 160;
// Writes the two lines of the fatal report ("*** Runtime Error N: text" and "*** at: ADDRESSh",
// each ended by a newline) into `out`, zero-terminated; answers the length. Async-signal-safe.
size_t format_report(int code, uintptr_t address, char* out);

// Shows the report in a dialog; the GUI back end installs one once it has started. It is called
// (outside signal handlers) only when XOL_NO_DIALOGS is not set.
using MessageBoxFn = void (*)(const char* caption, const char* text);
void set_message_box(MessageBoxFn show);

// The return address of the function that called the caller, as the reported address.
#define XOL_CALLER_ADDRESS reinterpret_cast<uintptr_t>(__builtin_return_address(0))

}  // namespace xol::rt
