// Where the calling thread's native stack ends, for the collector's conservative stack scan.
#pragma once

#include <cstdint>

namespace xol::platform {

// One past the highest address of the calling thread's stack (stacks grow down, so this is
// where the scan from the stack pointer stops). Computed once per thread.
uintptr_t current_stack_base();

}  // namespace xol::platform
