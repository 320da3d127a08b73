// point2D! and point3D!: construction, the tolerant comparison, arithmetic, printing and the
// actions both types share.
#include "runtime/datatypes/point.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/compound.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/process/random.h"
#include "runtime/tables/murmur3.h"
#include "runtime/text/number_text.h"

namespace xol::point {
namespace {
bool nearly_equal(float a, float b);

// Coordinates this many units in the last place apart or fewer are equal.
constexpr int64_t kEqualUlps = 10;
// Near the largest float, where a unit in the last place is huge, the allowance is wider.
constexpr int64_t kLargeEqualUlps = 0xFFFFF;

struct Coordinates {
  float v[kMaxCoordinates] = {};
};

Coordinates coordinates_of(const Cell* point) {
  Coordinates c;
  for (int32_t i = 0; i < dimensions(point); ++i) c.v[i] = coordinate(point, i);
  return c;
}

int32_t bits_of(float value) {
  int32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// The bits of a float as an integer that orders like the floats.
int64_t ordered_bits(float value) {
  int64_t bits = bits_of(value);
  return bits < 0 ? int64_t(INT32_MIN) - bits : bits;
}

bool is_number(const Cell* value) { return value->is(TYPE_INTEGER) || value->is(TYPE_FLOAT); }

// The operand's value for each coordinate of a point of `type`.
Coordinates operand_values(TypeId type, const Cell* operand) {
  Coordinates c;
  int32_t n = dimensions(type);
  switch (operand->type()) {
    case TYPE_PAIR:
      if (type != TYPE_POINT2D) number::raise_invalid_type(operand);
      c.v[0] = float(pair::x(operand));
      c.v[1] = float(pair::y(operand));
      return c;
    case TYPE_INTEGER:
    case TYPE_FLOAT:
    case TYPE_PERCENT: {
      float value = operand->is(TYPE_INTEGER) ? float(integer::get(operand))
                                              : float(operand->float_value());
      for (int32_t i = 0; i < n; ++i) c.v[i] = value;
      return c;
    }
    default:
      if (operand->type() != type) number::raise_invalid_type(operand);
      return coordinates_of(operand);
  }
}

// d = a - b, moving on to the next coordinate while d is nearly zero.
int32_t order(const Cell* a, const Cell* b) {
  float d = 0.0f;
  for (int32_t i = 0; i < dimensions(a); ++i) {
    d = coordinate(a, i) - coordinate(b, i);
    if (!nearly_equal(d, 0.0f)) break;
  }
  if (std::isnan(d)) return kNotComparable;
  return d < 0 ? -1 : d > 0 ? 1 : 0;
}

// The rounding scale of each coordinate: 1, one scale for all, or a point (or, for point2D!, a
// pair) giving each coordinate its own; a point2D! scale leaves z a scale of 0.
void round_steps(TypeId type, const Cell* scale, double* steps) {
  int32_t n = dimensions(type);
  if (scale && (scale->is(TYPE_POINT2D) || scale->is(TYPE_POINT3D) ||
                (scale->is(TYPE_PAIR) && type == TYPE_POINT2D))) {
    Cell point = scale->is(TYPE_PAIR) ? pair::to_point2d(scale) : *scale;
    for (int32_t i = 0; i < n; ++i) steps[i] = i < dimensions(&point) ? coordinate(&point, i) : 0.0;
    return;
  }
  double step = scale ? floating::to_double(scale) : 1.0;
  for (int32_t i = 0; i < n; ++i) steps[i] = step;
}

// The path or pick element's coordinate index (0-based), or -1.
int32_t element_index(const Cell* point, const Cell* element) {
  return compound::coordinate_index(element, dimensions(point)) - 1;
}

}  // namespace

Cell make(TypeId type, const float* values) {
  Cell point{type, 0, 0, 0};
  for (int32_t i = 0; i < dimensions(type); ++i) set_coordinate(&point, i, values[i]);
  return point;
}

float get_float(const Cell* number) {
  return number->is(TYPE_INTEGER) ? float(integer::get(number)) : float(number->float_value());
}

namespace {
// The tolerant equality of two coordinates.
bool nearly_equal(float a, float b) {
  if (std::isnan(a) || std::isnan(b)) return false;
  if (a == b) return true;
  if (std::fabs(a) >= FLT_MAX || std::fabs(b) >= FLT_MAX)
    return std::signbit(a) == std::signbit(b) &&
           std::llabs(int64_t(bits_of(a)) - bits_of(b)) <= kLargeEqualUlps;
  return std::llabs(ordered_bits(a) - ordered_bits(b)) <= kEqualUlps;
}
}  // namespace

void do_math(MathOp op, const Cell* point, const Cell* operand, Cell* result) {
  TypeId type = point->type();
  Coordinates c = coordinates_of(point);
  Coordinates v = operand_values(type, operand);
  bool scaled = (operand->is(TYPE_FLOAT) || operand->is(TYPE_PERCENT)) &&
                (op == OP_MULTIPLY || op == OP_DIVIDE);
  for (int32_t i = 0; i < dimensions(type); ++i) {
    if (scaled) {
      c.v[i] = op == OP_MULTIPLY ? c.v[i] * v.v[i] : c.v[i] / v.v[i];
      continue;
    }
    c.v[i] = float(floating::apply(op, c.v[i], v.v[i], type));
  }
  *result = make(type, c.v);
}

// ---- actions ----

void make(const Cell*, const Cell* spec, TypeId type, Cell* result) {
  int32_t n = dimensions(type);
  float values[kMaxCoordinates] = {};
  switch (spec->type()) {
    case TYPE_INTEGER:
    case TYPE_FLOAT:
      for (int32_t i = 0; i < n; ++i) values[i] = get_float(spec);
      break;
    case TYPE_PAIR:
      values[0] = float(pair::x(spec));
      values[1] = float(pair::y(spec));
      break;
    case TYPE_BLOCK: {
      if (int32_t(block::length(spec)) < n) error::raise(error::CAT_SYNTAX, "malconstruct", spec);
      const Cell* items = block::head(spec);
      for (int32_t i = 0; i < n; ++i) {
        if (!is_number(&items[i])) error::raise(error::CAT_SYNTAX, "malconstruct", spec);
        values[i] = get_float(&items[i]);
      }
      break;
    }
    default:
      if (spec->is(type)) {
        copy_cell(spec, result);
        return;
      }
      if (spec->is(TYPE_POINT2D) && type == TYPE_POINT3D) {
        values[0] = coordinate(spec, 0);
        values[1] = coordinate(spec, 1);
        break;
      }
      if (spec->is(TYPE_STRING)) {
        *result = compound::load_as(spec, type);
        return;
      }
      number::raise_bad_to_arg(type, spec);
  }
  *result = make(type, values);
}

namespace {
int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
  part = text::append_counted(buffer, "(", part);
  for (int32_t i = 0; i < dimensions(value); ++i) {
    if (i) part = text::append_counted(buffer, ", ", part);
    part = text::append_counted(
        buffer, float_text::to_text(coordinate(value, i), float_text::KIND_POINT32), part);
  }
  return text::append_counted(buffer, ")", part);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* argument,
             int32_t part, int32_t) {
  return form(value, buffer, argument, part);
}

void eval_path(const PathStep& step, Cell* result) {
  int32_t index = element_index(step.parent, step.element);
  if (index < 0) number::raise_invalid_path(step);
  if (!step.value) {
    *result = floating::make(coordinate(step.parent, index));
    return;
  }
  if (!is_number(step.value)) number::raise_invalid_type(step.value);
  Cell old = *step.parent;
  set_coordinate(step.parent, index, get_float(step.value));
  compound::notify_path_set(step, old);
  copy_cell(step.value, result);
}
}  // namespace

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  Cell other = *value2;
  if (other.is(TYPE_PAIR) && value1->is(TYPE_POINT2D)) other = pair::to_point2d(value2);
  if (other.type() != value1->type()) return kNotComparable;
  int32_t n = dimensions(value1);
  switch (op) {
    case COMP_EQUAL:
    case COMP_NOT_EQUAL:
      for (int32_t i = 0; i < n; ++i)
        if (!nearly_equal(coordinate(value1, i), coordinate(&other, i))) return 1;
      return 0;
    case COMP_STRICT_EQUAL:
      for (int32_t i = 0; i < n; ++i)
        if (!(coordinate(value1, i) == coordinate(&other, i))) return 1;
      return 0;
    case COMP_SAME:
      return value1->data1 == other.data1 && value1->data2 == other.data2 &&
                     value1->data3 == other.data3
                 ? 0
                 : 1;
    default:
      return order(value1, &other);
  }
}

