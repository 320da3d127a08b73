// The exception natives as a program sees them: try, catch and throw with their names, and
// break, continue, return and exit meeting try, catch and the loops.
#include "tests/unit/eval_fixture.h"

namespace xol::testing {
namespace {

class NativesExceptionsTest : public EvalTest {};

TEST_F(NativesExceptionsTest, CatchAndThrow) {
  check({
      {"catch [throw 1]", "1"},
      {"catch [1 + 1]", "2"},
      {"catch [catch/name [throw 1] 'a]", "1"},
      {"catch/name [throw/name 1 'a] [b a]", "1"},
      {"catch/name [throw/name 1 'A] 'a", "1"},                 // names match caselessly
      {"catch [catch/name [throw/name 1 'b] 'a 2]", "1"},       // not matched: goes outwards
      {"catch/name [throw/name 1 'b] [a 2]", "error script invalid-refine-arg /name [a 2]"},
      {"catch [f: does [throw 5] f 6]", "5"},
      {"throw 1", "error throw throw 1"},
      {"catch/name [throw/name 1 'x] 'y", "error throw throw 1"},
      {"f: does [catch [return 1] 2] f", "1"},
      {"n: 0 loop 3 [n: n + 1 catch [break]] n", "1"},
  });
}

TEST_F(NativesExceptionsTest, Try) {
  check({
      {"type? try [1 / 0]", "error!"},
      {"try [1 + 1]", "2"},
      {"n: 0 loop 3 [n: n + 1 try [break]] n", "1"},
      {"e: try/all [break] reduce [e/type e/id]", "[throw break]"},
      {"e: loop 3 [try/all [continue]] e/id", "continue"},
      {"n: 0 loop 2 [try/all [if true [break]] n: n + 1] n", "2"},
      {"f: does [try [return 1] 2] f", "1"},
      {"f: does [try/all [return 1] 2] f", "2"},
      {"catch [try [throw 3]]", "3"},
      {"type? catch [try/all [throw 1]]", "error!"},
      {"e: try [make error! \"x\"] e/id", "message"},
      {"f: does [1 / 0] e: try/keep [f] find e/stack 'f", "[f]"},
      {"system/state/stack-trace: 0 e: try [f: does [1 / 0] f] type? e/stack", "integer!"},
  });
}

TEST_F(NativesExceptionsTest, NonLocalExits) {
  check({
      {"break", "error throw break"},
      {"continue", "error throw continue"},
      {"return 1", "error throw return"},
      {"exit", "error throw return"},
      {"f: does [loop 3 [exit] 5] type? f", "unset!"},
      {"f: does [foreach x [1 2 3] [if x = 2 [return x * 10]] 0] f", "20"},
      {"f: func [n][either n = 0 [return 0][1 + f n - 1]] f 50", "50"},
      {"g: does [break] n: 0 loop 3 [n: n + 1 g] n", "1"},
  });
}

}  // namespace
}  // namespace xol::testing
