// Running script files: what `xol FILE` prints and exits with.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "runtime/runtime.h"

namespace xol {
namespace {

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
    {"MissingHeader", "print 1", 254, "^\\*\\*\\* Error: Xol header not found!\n$"},
    {"SystemDialectRefused", "Xol/System [] 1", 254,
     "^\\*\\*\\* Error: contains Xol/System code which requires compilation!\n$"},
    {"SyntaxErrorInTheCode", "Xol [] print [1", 254, "\\*\\*\\* Syntax Error: "},
    {"MissingFile", nullptr, 254, "\\*\\*\\* Access Error: cannot open: "},
    // The command line's script is searched plainly: a header in a comment counts.
    {"HeaderFoundByAPlainSearch", "; Xol [] print 1\nprint 2", 0, "^1\n2\n$"},
    {"UncaughtErrorOnALineOfItsOwn", "Xol [] prin 1 foo", 254,
     "^1\n\\*\\*\\* Script Error: foo has no value\n"},
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
