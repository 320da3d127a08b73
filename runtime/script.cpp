// Running the command line's script: the arguments, do-file, reporting an uncaught error.
#include "runtime/script.h"

#include <cstdlib>
#include <string>

#include "runtime/process/console_output.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/word.h"
#include "runtime/eval/call.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/stack.h"
#include "runtime/io/lexer.h"
#include "runtime/io/os_info.h"
#include "runtime/process/process.h"
#include "runtime/process/tracked_heap.h"

namespace xol::script {
namespace {

// The exit status of an uncaught error as the process reports it (-2 in eight bits).
constexpr int kExitStatusMask = 0xFF;

// Prints the error as the console does, on a line of its own, and ends the process with the
// uncaught-error status.
[[noreturn]] void report(const Cell& error) {
  if (console::line_is_open()) console::write_cstr("\n");
  natives::print_formed(&error, true);
  rt::free_all();
  std::exit(rt::kUncaughtErrorExit & kExitStatusMask);
}

void evaluate(const char* code) {
  const Cell block = lexer::load(code);
  interpreter::eval_block(&block, false);
}

void run(int argc, const char* const* argv) {
  Cell* script_args = object::system_field({"script", "args"});
  os_info::command_line(script_args);
  evaluate("extract-boot-args");
  if (argc < 2) return;
  // The script's own arguments: those after its name.
  evaluate("remove system/options/args");
  if (argc > 2) {
    string::load_utf8(script_args, os_info::join_arguments(argc - 2, argv + 2));
  } else {
    *script_args = none::value;
  }
  const Cell name = word::load("do-file");
  Cell args[3] = {none::value, none::value, *script_args};
  string::load_utf8(args, argv[1], TYPE_FILE);
  Cell result;
  call::value(call::get_value(&name), &name, args, 3, &result);
}

}  // namespace

void run_command_line(int argc, const char* const* argv) {
  const stack::Mark mark = stack::save();
  try {
    run(argc, argv);
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
