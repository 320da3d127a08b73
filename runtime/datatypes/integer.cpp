// integer!: constructors, decimal text, the checked 32-bit operations, the arithmetic core that
// hands mixed operations to the other numeric types, and the integer! actions.
#include "runtime/datatypes/integer.h"

#include <cmath>
#include <limits>
#include <string_view>

#include "runtime/datatypes/compound.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/process/random.h"
#include "runtime/io/number_converters.h"
#include "runtime/text/hex.h"

namespace xol::integer {
namespace {
void to(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

// Room for "-2147483648" and its NUL.
constexpr int kDecimalTextSize = 12;
char decimal_text[kDecimalTextSize];

// The double of an operation whose 32-bit result overflowed.
double double_operation(int32_t left, int32_t right, MathOp op) {
  double a = left, b = right;
  switch (op) {
    case OP_ADD: return a + b;
    case OP_SUBTRACT: return a - b;
    default: return a * b;
  }
}

// Add, subtract or multiply; false when the result leaves 32 bits.
bool checked_arithmetic(int32_t a, int32_t b, MathOp op, int32_t* out) {
  switch (op) {
    case OP_ADD: return !__builtin_add_overflow(a, b, out);
    case OP_SUBTRACT: return !__builtin_sub_overflow(a, b, out);
    default: return !__builtin_mul_overflow(a, b, out);
  }
}

void check_division(int32_t a, int32_t b) {
  if (b == 0) number::raise_zero_divide();
  if (a == kMin && b == -1) number::raise_overflow();
}

// An issue's letters as a hexadecimal number of at most 32 bits.
int32_t from_issue(const Cell* issue) {
  constexpr size_t kHexDigits = 8;
  std::string_view letters = symbol::name(word::symbol_of(issue));
  if (letters.size() > kHexDigits) error::raise(error::CAT_SCRIPT, "invalid-data", issue);
  uint32_t value = 0;
  for (char c : letters) {
    int digit = hex::digit_value(uint8_t(c));
    if (digit < 0) error::raise(error::CAT_SCRIPT, "invalid-data", issue);
    value = value << 4 | uint32_t(digit);
  }
  return int32_t(value);
}

// A logic! keeps 0 or 1 in payload word 1.
bool logic_value(const Cell* logic) { return logic->data1 != 0; }

int32_t from_source(const Cell* spec, TypeId type) {
  switch (spec->type()) {
    case TYPE_INTEGER:
    case TYPE_CHAR:
      return get(spec);
    case TYPE_FLOAT:
    case TYPE_PERCENT:
      return from_double(floating::get(spec));
    case TYPE_TIME:
      // Whole seconds, a half second and more counting as the next one; the range is that of
      // the whole seconds, so the last half second below the limit still converts.
      return from_double(std::trunc(floating::get(spec) + 0.5));
    case TYPE_DATE: {
      int64_t seconds = date::to_epoch(spec);
      if (seconds < kMin || seconds > kMax) number::raise_type_limit(TYPE_INTEGER);
      return int32_t(seconds);
    }
    case TYPE_MONEY:
      return money::to_integer(spec);
    case TYPE_ISSUE:
      return from_issue(spec);
    case TYPE_BINARY:
      return int32_t(uint32_t(number::binary_prefix(spec, sizeof(int32_t))));
    default: {
      if (!string::is_text_type(spec->type())) number::raise_bad_to_arg(type, spec);
      int32_t error;
      int32_t value = string::to_integer(spec, &error);
      if (error) number::raise_bad_to_arg(type, spec);
      return value;
    }
  }
}

// Whether rounding the magnitude a = q * m + r (r not 0) of `value` goes up to the next
// multiple of m rather than down; the refinements decide in their order of precedence.
bool rounds_up(int32_t value, uint32_t q, uint32_t r, uint32_t m, const RoundOptions& o) {
  bool non_negative = value >= 0;
  if (o.down) return false;
  if (o.floor) return !non_negative;
  if (o.ceiling) return non_negative;
  uint32_t rest = m - r;
  if (r != rest) return r > rest;
  if (o.even) return (q & 1) != 0;
  if (o.half_down) return false;
  if (o.half_ceiling) return non_negative;
  return true;
}

}  // namespace

int32_t abs(int32_t value) {
  if (value == kMin) number::raise_overflow();
  return value < 0 ? -value : value;
}

bool out_of_range(double value) {
  return !(value <= double(kMax) && value >= double(kMin));
}

int32_t from_double(double value) {
  if (out_of_range(value)) number::raise_type_limit(TYPE_INTEGER);
  return int32_t(value);
}

const char* to_decimal_text(int32_t value) {
  char* end = decimal_text + kDecimalTextSize - 1;
  *end = '\0';
  char* at = end;
  uint32_t magnitude = value < 0 ? 0u - uint32_t(value) : uint32_t(value);
  do {
    *--at = char('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (value < 0) *--at = '-';
  return at;
}

int32_t do_checked_op(int32_t a, int32_t b, MathOp op, Cell* result) {
  int32_t answer;
  switch (op) {
    case OP_ADD:
    case OP_SUBTRACT:
    case OP_MULTIPLY:
      if (!checked_arithmetic(a, b, op, &answer)) {
        if (!result) number::raise_overflow();
        floating::make_at(result, double_operation(a, b, op));
        return answer;
      }
      break;
    case OP_DIVIDE:
      check_division(a, b);
      if (result && a % b != 0) {
        floating::make_at(result, double(a) / double(b));
        return a / b;
      }
      answer = a / b;
      break;
    case OP_REMAINDER:
      check_division(a, b);
      answer = a % b;
      break;
    case OP_OR: answer = a | b; break;
    case OP_AND: answer = a & b; break;
    default: answer = a ^ b; break;
  }
  if (result) make_at(result, answer);
  return answer;
}

namespace {
// The arithmetic core: `left` is an integer!, `right` any value.
void do_math(MathOp op, const Cell* left, const Cell* right, Cell* result) {
  switch (right->type()) {
    case TYPE_INTEGER:
    case TYPE_CHAR:
      do_checked_op(get(left), get(right), op, result);
      return;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME:
      floating::do_math(op, left, right, result);
      return;
    case TYPE_DATE:
      if (op != OP_ADD) number::raise_not_related(number::action_of(op), TYPE_INTEGER);
      date::add_days(right, get(left), result);
      return;
    case TYPE_MONEY:
      money::do_math(op, left, right, result);
      return;
    default:
      if (!compound::number_first_math(op, left, right, result)) number::raise_invalid_type(right);
  }
}

// base to the power exponent (0 or more) by repeated squaring; false when a product leaves
// 32 bits.
bool int_power(int32_t base, int32_t exponent, int32_t* power) {
  int32_t answer = 1;
  int32_t square = base;
  while (exponent) {
    if ((exponent & 1) && __builtin_mul_overflow(answer, square, &answer)) return false;
    exponent >>= 1;
    if (exponent && __builtin_mul_overflow(square, square, &square)) return false;
  }
  *power = answer;
  return true;
}
}  // namespace

// ---- actions ----

void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result) {
  if (spec->is(TYPE_LOGIC)) {
    make_at(result, logic_value(spec) ? 1 : 0);
    return;
  }
  to(prototype, spec, type, result);
}

namespace {
void to(const Cell*, const Cell* spec, TypeId type, Cell* result) {
  make_at(result, from_source(spec, type));
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
  return text::append_counted(buffer, to_decimal_text(get(value)), part);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* argument,
             int32_t part, int32_t) {
  return form(value, buffer, argument, part);
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  if (number::is_strict_op(op) && !value2->is(TYPE_INTEGER)) return 1;
  switch (value2->type()) {
    case TYPE_INTEGER:
    case TYPE_CHAR:
      return number::three_way(get(value1), get(value2));
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME:
      return floating::compare_doubles(get(value1), floating::get(value2), op);
    case TYPE_MONEY: {
      Cell amount = money::from_integer(get(value1));
      return money::compare(&amount, value2, op);
    }
    default:
      return kNotComparable;
  }
}
}  // namespace

void absolute(Cell* value, Cell* result) { make_at(result, abs(get(value))); }

void negate(Cell* value, Cell* result) {
  int32_t v = get(value);
  if (v == kMin) number::raise_overflow();
  make_at(result, -v);
}

void complement(Cell* value, Cell* result) { make_at(result, ~get(value)); }

namespace {
void power(Cell* base, Cell* exponent, Cell* result) {
  int32_t b = get(base);
  if (exponent->is(TYPE_INTEGER) && get(exponent) >= 0) {
    int32_t answer;
    if (int_power(b, get(exponent), &answer)) {
      make_at(result, answer);
      return;
    }
    floating::make_at(result, std::pow(double(b), double(get(exponent))));
    return;
  }
  Cell as_double = floating::make(b);
  floating::power(&as_double, exponent, result);
}
}  // namespace

void round(Cell* value, const RoundOptions& options, Cell* result) {
  const Cell* scale = options.to;
  if (scale && scale->is(TYPE_MONEY)) number::raise_not_related(ACT_ROUND, TYPE_MONEY);
  int32_t v = get(value);
  if (v == kMin) {
    make_at(result, v);
    return;
  }
  if (scale && !scale->is(TYPE_INTEGER)) {
    Cell as_double = floating::make(v);
    floating::round(&as_double, options, result);
    return;
  }
  uint32_t m = uint32_t(abs(scale ? get(scale) : 1));
  uint32_t a = uint32_t(v < 0 ? -v : v);
  if (m == 0 || a % m == 0) {
    make_at(result, v);
    return;
  }
  uint32_t q = a / m, r = a % m;
  int64_t magnitude = rounds_up(v, q, r, m, options) ? int64_t(a) + (m - r) : int64_t(a - r);
  int64_t rounded = v < 0 ? -magnitude : magnitude;
  if (rounded < kMin || rounded > kMax) number::raise_overflow();
  make_at(result, int32_t(rounded));
}

namespace {
bool even(const Cell* value) { return (get(value) & 1) == 0; }
bool odd(const Cell* value) { return (get(value) & 1) != 0; }

// random: /seed seeds the generator with the value itself. Otherwise the value n becomes a
// uniform 1..n (n..-1 when negative; 0 stays 0), keeping its type, so char! shares this.
void random(Cell* value, bool seed, bool secure, bool, Cell* result) {
  if (seed) {
    xol::random::seed(value->data2);
    cell::set_unset(result);
    return;
  }
  Cell drawn = *value;
  drawn.data2 = uint32_t(xol::random::integer(secure, get(value)));
  *result = drawn;
}
}  // namespace

void init() {
  using actions::own;
  actions::ActionList list;
  list.own(own<ACT_MAKE>(make))
      .own(own<ACT_RANDOM>(random))
      .own(own<ACT_TO>(to))
      .own(own<ACT_FORM>(form))
      .own(own<ACT_MOLD>(mold))
      .own(own<ACT_COMPARE>(compare))
      .own(own<ACT_ABSOLUTE>(absolute))
      .own(own<ACT_NEGATE>(negate))
      .own(own<ACT_POWER>(power))
      .own(own<ACT_ROUND>(round))
      .own(own<ACT_EVEN>(even))
      .own(own<ACT_ODD>(odd))
      .own(own<ACT_COMPLEMENT>(complement));
  number::own_arithmetic<do_math>(list);
  number::own_bitwise<do_math>(list);
  datatype::register_type(TYPE_INTEGER, 0, "integer!", list);
}

}  // namespace xol::integer
