// point2D! and point3D!: make, the "%.7g" printed form, the tolerant equality, arithmetic,
// paths, pick and the unary actions.
#include <cfloat>
#include <cmath>

#include "compound_fixture.h"
#include "runtime/datatypes/compound.h"
#include "runtime/text/number_text.h"

namespace xol {
namespace {

using PointTest = testing::CompoundTest;

float ulps_above(float value, int units) {
  for (int i = 0; i < units; ++i) value = std::nextafter(value, INFINITY);
  return value;
}

TEST_F(PointTest, MakeAndToFromEveryAcceptedSource) {
  struct Case {
    TypeId type;
    Cell spec;
    const char* text;
  } cases[] = {
      {TYPE_POINT2D, num(3), "(3, 3)"},
      {TYPE_POINT2D, flt(0.1), "(0.1, 0.1)"},
      {TYPE_POINT2D, pr(1, -2), "(1, -2)"},
      {TYPE_POINT2D, block_of({num(1), flt(2.5)}), "(1, 2.5)"},
      {TYPE_POINT2D, p2(4, 5), "(4, 5)"},
      {TYPE_POINT3D, pr(1, 2), "(1, 2, 0)"},
      {TYPE_POINT3D, p2(1, 2), "(1, 2, 0)"},
      {TYPE_POINT3D, block_of({num(0), num(-1), num(3)}), "(0, -1, 3)"},
      {TYPE_POINT3D, num(7), "(7, 7, 7)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(molded(made(c.type, c.spec)), c.text);
    EXPECT_EQ(formed(converted(c.type, c.spec)), c.text);
  }
  EXPECT_EQ(raised([&] { made(TYPE_POINT3D, block_of({num(1), num(2)})); }),
            "syntax/malconstruct");
  EXPECT_EQ(raised([&] { made(TYPE_POINT2D, block_of({num(1), str("a")})); }),
            "syntax/malconstruct");
  EXPECT_EQ(raised([&] { made(TYPE_POINT2D, p3(1, 2, 3)); }), "script/bad-to-arg");
  EXPECT_EQ(raised([&] { made(TYPE_POINT3D, tup({1, 2, 3})); }), "script/bad-to-arg");
}

TEST_F(PointTest, PrintsSevenSignificantDigitsAndTinyValuesAsZero) {
  struct Case {
    Cell point;
    const char* text;
  } cases[] = {
      {p2(1, 2.5f), "(1, 2.5)"},
      {p3(0, -1, 3), "(0, -1, 3)"},
      {p2(1e-20f, 1), "(0, 1)"},
      {p2(1.0f / 3.0f, 123456789.0f), "(0.3333333, 1.234568e8)"},
  };
  for (const Case& c : cases) EXPECT_EQ(molded(c.point), c.text);
}

TEST_F(PointTest, EqualityToleratesTenUnitsInTheLastPlaceStrictEqualityNone) {
  Cell base = p2(1, 2);
  struct Case {
    Cell other;
    int32_t equal, strict;
  } cases[] = {
      {p2(ulps_above(1, 1), 2), 0, 1},
      {p2(1, ulps_above(2, 10)), 0, 1},
      {p2(1, ulps_above(2, 11)), 1, 1},
      {p2(1, 2), 0, 0},
      {pr(1, 2), 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(compared(base, c.other, COMP_EQUAL), c.equal);
    EXPECT_EQ(compared(base, c.other, COMP_STRICT_EQUAL), c.strict);
  }
  EXPECT_EQ(compared(p2(0.0f, 1), p2(-0.0f, 1), COMP_EQUAL), 0);
  EXPECT_EQ(compared(p2(0.0f, 1), p2(-0.0f, 1), COMP_SAME), 1);
  EXPECT_EQ(compared(p2(NAN, 1), p2(NAN, 1), COMP_EQUAL), 1);
  EXPECT_EQ(compared(p2(FLT_MAX, 0), p2(INFINITY, 0), COMP_EQUAL), 0);
  EXPECT_EQ(compared(p2(1, 2), p3(1, 2, 0), COMP_EQUAL), kNotComparable);
}

TEST_F(PointTest, OrderingMovesOnWhileTheDifferenceIsNearlyZero) {
  EXPECT_EQ(compared(p2(1, 5), p2(2, 1), COMP_LESSER), -1);
  // Only a difference that is itself nearly zero moves on: one unit at 1.0 is not.
  EXPECT_EQ(compared(p2(ulps_above(1, 1), 1), p2(1, 2), COMP_SORT), 1);
  EXPECT_EQ(compared(p2(1, 1), p2(1, 2), COMP_SORT), -1);
  EXPECT_EQ(compared(p3(1, 2, 4), p3(1, 2, 3), COMP_SORT), 1);
  EXPECT_EQ(compared(p3(1, 2, 3), p3(1, 2, 3), COMP_SORT), 0);
  EXPECT_EQ(compared(p2(INFINITY, 0), p2(INFINITY, 0), COMP_LESSER), kNotComparable);
}

TEST_F(PointTest, ArithmeticRoundsEveryResultToThirtyTwoBits) {
  struct Case {
    Action action;
    Cell a, b;
    const char* text;
  } cases[] = {
      {ACT_ADD, p2(1, 2), pr(1, 1), "(2, 3)"},
      {ACT_MULTIPLY, p2(1, 2), num(2), "(2, 4)"},
      {ACT_DIVIDE, p2(1, 2), num(0), "(1.#INF, 1.#INF)"},
      {ACT_DIVIDE, p2(1, -2), flt(0.0), "(1.#INF, -1.#INF)"},
      {ACT_SUBTRACT, p3(1, 2, 3), p3(1, 1, 1), "(0, 1, 2)"},
      {ACT_REMAINDER, p2(7, -7), num(4), "(3, -3)"},
      {ACT_MULTIPLY, p2(1, 2), pct(0.5), "(0.5, 1)"},
  };
  for (const Case& c : cases) EXPECT_EQ(molded(apply(c.action, c.a, c.b)), c.text) << c.text;
  EXPECT_EQ(raised([&] { add(p3(1, 2, 3), pr(1, 1)); }), "script/invalid-type");
  EXPECT_EQ(raised([&] { add(p2(1, 2), p3(1, 2, 3)); }), "script/invalid-type");
  Cell result, ten = num(10), point = p2(1, 4);
  ASSERT_TRUE(compound::number_first_math(OP_SUBTRACT, &ten, &point, &result));
  EXPECT_EQ(molded(result), "(9, 6)");
}

TEST_F(PointTest, PathsAndPick) {
  Cell p = p2(1, 2);
  EXPECT_EQ(double_of(path(p, wrd("y"))), 2.0);
  Cell five = num(5), third = flt(1.0 / 3.0);
  EXPECT_EQ(molded(path(p, wrd("y"), &five)), "(1, 5)");
  Cell changed = path(p, num(1), &third);
  EXPECT_EQ(point::coordinate(&changed, 0), 1.0f / 3.0f);
  EXPECT_EQ(raised([&] { path(p, wrd("z"), &five); }), "script/invalid-path");
  Cell text = str("a");
  EXPECT_EQ(raised([&] { path(p, wrd("x"), &text); }), "script/invalid-type");
  Cell q = p3(1, 2, 3);
  EXPECT_EQ(double_of(picked(q, wrd("z"))), 3.0);
  EXPECT_EQ(double_of(picked(q, num(3))), 3.0);
  EXPECT_EQ(raised([&] { picked(q, num(4)); }), "script/out-of-range");
  EXPECT_EQ(raised([&] { picked(p, wrd("z")); }), "script/cannot-use");
}

TEST_F(PointTest, UnaryActionsAndRounding) {
  EXPECT_EQ(molded(reversed(p3(1, 2, 3))), "(3, 2, 1)");
  EXPECT_EQ(molded(reversed(p2(1, 2))), "(2, 1)");
  Cell negated = unary(ACT_NEGATE, p2(0, 1));
  EXPECT_EQ(molded(negated), "(0, -1)");
  EXPECT_FALSE(std::signbit(point::coordinate(&negated, 0)));
  EXPECT_EQ(molded(unary(ACT_ABSOLUTE, p3(-1, 2, -3))), "(1, 2, 3)");
  Cell scale = p2(2, 10), half = flt(0.5), cash = money_of("$1");
  EXPECT_EQ(molded(rounded(p2(1.4f, 2.6f))), "(1, 3)");
  EXPECT_EQ(molded(rounded(p2(3, 14), RoundOptions{.to = &scale})), "(4, 10)");
  EXPECT_EQ(molded(rounded(p3(1.3f, 2, 2.6f), RoundOptions{.to = &half})), "(1.5, 2, 2.5)");
  EXPECT_EQ(molded(rounded(p3(1.3f, 2, 2.6f), RoundOptions{.to = &scale})), "(2, 0, 2.6)");
  EXPECT_EQ(raised([&] { rounded(p2(1, 2), RoundOptions{.to = &cash}); }), "script/not-related");
}

}  // namespace
}  // namespace xol
