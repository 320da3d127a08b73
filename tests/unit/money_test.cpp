// money!: the packed-decimal cell, currencies, arithmetic with its refusals and limits, printed
// forms, conversions, comparison, rounding ties at any scale, and the code/amount fields.
#include <cmath>

#include "number_fixture.h"

namespace xol {
namespace {

using MoneyTest = testing::NumberTest;

TEST_F(MoneyTest, TheAmountIsPackedDecimalDigitsAfterTheCurrencyByte) {
  Cell value = money_of("-USD$1234.5");
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&value);
  EXPECT_EQ(value.type(), TYPE_MONEY);
  EXPECT_TRUE(value.header & money::kSignFlag);
  EXPECT_EQ(bytes[4], money::currency_lookup("USD"));
  // Digits 14-17 hold 1234 and digit 18 the 5: bytes 11-13 read 0x01 0x23 0x45.
  EXPECT_EQ(bytes[11], 0x01);
  EXPECT_EQ(bytes[12], 0x23);
  EXPECT_EQ(bytes[13], 0x45);
  EXPECT_EQ(money::get_digit(&value, 17), 4);
  EXPECT_EQ(money::get_digit(&value, 18), 5);
  EXPECT_EQ(money::magnitude(&value), 123450000u);
}

TEST_F(MoneyTest, Currencies) {
  EXPECT_EQ(money::currency_count(), 170);
  EXPECT_EQ(money::currency_lookup("AED"), 1);
  EXPECT_EQ(money::currency_lookup("usd"), money::currency_lookup("USD"));
  EXPECT_EQ(money::currency_code(money::currency_lookup("EUR")), "EUR");
  EXPECT_EQ(money::currency_lookup("ZZZ"), -1);
  Cell ignored;
  EXPECT_FALSE(money::make_from_digits(false, "ZZZ", "1", "", &ignored));
  EXPECT_EQ(raised([] { made(TYPE_MONEY, word::load("ZZZ")); }), "script/bad-make-arg");
  EXPECT_EQ(molded(made(TYPE_MONEY, word::load("eur"))), "EUR$0.00");
}

TEST_F(MoneyTest, Arithmetic) {
  struct Case {
    Action action;
    Cell a, b;
    const char* mold_all;
  } cases[] = {
      {ACT_ADD, money_of("USD$1.50"), money_of("USD$1.50"), "USD$3.00000"},
      {ACT_ADD, money_of("USD$1"), money_of("$1"), "USD$2.00000"},
      {ACT_ADD, money_of("$1"), money_of("EUR$1"), "EUR$2.00000"},
      {ACT_ADD, money_of("$1"), money_of("-$3.25"), "-$2.25000"},
      {ACT_SUBTRACT, money_of("$1"), money_of("$1"), "$0.00000"},
      {ACT_SUBTRACT, money_of("-$1"), money_of("$0.00001"), "-$1.00001"},
      {ACT_MULTIPLY, money_of("$1.5"), num(-3), "-$4.50000"},
      {ACT_MULTIPLY, money_of("$0.00001"), flt(0.5), "$0.00000"},
      {ACT_DIVIDE, money_of("$1"), num(3), "$0.33333"},
      {ACT_DIVIDE, money_of("-$2"), num(3), "-$0.66666"},
      {ACT_REMAINDER, money_of("$7"), money_of("$2"), "$1.00000"},
      {ACT_REMAINDER, money_of("-$7"), num(2), "-$1.00000"},
      {ACT_REMAINDER, money_of("$7.5"), money_of("-$2"), "$1.50000"},
      {ACT_ADD, money_of("$1"), flt(1.123456), "$2.12345"},
      {ACT_ADD, num(2), money_of("$0.5"), "$2.50000"},
      {ACT_MULTIPLY, money_of("$200"), pct(0.15), "$30.00000"},
  };
  for (const Case& c : cases) EXPECT_EQ(molded(apply(c.action, c.a, c.b), true), c.mold_all);
  Cell ratio = divide(money_of("$1"), money_of("$3"));
  EXPECT_EQ(ratio.type(), TYPE_FLOAT);
  EXPECT_EQ(double_of(ratio), 0.33333);
}

TEST_F(MoneyTest, ArithmeticRefusalsAndLimits) {
  struct Case {
    Action action;
    Cell a, b;
    const char* error;
  } cases[] = {
      {ACT_ADD, money_of("USD$1"), money_of("EUR$1"), "script/wrong-denom"},
      {ACT_DIVIDE, num(2), money_of("$1"), "script/invalid-type"},
      {ACT_REMAINDER, flt(2), money_of("$1"), "script/invalid-type"},
      {ACT_MULTIPLY, money_of("$1"), money_of("$1"), "script/invalid-type"},
      {ACT_DIVIDE, money_of("$1"), num(0), "math/zero-divide"},
      {ACT_REMAINDER, money_of("$1"), money_of("$0"), "math/zero-divide"},
      {ACT_ADD, money_of("$99999999999999999.99999"), money_of("$0.00001"),
       "script/type-limit"},
      {ACT_SUBTRACT, money_of("-$99999999999999999"), num(1), "script/type-limit"},
      {ACT_MULTIPLY, money_of("$10000000000"), num(10000000), "script/type-limit"},
      {ACT_DIVIDE, money_of("$90000000000000000"), flt(0.5), "script/type-limit"},
      {ACT_ADD, money_of("$1"), Cell{TYPE_NONE, 0, 0, 0}, "script/invalid-type"},
      {ACT_ADD, money_of("$1"), flt(1e20), "script/bad-make-arg"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(raised([&] { apply(c.action, c.a, c.b); }), c.error) << molded(c.a);
  Cell a = money_of("$1"), b = money_of("$1"), result;
  EXPECT_EQ(raised([&] { money::do_math(OP_OR, &a, &b, &result); }), "script/cannot-use");
}

TEST_F(MoneyTest, PrintedForms) {
  struct Case {
    const char* value;
    const char* form;
    const char* mold;
    const char* mold_all;
  } cases[] = {
      {"$1234567.891", "$1'234'567.89", "$1234567.89", "$1234567.89100"},
      {"$0", "$0.00", "$0.00", "$0.00000"},
      {"-$0.5", "-$0.50", "-$0.50", "-$0.50000"},
      {"-USD$1234.5", "-USD$1'234.50", "-USD$1234.50", "-USD$1234.50000"},
      {"$0.009", "$0.00", "$0.00", "$0.00900"},
      {"$100", "$100.00", "$100.00", "$100.00000"},
      {"$1000", "$1'000.00", "$1000.00", "$1000.00000"},
      {"$99999999999999999.99999", "$99'999'999'999'999'999.99", "$99999999999999999.99",
       "$99999999999999999.99999"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(formed(money_of(c.value)), c.form);
    EXPECT_EQ(molded(money_of(c.value)), c.mold);
    EXPECT_EQ(molded(money_of(c.value), true), c.mold_all);
  }
  EXPECT_EQ(formed(divide(money_of("$1"), num(3))), "$0.33");
  money::digits_option = 0;
  EXPECT_EQ(formed(money_of("$12.99")), "$12");
  money::digits_option = 9;
  EXPECT_EQ(formed(money_of("$12.99")), "$12.99000");
}

TEST_F(MoneyTest, Conversions) {
  EXPECT_EQ(int_of(converted(TYPE_INTEGER, money_of("$2147483647.99"))), 2147483647);
  EXPECT_EQ(int_of(converted(TYPE_INTEGER, money_of("-$1.99"))), -1);
  EXPECT_EQ(raised([] { converted(TYPE_INTEGER, money_of("$2147483648")); }),
            "script/type-limit");
  EXPECT_EQ(molded(converted(TYPE_MONEY, num(-2147483647 - 1)), true), "-$2147483648.00000");
  EXPECT_EQ(molded(converted(TYPE_MONEY, flt(-1.5)), true), "-$1.50000");
  EXPECT_EQ(molded(converted(TYPE_MONEY, flt(0.00001)), true), "$0.00001");
  for (double bad : {1.123456, 1e17, 0.000001, std::nan(""), -HUGE_VAL})
    EXPECT_EQ(raised([&] { converted(TYPE_MONEY, flt(bad)); }), "script/bad-make-arg") << bad;
  EXPECT_EQ(raised([] { converted(TYPE_MONEY, pct(0.5)); }), "script/bad-to-arg");
  EXPECT_EQ(molded(made(TYPE_MONEY, block_of({word::load("USD"), num(1), num(50000)}))),
            "USD$1.50");
  EXPECT_EQ(molded(made(TYPE_MONEY, block_of({flt(2.5)}))), "$2.50");
  EXPECT_EQ(molded(made(TYPE_MONEY, block_of({num(-1), num(25000)})), true), "-$1.25000");
  for (const Cell& bad : {block_of({}), block_of({num(1), num(100000)}),
                          block_of({word::load("ZZZ"), num(1)}),
                          block_of({num(1), num(2), num(3)})})
    EXPECT_EQ(raised([&] { made(TYPE_MONEY, bad); }), "script/bad-make-arg");
  struct FloatCase {
    const char* value;
    double expected;
  } floats[] = {{"$1.1", 1.1}, {"-$0.00001", -0.00001}, {"$0", 0.0},
                {"$12345678901234567", 12345678901234567.0}};
  for (const FloatCase& c : floats)
    EXPECT_EQ(double_of(converted(TYPE_FLOAT, money_of(c.value))), c.expected) << c.value;
}

TEST_F(MoneyTest, Comparison) {
  EXPECT_TRUE(holds(money_of("$1.5"), money_of("USD$1.50"), COMP_EQUAL));
  EXPECT_FALSE(holds(money_of("$1.5"), money_of("USD$1.50"), COMP_STRICT_EQUAL));
  EXPECT_FALSE(holds(money_of("EUR$1"), money_of("USD$1"), COMP_EQUAL));
  EXPECT_TRUE(holds(money_of("EUR$1"), money_of("USD$1"), COMP_NOT_EQUAL));
  EXPECT_EQ(raised([] { compared(money_of("EUR$1"), money_of("USD$2"), COMP_LESSER); }),
            "script/wrong-denom");
  EXPECT_TRUE(holds(money_of("-$5"), money_of("$0.00001"), COMP_LESSER));
  EXPECT_TRUE(holds(money_of("-$5"), money_of("-$4.99999"), COMP_LESSER));
  EXPECT_TRUE(holds(money_of("$0"), money_of("-$0"), COMP_EQUAL));
  EXPECT_TRUE(holds(money_of("$2"), num(2), COMP_EQUAL));
  EXPECT_FALSE(holds(money_of("$2"), num(2), COMP_STRICT_EQUAL));
  EXPECT_TRUE(holds(money_of("$1.5"), num(1), COMP_GREATER));
  EXPECT_FALSE(holds(money_of("-$5"), flt(0.000001), COMP_GREATER));
  // Sorting orders by currency code first, no currency before any.
  EXPECT_EQ(compared(money_of("$9"), money_of("EUR$1"), COMP_SORT), -1);
  EXPECT_EQ(compared(money_of("USD$1"), money_of("EUR$9"), COMP_SORT), 1);
  // find and select want the same currency when the key has one.
  EXPECT_EQ(compared(money_of("$1"), money_of("USD$1"), COMP_SELECT), 1);
  EXPECT_EQ(compared(money_of("USD$1"), money_of("$1"), COMP_SELECT), 0);
  EXPECT_EQ(compared(money_of("$1"), Cell{TYPE_NONE, 0, 0, 0}, COMP_LESSER), kNotComparable);
}

TEST_F(MoneyTest, RoundingTiesFollowTheModeAtAnyScale) {
  struct Case {
    const char* value;
    const char* scale;   // null: a unit
    RoundOptions options;
    const char* expected;
  } cases[] = {
      {"$1.234", "$0.01", {}, "$1.23000"},
      {"-$1.235", "$0.01", {}, "-$1.24000"},
      {"-$1.5", nullptr, {.floor = true}, "-$2.00000"},
      {"$1.5", nullptr, {.floor = true}, "$1.00000"},
      {"-$1.5", nullptr, {.ceiling = true}, "-$1.00000"},
      {"$2.00", nullptr, {.ceiling = true}, "$2.00000"},
      {"-$2.00", nullptr, {.floor = true}, "-$2.00000"},
      {"$2.5", nullptr, {}, "$3.00000"},
      {"$2.5", nullptr, {.even = true}, "$2.00000"},
      {"$3.5", nullptr, {.even = true}, "$4.00000"},
      {"$2.5", nullptr, {.half_down = true}, "$2.00000"},
      {"$2.6", nullptr, {.half_down = true}, "$3.00000"},
      {"-$2.5", nullptr, {.half_ceiling = true}, "-$2.00000"},
      {"$2.5", nullptr, {.half_ceiling = true}, "$3.00000"},
      {"-$2.7", nullptr, {.down = true}, "-$2.00000"},
      {"$1.005", "$0.01", {.even = true}, "$1.00000"},
      {"$1.015", "$0.01", {.even = true}, "$1.02000"},
      {"$17", "$5", {}, "$15.00000"},
      {"$17.5", "$5", {}, "$20.00000"},
      {"$22.5", "$5", {.even = true}, "$20.00000"},
      {"USD$1.55", "$0.1", {.half_down = true}, "USD$1.50000"},
      {"$0", "$0.01", {.ceiling = true}, "$0.00000"},
      {"$5.5", "$0", {}, "$5.50000"},
  };
  for (Case c : cases) {
    Cell scale;
    if (c.scale) {
      scale = money_of(c.scale);
      c.options.to = &scale;
    }
    EXPECT_EQ(molded(rounded(money_of(c.value), c.options), true), c.expected)
        << c.value << " to " << (c.scale ? c.scale : "$1");
  }
}

TEST_F(MoneyTest, RoundScalesOfOtherTypes) {
  Cell five = num(5), tenth = flt(0.1), fine = flt(0.123456), percent = pct(0.1);
  EXPECT_EQ(molded(rounded(money_of("$17"), {.to = &five})), "$15.00");
  EXPECT_EQ(molded(rounded(money_of("$1.26"), {.to = &tenth})), "$1.30");
  EXPECT_EQ(raised([&] { rounded(money_of("$1"), {.to = &fine}); }), "script/bad-make-arg");
  EXPECT_EQ(raised([&] { rounded(money_of("$1"), {.to = &percent}); }), "script/not-related");
  EXPECT_EQ(raised([] { rounded(money_of("$99999999999999999.5")); }), "script/type-limit");
}

TEST_F(MoneyTest, CodeAndAmountFields) {
  Cell plain = money_of("$1.5"), dollars = money_of("-USD$2");
  EXPECT_EQ(path(plain, word::load("code")).type(), TYPE_NONE);
  Cell code = path(dollars, word::load("code"));
  ASSERT_EQ(code.type(), TYPE_WORD);
  EXPECT_EQ(symbol::name(word::symbol_of(&code)), "USD");
  EXPECT_EQ(molded(path(dollars, word::load("amount"))), "-$2.00");
  EXPECT_EQ(molded(picked(dollars, num(2))), "-$2.00");
  EXPECT_EQ(picked(dollars, num(1)).type(), TYPE_WORD);
  EXPECT_EQ(raised([&] { path(dollars, word::load("cents")); }), "script/invalid-path");
  EXPECT_EQ(raised([&] { picked(dollars, num(3)); }), "script/out-of-range");
  Cell one = num(1);
  EXPECT_EQ(raised([&] { path(dollars, word::load("amount"), &one); }), "script/bad-path-set");
}

TEST_F(MoneyTest, UnaryActionsKeepTheCurrency) {
  Cell value = money_of("-USD$2.5"), result;
  money::absolute(&value, &result);
  EXPECT_EQ(molded(result), "USD$2.50");
  money::negate(&result, &result);
  EXPECT_EQ(molded(result), "-USD$2.50");
  struct Case {
    const char* value;
    bool even;
  } parity[] = {{"$2.9", true}, {"$3.1", false}, {"-$13", false}, {"$0.5", true}};
  for (const Case& c : parity) {
    Cell v = money_of(c.value);
    EXPECT_EQ(money::even(&v), c.even) << c.value;
    EXPECT_EQ(money::odd(&v), !c.even) << c.value;
  }
}

}  // namespace
}  // namespace xol
