// `sort/compare` with a function value on blocks, strings and vectors, through the comparison
// caller the evaluator installs: the answer's convention, records, errors and nested sorts. The
// lexer's trace callbacks as function values. And sorting a block by the compare actions, whose
// commonest same-type pairs are answered without the action lookup, against a reference that
// always asks the actions.
#include <cmath>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "runtime/datatypes/char.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/tables/sort.h"
#include "tests/unit/eval_fixture.h"

namespace xol::testing {
namespace {

class SortCompareTest : public EvalTest {};

TEST_F(SortCompareTest, AnswersOrderTheFirstArgument) {
  check({
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
  });
}

TEST_F(SortCompareTest, VectorRecordsAndOffsets) {
  check({
      {"to block! sort/skip/compare make vector! [1 9 2 5 3 7] 2 2", "[2 5 3 7 1 9]"},
      {"v: make vector! [1 9 2 5 3 7] "
       "to block! sort/skip/all/compare v 2 func [a b] [(pick a 2) > (pick b 2)]",
       "[1 9 3 7 2 5]"},
      {"to block! sort/compare make vector! [1 2] 1", "error script bad-refines"},
      {"to block! sort/skip/compare make vector! [1 2] 2 3", "error script out-of-range 3"},
      {"sort/compare make vector! [1 2] \"x\"", "error script invalid-refine-arg \"x\" compare"},
  });
}

TEST_F(SortCompareTest, ComparisonErrorsAndNestedSorts) {
  check({
      {"sort/compare [2 1] func [a b] [1 / 0]", "error math zero-divide"},
      {"sort/compare [2 1] func [a b c] [true]", "error script no-arg <compare-callback> c"},
      {"sort/compare [2 3 1] func [a b] [sort/compare [3 1 2] func [x y] [x < y] a < b]",
       "[1 2 3]"},
      {"catch [sort/compare [2 1] func [a b] [throw 7]]", "7"},
  });
  // The stacks are balanced after a comparison that fails.
  EXPECT_EQ(eval("sort/compare [3 1 2] func [a b] [a < b]"), "[1 2 3]");
}

// The callback's first body value chooses its events; its answer false drops a loaded value,
// and moving its `input` argument moves the lexer.
TEST_F(SortCompareTest, LexerCallbacksAreFunctionValues) {
  const SourceCase cases[] = {
      {"func [e i t l k] [[load] not k = 2]", "[1 3]"},
      {"func [e i t l k] [[load] if k = 1 [i: tail i] true]", "[1]"},
      {"func [e i t l k] [[load] if k = 1 [i: skip i 3] true]", "[1 3]"},
      {"func [e i t l k] [true]", "[1 2 3]"},
  };
  for (const SourceCase& c : cases) {
    const Cell source = run("\"1 2 3\"");
    const Cell callback = run(c.source);
    Cell out;
    lexer::scan_string(&source, nullptr, &callback, nullptr, lexer::Mode{}, -1, &out);
    EXPECT_EQ(molded(out), c.expected) << c.source;
  }
  EXPECT_EQ(stack::top, stack::bottom);
}

// How a block sort compares its records, for the reference sort below.
struct Records {
  uint32_t skip = 1;
  uint32_t offset = 0;  // the compared cell, unless all are
  bool all = false;
  bool reverse = false;
};
Records records;

// The compare action's answer, or the type ids' difference when the two do not compare: the
// order of a block sort, asked of the actions every time.
int32_t order_by_action(const Cell* a, const Cell* b, int32_t op) {
  Cell x = *a, y = *b;
  int32_t answer = actions::get<ACT_COMPARE>(x.type())(&x, &y, op);
  return answer == kNotComparable ? int32_t(x.type()) - int32_t(y.type()) : answer;
}

int32_t reference_order(const void* first, const void* second, uint32_t op, uint32_t) {
  const Cell* a = static_cast<const Cell*>(first);
  const Cell* b = static_cast<const Cell*>(second);
  if (records.reverse) std::swap(a, b);
  uint32_t from = records.all ? 0 : records.offset;
  uint32_t to = records.all ? records.skip : records.offset + 1;
  for (uint32_t i = from; i < to; ++i)
    if (int32_t answer = order_by_action(a + i, b + i, int32_t(op))) return answer;
  return 0;
}

class SortByActionsTest : public EvalTest {
 protected:
  enum Mix { INTEGERS, FLOATS, CHARS, MIXED };

