// The output natives print and prin.
//
// A block is reduced first and the values formed together; a string is written unchanged; any
// other value is formed. The text goes to standard output through the console layer and then,
// as a value, to the print hooks, where a console that takes the output over listens.
//
// A block is reduced into one work block kept in the root block, at its tail, so that printing
// allocates no block of its own. A print that the reduction runs (print [1 print [2] 3]) works
// above the outer one's values, and every print, ended normally or by an error, cuts the work
// block back to where it found it: an inner failure never takes the outer values with it.
#include "runtime/process/console_output.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/value_ops.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/stack.h"
#include "runtime/process/print_hooks.h"

namespace xol::natives {
namespace {

using stack::arguments;

// reduce called in print's own frame, whose first cell is the block, with /into the work block
// in the cell after it.
constexpr int32_t kReduceIntoSecond[] = {1};
constexpr int32_t kWorkBlockCells = 32;

NodeId work_node = kNoNode;

void write_text(const Cell* text, bool newline) {
  memory::SeriesBuffer* buffer = string::buffer_of(text);
  const uint32_t unit = buffer->unit();
  console::write(buffer->data() + size_t(text->head_index()) * unit,
                 size_t(string::length(text)) * unit, unit, newline);
}

// Cuts the work block back, on every way out, to the tail it had when made.
class WorkBlockMark {
 public:
  WorkBlockMark() : saved_(block::length(&work_)) {}
  ~WorkBlockMark() { block::cut_at(&work_, saved_); }
  uint32_t saved() const { return saved_; }

 private:
  const Cell work_{TYPE_BLOCK, 0, work_node, 0};
  const uint32_t saved_;
};

void print_value(bool newline) {
  if (arguments->is(TYPE_BLOCK)) {
    // The block is reduced onto the work block's tail; the reduced values, the work block at
    // that former tail, become the frame's first cell.
    WorkBlockMark mark;
    *stack::push_slot() = Cell{TYPE_BLOCK, mark.saved(), work_node, 0};
    reduce(false, kReduceIntoSecond);
    if (stack::pending) return;
    print_formed(arguments, newline);
  } else {
    print_formed(arguments, newline);
  }
  unset::box(arguments);
  stack::keep();
}

}  // namespace

void print_formed(const Cell* value, bool newline) {
  Cell text = *value;
  if (!text.is(TYPE_STRING)) values::form_value(value, kNoPartLimit, &text);
  write_text(&text, newline);
  dyn_print::call_value_hooks(&text, newline);
}

void init_print() { work_node = block::make_in(block::root(), kWorkBlockCells)->node(); }

void print(bool, const int32_t*) { print_value(true); }
void prin(bool, const int32_t*) { print_value(false); }

}  // namespace xol::natives
