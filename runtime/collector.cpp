// The compacting collector.
#include "runtime/collector.h"

#include "runtime/memory.h"

namespace xol::collector {

bool active = false;
uint32_t series_cycles = 0;

bool collect_if_active() {
  if (!active) return false;
  collect();
  return true;
}

void collect() {
  ++series_cycles;
  memory::release_node_frames();
}

}  // namespace xol::collector
