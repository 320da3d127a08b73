// bitset!: the byte layout, make and to from every spec, membership through pick, find and
// poke, the set operations with complemented operands, printing and comparison.
#include "compound_fixture.h"

namespace xol {
namespace {

class BitsetTest : public testing::CompoundTest {
 protected:
  static Cell charset(Cell spec) { return made(TYPE_BITSET, spec); }
  static Cell charset(std::string_view letters) { return charset(str(letters)); }
  static Cell dash() { return wrd("-"); }
  static Cell not_word() { return wrd("not"); }
  static bool member(const Cell& set, uint32_t n) { return bitset::contains(&set, n); }
  static Cell appended(Cell set, Cell value) {
    Cell result;
    actions::get<ACT_APPEND>(TYPE_BITSET)(&set, &value, InsertOptions{}, true, &result);
    return result;
  }
  static Cell removed(Cell set, Cell key) {
    Cell result;
    actions::get<ACT_REMOVE>(TYPE_BITSET)(&set, nullptr, &key, &result);
    return result;
  }
  static Cell copied(Cell set) {
    Cell result;
    actions::get<ACT_COPY>(TYPE_BITSET)(&set, nullptr, false, nullptr, &result);
    return result;
  }
  static Cell op(MathOp code, Cell a, Cell b) {
    Cell result;
    bitset::do_bitwise(code, &a, &b, &result);
    return result;
  }
};

TEST_F(BitsetTest, BitsAreMostSignificantFirstAndTheLetterAIsByteTwelve) {
  Cell set = charset("a");
  EXPECT_EQ(bitset::byte_length(&set), 13u);
  EXPECT_EQ(bitset::zq_head(&set)[12], 0x40);
  EXPECT_EQ(molded(set), "make bitset! #{00000000000000000000000040}");
  EXPECT_EQ(length_of(set), 104);
}

TEST_F(BitsetTest, MakeSizesAndSpecs) {
  struct Case {
    Cell spec;
    int32_t length;
  } cases[] = {
      {num(0), 0},          {num(100), 104},        {flt(9.5), 16},
      {block_of({}), 8},    {str("a"), 104},        {bin({0xFF, 0x01}), 16},
      {block_of({num(200)}), 208},
  };
  for (const Case& c : cases) EXPECT_EQ(length_of(charset(c.spec)), c.length);
  EXPECT_EQ(raised([&] { charset(num(-1)); }), "script/out-of-range");
  EXPECT_EQ(raised([&] { converted(TYPE_BITSET, num(8)); }), "script/bad-to-arg");
  EXPECT_EQ(raised([&] { charset(pr(1, 2)); }), "script/bad-make-arg");
  EXPECT_EQ(raised([&] { converted(TYPE_BITSET, pr(1, 2)); }), "script/bad-to-arg");
  EXPECT_EQ(raised([&] { charset(block_of({bin({0})})); }), "internal/not-done");
}

TEST_F(BitsetTest, RangesNeedMatchingEndsInOrder) {
  Cell letters = charset(block_of({chr('a'), dash(), chr('z')}));
  EXPECT_EQ(molded(letters), "make bitset! #{0000000000000000000000007FFFFFE0}");
  int32_t members = 0;
  for (uint32_t n = 0; n < 256; ++n) members += member(letters, n);
  EXPECT_EQ(members, 26);
  struct Case {
    Cell spec;
    const char* error;
  } cases[] = {
      {block_of({chr('a'), dash(), num(5)}), "script/invalid-arg"},
      {block_of({chr('z'), dash(), chr('a')}), "script/past-end"},
      {block_of({chr('a'), dash()}), "script/past-end"},
  };
  for (const Case& c : cases) EXPECT_EQ(raised([&] { charset(c.spec); }), c.error);
}

TEST_F(BitsetTest, PickFindAndPokeAnswerByMembership) {
  Cell set = charset("ab");
  EXPECT_TRUE(is_true(picked(set, chr('a'))));
  EXPECT_FALSE(is_true(picked(set, chr('c'))));
  EXPECT_TRUE(is_true(picked(set, str("ab"))));
  EXPECT_TRUE(is_true(found(set, str("ab"))));
  EXPECT_TRUE(found(set, chr('c')).is(TYPE_NONE));
  EXPECT_FALSE(is_true(picked(set, num(-1))));
  EXPECT_TRUE(is_true(picked(unary(ACT_COMPLEMENT, set), num(-1))));
  EXPECT_EQ(raised([&] { poked(set, num(-1), logic::true_value); }), "script/out-of-range");

  struct Case {
    Cell value;
    bool member_after;
  } pokes[] = {{none::value, false}, {logic::false_value, false}, {num(0), false},
               {flt(0.0), false},    {num(2), true},               {logic::true_value, true}};
  for (const Case& c : pokes) {
    Cell target = charset("a");
    Cell answer = poked(target, chr('a'), c.value);
    EXPECT_TRUE(same_cell(answer, c.value));
    EXPECT_EQ(member(target, 'a'), c.member_after);
  }
  Cell path_target = charset("a");
  EXPECT_TRUE(is_true(path(path_target, chr('a'))));
  EXPECT_EQ(raised([&] { path(path_target, str("a")); }), "script/invalid-type");
}

TEST_F(BitsetTest, AppendGrowsAPlainSetAndRemoveNeedsAKey) {
  Cell set = made(TYPE_BITSET, num(8));
  appended(set, num(200));
  EXPECT_EQ(length_of(set), 208);
  EXPECT_TRUE(member(set, 200));
  Cell two = charset("ab");
  EXPECT_EQ(molded(removed(two, chr('a'))), "make bitset! #{00000000000000000000000020}");
  EXPECT_EQ(raised([&] {
              Cell result, target = charset("a");
              actions::get<ACT_REMOVE>(TYPE_BITSET)(&target, nullptr, nullptr, &result);
            }),
            "script/missing-arg");
}

TEST_F(BitsetTest, ComplementedSetsHoldEverythingPastTheirBytesAndMoldBackReadably) {
  Cell set = unary(ACT_COMPLEMENT, charset("a"));
  EXPECT_FALSE(member(set, 'a'));
  EXPECT_TRUE(member(set, 'b'));
  EXPECT_TRUE(member(set, 100000));
  EXPECT_EQ(molded(set), "make bitset! [not #{00000000000000000000000040}]");
  Cell reread = charset(block_of({not_word(), bin({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40})}));
  EXPECT_EQ(compared(set, reread, COMP_EQUAL), 0);

  Cell from_not = charset(block_of({not_word(), bin({0xFF})}));
  EXPECT_EQ(molded(from_not), "make bitset! [not #{FF}]");
  EXPECT_TRUE(found(from_not, num(3)).is(TYPE_NONE));
  EXPECT_TRUE(is_true(found(from_not, num(8))));

  Cell not_letters = charset(block_of({not_word(), str("a")}));
  EXPECT_FALSE(member(not_letters, 'a'));
  EXPECT_TRUE(member(not_letters, 'b'));
  // Adding a member that a complemented set already holds leaves it a member.
  appended(not_letters, num(5000));
  EXPECT_TRUE(member(not_letters, 5000));
  EXPECT_FALSE(member(not_letters, 'a'));
}

TEST_F(BitsetTest, ClearAndRemoveOnComplementedSetsGiveTheRightSet) {
  Cell cleared = unary(ACT_CLEAR, unary(ACT_COMPLEMENT, charset("a")));
  for (uint32_t n : {0u, 97u, 98u, 5000u}) EXPECT_FALSE(member(cleared, n)) << n;
  Cell everything = unary(ACT_COMPLEMENT, charset("a"));
  removed(everything, num(300));
  EXPECT_FALSE(member(everything, 300));
  EXPECT_TRUE(member(everything, 301));
  EXPECT_TRUE(member(everything, 299));
}

TEST_F(BitsetTest, SetOperationsFollowMembershipForComplementedOperands) {
  Cell a = charset("a"), b = charset("b");
  Cell not_a = unary(ACT_COMPLEMENT, a), not_b = unary(ACT_COMPLEMENT, b);
  Cell wide = charset(block_of({num(500)}));
  struct Operand {
    const char* name;
    Cell set;
  } operands[] = {{"a", a}, {"b", b}, {"not a", not_a}, {"not b", not_b}, {"wide", wide}};
  struct Rule {
    MathOp op;
    bool (*holds)(bool, bool);
  } rules[] = {
      {OP_UNION, [](bool x, bool y) { return x || y; }},
      {OP_OR, [](bool x, bool y) { return x || y; }},
      {OP_INTERSECT, [](bool x, bool y) { return x && y; }},
      {OP_AND, [](bool x, bool y) { return x && y; }},
      {OP_EXCLUDE, [](bool x, bool y) { return x && !y; }},
      {OP_DIFFERENCE, [](bool x, bool y) { return x != y; }},
      {OP_XOR, [](bool x, bool y) { return x != y; }},
  };
  const uint32_t probes[] = {0, 'a', 'b', 'c', 500, 501, 100000};
  for (const Rule& rule : rules)
    for (const Operand& left : operands)
      for (const Operand& right : operands) {
        Cell result = op(rule.op, left.set, right.set);
        for (uint32_t n : probes)
          EXPECT_EQ(member(result, n), rule.holds(member(left.set, n), member(right.set, n)))
              << rule.op << " " << left.name << " " << right.name << " at " << n;
      }
}

TEST_F(BitsetTest, SetOperationLengthsOfPlainOperands) {
  Cell two = charset(bin({0xFF, 0xFF})), four = charset(bin({0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(length_of(op(OP_AND, two, four)), 16);
  EXPECT_EQ(length_of(op(OP_INTERSECT, two, four)), 32);
  EXPECT_EQ(length_of(op(OP_UNION, two, four)), 32);
  EXPECT_TRUE(same_cell(op(OP_UNIQUE, two, four), two));
  EXPECT_EQ(raised([&] { op(OP_UNION, two, num(1)); }), "script/invalid-type");
}

TEST_F(BitsetTest, CopyIsIndependentAndNeverOwned) {
  Cell set = unary(ACT_COMPLEMENT, charset("a"));
  bitset::buffer_of(&set)->flags |= memory::FLAG_OWNED;
  Cell copy = copied(set);
  EXPECT_NE(copy.node(), set.node());
  EXPECT_FALSE(bitset::buffer_of(&copy)->flags & memory::FLAG_OWNED);
  EXPECT_TRUE(bitset::complemented(&copy));
  bitset::buffer_of(&set)->flags &= ~memory::FLAG_OWNED;
  appended(copy, chr('a'));
  EXPECT_TRUE(member(copy, 'a'));
  EXPECT_FALSE(member(set, 'a'));
}

TEST_F(BitsetTest, ComparisonByLengthThenFlagThenBytesFromTheEnd) {
  EXPECT_EQ(compared(charset("a"), charset("a"), COMP_EQUAL), 0);
  EXPECT_EQ(compared(made(TYPE_BITSET, num(8)), made(TYPE_BITSET, num(16)), COMP_EQUAL), -1);
  EXPECT_EQ(compared(charset("a"), unary(ACT_COMPLEMENT, charset("a")), COMP_SORT), -1);
  EXPECT_EQ(compared(charset(bin({0x01, 0x00})), charset(bin({0x00, 0x01})), COMP_SORT), -1);
  Cell set = charset("a");
  EXPECT_EQ(compared(set, set, COMP_SAME), 0);
  EXPECT_EQ(compared(set, charset("a"), COMP_SAME), 1);
  EXPECT_EQ(compared(set, num(1), COMP_EQUAL), kNotComparable);
}

TEST_F(BitsetTest, MoldWithAPartLimitStopsInsideTheBytes) {
  Cell buffer;
  text::make(&buffer, 16);
  Cell set = charset("a"), part = num(17);
  actions::get<ACT_MOLD>(TYPE_BITSET)(&set, &buffer, false, false, false, &part, 17, 0);
  EXPECT_EQ(text::view(&buffer), "make bitset! #{0000");
}

}  // namespace
}  // namespace xol
