// integer!: overflow into float!, division and remainder, the mixed operations handed to the
// other numeric types, power, round, conversions, comparison and text.
#include <cmath>
#include <limits>

#include "number_fixture.h"

namespace xol {
namespace {

using IntegerTest = testing::NumberTest;
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

TEST_F(IntegerTest, OverflowOfAddSubtractMultiplyGivesTheFloatOfTheOperation) {
  struct Case {
    Action action;
    int32_t a, b;
    double expected;
  } cases[] = {
      {ACT_ADD, kMax, 1, 2147483648.0},
      {ACT_ADD, kMin, -1, -2147483649.0},
      {ACT_SUBTRACT, kMin, 1, -2147483649.0},
      {ACT_SUBTRACT, kMax, -1, 2147483648.0},
      {ACT_MULTIPLY, 65536, 65536, 4294967296.0},
      {ACT_MULTIPLY, kMin, -1, 2147483648.0},
      {ACT_MULTIPLY, kMax, kMax, 4611686014132420609.0},
  };
  for (const Case& c : cases) {
    Cell result = apply(c.action, num(c.a), num(c.b));
    ASSERT_EQ(result.type(), TYPE_FLOAT) << c.a << " " << c.b;
    EXPECT_EQ(floating::get(&result), c.expected);
  }
}

TEST_F(IntegerTest, ResultsWithinThirtyTwoBitsStayIntegers) {
  struct Case {
    Action action;
    int32_t a, b, expected;
  } cases[] = {
      {ACT_ADD, kMax - 1, 1, kMax},     {ACT_SUBTRACT, kMin + 1, 1, kMin},
      {ACT_MULTIPLY, -65536, 32768, kMin}, {ACT_DIVIDE, 6, 2, 3},
      {ACT_DIVIDE, -6, 3, -2},          {ACT_AND, 12, 10, 8},
      {ACT_OR, 12, 10, 14},             {ACT_XOR, 12, 10, 6},
  };
  for (const Case& c : cases) {
    Cell result = apply(c.action, num(c.a), num(c.b));
    ASSERT_EQ(result.type(), TYPE_INTEGER) << c.a << " " << c.b;
    EXPECT_EQ(integer::get(&result), c.expected);
  }
}

TEST_F(IntegerTest, DivideGivesAFloatWhenNotExactAndRemainderTakesTheDividendsSign) {
  EXPECT_EQ(double_of(divide(num(7), num(2))), 3.5);
  EXPECT_EQ(double_of(divide(num(-7), num(2))), -3.5);
  struct Case {
    int32_t a, b, expected;
  } remainders[] = {{-7, 2, -1}, {7, -2, 1}, {7, 2, 1}, {-7, -2, -1}, {kMin, 2, 0}};
  for (const Case& c : remainders) {
    Cell result = remainder(num(c.a), num(c.b));
    EXPECT_EQ(integer::get(&result), c.expected) << c.a << " rem " << c.b;
  }
}

// `mod` and `modulo` (and the `//` operator made from `modulo`) are library functions written
// over `remainder`, `add` and `subtract`; run here on the actions, they must give the
// library's answers for every numeric type.
class ModuloTest : public testing::NumberTest {
 protected:
  static Cell magnitude(Cell value) {
    Cell result;
    actions::get<ACT_ABSOLUTE>(value.type())(&value, &result);
    return result;
  }
  static Cell mod(Cell a, Cell b) {
    Cell r = remainder(a, b);
    if (holds(r, num(0), COMP_LESSER)) r = add(r, b);
    Cell size = magnitude(a);
    if (holds(add(size, r), add(size, b), COMP_EQUAL) &&
        holds(subtract(add(r, r), b), num(0), COMP_GREATER))
      return subtract(r, b);
    return r;
  }
  static Cell modulo(Cell a, Cell b) {
    Cell r = mod(a, magnitude(b));
    if (holds(subtract(a, r), a, COMP_EQUAL) || holds(add(r, b), b, COMP_EQUAL)) return num(0);
    return r;
  }
};

TEST_F(ModuloTest, ModAndModuloOverTheActions) {
  struct Case {
    Cell a, b;
    const char* mod;
    const char* modulo;
  } cases[] = {
      {num(-7), num(3), "2", "2"},
      {num(-7), num(-3), "-4", "2"},
      {num(7), num(3), "1", "1"},
      {num(6), num(3), "0", "0"},
      {flt(-7.5), num(2), "0.5", "0.5"},
      {flt(0.3), flt(0.1), "-2.7755575615628914e-17", "0"},
      {money_of("-$7"), money_of("$3"), "$2.00", "$2.00"},
      {tim(0, -7, 0), tim(0, 3, 0), "0:02:00", "0:02:00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(molded(mod(c.a, c.b)), c.mod) << molded(c.a) << " mod " << molded(c.b);
    EXPECT_EQ(molded(modulo(c.a, c.b)), c.modulo) << molded(c.a) << " modulo " << molded(c.b);
  }
}

TEST_F(IntegerTest, DivisionErrors) {
  EXPECT_EQ(raised([] { divide(num(1), num(0)); }), "math/zero-divide");
  EXPECT_EQ(raised([] { remainder(num(1), num(0)); }), "math/zero-divide");
  EXPECT_EQ(raised([] { divide(num(kMin), num(-1)); }), "math/overflow");
  EXPECT_EQ(raised([] { remainder(num(kMin), num(-1)); }), "math/overflow");
}

TEST_F(IntegerTest, CheckedOpWithoutResultCellTruncatesAndRaisesOnOverflow) {
  EXPECT_EQ(integer::do_checked_op(7, 2, OP_DIVIDE, nullptr), 3);
  EXPECT_EQ(integer::do_checked_op(-7, 2, OP_DIVIDE, nullptr), -3);
  EXPECT_EQ(raised([] { integer::do_checked_op(kMax, 1, OP_ADD, nullptr); }), "math/overflow");
}

TEST_F(IntegerTest, MixedOperandsGoToTheirTypesCore) {
  Cell with_float = add(num(1), flt(0.5));
  EXPECT_EQ(with_float.type(), TYPE_FLOAT);
  EXPECT_EQ(floating::get(&with_float), 1.5);
  EXPECT_EQ(add(num(1), pct(0.1)).type(), TYPE_FLOAT);
  Cell with_time = add(num(1), tim(0, 0, 1));
  EXPECT_EQ(with_time.type(), TYPE_TIME);
  EXPECT_EQ(time::get(&with_time), 2.0);
  EXPECT_EQ(molded(add(num(2), money_of("USD$1.25"))), "USD$3.25");
  EXPECT_EQ(molded(add(num(3), date::make(2020, 2, 27))), "1-Mar-2020");
  EXPECT_EQ(raised([] { subtract(num(3), date::make(2020, 2, 27)); }), "script/not-related");
  Cell none{TYPE_NONE, 0, 0, 0};
  EXPECT_EQ(raised([&] { add(num(1), none); }), "script/invalid-type");
}

TEST_F(IntegerTest, Power) {
  struct Case {
    Cell base, exponent;
    TypeId type;
    double expected;
  } cases[] = {
      {num(2), num(31), TYPE_FLOAT, 2147483648.0}, {num(2), num(-1), TYPE_FLOAT, 0.5},
      {num(3), num(0), TYPE_INTEGER, 1},           {num(2), num(16), TYPE_INTEGER, 65536},
      {num(-2), num(31), TYPE_INTEGER, kMin},      {num(-3), num(3), TYPE_INTEGER, -27},
      {num(4), flt(0.5), TYPE_FLOAT, 2.0},
  };
  for (const Case& c : cases) {
    Cell result = apply(ACT_POWER, c.base, c.exponent);
    ASSERT_EQ(result.type(), c.type) << integer::get(&c.base);
    EXPECT_EQ(floating::to_double(&result), c.expected);
  }
  EXPECT_EQ(raised([] { apply(ACT_POWER, num(2), pct(0.5)); }), "script/expect-arg");
}

TEST_F(IntegerTest, RoundToAScale) {
  struct Case {
    int32_t value, scale;
    RoundOptions options;
    int32_t expected;
  } cases[] = {
      {7, 2, {}, 8},
      {-7, 2, {}, -8},
      {5, 2, {.even = true}, 4},
      {7, 2, {.even = true}, 8},
      {5, 2, {.half_down = true}, 4},
      {-5, 2, {.half_ceiling = true}, -4},
      {5, 2, {.half_ceiling = true}, 6},
      {-5, 2, {.floor = true}, -6},
      {-5, 2, {.ceiling = true}, -4},
      {-5, 2, {.down = true}, -4},
      {14, 5, {}, 15},
      {12, -5, {}, 10},
      {5, 0, {}, 5},
      {10, 5, {.ceiling = true}, 10},
      {-2147483647, 2, {}, kMin},
      {kMin, 3, {}, kMin},
  };
  for (Case c : cases) {
    Cell scale = num(c.scale);
    c.options.to = &scale;
    Cell result = rounded(num(c.value), c.options);
    ASSERT_EQ(result.type(), TYPE_INTEGER);
    EXPECT_EQ(integer::get(&result), c.expected) << c.value << " to " << c.scale;
  }
}

TEST_F(IntegerTest, RoundErrorsAndOtherScales) {
  Cell two = num(2), min = num(kMin), half = flt(0.5), dollar = money_of("$1");
  EXPECT_EQ(raised([&] { rounded(num(kMax), {.to = &two}); }), "math/overflow");
  EXPECT_EQ(raised([&] { rounded(num(5), {.to = &min}); }), "math/overflow");
  EXPECT_EQ(raised([&] { rounded(num(5), {.to = &dollar}); }), "script/not-related");
  Cell by_half = rounded(num(7), {.to = &half});
  EXPECT_EQ(by_half.type(), TYPE_FLOAT);
  EXPECT_EQ(floating::get(&by_half), 7.0);
}

TEST_F(IntegerTest, NegateAndAbsoluteOfTheSmallestValueOverflow) {
  Cell value = num(kMin), result;
  EXPECT_EQ(raised([&] { integer::negate(&value, &result); }), "math/overflow");
  EXPECT_EQ(raised([&] { integer::absolute(&value, &result); }), "math/overflow");
  value = num(-5);
  integer::absolute(&value, &result);
  EXPECT_EQ(integer::get(&result), 5);
  integer::complement(&value, &result);
  EXPECT_EQ(integer::get(&result), 4);
}

TEST_F(IntegerTest, ConvertsEveryNumericSource) {
  struct Case {
    Cell source;
    int32_t expected;
  } cases[] = {
      {flt(-2.9), -2},
      {flt(2147483647.0), kMax},
      {pct(0.5), 0},
      {tim(0, 0, 1.5), 2},
      {Cell{TYPE_CHAR, 0, 0x41, 0}, 65},
      {date::make(1970, 1, 1, 0, 0), 0},
      {date::make(2020, 1, 1, 1800, 60), 1577835000},
      {money_of("$2147483647.99"), kMax},
      {money_of("-$2147483648"), kMin},
      {issue::load("FF"), 255},
      {issue::load("ffffffff"), -1},
  };
  for (const Case& c : cases) {
    Cell result = converted(TYPE_INTEGER, c.source);
    ASSERT_EQ(result.type(), TYPE_INTEGER);
    EXPECT_EQ(integer::get(&result), c.expected) << molded(c.source);
  }
}

TEST_F(IntegerTest, ConversionsThatDoNotFitRaise) {
  struct Case {
    Cell source;
    const char* error;
  } cases[] = {
      {flt(2147483648.0), "script/type-limit"},
      {flt(std::nan("")), "script/type-limit"},
      {date::make(2038, 1, 19, 3 * 3600 + 14 * 60 + 8, 0), "script/type-limit"},
      {money_of("$2147483648"), "script/type-limit"},
      {issue::load("123456789"), "script/invalid-data"},
      {issue::load("FG"), "script/invalid-data"},
      {logic::make(true), "script/bad-to-arg"},
      {Cell{TYPE_NONE, 0, 0, 0}, "script/bad-to-arg"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(raised([&] { converted(TYPE_INTEGER, c.source); }), c.error) << molded(c.source);
  EXPECT_EQ(int_of(made(TYPE_INTEGER, logic::make(true))), 1);
  EXPECT_EQ(int_of(made(TYPE_INTEGER, logic::make(false))), 0);
  Cell last_second = date::make(2038, 1, 19, 3 * 3600 + 14 * 60 + 7, 0);
  EXPECT_EQ(int_of(converted(TYPE_INTEGER, last_second)), kMax);
}

TEST_F(IntegerTest, ComparesWithNumbersOfEveryKind) {
  EXPECT_TRUE(holds(num(1), flt(1.0), COMP_EQUAL));
  EXPECT_FALSE(holds(num(1), flt(1.0), COMP_STRICT_EQUAL));
  EXPECT_TRUE(holds(num(1), num(1), COMP_STRICT_EQUAL));
  EXPECT_TRUE(holds(num(1), flt(1.5), COMP_LESSER));
  EXPECT_TRUE(holds(num(2), money_of("$1.99"), COMP_GREATER));
  EXPECT_TRUE(holds(num(-1), money_of("-$1"), COMP_EQUAL));
  EXPECT_TRUE(holds(num(65), Cell{TYPE_CHAR, 0, 65, 0}, COMP_EQUAL));
  EXPECT_EQ(compared(num(1), Cell{TYPE_NONE, 0, 0, 0}, COMP_LESSER), kNotComparable);
}

TEST_F(IntegerTest, DecimalText) {
  struct Case {
    int32_t value;
    const char* text;
  } cases[] = {{0, "0"}, {7, "7"}, {-42, "-42"}, {kMax, "2147483647"}, {kMin, "-2147483648"}};
  for (const Case& c : cases) {
    EXPECT_EQ(formed(num(c.value)), c.text);
    EXPECT_EQ(molded(num(c.value)), c.text);
  }
}

TEST_F(IntegerTest, Parity) {
  for (int32_t v : {-3, -2, 0, 1, 4, kMin, kMax}) {
    Cell value = num(v);
    EXPECT_EQ(actions::get<ACT_EVEN>(TYPE_INTEGER)(&value), v % 2 == 0) << v;
    EXPECT_EQ(actions::get<ACT_ODD>(TYPE_INTEGER)(&value), v % 2 != 0) << v;
  }
}

}  // namespace
}  // namespace xol
