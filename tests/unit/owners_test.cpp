// The owners table: recording owned series, notifying owners through their hook, and letting
// go of owners that died.
#include <gtest/gtest.h>

#include <vector>

#include "runtime/datatypes/string.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/datatypes/hooks.h"
#include "value_layer_fixture.h"

namespace xol {
namespace {

// What the test caller saw of each hook call.
struct Call {
  hooks::Hook hook;
  int32_t field_symbol;
  NodeId target;
  int32_t action_symbol;
};
std::vector<Call> calls;

void record_call(const Cell*, hooks::Hook hook, const Cell* args, int32_t) {
  calls.push_back({hook, word::symbol_of(&args[1]), args[2].node(), word::symbol_of(&args[3])});
}

constexpr uint32_t kNoHookField = 0xFFFFu << 16;

class OwnersTest : public testing::ValueLayerTest {
 protected:
  void SetUp() override {
    ValueLayerTest::SetUp();
    calls.clear();
    hooks::set_caller(record_call);
  }
  void TearDown() override {
    hooks::set_caller(nullptr);
    ValueLayerTest::TearDown();
  }

  // A function! value whose spec takes `arity` arguments.
  static Cell function_of_arity(int32_t arity) {
    Cell spec;
    block::make_at(&spec, arity);
    for (int32_t i = 0; i < arity; ++i) {
      Cell argument = word::unbound(symbol::make("arg" + std::to_string(i)));
      block::append_cell(&spec, &argument);
    }
    return Cell{TYPE_FUNCTION, kNoNode, spec.node(), kNoNode};
  }

  // An object with the fields `data` and on-deep-change* (a hook taking `arity` arguments).
  static Cell object_with_hook(const Cell& data, int32_t arity = hooks::kOnDeepChangeArity) {
    NodeId context = context::create(2, false, true, nullptr, context::KIND_OBJECT);
    Cell data_word = word::unbound(symbol::make("data"));
    Cell hook_word = word::unbound(symbol::make("on-deep-change*"));
    context::put_value(context, &data_word, &data);
    Cell hook = function_of_arity(arity);
    int32_t hook_index = context::add_word(context, &hook_word);
    *context::value_at(context, hook_index) = hook;

    NodeId record = memory::alloc_cells(2);
    Cell* entries = memory::buffer_of(record)->cells();
    entries[hooks::ON_CHANGE] = Cell{TYPE_PAIR, 0, kNoHookField, 0};
    entries[hooks::ON_DEEP_CHANGE] = Cell{TYPE_PAIR, 0, uint32_t(hook_index) << 16, 0};
    memory::buffer_of(record)->tail = 2 * sizeof(Cell);

    Cell object{TYPE_OBJECT, context, 0, record};
    *context::owner_cell(context) = object;
    return object;
  }

  static void own_fields(const Cell& object) {
    Cell owner = object;
    Cell* data = context::value_at(object.data1, 0);
    Cell field_word = *context::word_at(object.data1, 0);
    ownership::set_deep_flag(data, &owner, &field_word);
  }

