// The parse engine seen from outside the language: a pending halt stops a `while` that would
// loop for ever, and leaves the engine's stacks ready for the next parse.
#include <string>

#include "runtime/process/process.h"
#include "tests/unit/eval_fixture.h"

namespace xol::testing {
namespace {

class ParseTest : public EvalTest {};

TEST_F(ParseTest, HaltStopsAWhileThatDoesNotMove) {
  rt::pending_requests = rt::kHaltRequest;
  EXPECT_EQ(eval("parse \"a\" [while [none] \"a\"]"),
            "error thrown " + std::to_string(rt::THROWN_NORMAL_END));
  EXPECT_EQ(rt::pending_requests.load(), 0);
  // The parse left no records on its stacks: nesting as deep as the stacks allow still works.
  EXPECT_EQ(eval("b: [] loop 4999 [b: reduce [b]] parse [] b"), "true");
  EXPECT_EQ(eval("parse \"a\" [while [\"b\"] \"a\"]"), "true");
}

TEST_F(ParseTest, ErrorsCutTheStacksBack) {
  // Each error leaves its frames behind unless the stacks are cut back to the parse's own
  // section: after this many failed nested parses a full-depth rule would hit the limit.
  EXPECT_EQ(eval("loop 100 [try [parse \"a\" [[[[keep skip]]]]]] "
                 "b: [] loop 4999 [b: reduce [b]] parse [] b"),
            "true");
  EXPECT_EQ(error_of("b: [] loop 5000 [b: reduce [b]] parse [] b"), "script parse-stack");
}

}  // namespace
}  // namespace xol::testing
