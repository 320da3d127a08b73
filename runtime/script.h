// Running the script named on the command line: `xol FILE ARGS...`.
//
// Start-up leaves the command line in system/script/args and splits it with the library's
// `extract-boot-args`; the script is then run by `do-file` (its header, its folder, its own
// system/script record) with system/options/args and system/script/args holding only the
// script's own arguments. An error that the script does not catch is printed in its error
// form, as the console prints it, and ends the process with the uncaught-error status (254);
// so does a script file that cannot be read.
#pragma once

namespace xol::script {

// Splits the command line into system/options; with a script argument, runs the script and
// returns when it ends normally.
void run_command_line(int argc, const char* const* argv);

}  // namespace xol::script
