// Vectors, quadrilaterals, cropping, the bilinear quadrilateral resampler and YUY2 conversion.
#include "runtime/image/image_transforms.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

namespace xol::image_transforms {

namespace vec2 {

double length(Vec2 v) { return std::sqrt(v.x * v.x + v.y * v.y); }

Vec2 normalize(Vec2 v) {
  const double n = length(v);
  return n > 0 ? Vec2{v.x / n, v.y / n} : v;
}

}  // namespace vec2

namespace point {

namespace {
double side(Vec2 p, Vec2 a, Vec2 b) {
  return vec2::cross(vec2::between(a.x, a.y, p.x, p.y), vec2::between(a.x, a.y, b.x, b.y));
}
}  // namespace

bool right_of(Vec2 p, Vec2 a, Vec2 b) { return side(p, a, b) > 0; }
bool left_of(Vec2 p, Vec2 a, Vec2 b) { return side(p, a, b) < 0; }

double line_distance(Vec2 p, Vec2 a, Vec2 b) {
  return std::fabs(vec2::cross(vec2::between(a.x, a.y, p.x, p.y),
                               vec2::normalize(vec2::between(a.x, a.y, b.x, b.y))));
}

}  // namespace point

namespace quad {

namespace {
vec2::Vec2 as_vec(Point p) { return {p.x, p.y}; }
}  // namespace

bool contains(const Quad& q, double x, double y) {
  for (int i = 0; i < kCorners; ++i)
    if (point::right_of({x, y}, as_vec(q.p[i]), as_vec(q.p[(i + 1) % kCorners]))) return false;
  return true;
}

void mirror_x(Quad* q, float c) {
  for (Point& p : q->p) p.x = 2 * c - p.x;
}

void mirror_y(Quad* q, float c) {
  for (Point& p : q->p) p.y = 2 * c - p.y;
}

}  // namespace quad

namespace pixels {

namespace {

using vec2::Vec2;

constexpr int kChannels = 4;
// The largest side of a result: what an image's size word holds.
constexpr float kMaxSide = 65535;
// Box corners must convert to 32-bit integers.
constexpr float kMaxCoordinate = 2147483520.0f;

// An edge of the quadrilateral: its start and unit direction, for the distance of a point.
struct Edge {
  Vec2 start, direction;
  double distance(Vec2 p) const {
    return std::fabs(vec2::cross(vec2::between(start.x, start.y, p.x, p.y), direction));
  }
};

uint32_t blend(const uint32_t* buffer, uint32_t width, uint32_t height, double u, double v) {
  const uint32_t u0 = uint32_t(u), v0 = uint32_t(v);
  const uint32_t u1 = u0 + 1 < width ? u0 + 1 : u0, v1 = v0 + 1 < height ? v0 + 1 : v0;
  const double fx = std::max(0.0, u - u0), fy = std::max(0.0, v - v0);
  const double weights[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
  const uint32_t corners[4] = {buffer[size_t(v0) * width + u0], buffer[size_t(v0) * width + u1],
                               buffer[size_t(v1) * width + u0], buffer[size_t(v1) * width + u1]};
  uint32_t pixel = 0;
  for (int c = 0; c < kChannels; ++c) {
    double sum = 0;
    for (int k = 0; k < 4; ++k) sum += weights[k] * double((corners[k] >> (8 * c)) & 0xFF);
    pixel |= uint32_t(std::min(255.0, sum)) << (8 * c);
  }
  return pixel;
}

uint8_t clamp_byte(int32_t value) { return uint8_t(std::clamp(value, 0, 255)); }

}  // namespace

bool crop(const uint32_t* buffer, uint32_t buffer_width, uint32_t buffer_height, uint32_t x,
          uint32_t y, uint32_t width, uint32_t height, uint32_t* out) {
  if (x >= buffer_width || y >= buffer_height) return false;
  const uint32_t columns = std::min(width, buffer_width - x);
  const uint32_t rows = std::min(height, buffer_height - y);
  for (uint32_t row = 0; row < rows; ++row)
    std::memcpy(out + size_t(row) * width, buffer + size_t(y + row) * buffer_width + x,
                columns * sizeof(uint32_t));
  return true;
}

std::vector<uint32_t> map_to_quad(const uint32_t* buffer, uint32_t width, uint32_t height,
                                  const quad::Quad& q, Box* box) {
  std::vector<uint32_t> result;
  if (width < 1 || height < 1) return result;
  float min_x = FLT_MAX, min_y = FLT_MAX, max_x = -FLT_MAX, max_y = -FLT_MAX;
  for (const quad::Point& p : q.p) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return result;
    min_x = std::min(min_x, p.x);
    min_y = std::min(min_y, p.y);
    max_x = std::max(max_x, p.x);
    max_y = std::max(max_y, p.y);
  }
  const bool fits = std::fabs(min_x) <= kMaxCoordinate && std::fabs(min_y) <= kMaxCoordinate &&
                    max_x - min_x <= kMaxSide && max_y - min_y <= kMaxSide;
  if (!fits) return result;
  *box = Box{int32_t(min_x), int32_t(min_y), int32_t(max_x - min_x), int32_t(max_y - min_y)};
  if (box->width < 1 || box->height < 1) return result;
  Edge edges[quad::kCorners];
  for (int i = 0; i < quad::kCorners; ++i) {
    const quad::Point a = q.p[i], b = q.p[(i + 1) % quad::kCorners];
    edges[i] = Edge{{a.x, a.y}, vec2::normalize(vec2::between(a.x, a.y, b.x, b.y))};
  }
  const Edge &top = edges[0], &right = edges[1], &bottom = edges[2], &left = edges[3];
  result.assign(size_t(box->width) * box->height, 0);
  for (int32_t j = 0; j < box->height; ++j) {
    for (int32_t i = 0; i < box->width; ++i) {
      const Vec2 p{double(box->x) + i, double(box->y) + j};
      if (!quad::contains(q, p.x, p.y)) continue;
      const double d_left = left.distance(p), d_right = right.distance(p);
      const double d_top = top.distance(p), d_bottom = bottom.distance(p);
      // A degenerate quadrilateral has points on both opposite edges at once.
      if (!(d_left + d_right > 0) || !(d_top + d_bottom > 0)) continue;
      // Multiplied before dividing: a pixel that maps onto a source pixel lands on it exactly.
      const double u = d_left * width / (d_left + d_right);
      const double v = d_top * height / (d_top + d_bottom);
      if (u < 0 || v < 0 || u >= width || v >= height) continue;
      result[size_t(j) * box->width + i] = blend(buffer, width, height, u, v);
    }
  }
  return result;
}

std::vector<uint32_t> scale(const uint32_t* buffer, uint32_t width, uint32_t height,
                            uint32_t new_width, uint32_t new_height) {
  const float w = float(new_width), h = float(new_height);
  const quad::Quad q{{{0, 0}, {w, 0}, {w, h}, {0, h}}};
  Box box{};
  std::vector<uint32_t> result = map_to_quad(buffer, width, height, q, &box);
  if (uint32_t(box.width) != new_width || uint32_t(box.height) != new_height) result.clear();
  return result;
}

void from_yuy2(uint32_t pairs, uint32_t rows, const uint8_t* yuy2, uint32_t* out) {
  // 1.402, 0.714, 0.334 and 1.772 in 16.16 fixed point.
  constexpr int32_t kRedV = 91881, kGreenV = 46792, kGreenU = 21889, kBlueU = 116129;
  constexpr int kFixedShift = 16;
  constexpr uint32_t kOpaque = 0xFF000000;
  for (size_t n = size_t(pairs) * rows; n > 0; --n, yuy2 += 4) {
    const int32_t u = yuy2[1] - 128, v = yuy2[3] - 128;
    const int32_t red = (v * kRedV) >> kFixedShift;
    const int32_t green = ((v * kGreenV) >> kFixedShift) + ((u * kGreenU) >> kFixedShift);
    const int32_t blue = (u * kBlueU) >> kFixedShift;
    for (int32_t y : {int32_t(yuy2[0]), int32_t(yuy2[2])})
      *out++ = kOpaque | uint32_t(clamp_byte(y + red)) << 16 |
               uint32_t(clamp_byte(y - green)) << 8 | clamp_byte(y + blue);
  }
}

}  // namespace pixels

}  // namespace xol::image_transforms
