// Conversions from text through the lexer's converters and loader: `to` and `make` of the
// numbers and compound scalars on strings and the other text types, and `to block!` of a string
// (loaded as source) and of a vector (its elements).
#include "tests/unit/eval_fixture.h"

namespace xol::testing {
namespace {

class ConversionsTest : public EvalTest {};

TEST_F(ConversionsTest, IntegerFromText) {
  check({
      {R"(to integer! "12")", "12"},
      {R"(make integer! "-7")", "-7"},
      {R"(to integer! "-2147483648")", "-2147483648"},
      {R"(to integer! "+1'000")", "1000"},
      {R"(to integer! next "x42")", "42"},   // read from the string's position
      {R"(to integer! %12)", "12"},
      {R"(to integer! <12>)", "12"},
      {R"(to integer! "12a")", R"(error script bad-to-arg integer! "12a")"},
      {R"(to integer! "99999999999")", R"(error script bad-to-arg integer! "99999999999")"},
      {R"(to integer! "2147483648")", R"(error script bad-to-arg integer! "2147483648")"},
      {R"(to integer! "")", R"(error script bad-to-arg integer! "")"},
      {R"(to integer! " 1")", R"(error script bad-to-arg integer! " 1")"},
  });
}

TEST_F(ConversionsTest, FloatAndPercentFromText) {
  check({
      {R"(to float! "1.5")", "1.5"},
      {R"(to float! "1,5")", "1.5"},
      {R"(make float! "-2e3")", "-2000.0"},
      {R"(to float! "1'000.25")", "1000.25"},
      {R"(to float! "abc")", R"(error script bad-to-arg float! "abc")"},
      {R"(to float! "1.5%")", R"(error script bad-to-arg float! "1.5%")"},
      {R"(to percent! "50%")", "50%"},
      {R"(to percent! "0.25")", "25%"},
      {R"(to percent! "1")", "100%"},
      {R"(to percent! "1:00")", R"(error script bad-to-arg percent! "1:00")"},
      {R"(to percent! "5% 6%")", "5%"},
      {R"(to percent! "")", R"(error script bad-to-arg percent! "")"},
  });
}

TEST_F(ConversionsTest, TimeFromText) {
  check({
      {R"(to time! "1:30")", "1:30:00"},
      {R"(make time! "-0:00:01.5")", "-0:00:01.5"},
      {R"(to time! "12")", R"(error script bad-to-arg time! "12")"},
      {R"(to time! "1:30 x")", "1:30:00"},
      {R"(to time! "x 1:30")", R"(error script bad-to-arg time! "x 1:30")"},
      {R"(to time! "")", R"(error script bad-to-arg time! "")"},
  });
}

TEST_F(ConversionsTest, MoneyFromText) {
  check({
      {R"(to money! "USD$1.50")", "USD$1.50"},
      {R"(to money! "-$1'234.5")", "-$1234.50"},
      {R"(to money! "2")", "$2.00"},
      {R"(make money! "eur$0.01")", "EUR$0.01"},
      {R"(to money! "$1.")", R"(error script bad-to-arg money! "$1.")"},
      {R"(to money! "US$1")", R"(error script bad-to-arg money! "US$1")"},
      {R"(to money! "$1''0")", R"(error script bad-to-arg money! "$1''0")"},
  });
}

TEST_F(ConversionsTest, CompoundScalarsThroughTheLoader) {
  check({
      {R"(to pair! "3x-4")", "3x-4"},
      {R"(to tuple! "1.2.3")", "1.2.3"},
      {R"(to tuple! %1.2.3.4)", "1.2.3.4"},
      {R"x(to point2D! "(1, 2.5)")x", "(1, 2.5)"},
      {R"x(to point3D! "(1, 2, 3)")x", "(1, 2, 3)"},
      {R"(to pair! "3")", "error script bad-to-arg pair! 3"},
      {R"(to tuple! "1.2")", "error script bad-to-arg tuple! 1.2"},
      {R"x(to point3D! "(1, 2)")x", "error script bad-to-arg point3D! (1, 2)"},
  });
}

TEST_F(ConversionsTest, BlockFromStringLoadsSource) {
  check({
      {R"(to block! "a [b 1] 2x3")", "[a [b 1] 2x3]"},
      {R"(to block! next "1 2")", "[2]"},
      {R"(to block! "")", "[]"},
      {R"(to block! %a.txt)", "[%a.txt]"},   // other text types are one value
      {R"(make block! "a")", R"(error script bad-make-arg block! "a")"},
  });
  EXPECT_EQ(error_of(R"(to block! "[a")"), "syntax missing \"(line 1)\" #\"]\" \"[a\"");
}

TEST_F(ConversionsTest, BlockFromVectorHoldsItsElements) {
  check({
      {"to block! make vector! [1 2 3]", "[1 2 3]"},
      {"to block! next make vector! [1.5 2.5]", "[2.5]"},
      {"make block! make vector! [#\"a\"]", "[#\"a\"]"},
      {"to paren! make vector! [7]", "(7)"},
  });
}

}  // namespace
}  // namespace xol::testing
