// The argument stack and the call frames on their own: popping past the bottom, where unwind
// and unwind-last leave a callee's result, the overflow of the frames and what a `try` around it
// restores, and `return` where no function frame can take it.
#include "tests/unit/eval_fixture.h"

#include "runtime/datatypes/function.h"
#include "runtime/datatypes/integer.h"

namespace xol::testing {
namespace {

class StackTest : public EvalTest {};

TEST_F(StackTest, PopPastTheBottomStopsThere) {
  const Cell one = integer::make(1);
  for (int i = 0; i < 3; ++i) stack::push(&one);
  stack::pop(10);
  EXPECT_EQ(stack::top, stack::bottom);
  stack::pop(1);
  EXPECT_EQ(stack::top, stack::bottom);
}

// A caller with two cells of its own calls a native that pushes three cells and leaves 7 as its
// result: unwind leaves that result alone at the caller's old top, unwind-last in the caller's
// result slot.
TEST_F(StackTest, UnwindLeavesTheResultWhereTheCallerExpectsIt) {
  for (const bool last : {false, true}) {
    const Cell caller_name = word::load("caller"), callee_name = word::load("callee");
    Cell* caller = stack::mark_native(&caller_name);
    *stack::push_slot() = integer::make(1);
    *stack::push_slot() = integer::make(2);
    Cell* const old_top = stack::top;
    Cell* callee = stack::mark_native(&callee_name);
    EXPECT_EQ(callee, old_top);
    for (int i = 0; i < 3; ++i) *stack::push_slot() = integer::make(9);
    const Cell seven = integer::make(7);
    stack::set_last(&seven);
    if (last) {
      stack::unwind_last();
      EXPECT_EQ(integer::get(caller), 7);
      EXPECT_EQ(stack::top, old_top + 1);
    } else {
      stack::unwind();
      EXPECT_EQ(integer::get(old_top), 7);
      EXPECT_EQ(integer::get(caller), 1);
      EXPECT_EQ(stack::top, old_top + 1);
    }
    EXPECT_EQ(stack::arguments, caller);
    EXPECT_EQ(stack::current()->symbol(), word::symbol_of(&caller_name));
    stack::revert();
    EXPECT_EQ(stack::top, stack::bottom);
    EXPECT_EQ(stack::ctop, stack::cbottom);
  }
}

// Deep recursion ends in stack-overflow; the `try` outside the function catches it and the
// function's context is back to not running, both stacks at the try's level.
TEST_F(StackTest, OverflowCaughtByTryRestoresTheFunctionContext) {
  const Cell function = run("f: func [n][f n + 1]");
  const NodeId context = function::context_of(&function);
  const Cell* const before = context::values(context);
  EXPECT_EQ(eval("e: try [f 1] e/id"), "stack-overflow");
  EXPECT_EQ(context::values(context), before);
  EXPECT_EQ(eval("f: func [n][either n = 0 [0][1 + f n - 1]] f 50"), "50");
}

TEST_F(StackTest, ReturnWhereNoFunctionFrameTakesIt) {
  // try/all stops the return: the function goes on after it with the error as try's value.
  EXPECT_EQ(eval("f: func [][e: try/all [return 1] e/id] f"), "return");
  EXPECT_EQ(eval("f: func [][try/all [return 1] 2] f"), "2");
  // Without /all the return passes through the try.
  EXPECT_EQ(eval("f: func [][try [return 1] 2] f"), "1");
  EXPECT_EQ(error_of("return 1"), "throw return");
  EXPECT_EQ(error_of("exit"), "throw return");
  EXPECT_EQ(stack::top, stack::bottom);
  EXPECT_EQ(stack::ctop, stack::cbottom);
}

}  // namespace
}  // namespace xol::testing
