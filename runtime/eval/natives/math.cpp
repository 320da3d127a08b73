// The math natives: sign tests, shift, to-hex, degree-based trigonometry, logarithms, exp and
// square-root, and the constructors of pairs, points and money.
//
// Everything computes in IEEE doubles with the C library and raises no math error of its own:
// a domain error gives NaN or an infinity. Angles are degrees unless /radians is given; a degree
// angle is first reduced by normalize_angle so that the results the language promises come
// out exact (`sine 180` is 0.0, `tangent 90` is infinity). `exp` is e to the power of its
// argument through `pow` and `log-2` the natural logarithm over ln 2, as the language defines
// them, which differs from the C library's own exp and log2 in the last bits.
#include <cmath>
#include <cstdint>
#include <string_view>

#include "runtime/datatypes/char.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/issue.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/stack.h"

namespace xol::natives {
namespace {

using stack::arguments;

// Results of sine and cosine smaller than this (the double epsilon) are noise of the
// reduction: they become 0.0.
constexpr double kEpsilon = 2.220446049250313e-16;
constexpr double kPi = 3.141592653589793;
constexpr double kLn2 = 0.6931471805599453;
constexpr double kFullTurn = 360.0;
constexpr double kHalfTurn = 180.0;
constexpr double kQuarterTurn = 90.0;

// Which function an angle is reduced for: the reduction keeps the function's value and sign.
enum AngleKind : int {
  ANGLE_TANGENT,
  ANGLE_COSINE,
  ANGLE_SINE,
};

// Reduces an angle in degrees into -90..90 (cosine: -180..180) and answers it in radians.
double normalize_angle(double degrees, AngleKind kind) {
  double a = std::fmod(degrees, kFullTurn);
  if (a > kHalfTurn || a < -kHalfTurn) a += a < 0 ? kFullTurn : -kFullTurn;
  if (a > kQuarterTurn || a < -kQuarterTurn) {
    switch (kind) {
      case ANGLE_TANGENT: a += a < 0 ? kHalfTurn : -kHalfTurn; break;
      case ANGLE_SINE: a = a < 0 ? -kHalfTurn - a : kHalfTurn - a; break;
      case ANGLE_COSINE: break;
    }
  }
  // Multiplying before dividing fixes the last bit of the result that callers compare against.
  return a * kPi / kHalfTurn;
}
constexpr double kE = 2.718281828459045;
// shift works on 32-bit integers: a count above this empties (or fills) every bit.
constexpr int32_t kHighestBit = 31;
constexpr int32_t kHexDigits = 8;

void result_float(double value) {
  floating::make_at(arguments, value);
  stack::keep();
}
void result_logic(bool value) {
  logic::box(arguments, value);
  stack::keep();
}
void result_integer(int32_t value) {
  integer::make_at(arguments, value);
  stack::keep();
}

// An integer! or percent! argument becomes a float! in place; answers its value.
double arg_to_float(Cell* argument) {
  if (argument->is(TYPE_INTEGER)) floating::make_at(argument, double(integer::get(argument)));
  else if (argument->is(TYPE_PERCENT)) cell::set_type(argument, TYPE_FLOAT);
  return floating::get(argument);
}

// The sign of a number, money or time argument: -1, 0 or 1 (NaN is 0); another type raises
// script expect-arg.
int32_t sign_of(const Cell* value) {
  switch (value->type()) {
    case TYPE_MONEY: return money::sign(value);
    case TYPE_INTEGER: return integer::sign(integer::get(value));
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME: {
      const double number = floating::get(value);
      return (number > 0.0) - (number < 0.0);
    }
    default: raise_expect_arg(value, 0);
  }
}

bool radians(const int32_t* refinements) { return refinements[0] >= 0; }

// The angle argument in radians, reduced for `kind` when it is given in degrees.
double angle_of(const int32_t* refinements, AngleKind kind) {
  const double angle = arg_to_float(arguments);
  return radians(refinements) ? angle : normalize_angle(angle, kind);
}

double snap_to_zero(double value) { return std::fabs(value) < kEpsilon ? 0.0 : value; }

double to_degrees_unless(const int32_t* refinements, double value) {
  return radians(refinements) ? value : value * kHalfTurn / kPi;
}

// arcsine, arccosine and arctangent: one C function each, the result in degrees unless
// /radians.
template <double (*Function)(double)>
void arc_function(const int32_t* refinements) {
  result_float(to_degrees_unless(refinements, Function(arg_to_float(arguments))));
}

template <double (*Function)(double)>
void unary_float() {
  result_float(Function(arg_to_float(arguments)));
}

double log_2_of(double value) { return std::log(value) / kLn2; }
double log_10_of(double value) { return std::log10(value); }
double log_e_of(double value) { return std::log(value); }
double exp_of(double value) { return std::pow(kE, value); }
double square_root_of(double value) { return std::sqrt(value); }
double arc_sine(double value) { return std::asin(value); }
double arc_cosine(double value) { return std::acos(value); }
double arc_tangent(double value) { return std::atan(value); }

}  // namespace

void negative_q(bool, const int32_t*) { result_logic(sign_of(arguments) < 0); }
void positive_q(bool, const int32_t*) { result_logic(sign_of(arguments) > 0); }
void sign_q(bool, const int32_t*) { result_integer(sign_of(arguments)); }

void zero_q(bool, const int32_t*) {
  const Cell* value = arguments;
  bool zero = false;
  switch (value->type()) {
    case TYPE_MONEY: zero = money::sign(value) == 0; break;
    case TYPE_CHAR: zero = character::get(value) == 0; break;
    case TYPE_INTEGER: zero = integer::get(value) == 0; break;
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME: zero = floating::get(value) == 0.0; break;
    case TYPE_PAIR: zero = pair::x(value) == 0 && pair::y(value) == 0; break;
    case TYPE_POINT2D: case TYPE_POINT3D:
      zero = true;
      for (int32_t i = 0; i < point::dimensions(value); ++i)
        zero = zero && point::coordinate(value, i) == 0.0f;
      break;
    case TYPE_TUPLE: zero = tuple::all_zero(value); break;
    default: raise_expect_arg(value, 0);
  }
  result_logic(zero);
}

void nan_q(bool, const int32_t*) {
  result_logic(!arguments->is(TYPE_INTEGER) && std::isnan(floating::get(arguments)));
}

int32_t shifted(int32_t data, int32_t bits, ShiftKind kind) {
  bits = std::max(bits, 0);
  switch (kind) {
    case SHIFT_LEFT: return bits > kHighestBit ? 0 : int32_t(uint32_t(data) << bits);
    case SHIFT_LOGICAL: return bits > kHighestBit ? 0 : int32_t(uint32_t(data) >> bits);
    case SHIFT_RIGHT: break;
  }
  return bits > kHighestBit ? (data < 0 ? -1 : 0) : data >> bits;
}

void shift(bool, const int32_t* refinements) {
  const ShiftKind kind = refinements[0] >= 0   ? SHIFT_LEFT
                         : refinements[1] >= 0 ? SHIFT_LOGICAL
                                               : SHIFT_RIGHT;
  result_integer(shifted(integer::get(arguments), integer::get(arguments + 1), kind));
}

void to_hex(bool, const int32_t* refinements) {
  std::string_view digits = string::to_hex(integer::get(arguments), false);
  if (refinements[0] >= 0) {
    const Cell* length = arguments + refinements[0];
    const int32_t kept = integer::get(length);
    if (kept < 1 || kept > kHexDigits) error::raise(error::CAT_SCRIPT, "invalid-arg", length);
    digits.remove_prefix(size_t(kHexDigits - kept));
  }
  issue::make_at(arguments, digits);
  stack::keep();
}

void sine(bool, const int32_t* refinements) {
  result_float(snap_to_zero(std::sin(angle_of(refinements, ANGLE_SINE))));
}

void cosine(bool, const int32_t* refinements) {
  result_float(snap_to_zero(std::cos(angle_of(refinements, ANGLE_COSINE))));
}

void tangent(bool, const int32_t* refinements) {
  const double angle = angle_of(refinements, ANGLE_TANGENT);
  if (angle == kPi / 2) return result_float(HUGE_VAL);
  if (angle == -kPi / 2) return result_float(-HUGE_VAL);
  result_float(std::tan(angle));
}

void arcsine(bool, const int32_t* refinements) { arc_function<arc_sine>(refinements); }
void arccosine(bool, const int32_t* refinements) { arc_function<arc_cosine>(refinements); }
void arctangent(bool, const int32_t* refinements) { arc_function<arc_tangent>(refinements); }

void arctangent2(bool, const int32_t* refinements) {
  // Adding 0.0 turns a y of -0.0 into 0.0: atan2 would answer -pi for it, outside the
  // promised range (-180, 180].
  const double y = arg_to_float(arguments) + 0.0, x = arg_to_float(arguments + 1);
  result_float(to_degrees_unless(refinements, std::atan2(y, x)));
}

void log_2(bool, const int32_t*) { unary_float<log_2_of>(); }
void log_10(bool, const int32_t*) { unary_float<log_10_of>(); }
void log_e(bool, const int32_t*) { unary_float<log_e_of>(); }
void exp(bool, const int32_t*) { unary_float<exp_of>(); }
void square_root(bool, const int32_t*) { unary_float<square_root_of>(); }

void as_pair(bool, const int32_t*) {
  int32_t coordinates[2];
  for (int32_t i = 0; i < 2; ++i) {
    const Cell* value = arguments + i;
    if (value->is(TYPE_INTEGER)) {
      coordinates[i] = integer::get(value);
      continue;
    }
    const double number = floating::get(value);
    if (!std::isfinite(number)) error::raise(error::CAT_SCRIPT, "invalid-arg", value);
    coordinates[i] = integer::from_double(std::trunc(number));
  }
  pair::make_at(arguments, coordinates[0], coordinates[1]);
  stack::keep();
}

void as_point2d(bool, const int32_t*) {
  point2d::make_at(arguments, point::get_float(arguments), point::get_float(arguments + 1));
  stack::keep();
}

void as_point3d(bool, const int32_t*) {
  point3d::make_at(arguments, point::get_float(arguments), point::get_float(arguments + 1),
                   point::get_float(arguments + 2));
  stack::keep();
}

void as_money(bool, const int32_t*) {
  const Cell* currency = arguments;
  const int32_t index = money::currency_lookup(symbol::name(word::symbol_of(currency)));
  if (index < 0) error::raise(error::CAT_SCRIPT, "bad-denom", currency);
  const Cell* amount = arguments + 1;
  Cell result = amount->is(TYPE_INTEGER) ? money::from_integer(integer::get(amount))
                                         : money::from_float(floating::get(amount), false);
  money::set_currency(&result, index);
  stack::set_last(&result);
  stack::keep();
}

}  // namespace xol::natives
