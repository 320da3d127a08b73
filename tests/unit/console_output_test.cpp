// Console output and print hooks: unit text reaches stdout as UTF-8 with LF line ends, texts of
// any length go out whole, and the hooks run in registration order.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "runtime/process/console_output.h"
#include "runtime/process/print_hooks.h"
#include "runtime/process/process.h"
#include "tests/unit/stdout_capture.h"

namespace xol {
namespace {

// The bytes of a text buffer of `unit_size`-byte little-endian units.
std::string units(const std::u32string& text, uint32_t unit_size) {
  std::string bytes;
  for (char32_t code_point : text) {
    for (uint32_t i = 0; i < unit_size; ++i) bytes += static_cast<char>(code_point >> (8 * i));
  }
  return bytes;
}

std::string written(const std::u32string& text, uint32_t unit_size, bool newline) {
  std::string bytes = units(text, unit_size);
  return test::capture_stdout(
      [&] { console::write(bytes.data(), bytes.size(), unit_size, newline); });
}

class ConsoleOutput : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dyn_print::init();
    console::init();
  }
};

struct WriteCase {
  const char* name;
  std::u32string text;
  uint32_t unit_size;
  bool newline;
  std::string expected;
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

class ConsoleWrite : public ConsoleOutput, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(ConsoleWrite, EncodesUnitsAsUtf8) {
  const WriteCase& c = GetParam();
  EXPECT_EQ(written(c.text, c.unit_size, c.newline), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConsoleWrite,
    ::testing::Values(
        WriteCase{"Latin1Ascii", U"abc", 1, false, "abc"},
        WriteCase{"Latin1HighByteLine", U"\u00E9", 1, true, "\xC3\xA9\n"},
        WriteCase{"Utf16", U"A\u00E9\u20AC", 2, false, "A\xC3\xA9\xE2\x82\xAC"},
        WriteCase{"Utf16Line", U"\uFFFD", 2, true, "\xEF\xBF\xBD\n"},
        WriteCase{"Ucs4OutsideBmp", U"A\U0001F600", 4, false, "A\xF0\x9F\x98\x80"},
        WriteCase{"Ucs4Line", U"\U0010FFFF", 4, true, "\xF4\x8F\xBF\xBF\n"},
        WriteCase{"Ucs4PastUnicodeIsReplaced", std::u32string(1, char32_t(0x110000)), 4, false,
                  "\xEF\xBF\xBD"},
        WriteCase{"EmptyLine", U"", 2, true, "\n"},
        WriteCase{"EscapeSequencePassesThrough", U"\x1B[31mred\x1B[0m", 1, false,
                  "\x1B[31mred\x1B[0m"}),
    [](const ::testing::TestParamInfo<WriteCase>& info) { return info.param.name; });

TEST_F(ConsoleOutput, NamedWritersUseTheirUnitAndLineEnd) {
  const std::string latin1 = units(U"\u00E9", 1);
  const std::string utf16 = units(U"\u00E9", 2);
  const std::string ucs4 = units(U"\u00E9", 4);
  std::string out = test::capture_stdout([&] {
    console::write_latin1(latin1.data(), latin1.size());
    console::write_latin1_line(latin1.data(), latin1.size());
    console::write_utf16(utf16.data(), utf16.size());
    console::write_utf16_line(utf16.data(), utf16.size());
    console::write_ucs4(ucs4.data(), ucs4.size());
    console::write_ucs4_line(ucs4.data(), ucs4.size());
  });
  EXPECT_EQ(out, "\xC3\xA9\xC3\xA9\n\xC3\xA9\xC3\xA9\n\xC3\xA9\xC3\xA9\n");
}

// Lengths chosen around the buffer size: the encoded text fills the buffer exactly, leaves
// fewer bytes free than its last character needs, or spans several buffers.
struct LongCase {
  const char* name;
  uint32_t unit_size;
  size_t count;  // repetitions of `repeated`, then `last` once
  char32_t repeated;
  char32_t last;
  std::string expected_repeated;
  std::string expected_last;
};

void PrintTo(const LongCase& c, std::ostream* os) { *os << c.name; }

class ConsoleLongWrite : public ConsoleOutput, public ::testing::WithParamInterface<LongCase> {};

TEST_P(ConsoleLongWrite, TextLongerThanTheBufferIsWrittenWhole) {
  const LongCase& c = GetParam();
  std::string expected;
  for (size_t i = 0; i < c.count; ++i) expected += c.expected_repeated;
  expected += c.expected_last + "\n";
  EXPECT_EQ(written(std::u32string(c.count, c.repeated) + c.last, c.unit_size, true), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConsoleLongWrite,
    ::testing::Values(
        LongCase{"AsciiFillsBufferWithLastChar", 4, 1020, U'a', U'\U0001F600', "a",
                 "\xF0\x9F\x98\x80"},
        LongCase{"AsciiOneShortOfRoomForLastChar", 4, 1021, U'a', U'\U0001F600', "a",
                 "\xF0\x9F\x98\x80"},
        LongCase{"Latin1HighBytesAcrossBuffers", 1, 3000, U'\u00E9', U'\u00FF', "\xC3\xA9",
                 "\xC3\xBF"},
        LongCase{"ThreeByteCharsAcrossBuffers", 2, 1000, U'\u20AC', U'\u00E9', "\xE2\x82\xAC",
                 "\xC3\xA9"},
        LongCase{"FourByteCharsAcrossBuffers", 4, 1000, U'\U0001F600', U'a',
                 "\xF0\x9F\x98\x80", "a"}),
    [](const ::testing::TestParamInfo<LongCase>& info) { return info.param.name; });

// A reader that has gone ends the process at once and quietly, with 141 as Unix filters do
// (`xol s.xol | head -1`), never by the signal and never with 0.
TEST_F(ConsoleOutput, OutputToAClosedPipeEndsTheProcessQuietlyWith141) {
  EXPECT_EXIT(
      {
        int ends[2];
        if (::pipe(ends) != 0) _exit(2);
        ::close(ends[0]);
        ::dup2(ends[1], 1);
        console::init();
        console::write_cstr("lost");
        _exit(0);
      },
      ::testing::ExitedWithCode(141), "^$");
}

// Any other failure (a full disk) is reported once, output goes on, and the run that would
// have ended with 0 ends with 1.
TEST_F(ConsoleOutput, AFailedWriteIsReportedOnceAndTheNormalEndBecomesStatus1) {
  EXPECT_EXIT(
      {
        const int full = ::open("/dev/full", O_WRONLY);
        if (full < 0 || ::dup2(full, 1) < 0) _exit(2);
        console::init();
        console::write_cstr("lost");
        console::write_latin1_line("lost", 4);
        rt::runtime_error(rt::RUNTIME_NORMAL_END, 0);
      },
      ::testing::ExitedWithCode(1),
      "^\\*\\*\\* Output Error: cannot write to standard output: No space left on device\n$");
}

TEST(BuildDate, HasTheDateSlashTimeForm) {
  EXPECT_TRUE(std::regex_match(rt::build_date(),
                               std::regex("[1-9][0-9]?-[A-Z][a-z][a-z]-[0-9]{4}/[0-9]{2}:[0-9]{2}:[0-9]{2}")))
      << rt::build_date();
}

// --- Print hooks -------------------------------------------------------------------------

std::vector<std::string> calls;

template <int N>
void text_hook(const char* utf8, int size, int newline) {
  calls.push_back(std::to_string(N) + ":" + std::string(utf8, size) + ":" +
                  std::to_string(newline));
}

template <int N>
void value_hook(const Cell* value, int newline) {
  calls.push_back(std::to_string(N) + ":" + std::to_string(value->type()) + ":" +
                  std::to_string(newline));
}

constexpr dyn_print::TextPrinter kTextHooks[] = {text_hook<0>, text_hook<1>, text_hook<2>,
                                                 text_hook<3>, text_hook<4>, text_hook<5>,
                                                 text_hook<6>, text_hook<7>};
constexpr int kMostRegistrationsOfOneHook = 2;

class PrintHooks : public ConsoleOutput {
 protected:
  void SetUp() override { calls.clear(); }
  void TearDown() override {
    for (int i = 0; i < kMostRegistrationsOfOneHook; ++i) {
      for (dyn_print::TextPrinter hook : kTextHooks) dyn_print::remove(value_hook<0>, hook);
      dyn_print::remove(value_hook<1>, nullptr);
    }
  }
};

TEST_F(PrintHooks, RunInRegistrationOrderAndTwiceWhenAddedTwice) {
  dyn_print::add(value_hook<1>, text_hook<1>);
  dyn_print::add(value_hook<0>, text_hook<0>);
  dyn_print::add(value_hook<1>, nullptr);
  Cell value{TYPE_INTEGER, 0, 0, 0};
  dyn_print::call_value_hooks(&value, 1);
  dyn_print::call_text_hooks("hi", 2, 0);
  EXPECT_EQ(calls, (std::vector<std::string>{"1:11:1", "0:11:1", "1:11:1", "1:hi:0", "0:hi:0"}));

  calls.clear();
  dyn_print::remove(value_hook<1>, nullptr);
  dyn_print::call_value_hooks(&value, 0);
  EXPECT_EQ(calls, (std::vector<std::string>{"0:11:0", "1:11:0"}));
}

TEST_F(PrintHooks, ListGrowsPastItsFirstFiveAndRemovesTheFirstOccurrence) {
  for (dyn_print::TextPrinter hook : kTextHooks) dyn_print::add(nullptr, hook);
  dyn_print::add(nullptr, text_hook<2>);
  dyn_print::remove(nullptr, text_hook<2>);
  dyn_print::remove(nullptr, text_hook<5>);
  dyn_print::call_text_hooks("x", 1, 1);
  EXPECT_EQ(calls, (std::vector<std::string>{"0:x:1", "1:x:1", "3:x:1", "4:x:1", "6:x:1",
                                             "7:x:1", "2:x:1"}));
}

TEST_F(PrintHooks, RemovingAnUnregisteredHookChangesNothing) {
  dyn_print::add(nullptr, text_hook<0>);
  dyn_print::remove(value_hook<0>, text_hook<1>);
  dyn_print::call_text_hooks("x", 1, 0);
  EXPECT_EQ(calls, (std::vector<std::string>{"0:x:0"}));
}

// More than any other test registers at once, so the list grows while it is being walked.
constexpr int kRegistrationsDuringCall = 16;

// Registers hooks 1 and 2 by turns.
void registering_hook(const char* utf8, int size, int newline) {
  text_hook<0>(utf8, size, newline);
  for (int i = 0; i < kRegistrationsDuringCall; ++i) dyn_print::add(nullptr, kTextHooks[1 + i % 2]);
}

TEST_F(PrintHooks, CallRunsTheHooksCountedWhenItStarted) {
  dyn_print::add(nullptr, registering_hook);
  dyn_print::add(nullptr, text_hook<3>);
  dyn_print::call_text_hooks("x", 1, 0);
  for (int i = 0; i < kRegistrationsDuringCall / 2; ++i) {
    dyn_print::remove(nullptr, text_hook<1>);
    dyn_print::remove(nullptr, text_hook<2>);
  }
  dyn_print::remove(nullptr, registering_hook);
  EXPECT_EQ(calls, (std::vector<std::string>{"0:x:0", "3:x:0"}));
}

TEST_F(PrintHooks, CStringWriterNotifiesTextHooksButUnitWriterDoesNot) {
  dyn_print::add(nullptr, text_hook<0>);
  const char* answered = nullptr;
  const char* text = "caf\xC3\xA9";
  std::string out = test::capture_stdout([&] {
    answered = console::write_cstr(text);
    console::write_latin1_line("abc", 3);
  });
  EXPECT_EQ(answered, text);
  EXPECT_EQ(out, "caf\xC3\xA9" "abc\n");
  EXPECT_EQ(calls, (std::vector<std::string>{"0:caf\xC3\xA9:0"}));
}

TEST_F(PrintHooks, PrintScratchWritesAndNotifiesTheBytesWritten) {
  dyn_print::add(nullptr, text_hook<0>);
  std::snprintf(console::format_scratch(), console::kFormatScratchSize, "12345");
  std::string out = test::capture_stdout([] { console::print_scratch(3); });
  EXPECT_EQ(out, "123");
  EXPECT_EQ(calls, (std::vector<std::string>{"0:123:0"}));
}

}  // namespace
}  // namespace xol
