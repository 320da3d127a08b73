// What every fuzz target does with one input: runs it, takes a thrown code (a language error, an
// uncaught throw) as the runtime's answer to the input, and puts the stacks back for the next.
#pragma once

#include "runtime/eval/stack.h"
#include "runtime/process.h"

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

}  // namespace xol::fuzz
