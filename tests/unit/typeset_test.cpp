// typeset!: the stored bit order, make from blocks and words, printing, the set operations,
// find and comparison.
#include "compound_fixture.h"
#include "runtime/datatypes/context.h"

namespace xol {
namespace {

class TypesetTest : public testing::CompoundTest {
 protected:
  void SetUp() override {
    CompoundTest::SetUp();
    // The boot code gives each datatype word its datatype; type blocks name them by word.
    for (int32_t id = 1; id <= datatype::highest_type(); ++id) {
      if (!datatype::entry(id).name) continue;
      Cell type = datatype::make(id);
      context::set_global(word::symbol_of(&datatype::entry(id).word), &type);
    }
  }
  static Cell type_word(TypeId id) { return datatype::entry(id).word; }
  static Cell set_of(std::initializer_list<int32_t> ids) { return typeset::of(ids); }
};

TEST_F(TypesetTest, BitOfIdNIsByteNShiftedThreeUnderMaskFromTheTop) {
  // The stored form is bytes in memory order: integer! (11) is byte 1, mask 0x10.
  Cell integer_set = set_of({TYPE_INTEGER});
  EXPECT_EQ(integer_set.data1, 0x00001000u);
  EXPECT_EQ(typeset::default_set().data1, 0xFFFFFFDFu);
  EXPECT_EQ(typeset::default_set().data3, 0xFFFFFFFFu);
}

TEST_F(TypesetTest, MoldListsNamesInIdOrder) {
  struct Case {
    Cell set;
    const char* text;
  } cases[] = {
      {set_of({}), "make typeset! []"},
      {set_of({TYPE_PERCENT, TYPE_INTEGER, TYPE_FLOAT}), "make typeset! [integer! float! percent!]"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(molded(c.set), c.text);
    EXPECT_EQ(formed(c.set), c.text);
  }
  Cell buffer;
  text::make(&buffer, 16);
  Cell two = set_of({TYPE_INTEGER, TYPE_FLOAT});
  int32_t left = typeset::form_mold(&two, &buffer, true, false, 100);
  EXPECT_EQ(text::view(&buffer), "integer! float!");
  EXPECT_EQ(left, 100 - 15);
}

TEST_F(TypesetTest, MoldWithAPartLimitStopsBeforeTheNextName) {
  Cell buffer;
  text::make(&buffer, 16);
  Cell set = set_of({TYPE_INTEGER, TYPE_FLOAT, TYPE_PERCENT});
  Cell part = integer::make(20);
  actions::get<ACT_MOLD>(TYPE_TYPESET)(&set, &buffer, false, false, false, &part, 20, 0);
  EXPECT_EQ(text::view(&buffer), "make typeset! [integer! ");
}

TEST_F(TypesetTest, MakeTakesDatatypesTypesetsAndWordsNamingThem) {
  Cell made_set = made(TYPE_TYPESET, block_of({type_word(TYPE_FLOAT), datatype::make(TYPE_PAIR),
                                               set_of({TYPE_TUPLE})}));
  EXPECT_TRUE(same_cell(made_set, set_of({TYPE_FLOAT, TYPE_PAIR, TYPE_TUPLE})));
  EXPECT_EQ(raised([&] { made(TYPE_TYPESET, num(5)); }), "script/bad-to-arg");
  EXPECT_EQ(raised([&] { made(TYPE_TYPESET, block_of({block_of({})})); }), "script/invalid-arg");
  EXPECT_EQ(raised([&] { converted(TYPE_TYPESET, block_of({num(1)})); }), "script/invalid-arg");
}

TEST_F(TypesetTest, FunctionSpecBlocksSkipNestedBlocksAndTakeWordValuedWordsAsObject) {
  Cell alias = wrd("alias-word");
  Cell target = wrd("some-word");
  context::set_global(word::symbol_of(&alias), &target);
  Cell spec = block_of({type_word(TYPE_INTEGER), block_of({}), alias});
  Cell holder;
  block::make_at(&holder, 2);
  Cell* set = typeset::make_from_block(&holder, &spec);
  EXPECT_TRUE(same_cell(*set, set_of({TYPE_INTEGER, TYPE_OBJECT})));
  Cell bad = block_of({num(3)});
  EXPECT_EQ(raised([&] { typeset::make_from_block(&holder, &bad); }), "script/invalid-type-spec");
}

TEST_F(TypesetTest, DefaultSetDiffersFromEveryNamedTypeButEqualsComplementOfUnset) {
  Cell holder;
  block::make_at(&holder, 2);
  Cell named = set_of({});
  for (int32_t id = 1; id <= datatype::highest_type(); ++id)
    if (id != TYPE_UNSET && datatype::entry(id).name) typeset::add_id(&named, id);
  Cell defaults = *typeset::make_default_in(&holder);
  EXPECT_EQ(compared(defaults, named, COMP_EQUAL), 1);
  EXPECT_EQ(compared(unary(ACT_COMPLEMENT, set_of({TYPE_UNSET})), defaults, COMP_EQUAL), 0);
  EXPECT_EQ(typeset::count_types(&defaults), typeset::count_types(&named));
}

TEST_F(TypesetTest, SetOperations) {
  Cell a = set_of({TYPE_INTEGER, TYPE_FLOAT});
  Cell b = set_of({TYPE_FLOAT, TYPE_STRING});
  struct Case {
    MathOp op;
    Cell expected;
  } cases[] = {
      {OP_UNION, set_of({TYPE_INTEGER, TYPE_FLOAT, TYPE_STRING})},
      {OP_OR, set_of({TYPE_INTEGER, TYPE_FLOAT, TYPE_STRING})},
      {OP_INTERSECT, set_of({TYPE_FLOAT})},
      {OP_AND, set_of({TYPE_FLOAT})},
      {OP_EXCLUDE, set_of({TYPE_INTEGER})},
      {OP_DIFFERENCE, set_of({TYPE_INTEGER, TYPE_STRING})},
      {OP_XOR, set_of({TYPE_INTEGER, TYPE_STRING})},
      {OP_UNIQUE, a},
  };
  for (const Case& c : cases) {
    Cell result;
    typeset::set_operation(c.op, &a, &b, &result);
    EXPECT_TRUE(same_cell(result, c.expected)) << c.op;
  }
  Cell with_datatype = apply(ACT_OR, a, datatype::make(TYPE_PAIR));
  EXPECT_TRUE(same_cell(with_datatype, set_of({TYPE_INTEGER, TYPE_FLOAT, TYPE_PAIR})));
  EXPECT_EQ(raised([&] { apply(ACT_AND, a, num(1)); }), "script/invalid-arg");
}

TEST_F(TypesetTest, FindAnswersALogicForADatatypeOnly) {
  Cell set = set_of({TYPE_INTEGER, TYPE_FLOAT});
  EXPECT_TRUE(is_true(found(set, datatype::make(TYPE_FLOAT))));
  Cell missing = found(set, datatype::make(TYPE_STRING));
  EXPECT_TRUE(missing.is(TYPE_LOGIC) && !is_true(missing));
  EXPECT_EQ(raised([&] { found(set, num(1)); }), "script/invalid-arg");
}

TEST_F(TypesetTest, EqualityIsBitwiseSortOrdersByCountAndOrderingsAreNotComparable) {
  Cell one = set_of({TYPE_BLOCK}), two = set_of({TYPE_INTEGER, TYPE_FLOAT});
  EXPECT_EQ(compared(one, set_of({TYPE_BLOCK}), COMP_EQUAL), 0);
  EXPECT_EQ(compared(one, set_of({TYPE_PAREN}), COMP_STRICT_EQUAL), 1);
  EXPECT_EQ(compared(two, one, COMP_SORT), 1);
  EXPECT_EQ(compared(one, set_of({TYPE_PAREN}), COMP_SORT), 0);
  EXPECT_EQ(compared(one, two, COMP_LESSER), kNotComparable);
  EXPECT_EQ(compared(one, num(1), COMP_EQUAL), kNotComparable);
}

TEST_F(TypesetTest, ToBlockNamesEachTypeInIdOrder) {
  Cell set = set_of({TYPE_PAIR, TYPE_INTEGER});
  Cell out;
  typeset::to_block(&set, &out);
  ASSERT_EQ(block::length(&out), 2u);
  EXPECT_EQ(word::symbol_of(block::head(&out)), word::symbol_of(&datatype::entry(TYPE_INTEGER).word));
  EXPECT_EQ(word::symbol_of(block::head(&out) + 1), word::symbol_of(&datatype::entry(TYPE_PAIR).word));
}

}  // namespace
}  // namespace xol
