// object!: make with its class ids, copy with method cloning, the change hooks, printed forms,
// reflection and comparison.
#include "tests/unit/objects_fixture.h"

namespace xol::testing {
namespace {

class ObjectTest : public ObjectsTest {
 protected:
  static int32_t int_field(const Cell& object, const char* name) {
    Cell value = field_of(object, name);
    return integer::get(&value);
  }
};

TEST_F(ObjectTest, MakeEvaluatesTheSpecWithSelfBound) {
  Cell made = make_object({set_w("a"), num(1), set_w("b"), w("a"), set_w("me"), w("self")});
  Cell a_value = field_of(made, "a");
  EXPECT_EQ(integer::get(&a_value), 1);
  Cell b = field_of(made, "b");
  EXPECT_EQ(integer::get(&b), 1);
  Cell me = field_of(made, "me");
  EXPECT_TRUE(me.is(TYPE_OBJECT));
  EXPECT_EQ(object::context_of(&me), object::context_of(&made));
  Cell spec = num(1);
  Cell type = datatype::make(TYPE_OBJECT), result;
  EXPECT_EQ(raised([&] { object::make(&type, &spec, TYPE_OBJECT, &result); }),
            "syntax malconstruct");
}

TEST_F(ObjectTest, ClassIdsFollowTheShape) {
  Cell base = make_object({set_w("a"), num(1)});
  Cell same_shape = make_object({set_w("a"), num(2)}, &base);
  Cell grown = make_object({set_w("c"), num(3)}, &base);
  EXPECT_GT(object::class_of(&base), object::kPortClass);
  EXPECT_EQ(object::class_of(&same_shape), object::class_of(&base));
  EXPECT_NE(object::class_of(&grown), object::class_of(&base));
  EXPECT_EQ(object::field_count(&grown), 2);
  Cell a = field_of(same_shape, "a");
  EXPECT_EQ(integer::get(&a), 2);
  EXPECT_EQ(int_field(base, "a"), 1);
}

TEST_F(ObjectTest, OnChangeFiresAfterEachPathSetNeverDuringMake) {
  Cell hook = func({w("word"), w("old"), w("new")}, {});
  Cell made = make_object({set_w("a"), num(1), set_w("on-change*"), hook});
  EXPECT_TRUE(calls.empty());
  set_path(made, "a", num(5));
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].name, "on-change*");
  ASSERT_EQ(calls[0].args.size(), 3u);
  EXPECT_EQ(name_of(calls[0].args[0]), "a");
  EXPECT_EQ(integer::get(&calls[0].args[1]), 1);
  EXPECT_EQ(integer::get(&calls[0].args[2]), 5);
  EXPECT_EQ(int_field(made, "a"), 5);
  Cell derived = make_object({set_w("a"), num(7)}, &made);
  EXPECT_EQ(calls.size(), 1u) << "a prototype's hook stays quiet while the spec runs";
  set_path(derived, "a", num(8));
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(integer::get(&calls[1].args[1]), 7);
  Cell field = w("changed"), changed;
  object::reflect(&made, &field, &changed);
  EXPECT_EQ(molded(changed), "[a]");
  Cell none_value = none(), modified;
  object::modify(&made, &field, &none_value, false, &modified);
  object::reflect(&made, &field, &changed);
  EXPECT_EQ(molded(changed), "[]");
}

TEST_F(ObjectTest, OnDeepChangeReceivesItsSevenArguments) {
  Cell hook = func({w("owner"), w("word"), w("target"), w("action"), w("new"), w("index"),
                    w("part")}, {});
  Cell made = make_object({set_w("items"), blk({num(1)}), set_w("on-deep-change*"), hook});
  EXPECT_TRUE(object::has_deep_hook(&made));
  Cell items = field_of(made, "items");
  Cell action = words::w.append, value = num(2), word = w("items");
  object::fire_on_deep_change(&made, &word, &items, &action, &value, 1, 1);
  ASSERT_EQ(calls.size(), 1u);
  const std::vector<Cell>& args = calls[0].args;
  ASSERT_EQ(args.size(), 7u);
  EXPECT_EQ(object::context_of(&args[0]), object::context_of(&made));
  EXPECT_EQ(name_of(args[1]), "items");
  EXPECT_EQ(args[2].node(), items.node());
  EXPECT_EQ(name_of(args[3]), "append");
  EXPECT_EQ(integer::get(&args[4]), 2);
  EXPECT_EQ(integer::get(&args[5]), 1);
  EXPECT_EQ(integer::get(&args[6]), 1);
  Cell plain = make_object({set_w("a"), num(1)});
  EXPECT_EQ(raised([&] { object::fire_on_deep_change(&plain, &word, &items, &action, nullptr,
                                                      0, 0); }),
            "script invalid-obj-evt");
}

// Without a caller of its own a hook goes to the evaluator's function-call service, named by
// its hook word.
TEST_F(ObjectTest, HooksRunThroughTheEvaluatorService) {
  hooks::set_caller(nullptr);
  Cell hook = func({w("word"), w("old"), w("new")}, {});
  Cell made = make_object({set_w("a"), num(1), set_w("on-change*"), hook});
  set_path(made, "a", num(2));
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].name, "on-change*");
  ASSERT_EQ(calls[0].args.size(), 3u);
  EXPECT_EQ(integer::get(&calls[0].args[2]), 2);
}

