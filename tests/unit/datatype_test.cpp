// Datatype registration, the action rows, and the datatype!, unset!, none! and logic! values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/datatypes/error_raise.h"
#include "value_layer_fixture.h"

namespace xol {
namespace {

using testing::ValueLayerTest;

// Two ids no real type uses, for registering test types.
constexpr int32_t kParentId = 55;
constexpr int32_t kChildId = 56;

int32_t parent_form(const Cell*, Cell*, const Cell*, int32_t part) { return part - 1; }
int32_t other_form(const Cell*, Cell*, const Cell*, int32_t part) { return part - 2; }
int32_t parent_compare(const Cell*, const Cell*, int32_t) { return 0; }

class ActionRowTest : public ValueLayerTest {};

TEST_F(ActionRowTest, InheritMarkCopiesParentEntryAndEmptySlotRaises) {
  datatype::register_type(kParentId, 0, "parent!",
                          actions::ActionList()
                              .own(actions::own<ACT_FORM>(parent_form))
                              .own(actions::own<ACT_COMPARE>(parent_compare)));
  datatype::register_type(kChildId, kParentId, "child!",
                          actions::ActionList().inherit({ACT_FORM, ACT_MOLD}));

  EXPECT_EQ(actions::find<ACT_FORM>(TypeId(kChildId)), &parent_form);
  // Inherited from a parent slot that is empty: stays empty.
  EXPECT_EQ(actions::find<ACT_MOLD>(TypeId(kChildId)), nullptr);
  // Not inherited at all, though the parent has it.
  EXPECT_EQ(actions::find<ACT_COMPARE>(TypeId(kChildId)), nullptr);
  EXPECT_EQ(raised_id([] { actions::get<ACT_COMPARE>(TypeId(kChildId)); }), "expect-arg");
  EXPECT_EQ(datatype::highest_type(), kChildId);
}

TEST_F(ActionRowTest, InheritanceIsResolvedOnceAtRegistration) {
  datatype::register_type(kParentId, 0, "parent!",
                          actions::ActionList().own(actions::own<ACT_FORM>(parent_form)));
  datatype::register_type(kChildId, kParentId, "child!", actions::ActionList().inherit({ACT_FORM}));
  datatype::register_type(kParentId, 0, "parent!",
                          actions::ActionList().own(actions::own<ACT_FORM>(other_form)));
  EXPECT_EQ(actions::find<ACT_FORM>(TypeId(kChildId)), &parent_form);
}

TEST_F(ActionRowTest, UnsupportedActionNamesTheActionAndTheType) {
  try {
    actions::get<ACT_APPEND>(TYPE_LOGIC);
    FAIL() << "append of logic! must raise";
  } catch (const error::Raised& raised) {
    EXPECT_EQ(raised.category, error::CAT_SCRIPT);
    EXPECT_EQ(symbol::name(word::symbol_of(&raised.args[0])), "append");
    EXPECT_EQ(raised.args[1].data1, uint32_t(TYPE_LOGIC));
  }
}

// The routine in a type's slot of an action as an address, null when the slot is empty.
const void* slot_of(int32_t type, int action) {
  const void* routine;
  std::memcpy(&routine, &datatype::row(type).slots[action], sizeof routine);
  return routine;
}

int32_t child_mold(const Cell*, Cell*, bool, bool, bool, const Cell*, int32_t part, int32_t) {
  return part;
}

TEST_F(ActionRowTest, ActionListPlacesEachEntryByItsActionInAnyOrder) {
  datatype::register_type(kParentId, 0, "parent!",
                          actions::ActionList()
                              .own(actions::own<ACT_FORM>(parent_form))
                              .own(actions::own<ACT_COMPARE>(parent_compare)));
  // Given out of action order; the routine given after an inherit mark of its action wins.
  datatype::register_type(kChildId, kParentId, "child!",
                          actions::ActionList()
                              .inherit({ACT_COMPARE, ACT_FORM})
                              .own(actions::own<ACT_MOLD>(child_mold))
                              .own(actions::own<ACT_FORM>(other_form)));
  for (int action = 1; action <= kActionCount; ++action) {
    const void* expected = action == ACT_FORM      ? reinterpret_cast<const void*>(other_form)
                           : action == ACT_MOLD    ? reinterpret_cast<const void*>(child_mold)
                           : action == ACT_COMPARE ? reinterpret_cast<const void*>(parent_compare)
                                                   : nullptr;
    EXPECT_EQ(slot_of(kChildId, action), expected) << "action " << action;
  }
}

// The rows of the numeric types: the actions each has a routine of its own for (one that is
// not its parent's), those it takes from its parent, and no other.
struct NumericRow {
  int32_t type, parent;  // parent 0: none
  std::vector<Action> own, inherited;
};

TEST_F(ActionRowTest, NumericTypesHaveTheirOwnAndInheritedActions) {
  const NumericRow rows[] = {
      {TYPE_INTEGER, 0,
       {ACT_MAKE, ACT_RANDOM, ACT_TO, ACT_FORM, ACT_MOLD, ACT_COMPARE, ACT_ABSOLUTE, ACT_ADD,
        ACT_DIVIDE, ACT_MULTIPLY, ACT_NEGATE, ACT_POWER, ACT_REMAINDER, ACT_ROUND, ACT_SUBTRACT,
        ACT_EVEN, ACT_ODD, ACT_AND, ACT_COMPLEMENT, ACT_OR, ACT_XOR},
       {}},
      {TYPE_FLOAT, 0,
       {ACT_MAKE, ACT_RANDOM, ACT_TO, ACT_FORM, ACT_MOLD, ACT_COMPARE, ACT_ABSOLUTE, ACT_ADD,
        ACT_DIVIDE, ACT_MULTIPLY, ACT_NEGATE, ACT_POWER, ACT_REMAINDER, ACT_ROUND, ACT_SUBTRACT,
        ACT_EVEN, ACT_ODD},
       {}},
      {TYPE_PERCENT, TYPE_FLOAT,
       {ACT_FORM, ACT_MOLD},
       {ACT_MAKE, ACT_RANDOM, ACT_TO, ACT_COMPARE, ACT_ABSOLUTE, ACT_ADD, ACT_DIVIDE,
        ACT_MULTIPLY, ACT_NEGATE, ACT_POWER, ACT_REMAINDER, ACT_ROUND, ACT_SUBTRACT, ACT_EVEN,
        ACT_ODD}},
      {TYPE_TIME, TYPE_FLOAT,
       {ACT_MAKE, ACT_TO, ACT_FORM, ACT_MOLD, ACT_EVAL_PATH, ACT_ADD, ACT_DIVIDE, ACT_MULTIPLY,
        ACT_ROUND, ACT_SUBTRACT, ACT_EVEN, ACT_ODD, ACT_PICK},
       {ACT_RANDOM, ACT_COMPARE, ACT_ABSOLUTE, ACT_NEGATE, ACT_REMAINDER}},
      {TYPE_DATE, 0,
       {ACT_MAKE, ACT_RANDOM, ACT_TO, ACT_FORM, ACT_MOLD, ACT_EVAL_PATH, ACT_COMPARE, ACT_ADD,
        ACT_SUBTRACT, ACT_PICK},
       {}},
      {TYPE_MONEY, 0,
       {ACT_MAKE, ACT_RANDOM, ACT_TO, ACT_FORM, ACT_MOLD, ACT_EVAL_PATH, ACT_COMPARE,
        ACT_ABSOLUTE, ACT_ADD, ACT_DIVIDE, ACT_MULTIPLY, ACT_NEGATE, ACT_REMAINDER, ACT_ROUND,
        ACT_SUBTRACT, ACT_EVEN, ACT_ODD, ACT_PICK},
       {}},
  };
  auto listed = [](const std::vector<Action>& actions, int action) {
    return std::find(actions.begin(), actions.end(), Action(action)) != actions.end();
  };
  for (const NumericRow& row : rows) {
    for (int action = 1; action <= kActionCount; ++action) {
      const void* routine = slot_of(row.type, action);
      const void* parents = row.parent ? slot_of(row.parent, action) : nullptr;
      const std::string where = std::string(datatype::entry(row.type).name) + " action " +
                                std::to_string(action);
      if (listed(row.own, action)) {
        EXPECT_NE(routine, nullptr) << where;
        EXPECT_NE(routine, parents) << where;
      } else if (listed(row.inherited, action)) {
        EXPECT_NE(routine, nullptr) << where;
        EXPECT_EQ(routine, parents) << where;
      } else {
        EXPECT_EQ(routine, nullptr) << where;
      }
    }
  }
  // make and to are one routine where the type converts as it makes.
  EXPECT_EQ(slot_of(TYPE_FLOAT, ACT_MAKE), slot_of(TYPE_FLOAT, ACT_TO));
  EXPECT_EQ(slot_of(TYPE_TIME, ACT_MAKE), slot_of(TYPE_TIME, ACT_TO));
  EXPECT_NE(slot_of(TYPE_INTEGER, ACT_MAKE), slot_of(TYPE_INTEGER, ACT_TO));
}

// ---- datatype! ----

class DatatypeValueTest : public ValueLayerTest {};

TEST_F(DatatypeValueTest, FormDropsTheMarkAndMoldAllWrapsTheName) {
  Cell logic_type = datatype::make(TYPE_LOGIC);
  EXPECT_EQ(formed(logic_type), "logic");
  EXPECT_EQ(molded(logic_type), "logic!");
  EXPECT_EQ(molded(logic_type, true), "#(logic!)");
}

TEST_F(DatatypeValueTest, ComparesOnlyForEquality) {
  Cell word_type = datatype::make(TYPE_WORD);
  Cell same = datatype::make(TYPE_WORD);
  Cell other = datatype::make(TYPE_ISSUE);
  Cell one{TYPE_INTEGER, 0, 1, 0};
  EXPECT_EQ(compared(word_type, same, COMP_EQUAL), 0);
  EXPECT_EQ(compared(word_type, other, COMP_EQUAL), 1);
  EXPECT_EQ(compared(word_type, one, COMP_NOT_EQUAL), 1);
  for (int32_t op : {COMP_LESSER, COMP_GREATER_EQUAL, COMP_SORT, COMP_FIND_STRICT})
    EXPECT_EQ(compared(word_type, same, op), kNotComparable) << "op " << op;
}

TEST_F(DatatypeValueTest, DatatypeWordsAreTheFirstSymbols) {
  for (TypeId type : {TYPE_DATATYPE, TYPE_UNSET, TYPE_NONE, TYPE_LOGIC}) {
    EXPECT_EQ(symbol::name(type), datatype::entry(type).name);
    EXPECT_EQ(word::symbol_of(&datatype::entry(type).word), int32_t(type));
  }
}

// ---- unset!, none!, logic! ----

class TruthTest : public ValueLayerTest {};

TEST_F(TruthTest, OnlyNoneAndFalseCountAsFalse) {
  Cell empty_block;
  block::make_at(&empty_block, 0);
  struct Case {
    Cell value;
    bool truth;
  } cases[] = {
      {none::value, false},           {logic::false_value, false}, {logic::true_value, true},
      {Cell{TYPE_INTEGER, 0, 0, 0}, true}, {empty_block, true},    {unset::value, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(logic::cell_true(&c.value, false, nullptr), c.truth) << c.value.type();
    EXPECT_EQ(logic::false_q(&c.value), !c.truth) << c.value.type();
  }
}

TEST_F(TruthTest, UnsetRaisesWhereAValueIsRequired) {
  Cell argument = word::load("cond");
  EXPECT_EQ(raised_id([&] { logic::cell_true(&unset::value, true, &argument); }), "no-value");
  EXPECT_EQ(raised_id([] { logic::true_q(&unset::value); }), "no-return");
}

TEST_F(TruthTest, MakeAndToLogicDifferOnNumbers) {
  Cell prototype = datatype::make(TYPE_LOGIC);
  Cell zero_float{TYPE_FLOAT, 0, 0, 0};
  Cell negative_zero{TYPE_FLOAT, 0, 0, 0};
  negative_zero.set_float_value(-0.0);
  Cell tiny{TYPE_FLOAT, 0, 0, 0};
  tiny.set_float_value(1e-300);
  Cell nan{TYPE_FLOAT, 0, 0, 0};
  nan.set_float_value(std::numeric_limits<double>::quiet_NaN());
  struct Case {
    Cell spec;
    bool made, converted;
  } cases[] = {
      {Cell{TYPE_INTEGER, 0, 0, 0}, false, true}, {Cell{TYPE_INTEGER, 0, 7, 0}, true, true},
      {zero_float, false, true},  {negative_zero, false, true}, {tiny, true, true},
      {nan, true, true},          {none::value, false, false},   {logic::false_value, false, false},
  };
  for (const Case& c : cases) {
    Cell result;
    actions::get<ACT_MAKE>(TYPE_LOGIC)(&prototype, &c.spec, TYPE_LOGIC, &result);
    EXPECT_EQ(logic::get(&result), c.made);
    actions::get<ACT_TO>(TYPE_LOGIC)(&prototype, &c.spec, TYPE_LOGIC, &result);
    EXPECT_EQ(logic::get(&result), c.converted);
  }
}

TEST_F(TruthTest, PrintedForms) {
  struct Case {
    Cell value;
    const char* form;
    const char* mold;
    const char* mold_all;
  } cases[] = {
      {unset::value, "", "unset", "#(unset)"},
      {none::value, "none", "none", "#(none)"},
      {logic::true_value, "true", "true", "#(true)"},
      {logic::false_value, "false", "false", "#(false)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(formed(c.value), c.form);
    EXPECT_EQ(molded(c.value), c.mold);
    EXPECT_EQ(molded(c.value, true), c.mold_all);
  }
}

TEST_F(TruthTest, ComparisonWithinEachTypeOnly) {
  EXPECT_EQ(compared(none::value, none::value, COMP_EQUAL), 0);
  EXPECT_EQ(compared(none::value, logic::false_value, COMP_EQUAL), kNotComparable);
  EXPECT_EQ(compared(none::value, none::value, COMP_LESSER), kNotComparable);
  EXPECT_EQ(compared(unset::value, unset::value, COMP_SAME), 0);
  EXPECT_EQ(compared(logic::false_value, logic::true_value, COMP_SORT), -1);
  EXPECT_EQ(compared(logic::true_value, logic::true_value, COMP_STRICT_EQUAL), 0);
  EXPECT_EQ(compared(logic::false_value, logic::true_value, COMP_LESSER), kNotComparable);
}

TEST_F(TruthTest, LogicOperations) {
  Cell result;
  Cell value = logic::true_value;
  actions::get<ACT_COMPLEMENT>(TYPE_LOGIC)(&value, &result);
  EXPECT_FALSE(logic::get(&result));
  struct Case {
    Action action;
    bool a, b, expected;
  } cases[] = {
      {ACT_AND, true, false, false}, {ACT_AND, true, true, true}, {ACT_OR, false, true, true},
      {ACT_OR, false, false, false}, {ACT_XOR, true, true, false}, {ACT_XOR, true, false, true},
  };
  for (const Case& c : cases) {
    Cell a = logic::make(c.a), b = logic::make(c.b);
    auto routine = c.action == ACT_AND  ? actions::get<ACT_AND>(TYPE_LOGIC)
                   : c.action == ACT_OR ? actions::get<ACT_OR>(TYPE_LOGIC)
                                        : actions::get<ACT_XOR>(TYPE_LOGIC);
    routine(&a, &b, &a);
    EXPECT_EQ(logic::get(&a), c.expected) << int(c.action) << c.a << c.b;
  }
  Cell one{TYPE_INTEGER, 0, 1, 0};
  EXPECT_EQ(raised_id([&] { actions::get<ACT_AND>(TYPE_LOGIC)(&value, &one, &result); }),
            "expect-arg");
}

TEST_F(TruthTest, SeriesActionsOnNoneAnswerNone) {
  Cell none_value = none::value;
  Cell result = logic::true_value;
  EXPECT_EQ(actions::get<ACT_LENGTH_Q>(TYPE_NONE)(&none_value), -1);
  actions::get<ACT_SELECT>(TYPE_NONE)(&none_value, &result, FindOptions{}, &result);
  EXPECT_TRUE(result.is(TYPE_NONE));
  result = logic::true_value;
  actions::get<ACT_CLEAR>(TYPE_NONE)(&none_value, &result);
  EXPECT_TRUE(result.is(TYPE_NONE));
  EXPECT_EQ(actions::find<ACT_APPEND>(TYPE_NONE), nullptr);
}

}  // namespace
}  // namespace xol
