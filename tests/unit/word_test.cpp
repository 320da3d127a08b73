// Words of the five kinds and issue!: made, bound, read, set, formed, molded and compared.
#include <gtest/gtest.h>

#include "value_layer_fixture.h"

namespace xol {
namespace {

using WordTest = testing::ValueLayerTest;

TEST_F(WordTest, EveryKindFormsItsNameAndMoldsItsMark) {
  struct Case {
    TypeId type;
    const char* mold;
  } cases[] = {
      {TYPE_WORD, "name"},        {TYPE_SET_WORD, "name:"}, {TYPE_LIT_WORD, "'name"},
      {TYPE_GET_WORD, ":name"},   {TYPE_REFINEMENT, "/name"}, {TYPE_ISSUE, "#name"},
  };
  for (const Case& c : cases) {
    Cell made = c.type == TYPE_ISSUE ? issue::load("name") : word::load("name", c.type);
    EXPECT_EQ(made.type(), c.type);
    EXPECT_EQ(formed(made), "name") << c.mold;
    EXPECT_EQ(molded(made), c.mold);
  }
}

TEST_F(WordTest, TheMarkCountsAgainstThePartLimit) {
  Cell lit = word::load("abc", TYPE_LIT_WORD);
  Cell buffer;
  text::make(&buffer, 16);
  EXPECT_EQ(word::mold(&lit, &buffer, false, false, false, nullptr, 10, 0), 6);
}

TEST_F(WordTest, LoadedWordsAreBoundGloballyAndReadAndSet) {
  Cell word = word::load("counter");
  EXPECT_EQ(word::context_of(&word), context::global());
  Cell index;
  word::index_q(&word, &index);
  EXPECT_EQ(index.type(), TYPE_INTEGER);
  EXPECT_EQ(int32_t(index.data2), word::index_of(&word) + 1);

  EXPECT_EQ(raised_id([&] { word::get_checked(&word); }), "no-value");
  EXPECT_EQ(raised_id([&] { word::set_checked(&word, &unset::value); }), "need-value");
  Cell forty_two{TYPE_INTEGER, 0, 42, 0};
  word::set_checked(&word, &forty_two);
  Cell again = word::load("counter", TYPE_GET_WORD);
  EXPECT_EQ(word::get_checked(&again).data2, 42u);

  Cell unresolved = word::unbound(symbol::make("nowhere"));
  word::index_q(&unresolved, &index);
  EXPECT_TRUE(index.is(TYPE_NONE));
}

TEST_F(WordTest, KindsShareTheirActionsThroughInheritance) {
  for (TypeId type : {TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD, TYPE_REFINEMENT}) {
    EXPECT_EQ(actions::find<ACT_FORM>(type), &word::form);
    EXPECT_EQ(actions::find<ACT_COMPARE>(type), &word::compare);
  }
  EXPECT_EQ(actions::find<ACT_INDEX_Q>(TYPE_REFINEMENT), nullptr);
  EXPECT_EQ(actions::find<ACT_INDEX_Q>(TYPE_GET_WORD), &word::index_q);
  EXPECT_EQ(actions::find<ACT_FORM>(TYPE_ISSUE), &word::form);
}

TEST_F(WordTest, ComparisonRules) {
  Cell lit_lower = word::load("foo", TYPE_LIT_WORD);
  Cell lit_upper = word::load("FOO", TYPE_LIT_WORD);
  Cell set_word = word::load("foo", TYPE_SET_WORD);
  Cell plain = word::load("foo");
  Cell plain_upper = word::load("FOO");
  Cell issue = issue::load("foo");
  Cell one{TYPE_INTEGER, 0, 1, 0};
  struct Case {
    const Cell* a;
    const Cell* b;
    int32_t op;
    int32_t expected;
  } cases[] = {
      {&lit_lower, &lit_upper, COMP_EQUAL, 0},
      {&lit_lower, &lit_upper, COMP_STRICT_EQUAL, 1},
      {&set_word, &plain, COMP_EQUAL, 0},
      {&set_word, &plain, COMP_STRICT_EQUAL, 1},
      {&plain, &one, COMP_EQUAL, kNotComparable},
      {&plain, &issue, COMP_EQUAL, kNotComparable},
      {&issue, &plain, COMP_EQUAL, kNotComparable},
      {&plain, &lit_lower, COMP_FIND_STRICT, 0},
      {&plain, &lit_upper, COMP_FIND_STRICT, 1},
      {&plain, &lit_upper, COMP_FIND, 0},
      {&set_word, &lit_upper, COMP_FIND, 1},
      {&plain, &plain_upper, COMP_SAME, 1},
      {&plain, &plain, COMP_SAME, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(compared(*c.a, *c.b, c.op), c.expected)
        << molded(*c.a) << " " << molded(*c.b) << " op " << c.op;
}

TEST_F(WordTest, OrderingComparesTheNames) {
  Cell alpha = word::load("alpha");
  Cell beta = word::load("Beta");
  EXPECT_EQ(compared(alpha, beta, COMP_LESSER), -1);
  EXPECT_EQ(compared(beta, alpha, COMP_LESSER), 1);
}

TEST_F(WordTest, MakeAndToWord) {
  Cell prototype = datatype::make(TYPE_WORD);
  Cell result;
  Cell integer_type = datatype::make(TYPE_LOGIC);
  word::make(&prototype, &integer_type, TYPE_WORD, &result);
  EXPECT_EQ(symbol::name(word::symbol_of(&result)), "logic!");
  word::make(&prototype, &logic::true_value, TYPE_SET_WORD, &result);
  EXPECT_EQ(result.type(), TYPE_SET_WORD);
  EXPECT_EQ(symbol::name(word::symbol_of(&result)), "true");
  EXPECT_EQ(word::context_of(&result), context::global());
  Cell lit = word::load("lit", TYPE_LIT_WORD);
  word::make(&prototype, &lit, TYPE_WORD, &result);
  EXPECT_EQ(molded(result), "lit");
  Cell one{TYPE_INTEGER, 0, 1, 0};
  EXPECT_EQ(raised_id([&] { word::make(&prototype, &one, TYPE_WORD, &result); }), "bad-to-arg");
}

TEST_F(WordTest, IssuesAreNamesNeverVariables) {
  Cell issue = issue::load("abc");
  EXPECT_EQ(word::context_of(&issue), context::global());
  EXPECT_EQ(word::index_of(&issue), -1);
  EXPECT_EQ(molded(issue), "#abc");
  EXPECT_EQ(formed(issue), "abc");

  Cell prototype = datatype::make(TYPE_ISSUE);
  Cell result;
  Cell lit = word::load("abc", TYPE_LIT_WORD);
  actions::get<ACT_TO>(TYPE_ISSUE)(&prototype, &lit, TYPE_ISSUE, &result);
  EXPECT_EQ(compared(result, issue, COMP_EQUAL), 0);
  EXPECT_EQ(compared(issue, lit, COMP_EQUAL), kNotComparable);
}

}  // namespace
}  // namespace xol
