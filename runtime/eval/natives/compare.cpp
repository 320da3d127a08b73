// The comparison natives: each compares its two arguments through the compare action, under
// its op.
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/logic.h"
#include "runtime/eval/actions.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/stack.h"

namespace xol::natives {

void equal_q(bool, const int32_t*) { actions::compare_op(COMP_EQUAL); }
void not_equal_q(bool, const int32_t*) { actions::compare_op(COMP_NOT_EQUAL); }
void strict_equal_q(bool, const int32_t*) { actions::compare_op(COMP_STRICT_EQUAL); }
void lesser_q(bool, const int32_t*) { actions::compare_op(COMP_LESSER); }
void greater_q(bool, const int32_t*) { actions::compare_op(COMP_GREATER); }
void lesser_or_equal_q(bool, const int32_t*) { actions::compare_op(COMP_LESSER_EQUAL); }
void greater_or_equal_q(bool, const int32_t*) { actions::compare_op(COMP_GREATER_EQUAL); }

void not_(bool, const int32_t*) {
  const bool falsy = logic::false_q(stack::arguments);
  logic::box(stack::arguments, falsy);
  stack::keep();
}

}  // namespace xol::natives
