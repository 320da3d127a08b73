// The call trace of an error: a raise records the frame position, `error::capture_stack` turns it
// into the names of the calls, and with system/state/stack-trace above 0 the trace is taken at
// the raise and printed after "*** Stack: ".
#include "tests/unit/eval_fixture.h"

#include "runtime/eval/error_stack.h"

namespace xol::testing {
namespace {

class ErrorTraceTest : public EvalTest {
 protected:
  void SetUp() override {
    EvalTest::SetUp();
    run("f: func [][1 / 0] g: func [][f] h: func [][g]");
  }
  // The error that `h` raises, caught by try.
  static Cell failure() { return run("try [h]"); }
  static void set_level(int32_t level) {
    run("system: make object! [state: make object! [stack-trace: " + std::to_string(level) +
        " source-files: [%a.xol]]]");
  }
};

TEST_F(ErrorTraceTest, WithoutATraceLevelTheRaiseKeepsOnlyThePosition) {
  set_level(0);
  EXPECT_EQ(error::trace_level(), 0);
  Cell error = failure();
  EXPECT_TRUE(error::field(&error, error::FIELD_STACK)->is(TYPE_INTEGER));
  EXPECT_EQ(formed(error).find("*** Stack:"), std::string::npos);
  // Captured later, the trace names the function calls below the recorded position.
  error::capture_stack(&error);
  EXPECT_EQ(molded(*error::field(&error, error::FIELD_STACK)), "[h g f]");
  // A block is never captured again.
  error::capture_stack(&error);
  EXPECT_EQ(molded(*error::field(&error, error::FIELD_STACK)), "[h g f]");
}

TEST_F(ErrorTraceTest, ATraceLevelTakesTheTraceAtTheRaiseAndPrintsIt) {
  set_level(1);
  EXPECT_EQ(error::trace_level(), 1);
  Cell error = failure();
  EXPECT_EQ(molded(*error::field(&error, error::FIELD_STACK)), "[h g f]");
  EXPECT_EQ(molded(*error::field(&error, error::FIELD_FILES)), "[%a.xol]");
  // The calls made since the raise do not change what the error names.
  run("h: func [][42] g: none h");
  const std::string text = formed(error);
  EXPECT_NE(text.find("\n*** Stack: h g f"), std::string::npos) << text;
}

TEST_F(ErrorTraceTest, ALevelAboveOneNamesEveryCall) {
  set_level(2);
  Cell error = failure();
  const std::string names = molded(*error::field(&error, error::FIELD_STACK));
  EXPECT_NE(names.find("try"), std::string::npos) << names;
  EXPECT_NE(names.find("h g f"), std::string::npos) << names;
}

}  // namespace
}  // namespace xol::testing
