// percent!: its printed form, and the float! actions it inherits with a percent! result.
#include "number_fixture.h"

namespace xol {
namespace {

using PercentTest = testing::NumberTest;

TEST_F(PercentTest, PrintsAHundredTimesTheValueWithThirteenDigits) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {0.5, "50%"},       {0.001, "0.1%"},  {0.125, "12.5%"},     {0.0, "0%"},
      {0.01 * 1e-16, "0%"}, {1.0, "100%"},  {-0.25, "-25%"},      {1.0 / 3, "33.33333333333%"},
      {1e20, "1e22%"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(formed(pct(c.value)), c.text);
    EXPECT_EQ(molded(pct(c.value)), c.text);
  }
}

TEST_F(PercentTest, InheritsTheFloatActionsAndStaysAPercent) {
  Cell sum = add(pct(0.1), num(1));
  EXPECT_EQ(sum.type(), TYPE_PERCENT);
  EXPECT_EQ(formed(sum), "110%");
  EXPECT_EQ(formed(multiply(pct(0.5), num(3))), "150%");
  EXPECT_TRUE(holds(pct(0.5), flt(0.5), COMP_EQUAL));
  EXPECT_TRUE(holds(pct(0.5), pct(0.6), COMP_LESSER));
  Cell value = pct(0.3);
  EXPECT_EQ(actions::get<ACT_EVEN>(TYPE_PERCENT)(&value), true);
}

// A plain number scale counts percent points and, like every scale, gives its type to the
// result; a percent! scale is already a fraction.
TEST_F(PercentTest, RoundStepsByOnePercentAndScalesCountInItsUnits) {
  Cell tenth = flt(0.1), one_percent = pct(0.01);
  struct Case {
    double value;
    const Cell* scale;
    const char* text;
  } cases[] = {
      {0.12345, nullptr, "12%"},
      {0.125, nullptr, "13%"},
      {0.12345, &tenth, "0.123"},
      {0.12345, &one_percent, "12%"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(formed(rounded(pct(c.value), {.to = c.scale})), c.text) << c.value;
}

TEST_F(PercentTest, MakeAndToGiveAPercentOfTheSameValue) {
  Cell from_float = converted(TYPE_PERCENT, flt(0.5));
  EXPECT_EQ(from_float.type(), TYPE_PERCENT);
  EXPECT_EQ(formed(from_float), "50%");
  EXPECT_EQ(formed(made(TYPE_PERCENT, num(2))), "200%");
}

}  // namespace
}  // namespace xol
