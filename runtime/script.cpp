// Running a script file: finding the header, loading, evaluating, reporting an uncaught error.
#include "runtime/script.h"

#include <cstdlib>
#include <string>

#include "platform/read_file.h"
#include "runtime/console_output.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/eval/error_raise.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/stack.h"
#include "runtime/io/lexer.h"
#include "runtime/process.h"
#include "runtime/tracked_heap.h"

namespace xol::script {
namespace {

constexpr std::string_view kHeaderWord = "Xol";
constexpr std::string_view kSystemDialect = "/System";
// The exit status of an uncaught error as the process reports it (-2 in eight bits).
constexpr int kExitStatusMask = 0xFF;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Prints the error as the console does, on a line of its own, and ends the process with the
// uncaught-error status.
[[noreturn]] void report(const Cell& error) {
  if (console::line_is_open()) console::write_cstr("\n");
  natives::print_formed(&error, true);
  rt::free_all();
  std::exit(rt::kUncaughtErrorExit & kExitStatusMask);
}

}  // namespace

size_t find_header(std::string_view text) {
  for (size_t at = text.find(kHeaderWord); at != std::string_view::npos;
       at = text.find(kHeaderWord, at + 1)) {
    size_t p = at + kHeaderWord.size();
    if (text.substr(p, kSystemDialect.size()) == kSystemDialect) p += kSystemDialect.size();
    while (p < text.size() && is_blank(text[p])) ++p;
    if (p < text.size() && text[p] == '[') return at;
  }
  return std::string_view::npos;
}

Cell load_code(std::string_view text, const Cell* file) {
  const size_t header = find_header(text);
  if (header == std::string_view::npos) error::raise(error::CAT_SYNTAX, "no-header", file);
  Cell code = lexer::load(text.substr(header));
  const Cell* head = block::head(&code);
  if (block::length(&code) > 0 && head->is(TYPE_PATH))
    error::raise(error::CAT_INTERNAL, "xol-system");
  if (block::length(&code) >= 2 && head->is(TYPE_WORD) && head[1].is(TYPE_BLOCK))
    code.data1 += 2;
  return code;
}

void run_file(const char* path) {
  const stack::Mark mark = stack::save();
  try {
    Cell file;
    string::load_utf8(&file, path, TYPE_FILE);
    std::string text;
    if (!platform::read_file(path, &text)) error::raise(error::CAT_ACCESS, "cannot-open", &file);
    const Cell code = load_code(text, &file);
    interpreter::eval_block(&code, false);
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
