#include "console/terminal.h"

#include <string>
#include <vector>

#include "platform/line_editor.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/text_types.h"
#include "runtime/eval/interpreter.h"
#include "runtime/io/lexer.h"
#include "runtime/process.h"

namespace xol::console_terminal {
namespace {

Cell answer;

void interrupt() { rt::halt_requested = 1; }

// Halts the evaluation running, as `halt` does: the console's catch prints "(halted)".
void halt_to_console() {
  const Cell code = lexer::load("halt");
  interpreter::eval_block(&code, false);
}

}  // namespace

Cell* read_console_line(Cell* prompt, bool hide, Cell* history) {
  // The interrupt key halts what the console runs from the first prompt on.
  if (!rt::halt_handler) {
    rt::halt_handler = halt_to_console;
    platform::catch_interrupt(interrupt);
  }
  std::vector<std::string> entries;
  for (const Cell* entry = block::head(history); entry < block::tail(history); ++entry)
    if (entry->is(TYPE_STRING)) entries.push_back(text_construct::utf8_of(entry));
  std::string line;
  const platform::LineRead read =
      platform::read_line(text_construct::utf8_of(prompt), hide, entries, &line);
  rt::halt_requested = 0;
  if (read == platform::LineRead::kEnd) {
    answer = Cell{TYPE_NONE, 0, 0, 0};
    return &answer;
  }
  if (read == platform::LineRead::kInterrupted) line.clear();
  string::load_utf8(&answer, line);
  return &answer;
}

Cell* console_size() {
  int columns = 0;
  int rows = 0;
  platform::terminal_size(&columns, &rows);
  answer = pair::make(columns, rows);
  return &answer;
}

}  // namespace xol::console_terminal
