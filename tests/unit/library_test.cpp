// The standard library as start-up builds it: what only system-level tests can see.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "runtime/datatypes/function.h"
#include "tests/unit/eval_fixture.h"

namespace xol::testing {
namespace {

using Library = EvalTest;

struct ExitCase {
  const char* status;
  int exit_code;
};

// quit-return ends the process with the status's low eight bits, the output written first.
TEST_F(Library, QuitReturnExitsWithTheLowEightBitsOfItsStatusAfterTheOutput) {
  const ExitCase cases[] = {{"3", 3}, {"300", 44}, {"256", 0}, {"-2", 254}, {"0", 0}};
  for (const ExitCase& c : cases) {
    char path[] = "/tmp/xol-quit-XXXXXX";
    const int file = ::mkstemp(path);
    ASSERT_GE(file, 0);
    EXPECT_EXIT(
        {
          ::dup2(file, STDOUT_FILENO);
          run(std::string("prin \"bye\" quit-return ") + c.status);
          _exit(99);
        },
        ::testing::ExitedWithCode(c.exit_code), "")
        << c.status;
    std::ifstream written(path);
    std::stringstream text;
    text << written.rdbuf();
    EXPECT_EQ(text.str(), "bye") << c.status;
    ::close(file);
    std::remove(path);
  }
}

// Functions made while the library is built carry the no-trace flag; a script's own do not.
TEST_F(Library, LibraryFunctionsAreFlaggedNoTraceAndScriptFunctionsAreNot) {
  const Cell library = run(":probe");
  ASSERT_TRUE(library.is(TYPE_FUNCTION));
  EXPECT_TRUE(library.header & function::kNoTraceFlag);
  const Cell hook = run(":system/state/callbacks/on-change*");
  ASSERT_TRUE(hook.is(TYPE_FUNCTION));
  EXPECT_TRUE(hook.header & function::kNoTraceFlag);
  const Cell own = run("func [x] [x]");
  EXPECT_FALSE(own.header & function::kNoTraceFlag);
}

}  // namespace
}  // namespace xol::testing
