// The interpreter's internals: the stack limits, the trace hook set from C++, and the stacks
// left balanced by every way out of a call and by the frameless road of plain expressions.
#include "tests/unit/eval_fixture.h"

namespace xol::testing {
namespace {

class InterpreterTest : public EvalTest {};

TEST_F(InterpreterTest, DeepRecursionRaisesStackOverflow) {
  EXPECT_EQ(error_of("f: func [n][f n + 1] f 1"), "internal stack-overflow");
  EXPECT_EQ(eval("g: func [n][either n = 0 [0][1 + g n - 1]] g 100"), "100");
}

// Parens nest paths, and parens nest as statements, with no call between them: the depth check
// stops that too, with room to spare below a native stack budget made small for the test.
TEST_F(InterpreterTest, NestingThroughParensRaisesStackOverflow) {
  constexpr uintptr_t kTestBudget = uintptr_t(256) << 10;
  const struct {
    const char* build;   // makes p, nested deeper than the budget allows
    const char* shallow;
    const char* expected;
  } cases[] = {
      {"x: [1 2] p: [1] loop 5000 [p: to path! reduce ['x to paren! reduce [p]]]", "x/(x/(1))",
       "1"},
      {"p: to paren! [1] loop 20000 [q: make paren! 1 append/only q p p: q]", "((((((1))))))",
       "1"},
  };
  for (const auto& c : cases) {
    run(c.build);
    const uintptr_t saved = stack::native_limit;
    stack::native_limit = reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) - kTestBudget;
    const std::string nested = error_of("do reduce [p]");
    const std::string shallow = eval(c.shallow);
    stack::native_limit = saved;
    EXPECT_EQ(nested, "internal stack-overflow") << c.build;
    EXPECT_EQ(shallow, c.expected) << c.shallow;
  }
}

TEST_F(InterpreterTest, TraceHookEventsAndMask) {
  EXPECT_EQ(eval("log: copy [] cb: func [event code offset value ref frame]"
                 "[[expr] append log reduce [event offset value]] "
                 "interpreter-trace: :cb log"),
            "[]");
  Cell callback = run("func [event code offset value ref frame]"
                      "[[expr fetch] append log reduce [event offset value]]");
  interpreter::trace.callback = callback;
  interpreter::trace.mask = interpreter::event_mask(&callback);
  interpreter::trace.locals = 0;
  interpreter::trace.active = true;
  run("1 + 2");
  interpreter::trace.active = false;
  EXPECT_EQ(eval("log"), "[fetch 0 1 fetch 1 + fetch 2 2 expr 3 3]");
}

}  // namespace
}  // namespace xol::testing

namespace xol::testing {
namespace {

class StackBalanceTest : public EvalTest {};

// Every way out of a call leaves both stacks where the call found them, however often it runs.
TEST_F(StackBalanceTest, RepeatedExitsLeaveNoFrames) {
  const char* const cases[] = {
      "f: func [n][either n < 0 [return 0][return n]] loop 30000 [f 1]",
      "g: does [break] loop 30000 [loop 1 [g]]",
      "loop 30000 [try [foo-unset-word]]",
      "loop 30000 [catch [throw 1]]",
  };
  for (const char* source : cases) EXPECT_EQ(error_of(source), "") << source;
}

}  // namespace
}  // namespace xol::testing

namespace xol::testing {
namespace {

// Untraced, plain expressions at a block's head run without frames; the block must still leave
// the stacks, its result and the current code as the traced road, which takes every step,
// leaves them, whether its caller chains the result into its own slot or not.
class PureEvaluationTest : public EvalTest {
 protected:
  struct Shape {
    std::ptrdiff_t top, arguments, frames;
    std::string result, chained;
    Cell code;
  };
  static Shape evaluate(const Cell& block, bool chain) {
    const stack::Mark mark = stack::save();
    *stack::arguments = none::value;
    interpreter::eval_block(&block, chain);
    const Shape shape{stack::top - mark.top, stack::arguments - mark.arguments,
                      stack::ctop - mark.ctop, molded(stack::top[-1]),
                      molded(*stack::arguments), interpreter::current_code};
    stack::restore(mark);
    return shape;
  }
};

TEST_F(PureEvaluationTest, StacksAndResultMatchTheTracedRoad) {
  const SourceCase blocks[] = {
      {"[x: y: 1 + 2 x * y]", "9"},                 // all pure
      {"[x: 1 + (2 * (3 - 4))]", "-1"},             // nested parens
      {"[x: 5 reduce [x]]", "[5]"},                 // a pure head, then a call
      {"[reduce [1] x: 2 + 3]", "5"},               // a call first
      {"[x: 2147483647 x + 1]", "2147483648.0"},    // an overflow leaves the pure road
      {"[]", "unset"},
  };
  const Cell callback = run("func [[catch] event code offset value ref frame] []");
  interpreter::current_code = none::value;
  for (const auto& [source, expected] : blocks) {
    const Cell block = run(source);
    for (const bool chain : {false, true}) {
      const Shape plain = evaluate(block, chain);
      interpreter::trace.callback = callback;
      interpreter::trace.mask = interpreter::event_mask(&callback);
      interpreter::trace.active = true;
      const Shape traced = evaluate(block, chain);
      interpreter::trace.active = false;
      const std::string name = std::string(source) + (chain ? " chained" : "");
      EXPECT_EQ(plain.top, traced.top) << name;
      EXPECT_EQ(plain.arguments, traced.arguments) << name;
      EXPECT_EQ(plain.frames, traced.frames) << name;
      EXPECT_EQ(plain.result, expected) << name;
      EXPECT_EQ(plain.result, traced.result) << name;
      EXPECT_EQ(plain.chained, traced.chained) << name;
      EXPECT_TRUE(plain.code.is(TYPE_NONE) && traced.code.is(TYPE_NONE)) << name;
    }
  }
}

}  // namespace
}  // namespace xol::testing
