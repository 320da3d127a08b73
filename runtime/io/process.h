// Process launching: the work of the `call` native.
//
// A command is a program and its arguments: a file! names the program alone; a string! is cut
// into words at white space, where double or single quotes keep white space inside a word and
// a backslash outside single quotes takes the next character as it is. With /shell the whole
// string goes to /bin/sh -c as one argument, so the shell's own syntax applies.
//
// Input comes from a string! (sent as UTF-8), a binary! (its bytes from its position) or a
// file!; without /input the child reads the runtime's standard input. Output and error go to a
// string! or binary! (captured, inserted at its position; captured text must be UTF-8 and has
// its CR LF and lone CR turned into LF), a file! (appended to), or without a target to
// /dev/null. Any redirection implies waiting. A waited child's result is its exit status
// (128 + N when signal N ended it); otherwise the child's process id, and the child is reaped
// in the background when it ends.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::process {

struct CallOptions {
  bool wait = false;
  bool shell = false;
  const Cell* input = nullptr;    // string!, binary!, file! or null
  const Cell* output = nullptr;
  const Cell* error = nullptr;
};

// Starts the command. A program that cannot be found or run, and a redirection file that
// cannot be opened, raise access `cannot-open` naming them; a pipe or start that fails for
// want of system resources answers -1.
int32_t call(const Cell* command, const CallOptions& options);

// Starts `program` with one argument, not waited for, its output sent to /dev/null (browse's
// xdg-open); a program that cannot be found or run raises access `cannot-open` naming it.
void launch_detached(const char* program, const Cell* argument);

}  // namespace xol::process
