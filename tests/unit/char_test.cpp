// char!: arithmetic with its range check, construction, exact comparison and the printed forms.
#include <gtest/gtest.h>

#include "text_builders.h"

namespace xol::testing {
namespace {

using CharTest = TextTest;

TEST_F(CharTest, ArithmeticKeepsResultsInsideTheCodePointRange) {
  struct Case {
    uint32_t cp;
    MathOp op;
    Cell operand;
    int64_t expected;   // -1: math overflow
  };
  const Case cases[] = {
      {'a', OP_ADD, integer::make(1), 'b'},
      {'b', OP_SUBTRACT, character::make(1), 'a'},
      {0, OP_SUBTRACT, integer::make(1), -1},
      {1, OP_ADD, integer::make(0x10FFFF), -1},
      {0x10FFFF, OP_ADD, integer::make(0), 0x10FFFF},
      {'a', OP_MULTIPLY, integer::make(0x7FFFFFFF), -1},
      {'d', OP_DIVIDE, integer::make(3), 33},
      {'d', OP_REMAINDER, integer::make(7), 2},
      {'a', OP_ADD, floating::make(1.9), 'b'},
      {'a', OP_AND, integer::make(0xDF), 'A'},
      {'A', OP_OR, integer::make(0x20), 'a'},
      {'a', OP_XOR, integer::make(0x20), 'A'},
  };
  for (const Case& c : cases) {
    Cell value = chr(c.cp), result;
    if (c.expected < 0) {
      EXPECT_EQ(raised([&] { character::do_math(c.op, &value, &c.operand, &result); }),
                "math/overflow")
          << c.cp << " op " << c.op;
      continue;
    }
    character::do_math(c.op, &value, &c.operand, &result);
    ASSERT_TRUE(result.is(TYPE_CHAR));
    EXPECT_EQ(character::get(&result), uint32_t(c.expected)) << c.cp << " op " << c.op;
  }
  Cell a = chr('a'), zero = integer::make(0), result, text = str("x");
  EXPECT_EQ(raised([&] { character::do_math(OP_DIVIDE, &a, &zero, &result); }),
            "math/zero-divide");
  EXPECT_EQ(raised([&] { character::do_math(OP_ADD, &a, &text, &result); }),
            "script/invalid-type");
}

TEST_F(CharTest, MakeFromNumbersTextAndUtf8) {
  struct Case {
    Cell spec;
    int64_t expected;     // -1: error
    const char* error;
  };
  const Case cases[] = {
      {integer::make(0x10FFFF), 0x10FFFF, ""},
      {integer::make(0x110000), -1, "script/out-of-range"},
      {integer::make(-1), -1, "script/out-of-range"},
      {floating::make(65.9), 'A', ""},
      {str("\xC3\xA9z"), 0xE9, ""},
      {str(""), -1, "script/bad-to-arg"},
      {bin("\xC3\xA9"), 0xE9, ""},
      {bin("\x80"), -1, "access/invalid-utf8"},
      {bin("\xC3"), -1, "access/invalid-utf8"},
      {bin(""), -1, "access/invalid-utf8"},
      {logic::make(true), -1, "script/bad-to-arg"},
  };
  for (const Case& c : cases) {
    Cell result;
    if (c.expected < 0) {
      EXPECT_EQ(raised([&] { character::make(nullptr, &c.spec, TYPE_CHAR, &result); }), c.error);
      continue;
    }
    character::make(nullptr, &c.spec, TYPE_CHAR, &result);
    EXPECT_EQ(character::get(&result), uint32_t(c.expected));
  }
}

TEST_F(CharTest, CharsCompareExactlyAndEqualIntegersOnlyLoosely) {
  Cell a = chr('a'), upper = chr('A'), n97 = integer::make(97), s = str("a");
  EXPECT_EQ(compared(a, upper, COMP_EQUAL), 1);
  EXPECT_EQ(compared(a, upper, COMP_GREATER), 1);
  EXPECT_EQ(compared(a, n97, COMP_EQUAL), 0);
  EXPECT_EQ(compared(a, n97, COMP_STRICT_EQUAL), 1);
  EXPECT_EQ(compared(a, n97, COMP_SELECT), 1);
  EXPECT_EQ(compared(a, s, COMP_EQUAL), kNotComparable);
}

TEST_F(CharTest, MoldEscapesControlCharactersAndFormWritesTheCharacter) {
  struct Case {
    uint32_t cp;
    bool all;
    const char* molded;
  };
  const Case cases[] = {
      {'\t', false, "#\"^-\""},     {0, false, "#\"^@\""},       {'\n', false, "#\"^/\""},
      {0x1B, false, "#\"^[\""},     {0x7F, false, "#\"^~\""},    {0x1E, false, "#\"^(1E)\""},
      {0x85, false, "#\"^(85)\""},  {'"', false, "#\"^\"\""},    {'^', false, "#\"^^\""},
      {0xE9, false, "#\"\xC3\xA9\""}, {0xE9, true, "#\"^(E9)\""}, {'{', false, "#\"{\""},
      {0x1F600, true, "#\"^(1F600)\""},
  };
  for (const Case& c : cases) EXPECT_EQ(molded(chr(c.cp), c.all), c.molded) << c.cp;
  EXPECT_EQ(formed(chr(0x20AC)), "\xE2\x82\xAC");
}

}  // namespace
}  // namespace xol::testing
