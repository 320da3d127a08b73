// float!: printed forms, the float core (no errors, result types), tolerant equality and NaN,
// comparison with money!, round, conversions and parity.
#include <cfloat>
#include <cmath>
#include <limits>

#include "number_fixture.h"

namespace xol {
namespace {

using FloatTest = testing::NumberTest;
constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::nan("");

TEST_F(FloatTest, FormIsThePrettyTextAndMoldTheShortestThatReadsBack) {
  struct Case {
    double value;
    const char* form;
    const char* mold;
  } cases[] = {
      {0.1 + 0.2, "0.3", "0.30000000000000004"},
      {1.0 / 3, "0.3333333333333333", "0.3333333333333333"},
      {0.1 + 0.7, "0.8", "0.7999999999999999"},
      {3.0, "3.0", "3.0"},
      {100.0, "100.0", "100.0"},
      {1e16, "1.0e16", "10000000000000000.0"},
      {1e17, "1.0e17", "1.0e17"},
      {1e20, "1.0e20", "1.0e20"},
      {1e-5, "1.0e-5", "0.00001"},
      {1e-7, "1.0e-7", "0.0000001"},
      {1.5e-8, "1.5e-8", "1.5e-8"},
      {1e-17, "0.0", "1.0e-17"},
      {-0.0, "0.0", "-0.0"},
      {kInf, "1.#INF", "1.#INF"},
      {-kInf, "-1.#INF", "-1.#INF"},
      {kNaN, "1.#NaN", "1.#NaN"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(formed(flt(c.value)), c.form) << c.mold;
    EXPECT_EQ(molded(flt(c.value)), c.mold);
  }
}

TEST_F(FloatTest, ArithmeticGivesInfinitiesAndNaNInsteadOfErrors) {
  struct Case {
    Action action;
    Cell a, b;
    double expected;
  } cases[] = {
      {ACT_DIVIDE, flt(1.0), num(0), kInf},
      {ACT_DIVIDE, flt(-1.0), flt(0.0), -kInf},
      {ACT_MULTIPLY, flt(1e308), flt(10.0), kInf},
      {ACT_REMAINDER, flt(5.5), num(2), 1.5},
      {ACT_REMAINDER, flt(-5.5), num(2), -1.5},
      {ACT_REMAINDER, flt(1.0), flt(kInf), 1.0},
      {ACT_SUBTRACT, flt(0.5), num(1), -0.5},
  };
  for (const Case& c : cases) EXPECT_EQ(double_of(apply(c.action, c.a, c.b)), c.expected);
  struct NaNCase {
    Action action;
    Cell a, b;
  } nans[] = {
      {ACT_DIVIDE, flt(0.0), num(0)},
      {ACT_REMAINDER, flt(1.0), flt(0.0)},
      {ACT_REMAINDER, flt(kInf), num(2)},
      {ACT_REMAINDER, flt(1.0), flt(kNaN)},
      {ACT_SUBTRACT, flt(kInf), flt(kInf)},
  };
  for (const NaNCase& c : nans) EXPECT_TRUE(std::isnan(double_of(apply(c.action, c.a, c.b))));
}

TEST_F(FloatTest, ResultTypeFollowsTheOperands) {
  struct Case {
    Cell a, b;
    TypeId type;
  } cases[] = {
      {pct(0.1), num(1), TYPE_PERCENT},     {flt(1.5), pct(0.1), TYPE_FLOAT},
      {flt(1.5), tim(0, 0, 1), TYPE_TIME},  {pct(0.1), tim(0, 0, 1), TYPE_TIME},
      {num(1), pct(0.1), TYPE_FLOAT},       {flt(1.0), Cell{TYPE_CHAR, 0, 65, 0}, TYPE_FLOAT},
  };
  for (const Case& c : cases) EXPECT_EQ(add(c.a, c.b).type(), c.type) << molded(c.b);
  Cell letter{TYPE_CHAR, 0, 65, 0};
  EXPECT_EQ(raised([&] { add(pct(0.1), letter); }), "script/invalid-type");
  EXPECT_EQ(raised([&] { add(flt(1.0), Cell{TYPE_NONE, 0, 0, 0}); }), "script/invalid-type");
  Cell a = flt(1.0), b = flt(2.0), result;
  EXPECT_EQ(raised([&] { floating::do_math(OP_OR, &a, &b, &result); }), "script/cannot-use");
}

TEST_F(FloatTest, EqualityIsTolerantAndNaNEqualsNothing) {
  double next = std::nextafter(1.0, 2.0);
  double ten_ulps = 1.0, eleven_ulps;
  for (int i = 0; i < 10; ++i) ten_ulps = std::nextafter(ten_ulps, 2.0);
  eleven_ulps = std::nextafter(ten_ulps, 2.0);
  struct Case {
    double a, b;
    bool equal, strict;
  } cases[] = {
      {0.1 + 0.2, 0.3, true, false},
      {1.0, next, true, false},
      {1.0, ten_ulps, true, false},
      {1.0, eleven_ulps, false, false},
      {1e-300, -1e-300, true, false},
      {0.0, -0.0, true, true},
      {kInf, kInf, true, true},
      {kInf, DBL_MAX, false, false},
      {kNaN, kNaN, false, false},
      {kNaN, 1.0, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(holds(flt(c.a), flt(c.b), COMP_EQUAL), c.equal) << c.a << " " << c.b;
    EXPECT_EQ(holds(flt(c.a), flt(c.b), COMP_NOT_EQUAL), !c.equal) << c.a << " " << c.b;
    EXPECT_EQ(holds(flt(c.a), flt(c.b), COMP_STRICT_EQUAL), c.strict) << c.a << " " << c.b;
  }
  EXPECT_TRUE(holds(flt(kNaN), flt(kNaN), COMP_SAME));
  EXPECT_FALSE(holds(flt(0.0), flt(-0.0), COMP_SAME));
  EXPECT_FALSE(holds(flt(0.5), pct(0.5), COMP_STRICT_EQUAL));
  EXPECT_TRUE(holds(flt(0.5), pct(0.5), COMP_EQUAL));
}

TEST_F(FloatTest, EveryOrderingWithNaNIsFalse) {
  for (int32_t op : {COMP_LESSER, COMP_LESSER_EQUAL, COMP_GREATER, COMP_GREATER_EQUAL}) {
    EXPECT_FALSE(holds(flt(kNaN), flt(1.0), op)) << op;
    EXPECT_FALSE(holds(flt(1.0), flt(kNaN), op)) << op;
    EXPECT_FALSE(holds(flt(kNaN), money_of("$1"), op)) << op;
    EXPECT_FALSE(holds(money_of("$1"), flt(kNaN), op)) << op;
  }
}

TEST_F(FloatTest, AgainstMoneyTheSignsDecideFirst) {
  struct Case {
    double value;
    const char* amount;
    int32_t op;
    bool expected;
  } cases[] = {
      {-1e20, "$5", COMP_LESSER, true},
      {1e20, "$5", COMP_GREATER, true},
      {1e20, "-$5", COMP_GREATER, true},
      {-1e20, "-$5", COMP_LESSER, true},
      {0.000001, "-$5", COMP_LESSER, false},
      {0.000001, "$5", COMP_LESSER, true},
      {-0.000001, "-$5", COMP_GREATER, true},
      {0.0, "$0", COMP_EQUAL, true},
      {0.5, "$0.50", COMP_EQUAL, true},
      {0.25, "USD$0.30", COMP_LESSER, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(holds(flt(c.value), money_of(c.amount), c.op), c.expected)
        << c.value << " op " << c.op << " " << c.amount;
    // The same question asked from the money side.
    EXPECT_EQ(holds(money_of(c.amount), flt(c.value), number::swapped_op(c.op)), c.expected)
        << c.amount << " swapped op " << c.op << " " << c.value;
  }
}

TEST_F(FloatTest, Round) {
  struct Case {
    double value;
    RoundOptions options;
    double expected;
  } cases[] = {
      {2.5, {}, 3.0},
      {-2.5, {}, -3.0},
      {2.4, {}, 2.0},
      {2.5, {.even = true}, 2.0},
      {3.5, {.even = true}, 4.0},
      {2.5, {.half_down = true}, 2.0},
      {-2.5, {.half_ceiling = true}, -2.0},
      {2.5, {.half_ceiling = true}, 3.0},
      {-2.7, {.down = true}, -2.0},
      {-2.2, {.floor = true}, -3.0},
      {2.2, {.ceiling = true}, 3.0},
      {2.6, {.down = true, .ceiling = true}, 2.0},
      {1e300, {}, 1e300},
  };
  for (const Case& c : cases) {
    Cell result = rounded(flt(c.value), c.options);
    ASSERT_EQ(result.type(), TYPE_FLOAT);
    EXPECT_EQ(double_of(result), c.expected) << c.value;
  }
}

TEST_F(FloatTest, RoundToAScaleTakesTheScalesType) {
  Cell cent = flt(0.01), one = num(1), ten = num(10), quarter_hour = tim(0, 15, 0),
       percent = pct(0.05), huge = flt(1e10), dollar = money_of("$1");
  Cell by_cent = rounded(flt(1.2345), {.to = &cent});
  EXPECT_EQ(by_cent.type(), TYPE_FLOAT);
  EXPECT_EQ(double_of(by_cent), 1.23);
  Cell by_one = rounded(flt(1.2345), {.to = &one});
  ASSERT_EQ(by_one.type(), TYPE_INTEGER);
  EXPECT_EQ(int_of(by_one), 1);
  EXPECT_EQ(int_of(rounded(flt(-15.0), {.to = &ten})), -20);
  EXPECT_EQ(rounded(flt(1000.0), {.to = &quarter_hour}).type(), TYPE_TIME);
  EXPECT_EQ(rounded(flt(0.33), {.to = &percent}).type(), TYPE_PERCENT);
  EXPECT_EQ(raised([&] { rounded(huge, {.to = &one}); }), "script/type-limit");
  EXPECT_EQ(raised([&] { rounded(flt(2.5), {.to = &dollar}); }), "script/not-related");
  Cell big_step = flt(1e308);
  EXPECT_EQ(raised([&] { rounded(flt(1.5e308), {.to = &big_step}); }), "math/overflow");
}

TEST_F(FloatTest, RoundToASubnormalStepKeepsExactMultiples) {
  double smallest = std::numeric_limits<double>::denorm_min();
  Cell step = flt(8 * smallest);
  EXPECT_EQ(double_of(rounded(flt(21 * smallest), {.to = &step})), 24 * smallest);
  EXPECT_EQ(double_of(rounded(flt(19 * smallest), {.to = &step})), 16 * smallest);
}

TEST_F(FloatTest, MakeAndTo) {
  EXPECT_EQ(molded(made(TYPE_FLOAT, block_of({num(3), num(-1)}))), "0.3");
  EXPECT_EQ(molded(made(TYPE_FLOAT, block_of({flt(1.5), num(3)}))), "1500.0");
  EXPECT_EQ(molded(converted(TYPE_FLOAT, block_of({num(1), num(400)}))), "1.#INF");
  EXPECT_EQ(double_of(converted(TYPE_FLOAT, num(-7))), -7.0);
  EXPECT_EQ(double_of(converted(TYPE_FLOAT, pct(0.5))), 0.5);
  EXPECT_EQ(double_of(converted(TYPE_FLOAT, tim(0, 1, 30))), 90.0);
  EXPECT_EQ(double_of(converted(TYPE_FLOAT, money_of("-$1.1"))), -1.1);
  EXPECT_EQ(double_of(converted(TYPE_FLOAT, Cell{TYPE_CHAR, 0, 65, 0})), 65.0);
  EXPECT_EQ(converted(TYPE_PERCENT, num(50)).type(), TYPE_PERCENT);
  EXPECT_EQ(raised([&] { converted(TYPE_FLOAT, block_of({num(1)})); }), "script/bad-to-arg");
  EXPECT_EQ(raised([&] { converted(TYPE_FLOAT, block_of({num(1), pct(0.1)})); }),
            "script/bad-to-arg");
  EXPECT_EQ(raised([&] { converted(TYPE_FLOAT, Cell{TYPE_NONE, 0, 0, 0}); }),
            "script/bad-to-arg");
}

TEST_F(FloatTest, UnaryActionsKeepTheType) {
  Cell value = pct(-0.25), result;
  floating::absolute(&value, &result);
  EXPECT_EQ(result.type(), TYPE_PERCENT);
  EXPECT_EQ(double_of(result), 0.25);
  value = tim(1, 0, 0);
  floating::negate(&value, &result);
  EXPECT_EQ(result.type(), TYPE_TIME);
  EXPECT_EQ(double_of(result), -3600.0);
  EXPECT_EQ(double_of(apply(ACT_POWER, flt(2.0), num(10))), 1024.0);
  EXPECT_EQ(raised([] { apply(ACT_POWER, flt(2.0), pct(0.5)); }), "script/expect-arg");
}

TEST_F(FloatTest, ParityOfTheIntegerPart) {
  struct Case {
    double value;
    bool even;
  } cases[] = {{2.7, true}, {3.2, false}, {-3.0, false}, {-0.5, true},
               {1e300, true}, {4294967297.0, false}, {kNaN, true}, {kInf, true}};
  for (const Case& c : cases) {
    Cell value = flt(c.value);
    EXPECT_EQ(floating::even(&value), c.even) << c.value;
    EXPECT_EQ(floating::odd(&value), !c.even) << c.value;
  }
}

}  // namespace
}  // namespace xol
