// The comparison natives, `not`, `same?`, `max` and `min`.
//
// The seven comparisons hand their two arguments to the compare action under their op and never
// test the types themselves. `same?` asks for identity rather than equality: the same series at
// the same position, the same bits of a float, the same context of an object. `max` and `min`
// let a NaN win against any number and work element by element on pairs, points and tuples.
#include <algorithm>
#include <cmath>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/number.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/word.h"
#include "runtime/eval/actions.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/stack.h"

namespace xol::natives {
namespace {

using stack::arguments;

// ---- same? ----

// How `same?` compares two values of one type.
enum Identity {
  SAME_FIRST_WORD,      // the type id, the flag, the context
  SAME_VALUE,           // the integer or code point, or the bitset's buffer
  SAME_PLACE,           // the same series buffer at the same index
  SAME_BITS,            // the 64-bit payload, bit for bit
  SAME_TUPLE,           // the same length and bytes
  SAME_ALWAYS,          // none! and unset!
  SAME_MONEY,           // equal amount and currency
  SAME_FIRST_TWO,       // payload words 1 and 2
  SAME_LAST_TWO,        // payload words 2 and 3
  SAME_PAYLOAD,         // all three payload words
};

Identity identity_of(TypeId type) {
  switch (type) {
    case TYPE_DATATYPE: case TYPE_LOGIC: case TYPE_OBJECT: return SAME_FIRST_WORD;
    case TYPE_CHAR: case TYPE_INTEGER: case TYPE_BITSET: return SAME_VALUE;
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: case TYPE_PATH: case TYPE_LIT_PATH:
    case TYPE_SET_PATH: case TYPE_GET_PATH: case TYPE_STRING: case TYPE_FILE: case TYPE_URL:
    case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF: case TYPE_BINARY: case TYPE_VECTOR:
    case TYPE_IMAGE:
      return SAME_PLACE;
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_PAIR: case TYPE_TIME: return SAME_BITS;
    case TYPE_TUPLE: return SAME_TUPLE;
    case TYPE_NONE: case TYPE_UNSET: return SAME_ALWAYS;
    case TYPE_MONEY: return SAME_MONEY;
    case TYPE_ACTION: case TYPE_NATIVE: case TYPE_POINT2D: return SAME_FIRST_TWO;
    case TYPE_OP: return SAME_LAST_TWO;
    default: return SAME_PAYLOAD;
  }
}

bool same(const Cell* a, const Cell* b) {
  if (a->type() != b->type()) return false;
  switch (identity_of(a->type())) {
    case SAME_FIRST_WORD: return a->data1 == b->data1;
    case SAME_VALUE: return a->data2 == b->data2;
    case SAME_BITS: case SAME_LAST_TWO:
      return a->data2 == b->data2 && a->data3 == b->data3;
    case SAME_PLACE: case SAME_FIRST_TWO: return a->data1 == b->data1 && a->data2 == b->data2;
    case SAME_TUPLE:
      return tuple::count(a) == tuple::count(b) && a->data1 == b->data1 &&
             a->data2 == b->data2 && a->data3 == b->data3;
    case SAME_ALWAYS: return true;
    case SAME_MONEY: return actions::compare_values(a, b, COMP_SAME);
    case SAME_PAYLOAD: break;
  }
  return a->data1 == b->data1 && a->data2 == b->data2 && a->data3 == b->data3;
}

// ---- max and min ----

bool is_number(const Cell* value) {
  return value->is(TYPE_INTEGER) || value->is(TYPE_FLOAT) || value->is(TYPE_PERCENT);
}
bool is_nan(const Cell* value) { return !value->is(TYPE_INTEGER) && std::isnan(floating::get(value)); }
bool is_compound(TypeId type) {
  return type == TYPE_PAIR || type == TYPE_POINT2D || type == TYPE_POINT3D || type == TYPE_TUPLE;
}

// The type of an element-wise result, or 0 when the two values do not combine element-wise:
// a compound with a number, two compounds of one type, or a pair with a point2D!.
TypeId compound_result(const Cell* a, const Cell* b) {
  const TypeId ta = a->type(), tb = b->type();
  if (is_compound(ta) && (is_number(b) || ta == tb)) return ta;
  if (is_compound(tb) && is_number(a)) return tb;
  if ((ta == TYPE_PAIR && tb == TYPE_POINT2D) || (ta == TYPE_POINT2D && tb == TYPE_PAIR))
    return TYPE_POINT2D;
  return TypeId(0);
}

// Element i of a compound, or a number standing for every element. A number used with an
// integer-based result is truncated toward zero and must then fit an integer.
double element(const Cell* value, int32_t i, bool integer_based) {
  switch (value->type()) {
    case TYPE_PAIR: return i == 0 ? pair::x(value) : pair::y(value);
    case TYPE_POINT2D: case TYPE_POINT3D: return point::coordinate(value, i);
    case TYPE_TUPLE: return i < tuple::count(value) ? tuple::bytes(value)[i] : 0;
    case TYPE_INTEGER: return integer::get(value);
    default: {
      const double number = floating::get(value);
      if (!integer_based) return number;
      const double whole = std::trunc(number);
      if (integer::out_of_range(whole)) number::raise_type_limit(TYPE_INTEGER);
      return whole;
    }
  }
}

int32_t element_count(TypeId type, const Cell* a, const Cell* b) {
  if (type != TYPE_TUPLE) return type == TYPE_POINT3D ? 3 : 2;
  int32_t count = 0;
  for (const Cell* value : {a, b})
    if (value->is(TYPE_TUPLE)) count = std::max(count, tuple::count(value));
  return count;
}

Cell max_min_elements(TypeId type, const Cell* a, const Cell* b, bool maximum) {
  const bool integer_based = type == TYPE_PAIR || type == TYPE_TUPLE;
  const int32_t count = element_count(type, a, b);
  double chosen[tuple::kMaxBytes];
  for (int32_t i = 0; i < count; ++i) {
    const double x = element(a, i, integer_based), y = element(b, i, integer_based);
    if (std::isnan(x) || std::isnan(y)) chosen[i] = std::isnan(x) ? x : y;
    else chosen[i] = maximum ? std::max(x, y) : std::min(x, y);
  }
  switch (type) {
    case TYPE_PAIR: return pair::make(int32_t(chosen[0]), int32_t(chosen[1]));
    case TYPE_TUPLE: {
      uint8_t bytes[tuple::kMaxBytes];
      for (int32_t i = 0; i < count; ++i) bytes[i] = uint8_t(std::clamp(chosen[i], 0.0, 255.0));
      return tuple::make(count, bytes);
    }
    default: {
      float coordinates[point::kMaxCoordinates];
      for (int32_t i = 0; i < count; ++i) coordinates[i] = float(chosen[i]);
      return point::make(type, coordinates);
    }
  }
}

void max_min(bool maximum) {
  const Cell* a = arguments;
  const Cell* b = arguments + 1;
  Cell result;
  if (is_number(a) && is_number(b) && (is_nan(a) || is_nan(b))) {
    result = is_nan(a) ? *a : *b;
  } else if (const TypeId type = compound_result(a, b)) {
    result = max_min_elements(type, a, b, maximum);
  } else {
    result = actions::compare_values(a, b, maximum ? COMP_GREATER : COMP_LESSER) ? *a : *b;
  }
  stack::set_last(&result);
  stack::keep();
}

void result_logic(bool value) {
  logic::box(arguments, value);
  stack::keep();
}

}  // namespace

void raise_expect_arg(const Cell* value, int32_t argument) {
  const Cell name = stack::get_call();
  const Cell datatype = datatype::make(value->type());
  Cell word{TYPE_NONE, 0, 0, 0};
  if (word::context_of(&name) && word::index_of(&name) >= 0)
    word = interpreter::nth_argument_word(word::get(&name), argument);
  error::raise(error::CAT_SCRIPT, "expect-arg", &name, &datatype, &word);
}

void equal_q(bool, const int32_t*) { actions::compare_op(COMP_EQUAL); }
void not_equal_q(bool, const int32_t*) { actions::compare_op(COMP_NOT_EQUAL); }
void strict_equal_q(bool, const int32_t*) { actions::compare_op(COMP_STRICT_EQUAL); }
void lesser_q(bool, const int32_t*) { actions::compare_op(COMP_LESSER); }
void greater_q(bool, const int32_t*) { actions::compare_op(COMP_GREATER); }
void lesser_or_equal_q(bool, const int32_t*) { actions::compare_op(COMP_LESSER_EQUAL); }
void greater_or_equal_q(bool, const int32_t*) { actions::compare_op(COMP_GREATER_EQUAL); }

void not_(bool, const int32_t*) { result_logic(logic::false_q(arguments)); }
void same_q(bool, const int32_t*) { result_logic(same(arguments, arguments + 1)); }
void max(bool, const int32_t*) { max_min(true); }
void min(bool, const int32_t*) { max_min(false); }

}  // namespace xol::natives
