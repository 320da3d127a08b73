// Text loading, path stores and number-first arithmetic of the compound scalar types.
#include "runtime/datatypes/compound.h"

#include <cmath>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/vector.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/datatypes/hooks.h"
#include "runtime/memory/memory.h"
#include "runtime/datatypes/owners.h"
#include "runtime/datatypes/runtime_words.h"

namespace xol::compound {
namespace {

TextLoader text_loader = nullptr;

constexpr const char* kCoordinateNames[] = {"x", "y", "z"};
constexpr int32_t kCoordinateCount = 3;

// The series types that hold compound values and may be owned by an object.
bool is_owned_container(const Cell* holder) {
  switch (holder->type()) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
    case TYPE_GET_PATH: case TYPE_HASH:
      return memory::buffer_of(holder->node())->flags & memory::FLAG_OWNED;
    default:
      return false;
  }
}

// The absolute position in the block `holder` of the value that the path element `selector`
// took from it, found as the block's path step finds it: by index, after a word, or after the
// value matched.
int32_t position_in(const Cell* holder, const Cell* selector, bool case_sensitive) {
  if (selector->is(TYPE_INTEGER)) {
    int32_t n = integer::get(selector);
    return int32_t(block::head_position(holder)) + (n > 0 ? n - 1 : n);
  }
  if (selector->is(TYPE_WORD) && !holder->is(TYPE_HASH)) {
    const Cell* found = block::select_word(holder, selector, case_sensitive);
    return int32_t(found - block::abs_at(holder, 0));
  }
  Cell series = *holder, value = *selector, found;
  FindOptions options;
  options.only = true;
  options.case_sensitive = case_sensitive;
  actions::get<ACT_FIND>(series.type())(&series, &value, options, &found);
  return int32_t(found.head_index()) + 1;
}

// The number spread over every coordinate of a pair or point of `type`.
Cell spread(const Cell* number, TypeId type) {
  if (!number->is(TYPE_INTEGER) && !std::isfinite(number->float_value()))
    number::raise_invalid_arg(number);
  if (type == TYPE_PAIR) {
    if (number->is(TYPE_INTEGER) || !integer::out_of_range(number->float_value()))
      return pair::make(pair::get_int(number), pair::get_int(number));
    type = TYPE_POINT2D;   // no integer holds it: the pair's arithmetic overflows into floats
  }
  float value = point::get_float(number);
  const float values[point::kMaxCoordinates] = {value, value, value};
  return point::make(type, values);
}

void coordinate_math(MathOp op, const Cell* left, const Cell* right, Cell* result) {
  if (left->is(TYPE_PAIR)) pair::do_math(op, left, right, result);
  else point::do_math(op, left, right, result);
}

}  // namespace

void set_text_loader(TextLoader loader) { text_loader = loader; }

Cell load_as(const Cell* text, TypeId type) {
  if (!text_loader) error::raise(error::CAT_INTERNAL, "not-done");
  Cell loaded;
  text_loader(text, &loaded);
  if (!loaded.is(type)) number::raise_bad_to_arg(type, &loaded);
  return loaded;
}

int32_t coordinate_index(const Cell* element, int32_t count) {
  int32_t index = element->is(TYPE_INTEGER)
                      ? integer::get(element)
                      : number::word_index(element, kCoordinateNames, kCoordinateCount);
  return index >= 1 && index <= count ? index : 0;
}

void raise_no_coordinate(const Cell* index, const Cell* value) {
  if (word::any_word_type(index->type()))
    error::raise(error::CAT_SCRIPT, "cannot-use", index, value);
  number::raise_out_of_range(index);
}

void notify_path_set(const PathStep& step, const Cell& old_value) {
  const Cell* holder = step.grand_parent;
  if (!step.notify || !holder) return;
  if (holder->is(TYPE_OBJECT)) {
    if (step.previous_element) hooks::fire_on_change(holder, step.previous_element, &old_value,
                                                     step.parent);
    return;
  }
  if (!is_owned_container(holder)) return;
  // The path stores the value back only after this step: it goes to its place now, so that
  // the owner sees the series changed.
  int32_t position = position_in(holder, step.previous_element, step.case_sensitive);
  series::store_element(holder, uint32_t(position), step.parent);
  ownership::check(holder, &words::w.set_path, step.parent, step.index, 1);
}

bool number_first_math(MathOp op, const Cell* number, const Cell* value, Cell* result) {
  TypeId type = value->type();
  switch (type) {
    case TYPE_VECTOR:
      vector::do_math_scalar(op, value, number, true, result);
      return true;
    case TYPE_TUPLE:
      if (op == OP_SUBTRACT || op == OP_DIVIDE)
        number::raise_not_related(number::action_of(op), number->type());
      tuple::do_math(op, value, number, true, result);
      return true;
    case TYPE_PAIR:
    case TYPE_POINT2D:
    case TYPE_POINT3D: {
      if (number->is(TYPE_TIME)) number::raise_invalid_type(value);
      if (op == OP_DIVIDE) number::raise_not_related(ACT_DIVIDE, number->type());
      if (op == OP_SUBTRACT || op == OP_REMAINDER) {
        Cell left = spread(number, type);
        coordinate_math(op, &left, value, result);
      } else {
        coordinate_math(op, value, number, result);
      }
      return true;
    }
    default:
      return false;
  }
}

}  // namespace xol::compound
