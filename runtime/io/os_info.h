// The process's surroundings as values: the command line, the environment and a description
// of the operating system.
//
// The command line is the program's arguments joined with single spaces, an argument that
// holds white space or a double quote (or is empty) put in double quotes, so that cutting it
// at spaces outside double quotes gives the arguments back. The OS description takes its name
// from PRETTY_NAME of /etc/os-release ("Linux" without one), its architecture word and its
// version (the kernel release's first three numbers) from uname; the build is 0.
#pragma once

#include <string>
#include <string_view>

#include "runtime/cell.h"

namespace xol::os_info {

// The UTF-8 form of a text for the OS (file::to_os_path). A text holding a NUL, where the OS
// would silently cut it, raises script invalid-arg with the text.
std::string os_text(const Cell* text);

// The command line of `argc` arguments (see above), as UTF-8 bytes.
std::string join_arguments(int argc, const char* const* argv);
// The process's command line as a new string!.
void command_line(Cell* result);

// A new map! of the environment: each variable's name to its value, as strings.
void environment(Cell* result);

// The PRETTY_NAME value of an os-release text, its quotes and backslash escapes undone; empty
// when the text has none.
std::string pretty_name(std::string_view os_release);
// The architecture word of a uname machine name ("x86_64" gives "x86-64"; "Unknown" when it is
// none the system knows).
const char* arch_name(std::string_view machine);
// A new object! with the fields name, arch, version and build.
void describe(Cell* result);

}  // namespace xol::os_info
