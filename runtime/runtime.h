// Runtime initialisation, in its fixed order, and the life of the process.
#pragma once

namespace xol::runtime {

// Makes the datatype table and registers every datatype, parents before children; the value
// layer of start-up, which test fixtures bring up alone.
void register_datatypes();
// Brings the runtime from an empty process to the point where code can be evaluated.
void init();
// The whole life of the process: process start, runtime initialisation, the run itself on the
// interpreter thread, and the exit path, which ends the process with its exit code.
[[noreturn]] void run_process(int argc, char** argv);

}  // namespace xol::runtime
