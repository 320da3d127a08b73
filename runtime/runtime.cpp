// Runtime initialisation and shutdown, and the life of the process around them.
//
// `init` brings the runtime up in a fixed order: each step relies on what the steps before it
// made, so a new subsystem's start-up goes into its own place in the sequence, never at the end
// by convenience. `shutdown` is the matching release; the normal exit path does not need it
// (the process ends and the OS takes the frames back) but a host that keeps running does.
#include "runtime/runtime.h"

#include "runtime/console_output.h"
#include "runtime/memory.h"
#include "runtime/print_hooks.h"
#include "runtime/process.h"
#include "runtime/tracked_heap.h"

namespace xol::runtime {

void init() {
  // The print-hook lists, before anything can print.
  dyn_print::init();
  // Platform services: console output (which also keeps a closed pipe from ending the process).
  console::init();
  // The memory manager: its node range and frame lists.
  memory::init();
  // The first node frame and the first series frame.
  memory::alloc_node_frame(memory::kNodesPerFrame);
  memory::alloc_series_frame();
}

void shutdown() {
  memory::free_all_frames();
  rt::free_all();
}

void run_process(int argc, char** argv) {
  rt::init_process(argc, argv);
  rt::run_runtime_thread(init);
}

}  // namespace xol::runtime
