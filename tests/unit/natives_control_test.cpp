// The control natives as a program sees them: conditionals, loops with break and continue,
// do with its refinements, reduce and compose.
#include "tests/unit/eval_fixture.h"

namespace xol::testing {
namespace {

class NativesControlTest : public EvalTest {};

TEST_F(NativesControlTest, Conditionals) {
  check({
      {"if () [1]", "1"},                          // unset is truthy for if
      {"if none [1]", "none"},
      {"either () [1] [2]", "error script no-return"},
      {"any [none false 3 4]", "3"},
      {"any [()]", "unset"},
      {"all []", "none"},
      {"all [1 none 2]", "none"},
  });
}

TEST_F(NativesControlTest, Switch) {
  check({
      {"switch 2 [1 [10] 2 [20]]", "20"},
      {"switch 1.0 [1 [10] 1.0 [11]]", "11"},        // the same datatype only
      {"switch 1 [1 2 [12] 3 [13]]", "12"},          // several values share a block
      {"switch 9 [1 [10]]", "none"},
      {"switch/default 9 [1 [10]] [99]", "99"},
      {"switch 1 [0 [0] 1]", "none"},               // a match with no block after it
      {"switch/default 1 [0 [0] 1] [99]", "none"},
      {"switch [1] [[1] [10]]", "none"},             // a block value never matches
  });
}

TEST_F(NativesControlTest, Case) {
  check({
      {"case [false [1] true [2]]", "2"},
      {"case [false [1] true 2 + 3]", "5"},          // a non-block branch is an expression
      {"case [false [1]]", "none"},
      {"case []", "none"},
      {"case [true]", "error script need-value case"},
      {"case [() [1]]", "error script no-return"},
      {"case/all [true [1] false [2]]", "none"},
      {"case/all [false [1] true [2]]", "2"},
      {"n: 0 case/all [true [n: n + 1] true [n: n + 10]] n", "11"},
  });
}

TEST_F(NativesControlTest, CountedLoops) {
  check({
      {"n: 0 loop 2.9 [n: n + 1] n", "2"},
      {"loop 0 [1]", "none"},
      {"loop -1 [1]", "none"},
      {"loop 3 [break/return 7]", "7"},
      {"n: 0 loop 5 [n: n + 1 if n = 2 [break]] n", "2"},
      {"n: 0 loop 3 [continue n: n + 1] n", "0"},
      {"i: 5 reduce [repeat i 0 [1] i]", "[none 5]"},
      {"n: 0 repeat i 4 [n: n + i] reduce [n i]", "[10 4]"},
      {"n: 0 repeat i 3 [i: 10 n: n + 1] n", "3"},   // assigning the word changes nothing
      {"repeat i 3 [if i = 2 [break/return i * 10]]", "20"},
      {"n: 0 forever [n: n + 1 if n = 4 [break]] n", "4"},
      {"forever [break/return 5]", "5"},
  });
}

TEST_F(NativesControlTest, WhileAndUntil) {
  check({
      {"while [break] [1]", "error throw while-cond"},
      {"type? while [true] [break/return 1]", "unset!"},
      {"until [break/return 7]", "7"},
      {"type? until [break]", "unset!"},
      {"n: 0 until [n: n + 1 if n < 3 [continue] true] n", "3"},
      {"until [()]", "error script no-return"},
  });
}

TEST_F(NativesControlTest, Foreach) {
  check({
      {"r: copy [] foreach x [1 2 3] [append r x * 2] r", "[2 4 6]"},
      {"r: copy [] foreach [a b] [1 2 3] [append/only r reduce [a b]] r",
       "[[1 2] [3 none]]"},
      {"foreach x [] [1]", "unset"},
      {"foreach x [1 2 3] [x]", "3"},
      {"r: copy [] foreach c \"ab\" [append r c] r", "[#\"a\" #\"b\"]"},
      {"foreach x make map! [a 1] [x]", "error script invalid-arg x"},
      {"r: copy [] foreach [k v] make map! [a 1 b 2] [append r reduce [k v]] r",
       "[a 1 b 2]"},
      {"foreach [k v w] make map! [a 1] [k]", "error script invalid-arg [k v w]"},
      {"foreach [] [1 2] [1]", "error script invalid-arg []"},
      {"foreach [a 1] [1 2] [1]", "error script invalid-arg 1"},
      {"n: 0 foreach x [1 2 3 4] [if x = 3 [break] n: n + x] n", "3"},
      {"n: 0 foreach x [1 2 3 4] [if x = 3 [continue] n: n + x] n", "7"},
      {"b: [1 2 3] foreach x next b [x] b", "[1 2 3]"},
  });
}

TEST_F(NativesControlTest, Forall) {
  check({
      {"s: [1 2 3] forall s [if s/1 = 2 [break]] s", "[2 3]"},
      {"s: [1 2 3] forall s [] s", "[1 2 3]"},
      {"s: [1 2] forall s [s: [3 4]]", "error script bad-loop-series [3 4]"},
      {"s: 5 forall s []", "error script expect-arg forall integer! word"},
      {"r: copy [] s: [1 2 3] forall s [append r length? s] r", "[3 2 1]"},
  });
}

TEST_F(NativesControlTest, RemoveEach) {
  check({
      {"remove-each x [1 2 3] [continue]", "[1 2 3]"},
      {"remove-each x [1 2 3 4] [x > 2]", "[1 2]"},
      {"remove-each [a b] [1 2 3 4] [a = 3]", "[1 2]"},
      {"b: [1 2 3 4] remove-each x next b [x = 3] b", "[1 2 4]"},
      {"remove-each c \"abca\" [c = #\"a\"]", "\"bc\""},
      {"remove-each x [1 2 3] [if x = 2 [break] true]", "[2 3]"},
  });
}

TEST_F(NativesControlTest, Do) {
  check({
      {"do [1 + 2]", "3"},
      {"do \"1 + 2\"", "3"},
      {"do 5", "5"},
      {"f: does [7] do 'f", "7"},
      {"reduce [do/next [1 + 2 10] 'p p]", "[3 [10]]"},
      {"do/next [] 'p type? :p", "block!"},
      {"do make error! \"boom\"", "error user message \"boom\""},
      {"loop 3 [do [break/return 4]]", "4"},
  });
}

TEST_F(NativesControlTest, ReduceAndCompose) {
  check({
      {"reduce [1 + 1 2 * 3]", "[2 6]"},
      {"reduce 1 + 1", "2"},
      {"x: 3 reduce 'x", "3"},
      {"b: [x] reduce/into [1 + 1] tail b b", "[x 2]"},
      {"b: [x] reduce [reduce/into [1 + 1] b b]", "[[x] [2 x]]"},
      {"compose [(none) ()]", "[none]"},
      {"compose [(1 + 1) ([a b]) ([])]", "[2 a b]"},
      {"compose/only [([a b])]", "[[a b]]"},
      {"compose [[(1 + 1)] (2)]", "[[(1 + 1)] 2]"},
      {"compose/deep [[(1 + 1)] (2)]", "[[2] 2]"},
      {"compose/deep/only [[([a])]]", "[[[a]]]"},
      {"b: [x] compose/into [(1) 2] b b", "[1 2 x]"},
      {"b: [x] compose/into [(1) 2] tail b b", "[x 1 2]"},
  });
}

}  // namespace
}  // namespace xol::testing
