// The terminal console's routines: reading a line for `ask` and the console's size.
#pragma once

#include "runtime/cell.h"

namespace xol::console_terminal {

// Runs the terminal console's start: the script named on the command line, then the prompt
// when there is no script or "--catch" keeps the console open (until it quits). From here the
// interrupt key halts the evaluation running and Tab completes. Answers true when a script ran
// to its end without an error.
bool run_console();
// The line read after `prompt`, none at the end of input, "" when the interrupt key dropped
// it. `history` holds the strings to browse, newest first; `hide` reads without echo.
Cell* read_console_line(Cell* prompt, bool hide, Cell* history);
// The terminal's size in characters, 80x25 when standard output is not a terminal.
Cell* console_size();

}  // namespace xol::console_terminal
