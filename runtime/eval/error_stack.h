// The call trace an error carries. A raise records only the position of the call-frame stack in
// the error's `stack` field (an integer!, cheap enough for every raise); `try/keep` turns that
// position into a block of the names of the calls below it, which outlives the frames. The
// error's printed form shows either one after "*** Stack: " when the trace level asks for it.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::error {

// system/state/stack-trace when it is an integer!, else 0 (no `system` yet, or no such field):
// above 0 an error's form prints its call trace.
int32_t trace_level();

// Replaces the frame position in the error's `stack` field with the block of the call names
// below it: every name when the trace level is above 1, else the names of functions only. A
// `stack` that is no integer! is left as it is. A non-empty system/state/source-files is copied
// into the error's last field.
void capture_stack(Cell* error);

}  // namespace xol::error
