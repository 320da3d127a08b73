// Low-level printing: the number formats, item lists, character literals, and the small
// numeric utilities. Every case also checks that the text printers saw exactly what reached
// stdout. Float text is glibc's ("1e+16", "inf", "nan").
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "runtime/process/console_output.h"
#include "runtime/process/low_print.h"
#include "runtime/process/print_hooks.h"
#include "tests/unit/stdout_capture.h"

namespace xol {
namespace {

std::string hooked;

void collect_text(const char* utf8, int size, int) { hooked.append(utf8, size); }

struct PrintCase {
  const char* name;
  std::function<void()> print;
  std::string expected;
};

void PrintTo(const PrintCase& c, std::ostream* os) { *os << c.name; }

class LowPrint : public ::testing::TestWithParam<PrintCase> {
 protected:
  static void SetUpTestSuite() { dyn_print::init(); }
  void SetUp() override {
    hooked.clear();
    dyn_print::add(nullptr, collect_text);
  }
  void TearDown() override { dyn_print::remove(nullptr, collect_text); }
};

TEST_P(LowPrint, WritesTheTextAndHandsItToTheTextPrinters) {
  const PrintCase& c = GetParam();
  std::string out = test::capture_stdout(c.print);
  EXPECT_EQ(out, c.expected);
  EXPECT_EQ(hooked, c.expected);
}

PrintCase number(const char* name, std::function<void()> print, const char* expected) {
  return PrintCase{name, std::move(print), expected};
}

INSTANTIATE_TEST_SUITE_P(
    NumberFormats, LowPrint,
    ::testing::Values(
        number("Int", [] { rt::print_int(42); }, "42"),
        number("IntNegative", [] { rt::print_int(-7); }, "-7"),
        number("IntSmallest32", [] { rt::print_int(INT32_MIN); }, "-2147483648"),
        number("IntPast32Bits", [] { rt::print_int(5000000000); }, "5000000000"),
        number("Hex2", [] { rt::print_hex2(10); }, "0A"),
        number("Hex2Byte", [] { rt::print_hex2(255); }, "FF"),
        number("Hex2Wider", [] { rt::print_hex2(0x1FF); }, "1FF"),
        number("Hex8", [] { rt::print_hex8(0x1234); }, "00001234"),
        number("Hex8MinusOne", [] { rt::print_hex8(-1); }, "FFFFFFFF"),
        number("Pointer", [] { rt::print_pointer(reinterpret_cast<const void*>(0xABC0)); },
               "000000000000ABC0"),
        number("FloatTenth", [] { rt::print_float(0.1); }, "0.1"),
        number("FloatThird", [] { rt::print_float(1.0 / 3); }, "0.3333333333333333"),
        number("FloatIntegral", [] { rt::print_float(2.0); }, "2"),
        number("FloatLarge", [] { rt::print_float(1e16); }, "1e+16"),
        number("FloatNegativeZero", [] { rt::print_float(-0.0); }, "-0"),
        number("FloatInfinity", [] { rt::print_float(HUGE_VAL); }, "inf"),
        number("FloatNan", [] { rt::print_float(std::numeric_limits<double>::quiet_NaN()); },
               "nan"),
        number("Float32Tenth", [] { rt::print_float32(0.1f); }, "0.1"),
        number("Float32Third", [] { rt::print_float32(1.0f / 3); }, "0.3333333"),
        number("Float32Large", [] { rt::print_float32(123456789.0f); }, "1.234568e+08")),
    [](const ::testing::TestParamInfo<PrintCase>& info) { return info.param.name; });

const char* const kTextEndingInSpace = "a ";

INSTANTIATE_TEST_SUITE_P(
    ItemLists, LowPrint,
    ::testing::Values(
        number("LineAddsNoSpace", [] { rt::print_line("x: ", 42); }, "x: 42\n"),
        number("EmptyLine", [] { rt::print_line(); }, "\n"),
        number("Logic", [] { rt::print(true, false); }, "truefalse"),
        number("Enum", [] { rt::print(rt::PRINT_CSTR); }, "6"),
        number("ByteAndRawWord", [] { rt::print('<', rt::Hex{0xBEEF}, '>'); }, "<0000BEEF>"),
        number("MixedTypes", [] { rt::print(size_t{7}, 1.5, 0.25f, uint8_t{200}); },
               "71.50.25200"),
        number("SpacedIntegers",
               [] {
                 rt::PrintItem items[] = {1, 2};
                 rt::print_values(items, 2, true);
               },
               "1 2"),
        number("SpacedNoSecondSpaceAfterSpace",
               [] {
                 rt::PrintItem items[] = {kTextEndingInSpace, 3};
                 rt::print_values(items, 2, true);
               },
               "a 3"),
        number("SpacedNoSpaceAfterBlankBytes",
               [] {
                 rt::PrintItem items[] = {'\t', "x\n", "y\r", 'z', true, ""};
                 rt::print_values(items, 6, true);
               },
               "\tx\ny\rz true "),
        number("CStringPart", [] { rt::print_cstr_part("hello", 3); }, "hel"),
        number("CStringPartLongerThanText", [] { rt::print_cstr_part("hi", 10); }, "hi")),
    [](const ::testing::TestParamInfo<PrintCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    CharLiterals, LowPrint,
    ::testing::Values(number("Null", [] { rt::print_char_literal(0); }, "#\"^@\""),
                      number("ControlA", [] { rt::print_char_literal(1); }, "#\"^A\""),
                      number("Tab", [] { rt::print_char_literal(9); }, "#\"^-\""),
                      number("LineFeed", [] { rt::print_char_literal(10); }, "#\"^/\""),
                      number("Escape", [] { rt::print_char_literal(27); }, "#\"^]\""),
                      number("Unit31", [] { rt::print_char_literal(31); }, "#\"^_\""),
                      number("Space", [] { rt::print_char_literal(32); }, "#\" \""),
                      number("Letter", [] { rt::print_char_literal(65); }, "#\"A\""),
                      number("Delete", [] { rt::print_char_literal(127); }, "#\"\x7F\""),
                      number("Latin1", [] { rt::print_char_literal(233); }, "#\"^(E9)\""),
                      number("TopByte", [] { rt::print_char_literal(128); }, "#\"^(80)\"")),
    [](const ::testing::TestParamInfo<PrintCase>& info) { return info.param.name; });

TEST(LowPrintResults, PrintersAnswerTheirArgument) {
  const char* text = "abc";
  std::string out = test::capture_stdout([&] {
    EXPECT_EQ(rt::print_int(-3), -3);
    EXPECT_EQ(rt::print_hex8(-1), -1);
    EXPECT_EQ(rt::print_float(0.5), 0.5);
    EXPECT_EQ(rt::print_char('q'), 'q');
    EXPECT_EQ(rt::print_cstr_part(text, 1), text);
    EXPECT_EQ(rt::print_char_literal(200), 200);
  });
  EXPECT_EQ(out, "-3FFFFFFFF0.5qa#\"^(C8)\"");
}

}  // namespace
}  // namespace xol
