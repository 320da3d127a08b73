// The building of the standard environment at start-up.
#pragma once

namespace xol::library {

// Evaluates the embedded library in its build order: the first values, the routines, the
// constants, the mezzanine functions with the type predicates, the system object with its
// routines and its view of the global context, then the operators. Runs once the natives and
// actions exist, while the boot flag keeps what it makes in the root block.
void boot();

}  // namespace xol::library
