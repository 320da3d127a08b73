// The symbol table: interning, case twins and their canonical ids.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

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

TEST_F(SymbolTest, CaselessMakeAnswersTheFirstOfItsNameOrAddsIt) {
  int32_t first = symbol::make("Quux");
  symbol::make("QUUX");
  EXPECT_EQ(symbol::make_caseless("quux"), first);
  int32_t count = symbol::count();
  int32_t fresh = symbol::make_caseless("Fresh-Name");
  EXPECT_EQ(symbol::count(), count + 1);
  EXPECT_EQ(symbol::alias_of(fresh), symbol::kNoAlias);
  EXPECT_EQ(symbol::make("Fresh-Name"), fresh);
  EXPECT_EQ(symbol::alias_of(symbol::make("fresh-name")), fresh);
}

// Growing re-places entries in bucket order, which can put a later twin first in a probe
// sequence: the third spelling of every pair made before the growth must still alias the first.
TEST_F(SymbolTest, EveryPairKeepsItsCanonicalIdThroughGrowth) {
  constexpr int kPairs = 7000;   // enough names to grow the table once
  std::vector<int32_t> firsts;
  for (int i = 0; i < kPairs; ++i) {
    firsts.push_back(symbol::make("Twin-" + std::to_string(i)));
    symbol::make("TWIN-" + std::to_string(i));
  }
  for (int i = 0; i < kPairs; ++i) {
    int32_t third = symbol::make("twin-" + std::to_string(i));
    ASSERT_EQ(symbol::resolve(third), firsts[size_t(i)]) << i;
    ASSERT_EQ(symbol::make_caseless("tWIN-" + std::to_string(i)), firsts[size_t(i)]) << i;
  }
}

// Names of every length around the 4-byte blocks the hash takes, in several spellings.
TEST_F(SymbolTest, EveryLengthFindsItselfAndItsTwins) {
  const std::string letters = "aBcDeFgHiJ";
  for (size_t length = 1; length <= letters.size(); ++length) {
    std::string name = letters.substr(0, length);
    std::string upper = name, lower = name;
    for (char& c : upper) c = char(std::toupper(c));
    for (char& c : lower) c = char(std::tolower(c));
    int32_t id = symbol::make(name);
    EXPECT_EQ(symbol::make(name), id) << name;
    for (const std::string& twin : {upper, lower}) {
      if (twin == name) continue;
      EXPECT_NE(symbol::make(twin), id) << twin;
      EXPECT_EQ(symbol::resolve(symbol::make(twin)), id) << twin;
    }
    EXPECT_EQ(symbol::make_caseless(upper), id) << upper;
  }
}

// Every allocation collects and moves every buffer it can, the grown table's own among them: a
// part of the index that the collector does not mark or that the table reads from a stale
// address loses names.
TEST_F(SymbolTest, TheGrownIndexSurvivesCollectionsThatMoveIt) {
  constexpr int kFillerNames = 13000;   // grows the index once
  constexpr int kNames = 150;
  for (int i = 0; i < kFillerNames; ++i) symbol::make("filler-" + std::to_string(i));
  const uint32_t saved_period = collector::torture_period();
  collector::active = true;
  collector::set_torture_period(1);
  std::vector<int32_t> ids;
  for (int i = 0; i < kNames; ++i) ids.push_back(symbol::make("moved-" + std::to_string(i)));
  for (int i = 0; i < kNames; ++i) symbol::make("MOVED-" + std::to_string(i));
  collector::set_torture_period(saved_period);
  collector::collect();
  for (int i = 0; i < kNames; ++i) {
    ASSERT_EQ(symbol::make("moved-" + std::to_string(i)), ids[size_t(i)]);
    ASSERT_EQ(symbol::resolve(symbol::make("MOVED-" + std::to_string(i))), ids[size_t(i)]);
  }
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