namespace {
void absolute(Cell* value, Cell* result) {
  Coordinates c = coordinates_of(value);
  for (float& v : c.v) v = std::fabs(v);
  *result = make(value->type(), c.v);
}

void negate(Cell* value, Cell* result) {
  Coordinates c = coordinates_of(value);
  for (float& v : c.v) v = 0.0f - v;
  *result = make(value->type(), c.v);
}

void round(Cell* value, const RoundOptions& options, Cell* result) {
  const Cell* scale = options.to;
  if (scale && scale->is(TYPE_MONEY)) number::raise_not_related(ACT_ROUND, TYPE_MONEY);
  TypeId type = value->type();
  double steps[kMaxCoordinates];
  round_steps(type, scale, steps);
  Coordinates c = coordinates_of(value);
  for (int32_t i = 0; i < dimensions(type); ++i) {
    Cell step = floating::make(steps[i]);
    RoundOptions each = options;
    each.to = &step;
    Cell coordinate_value = floating::make(c.v[i]), rounded;
    floating::round(&coordinate_value, each, &rounded);
    c.v[i] = float(rounded.float_value());
  }
  *result = make(type, c.v);
}

void pick(Cell* series, int32_t, const Cell* index_cell, Cell* result) {
  int32_t index = element_index(series, index_cell);
  if (index >= 0) {
    *result = floating::make(coordinate(series, index));
    return;
  }
  compound::raise_no_coordinate(index_cell, series);
}

void reverse(Cell* series, const Cell*, const Cell*, Cell* result) {
  Coordinates c = coordinates_of(series);
  std::swap(c.v[0], c.v[dimensions(series) - 1]);
  *result = make(series->type(), c.v);
}

// random: /seed seeds the generator with the hash of the coordinates' bytes. Otherwise each
// coordinate v becomes a random float from 0 to v, as float! draws one; 0.0 stays 0.0.
void random(Cell* value, bool seed, bool secure, bool, Cell* result) {
  int32_t n = dimensions(value);
  if (seed) {
    xol::random::seed(hash::murmur3(&value->data1, size_t(n) * sizeof(float)));
    cell::set_unset(result);
    return;
  }
  Cell drawn = *value;
  for (int32_t i = 0; i < n; ++i) {
    float v = coordinate(&drawn, i);
    if (v != 0.0f) set_coordinate(&drawn, i, float(xol::random::scale(v, secure)));
  }
  *result = drawn;
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
      .own(own<ACT_EVAL_PATH>(eval_path))
      .own(own<ACT_COMPARE>(compare))
      .own(own<ACT_ABSOLUTE>(absolute))
      .own(own<ACT_NEGATE>(negate))
      .own(own<ACT_ROUND>(round))
      .own(own<ACT_PICK>(pick))
      .own(own<ACT_REVERSE>(reverse));
  number::own_arithmetic<do_math>(list);
  datatype::register_type(TYPE_POINT2D, 0, "point2D!", list);
  datatype::register_type(TYPE_POINT3D, 0, "point3D!", list);
}

}  // namespace xol::point

namespace xol::point2d {
}  // namespace xol::point2d

namespace xol::point3d {
}  // namespace xol::point3d
