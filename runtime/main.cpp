// The xol executable: starts the process, initialises the runtime and runs it.
#include "runtime/runtime.h"

int main(int argc, char** argv) { xol::runtime::run_process(argc, argv); }
