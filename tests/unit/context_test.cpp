// Contexts: adding and finding words, reading and writing slots, binding.
#include <gtest/gtest.h>

#include <string>

#include "value_layer_fixture.h"

namespace xol {
namespace {

using ContextTest = testing::ValueLayerTest;

Cell integer(int32_t value) { return Cell{TYPE_INTEGER, 0, uint32_t(value), 0}; }

// A block holding the words of `names`, unbound.
Cell block_of(std::initializer_list<const char*> names, TypeId type = TYPE_WORD) {
  Cell block;
  block::make_at(&block, int32_t(names.size()));
  for (const char* name : names) {
    Cell word = word::unbound(symbol::make(name), type);
    block::append_cell(&block, &word);
  }
  return block;
}

TEST_F(ContextTest, AContextOfSizeZeroStillTakesAWord) {
  NodeId context = context::create(0, false, false, nullptr, context::KIND_PLAIN);
  Cell word = word::unbound(symbol::make("only"));
  EXPECT_EQ(context::add_word(context, &word), 0);
  EXPECT_EQ(context::word_count(context), 1);
  EXPECT_TRUE(context::value_at(context, 0)->is(TYPE_UNSET));
}

TEST_F(ContextTest, FindIsExactOrCaselessAndAddKeepsTheFirst) {
  NodeId context = context::create(4, false, false, nullptr, context::KIND_PLAIN);
  int32_t added = -1;
  EXPECT_EQ(context::add_symbol(context, symbol::make("Alpha"), true, &added), -1);
  EXPECT_EQ(added, 0);
  EXPECT_EQ(context::find_word(context, symbol::make("ALPHA"), false), -1);
  EXPECT_EQ(context::find_word(context, symbol::make("ALPHA"), true), 0);
  Cell value = integer(5);
  Cell variant = word::unbound(symbol::make("alpha"));
  EXPECT_EQ(context::add_value(context, &variant, &value), nullptr);
  EXPECT_EQ(context::word_count(context), 1);
}

TEST_F(ContextTest, BindingReachesNestedBlocksAndLeavesStrangersAlone) {
  NodeId context = context::create(2, false, false, nullptr, context::KIND_PLAIN);
  Cell x = word::unbound(symbol::make("x"));
  Cell seven = integer(7);
  context::put_value(context, &x, &seven);

  Cell inner = block_of({"X", "stranger"});
  Cell outer = block_of({"x"});
  block::append_cell(&outer, &inner);
  block::append_cell(&inner, &outer);   // the outer block inside itself: binding must end
  context::bind(&outer, context, false);

  const Cell* bound = block::abs_at(&inner, 0);
  EXPECT_EQ(word::context_of(bound), context);
  EXPECT_EQ(word::get(bound)->data2, 7u);
  EXPECT_EQ(word::symbol_of(bound), symbol::make("X"));   // keeps its own spelling
  EXPECT_EQ(word::context_of(block::abs_at(&inner, 1)), kNoNode);
  EXPECT_EQ(word::get(block::abs_at(&outer, 0))->data2, 7u);
}

TEST_F(ContextTest, SelfBindingMakesSelfReadTheOwner) {
  NodeId context = context::create(1, false, true, nullptr, context::KIND_OBJECT);
  Cell self_word = word::unbound(words::sym.self);
  context::add_word(context, &self_word);
  Cell owner{TYPE_OBJECT, context, 0, 0};
  *context::owner_cell(context) = owner;

  Cell body = block_of({"self"});
  Cell lit = word::unbound(words::sym.self, TYPE_LIT_WORD);
  block::append_cell(&body, &lit);
  context::bind(&body, context, true);
  const Cell* plain = block::abs_at(&body, 0);
  EXPECT_EQ(word::index_of(plain), -1);
  EXPECT_EQ(word::get(plain)->data1, context);
  EXPECT_EQ(word::index_of(block::abs_at(&body, 1)), 0);   // 'self is bound normally
}

TEST_F(ContextTest, UnresolvedWordRaisesNoValue) {
  Cell lonely = word::unbound(symbol::make("lonely"));
  lonely.data1 = context::global();
  EXPECT_EQ(raised_id([&] { word::get(&lonely); }), "no-value");
}

TEST_F(ContextTest, FunctionContextReadsItsFrameOnlyWhileRunning) {
  Cell spec = block_of({"a", "b"});
  Cell local = word::unbound(symbol::make("local"), TYPE_REFINEMENT);
  Cell c = word::unbound(symbol::make("c"));
  Cell return_word = word::unbound(symbol::make("return"), TYPE_SET_WORD);
  block::append_cell(&spec, &return_word);   // set-words add nothing
  block::append_cell(&spec, &local);
  block::append_cell(&spec, &c);
  NodeId context =
      context::make_function_context(&spec, true, false, context::KIND_FUNCTION);
  ASSERT_EQ(context::word_count(context), 4);
  EXPECT_EQ(context::find_word(context, symbol::make("c"), true), 3);

  Cell body = block_of({"b", "c"});
  context::bind(&body, context, false);
  Cell* b = block::abs_at(&body, 0);
  EXPECT_EQ(raised_id([&] { word::get(b); }), "not-in-context");
  Cell ten = integer(10);
  EXPECT_EQ(raised_id([&] { context::set(b, &ten); }), "not-defined");

  // A frame of four cells, here in a plain values block.
  Cell frame;
  block::make_at(&frame, 4);
  for (int32_t i = 0; i < 4; ++i) {
    Cell value = integer(i * 100);
    block::append_cell(&frame, &value);
  }
  context::enter_frame(context, frame.node(), 0);
  EXPECT_EQ(word::get(b)->data2, 100u);
  context::set(block::abs_at(&body, 1), &ten);
  EXPECT_EQ(block::abs_at(&frame, 3)->data2, 10u);
  context::leave_frame(context);
  EXPECT_EQ(raised_id([&] { word::get(b); }), "not-in-context");
}

TEST_F(ContextTest, SettingAnObjectFieldMarksItChanged) {
  NodeId context = context::create(2, false, true, nullptr, context::KIND_OBJECT);
  Cell a = word::unbound(symbol::make("a"));
  Cell b = word::unbound(symbol::make("b"));
  context::add_word(context, &a);
  context::add_word(context, &b);
  Cell body = block_of({"b"});
  context::bind(&body, context, false);
  Cell two = integer(2);
  context::set(block::abs_at(&body, 0), &two);
  EXPECT_FALSE(context::word_at(context, 0)->header & context::kChangedMark);
  EXPECT_TRUE(context::word_at(context, 1)->header & context::kChangedMark);
  EXPECT_EQ(context::value_at(context, 1)->data2, 2u);
}

TEST_F(ContextTest, GlobalCaseVariantSharesItsTwinsSlot) {
  Cell one = integer(1);
  context::set_global(symbol::make("Shared"), &one);
  Cell variant = context::load_global(symbol::make("SHARED"));
  EXPECT_EQ(word::symbol_of(&variant), symbol::make("SHARED"));
  EXPECT_EQ(word::get(&variant)->data2, 1u);
  EXPECT_EQ(context::global_slot_of(symbol::make("shared"))->data2, 1u);
  EXPECT_EQ(context::global_slot_of(symbol::make("never-made")), nullptr);
}

// A caseless lookup may meet any spelling of a name first, the more so once the table has grown
// and re-placed its entries: a third spelling must still reach the slot of the first.
TEST_F(ContextTest, EverySpellingOfAGlobalNameSharesOneSlotThroughGrowth) {
  constexpr int32_t kNames = 7000;   // two spellings each: enough to grow the global table
  for (int32_t i = 0; i < kNames; ++i) {
    Cell value = integer(i);
    context::set_global(symbol::make("Name-" + std::to_string(i)), &value);
    context::load_global(symbol::make("NAME-" + std::to_string(i)));
  }
  for (int32_t i = 0; i < kNames; ++i) {
    Cell third = context::load_global(symbol::make("name-" + std::to_string(i)));
    ASSERT_EQ(word::get(&third)->data2, uint32_t(i)) << i;
  }
}

TEST_F(ContextTest, CollectSetWordsAddsTopLevelSetWordsOnly) {
  NodeId context = context::create(2, false, true, nullptr, context::KIND_OBJECT);
  Cell spec = block_of({"a", "b"}, TYPE_SET_WORD);
  Cell nested = block_of({"deep"}, TYPE_SET_WORD);
  block::append_cell(&spec, &nested);
  EXPECT_TRUE(context::collect_set_words(context, &spec));
  EXPECT_EQ(context::word_count(context), 2);
  EXPECT_FALSE(context::collect_set_words(context, &spec));
}

TEST_F(ContextTest, CloneRebindsTheWordsToTheNewContext) {
  NodeId context = context::create(2, false, true, nullptr, context::KIND_OBJECT);
  Cell a = word::unbound(symbol::make("a"));
  context::add_word(context, &a);
  Cell object{TYPE_OBJECT, context, 0, 0};
  NodeId copy = context::clone_for(&object, context::KIND_OBJECT);
  EXPECT_NE(copy, context);
  EXPECT_EQ(object.data1, copy);
  EXPECT_EQ(context::word_count(copy), 1);
  EXPECT_EQ(word::context_of(context::word_at(copy, 0)), copy);
  EXPECT_TRUE(context::context_cell(copy)->header & context::kObjectFlag);
}

// bound_slot reads every word as word 2's first cell + word 3 + the index: a heap context's
// word 3 is 0 however it was made, and a function context's is its frame's offset.
TEST_F(ContextTest, HeapContextsKeepWordThreeZeroSoOneSumReadsEveryWord) {
  Cell a = word::unbound(symbol::make("a"));
  Cell b = word::unbound(symbol::make("b"));
  NodeId object_context = context::create(1, false, true, nullptr, context::KIND_OBJECT);
  context::add_word(object_context, &a);
  context::add_word(object_context, &b);   // grows the values past the size asked
  Cell object{TYPE_OBJECT, object_context, 0, 0};
  const NodeId plain = context::create(2, false, false, nullptr, context::KIND_PLAIN);
  const NodeId clone = context::clone_for(&object, context::KIND_OBJECT);
  for (NodeId context : {object_context, plain, context::global(), clone})
    EXPECT_EQ(context::context_cell(context)->data3, 0u);

  Cell seven = integer(7);
  context::put_value(clone, &b, &seven);
  Cell read = b;
  context::bind_word(clone, &read);
  uint32_t flags;
  ASSERT_NE(context::bound_slot(&read, &flags), nullptr);
  EXPECT_EQ(context::bound_slot(&read, &flags)->data2, 7u);

  Cell spec = block_of({"x", "y"});
  const NodeId function = context::make_function_context(&spec, true, false, context::KIND_FUNCTION);
  Cell frame;
  block::make_at(&frame, 5);
  for (int32_t i = 0; i < 5; ++i) {
    Cell value = integer(i);
    block::append_cell(&frame, &value);
  }
  Cell y = word::unbound(symbol::make("y"));
  context::bind_word(function, &y);
  context::enter_frame(function, frame.node(), 3);
  EXPECT_EQ(context::bound_slot(&y, &flags)->data2, 4u);
  context::leave_frame(function);
  EXPECT_EQ(context::bound_slot(&y, &flags), nullptr);
  EXPECT_EQ(context::context_cell(function)->data3, 0u);
}

// The names "w0".."w<count-1>" added to the context as words, in order.
void add_numbered_words(NodeId context, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    Cell word = word::unbound(symbol::make("w" + std::to_string(i)));
    context::add_word(context, &word);
  }
}

int32_t find_numbered(NodeId context, const char* prefix, int32_t i, bool caseless) {
  return context::find_word(context, symbol::make(prefix + std::to_string(i)), caseless);
}

TEST_F(ContextTest, AWordTableGrowsPastItsSizeAndKeepsEveryLookup) {
  constexpr int32_t kWords = 300;   // a context made for one word grows several times
  NodeId context = context::create(1, false, false, nullptr, context::KIND_PLAIN);
  add_numbered_words(context, kWords);
  ASSERT_EQ(context::word_count(context), kWords);
  for (int32_t i = 0; i < kWords; ++i) {
    ASSERT_EQ(find_numbered(context, "w", i, false), i);
    ASSERT_EQ(find_numbered(context, "W", i, false), -1);   // another spelling: not exact
    ASSERT_EQ(find_numbered(context, "W", i, true), i);
  }
  EXPECT_EQ(find_numbered(context, "w", kWords, true), -1);
}

TEST_F(ContextTest, ACloneAndItsOriginalGrowApart) {
  NodeId context = context::create(2, false, true, nullptr, context::KIND_OBJECT);
  add_numbered_words(context, 2);
  Cell object{TYPE_OBJECT, context, 0, 0};
  NodeId copy = context::clone_for(&object, context::KIND_OBJECT);

  Cell only_in_copy = word::unbound(symbol::make("copy-only"));
  context::add_word(copy, &only_in_copy);
  Cell only_in_original = word::unbound(symbol::make("original-only"));
  context::add_word(context, &only_in_original);

  EXPECT_EQ(find_numbered(copy, "W", 1, true), 1);
  EXPECT_EQ(context::find_word(copy, symbol::make("copy-only"), false), 2);
  EXPECT_EQ(context::find_word(copy, symbol::make("original-only"), false), -1);
  EXPECT_EQ(context::find_word(context, symbol::make("copy-only"), false), -1);
  EXPECT_EQ(context::find_word(context, symbol::make("original-only"), false), 2);
}

// Word tables hang off context! cells: a collection must keep (and may move) every part of
// them, for contexts reached from the root block as for the global one.
TEST_F(ContextTest, WordTablesSurviveACollection) {
  constexpr int32_t kWords = 40;
  NodeId context = context::create(1, false, true, nullptr, context::KIND_OBJECT);
  Cell object{TYPE_OBJECT, context, 0, 0};
  block::append_cell(block::root(), &object);
  add_numbered_words(context, kWords);
  NodeId copy = context::clone_for(&object, context::KIND_OBJECT);
  block::append_cell(block::root(), &object);
  Cell global_one = integer(1);
  context::set_global(symbol::make("survivor"), &global_one);

  Cell garbage;
  for (int32_t i = 0; i < kWords; ++i) block::make_at(&garbage, 100);   // to slide over
  collector::collect();

  for (int32_t i = 0; i < kWords; ++i) {
    ASSERT_EQ(find_numbered(context, "W", i, true), i);
    ASSERT_EQ(find_numbered(copy, "w", i, false), i);
  }
  EXPECT_EQ(context::global_slot_of(symbol::make("SURVIVOR"))->data2, 1u);
}

}  // namespace
}  // namespace xol
