// Running the command line: `xol`, `xol OPTIONS... FILE ARGS...`.
//
// Start-up leaves the command line in system/script/args and splits it with the library's
// `extract-boot-args`; the console's start (system/console/launch) then takes the options
// before the script's name, runs the script with system/options/args and system/script/args
// holding only its own arguments, and opens the prompt when there is no script or "--catch"
// keeps the console open. A script that cannot be read, has no header, does not load or ends
// in an error (printed in its error form, as the console prints it) ends the process with the
// uncaught-error status (254); so does an error that escapes the console's start.
#pragma once

namespace xol::script {

// Runs the command line; returns when a script ran to its end without an error.
void run_command_line();

}  // namespace xol::script
