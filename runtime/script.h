// Running a script file: `xol FILE ARGS...`.
//
// A script is UTF-8 text with a header: everything before the first "Xol [" (a shebang line, a
// licence, anything) is ignored, and the header block itself is not evaluated. The code is
// loaded bound to the global context and evaluated there. An error that the script does not
// catch is printed in its error form, as the console prints it, and ends the process with the
// uncaught-error status (254).
#pragma once

#include <string_view>

#include "runtime/cell.h"

namespace xol::script {

// The offset of the header in a script's text: the first "Xol" followed by an optional
// "/System", any spaces, tabs and line ends, and "["; npos when there is none.
size_t find_header(std::string_view text);

// The code of a script's text: the values after the header, bound to the global context.
// Raises syntax `no-header` (naming `file`) when there is no header and internal `xol-system`
// for a Xol/System script.
Cell load_code(std::string_view text, const Cell* file);

// Runs the script in the file; returns when it ends normally. A file that cannot be read is an
// access `cannot-open` error, reported like an error of the script.
void run_file(const char* path);

}  // namespace xol::script
