// The output natives print and prin.
//
// A block is reduced first and the values formed together; a string is written unchanged; any
// other value is formed. The text goes to standard output through the console layer and then,
// as a value, to the print hooks, where a console that takes the output over listens.
#include "runtime/console_output.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/eval/actions.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/stack.h"
#include "runtime/print_hooks.h"

namespace xol::natives {
namespace {

using stack::arguments;

// reduce called in print's own frame, whose first cell is the block: no /into.
constexpr int32_t kPlainReduce[] = {-1};

void write_text(const Cell* text, bool newline) {
  memory::SeriesBuffer* buffer = string::buffer_of(text);
  const uint32_t unit = buffer->unit();
  console::write(buffer->data() + size_t(text->head_index()) * unit,
                 size_t(string::length(text)) * unit, unit, newline);
}

void print_value(bool newline) {
  if (arguments->is(TYPE_BLOCK)) {
    reduce(false, kPlainReduce);
    if (stack::pending) return;
  }
  print_formed(arguments, newline);
  unset::box(arguments);
  stack::keep();
}

}  // namespace

void print_formed(const Cell* value, bool newline) {
  Cell text = *value;
  if (!text.is(TYPE_STRING)) actions::form_value(value, kNoPartLimit, &text);
  write_text(&text, newline);
  dyn_print::call_value_hooks(&text, newline);
}

void print(bool, const int32_t*) { print_value(true); }
void prin(bool, const int32_t*) { print_value(false); }

}  // namespace xol::natives
