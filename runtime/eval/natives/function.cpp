// The function makers: func, and the three shorthands that build a spec for it (function
// collects the body's set-words as locals, does has no spec, has makes its words locals).
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/function.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/stack.h"
#include "runtime/datatypes/runtime_words.h"

namespace xol::natives {

void func(bool, const int32_t*) {
  Cell spec = stack::arguments[0], body = stack::arguments[1];
  spec.data1 = block::head_position(&spec);
  body.data1 = block::head_position(&body);
  function::validate_spec(&spec);
  Cell made;
  function::make_value(&spec, &body, kNoNode, 0, kNoNode, 0, &made);
  stack::set_last(&made);
  stack::keep();
}

void function_(bool, const int32_t*) {
  stack::top = stack::arguments + 2;
  Cell* collected = stack::push_slot();
  block::clone(&stack::arguments[0], false, false, stack::arguments);
  function::collect_locals(stack::arguments, &stack::arguments[1], collected);
  func(false, nullptr);
}

void does(bool, const int32_t*) {
  stack::arguments[1] = stack::arguments[0];
  block::make_at(stack::arguments, 1);
  func(false, nullptr);
}

void has(bool, const int32_t*) {
  block::clone(&stack::arguments[0], false, false, stack::arguments);
  block::insert_value(stack::arguments, &words::refs.local, false, false);
  func(false, nullptr);
}

}  // namespace xol::natives
