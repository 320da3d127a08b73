// A fixture for the numeric datatypes: the value layer, then integer!, float!, percent!,
// time!, date! and money! registered, with helpers that call the actions through the action
// rows, build blocks and read raised errors as "category/id".
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/time.h"
#include "runtime/datatypes/error_raise.h"
#include "value_layer_fixture.h"

namespace xol::testing {

class NumberTest : public ValueLayerTest {
 protected:
  void SetUp() override {
    ValueLayerTest::SetUp();
    money::digits_option = 2;
  }

  static Cell flt(double value) { return floating::make(value); }
  static Cell pct(double value) { return percent::make(value); }
  static Cell tim(int32_t h, int32_t m, double s) { return time::make(h, m, s); }
  static Cell num(int32_t value) { return integer::make(value); }
  static double double_of(const Cell& value) { return value.float_value(); }
  static int32_t int_of(const Cell& value) { return integer::get(&value); }

  // A money! from its literal text: optional "-", optional currency code, "$", digits with an
  // optional "." and fraction.
  static Cell money_of(std::string_view text) {
    bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    size_t dollar = text.find('$');
    std::string_view code = text.substr(0, dollar), digits = text.substr(dollar + 1);
    size_t point = digits.find('.');
    std::string_view whole = digits.substr(0, point);
    std::string_view fraction = point == std::string_view::npos ? "" : digits.substr(point + 1);
    Cell result{};
    EXPECT_TRUE(money::make_from_digits(negative, code, whole, fraction, &result)) << text;
    return result;
  }

  static Cell block_of(std::initializer_list<Cell> items) {
    Cell block;
    block::make_at(&block, int32_t(items.size()));
    for (const Cell& item : items) block::append_cell(&block, &item);
    return block;
  }

  // Binary actions through the first operand's action row.
  static Cell apply(Action action, Cell a, Cell b) {
    Cell result;
    BinaryRoutine routine = nullptr;
    switch (action) {
      case ACT_ADD: routine = actions::get<ACT_ADD>(a.type()); break;
      case ACT_SUBTRACT: routine = actions::get<ACT_SUBTRACT>(a.type()); break;
      case ACT_MULTIPLY: routine = actions::get<ACT_MULTIPLY>(a.type()); break;
      case ACT_DIVIDE: routine = actions::get<ACT_DIVIDE>(a.type()); break;
      case ACT_REMAINDER: routine = actions::get<ACT_REMAINDER>(a.type()); break;
      case ACT_POWER: routine = actions::get<ACT_POWER>(a.type()); break;
      case ACT_AND: routine = actions::get<ACT_AND>(a.type()); break;
      case ACT_OR: routine = actions::get<ACT_OR>(a.type()); break;
      case ACT_XOR: routine = actions::get<ACT_XOR>(a.type()); break;
      default: ADD_FAILURE() << "not a binary action"; return a;
    }
    routine(&a, &b, &result);
    return result;
  }
  static Cell add(Cell a, Cell b) { return apply(ACT_ADD, a, b); }
  static Cell subtract(Cell a, Cell b) { return apply(ACT_SUBTRACT, a, b); }
  static Cell multiply(Cell a, Cell b) { return apply(ACT_MULTIPLY, a, b); }
  static Cell divide(Cell a, Cell b) { return apply(ACT_DIVIDE, a, b); }
  static Cell remainder(Cell a, Cell b) { return apply(ACT_REMAINDER, a, b); }

  static Cell rounded(Cell value, RoundOptions options = {}) {
    Cell result;
    actions::get<ACT_ROUND>(value.type())(&value, options, &result);
    return result;
  }
  static Cell converted(TypeId type, Cell spec) {
    Cell result, prototype = datatype::make(type);
    actions::get<ACT_TO>(type)(&prototype, &spec, type, &result);
    return result;
  }
  static Cell made(TypeId type, Cell spec) {
    Cell result, prototype = datatype::make(type);
    actions::get<ACT_MAKE>(type)(&prototype, &spec, type, &result);
    return result;
  }
  // The path read value/element, or with `value` the path write (answering the changed
  // value).
  static Cell path(Cell target, Cell element, const Cell* value = nullptr) {
    Cell result;
    PathStep step{&target, &element, const_cast<Cell*>(value), nullptr, nullptr, nullptr,
                  0, false, value == nullptr, true, true};
    actions::get<ACT_EVAL_PATH>(target.type())(step, &result);
    return value ? target : result;
  }
  // The integer that pick and poke hand their worker beside the index cell.
  static int32_t index_number(const Cell& index) {
    return index.is(TYPE_INTEGER) ? integer::get(&index) : 0;
  }
  static Cell picked(Cell target, Cell index) {
    Cell result;
    actions::get<ACT_PICK>(target.type())(&target, index_number(index), &index, &result);
    return result;
  }
  // The truth of a compare op, as the comparison natives read the answer.
  static bool holds(const Cell& a, const Cell& b, int32_t op) {
    int32_t answer = compared(a, b, op);
    switch (op) {
      case COMP_NOT_EQUAL: return answer != 0;
      case COMP_LESSER: return answer == -1;
      case COMP_LESSER_EQUAL: return answer == -1 || answer == 0;
      case COMP_GREATER: return answer == 1;
      case COMP_GREATER_EQUAL: return answer == 1 || answer == 0;
      default: return answer == 0;
    }
  }
  static bool same_cell(const Cell& a, const Cell& b) { return std::memcmp(&a, &b, 16) == 0; }
};

}  // namespace xol::testing
