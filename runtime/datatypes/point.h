// point2D! and point3D!: two or three 32-bit float coordinates, printed in parentheses as
// (1, 2.5) and (0, -1, 3).
//
// point2D! is the floating-point companion of pair!: pair arithmetic that overflows or meets a
// fraction gives a point2D!. The two types are one family and share every routine here; the
// number of coordinates comes from the type id. Cell: header type 51 or 52, then x, y (and z)
// as IEEE floats in payload words 1, 2 (and 3). Every computed coordinate is rounded to 32 bits
// when stored.
//
// Equality is tolerant: two coordinates are equal when they lie at most 10 units in the last
// place apart (or, near the largest float, within 0xFFFFF units with the same sign), so points
// that went through different float arithmetic still compare equal; strict equality is exact.
#pragma once

#include <cstdint>
#include <cstring>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/number.h"

namespace xol::point {

constexpr int32_t kMaxCoordinates = 3;

inline int32_t dimensions(TypeId type) { return type == TYPE_POINT3D ? 3 : 2; }
inline int32_t dimensions(const Cell* point) { return dimensions(point->type()); }
// Coordinate i (0 for x) of a point.
inline float coordinate(const Cell* point, int32_t i) {
  float value;
  std::memcpy(&value, &point->data1 + i, sizeof value);
  return value;
}
inline void set_coordinate(Cell* point, int32_t i, float value) {
  std::memcpy(&point->data1 + i, &value, sizeof value);
}
// A point of `type` with the coordinates in `values` (dimensions(type) of them).
Cell make(TypeId type, const float* values);
// An integer! as a float, a float! rounded to 32 bits.
float get_float(const Cell* number);

// point op operand, written to `result`: operand a point of the same type, a pair! (for
// point2D!), an integer!, float! or percent!; anything else raises script `invalid-type`.
void do_math(MathOp op, const Cell* point, const Cell* operand, Cell* result);

// ---- actions (both types) ----
void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);
int32_t compare(const Cell* value1, const Cell* value2, int32_t op);

// Registers point2D! (id 51) and point3D! (id 52).
void init();

}  // namespace xol::point

namespace xol::point2d {
inline Cell make(float x, float y) {
  const float values[] = {x, y};
  return point::make(TYPE_POINT2D, values);
}
inline Cell* make_at(Cell* cell, float x, float y) {
  *cell = make(x, y);
  return cell;
}
}  // namespace xol::point2d

namespace xol::point3d {
inline Cell make(float x, float y, float z) {
  const float values[] = {x, y, z};
  return point::make(TYPE_POINT3D, values);
}
inline Cell* make_at(Cell* cell, float x, float y, float z) {
  *cell = make(x, y, z);
  return cell;
}
}  // namespace xol::point3d
