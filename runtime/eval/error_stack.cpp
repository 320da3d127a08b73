// Capturing the call trace into an error, and the trace level that error printing reads.
#include "runtime/eval/error_stack.h"

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/value_ops.h"
#include "runtime/eval/stack.h"

namespace xol::error {
namespace {

// Room for the names of a typical trace, so that most captures never grow the block.
constexpr int32_t kTraceCapacity = 20;
// The depth a capture uses when the trace level does not ask for more.
constexpr int32_t kFunctionsOnly = 1;

}  // namespace

int32_t trace_level() {
  const Cell* level = object::system_field({"state", "stack-trace"});
  return level && level->is(TYPE_INTEGER) ? integer::get(level) : 0;
}

void capture_stack(Cell* error) {
  const Cell position = *field(error, FIELD_STACK);
  if (!position.is(TYPE_INTEGER)) return;
  const int32_t level = trace_level();
  Cell names;
  block::make_at(&names, kTraceCapacity);
  stack::collect_frame_words(level > 0 ? level : kFunctionsOnly, &names, integer::get(&position));
  *field(error, FIELD_STACK) = names;
  const Cell* files = object::system_field({"state", "source-files"});
  if (!files || !files->is(TYPE_BLOCK) || block::length(files) == 0) return;
  Cell copied;
  values::copy(files, false, &copied);
  *field(error, FIELD_FILES) = copied;
}

}  // namespace xol::error
