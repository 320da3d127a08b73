// The terminal console's routines and its start. Tab and the interrupt key reach the
// language from inside the line editor: completion runs xol-complete-ctx under `attempt`, and
// an interrupt while code runs is turned into the console's `halt`, unless a script runs that
// the console does not keep open ("--catch"): the interrupt key then ends the process, as it
// ends any other command. A change of the terminal's size is written into
// system/console/size where the evaluator answers its requests.
#include "console/terminal.h"

#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "platform/line_editor.h"
#include "platform/terminal.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/text_types.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/stack.h"
#include "runtime/io/lexer.h"
#include "runtime/process/process.h"

namespace xol::console_terminal {
namespace {

Cell answer;

// Set at the start when the command line names a script with no "--catch" before it: the
// interrupt key then ends the process at once, as it ends any other command, even while a call
// blocks. Otherwise it halts the evaluation running and the console's prompt follows.
volatile sig_atomic_t interrupt_ends_process = 0;

// The options before the script's name, as system/console/read-argument takes them: each
// argument that begins with "--", until one follows a bare "--".
bool names_script_without_catch(int argc, const char* const* argv) {
  bool keep = false;
  int at = 1;
  for (; at < argc && std::strncmp(argv[at], "--", 2) == 0 &&
         !(at > 1 && std::strcmp(argv[at - 1], "--") == 0);
       ++at)
    keep = keep || std::strcmp(argv[at], "--catch") == 0;
  return at < argc && !keep;
}

// Signal handlers: they leave a request for the evaluator.
void interrupt() {
  if (interrupt_ends_process) platform::exit_interrupted();
  rt::request(rt::kHaltRequest);
}
void resized() { rt::request(rt::kResizeRequest); }

Cell size_pair() {
  int columns = 0;
  int rows = 0;
  platform::terminal_size(&columns, &rows);
  return pair::make(columns, rows);
}

void update_size() {
  if (Cell* size = object::system_field({"console", "size"})) *size = size_pair();
}

// Halts the evaluation running, as `halt` does: the console's catch prints "(halted)".
void halt_to_console() {
  const Cell code = lexer::load("halt");
  interpreter::eval_block(&code, false);
}

// The value that the evaluation of `code` leaves, taken off the stack.
Cell evaluate(const std::string& code) {
  const Cell block = lexer::load(code);
  interpreter::eval_block(&block, false);
  const Cell result = stack::top[-1];
  stack::pop(1);
  return result;
}

// The line as a braced string literal: ^, { and } escaped.
std::string literal(const std::string& text) {
  std::string out = "{";
  for (char c : text) {
    if (c == '^' || c == '{' || c == '}') out += '^';
    out += c;
  }
  return out + "}";
}

// The bytes of the first `count` code points of UTF-8 text.
size_t bytes_of(const std::string& text, size_t count) {
  size_t at = 0;
  for (; at < text.size(); ++at)
    if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80 && count-- == 0) break;
  return at;
}

// The Tab key through xol-complete-ctx: the first value of its answer is the completed line
// positioned at the new caret, the others are the candidates. An error or a halt inside
// stays here, away from the line editor's C frames.
void complete(const std::string& line, size_t caret, platform::Completion* out) {
  const int saved = rt::pending_requests.exchange(0);
  size_t chars = 0;
  for (size_t i = 0; i < caret && i < line.size(); ++i)
    chars += (static_cast<unsigned char>(line[i]) & 0xC0) != 0x80;
  Cell result{TYPE_NONE, 0, 0, 0};
  try {
    result = evaluate("attempt [xol-complete-ctx/complete-input at " + literal(line) + " " +
                      std::to_string(chars + 1) + " true]");
  } catch (...) {
  }
  rt::pending_requests |= saved;
  if (!result.is(TYPE_BLOCK) || block::length(&result) == 0) return;
  const Cell* first = block::head(&result);
  if (!first->is(TYPE_STRING)) return;
  Cell whole = *first;
  whole.data1 = 0;   // the whole line, from the head of its string
  out->changed = true;
  out->line = text_construct::utf8_of(&whole);
  out->caret = bytes_of(out->line, first->head_index());
  for (const Cell* candidate = first + 1; candidate < block::tail(&result); ++candidate)
    out->candidates.push_back(text_construct::utf8_of(candidate));
}

}  // namespace

bool run_console() {
  interrupt_ends_process = names_script_without_catch(rt::state.argc, rt::state.argv);
  rt::halt_handler = halt_to_console;
  rt::resize_handler = update_size;
  platform::restore_terminal_at_exit();
  platform::catch_interrupt(interrupt);
  platform::watch_resize(resized);
  platform::set_completer(complete);
  const Cell ran = evaluate("terminal-console-ctx/launch");
  return !logic::counts_false(&ran);
}

Cell* read_console_line(Cell* prompt, bool hide, Cell* history) {
  std::vector<std::string> entries;
  for (const Cell* entry = block::head(history); entry < block::tail(history); ++entry)
    if (entry->is(TYPE_STRING)) entries.push_back(text_construct::utf8_of(entry));
  std::string line;
  const platform::LineRead read =
      platform::read_line(text_construct::utf8_of(prompt), hide, entries, &line);
  // The interrupt key was answered here. The size is read again after each line, whenever the
  // signal of a change lands: it need not have come before the line did.
  const int answered = rt::pending_requests.fetch_and(~(rt::kHaltRequest | rt::kResizeRequest));
  if ((answered & rt::kResizeRequest) || platform::is_terminal(platform::kStdoutFd)) update_size();
  // The key read as a character rather than a signal.
  if (read == platform::LineRead::kInterrupted && interrupt_ends_process)
    platform::exit_interrupted();
  if (read == platform::LineRead::kEnd) {
    answer = Cell{TYPE_NONE, 0, 0, 0};
    return &answer;
  }
  if (read == platform::LineRead::kInterrupted) line.clear();
  string::load_utf8(&answer, line);
  return &answer;
}

Cell* console_size() {
  answer = size_pair();
  return &answer;
}

}  // namespace xol::console_terminal
