// float!: the float arithmetic core (shared with percent! and time!), the tolerant comparison,
// rounding to a step, conversions and the float! actions.
#include "runtime/datatypes/float.h"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/compound.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/process/random.h"
#include "runtime/io/number_converters.h"
#include "runtime/text/number_text.h"

namespace xol::floating {
namespace {

// Two doubles this many units in the last place apart or fewer are equal under `=`.
constexpr int64_t kEqualUlps = 10;
// Doubles of magnitude below 1e-5 have no money! (the smallest amount is $0.00001), and from
// 1e17 on they leave its 17 integer digits.
constexpr double kMoneySmallest = 1e-05;
constexpr double kMoneyBeyond = 1e17;
// A mantissa-exponent block's exponent is clamped here: any larger one already gives an
// infinity or zero, and the clamp keeps the decimal exponent arithmetic in range.
constexpr int32_t kExponentClamp = 100000;

// The bits of a double as an integer that orders like the doubles themselves.
int64_t ordered_bits(double value) {
  int64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits < 0 ? INT64_MIN - bits : bits;
}

uint64_t raw_bits(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// The result type of an operation: time! with any time! operand, else the first operand's
// percent!, else float!.
TypeId result_type(TypeId left, TypeId right) {
  if (left == TYPE_TIME || right == TYPE_TIME) return TYPE_TIME;
  return left == TYPE_PERCENT ? TYPE_PERCENT : TYPE_FLOAT;
}

// mantissa × 10^exponent, read as decimal text so that [3 -1] gives exactly 0.3.
double from_mantissa_exponent(const Cell* block) {
  if (block::length(block) != 2) number::raise_bad_to_arg(TYPE_FLOAT, block);
  const Cell* items = block::head(block);
  for (int i = 0; i < 2; ++i)
    if (!items[i].is(TYPE_INTEGER) && !items[i].is(TYPE_FLOAT))
      number::raise_bad_to_arg(TYPE_FLOAT, block);
  double exponent_value = to_double(&items[1]);
  if (std::isnan(exponent_value)) number::raise_bad_to_arg(TYPE_FLOAT, block);
  int32_t exponent = int32_t(std::fmax(-kExponentClamp, std::fmin(kExponentClamp,
                                                                    exponent_value)));
  const char* mantissa = items[0].is(TYPE_INTEGER)
                             ? integer::to_decimal_text(integer::get(&items[0]))
                             : dtoa::to_text(get(&items[0]), 0, false);
  int left_over;
  return dtoa::from_text(mantissa, mantissa + std::strlen(mantissa), exponent, &left_over);
}

double float_from_text(const Cell* text) {
  int32_t error;
  double value = string::to_float(text, &error);
  if (error) number::raise_bad_to_arg(TYPE_FLOAT, text);
  return value;
}

// A percent! text is loaded as a literal: 50% or a plain number, which counts as the fraction.
double percent_from_text(const Cell* text) {
  Cell loaded;
  value::load_from_string(text, &loaded);
  switch (loaded.type()) {
    case TYPE_INTEGER:
    case TYPE_FLOAT:
    case TYPE_PERCENT:
      return to_double(&loaded);
    default:
      number::raise_bad_to_arg(TYPE_PERCENT, text);
  }
}

double from_source(const Cell* spec, TypeId type) {
  switch (spec->type()) {
    case TYPE_INTEGER:
    case TYPE_CHAR:
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME:
      return to_double(spec);
    case TYPE_MONEY:
      return money::to_float(spec);
    case TYPE_BINARY:
      return std::bit_cast<double>(number::binary_prefix(spec, sizeof(double)));
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH:
      return from_mantissa_exponent(spec);
    default:
      if (!string::is_text_type(spec->type())) number::raise_bad_to_arg(type, spec);
      return type == TYPE_PERCENT ? percent_from_text(spec) : float_from_text(spec);
  }
}

// The step of `round`: 1, or a hundredth for a percent!; a /to scale in the value's own units
// (a percent! value counts a plain number scale in percent points).
double round_step(TypeId value_type, const Cell* scale) {
  bool percent = value_type == TYPE_PERCENT;
  if (!scale) return percent ? 0.01 : 1.0;
  double step = std::fabs(to_double(scale));
  return percent && !scale->is(TYPE_PERCENT) ? step / 100.0 : step;
}

// A step of zero, or one below the value's last bit, cannot move the value.
bool negligible_step(double value, double step) {
  return step == 0 || step < std::ldexp(std::fabs(value), -DBL_MANT_DIG);
}

}  // namespace

double to_double(const Cell* number) {
  switch (number->type()) {
    case TYPE_INTEGER:
    case TYPE_CHAR:
      return double(integer::get(number));
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME:
      return get(number);
    default:
      number::raise_invalid_type(number);
  }
}

namespace {
// The tolerant equality of `=` (NaN is equal to nothing).
bool near_equal(double a, double b) {
  if (a == b) return true;
  if (!std::isfinite(a) || !std::isfinite(b)) return false;
  if (std::fabs(a - b) < DBL_EPSILON) return true;
  __int128 distance = __int128(ordered_bits(a)) - ordered_bits(b);
  return distance <= kEqualUlps && distance >= -kEqualUlps;
}
}  // namespace

int32_t compare_doubles(double a, double b, int32_t op) {
  switch (op) {
    case COMP_EQUAL:
    case COMP_NOT_EQUAL:
      return near_equal(a, b) ? 0 : 1;
    case COMP_STRICT_EQUAL:
    case COMP_FIND_STRICT:
    case COMP_FIND:
    case COMP_SELECT:
      return a == b ? 0 : 1;
    case COMP_SAME:
      return raw_bits(a) == raw_bits(b) ? 0 : 1;
    default:
      break;
  }
  if (std::isnan(a) || std::isnan(b)) {
    // An answer that makes the asked ordering false.
    if (op == COMP_LESSER || op == COMP_LESSER_EQUAL) return 1;
    if (op == COMP_GREATER || op == COMP_GREATER_EQUAL) return -1;
    return 0;
  }
  return number::three_way(a, b);
}

int32_t compare_with_money(double value, const Cell* amount, int32_t op) {
  if (std::isnan(value)) return compare_doubles(value, value, op);
  int32_t value_sign = (value > 0) - (value < 0);
  int32_t amount_sign = money::sign(amount);
  if (value_sign != amount_sign) return number::three_way(value_sign, amount_sign);
  if (value_sign == 0) return 0;
  double magnitude = std::fabs(value);
  if (magnitude < kMoneySmallest) return -value_sign;
  if (magnitude >= kMoneyBeyond) return value_sign;
  // A double with more than five decimals has no money! of its own, yet still compares: as its
  // amount cut after the fifth decimal, and when that ties, the cut-off digits put the double
  // farther from zero.
  Cell as_money = money::from_float(value, false);
  int32_t answer = money::compare(&as_money, amount, op);
  if (answer == 0 && money::to_float(&as_money) != value) answer = value_sign;
  return answer;
}

void do_math(MathOp op, const Cell* left, const Cell* right, Cell* result) {
  TypeId left_type = left->type();
  switch (right->type()) {
    case TYPE_MONEY:
      money::do_math(op, left, right, result);
      return;
    case TYPE_CHAR:
      if (left_type == TYPE_PERCENT || left_type == TYPE_TIME) number::raise_invalid_type(right);
      break;
    case TYPE_INTEGER:
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME:
      break;
    default:
      if (!compound::number_first_math(op, left, right, result)) number::raise_invalid_type(right);
      return;
  }
  double answer = apply(op, to_double(left), to_double(right));
  make_at(result, answer, result_type(left_type, right->type()));
}

double round_to_step(double value, double step, const RoundOptions& o) {
  if (negligible_step(value, step)) return value;
  // Steps below one are applied as a multiplication by their reciprocal, which is exact for
  // the usual decimal steps (1 / 0.01 is 100); steps too small for a finite reciprocal are
  // first scaled into the normal range, and the value with them.
  int exponent = 0;
  double scaled_step = step, scaled_value = value, t;
  if (step >= 1.0) {
    t = value / step;
  } else {
    double fraction = std::frexp(step, &exponent);
    if (exponent <= DBL_MIN_EXP - 1) {
      scaled_step = fraction;
      scaled_value = std::ldexp(value, -exponent);
    } else {
      exponent = 0;
    }
    scaled_step = 1.0 / scaled_step;
    t = scaled_value * scaled_step;
  }
  double magnitude = std::fabs(t), below = std::floor(magnitude), rounded;
  if (o.down) {
    rounded = std::copysign(below, t);
  } else if (o.floor) {
    rounded = std::floor(t);
  } else if (o.ceiling) {
    rounded = std::ceil(t);
  } else if (magnitude != below + 0.5) {
    rounded = std::copysign(magnitude > below + 0.5 ? std::ceil(magnitude) : below, t);
  } else if (o.even) {
    rounded = std::copysign(std::fmod(magnitude, 2.0) < 1.0 ? below : std::ceil(magnitude), t);
  } else if (o.half_down) {
    rounded = std::copysign(below, t);
  } else if (o.half_ceiling) {
    rounded = std::ceil(t);
  } else {
    rounded = std::copysign(std::ceil(magnitude), t);
  }
  if (step < 1.0) return std::ldexp(rounded / scaled_step, exponent);
  double answer = rounded * step;
  if (!std::isfinite(answer) && std::isfinite(value)) number::raise_overflow();
  return answer;
}

void round(Cell* value, const RoundOptions& options, Cell* result) {
  const Cell* scale = options.to;
  // The result takes the scale's type, so only the double family and integer! may scale it.
  if (scale && !scale->is(TYPE_INTEGER) && !scale->is(TYPE_FLOAT) && !scale->is(TYPE_PERCENT) &&
      !scale->is(TYPE_TIME))
    number::raise_not_related(ACT_ROUND, scale->type());
  TypeId value_type = value->type();
  double step = round_step(value_type, scale);
  // Such a step leaves the value as it is, its type included, whatever the scale's type.
  if (negligible_step(get(value), step)) {
    *result = *value;
    return;
  }
  double rounded = round_to_step(get(value), step, options);
  if (scale && scale->is(TYPE_INTEGER)) {
    integer::make_at(result, integer::from_double(rounded));
    return;
  }
  make_at(result, rounded, scale ? scale->type() : value_type);
}

// ---- actions ----

void make(const Cell*, const Cell* spec, TypeId type, Cell* result) {
  make_at(result, from_source(spec, type), type);
}

namespace {
int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
  return text::append_counted(buffer, float_text::to_text(get(value), float_text::KIND_FLOAT),
                              part);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell*, int32_t part,
             int32_t) {
  return text::append_counted(buffer, dtoa::to_text(get(value), 0, true), part);
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  if (number::is_strict_op(op) && value2->type() != value1->type()) return 1;
  switch (value2->type()) {
    case TYPE_INTEGER:
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME:
      return compare_doubles(get(value1), to_double(value2), op);
    case TYPE_MONEY:
      return compare_with_money(get(value1), value2, op);
    default:
      return kNotComparable;
  }
}
}  // namespace

void absolute(Cell* value, Cell* result) {
  make_at(result, std::fabs(get(value)), value->type());
}

void negate(Cell* value, Cell* result) { make_at(result, 0.0 - get(value), value->type()); }

void power(Cell* base, Cell* exponent, Cell* result) {
  if (!exponent->is(TYPE_INTEGER) && !exponent->is(TYPE_FLOAT))
    number::raise_expect_arg(ACT_POWER, exponent, "exponent");
  make_at(result, std::pow(get(base), to_double(exponent)), base->type());
}

// Parity of the integer part; infinities and NaN count as even.
bool odd(const Cell* value) {
  double v = get(value);
  return std::isfinite(v) && std::fmod(std::trunc(v), 2.0) != 0.0;
}
bool even(const Cell* value) { return !odd(value); }

namespace {
// random: /seed seeds the generator with the XOR of the double's two halves. Otherwise the
// value v becomes a random float from 0 to v, keeping its type (percent! and time! share this).
void random(Cell* value, bool seed, bool secure, bool, Cell* result) {
  if (seed) {
    xol::random::seed(value->data2 ^ value->data3);
    cell::set_unset(result);
    return;
  }
  make_at(result, xol::random::scale(get(value), secure), value->type());
}
}  // namespace

void init() {
  using actions::own;
  actions::ActionList list;
  list.own(own<ACT_MAKE>(make))
      .own(own<ACT_RANDOM>(random))
      .own(own<ACT_TO>(make))
      .own(own<ACT_FORM>(form))
      .own(own<ACT_MOLD>(mold))
      .own(own<ACT_COMPARE>(compare))
      .own(own<ACT_ABSOLUTE>(absolute))
      .own(own<ACT_NEGATE>(negate))
      .own(own<ACT_POWER>(power))
      .own(own<ACT_ROUND>(round))
      .own(own<ACT_EVEN>(even))
      .own(own<ACT_ODD>(odd));
  number::own_arithmetic<do_math>(list);
  datatype::register_type(TYPE_FLOAT, 0, "float!", list);
}

}  // namespace xol::floating
