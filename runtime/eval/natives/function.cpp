// The function makers.
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/function.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/stack.h"

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

void does(bool, const int32_t*) {
  stack::arguments[1] = stack::arguments[0];
  block::make_at(stack::arguments, 1);
  func(false, nullptr);
}

}  // namespace xol::natives
