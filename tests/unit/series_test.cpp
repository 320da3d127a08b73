// The shared series actions on blocks: navigation, pick and poke, remove, take, reverse, move,
// copy/part and clear, through the action rows as the evaluator calls them.
#include <functional>

#include "runtime/datatypes/pair.h"
#include "value_builders.h"

namespace xol::testing {
namespace {

class SeriesActions : public SeriesTest {
 protected:
  static Cell head_of(Cell s) {
    s.data1 = 0;
    return s;
  }
};

struct Case {
  const char* name;
  std::function<Cell()> run;
  const char* expected;   // the mold of the result
};

TEST_F(SeriesActions, NavigationClampsAndAnswersIndexes) {
  auto nav = [](Action action, Cell s, Cell arg) {
    Cell result;
    if (action == ACT_AT) actions::get<ACT_AT>(s.type())(&s, &arg, &result);
    if (action == ACT_SKIP) actions::get<ACT_SKIP>(s.type())(&s, &arg, &result);
    if (action == ACT_BACK) actions::get<ACT_BACK>(s.type())(&s, &result);
    if (action == ACT_NEXT) actions::get<ACT_NEXT>(s.type())(&s, &result);
    return index_of(result);
  };
  struct Nav {
    Action action;
    int32_t start;
    int32_t argument;
    int32_t index;
  } const cases[] = {
      {ACT_AT, 1, 0, 1},   {ACT_AT, 1, 1, 1},   {ACT_AT, 2, -1, 1}, {ACT_AT, 2, 0, 2},
      {ACT_AT, 1, -1, 1},  {ACT_AT, 1, 2, 2},   {ACT_SKIP, 1, 100, 4}, {ACT_SKIP, 3, -5, 1},
      {ACT_BACK, 1, 0, 1}, {ACT_BACK, 3, 0, 2}, {ACT_NEXT, 4, 0, 4}, {ACT_NEXT, 1, 0, 2},
  };
  for (const Nav& c : cases)
    EXPECT_EQ(nav(c.action, at_index("a b c", c.start), num(c.argument)), c.index)
        << actions::action_word(c.action) << " from " << c.start << " by " << c.argument;
  Cell s = load("a b c");
  Cell word_index = word("x");
  Cell result;
  EXPECT_EQ(raised([&] { actions::get<ACT_AT>(TYPE_BLOCK)(&s, &word_index, &result); }),
            "script/invalid-arg");
}

TEST_F(SeriesActions, PickAndPokeCountFromTheBufferStart) {
  Cell s = at_index("1 2 3", 2);
  Cell result;
  actions::get<ACT_PICK>(TYPE_BLOCK)(&s, 0, nullptr, &result);
  EXPECT_TRUE(result.is(TYPE_NONE));
  actions::get<ACT_PICK>(TYPE_BLOCK)(&s, -1, nullptr, &result);
  EXPECT_EQ(molded(result), "1");
  actions::get<ACT_PICK>(TYPE_BLOCK)(&s, 2, nullptr, &result);
  EXPECT_EQ(molded(result), "3");
  actions::get<ACT_PICK>(TYPE_BLOCK)(&s, 3, nullptr, &result);
  EXPECT_TRUE(result.is(TYPE_NONE));
  Cell nine = num(9);
  actions::get<ACT_POKE>(TYPE_BLOCK)(&s, 1, nullptr, &nine, &result);
  EXPECT_EQ(molded(head_of(s)), "[1 9 3]");
  EXPECT_EQ(raised([&] { actions::get<ACT_POKE>(TYPE_BLOCK)(&s, 0, nullptr, &nine, &result); }),
            "script/out-of-range");
  EXPECT_EQ(raised([&] { actions::get<ACT_POKE>(TYPE_BLOCK)(&s, 3, nullptr, &nine, &result); }),
            "script/out-of-range");
}

TEST_F(SeriesActions, LengthOfAHeadLeftPastTheTailIsZero) {
  Cell b = load("1 2 3");
  Cell c = b;
  c.data1 = 2;
  Cell result;
  actions::get<ACT_CLEAR>(TYPE_BLOCK)(&b, &result);
  EXPECT_EQ(actions::get<ACT_LENGTH_Q>(TYPE_BLOCK)(&c), 0);
  EXPECT_EQ(series::get_length(&c, false), 0);
  EXPECT_EQ(c.head_index(), 0u);
}

TEST_F(SeriesActions, ModifyingActions) {
  auto remove = [](Cell s, const Cell* part, const Cell* key) {
    Cell result;
    actions::get<ACT_REMOVE>(s.type())(&s, part, key, &result);
    return head_of(result);
  };
  auto reverse = [](Cell s, const Cell* part, const Cell* size) {
    Cell result;
    actions::get<ACT_REVERSE>(s.type())(&s, part, size, &result);
    return head_of(result);
  };
  auto take = [](Cell s, const Cell* part, bool last) {
    Cell result;
    actions::get<ACT_TAKE>(s.type())(&s, part, false, last, &result);
    return result;
  };
  Cell two = num(2), zero = num(0), minus3 = num(-3), b = word("b");
  const Case cases[] = {
      {"remove", [&] { return remove(load("1 2 3"), nullptr, nullptr); }, "[2 3]"},
      {"remove/part 2", [&] { return remove(load("1 2 3"), &two, nullptr); }, "[3]"},
      {"remove/part 0", [&] { return remove(load("1 2 3"), &zero, nullptr); }, "[1 2 3]"},
      {"remove/part -3", [&] { return remove(load("1 2 3"), &minus3, nullptr); }, "[1 2 3]"},
      {"remove at tail", [&] { return remove(at_index("1 2", 3), nullptr, nullptr); }, "[1 2]"},
      {"remove/key", [&] { return remove(load("a 1 b 2"), nullptr, &b); }, "[a 1]"},
      {"reverse", [&] { return reverse(load("1 2 3"), nullptr, nullptr); }, "[3 2 1]"},
      {"reverse/part", [&] { return reverse(load("1 2 3"), &two, nullptr); }, "[2 1 3]"},
      {"reverse/skip", [&] { return reverse(load("1 2 3 4"), nullptr, &two); }, "[3 4 1 2]"},
      {"take", [&] { return take(load("1 2"), nullptr, false); }, "1"},
      {"take/last", [&] { return take(load("1 2"), nullptr, true); }, "2"},
      {"take empty", [&] { return take(load(""), nullptr, false); }, "none"},
      {"take/part", [&] { return take(load("1 2 3"), &two, false); }, "[1 2]"},
      {"take/part/last", [&] { return take(load("1 2 3"), &two, true); }, "[2 3]"},
      {"take/part 0 takes before the head", [&] { return take(at_index("1 2 3", 2), &zero, false); },
       "[1]"},
  };
  for (const Case& c : cases) EXPECT_EQ(molded(c.run()), c.expected) << c.name;
  Cell odd = load("1 2 3 4 5");
  EXPECT_EQ(raised([&] { reverse(odd, nullptr, &two); }), "script/invalid-refine-arg");
  EXPECT_EQ(raised([&] { reverse(odd, nullptr, &zero); }), "script/out-of-range");
}

TEST_F(SeriesActions, TakeFromTheHeadLeavesTheRest) {
  Cell s = at_index("1 2 3", 2);
  Cell zero = num(0), result;
  actions::get<ACT_TAKE>(TYPE_BLOCK)(&s, &zero, false, false, &result);
  EXPECT_EQ(molded(head_of(s)), "[2 3]");
}

TEST_F(SeriesActions, CopyPartTakesCountsSeriesAndPairs) {
  auto copy = [](Cell s, const Cell* part) {
    Cell result;
    actions::get<ACT_COPY>(s.type())(&s, part, false, nullptr, &result);
    return result;
  };
  Cell two = num(2), minus1 = num(-1), pair = pair::make(2, 4);
  Cell base = load("1 2 3 4");
  Cell end = base;
  end.data1 = 3;
  const Case cases[] = {
      {"copy", [&] { return copy(load("1 2 3"), nullptr); }, "[1 2 3]"},
      {"copy/part 2", [&] { return copy(load("1 2 3"), &two); }, "[1 2]"},
      {"copy/part -1", [&] { return copy(at_index("1 2 3", 3), &minus1); }, "[2]"},
      {"copy/part 2x4", [&] { return copy(load("1 2 3 4 5"), &pair); }, "[2 3]"},
      {"copy/part series", [&] { return copy(base, &end); }, "[1 2 3]"},
      {"copy past the tail", [&] { return copy(at_index("1", 5), nullptr); }, "[]"},
  };
  for (const Case& c : cases) EXPECT_EQ(molded(c.run()), c.expected) << c.name;
  Cell other = load("1 2");
  EXPECT_EQ(raised([&] { copy(base, &other); }), "script/invalid-refine-arg");
}

TEST_F(SeriesActions, MoveWithinAndBetweenBlocks) {
  Cell s = load("a b c d");
  Cell target = s;
  target.data1 = 4;
  Cell result;
  actions::get<ACT_MOVE>(TYPE_BLOCK)(&s, &target, nullptr, &result);
  EXPECT_EQ(molded(head_of(s)), "[b c d a]");
  Cell two = num(2);
  Cell moved_to = s;
  moved_to.data1 = 1;
  actions::get<ACT_MOVE>(TYPE_BLOCK)(&moved_to, &s, &two, &result);
  EXPECT_EQ(molded(head_of(s)), "[c d b a]");
  Cell other = load("x");
  actions::get<ACT_MOVE>(TYPE_BLOCK)(&s, &other, &two, &result);
  EXPECT_EQ(molded(head_of(s)), "[b a]");
  EXPECT_EQ(molded(other), "[c d x]");
  Cell not_series = num(1);
  EXPECT_EQ(raised([&] { actions::get<ACT_MOVE>(TYPE_BLOCK)(&s, &not_series, nullptr, &result); }),
            "script/expect-arg");
}

TEST_F(SeriesActions, RandomShufflesEveryElementOnce) {
  Cell s = load("1 2 3 4 5 6 7 8");
  Cell result;
  actions::get<ACT_RANDOM>(TYPE_BLOCK)(&s, false, false, false, &result);
  Cell sorted;
  SortOptions options;
  actions::get<ACT_SORT>(TYPE_BLOCK)(&s, options, &sorted);
  EXPECT_EQ(molded(s), "[1 2 3 4 5 6 7 8]");
  Cell empty = load("");
  actions::get<ACT_RANDOM>(TYPE_BLOCK)(&empty, false, false, true, &result);
  EXPECT_TRUE(result.is(TYPE_NONE));
}

}  // namespace
}  // namespace xol::testing
