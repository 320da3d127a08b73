// Small numeric and text utilities of the runtime: reducing an angle for the trigonometric
// natives, rounding sizes up to an alignment, and C-string equality.
#pragma once

#include <cstddef>

namespace xol::rt {

// Which function an angle is reduced for: the reduction keeps the function's value and sign.
enum AngleKind : int {
  ANGLE_TANGENT = 0,
  ANGLE_COSINE = 1,
  ANGLE_SINE = 2,
};

// Reduces an angle in degrees into -90..90 (cosine: -180..180) and answers it in radians.
double normalize_angle(double degrees, AngleKind kind);

// The smallest multiple of `alignment` (a power of two) not below `size`.
constexpr size_t round_up(size_t size, size_t alignment) {
  return (size + alignment - 1) & ~(alignment - 1);
}

// The smallest multiple of `alignment` (a power of two) above `size`: an aligned size still
// moves one full step.
constexpr size_t round_up_next(size_t size, size_t alignment) {
  return (size + alignment) & ~(alignment - 1);
}

bool cstr_equal(const char* a, const char* b);

}  // namespace xol::rt
