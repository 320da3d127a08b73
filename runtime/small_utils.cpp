// Angle reduction and C-string equality.
#include "runtime/small_utils.h"

#include <cmath>
#include <cstring>

namespace xol::rt {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kFullTurn = 360.0;
constexpr double kHalfTurn = 180.0;
constexpr double kQuarterTurn = 90.0;

}  // namespace

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

bool cstr_equal(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

}  // namespace xol::rt
