// The calling interface: calls from system-level code, argument checks, word access, and the
// case search of `switch`.
#include "runtime/eval/call.h"

#include <cmath>
#include <cstring>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/runtime_words.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/word.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/stack.h"
#include "runtime/io/lexer.h"
#include "runtime/memory/memory.h"

namespace xol::call {
namespace {

constexpr Cell kNone{TYPE_NONE, 0, 0, 0};

bool takes_logic_refinements(const Cell& function) {
  TypeId type = function.is(TYPE_OP) ? natives::op_source(&function) : function.type();
  return type == TYPE_FUNCTION || type == TYPE_ROUTINE;
}

[[noreturn]] void raise_expect(const Cell* name, const Cell* value, const Cell* word) {
  Cell datatype{TYPE_DATATYPE, uint32_t(value->type()), 0, 0};
  error::raise(error::CAT_SCRIPT, "expect-arg", name, &datatype, word);
}

void check_cell(const Cell* entry, const Cell* name, const Cell* value) {
  if (!typeset::has(&entry[0], value->type())) raise_expect(name, value, &entry[1]);
}

// Checks the arguments of the current frame against the function's spec: the arguments, and
// the arguments of the refinements used (by `refinements` for a native or action, by the
// refinement's logic! cell for a function). A mismatch raises script `expect-arg` with the
// call's name, the datatype and the argument's word.
void check_arguments(const Cell* function, const Cell* name, const int32_t* refinements) {
  const Cell cache = interpreter::arg_cache(function);
  const bool logic_cells = takes_logic_refinements(*function);
  const uint32_t count = block::length(&cache);
  int32_t next = 0;     // frame index of the next argument to check
  bool active = true;   // false through the arguments of a refinement not used
  for (uint32_t i = 0; i + 1 < count; i += 2) {
    const Cell* entry = block::head(&cache) + i;
    if (entry->is(TYPE_REFINEMENT)) {
      const Cell position = entry[1];
      next = logic_cells ? int32_t(position.data2) + 1 : refinements[position.data1];
      active = logic_cells ? logic::get(stack::arguments + position.data2) : next >= 0;
    } else if (active) {
      check_cell(entry, name, stack::arguments + next++);
    }
  }
}
}  // namespace

void value(const Cell* function_given, const Cell* name, const Cell* args, int32_t count,
           Cell* result, std::initializer_list<RefinementUse> refinements, NodeId object,
           Cell* final_args, bool frame_cells) {
  const Cell function = *function_given;
  const Cell cache_cell = interpreter::arg_cache(&function);
  const NodeId cache = cache_cell.node();
  const interpreter::CacheTotals totals = interpreter::cache_totals(&cache_cell);
  const uint32_t entries = block::length(&cache_cell);
  const bool logic_cells = takes_logic_refinements(function);
  if (count < totals.arguments) {
    const Cell missing = interpreter::nth_argument_word(&function, count);
    error::raise(error::CAT_SCRIPT, "no-arg", name, &missing);
  }
  // The caller's cells end at the callee's base: a native that calls keeps its arguments.
  Cell* const base = function.is(TYPE_FUNCTION)
                         ? stack::mark_func(name, function::context_of(&function))
                         : stack::mark_native(name);
  for (int32_t i = 0; i < totals.arguments; ++i) stack::push(args + i);

  int32_t refs[function::kMaxRefinements];
  for (int32_t i = 0; i < totals.refinements; ++i) refs[i] = -1;
  if (logic_cells) {
    int32_t given = totals.arguments;
    for (uint32_t i = 2 * uint32_t(totals.arguments); i + 1 < entries; i += 2) {
      const Cell* entry = memory::buffer_of(cache)->cells() + i;
      const Cell unused = entry->is(TYPE_REFINEMENT) ? logic::make(false) : kNone;
      *stack::push_slot() = frame_cells && given < count ? args[given++] : unused;
    }
  }
  for (const RefinementUse& use : refinements) {
    const int32_t sought = symbol::resolve(word::symbol_of(use.refinement));
    uint32_t at = 0;
    for (; at + 1 < entries; at += 2) {
      const Cell* entry = memory::buffer_of(cache)->cells() + at;
      if (entry->is(TYPE_REFINEMENT) && symbol::resolve(word::symbol_of(entry)) == sought) break;
    }
    if (at + 1 >= entries) error::raise(error::CAT_SCRIPT, "no-refine", name, use.refinement);
    const Cell position = memory::buffer_of(cache)->cells()[at + 1];
    if (use.count != int32_t(position.data3)) {
      const Cell missing = memory::buffer_of(cache)->cells()[at + 3];
      error::raise(error::CAT_SCRIPT, "no-arg", name, &missing);
    }
    if (logic_cells) {
      Cell* flag = stack::arguments + position.data2;
      *flag = logic::make(true);
      for (int32_t k = 0; k < use.count; ++k) flag[1 + k] = use.args[k];
    } else {
      refs[position.data1] = int32_t(stack::top - stack::arguments);
      for (int32_t k = 0; k < use.count; ++k) stack::push(use.args + k);
    }
  }
  if (logic_cells && totals.locals > 0) {
    Cell* first = stack::top;
    for (int32_t i = 0; i < totals.locals; ++i) stack::push_slot();
    function::set_nones(first, totals.locals);
  }
  check_arguments(&function, name, refs);
  interpreter::invoke(&function, object, name, true, refs);
  stack::raise_pending();
  const Cell made = *stack::arguments;
  if (final_args)
    for (int32_t i = 1; i < totals.arguments; ++i) final_args[i] = stack::arguments[i];
  if (function.is(TYPE_FUNCTION)) stack::revert_func();
  else stack::revert();
  stack::top = base;
  *result = made;
}

Cell* get_value(const Cell* word) {
  Cell* slot = word::get(word);
  if (slot->is(TYPE_UNSET)) error::raise(error::CAT_SCRIPT, "no-value", word);
  return slot;
}

void set_value(Cell* word, const Cell* value) { word::set_checked(word, value); }

int32_t float_to_integer(const Cell* value) {
  if (value->is(TYPE_INTEGER)) return integer::get(value);
  // Action specs leave counts untyped: anything but a number is refused here.
  if (!value->is(TYPE_FLOAT) && !value->is(TYPE_PERCENT))
    error::raise(error::CAT_SCRIPT, "invalid-arg", value);
  const double number = value->float_value();
  if (integer::out_of_range(number)) error::raise(error::CAT_SCRIPT, "out-of-range", value);
  return int32_t(std::trunc(number));
}

const Cell* select_case(const Cell* value, const Cell* cases) {
  if (value->is(TYPE_BLOCK)) return nullptr;
  CompareRoutine compare = actions::find<ACT_COMPARE>(value->type());
  const Cell* end = block::tail(cases);
  for (const Cell* item = block::head(cases); item < end; ++item) {
    if (item->type() != value->type() || !compare || compare(value, item, COMP_EQUAL) != 0)
      continue;
    for (++item; item < end; ++item)
      if (item->is(TYPE_BLOCK)) return item;
    return end;
  }
  return nullptr;
}

void function_service(const Cell* function, NodeId context, const Cell* name, const Cell* args,
                      int32_t count, Cell* result) {
  value(function, name, args, count, result, {}, context, nullptr, true);
}

void comparison_service(const Cell* function, const Cell* a, const Cell* b, Cell* answer) {
  constexpr int32_t kComparisonArgs = 2;
  const Cell args[kComparisonArgs] = {*a, *b};
  value(function, &words::w.compare_callback, args, kComparisonArgs, answer);
}

bool lexer_callback_service(const Cell* callback, Cell* args) {
  Cell answer;
  value(callback, &words::w.lexer_callback, args, lexer::kCallbackArgs, &answer, {}, kNoNode, args);
  return logic::cell_true(&answer, false, nullptr);
}

const Cell* callback_body(const Cell* callback) {
  if (!callback->is(TYPE_FUNCTION) && !callback->is(TYPE_ROUTINE)) return nullptr;
  const Cell* body = function::body(callback);
  return body->is(TYPE_BLOCK) ? body : nullptr;
}

void observe_raise(const error::Raised& raised) {
  static bool reporting = false;
  if (reporting || !interpreter::trace.active || !(interpreter::trace.mask & interpreter::EVENT_ERROR))
    return;
  if (error::is_stack_overflow(raised)) return;
  reporting = true;
  const uint32_t kept = stack::pending;
  struct Done {
    uint32_t kept;
    ~Done() {
      reporting = false;
      stack::pending = kept;
    }
  } done{kept};
  const Cell code = interpreter::current_code;
  interpreter::fire_event(interpreter::EVENT_ERROR, code.is(TYPE_BLOCK) ? &code : nullptr,
                          int32_t(code.data1), &raised.error, nullptr);
}

}  // namespace xol::call
