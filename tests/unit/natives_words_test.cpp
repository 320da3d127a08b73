// The word, context and function natives as a program sees them: function makers with their
// locals, get and set on words, blocks, objects and paths, binding, types, and apply.
#include "tests/unit/eval_fixture.h"

namespace xol::testing {
namespace {

class NativesWordsTest : public EvalTest {};

TEST_F(NativesWordsTest, FunctionMakers) {
  check({
      {"y: 0 f: function [][y: 1] f y", "0"},                      // set-words become local
      {"y: 0 f: function [/extern y][y: 1] f y", "1"},
      {"f: function [a][b: a * 2 b] f 4", "8"},
      {"f: has [x][x: 5] f", "5"},
      {"x: 1 f: has [x][x: 5] f x", "1"},
      {"f: does [1 + 1] f", "2"},
      {"f: func [a /r b][either r [a + b][a]] reduce [f 1 f/r 1 2]", "[1 3]"},
  });
}

TEST_F(NativesWordsTest, GetAndSet) {
  check({
      {"set [a b] [1] b", "none"},
      {"b: 9 set/some [a b] reduce [1 none] b", "9"},
      {"set [a b] 5 reduce [a b]", "[5 5]"},
      {"set/only [a b] [1 2] b", "[1 2]"},
      {"set [a b] reduce [1 ()]", "error script need-value b"},
      {"set/any [a b] reduce [1 ()] type? get/any 'b", "unset!"},
      {"set [a 1] [1 2]", "error script invalid-arg 1"},
      {"set 'a ()", "error script need-value a"},
      {"set 'a 4 a", "4"},
      {"type? get/any 'no-such-word", "unset!"},
      {"get 'no-such-word", "error script no-value no-such-word"},
      {"o: make object! [a: 1 b: 2] get o", "[1 2]"},
      {"o: make object! [a: 1 b: 2] set o [5 6] o/b", "6"},
      {"o: make object! [a: [1 2]] get 'o/a/2", "2"},
      {"o: make object! [a: 1] set 'o/a 3 o/a", "3"},
      {"b: [1 2] set 'b/2 7 b", "[1 7]"},
  });
}

TEST_F(NativesWordsTest, UnsetAndValueQ) {
  check({
      {"a: 1 unset 'a value? 'a", "false"},
      {"a: 1 b: 2 unset [a b] reduce [value? 'a value? 'b]", "[false false]"},
      {"a: 1 value? 'a", "true"},
      {"value? 'never-set-anywhere", "false"},
  });
}

TEST_F(NativesWordsTest, Binding) {
  check({
      {"x: 0 b: [x] o: make object! [x: 1] c: bind/copy b o reduce [do b do c]", "[0 1]"},
      {"x: 0 b: [x] o: make object! [x: 1] bind b o do b", "1"},
      {"o: make object! [x: 1] w: bind 'x o get w", "1"},
      {"o: make object! [x: 1] p: make object! [x: 2] w: bind 'x o get bind w 'p/x",
       "error script expect-arg bind path! context"},
      {"o: make object! [x: 1] p: make object! [x: 2] w: in p 'x get bind 'x w", "2"},
      {"o: make object! [a: 1] reduce [in o 'zz in o /a]", "[none a]"},
      {"o: make object! [a: 1] get in o 'a", "1"},
      {"o: make object! [a: 1] same? o context? in o 'a", "true"},
      {"f: func [a][context? 'a] type? f 1", "function!"},
      {"same? system/words context? 'zz-unbound-here", "true"},
  });
}

TEST_F(NativesWordsTest, ObjectsMapsAndTypes) {
  check({
      {"o: construct [a: 1 b: true c: none] reduce [o/a o/b o/c]", "[1 true none]"},
      {"o: construct/only [b: true] type? o/b", "word!"},
      {"m: make map! [] extend m [a 1] m/a", "1"},
      {"extend make object! [] [a 1]", "error internal not-done"},
      {"type? 1", "integer!"},
      {"type?/word 1", "integer!"},
      {"type? type?/word 1", "word!"},
      {"f: %abc s: as string! f append s \"d\" f", "%abcd"},
      {"as block! \"x\"", "error script not-same-class string! block!"},
      {"as paren! [a b]", "(a b)"},
      {"p: first [(a)] as [] p", "[a]"},
  });
}

TEST_F(NativesWordsTest, Apply) {
  check({
      {"apply :add [1 2]", "3"},
      {"apply 'add [1 2]", "3"},
      {"pi: 3.14 apply 'pi []", "error script invalid-arg 3.14"},
      {"f: func [a b][reduce [a b]] apply :f [1]", "[1 none]"},
      {"f: func [a /r b][reduce [a r b]] apply :f [1 /r true 2]", "[1 true 2]"},
      {"f: func [a /r b][reduce [a r b]] apply :f [1 /r false 2]", "[1 false none]"},
      {"f: func [a /r b][reduce [a r b]] apply/all :f [1 true 2]", "[1 true 2]"},
      {"f: func [a /r b][reduce [a r b]] apply/all :f [1 false]", "[1 false none]"},
      {"f: func [a /r b][reduce [a r b]] apply/all :f [1 2]",
       "error script expect-arg <anon> integer! /r"},
      {"apply :append [[] 1 /dup true 3]", "[1 1 1]"},
      {"apply/all :append [[] 1 false false true 2]", "[1 1]"},
      {"apply/all :append [[] [a] false true false]", "[[a]]"},
      {"f: func [a][a] apply :f [1 + 2]", "3"},
      {"f: func [a b][reduce [a b]] apply/safer :f [1 + 2]",
       "error script no-op-arg +"},   // each argument exactly one value
      {"apply 'add [1 2 /zz true]", "error script no-refine add /zz"},
      {"apply :add [1 2 3]", "error script bad-refine 3"},
      {"apply :+ [1 2]", "3"},
      {"o: make object! [f: func [x][x * 2]] apply 'o/f [4]", "8"},
  });
}

}  // namespace
}  // namespace xol::testing
