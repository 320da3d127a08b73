// Running script files: where the header is found, and what `xol FILE` prints and exits with.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

#include "runtime/runtime.h"
#include "runtime/script.h"

namespace xol {
namespace {

constexpr size_t kNone = std::string_view::npos;

struct HeaderCase {
  const char* name;
  std::string_view text;
  size_t offset;
};

const HeaderCase kHeaderCases[] = {
    {"AtTheStart", "Xol [] 1", 0},
    {"WithoutSpace", "Xol[] 1", 0},
    {"AfterAShebangLine", "#!/usr/bin/xol\nXol []", 15},
    {"AfterText", "licence text\nXol [Title: 1]", 13},
    {"SpacesTabsAndLineEndsBeforeTheBlock", "Xol \t\r\n [", 0},
    {"SystemDialect", "Xol/System [", 0},
    {"FirstMentionWithoutBlockSkipped", "see Xol docs\nXol []", 13},
    {"OtherLetterCaseIgnored", "xol [] XOL []", kNone},
    {"LongerWordIgnored", "Xolx []", kNone},
    {"NoBlock", "Xol", kNone},
    {"Empty", "", kNone},
};

class ScriptHeader : public testing::TestWithParam<HeaderCase> {};

TEST_P(ScriptHeader, IsFoundAtTheFirstXolBeforeABlock) {
  EXPECT_EQ(script::find_header(GetParam().text), GetParam().offset);
}

INSTANTIATE_TEST_SUITE_P(Texts, ScriptHeader, testing::ValuesIn(kHeaderCases),
                         [](const testing::TestParamInfo<HeaderCase>& info) {
                           return std::string(info.param.name);
                         });

// ---- the process ----

struct RunCase {
  const char* name;
  const char* source;   // null: the file does not exist
  int exit_code;
  const char* output;   // a regular expression over what the run prints
};

const RunCase kRunCases[] = {
    {"PrintsAndExitsWithZero", "Xol [] print 1 + 2", 0, "^3\n$"},
    {"SkipsTextBeforeTheHeader", "#!/usr/bin/env xol\nnotes\nXol [Title: \"t\"] prin 7", 0,
     "^7$"},
    {"UncaughtErrorPrintsItsFormAndExits254", "Xol [] print 1 foo print 2", 254,
     "^1\n\\*\\*\\* Script Error: foo has no value\n"},
    {"UncaughtThrowIsAnError", "Xol [] throw 5", 254,
     "\\*\\*\\* Throw Error: no catch for throw: 5\n"},
    {"MissingHeader", "print 1", 254, "\\*\\*\\* Syntax Error: script is missing a Xol header"},
    {"SystemDialectRefused", "Xol/System [] 1", 254,
     "\\*\\*\\* Internal Error: contains Xol/System code which requires compilation"},
    {"SyntaxErrorInTheCode", "Xol [] print [1", 254, "\\*\\*\\* Syntax Error: "},
    {"MissingFile", nullptr, 254, "\\*\\*\\* Access Error: cannot open: "},
};

class ScriptRunDeathTest : public testing::TestWithParam<RunCase> {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_P(ScriptRunDeathTest, PrintsAndExitsAsXolFileDoes) {
  const RunCase& c = GetParam();
  std::string path = testing::TempDir() + "script_test_" + c.name + ".xol";
  if (c.source) std::ofstream(path) << c.source;
  else ::unlink(path.c_str());
  char program[] = "xol";
  char* argv[] = {program, path.data(), nullptr};
  // The run writes to stdout; the death test reads stderr, so the child sends one to the other
  // (after flushing what the test framework left in the stdio buffer).
  EXPECT_EXIT(
      {
        std::fflush(stdout);
        ::dup2(2, 1);
        runtime::run_process(2, argv);
      },
      testing::ExitedWithCode(c.exit_code), c.output);
}

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptRunDeathTest, testing::ValuesIn(kRunCases),
                         [](const testing::TestParamInfo<RunCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(ScriptRunDeathTest, WithoutAFileStartsAndExitsWithZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  char program[] = "xol";
  char* argv[] = {program, nullptr};
  EXPECT_EXIT(runtime::run_process(1, argv), testing::ExitedWithCode(0), "^$");
}

}  // namespace
}  // namespace xol