  static Cell nested_block() {
    Cell outer, inner;
    block::make_at(&outer, 2);
    block::make_at(&inner, 2);
    Cell one{TYPE_INTEGER, 0, 1, 0};
    block::append_cell(&inner, &one);
    block::append_cell(&outer, &inner);
    return outer;
  }
};

TEST_F(OwnersTest, ChangeIsNotifiedBeforeAndAfterInOrder) {
  Cell outer = nested_block();
  Cell object = object_with_hook(outer);
  own_fields(object);
  Cell inner = *block::abs_at(&outer, 0);

  EXPECT_TRUE(ownership::check(&inner, &words::w.append, nullptr, 0, 1));
  EXPECT_TRUE(ownership::check(&inner, &words::w.appended, nullptr, 1, 1));
  ASSERT_EQ(calls.size(), 2u);
  int32_t data_symbol = symbol::make("data");
  EXPECT_EQ(calls[0].hook, hooks::ON_DEEP_CHANGE);
  EXPECT_EQ(calls[0].field_symbol, data_symbol);   // the outermost field
  EXPECT_EQ(calls[0].target, inner.node());
  EXPECT_EQ(calls[0].action_symbol, word::symbol_of(&words::w.append));
  EXPECT_EQ(calls[1].action_symbol, word::symbol_of(&words::w.appended));
}

// Text takes a shorter way into a string that no owner watches; an owned one still announces
// the change before and after, whatever is added where.
TEST_F(OwnersTest, AddingToAnOwnedStringIsNotifiedBeforeAndAfter) {
  struct Case {
    const char* what;
    bool text;   // else the char! "c"
    bool at_tail;
    const Cell* before;
    const Cell* after;
    const char* expected;
  };
  const words::Words& w = words::w;
  const Case cases[] = {
      {"append text", true, true, &w.append, &w.appended, "abc"},
      {"append a char", false, true, &w.append, &w.appended, "abc"},
      {"insert text", true, false, &w.insert, &w.inserted, "cab"},
  };
  for (const Case& c : cases) {
    calls.clear();
    Cell text, value, result;
    string::load_utf8(&text, "ab");
    if (c.text)
      string::load_utf8(&value, "c");
    else
      value = Cell{TYPE_CHAR, 0, 'c', 0};
    own_fields(object_with_hook(text));
    string::insert(&text, &value, {}, c.at_tail, &result);
    ASSERT_EQ(calls.size(), 2u) << c.what;
    EXPECT_EQ(calls[0].target, text.node()) << c.what;
    EXPECT_EQ(calls[0].action_symbol, word::symbol_of(c.before)) << c.what;
    EXPECT_EQ(calls[1].action_symbol, word::symbol_of(c.after)) << c.what;
    result.data1 = 0;
    EXPECT_EQ(text::view(&result), c.expected) << c.what;
  }
}

TEST_F(OwnersTest, SeriesWithoutOwnerNotifiesNobody) {
  Cell lonely = nested_block();
  EXPECT_FALSE(ownership::check(&lonely, &words::w.append, nullptr, 0, 1));
  EXPECT_TRUE(calls.empty());
}

TEST_F(OwnersTest, HookWithTheWrongArityRaisesInsteadOfBeingCalled) {
  Cell outer = nested_block();
  Cell object = object_with_hook(outer, hooks::kOnChangeArity);
  own_fields(object);
  try {
    ownership::check(&outer, &words::w.clear, nullptr, 0, 1);
    FAIL() << "a hook of three arguments must not take seven";
  } catch (const error::Raised& raised) {
    EXPECT_STREQ(raised.id, "invalid-obj-evt");
  }
  EXPECT_TRUE(calls.empty());
}

TEST_F(OwnersTest, ArgumentCountStopsAtTheFirstRefinement) {
  Cell function = function_of_arity(2);
  Cell spec{TYPE_BLOCK, 0, function.data2, 0};
  Cell local = word::unbound(symbol::make("local"), TYPE_REFINEMENT);
  Cell later = word::unbound(symbol::make("later"));
  block::append_cell(&spec, &local);
  block::append_cell(&spec, &later);
  EXPECT_EQ(hooks::argument_count(&function), 2);
  EXPECT_EQ(hooks::argument_count(&none::value), -1);
}

TEST_F(OwnersTest, ASelfContainingBlockIsWalkedOnceAndKeepsItsFirstOwner) {
  Cell cyclic = nested_block();
  block::append_cell(&cyclic, &cyclic);
  Cell first = object_with_hook(cyclic);
  own_fields(first);
  EXPECT_EQ(ownership::size(), 2u);   // the block and its inner block

  Cell second = object_with_hook(cyclic);
  own_fields(second);
  EXPECT_EQ(ownership::size(), 2u);
  EXPECT_EQ(ownership::find(cyclic.node())->data1, first.data1);
}

TEST_F(OwnersTest, AnOwnerInItsOwnFieldIsNotWalked) {
  Cell placeholder = none::value;
  Cell object = object_with_hook(placeholder);
  *context::value_at(object.data1, 0) = object;
  own_fields(object);
  EXPECT_EQ(ownership::size(), 0u);
}

TEST_F(OwnersTest, UnbindReleasesTheSeriesAndWhatItHolds) {
  Cell outer = nested_block();
  Cell object = object_with_hook(outer);
  own_fields(object);
  ownership::unbind(&outer);
  EXPECT_EQ(ownership::size(), 0u);
  EXPECT_FALSE(memory::buffer_of(outer.node())->flags & memory::FLAG_OWNED);
  EXPECT_FALSE(ownership::check(&outer, &words::w.clear, nullptr, 0, 1));
}

// Makes an owner of `series` that nothing keeps alive once this returns.
[[gnu::noinline]] void own_by_a_passing_object(Cell* series) {
  NodeId context = context::create(1, false, true, nullptr, context::KIND_OBJECT);
  Cell field = word::unbound(symbol::make("data"));
  context::put_value(context, &field, series);
  Cell owner{TYPE_OBJECT, context, 0, kNoNode};
  ownership::set_deep(series, &owner, &field);
}

TEST_F(OwnersTest, OwnershipIsWeakAndADeadOwnersSeriesCanBeOwnedAgain) {
  Cell* kept = block::make_in(block::root(), 2);
  Cell series = *kept;
  own_by_a_passing_object(&series);
  ASSERT_EQ(ownership::size(), 1u);

  collector::collect();
  EXPECT_EQ(ownership::size(), 0u);
  EXPECT_FALSE(memory::buffer_of(series.node())->flags & memory::FLAG_OWNED);

  Cell object = object_with_hook(series);
  own_fields(object);
  EXPECT_TRUE(ownership::check(&series, &words::w.clear, nullptr, 0, 0));
  EXPECT_EQ(calls.size(), 1u);
}

TEST_F(OwnersTest, TheTableGrowsPastItsSizeAndUnbindRemovesOnlyItsSeries) {
  constexpr int32_t kSeries = 2500;   // more than the table is made for
  Cell placeholder = none::value;
  Cell object = object_with_hook(placeholder);
  Cell field_word = *context::word_at(object.data1, 0);
  Cell all;
  block::make_at(&all, kSeries);
  for (int32_t i = 0; i < kSeries; ++i) {
    Cell series;
    block::make_at(&series, 1);
    block::append_cell(&all, &series);
    ownership::set_deep(block::abs_at(&all, uint32_t(i)), &object, &field_word);
  }
  ASSERT_EQ(ownership::size(), uint32_t(kSeries));
  for (int32_t i = 0; i < kSeries; i += 2) ownership::unbind(block::abs_at(&all, uint32_t(i)));
  EXPECT_EQ(ownership::size(), uint32_t(kSeries / 2));
  for (int32_t i = 0; i < kSeries; ++i) {
    const Cell* owner = ownership::find(block::abs_at(&all, uint32_t(i))->node());
    if (i % 2) ASSERT_TRUE(owner && owner->data1 == object.data1) << i;
    else ASSERT_EQ(owner, nullptr) << i;
  }
}

TEST_F(OwnersTest, LiveOwnersKeepTheirRecordsAcrossACollection) {
  Cell outer = nested_block();
  Cell object = object_with_hook(outer);
  block::append_cell(block::root(), &object);
  own_fields(object);
  ASSERT_EQ(ownership::size(), 2u);

  collector::collect();
  EXPECT_EQ(ownership::size(), 2u);
  Cell inner = *block::abs_at(&outer, 0);
  EXPECT_TRUE(memory::buffer_of(inner.node())->flags & memory::FLAG_OWNED);
  EXPECT_TRUE(ownership::check(&inner, &words::w.append, nullptr, 0, 1));
  EXPECT_EQ(calls.size(), 1u);
}

}  // namespace
}  // namespace xol
