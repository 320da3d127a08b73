// What every fuzz target does with one input: starts the runtime before the first, runs it,
// takes a thrown code (a language error, an uncaught throw) as the runtime's answer to the
// input, and puts the stacks back for the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "runtime/eval/stack.h"
#include "runtime/process/process.h"

namespace xol::fuzz {

template <class Body>
void guarded_run(Body&& body) {
  const stack::Mark mark = stack::save();
  try {
    body();
  } catch (const rt::Thrown&) {
    // The runtime refused the input: not a fault.
  }
  stack::restore(mark);
  stack::pending = 0;
}

// A fuzz input as text, with the runtime started by `start` before the first input.
template <class Start>
std::string_view started_input(const uint8_t* data, size_t size, Start start) {
  static const bool started = (start(), true);
  (void)started;
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

}  // namespace xol::fuzz
