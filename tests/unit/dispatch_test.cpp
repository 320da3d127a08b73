// The action dispatchers: refinement preparation and the errors of types without an action.
#include "tests/unit/eval_fixture.h"

namespace xol::testing {
namespace {

class DispatchTest : public EvalTest {};

TEST_F(DispatchTest, RefinementPreparation) {
  const struct {
    const char* source;
    const char* expected;
  } cases[] = {
      {"append/part [x] [1 2] 0", "[x]"},
      {"append/part [] at [1 2 3 4] 3 -2", "[1 2]"},
      {"append/part [] [1 2 3] -2", "[]"},
      {"b: [1 2 3 4] append/part [] b at b 3", "[1 2]"},
      {"append/part/dup [] [a b c] 2 3", "[a b a b a b]"},
      {"append/dup/part [] [a b c] 3 2", "[a b a b a b]"},
      {"form/part [1 2 3] 0", "\"\""},
      {"mold/part [1 2 3] 4", "\"[1 2\""},
      {"pick [a b] true", "a"},
      {"pick [a b] false", "b"},
  };
  for (const auto& c : cases) EXPECT_EQ(eval(c.source), c.expected) << c.source;
}

TEST_F(DispatchTest, Errors) {
  EXPECT_EQ(error_of("append/part [] 5 2"), "script invalid-part 2");
  EXPECT_EQ(error_of("b: [1 2] append/part [] b at [9] 1"), "script invalid-refine-arg part [9]");
  EXPECT_EQ(error_of("append 1 2"), "script expect-arg append integer! series");
}

}  // namespace
}  // namespace xol::testing
