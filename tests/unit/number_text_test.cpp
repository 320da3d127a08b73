// Number text: reading decimal text as doubles, the shortest and n-digit digits of a double,
// the molded text with its keep-point ".0", and the printed forms of floating values.
//
// Expected doubles are written as C++ literals (the compiler rounds them correctly), and the
// random differential tests use glibc's `strtod` and `printf`, which are exact, as an
// independent reference.
#include "runtime/text/number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace xol {
namespace {

constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double MIN_SUBNORMAL = std::numeric_limits<double>::denorm_min();
constexpr double MAX_DOUBLE = std::numeric_limits<double>::max();

uint64_t bits(double v) { return std::bit_cast<uint64_t>(v); }

double read(const std::string& text, int adjust, int* left_over) {
  return dtoa::from_text(text.data(), text.data() + text.size(), adjust, left_over);
}

double read(const std::string& text) {
  int left_over = -1;
  double v = read(text, 0, &left_over);
  EXPECT_EQ(left_over, 0) << text;
  return v;
}

// A random finite double from random bits: every exponent, subnormals and both signs.
double random_finite(std::mt19937_64& rng) {
  for (;;) {
    double v = std::bit_cast<double>(rng());
    if (std::isfinite(v)) return v;
  }
}

// ---------------------------------------------------------------------------------------------
// Text to double

struct ReadCase {
  const char* text;
  int adjust;
  double expected;  // compared bit for bit: +0.0 and -0.0 differ, NaN is the quiet NaN
  int left_over;
};

const ReadCase READ_CASES[] = {
    {"0.1", 0, 0.1, 0},
    {"1e23", 0, 1e23, 0},
    {"2.2250738585072011e-308", 0, 2.2250738585072011e-308, 0},
    {"2.2250738585072014e-308", 0, std::numeric_limits<double>::min(), 0},
    {"9007199254740993", 0, 9007199254740992.0, 0},     // a tie: to the even neighbour
    {"9007199254740995", 0, 9007199254740996.0, 0},     // a tie the other way
    {"123456789012345678901234567890", 0, 1.2345678901234568e29, 0},
    {"+5", 0, 5.0, 0},
    {"-2.5", 0, -2.5, 0},
    {"007", 0, 7.0, 0},
    {".5", 0, 0.5, 0},
    {"5.", 0, 5.0, 0},
    {"0.000123", 0, 0.000123, 0},
    {"1E3", 0, 1000.0, 0},
    {"1e+3", 0, 1000.0, 0},
    {"1e-3", 0, 0.001, 0},
    {"12.5e-1", 0, 1.25, 0},
    // The power-of-ten adjustment is exact: not 1.1 / 100.
    {"1.1", -2, 0.011, 0},
    {"50", -2, 0.5, 0},
    {"5", 2, 500.0, 0},
    // Edges of the double range.
    {"4.9406564584124654e-324", 0, MIN_SUBNORMAL, 0},
    {"2.4703282292062327e-324", 0, 0.0, 0},
    {"2.4703282292062328e-324", 0, MIN_SUBNORMAL, 0},
    {"1.7976931348623157e308", 0, MAX_DOUBLE, 0},
    {"1.7976931348623158e308", 0, MAX_DOUBLE, 0},
    {"1.7976931348623159e308", 0, INF, 0},
    // The exact midpoint between the largest double and 2^1024 rounds to even: overflow.
    {"17976931348623158079372897140530341507993413271003782693617377898044496829276475094664"
     "90179775872070963302864166928879109465555478519404026306574886715058206819089020007083"
     "83676273854845817711531764475730270069855571366959622842914819860834936475292719074168"
     "444365510704342711559699508093042880177904174497792",
     0, INF, 0},
    // Overflow keeps the sign; underflow and every zero read as +0.0.
    {"1e400", 0, INF, 0},
    {"-1e400", 0, -INF, 0},
    {"1e-400", 0, 0.0, 0},
    {"-1e-400", 0, 0.0, 0},
    {"-0.0", 0, 0.0, 0},
    {"-0", 0, 0.0, 0},
    {"0e999999", 0, 0.0, 0},
    // Exponents too long for any machine integer denote an infinity or a zero, never a wrap.
    {"1e99999999999", 0, INF, 0},
    {"1e4294967297", 0, INF, 0},
    {"1e-99999999999", 0, 0.0, 0},
    {"-1e99999999999999999999999999", 0, -INF, 0},
    {"0.001e-4294967296", 0, 0.0, 0},
    // The special forms read back; nothing after the letter is examined.
    {"1.#INF", 0, INF, 0},
    {"-1.#INF", 0, -INF, 0},
    {"+1.#inf", 0, INF, 0},
    {"1.#NaN", 0, NaN, 0},
    {"1.#nan", 0, NaN, 0},
    {"-1.#NaN", 0, NaN, 0},
    // What is not a number is left over for the caller to judge.
    {"", 0, 0.0, 0},
    {"abc", 0, 0.0, 3},
    {"-", 0, 0.0, 1},
    {".", 0, 0.0, 1},
    {"e5", 0, 0.0, 2},
    {"-.e5", 0, 0.0, 4},
    {"12abc", 0, 12.0, 3},
    {"1,5", 0, 1.0, 2},
    {"1'000", 0, 1.0, 4},
    {"1e", 0, 1.0, 1},
    {"1e+", 0, 1.0, 2},
    {"1.5e3x", 0, 1500.0, 1},
    {"1.#", 0, 1.0, 1},
    {"1.#X", 0, 1.0, 2},
    {"10.#INF", 0, 10.0, 4},
    {"0.#INF", 0, 0.0, 4},
};

class FromText : public testing::TestWithParam<ReadCase> {};

TEST_P(FromText, ReadsCorrectlyRounded) {
  const ReadCase& c = GetParam();
  int left_over = -1;
  double v = read(c.text, c.adjust, &left_over);
  EXPECT_EQ(bits(v), bits(c.expected)) << c.text << " read as " << v;
  EXPECT_EQ(left_over, c.left_over) << c.text;
}

INSTANTIATE_TEST_SUITE_P(NumberText, FromText, testing::ValuesIn(READ_CASES));

// Two 50-digit texts that agree in their first 18 digits fall on either side of the
// midpoint between 1.0 and the next double (1.00000000000000011102230246251565...).
TEST(NumberTextLong, FiftyDigitsDecideBetweenNeighbours) {
  EXPECT_EQ(read("1.0000000000000001110223024625156540423631668090820"), 1.0);
  EXPECT_EQ(read("1.0000000000000001110223024625156540423631668090821"),
            1.0000000000000002);
  EXPECT_EQ(read("1.00000000000000011102230246251565404236316680908203125"), 1.0);
}

// A nonzero digit far beyond the hundreds of digits kept still breaks the tie upward.
TEST(NumberTextLong, DigitFarBeyondTheMidpointBreaksTheTie) {
  std::string midpoint = "1.00000000000000011102230246251565404236316680908203125";
  EXPECT_EQ(read(midpoint + std::string(2000, '0')), 1.0);
  EXPECT_EQ(read(midpoint + std::string(2000, '0') + "1"), 1.0000000000000002);
  EXPECT_EQ(read(midpoint + std::string(2000, '0') + "1e-2"), 0.010000000000000002);
}

// Long runs of zeros move the point without disturbing the exponent arithmetic.
TEST(NumberTextLong, LongZeroRunsScaleTheValue) {
  EXPECT_EQ(read("1" + std::string(300, '0')), 1e300);
  EXPECT_EQ(read("1" + std::string(400, '0')), INF);
  EXPECT_EQ(read("0." + std::string(300, '0') + "1e300"), 0.1);
  EXPECT_EQ(bits(read("0." + std::string(400, '0') + "1")), bits(0.0));
  EXPECT_EQ(read("0." + std::string(5000, '0') + "1e5001"), 1.0);
}

// Random decimal texts of up to 40 digits across the whole exponent range read as glibc's
// correctly rounded strtod reads them (except that zeros are always +0.0).
TEST(NumberTextRandom, ReadsLikeStrtod) {
  std::mt19937_64 rng(20240611);
  constexpr int CASES = 100000;
  constexpr int MAX_DIGITS = 40;
  constexpr int EXPONENT_SPAN = 700;
  for (int i = 0; i < CASES; ++i) {
    std::string text = (rng() & 1) ? "-" : "";
    int n = 1 + static_cast<int>(rng() % MAX_DIGITS);
    int point = static_cast<int>(rng() % (n + 1));
    for (int d = 0; d < n; ++d) {
      if (d == point) text += '.';
      text += static_cast<char>('0' + rng() % 10);
    }
    text += 'e' + std::to_string(static_cast<int>(rng() % EXPONENT_SPAN) - EXPONENT_SPAN / 2);
    double expected = std::strtod(text.c_str(), nullptr);
    if (expected == 0.0) expected = 0.0;
    ASSERT_EQ(bits(read(text)), bits(expected)) << text;
  }
}

// ---------------------------------------------------------------------------------------------
// Double to digits

struct DigitsCase {
  double value;
  int count;
  bool zero_form;
  const char* text;
  int digit_count;
  int point;
  bool negative;
};

const DigitsCase DIGITS_CASES[] = {
    {0.1, 0, false, "1", 1, 0, false},
    {-1.5, 0, false, "-15", 2, 1, true},
    {1e23, 0, false, "1", 1, 24, false},
    {123.456, 0, false, "123456", 6, 3, false},
    {0.30000000000000004, 0, false, "30000000000000004", 17, 0, false},
    {MIN_SUBNORMAL, 0, false, "5", 1, -323, false},
    {MAX_DOUBLE, 0, false, "17976931348623157", 17, 309, false},
    // With a digit count, the shortest digits when they fit, else rounded half to even.
    {1.5, 6, false, "15", 2, 1, false},
    {0.1234567, 6, false, "123457", 6, 0, false},
    {0.125, 2, false, "12", 2, 0, false},
    {0.375, 2, false, "38", 2, 0, false},
    {2.5, 1, false, "2", 1, 1, false},
    {3.5, 1, false, "4", 1, 1, false},
    {25.0, 1, false, "2", 1, 2, false},
    {9.999, 3, false, "1", 1, 2, false},     // carries through the nines
    {0.1, 22, false, "1", 1, 0, false},
    {1.0 / 3, 22, false, "3333333333333333", 16, 0, false},
    // Zero and the special texts are final.
    {0.0, 0, false, "0", 1, dtoa::POINT_ZERO, false},
    {-0.0, 0, false, "-0", 1, dtoa::POINT_ZERO, true},
    {0.0, 0, true, "0.0", 1, dtoa::POINT_ZERO, false},
    {-0.0, 0, true, "-0.0", 1, dtoa::POINT_ZERO, true},
    {INF, 0, false, "1.#INF", 1, dtoa::POINT_SPECIAL, false},
    {-INF, 0, false, "-1.#INF", 1, dtoa::POINT_SPECIAL, true},
    {NaN, 0, false, "1.#NaN", 1, dtoa::POINT_SPECIAL, false},
    {-NaN, 0, false, "1.#NaN", 1, dtoa::POINT_SPECIAL, false},
};

class Digits : public testing::TestWithParam<DigitsCase> {};

TEST_P(Digits, GivesDigitsPointAndSign) {
  const DigitsCase& c = GetParam();
  dtoa::Digits d = dtoa::digits(c.value, c.count, c.zero_form);
  EXPECT_STREQ(d.text, c.text) << c.value << " to " << c.count << " digits";
  EXPECT_EQ(d.count, c.digit_count);
  EXPECT_EQ(d.point, c.point);
  EXPECT_EQ(d.negative, c.negative);
}

INSTANTIATE_TEST_SUITE_P(NumberText, Digits, testing::ValuesIn(DIGITS_CASES));

// The shortest digits against glibc's exact printf: the fewest digits N for which "%.*e"
// reads back. Ours read back too, are never more, and equal printf's when as many (they can
// be fewer only at a power of two, where the gap below is half the gap above).
TEST(NumberTextRandom, ShortestDigitsAgreeWithPrintf) {
  std::mt19937_64 rng(7);
  constexpr int CASES = 50000;
  constexpr int MAX_DIGITS = 17;
  for (int i = 0; i < CASES; ++i) {
    double v = std::fabs(random_finite(rng));
    if (v == 0.0) continue;
    dtoa::Digits d = dtoa::digits(v, 0, false);
    std::string ours = std::string(d.text) + "e" + std::to_string(d.point - d.count);
    ASSERT_EQ(bits(std::strtod(ours.c_str(), nullptr)), bits(v)) << ours;

    char printed[64];
    int n = 1;
    for (; n < MAX_DIGITS; ++n) {
      std::snprintf(printed, sizeof printed, "%.*e", n - 1, v);
      if (std::strtod(printed, nullptr) == v) break;
    }
    std::snprintf(printed, sizeof printed, "%.*e", n - 1, v);
    ASSERT_LE(d.count, n) << printed;
    if (d.count == n) {
      std::string reference;
      for (const char* p = printed; *p != 'e'; ++p) {
        if (*p != '.') reference += *p;
      }
      reference.erase(reference.find_last_not_of('0') + 1);
      ASSERT_EQ(reference, d.text) << printed;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Molded text and its round trip

struct TextCase {
  double value;
  int count;
  bool keep_point;
  const char* text;
};

const TextCase TEXT_CASES[] = {
    {0.1, 0, true, "0.1"},
    {100.0, 0, true, "100.0"},
    {1e16, 0, true, "10000000000000000.0"},
    {1e17, 0, true, "1.0e17"},
    {1e-7, 0, true, "0.0000001"},
    {1.5e-8, 0, true, "1.5e-8"},
    {-0.0, 0, true, "-0.0"},
    {0.0, 0, true, "0.0"},
    {1.0 / 3, 0, true, "0.3333333333333333"},
    {0.1 + 0.2, 0, true, "0.30000000000000004"},
    {100.0, 0, false, "100"},
    {1e17, 0, false, "1e17"},
    {-0.0, 0, false, "-0"},
    {1.5e-8, 0, false, "1.5e-8"},
    {INF, 0, true, "1.#INF"},
    {-INF, 0, true, "-1.#INF"},
    {NaN, 0, true, "1.#NaN"},
    {-NaN, 0, false, "1.#NaN"},
    // The bounds of plain notation.
    {12345678901234567.0, 0, true, "12345678901234568.0"},
    {1.2345678901234568e17, 0, true, "1.2345678901234568e17"},
    {1.234e-7, 0, true, "0.0000001234"},
    {1e-6, 0, true, "0.000001"},
    {-1.5e-300, 0, true, "-1.5e-300"},
    {MIN_SUBNORMAL, 0, true, "5.0e-324"},
    {MAX_DOUBLE, 0, true, "1.7976931348623157e308"},
    {-123.25, 0, true, "-123.25"},
    {1e23, 0, true, "1.0e23"},
    // Time seconds: 6 digits, no kept point.
    {1.5, 6, false, "1.5"},
    {2.0, 6, false, "2"},
    {0.1234567, 6, false, "0.123457"},
    {5.1234567, 6, false, "5.12346"},
    {59.9999999, 6, false, "60"},
    // Money from a float: 22 digits, kept point.
    {0.1, 22, true, "0.1"},
    {3.0, 22, true, "3.0"},
    {1234.5, 22, true, "1234.5"},
};

class ToText : public testing::TestWithParam<TextCase> {};

TEST_P(ToText, LaysOutThePoint) {
  const TextCase& c = GetParam();
  EXPECT_STREQ(dtoa::to_text(c.value, c.count, c.keep_point), c.text) << c.value;
}

INSTANTIATE_TEST_SUITE_P(NumberText, ToText, testing::ValuesIn(TEXT_CASES));

// The percent loader's adjusted read molds as the literal was written.
TEST(NumberTextRoundTrip, AdjustedReadMoldsAsWritten) {
  int left_over = -1;
  EXPECT_STREQ(dtoa::to_text(read("1.1", -2, &left_over), 0, true), "0.011");
  EXPECT_STREQ(dtoa::to_text(1.1 / 100, 0, true), "0.011000000000000001");
}

void expect_round_trip(double v) {
  const char* text = dtoa::to_text(v, 0, true);
  int left_over = -1;
  double back = dtoa::from_text(text, text + std::strlen(text), 0, &left_over);
  ASSERT_EQ(left_over, 0) << text;
  ASSERT_EQ(bits(back), bits(v)) << text;
}

TEST(NumberTextRoundTrip, EdgeDoublesReadBackToTheSameBits) {
  const double edges[] = {
      MIN_SUBNORMAL, 2 * MIN_SUBNORMAL, std::numeric_limits<double>::min(),
      std::nextafter(std::numeric_limits<double>::min(), 0.0), MAX_DOUBLE,
      std::nextafter(MAX_DOUBLE, 0.0), 1.0, std::nextafter(1.0, 2.0), std::nextafter(1.0, 0.0),
      9007199254740992.0, 1e16, 1e17, 1e-7, 5e-324, 0.1, 1e23, 8.41e21, 5.0e-310,
      INF};
  for (double v : edges) {
    expect_round_trip(v);
    expect_round_trip(-v);
  }
}

// Negative zero molds as "-0.0" but, like every zero, reads back as +0.0.
TEST(NumberTextRoundTrip, NegativeZeroReadsAsPositiveZero) {
  const char* text = dtoa::to_text(-0.0, 0, true);
  EXPECT_STREQ(text, "-0.0");
  EXPECT_EQ(bits(read(text)), bits(0.0));
}

TEST(NumberTextRoundTrip, NaNReadsBackAsNaN) {
  EXPECT_TRUE(std::isnan(read(dtoa::to_text(NaN, 0, true))));
}

TEST(NumberTextRoundTrip, RandomDoublesReadBackToTheSameBits) {
  std::mt19937_64 rng(42);
  constexpr int CASES = 200000;
  for (int i = 0; i < CASES; ++i) {
    double v = random_finite(rng);
    if (v == 0.0) continue;
    expect_round_trip(v);
  }
}

// Subnormals are rare among random bit patterns; this walks them on purpose.
TEST(NumberTextRoundTrip, RandomSubnormalsReadBackToTheSameBits) {
  std::mt19937_64 rng(43);
  constexpr uint64_t FRACTION_MASK = (uint64_t{1} << 52) - 1;
  constexpr int CASES = 20000;
  for (int i = 0; i < CASES; ++i) {
    uint64_t fraction = (rng() & FRACTION_MASK) >> (rng() % 52);
    if (fraction == 0) continue;
    expect_round_trip(std::bit_cast<double>(fraction));
  }
}

// ---------------------------------------------------------------------------------------------
// Printed forms of floating values

struct FormCase {
  double value;
  float_text::Kind kind;
  const char* text;
};

const FormCase PRETTY_CASES[] = {
    {0.1 + 0.2, float_text::KIND_FLOAT, "0.3"},
    {1.0 / 3, float_text::KIND_FLOAT, "0.3333333333333333"},
    {3.0, float_text::KIND_FLOAT, "3.0"},
    {-1.5, float_text::KIND_FLOAT, "-1.5"},
    {1e20, float_text::KIND_FLOAT, "1.0e20"},
    {1e-5, float_text::KIND_FLOAT, "1.0e-5"},
    {1.5e-5, float_text::KIND_FLOAT, "1.5e-5"},
    {0.0001, float_text::KIND_FLOAT, "0.0001"},
    {1e-17, float_text::KIND_FLOAT, "0.0"},
    {-0.0, float_text::KIND_FLOAT, "0.0"},
    {2.220446049250313e-16, float_text::KIND_FLOAT, "2.220446049250313e-16"},
    {INF, float_text::KIND_FLOAT, "1.#INF"},
    {-INF, float_text::KIND_FLOAT, "-1.#INF"},
    {NaN, float_text::KIND_FLOAT, "1.#NaN"},
    {-NaN, float_text::KIND_PERCENT, "1.#NaN"},
    // Where "%.16g" turns to the exponent form.
    {1e15, float_text::KIND_FLOAT, "1000000000000000.0"},
    {9999999999999998.0, float_text::KIND_FLOAT, "9999999999999998.0"},
    {1e16, float_text::KIND_FLOAT, "1.0e16"},
    {1.5e300, float_text::KIND_FLOAT, "1.5e300"},
    // Noise in the last two of sixteen digits: printed again with fourteen.
    {0.7 + 0.1, float_text::KIND_FLOAT, "0.8"},
    {-(0.7 + 0.1), float_text::KIND_FLOAT, "-0.8"},
    {1.000000000000001e300, float_text::KIND_FLOAT, "1.0e300"},
    {1.2345678901234567e300, float_text::KIND_FLOAT, "1.234567890123457e300"},
    {0.1000000000000001, float_text::KIND_FLOAT, "0.1"},
    {0.100000000000001, float_text::KIND_FLOAT, "0.100000000000001"},
    // Percent values arrive multiplied by 100.
    {0.5 * 100.0, float_text::KIND_PERCENT, "50%"},
    {0.001 * 100.0, float_text::KIND_PERCENT, "0.1%"},
    {0.125 * 100.0, float_text::KIND_PERCENT, "12.5%"},
    {0.0, float_text::KIND_PERCENT, "0%"},
    {1e20, float_text::KIND_PERCENT, "1e20%"},
    {0.07 * 100.0, float_text::KIND_PERCENT, "7%"},
    // Time seconds.
    {5.5, float_text::KIND_TIME_SECONDS, "5.5"},
    {5.0, float_text::KIND_TIME_SECONDS, "5"},
    {5.1234567, float_text::KIND_TIME_SECONDS, "5.12346"},
    {0.25, float_text::KIND_TIME_SECONDS, "0.25"},
    // 32-bit elements print with seven digits.
    {static_cast<double>(0.1f), float_text::KIND_FLOAT32, "0.1"},
    {static_cast<double>(3.0f), float_text::KIND_FLOAT32, "3.0"},
    {static_cast<double>(1e10f), float_text::KIND_FLOAT32, "1.0e10"},
    {static_cast<double>(0.5f) * 100.0, float_text::KIND_PERCENT32, "50%"},
    {0.0, float_text::KIND_PERCENT32, "0%"},
    {static_cast<double>(3.0f), float_text::KIND_POINT32, "3"},
    {static_cast<double>(2.5f), float_text::KIND_POINT32, "2.5"},
    {0.0, float_text::KIND_POINT32, "0"},
};

const FormCase PLAIN_CASES[] = {
    {1e-17, float_text::KIND_FLOAT, "1.0e-17"},
    {-0.0, float_text::KIND_FLOAT, "-0.0"},
    {0.0, float_text::KIND_PERCENT, "0%"},
    {0.0, float_text::KIND_POINT32, "0"},
    {0.7 + 0.1, float_text::KIND_FLOAT, "0.7999999999999999"},
    {1.000000000000001e300, float_text::KIND_FLOAT, "1.000000000000001e300"},
    {1e20, float_text::KIND_FLOAT, "1.0e20"},
    {-1.5e-300, float_text::KIND_FLOAT, "-1.5e-300"},
};

// Sets the pretty-print option for one test and restores it afterwards.
class FloatTextOption {
 public:
  explicit FloatTextOption(bool pretty) : saved_(float_text::pretty_print) {
    float_text::pretty_print = pretty;
  }
  ~FloatTextOption() { float_text::pretty_print = saved_; }

 private:
  bool saved_;
};

class PrettyForm : public testing::TestWithParam<FormCase> {};
class PlainForm : public testing::TestWithParam<FormCase> {};

TEST_P(PrettyForm, Prints) {
  FloatTextOption option(true);
  const FormCase& c = GetParam();
  EXPECT_STREQ(float_text::to_text(c.value, c.kind), c.text) << c.value << " as kind " << c.kind;
}

TEST_P(PlainForm, Prints) {
  FloatTextOption option(false);
  const FormCase& c = GetParam();
  EXPECT_STREQ(float_text::to_text(c.value, c.kind), c.text) << c.value << " as kind " << c.kind;
}

INSTANTIATE_TEST_SUITE_P(NumberText, PrettyForm, testing::ValuesIn(PRETTY_CASES));
INSTANTIATE_TEST_SUITE_P(NumberText, PlainForm, testing::ValuesIn(PLAIN_CASES));

}  // namespace
}  // namespace xol
