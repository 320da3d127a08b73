// Running the command line: the arguments, the console's start, the exit status of a script.
#include "runtime/script.h"

#include <cstdlib>

#include "console/terminal.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/datatypes/object.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/stack.h"
#include "runtime/io/lexer.h"
#include "runtime/io/os_info.h"
#include "runtime/process/console_output.h"
#include "runtime/process/process.h"
#include "runtime/process/tracked_heap.h"

namespace xol::script {
namespace {

// The exit status of an uncaught error as the process reports it (-2 in eight bits).
constexpr int kExitStatusMask = 0xFF;

[[noreturn]] void end_failed() {
  rt::free_all();
  std::exit(rt::kUncaughtErrorExit & kExitStatusMask);
}

// Prints the error as the console does, on a line of its own, and ends the process with the
// uncaught-error status.
[[noreturn]] void report(const Cell& error) {
  if (console::line_is_open()) console::write_cstr("\n");
  natives::print_formed(&error, true);
  end_failed();
}

void run() {
  os_info::command_line(object::system_field({"script", "args"}));
  const Cell split = lexer::load("extract-boot-args");
  interpreter::eval_block(&split, false);
  if (!console_terminal::run_console()) end_failed();
}

}  // namespace

void run_command_line() {
  const stack::Mark mark = stack::save();
  try {
    run();
  } catch (const error::Raised& raised) {
    const Cell error = raised.error;
    stack::restore(mark);
    stack::pending = 0;
    report(error);
  }
  stack::restore(mark);
  stack::pending = 0;
}

}  // namespace xol::script
