// The catch-frame chain, the fatal report and every way the process ends.
//
// Guard levels are plain tests. The process's ends are death tests: each runs a body on the real
// runtime thread (its own stack, the fault handlers installed) in a child process and checks the
// exit code and the exact report on stderr.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "platform/os.h"
#include "platform/signals.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/process/process.h"
#include "runtime/runtime.h"

namespace xol::rt {
namespace {

// ---- guard levels ----

struct GuardCase {
  uint32_t level;
  uint32_t code;
  bool caught;
};

class ProcessGuardLevel : public testing::TestWithParam<GuardCase> {};

TEST_P(ProcessGuardLevel, CatchesCodesUpToItsLevelAndPassesTheRest) {
  const GuardCase& c = GetParam();
  uint32_t inner = 0xDEAD;
  bool resumed_after_inner = false;
  uint32_t outer = guard(0xFFFFFFFF, [&] {
    inner = guard(c.level, [&] { throw_code(c.code); });
    resumed_after_inner = true;
  });
  if (c.caught) {
    EXPECT_EQ(inner, c.code);
    EXPECT_TRUE(resumed_after_inner);
    EXPECT_EQ(outer, 0u);
  } else {
    EXPECT_EQ(inner, 0xDEADu);
    EXPECT_FALSE(resumed_after_inner);
    EXPECT_EQ(outer, c.code);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Levels, ProcessGuardLevel,
    testing::Values(GuardCase{5, 1, true}, GuardCase{5, 5, true}, GuardCase{5, 6, false},
                    GuardCase{THROWN_LEXER, THROWN_BREAK, false},
                    GuardCase{THROWN_ERROR, THROWN_BREAK, true},
                    GuardCase{THROWN_BREAK, THROWN_ERROR, false},
                    GuardCase{THROWN_ERROR, THROWN_NORMAL_END, true},
                    // Compared unsigned: a code above 0x7FFFFFFF is not "negative".
                    GuardCase{THROWN_ERROR, 0x80000000u, false},
                    GuardCase{0xFFFFFFFF, 0xFFFFFFFF, true}));

TEST(ProcessGuard, AnswersZeroWhenTheBodyEndsNormally) {
  int runs = 0;
  EXPECT_EQ(guard(THROWN_ERROR, [&] { ++runs; }), 0u);
  EXPECT_EQ(runs, 1);
}

TEST(ProcessGuard, UnwindingThroughAGuardRunsTheDestructorsOnTheWay) {
  struct Restore {
    bool* flag;
    ~Restore() { *flag = true; }
  };
  bool restored = false;
  uint32_t caught = guard(THROWN_ERROR, [&] {
    EXPECT_THROW(guard(THROWN_LEXER, [&] {
                   Restore restore{&restored};
                   throw_code(THROWN_RETURN);
                 }),
                 Thrown);
    EXPECT_TRUE(restored);
    throw_code(THROWN_RETURN);
  });
  EXPECT_EQ(caught, uint32_t(THROWN_RETURN));
}

TEST(ProcessGuard, ALanguageErrorPassesALoopGuardAndKeepsItsRecord) {
  try {
    guard(THROWN_BREAK, [] { error::raise(error::CAT_MATH, "zero-divide"); });
    FAIL() << "the error did not pass the guard";
  } catch (const error::Raised& raised) {
    EXPECT_EQ(raised.code, uint32_t(THROWN_ERROR));
    EXPECT_EQ(raised.category, error::CAT_MATH);
    EXPECT_STREQ(raised.id, "zero-divide");
  }
}

// ---- the report ----

TEST(ProcessReport, ErrorTexts) {
  struct Case {
    int code;
    const char* text;
  };
  const Case cases[] = {
      {1, "access violation"},      {6, "float denormal operan"},
      {13, "integer divide by zero"}, {19, "stack error or overflow"},
      {22, "invalid handle"},       {23, "illegal operand"},
      {34, "Bus error"},            {94, "out of memory"},
      {95, "no CATCH for THROW"},   {98, "assertion failed"},
      {99, "unknown error"},        {100, "no value matched in CASE"},
      {101, "no value matched in SWITCH"},
      {0, "unknown error code!"},   {35, "unknown error code!"},
      {96, "unknown error code!"},  {97, "unknown error code!"},
      {102, "unknown error code!"}, {-2, "unknown error code!"},
  };
  for (const Case& c : cases) EXPECT_STREQ(runtime_error_text(c.code), c.text) << c.code;
}

TEST(ProcessReport, FormatsBothLinesWithTheWholeAddressInAtLeastEightHexDigits) {
  struct Case {
    int code;
    uintptr_t address;
    const char* text;
  };
  const Case cases[] = {
      {94, 0x00401A2B, "*** Runtime Error 94: out of memory\n*** at: 00401A2Bh\n"},
      {95, 0x1234ABCD, "*** Runtime Error 95: no CATCH for THROW\n*** at: 1234ABCDh\n"},
      {13, 0x7FFF12345678, "*** Runtime Error 13: integer divide by zero\n*** at: 7FFF12345678h\n"},
      {29, UINTPTR_MAX,
       "*** Runtime Error 29: hardware memory error consumed AR\n*** at: FFFFFFFFFFFFFFFFh\n"},
      {-2147483647 - 1, 0, "*** Runtime Error -2147483648: unknown error code!\n*** at: 00000000h\n"},
  };
  for (const Case& c : cases) {
    char out[kReportCapacity];
    size_t length = format_report(c.code, c.address, out);
    EXPECT_STREQ(out, c.text);
    EXPECT_EQ(length, strlen(c.text));
  }
}

// ---- signals to codes ----

TEST(ProcessSignals, MapsEachSignalAndSiCodeToItsRuntimeError) {
  struct Case {
    int signal;
    int si_code;
    int error;
  };
  const Case cases[] = {
      {SIGFPE, FPE_INTDIV, RUNTIME_INT_DIVIDE_BY_ZERO}, {SIGFPE, FPE_INTOVF, RUNTIME_INT_OVERFLOW},
      {SIGFPE, FPE_FLTDIV, RUNTIME_FLOAT_DIVIDE_BY_ZERO}, {SIGFPE, FPE_FLTINV, RUNTIME_FLOAT_INVALID},
      {SIGFPE, SI_USER, RUNTIME_FPU_ERROR},               {SIGILL, ILL_ILLOPC, RUNTIME_ILLEGAL_INSTRUCTION},
      {SIGILL, ILL_PRVOPC, RUNTIME_ILLEGAL_INSTRUCTION},  {SIGTRAP, TRAP_BRKPT, RUNTIME_BREAKPOINT},
      {SIGBUS, BUS_ADRALN, RUNTIME_INVALID_ALIGNMENT},    {SIGBUS, BUS_ADRERR, RUNTIME_BUS_ERROR},
      {SIGSEGV, SEGV_MAPERR, RUNTIME_ACCESS_VIOLATION},   {SIGSEGV, SEGV_ACCERR, RUNTIME_ACCESS_VIOLATION},
      {SIGUSR1, SI_USER, RUNTIME_UNKNOWN},
  };
  for (const Case& c : cases)
    EXPECT_EQ(platform::runtime_error_for_signal(c.signal, c.si_code, 0), c.error)
        << c.signal << " " << c.si_code;
}

TEST(ProcessSignals, OnlyASegmentationFaultInsideTheGuardZoneIsAStackOverflow) {
  constexpr uintptr_t kLow = 0x10000, kHigh = 0x20000;
  platform::watch_stack_guard(kLow, kHigh);
  EXPECT_EQ(platform::runtime_error_for_signal(SIGSEGV, SEGV_ACCERR, kLow), RUNTIME_STACK_OVERFLOW);
  EXPECT_EQ(platform::runtime_error_for_signal(SIGSEGV, SEGV_ACCERR, kHigh - 1),
            RUNTIME_STACK_OVERFLOW);
  EXPECT_EQ(platform::runtime_error_for_signal(SIGSEGV, SEGV_MAPERR, kLow - 1),
            RUNTIME_ACCESS_VIOLATION);
  EXPECT_EQ(platform::runtime_error_for_signal(SIGSEGV, SEGV_MAPERR, kHigh),
            RUNTIME_ACCESS_VIOLATION);
  EXPECT_EQ(platform::runtime_error_for_signal(SIGBUS, BUS_ADRERR, kLow), RUNTIME_BUS_ERROR);
  platform::watch_stack_guard(0, 0);
}

// ---- the ends of the process ----

// Below the lowest address Linux ever maps.
constexpr uintptr_t kUnmappedAddress = 0x1000;
volatile bool keep_recursing = true;

__attribute__((noinline, no_sanitize("undefined"))) int divide(int dividend, int divisor) {
  return dividend / divisor;
}

// Both operands come from memory: a constant dividend of 1 lets the compiler drop the division.
void divide_by_zero() {
  volatile int dividend = 7, zero = 0;
  volatile int quotient = divide(dividend, zero);
  (void)quotient;
}

void touch_unmapped_memory() { *reinterpret_cast<volatile int*>(kUnmappedAddress) = 1; }

__attribute__((noinline)) uintptr_t recurse(uintptr_t depth) {
  volatile char frame[1024];
  frame[0] = char(depth);
  if (!keep_recursing) return 0;
  return recurse(depth + 1) + uintptr_t(frame[0]);
}

void overflow_native_stack() { recurse(0); }

struct EndCase {
  const char* name;
  void (*body)();
  int exit_code;
  const char* report;   // extended regular expression over the whole of stderr
};

#define RUNTIME_REPORT(code, text) "^\\*\\*\\* Runtime Error " code ": " text "\n\\*\\*\\* at: "
#define ANY_ADDRESS "[0-9A-F]{8,}h\n$"

const EndCase kEndCases[] = {
    {"ReturningBody", [] {}, 0, "^$"},
    {"NormalEndCode", [] { throw_code(THROWN_NORMAL_END); }, 0, "^$"},
    // An interrupted script fails as shells expect, 128 + the signal, never with 0.
    {"Interrupt", [] { std::raise(SIGINT); }, 130, "^$"},
    {"Hangup", [] { std::raise(SIGHUP); }, 129, "^$"},
    {"Terminate", [] { std::raise(SIGTERM); }, 143, "^$"},
    {"UncaughtThrow", [] { throw_code(0x12345); }, 95,
     RUNTIME_REPORT("95", "no CATCH for THROW") ANY_ADDRESS},
    {"CodePassingAnInnerGuard", [] { guard(THROWN_BREAK, [] { throw_code(THROWN_ERROR); }); }, 95,
     RUNTIME_REPORT("95", "no CATCH for THROW") ANY_ADDRESS},
    {"UncaughtError", [] { error::raise(error::CAT_SCRIPT, "invalid-arg"); }, 254,
     "^\\*\\*\\* Uncaught error: script invalid-arg\n$"},
    {"CaseWithoutMatch", [] { runtime_error(RUNTIME_NO_CASE_MATCH, 0x00401A2B); }, 100,
     RUNTIME_REPORT("100", "no value matched in CASE") "00401A2Bh\n$"},
    {"CodeWithoutText", [] { runtime_error(96, 0x1234ABCD); }, 96,
     RUNTIME_REPORT("96", "unknown error code!") "1234ABCDh\n$"},
    // Linux keeps 8 bits of an exit status; a failure must never look like success.
    {"CodeCutToZero", [] { runtime_error(256, 0); }, 255,
     RUNTIME_REPORT("256", "unknown error code!") "00000000h\n$"},
    {"UncaughtBadAlloc", [] { throw std::bad_alloc(); }, 94,
     RUNTIME_REPORT("94", "out of memory") ANY_ADDRESS},
    {"IntegerDivideByZero", divide_by_zero, 13,
     RUNTIME_REPORT("13", "integer divide by zero") ANY_ADDRESS},
    {"AccessViolation", touch_unmapped_memory, 1,
     RUNTIME_REPORT("1", "access violation") ANY_ADDRESS},
    {"NativeStackOverflow", overflow_native_stack, 19,
     RUNTIME_REPORT("19", "stack error or overflow") ANY_ADDRESS},
};

class ProcessEndDeathTest : public testing::TestWithParam<EndCase> {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_P(ProcessEndDeathTest, ReportsAndExitsWithTheCode) {
  const EndCase& c = GetParam();
  EXPECT_EXIT(
      {
        init_process(0, nullptr);
        run_runtime_thread(c.body);
      },
      testing::ExitedWithCode(c.exit_code), c.report);
}

INSTANTIATE_TEST_SUITE_P(Ends, ProcessEndDeathTest, testing::ValuesIn(kEndCases),
                         [](const testing::TestParamInfo<EndCase>& info) {
                           return std::string(info.param.name);
                         });

// ---- the dialog ----

// Stands in for the GUI's dialog: shows what it was given on stderr, after the report.
void show_on_stderr(const char* caption, const char* text) {
  std::string shown = std::string("[") + caption + "] " + text + "|\n";
  platform::write_stderr(shown.data(), shown.size());
}

[[noreturn]] void fail_with_dialogs(const char* no_dialogs) {
  platform::set_env("XOL_NO_DIALOGS", no_dialogs);
  set_message_box(show_on_stderr);
  runtime_error(RUNTIME_NO_CATCH, 0x10);
}

TEST(ProcessDialogDeathTest, ShowsTheReportOnlyWhenDialogsAreAllowed) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(fail_with_dialogs(nullptr), testing::ExitedWithCode(95),
              RUNTIME_REPORT("95", "no CATCH for THROW") "00000010h\n"
              "\\[Xol App Error\\] \\*\\*\\* Runtime Error 95: no CATCH for THROW\n"
              "\\*\\*\\* at: 00000010h\\|\n$");
  EXPECT_EXIT(fail_with_dialogs("1"), testing::ExitedWithCode(95),
              RUNTIME_REPORT("95", "no CATCH for THROW") "00000010h\n$");
}

// The runtime thread sees the arguments as kept by the process start, and runs on the stack
// recorded in the runtime state, which is as large as reserved.
void check_process_state() {
  volatile char local = 0;
  auto here = reinterpret_cast<uintptr_t>(&local);
  bool arguments_kept = state.argc == 2 && strcmp(state.argv[0], "xol") == 0 &&
                        strcmp(state.argv[1], "b c") == 0 && state.argv[2] == nullptr;
  bool on_reserved_stack = here >= state.stack_low && here < state.stack_high &&
                           state.stack_high - state.stack_low >= kRuntimeStackSize;
  if (!arguments_kept) runtime_error(RUNTIME_ASSERTION, 1);
  if (!on_reserved_stack) runtime_error(RUNTIME_ASSERTION, 2);
}

TEST(ProcessStartDeathTest, KeepsTheArgumentsAndRunsOnTheReservedStack) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  char program[] = "xol", argument[] = "b c";
  char* argv[] = {program, argument, nullptr};
  EXPECT_EXIT(
      {
        init_process(2, argv);
        run_runtime_thread(check_process_state);
      },
      testing::ExitedWithCode(0), "^$");
}

TEST(ProcessStartDeathTest, TheWholeRunInitialisesTheRuntimeAndEndsSilently) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  char program[] = "xol";
  char* argv[] = {program, nullptr};
  EXPECT_EXIT(runtime::run_process(1, argv), testing::ExitedWithCode(0), "^$");
}

}  // namespace
}  // namespace xol::rt