  // Few distinct keys, so that equal keys abound, each cell with or without a new-line marker
  // so that the order of equal keys shows. Floats take in NaN, infinities and both zeros;
  // MIXED adds integers equal to floats, chars equal to integers, and values of other types.
  std::vector<Cell> random_cells(Mix mix, uint32_t n, uint32_t seed) {
    const double kNaN = std::numeric_limits<double>::quiet_NaN();
    const double kInf = std::numeric_limits<double>::infinity();
    const Cell others = run("[\"b\" \"B\" word Word none 1.5% $2 [1] #\"z\"]");
    std::vector<Cell> pool = {integer::make(INT32_MIN), integer::make(INT32_MAX),
                              floating::make(kNaN),     floating::make(kInf),
                              floating::make(-kInf),    floating::make(-0.0),
                              floating::make(0.0),      character::make(0x10FFFF)};
    for (int32_t k = -3; k <= 3; ++k) {
      pool.push_back(integer::make(k));
      pool.push_back(floating::make(k * 0.5));
      pool.push_back(character::make(uint32_t('a' + k)));
      pool.push_back(character::make(uint32_t('A' + k)));
    }
    for (uint32_t i = 0; i < block::length(&others); ++i) pool.push_back(block::head(&others)[i]);
    std::mt19937 random(seed);
    std::vector<Cell> cells;
    while (cells.size() < n) {
      Cell cell = pool[random() % pool.size()];
      bool wanted = mix == MIXED || (mix == INTEGERS && cell.is(TYPE_INTEGER)) ||
                    (mix == FLOATS && cell.is(TYPE_FLOAT)) || (mix == CHARS && cell.is(TYPE_CHAR));
      if (!wanted) continue;
      if (random() % 3 == 0) cell.header |= kNewLineFlag;
      cells.push_back(cell);
    }
    return cells;
  }

  // Sorts the cells in a block with `command`, whose records the reference is told, and
  // expects exactly the reference's cells, markers included.
  void expect_reference_order(const std::vector<Cell>& cells, const char* command,
                              const Records& plan, uint32_t op, bool stable) {
    Cell block;
    block::make_at(&block, int32_t(cells.size()));
    for (const Cell& cell : cells) block::append_cell(&block, &cell);
    context::set_global(symbol::make("b"), &block);
    run(command);

    std::vector<Cell> expected = cells;
    records = plan;
    uint32_t count = uint32_t(expected.size()) / plan.skip, size = plan.skip * sizeof(Cell);
    sort::Target target = sort::Target::at(expected.data());
    if (stable) sort::stable(target, count, size, op, 0, reference_order);
    else sort::unstable(target, count, size, op, 0, reference_order);

    const Cell* sorted = block::head(&block);
    for (size_t i = 0; i < expected.size(); ++i) {
      const Cell& want = expected[i];
      const Cell& got = sorted[i];
      ASSERT_TRUE(want.header == got.header && want.data1 == got.data1 &&
                  want.data2 == got.data2 && want.data3 == got.data3)
          << command << ": cell " << i << " of " << expected.size() << " is " << molded(got)
          << " (header " << std::hex << got.header << "), wanted " << molded(want) << " (header "
          << want.header << ")";
    }
  }
};

TEST_F(SortByActionsTest, SortsAsTheCompareActionsOrder) {
  struct Case {
    const char* command;
    Records plan;
    uint32_t op;
    bool stable;
  } cases[] = {
      {"sort b", {}, COMP_SORT, false},
      {"sort/case b", {}, COMP_CASE_SORT, false},
      {"sort/reverse b", {1, 0, false, true}, COMP_SORT, false},
      {"sort/stable b", {}, COMP_SORT, true},
      {"sort/skip/compare b 2 2", {2, 1, false, false}, COMP_SORT, false},
      {"sort/skip/all/stable b 2", {2, 0, true, false}, COMP_SORT, true},
  };
  const uint32_t sizes[] = {40, 700, 6000};  // insertion only, sampled pivots, more rounds
  uint32_t seed = 1;
  for (Mix mix : {INTEGERS, FLOATS, CHARS, MIXED})
    for (uint32_t n : sizes)
      for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "mix " << mix << ", " << n << " cells");
        expect_reference_order(random_cells(mix, n, seed++), c.command, c.plan, c.op, c.stable);
      }
}

// Nearly ordered input takes the default sort through its near-order pass, whose answer on
// equal keys depends on every comparison's sign.
TEST_F(SortByActionsTest, NearlyOrderedInputSortsAsTheCompareActionsOrder) {
  for (Mix mix : {INTEGERS, MIXED}) {
    std::vector<Cell> cells = random_cells(mix, 3000, 77);
    records = Records{};
    sort::stable(sort::Target::at(cells.data()), uint32_t(cells.size()), sizeof(Cell), COMP_SORT,
                 0, reference_order);
    std::mt19937 random(5);
    for (int swaps = 0; swaps < 30; ++swaps)
      std::swap(cells[random() % cells.size()], cells[random() % cells.size()]);
    SCOPED_TRACE(::testing::Message() << "mix " << mix);
    expect_reference_order(cells, "sort b", Records{}, COMP_SORT, false);
  }
}

}  // namespace
}  // namespace xol::testing
