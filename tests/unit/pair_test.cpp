// pair!: make and to, printing, integer arithmetic with promotion to point2D!, number-first
// arithmetic, paths, pick, rounding and ordering.
#include <cmath>

#include "compound_fixture.h"
#include "runtime/datatypes/compound.h"

namespace xol {
namespace {

using PairTest = testing::CompoundTest;

TEST_F(PairTest, MakeAndToFromEveryAcceptedSource) {
  struct Case {
    Cell spec;
    const char* text;
  } cases[] = {
      {num(3), "3x3"},
      {flt(2.9), "2x2"},
      {flt(1e10), "-2147483648x-2147483648"},
      {block_of({flt(1.9), flt(-1.9)}), "1x-1"},
      {block_of({num(4), num(5), num(6)}), "4x5"},
      {p2(2.5f, -3.5f), "2x-3"},
      {pr(7, 8), "7x8"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(molded(made(TYPE_PAIR, c.spec)), c.text);
    EXPECT_EQ(formed(converted(TYPE_PAIR, c.spec)), c.text);
  }
  EXPECT_EQ(raised([&] { made(TYPE_PAIR, block_of({num(1)})); }), "syntax/malconstruct");
  EXPECT_EQ(raised([&] { made(TYPE_PAIR, block_of({num(1), str("a")})); }), "syntax/malconstruct");
  EXPECT_EQ(raised([&] { made(TYPE_PAIR, p2(INFINITY, 1)); }), "script/invalid-arg");
  EXPECT_EQ(raised([&] { made(TYPE_PAIR, tup({1, 2, 3})); }), "script/bad-to-arg");
}

TEST_F(PairTest, ArithmeticStaysIntegerUntilItCannot) {
  struct Case {
    Action action;
    Cell a, b;
    const char* text;
  } cases[] = {
      {ACT_ADD, pr(1, 2), pr(10, 20), "11x22"},
      {ACT_SUBTRACT, pr(1, 2), num(3), "-2x-1"},
      {ACT_DIVIDE, pr(3, 4), num(2), "1x2"},
      {ACT_REMAINDER, pr(7, -7), num(4), "3x-3"},
      {ACT_AND, pr(12, 10), num(6), "4x2"},
      {ACT_ADD, pr(1, 2), flt(1.5), "2x3"},
      {ACT_MULTIPLY, pr(1, 2), flt(1.5), "(1.5, 3)"},
      {ACT_DIVIDE, pr(3, 4), flt(2.0), "(1.5, 2)"},
      {ACT_MULTIPLY, pr(1, 2), pct(0.5), "(0.5, 1)"},
      {ACT_ADD, pr(2147483647, 0), num(1), "(2.147484e9, 1)"},
      {ACT_MULTIPLY, pr(65536, 1), pr(65536, 2), "(4.294967e9, 2)"},
      {ACT_ADD, pr(1, 2), p2(0.5f, 0.25f), "(1.5, 2.25)"},
  };
  for (const Case& c : cases) EXPECT_EQ(molded(apply(c.action, c.a, c.b)), c.text) << c.text;
  EXPECT_EQ(raised([&] { divide(pr(1, 2), num(0)); }), "math/zero-divide");
  EXPECT_EQ(raised([&] { multiply(pr(1, 2), flt(INFINITY)); }), "script/invalid-arg");
  EXPECT_EQ(raised([&] { divide(pr(1, 2), flt(NAN)); }), "script/invalid-arg");
  EXPECT_EQ(raised([&] { add(pr(1, 2), str("a")); }), "script/invalid-type");
}

TEST_F(PairTest, NumberFirstComputesWhatItSaysForIntegersAndFloatsAlike) {
  struct Case {
    MathOp op;
    Cell number, pair;
    const char* text;
  } cases[] = {
      {OP_SUBTRACT, num(2), pr(1, 5), "1x-3"},
      {OP_SUBTRACT, flt(2.0), pr(1, 5), "1x-3"},
      {OP_SUBTRACT, num(0), pr(-2147483648, 0), "(2.147484e9, 0)"},
      {OP_REMAINDER, num(7), pr(2, 4), "1x3"},
      {OP_MULTIPLY, num(2), pr(3, 4), "6x8"},
      {OP_MULTIPLY, flt(1.5), pr(1, 2), "(1.5, 3)"},
      {OP_ADD, pct(1.0), pr(1, 2), "2x3"},
  };
  for (const Case& c : cases) {
    Cell result;
    ASSERT_TRUE(compound::number_first_math(c.op, &c.number, &c.pair, &result));
    EXPECT_EQ(molded(result), c.text);
  }
  // The number types' own actions hand a compound right operand to the same rule.
  EXPECT_EQ(molded(apply(ACT_MULTIPLY, num(2), pr(3, 4))), "6x8");
  EXPECT_EQ(molded(apply(ACT_SUBTRACT, flt(2.0), pr(1, 5))), "1x-3");
  Cell result, two = num(2), one = pr(1, 1), time = tim(0, 0, 1);
  EXPECT_EQ(raised([&] { compound::number_first_math(OP_DIVIDE, &two, &one, &result); }),
            "script/not-related");
  EXPECT_EQ(raised([&] { compound::number_first_math(OP_ADD, &time, &one, &result); }),
            "script/invalid-type");
}

TEST_F(PairTest, PathsAndPickReadAndSetCoordinates) {
  Cell p = pr(1, 2);
  EXPECT_EQ(int_of(path(p, wrd("x"))), 1);
  EXPECT_EQ(int_of(path(p, num(2))), 2);
  Cell five = num(5), seven = num(7);
  p = path(p, wrd("X"), &five);
  p = path(p, num(2), &seven);
  EXPECT_EQ(molded(p), "5x7");
  Cell half = flt(1.5);
  EXPECT_EQ(raised([&] { path(p, wrd("x"), &half); }), "script/invalid-type");
  EXPECT_EQ(raised([&] { path(p, wrd("z")); }), "script/invalid-path");
  EXPECT_EQ(raised([&] { path(p, num(3)); }), "script/invalid-path");
  EXPECT_EQ(int_of(picked(p, wrd("y"))), 7);
  EXPECT_EQ(raised([&] { picked(p, wrd("z")); }), "script/cannot-use");
  EXPECT_EQ(raised([&] { picked(p, num(3)); }), "script/out-of-range");
}

TEST_F(PairTest, UnaryActionsAndRounding) {
  EXPECT_EQ(molded(reversed(pr(1, 2))), "2x1");
  EXPECT_EQ(molded(unary(ACT_NEGATE, pr(-2147483648, 3))), "-2147483648x-3");
  EXPECT_EQ(molded(unary(ACT_ABSOLUTE, pr(-4, 5))), "4x5");
  EXPECT_EQ(raised([&] { unary(ACT_ABSOLUTE, pr(-2147483648, 1)); }), "math/overflow");
  Cell scale = pr(5, 10), five = num(5), half = flt(0.5), cash = money_of("$1");
  EXPECT_EQ(molded(rounded(pr(7, 13), RoundOptions{.to = &five})), "5x15");
  EXPECT_EQ(molded(rounded(pr(7, 13), RoundOptions{.to = &scale})), "5x10");
  EXPECT_EQ(molded(rounded(pr(7, 13), RoundOptions{.to = &half})), "7x13");
  EXPECT_EQ(raised([&] { rounded(pr(7, 13), RoundOptions{.to = &cash}); }), "script/not-related");
}

TEST_F(PairTest, OrderingIsXThenYAndPointsCompareAsPoints) {
  EXPECT_EQ(compared(pr(1, 5), pr(2, 1), COMP_LESSER), -1);
  EXPECT_EQ(compared(pr(1, 5), pr(1, 2), COMP_SORT), 1);
  EXPECT_EQ(compared(pr(1, 2), pr(1, 2), COMP_EQUAL), 0);
  EXPECT_EQ(compared(pr(1, 2), p2(1, 2), COMP_EQUAL), 0);
  EXPECT_EQ(compared(pr(1, 2), num(1), COMP_EQUAL), kNotComparable);
}

}  // namespace
}  // namespace xol
