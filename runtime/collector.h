// The compacting collector: marks from the roots, sweeps, and slides live buffers down their
// frames. It runs only inside an allocation (when no frame has room, or before a big frame is
// made) and on `recycle`, and only while `active` is set.
#pragma once

#include <cstdint>

namespace xol::collector {

extern bool active;             // off until the boot code switches it on
extern uint32_t series_cycles;  // collections run so far

// Runs a cycle when the collector is active; answers whether it ran.
bool collect_if_active();
// Runs a cycle whatever `active` says.
void collect();

}  // namespace xol::collector
