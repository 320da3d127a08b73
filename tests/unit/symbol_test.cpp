// The symbol table: interning, case twins and their canonical ids.
#include <gtest/gtest.h>

#include <string>

#include "value_layer_fixture.h"

namespace xol {
namespace {

using SymbolTest = testing::ValueLayerTest;

TEST_F(SymbolTest, CaseVariantsAreDistinctSymbolsWithTheFirstAsAlias) {
  int32_t foo = symbol::make("Foo");
  int32_t upper = symbol::make("FOO");
  int32_t lower = symbol::make("foo");
  EXPECT_NE(foo, upper);
  EXPECT_NE(upper, lower);
  EXPECT_EQ(symbol::alias_of(foo), symbol::kNoAlias);
  for (int32_t id : {foo, upper, lower}) EXPECT_EQ(symbol::resolve(id), foo);
  EXPECT_EQ(symbol::alias_of(lower), foo);
  EXPECT_EQ(symbol::name(upper), "FOO");
}

TEST_F(SymbolTest, MakingANameAgainAddsNothing) {
  int32_t first = symbol::make("again");
  int32_t count = symbol::count();
  EXPECT_EQ(symbol::make("again"), first);
  EXPECT_EQ(symbol::make_caseless("AGAIN"), first);
  EXPECT_EQ(symbol::count(), count);
}

TEST_F(SymbolTest, OnlyAsciiLettersFoldAndLengthsMustMatch) {
  int32_t small = symbol::make("\xC3\xA9");   // é
  int32_t capital = symbol::make("\xC3\x89");   // É
  EXPECT_NE(small, capital);
  EXPECT_EQ(symbol::resolve(capital), capital);
  EXPECT_EQ(symbol::resolve(symbol::make("ab")), symbol::make("ab"));
  EXPECT_NE(symbol::resolve(symbol::make("AB-")), symbol::make("ab"));
}

TEST_F(SymbolTest, TwinsStayCanonicalAfterTheTableGrows) {
  int32_t foo = symbol::make("Foo");
  int32_t upper = symbol::make("FOO");
  constexpr int kFillerNames = 13000;   // several times the table's initial room
  for (int i = 0; i < kFillerNames; ++i) symbol::make("filler-" + std::to_string(i));
  int32_t mixed = symbol::make("fOO");
  EXPECT_EQ(symbol::resolve(mixed), foo);
  EXPECT_EQ(symbol::resolve(upper), foo);

  // Both spellings reach one slot of the global context.
  Cell one{TYPE_INTEGER, 0, 1, 0};
  Cell set_word = word::load("Foo");
  context::set(&set_word, &one);
  Cell read_word = word::load("fOO");
  EXPECT_EQ(word::get(&read_word)->data2, 1u);
  EXPECT_EQ(word::symbol_of(&read_word), mixed);
}

TEST_F(SymbolTest, RuntimeWordsShareRepeatedSpellings) {
  EXPECT_EQ(word::symbol_of(&words::w.windows), words::sym.windows);
  EXPECT_EQ(word::symbol_of(&words::w.head), words::sym.head);
  EXPECT_EQ(word::symbol_of(&words::w.pick), words::sym.pick);
  EXPECT_EQ(word::symbol_of(&words::w.trace_return), words::sym.return_);
  EXPECT_EQ(word::symbol_of(&words::w.trace_throw), word::symbol_of(&words::w.cat_throw));
  EXPECT_EQ(words::refs.part.type(), TYPE_REFINEMENT);
  EXPECT_EQ(symbol::name(word::symbol_of(&words::issue_ooo)), "ooo");
}

TEST_F(SymbolTest, NamesOrderAsTextWithoutCaseUnlessStrict) {
  int32_t apple = symbol::make("apple");
  int32_t banana = symbol::make("Banana");
  EXPECT_EQ(symbol::compare_names(apple, banana, COMP_LESSER), -1);
  EXPECT_EQ(symbol::compare_names(apple, banana, COMP_CASE_SORT), 1);   // "B" < "a"
  EXPECT_EQ(symbol::compare_names(apple, symbol::make("APPLE"), COMP_SORT), 0);
}

}  // namespace
}  // namespace xol
