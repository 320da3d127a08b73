// block! actions: insertion and change, search, sorting, set operations, copy, compare, and
// the printed forms with their new-line and indentation rules.
#include <functional>
#include <string>

#include "runtime/datatypes/evaluator_hooks.h"
#include "runtime/memory/cycles.h"
#include "value_builders.h"

namespace xol::testing {
namespace {

struct Case {
  const char* name;
  std::function<Cell()> run;
  const char* expected;   // the mold of the result
};

class BlockActions : public SeriesTest {
 protected:
  static Cell head_of(Cell s) {
    s.data1 = 0;
    return s;
  }
  static Cell insert(Cell s, Cell value, InsertOptions options = {}, bool at_tail = false) {
    Cell result;
    actions::get<ACT_INSERT>(s.type())(&s, &value, options, at_tail, &result);
    return result;
  }
  static Cell append(Cell s, Cell value, InsertOptions options = {}) {
    return insert(s, value, options, true);
  }
  static Cell change(Cell s, Cell value, InsertOptions options = {}) {
    Cell result;
    actions::get<ACT_CHANGE>(s.type())(&s, &value, options, &result);
    return result;
  }
  static Cell find(Cell s, Cell value, FindOptions options = {}) {
    Cell result;
    actions::get<ACT_FIND>(s.type())(&s, &value, options, &result);
    return result;
  }
  static Cell select(Cell s, Cell value, FindOptions options = {}) {
    Cell result;
    actions::get<ACT_SELECT>(s.type())(&s, &value, options, &result);
    return result;
  }
  static Cell sort(Cell s, SortOptions options = {}) {
    Cell result;
    actions::get<ACT_SORT>(s.type())(&s, options, &result);
    return result;
  }
  static Cell set_op(std::string_view a, std::string_view b, MathOp op, int32_t skip = 1) {
    Cell first = load(a), second = load(b), result;
    block::do_set_op(&first, &second, false, skip, op, &result);
    return result;
  }
  static InsertOptions only() { return InsertOptions{-1, true, 1}; }
};

TEST_F(BlockActions, InsertAppendAndChange) {
  const Case cases[] = {
      {"append", [] { return append(load("1"), load("2 3")); }, "[1 2 3]"},
      {"append/only", [] { return append(load("1"), load("2 3"), only()); }, "[1 [2 3]]"},
      {"append answers the head", [] { return append(at_index("1 2", 2), load("3")); }, "[1 2 3]"},
      {"append one value", [] { return append(load("1"), num(2)); }, "[1 2]"},
      {"append one value past the tail", [] { return append(at_index("1", 4), num(2)); },
       "[1 2]"},
      {"append/part 0 keeps the head",
       [] { return append(at_index("1 2", 2), num(3), InsertOptions{0, false, 1}); }, "[2]"},
      {"insert answers after the value", [] { return insert(load("1"), num(0)); }, "[1]"},
      {"head of insert", [] { return head_of(insert(load("1"), num(0))); }, "[0 1]"},
      {"append/dup", [] { return append(load(""), word("a"), InsertOptions{-1, false, 3}); },
       "[a a a]"},
      {"append/part", [] { return append(load(""), load("1 2 3"), InsertOptions{2, false, 1}); },
       "[1 2]"},
      {"append an empty block", [] { return append(load("1"), load("")); }, "[1]"},
      {"append a block to itself",
       [] {
         Cell b = load("1 2");
         return append(b, b);
       },
       "[1 2 1 2]"},
      {"insert into the middle", [] { return head_of(insert(at_index("1 4", 2), load("2 3"))); },
       "[1 2 3 4]"},
      {"change", [] { return change(load("1 2 3"), num(9)); }, "[2 3]"},
      {"head of change", [] { return head_of(change(load("1 2 3"), num(9))); }, "[9 2 3]"},
      {"change/part grows",
       [] { return head_of(change(load("1 2 3"), load("8 9"), InsertOptions{1, false, 1})); },
       "[8 9 2 3]"},
      {"change/part shrinks",
       [] { return head_of(change(load("1 2 3"), num(0), InsertOptions{3, false, 1})); }, "[0]"},
      {"change/dup", [] { return head_of(change(load("1 2 3"), num(0), InsertOptions{-1, false, 2})); },
       "[0 0 3]"},
      {"change past the tail extends", [] { return head_of(change(load("1"), load("7 8"))); },
       "[7 8]"},
  };
  for (const Case& c : cases) EXPECT_EQ(molded(c.run()), c.expected) << c.name;
  EXPECT_EQ(raised([] { append(load(""), num(1), InsertOptions{-1, false, 1 << 27}); }),
            "internal/no-memory");
}

// One value at a time goes straight to the tail; the growing block and the values appended
// survive when every allocation collects and moves buffers.
TEST_F(BlockActions, AppendingOneValueWorksWhenEveryAllocationCollectsAndMovesBuffers) {
  collector::active = true;
  collector::set_torture_period(1);
  Cell b = load("");
  std::string expected = "[";
  for (int i = 0; i < 40; ++i) {
    std::string digits = std::to_string(i);
    append(b, i % 2 ? num(i) : str(digits));
    expected += (i ? " " : "") + (i % 2 ? digits : "\"" + digits + "\"");
  }
  std::string text = molded(b);
  collector::set_torture_period(0);
  collector::active = false;
  EXPECT_EQ(text, expected + "]");
}

// A block changed or inserted into with its own cells keeps the values those cells refer to
// when the change drops them and the growth collects: here the strings are held by nothing else.
TEST_F(BlockActions, ChangingABlockWithItsOwnCellsKeepsWhatTheyReferToThroughACollection) {
  collector::active = true;
  collector::set_torture_period(1);
  Cell b = load("");
  for (std::string_view text : {"a", "b"}) append(b, str(text));
  change(b, b, InsertOptions{2, false, 3});
  Cell c = load("");
  append(c, str("c"));
  insert(c, c, InsertOptions{-1, false, 4});
  for (int i = 0; i < 20; ++i) str("filler that reuses the space of freed strings");
  std::string changed = molded(b), inserted = molded(c);
  collector::set_torture_period(0);
  collector::active = false;
  EXPECT_EQ(changed, R"(["a" "b" "a" "b" "a" "b"])");
  EXPECT_EQ(inserted, R"(["c" "c" "c" "c" "c"])");
}

TEST_F(BlockActions, FindAndSelectWithTheirRefinements) {
  Cell two = num(2);
  Cell integer_type = datatype::make(TYPE_INTEGER);
  FindOptions skip2;
  skip2.skip = &two;
  FindOptions last, tail, last_tail, reverse_tail, match, only_opt, part2, case_opt;
  last.last = true;
  tail.tail = true;
  last_tail.last = last_tail.tail = true;
  reverse_tail.reverse = reverse_tail.tail = true;
  match.match = true;
  only_opt.only = true;
  part2.part = &two;
  case_opt.case_sensitive = true;
  auto at_tail = [](std::string_view text) {
    Cell s = load(text);
    s.data1 = block::length(&s);
    return s;
  };
  const Case cases[] = {
      {"find", [&] { return find(load("a b c"), word("b")); }, "[b c]"},
      {"find a sub-sequence", [&] { return find(load("a b c"), load("b c")); }, "[b c]"},
      {"find/only a block", [&] { return find(load("a [b c]"), load("b c"), only_opt); },
       "[[b c]]"},
      {"find a datatype", [&] { return find(load("a 1"), integer_type); }, "[1]"},
      {"find/skip", [&] { return find(load("a 1 b 2"), word("b"), skip2); }, "[b 2]"},
      {"find/skip off the grid", [&] { return find(load("a 1 b 2"), num(1), skip2); }, "none"},
      {"find/last", [&] { return find(load("a b a c"), word("a"), last); }, "[a c]"},
      {"find/tail", [&] { return find(load("a b"), word("a"), tail); }, "[b]"},
      {"find/last/tail", [&] { return find(load("a b a c"), word("a"), last_tail); }, "[c]"},
      {"find/reverse/tail", [&] { return find(at_tail("a b a c"), word("a"), reverse_tail); },
       "[c]"},
      {"find/match at the head", [&] { return find(load("a b"), word("a"), match); }, "[a b]"},
      {"find/match elsewhere", [&] { return find(load("a b"), word("b"), match); }, "none"},
      {"find/part", [&] { return find(load("a b c"), word("c"), part2); }, "none"},
      {"find ignores word case", [&] { return find(load("A b"), word("a")); }, "[A b]"},
      {"find/case", [&] { return find(load("A a"), word("a"), case_opt); }, "[a]"},
      {"find a set-word by word", [&] { return find(load("x a: 1"), word("a")); }, "[a: 1]"},
      {"find in an empty block", [&] { return find(load(""), word("a")); }, "none"},
      {"select", [&] { return select(load("a 1 b 2"), word("b")); }, "2"},
      {"select at the end", [&] { return select(load("a 1 b"), word("b")); }, "none"},
      {"select after a sub-sequence", [&] { return select(load("a b c"), load("a b")); }, "c"},
      {"select/skip", [&] { return select(load("a b b c"), word("b"), skip2); }, "c"},
  };
  for (const Case& c : cases) EXPECT_EQ(molded(c.run()), c.expected) << c.name;
  Cell zero = num(0);
  FindOptions bad_skip;
  bad_skip.skip = &zero;
  EXPECT_EQ(raised([&] { find(load("a"), word("a"), bad_skip); }), "script/out-of-range");
  Cell a_word = word("a");
  bad_skip.skip = &a_word;
  EXPECT_EQ(raised([&] { find(load("a"), word("a"), bad_skip); }), "script/invalid-refine-arg");
}

// Orders like a comparison function `func [a b][a < b]`, answering a logic!.
void lesser_than(const Cell*, const Cell* a, const Cell* b, Cell* answer) {
  *answer = logic::make(integer::get(a) < integer::get(b));
}
// Orders like `func [a b][a - b]`, answering an integer!.
void difference_of(const Cell*, const Cell* a, const Cell* b, Cell* answer) {
  *answer = integer::make(integer::get(a) - integer::get(b));
}

TEST_F(BlockActions, SortWithItsRefinements) {
  Cell two = num(2), three = num(3), one = num(1), function{TYPE_FUNCTION, 0, 0, 0};
  auto with = [](auto&& fill) {
    SortOptions options;
    fill(options);
    return options;
  };
  const Case cases[] = {
      {"sort", [&] { return sort(load("3 1 2")); }, "[1 2 3]"},
      {"sort/reverse", [&] { return sort(load("3 1 2"), with([](SortOptions& o) { o.reverse = true; })); },
       "[3 2 1]"},
      {"sort/stable", [&] { return sort(load("3 1 2 1"), with([](SortOptions& o) { o.stable = true; })); },
       "[1 1 2 3]"},
      {"sort/skip", [&] { return sort(load("b 2 a 1"), with([&](SortOptions& o) { o.skip = &two; })); },
       "[a 1 b 2]"},
      {"sort/skip/compare",
       [&] { return sort(load("1 b 2 a"), with([&](SortOptions& o) { o.skip = &two, o.compare = &two; })); },
       "[2 a 1 b]"},
      {"sort/skip/all",
       [&] { return sort(load("a 2 a 1"), with([&](SortOptions& o) { o.skip = &two, o.all = true; })); },
       "[a 1 a 2]"},
      {"sort/part", [&] { return sort(load("3 2 1"), with([&](SortOptions& o) { o.part = &two; })); },
       "[2 3 1]"},
      {"types order by id", [&] { return sort(load("b 1 a")); }, "[1 a b]"},
      {"empty blocks first", [&] { return sort(load("[1] [] [0]")); }, "[[] [0] [1]]"},
  };
  for (const Case& c : cases) EXPECT_EQ(molded(c.run()), c.expected) << c.name;
  struct Bad {
    const char* name;
    std::function<SortOptions()> options;
    const char* error;
  } const bad[] = {
      {"skip not dividing", [&] { return with([&](SortOptions& o) { o.skip = &two; }); },
       "script/invalid-refine-arg"},
      {"all without skip", [&] { return with([](SortOptions& o) { o.all = true; }); },
       "script/bad-refines"},
      {"compare offset without skip", [&] { return with([&](SortOptions& o) { o.compare = &one; }); },
       "script/bad-refines"},
      {"compare offset outside the record",
       [&] { return with([&](SortOptions& o) { o.skip = &one, o.compare = &three; }); },
       "script/out-of-range"},
      {"compare function without a caller",
       [&] { return with([&](SortOptions& o) { o.compare = &function; }); }, "internal/not-done"},
  };
  for (const Bad& c : bad)
    EXPECT_EQ(raised([&] { sort(load("3 1 2"), c.options()); }), c.error) << c.name;
}

TEST_F(BlockActions, SortCompareFunctionsPutTheFirstArgumentFirstOnTrueOrNegative) {
  Cell function{TYPE_FUNCTION, 0, 0, 0};
  const evaluator_hooks::Services kept = evaluator_hooks::installed();
  for (evaluator_hooks::CallComparison caller : {lesser_than, difference_of}) {
    evaluator_hooks::Services services = kept;
    services.call_comparison = caller;
    evaluator_hooks::install(services);
    for (bool stable : {false, true}) {
      SortOptions options;
      options.compare = &function;
      options.stable = stable;
      EXPECT_EQ(molded(sort(load("3 1 2 5 4"), options)), "[1 2 3 4 5]");
      options.reverse = true;
      EXPECT_EQ(molded(sort(load("3 1 2 5 4"), options)), "[5 4 3 2 1]");
    }
  }
  evaluator_hooks::install(kept);
}

TEST_F(BlockActions, SetOperations) {
  const Case cases[] = {
      {"union", [] { return set_op("a b", "b c", OP_UNION); }, "[a b c]"},
      {"difference", [] { return set_op("a b", "b c", OP_DIFFERENCE); }, "[a c]"},
      {"exclude", [] { return set_op("a b", "b c", OP_EXCLUDE); }, "[a]"},
      {"intersect", [] { return set_op("a b", "b c", OP_INTERSECT); }, "[b]"},
      {"unique", [] { return set_op("a a b", "", OP_UNIQUE); }, "[a b]"},
      {"unique/skip keeps whole records", [] { return set_op("a 1 a 2 b 3", "", OP_UNIQUE, 2); },
       "[a 1 b 3]"},
      {"union of blocks of blocks", [] { return set_op("[1] [2]", "[2] [3]", OP_UNION); },
       "[[1] [2] [3]]"},
  };
  for (const Case& c : cases) EXPECT_EQ(molded(c.run()), c.expected) << c.name;
  EXPECT_EQ(raised([] { set_op("a", "b", OP_UNION, 0); }), "script/invalid-refine-arg");
}

TEST_F(BlockActions, TakeTrimSwapPutAndPaths) {
  Cell s = load("1 #none 2 #none");
  Cell result;
  actions::get<ACT_TRIM>(TYPE_BLOCK)(&s, TrimOptions{}, &result);
  EXPECT_EQ(molded(result), "[1 2]");
  Cell a = load("1 2"), b = load("x y");
  a.data1 = 1;
  actions::get<ACT_SWAP>(TYPE_BLOCK)(&a, &b, &result);
  EXPECT_EQ(molded(head_of(a)) + molded(b), "[1 x][2 y]");
  Cell integer_value = num(1);
  EXPECT_EQ(raised([&] { actions::get<ACT_SWAP>(TYPE_BLOCK)(&a, &integer_value, &result); }),
            "script/invalid-arg");
  Cell p = load("a 1");
  Cell key_a = word("a"), key_b = word("b"), value = num(5);
  actions::get<ACT_PUT>(TYPE_BLOCK)(&p, &key_a, &value, false, &result);
  actions::get<ACT_PUT>(TYPE_BLOCK)(&p, &key_b, &value, false, &result);
  EXPECT_EQ(molded(p), "[a 5 b 5]");
  Cell path_get{}, path_set{};
  PathStep get{&p, &key_b, nullptr, nullptr, nullptr, nullptr, 0, false, true, true, false};
  block::eval_path(get, &path_get);
  EXPECT_EQ(molded(path_get), "5");
  Cell seven = num(7), missing = word("zz");
  PathStep set{&p, &key_a, &seven, nullptr, nullptr, nullptr, 0, false, false, true, false};
  block::eval_path(set, &path_set);
  EXPECT_EQ(molded(p), "[a 7 b 5]");
  set.element = &missing;
  EXPECT_EQ(raised([&] { block::eval_path(set, &path_set); }), "script/bad-path-set");
  Cell deep = load("[1 2] 3");
  Cell taken;
  actions::get<ACT_TAKE>(TYPE_BLOCK)(&deep, nullptr, false, false, &taken);
  EXPECT_EQ(molded(taken), "[1 2]");
}

TEST_F(BlockActions, CopyDeepCopiesEveryNestedSeries) {
  Cell original = load("[1] (2) a/b");
  Cell copied;
  actions::get<ACT_COPY>(TYPE_BLOCK)(&original, nullptr, true, nullptr, &copied);
  for (uint32_t i = 0; i < 3; ++i) {
    Cell nested = *block::abs_at(&copied, i);
    block::append_cell(&nested, &original);
  }
  EXPECT_EQ(molded(original), "[[1] (2) a/b]");
  Cell shallow;
  actions::get<ACT_COPY>(TYPE_BLOCK)(&original, nullptr, false, nullptr, &shallow);
  Cell nested = *block::head(&shallow);
  Cell nine = num(9);
  block::append_cell(&nested, &nine);
  EXPECT_EQ(molded(original), "[[1 9] (2) a/b]");
  Cell cloned;
  block::clone(&original, true, false, &cloned);
  Cell paren = *block::abs_at(&cloned, 1);
  EXPECT_EQ(paren.node(), block::abs_at(&original, 1)->node()) << "clone keeps parens shared";
  Cell self = load("1");
  block::append_cell(&self, &self);
  EXPECT_EQ(raised([&] { actions::get<ACT_COPY>(TYPE_BLOCK)(&self, nullptr, true, nullptr, &copied); }),
            "internal/no-cycle");
}

TEST_F(BlockActions, CompareWalksElements) {
  struct Compare {
    const char* a;
    const char* b;
    int32_t op;
    int32_t answer;
  } const cases[] = {
      {"1 2", "1 2 3", COMP_EQUAL, 1},   {"1 2", "1 2 3", COMP_LESSER, -1},
      {"1 a", "1 2", COMP_LESSER, 1},    {"1 1.0", "1.0 1", COMP_EQUAL, 0},
      {"", "", COMP_EQUAL, 0},           {"", "1", COMP_LESSER, -1},
      {"1", "", COMP_LESSER, 1},         {"a [b]", "A [b]", COMP_EQUAL, 0},
      {"a [b]", "a [c]", COMP_SORT, -1},
  };
  for (const Compare& c : cases)
    EXPECT_EQ(compared(load(c.a), load(c.b), c.op), c.answer) << c.a << " vs " << c.b;
  Cell block = load("1"), paren = load_one("(1)");
  EXPECT_EQ(compared(block, paren, COMP_EQUAL), kNotComparable);
  EXPECT_EQ(compared(block, block, COMP_SAME), 0);
  EXPECT_EQ(compared(block, load("1"), COMP_SAME), -1);
}

TEST_F(BlockActions, MoldFollowsNewLineFlags) {
  struct Mold {
    const char* source;
    MoldFlags flags;
    const char* expected;
  } const cases[] = {
      {"\na b\nc", {}, "[\n    a b\n    c\n]"},
      {"\na b\nc", {.flat = true}, "[a b c]"},
      {"\nx [\na]\n", {}, "[\n    x [\n        a\n    ]\n]"},
      {"1 2", {.only = true}, "1 2"},
      {"1 \n2", {.only = true}, "1\n2"},
      {"\n1 2", {.only = true}, "1 2"},
      {"a (b c) d/e", {}, "[a (b c) d/e]"},
      {"", {}, "[]"},
  };
  for (const Mold& c : cases) EXPECT_EQ(mold_with(load(c.source), c.flags), c.expected) << c.source;
  EXPECT_EQ(formed(load("1 [2 3] a")), "1 2 3 a");
}

TEST_F(BlockActions, MoldStopsOnceThePartLimitIsUsed) {
  MoldFlags flags;
  flags.part = 4;
  EXPECT_EQ(mold_with(load("1 2 3 4 5"), flags), "[1 2]");
}

TEST_F(BlockActions, ABlockContainingItselfPrintsACycleMarker) {
  Cell b = load("1");
  append(b, b, only());
  EXPECT_EQ(molded(b), "[1 [...]]");
  EXPECT_EQ(formed(b), "1 ...");
  EXPECT_EQ(compared(b, b, COMP_EQUAL), 0);
  EXPECT_EQ(cycles::depth(), 0u);
}

}  // namespace
}  // namespace xol::testing
