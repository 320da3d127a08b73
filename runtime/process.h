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

#include <cstdint>

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

// Fatal runtime error codes that the runtime raises itself.
enum RuntimeErrorCode : int {
  RUNTIME_OUT_OF_MEMORY = 94,
  RUNTIME_NO_CATCH = 95,
  RUNTIME_ASSERTION = 98,
  RUNTIME_UNKNOWN = 99,
  RUNTIME_NO_CASE_MATCH = 100,
  RUNTIME_NO_SWITCH_MATCH = 101,
  RUNTIME_STACK_OVERFLOW = 19,
};

// Throws `code` to the nearest guard whose catch level covers it.
[[noreturn]] void throw_code(uint32_t code);

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

// The return address of the function that called the caller, as the reported address.
#define XOL_CALLER_ADDRESS reinterpret_cast<uintptr_t>(__builtin_return_address(0))

}  // namespace xol::rt
