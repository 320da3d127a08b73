// The path types and paren!: construction and printed forms.
#include "value_builders.h"

namespace xol::testing {
namespace {

using PathTypes = SeriesTest;

TEST_F(PathTypes, MoldAndFormOfEachPathType) {
  struct Printed {
    TypeId type;
    const char* mold;
  } const cases[] = {
      {TYPE_PATH, "a/b/c"},
      {TYPE_SET_PATH, "a/b/c:"},
      {TYPE_GET_PATH, ":a/b/c"},
      {TYPE_LIT_PATH, "'a/b/c"},
  };
  for (const Printed& c : cases) {
    Cell segments = load("a b c"), made;
    actions::get<ACT_TO>(c.type)(nullptr, &segments, c.type, &made);
    EXPECT_TRUE(made.is(c.type));
    EXPECT_EQ(molded(made), c.mold);
    EXPECT_EQ(formed(made), "a/b/c");
  }
  EXPECT_EQ(molded(load("a/1/:b 'c/d x/y:")), "[a/1/:b 'c/d x/y:]");
}

TEST_F(PathTypes, MakeAndToPath) {
  Cell ten = num(10), made;
  actions::get<ACT_MAKE>(TYPE_PATH)(nullptr, &ten, TYPE_PATH, &made);
  EXPECT_TRUE(made.is(TYPE_PATH));
  EXPECT_EQ(molded(made), "");
  Cell word_spec = word("a");
  EXPECT_EQ(raised([&] { actions::get<ACT_MAKE>(TYPE_PATH)(nullptr, &word_spec, TYPE_PATH, &made); }),
            "script/bad-make-arg");
  Cell copied, original = load_one("a/b");
  actions::get<ACT_COPY>(TYPE_PATH)(&original, nullptr, false, nullptr, &copied);
  EXPECT_TRUE(copied.is(TYPE_PATH));
  EXPECT_EQ(molded(copied), "a/b");
}

TEST_F(PathTypes, ThePartLimitIsTestedAfterEachSegment) {
  MoldFlags flags;
  flags.part = 2;
  EXPECT_EQ(mold_with(load_one("abcdef/g"), flags), "abcdef");
}

TEST_F(PathTypes, ParenMoldsInParentheses) {
  Cell paren = load_one("(1 2)");
  EXPECT_EQ(molded(paren), "(1 2)");
  EXPECT_EQ(mold_with(paren, MoldFlags{.only = true}), "1 2");
  EXPECT_EQ(formed(paren), "1 2");
  EXPECT_EQ(actions::find<ACT_TRIM>(TYPE_PAREN), nullptr);
  EXPECT_EQ(actions::find<ACT_SORT>(TYPE_PATH), nullptr);
  Cell self = load_one("(1)");
  block::append_cell(&self, &self);
  EXPECT_EQ(molded(self), "(1 (...))");
}

TEST_F(PathTypes, PathAndLitPathMatchUnderParseOps) {
  Cell path = load_one("a/b"), lit = load_one("'a/b");
  EXPECT_EQ(compared(path, lit, COMP_FIND), 0);
  EXPECT_EQ(compared(path, lit, COMP_EQUAL), kNotComparable);
}

}  // namespace
}  // namespace xol::testing
