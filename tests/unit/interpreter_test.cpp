// The interpreter: evaluation order, argument kinds, refinements, words and paths, the
// non-local exits, the trace hook and the errors of evaluation.
#include "tests/unit/eval_fixture.h"

namespace xol::testing {
namespace {

class InterpreterTest : public EvalTest {};

TEST_F(InterpreterTest, EvaluationOrder) {
  check({
      {"1 + 2 * 3", "9"},                                    // left to right, no precedence
      {"f: func [x][x] f 1 + 2", "3"},                       // a prefix argument is a full expression
      {"f: func [x][x] 1 + f 2 * 3", "7"},                   // 1 + f (2 * 3)
      {"f: func [a b][a - b] f 10 2 + 1", "7"},
      {"(1 + 2) * 3", "9"},
      {"x: y: 4 x + y", "8"},
      {"[]", "[]"},
      {"do []", "unset"},
  });
}

TEST_F(InterpreterTest, ArgumentKinds) {
  check({
      {"f: func ['w][w] f abc", "abc"},
      {"f: func ['w][w] f (1 + 1)", "2"},
      {"x: 5 f: func ['w][w] f :x", "5"},
      {"f: func [:w][w] f (1 + 1)", "(1 + 1)"},
      {"f: func ['w [any-type!]][type? get/any 'w] f", "unset!"},
      {"x: 3 :x", "3"},
      {"'abc", "abc"},
  });
  EXPECT_EQ(eval("f: func ['w [any-type!]][:w] reduce [f]"), "[unset]");
}

TEST_F(InterpreterTest, RefinementsOfFunctionsInSpecOrder) {
  check({
      {"f: func [a /x b /y c][reduce [a x b y c]] f 1", "[1 false none false none]"},
      {"f: func [a /x b /y c][reduce [a x b y c]] f/y/x 1 2 3", "[1 true 3 true 2]"},
      {"f: func [/r x][x] r: false reduce [f/:r 1 2]", "[none 2]"},
      {"f: func [/r x][x] r: true reduce [f/:r 1 2]", "[1 2]"},
  });
}

TEST_F(InterpreterTest, NativeRefinementsArriveInPathOrder) {
  // catch/name takes its refinement argument after the block, wherever /name stands.
  EXPECT_EQ(eval("catch/name [throw/name 1 'a] [b a]"), "1");
  EXPECT_EQ(eval("catch [catch/name [throw 1] 'a]"), "1");
  EXPECT_EQ(eval("loop 3 [break/return 7]"), "7");
}

TEST_F(InterpreterTest, SetWordsAndPaths) {
  check({
      {"b: [1 2 3] b/2", "2"},
      {"b: [1 2 3] b/2: 9 b", "[1 9 3]"},
      {"b: [1 [2 3]] b/2/1", "2"},
      {"b: [1 2] reduce [b/0 b/3]", "[none none]"},
      {"o: make object! [a: 1 c: make object! [d: 2]] o/c/d", "2"},
      {"o: make object! [a: 1] o/a: 5 o/a", "5"},
      {"m: make map! [k 1] m/k", "1"},
      {"i: 2 b: [a b c] b/:i", "b"},
      {"b: [a b c] b/(1 + 2)", "c"},
  });
}

TEST_F(InterpreterTest, NonLocalExits) {
  check({
      {"f: func [][loop 3 [return 5] 7] f", "5"},
      {"f: func [][either true [return 1][2] 3] f", "1"},
      {"g: func [][return 2] f: func [][g 3] f", "3"},               // return ends its own body
      {"n: 0 g: does [break] loop 3 [n: n + 1 g n: 10] n", "1"},    // break reaches the loop
      {"n: 0 i: 0 loop 3 [i: i + 1 if i = 2 [continue] n: n + 1] n", "2"},
      {"f: does [loop 3 [exit] 5] reduce [f]", "[unset]"},
      {"f: does [try [return 1] 2] f", "1"},
      {"f: does [catch [return 1] 2] f", "1"},
      {"catch [f: does [throw 5] f 6]", "5"},
      {"n: 0 loop 2 [try/all [if true [break]] n: n + 1] n", "2"},
      {"f: does [try/all [return 1] 2] f", "2"},
      {"until [break/return 7]", "7"},
  });
}

TEST_F(InterpreterTest, ThrowErrorsOfExitsWithoutTheirFrame) {
  const SourceCase cases[] = {
      {"break", "throw break"},
      {"continue", "throw continue"},
      {"return 1", "throw return"},
      {"throw 1", "throw throw 1"},
      {"catch/name [throw/name 1 'x] 'y", "throw throw 1"},
      {"while [break][1]", "throw while-cond"},
  };
  for (const SourceCase& c : cases) EXPECT_EQ(error_of(c.source), c.expected) << c.source;
  EXPECT_EQ(eval("e: try/all [break] e/id"), "break");
  EXPECT_EQ(eval("e: loop 3 [try/all [continue]] e/id"), "continue");
}

TEST_F(InterpreterTest, FailureTable) {
  const SourceCase cases[] = {
      {"foo-unset-word", "script no-value foo-unset-word"},
      {"x:", "script need-value x:"},
      {"x: do []", "script need-value x:"},
      {"b: [1] b/1:", "script need-value b/1:"},
      {"+ 1 2", "script no-op-arg +"},
      {"g: func [a][a] g", "script no-arg g a"},
      {"if 1 \"x\"", "script expect-arg if string! then-blk"},
      {"f: func [a [integer!]][a] f ()", "script expect-arg f unset! a"},
      {"f: func [/r][r] f/q", "script no-refine f q"},
      {"f: func [/r][r] f/r/r", "script dup-refine f/r/r"},
      {"f: func [/r][r] f/1", "script bad-refine 1"},
      {"b: [1] (first-missing b)", "script no-value first-missing"},
      {"b: [1] b/:never-set", "script unset-path b/:never-set :never-set"},
      // The cut path names the value that has no step: b/x, which gave none.
      {"b: [1] b/x/y", "script bad-path-type b/x/y none! b/x"},
      {"b: [1] b/x/y: 2", "script bad-path-type b/x/y: none! b/x"},
      {"f: does [1] f/x:", "script need-value f/x:"},
      {"f: does [1] f/x: 2", "script invalid-path-set f/x:"},
      {"f: does [1] :f/x", "script invalid-path-get :f/x"},
      {"#system [1]", "internal xol-system"},
  };
  for (const SourceCase& c : cases) EXPECT_EQ(error_of(c.source), c.expected) << c.source;
}

// Operators on two integers skip their routines; every case a routine must decide (another
// type, an overflow, a zero divisor) still reaches it, with the right operand a literal, a word
// or an expression.
TEST_F(InterpreterTest, IntegerOperatorsAgreeWithTheirRoutines) {
  const std::string remainder = "%: make op! :remainder ";
  check({
      {"x: 7 x - 10", "-3"},
      {"x: 2 1 + x * 3", "9"},
      {"x: 3 reduce [x < 4 x > 4 x = 3 4 < x]", "[true false true false]"},
      {"x: 3 reduce [lesser? x 4 equal? x 3]", "[true true]"},
      {"x: 2147483647 x + 1", "2147483648.0"},
      {"2147483647 * 2", "4294967294.0"},
      {"x: 1 x + 1.5", "2.5"},
      {"1 < 1.5", "true"},
      {"x: 1 x + (x + 1)", "3"},
  });
  EXPECT_EQ(eval(remainder + "-7 % 2"), "-1");
  EXPECT_EQ(error_of(remainder + "x: 0 1 % x"), "math zero-divide");
  EXPECT_EQ(error_of(remainder + "x: -1 -2147483648 % x"), "math overflow");
  EXPECT_EQ(error_of("x: 1 x + 'a"), "script invalid-type word!");
  EXPECT_EQ(error_of("x: 1 x + y-unset"), "script no-value y-unset");
}

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
