// Contexts: adding and finding words, reading and writing slots, binding.
#include <gtest/gtest.h>

#include "runtime/eval/error_raise.h"
#include "value_layer_fixture.h"

namespace xol {
namespace {

using ContextTest = testing::ValueLayerTest;

Cell integer(int32_t value) { return Cell{TYPE_INTEGER, 0, uint32_t(value), 0}; }

std::string raised_id(auto&& body) {
  try {
    body();
  } catch (const error::Raised& raised) {
    return std::string(raised.id);
  }
  return "";
}

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

}  // namespace
}  // namespace xol
