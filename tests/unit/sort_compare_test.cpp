// `sort/compare` with a function value on blocks, strings and vectors, through the comparison
// caller the evaluator installs: the answer's convention, records, errors and nested sorts. And
// the lexer's trace callbacks as function values.
#include "tests/unit/eval_fixture.h"

namespace xol::testing {
namespace {

struct Case {
  const char* source;
  const char* expected;
};

class SortCompareTest : public EvalTest {};

TEST_F(SortCompareTest, AnswersOrderTheFirstArgument) {
  const Case cases[] = {
      {"sort/compare [3 1 2] func [a b] [a < b]", "[1 2 3]"},
      {"sort/compare [3 1 2] func [a b] [a > b]", "[3 2 1]"},
      {"sort/compare [3 1 2] func [a b] [a - b]", "[1 2 3]"},   // negative: first goes first
      {"sort/compare [3 1 2] func [a b] [b - a]", "[3 2 1]"},
      {"sort/compare/reverse [3 1 2] func [a b] [a < b]", "[3 2 1]"},
      {"sort/compare [3 1 2] func [a b] [return a < b]", "[1 2 3]"},
      {"sort/compare [3 1 2] :lesser?", "[1 2 3]"},
      {"sort/stable/compare [2 b 1 a 2 a 1 b] func [a b] [0]", "[2 b 1 a 2 a 1 b]"},
      {"sort/skip/compare [2 x 1 y] 2 func [a b] [a < b]", "[1 y 2 x]"},
      {"sort/compare \"cab\" func [a b] [a < b]", "\"abc\""},
      {"sort/compare \"cab\" func [a b] [a > b]", "\"cba\""},
      {"to block! sort/compare make vector! [3 1 2] func [a b] [a > b]", "[3 2 1]"},
      {"to block! sort/compare next make vector! [9 3 1 2] func [a b] [a < b]", "[1 2 3]"},
      {"to block! sort/compare make vector! [1.5 -2.5] func [a b] [a < b]", "[-2.5 1.5]"},
      {"to block! head sort/compare next make vector! [9 3 1] func [a b] [a < b]", "[9 1 3]"},
  };
  for (const Case& c : cases) EXPECT_EQ(eval(c.source), c.expected) << c.source;
}

TEST_F(SortCompareTest, VectorRecordsAndOffsets) {
  const Case cases[] = {
      {"to block! sort/skip/compare make vector! [1 9 2 5 3 7] 2 2", "[2 5 3 7 1 9]"},
      {"v: make vector! [1 9 2 5 3 7] "
       "to block! sort/skip/all/compare v 2 func [a b] [(pick a 2) > (pick b 2)]",
       "[1 9 3 7 2 5]"},
      {"to block! sort/compare make vector! [1 2] 1", "error script bad-refines"},
      {"to block! sort/skip/compare make vector! [1 2] 2 3", "error script out-of-range 3"},
      {"sort/compare make vector! [1 2] \"x\"", "error script invalid-refine-arg compare \"x\""},
  };
  for (const Case& c : cases) EXPECT_EQ(eval(c.source), c.expected) << c.source;
}

TEST_F(SortCompareTest, ComparisonErrorsAndNestedSorts) {
  const Case cases[] = {
      {"sort/compare [2 1] func [a b] [1 / 0]", "error math zero-divide"},
      {"sort/compare [2 1] func [a b c] [true]", "error script no-arg <compare-callback> c"},
      {"sort/compare [2 3 1] func [a b] [sort/compare [3 1 2] func [x y] [x < y] a < b]",
       "[1 2 3]"},
      {"catch [sort/compare [2 1] func [a b] [throw 7]]", "7"},
  };
  for (const Case& c : cases) EXPECT_EQ(eval(c.source), c.expected) << c.source;
  // The stacks are balanced after a comparison that fails.
  EXPECT_EQ(eval("sort/compare [3 1 2] func [a b] [a < b]"), "[1 2 3]");
}

// The callback's first body value chooses its events; its answer false drops a loaded value,
// and moving its `input` argument moves the lexer.
TEST_F(SortCompareTest, LexerCallbacksAreFunctionValues) {
  const Case cases[] = {
      {"func [e i t l k] [[load] not k = 2]", "[1 3]"},
      {"func [e i t l k] [[load] if k = 1 [i: tail i] true]", "[1]"},
      {"func [e i t l k] [[load] if k = 1 [i: skip i 3] true]", "[1 3]"},
      {"func [e i t l k] [true]", "[1 2 3]"},
  };
  for (const Case& c : cases) {
    const Cell source = run("\"1 2 3\"");
    const Cell callback = run(c.source);
    Cell out;
    lexer::scan_string(&source, nullptr, &callback, nullptr, lexer::Mode{}, -1, &out);
    EXPECT_EQ(molded(out), c.expected) << c.source;
  }
  EXPECT_EQ(stack::top, stack::bottom);
}

}  // namespace
}  // namespace xol::testing