TEST_F(ObjectTest, HookFieldsMustHoldFunctions) {
  EXPECT_EQ(raised([&] { make_object({set_w("on-change*"), num(1)}); }), "script bad-field-set");
}

TEST_F(ObjectTest, CopyClonesMethodsAndKeepsTheClass) {
  Cell method = func({}, {w("a")});
  Cell made = make_object({set_w("a"), blk({num(1)}), set_w("get-a"), method});
  Cell deep;
  object::copy(&made, nullptr, true, nullptr, &deep);
  EXPECT_NE(object::context_of(&deep), object::context_of(&made));
  EXPECT_EQ(object::class_of(&deep), object::class_of(&made));
  EXPECT_NE(field_of(deep, "a").node(), field_of(made, "a").node());
  Cell clone = field_of(deep, "get-a");
  Cell body = *function::body(&clone);
  EXPECT_EQ(word::context_of(block::head(&body)), object::context_of(&deep));
  EXPECT_NE(compared(clone, field_of(made, "get-a"), COMP_EQUAL), 0);
  Cell part = num(1), result;
  EXPECT_EQ(raised([&] { object::copy(&made, &part, false, nullptr, &result); }),
            "script invalid-refine-arg");
}

TEST_F(ObjectTest, PrintedForms) {
  Cell made = make_object({set_w("a"), num(1), set_w("b"), none()});
  Cell b_word = w("b"), x_word = w("x");
  *object::select_slot(&made, &b_word) = x_word;
  EXPECT_EQ(molded(made), "make object! [\n    a: 1\n    b: 'x\n]");
  EXPECT_EQ(formed(made), "a: 1\nb: 'x");
  Cell buffer;
  text::make(&buffer, 16);
  object::mold(&made, &buffer, false, false, true, nullptr, kNoPartLimit, 0);
  EXPECT_EQ(text::view(&buffer), "make object! [a: 1 b: 'x]");
}

TEST_F(ObjectTest, MoldMarksAnObjectThatHoldsItself) {
  Cell made = make_object({set_w("a"), none()});
  Cell a = w("a");
  *object::select_slot(&made, &a) = made;
  EXPECT_EQ(molded(made), "make object! [\n    a: make object! [...]\n]");
}

TEST_F(ObjectTest, CompareWalksFieldsInOrder) {
  Cell one = make_object({set_w("a"), num(1)});
  Cell other_one = make_object({set_w("a"), num(1)});
  Cell two = make_object({set_w("a"), num(2)});
  EXPECT_EQ(compared(one, other_one, COMP_EQUAL), 0);
  EXPECT_EQ(compared(one, other_one, COMP_SAME), -1);
  EXPECT_EQ(compared(one, two, COMP_LESSER), -1);
  EXPECT_EQ(compared(one, one, COMP_SAME), 0);
  Cell number = num(1);
  EXPECT_EQ(compared(one, number, COMP_EQUAL), kNotComparable);
}

TEST_F(ObjectTest, SelectAndConstruct) {
  Cell made = make_object({set_w("a"), num(1)});
  Cell key = num(1), result;
  EXPECT_EQ(raised([&] { object::select(&made, &key, FindOptions{}, &result); }),
            "script invalid-type");
  Cell missing = w("z");
  object::select(&made, &missing, FindOptions{}, &result);
  EXPECT_TRUE(result.is(TYPE_NONE));

  Cell spec = blk({set_w("a"), set_w("b"), num(1), set_w("c"), w("on"), set_w("d")});
  Cell built;
  object::construct(nullptr, &spec, false, &built);
  EXPECT_EQ(int_field(built, "a"), 1);
  EXPECT_EQ(int_field(built, "b"), 1);
  Cell c = field_of(built, "c");
  EXPECT_TRUE(c.is(TYPE_LOGIC) && logic::get(&c));
  EXPECT_TRUE(field_of(built, "d").is(TYPE_NONE));
}

TEST_F(ObjectTest, SetFromSpreadsABlockAndFiresHooks) {
  Cell hook = func({w("word"), w("old"), w("new")}, {});
  Cell made = make_object({set_w("a"), num(1), set_w("b"), num(2), set_w("on-change*"), hook});
  Cell source = blk({num(10)});
  object::set_from(&made, &source, false, false, false);
  EXPECT_EQ(int_field(made, "a"), 10);
  EXPECT_TRUE(field_of(made, "b").is(TYPE_NONE));
  EXPECT_TRUE(field_of(made, "on-change*").is(TYPE_FUNCTION));
  EXPECT_EQ(calls.size(), 2u);
  Cell unset_source = blk({Cell{TYPE_UNSET, 0, 0, 0}});
  EXPECT_EQ(raised([&] { object::set_from(&made, &unset_source, false, false, false); }),
            "script need-value");
}

}  // namespace
}  // namespace xol::testing
