// Geometry on raw pixel buffers: 2D vectors, points against lines and quadrilaterals, cropping,
// resampling a picture into any quadrilateral, and the YUY2 frames of cameras.
//
// A buffer is width x height 32-bit pixels in the images' stored order (bytes B, G, R, A),
// rows packed with no gap. A quadrilateral is four points in the order top-left, top-right,
// bottom-right, bottom-left: clockwise on a screen whose y axis points down, so a point inside
// lies on the right-hand side of no edge.
//
// The resampler works backwards: for each pixel of the quadrilateral's bounding box it finds
// where the pixel lies between the left and right edges and between the top and bottom edges,
// and reads the source there with bilinear interpolation. Any convex quadrilateral works, which
// is what drawing an image through four corner points needs.
#pragma once

#include <cstdint>
#include <vector>

namespace xol::image_transforms {

namespace vec2 {

struct Vec2 {
  double x, y;
};

inline Vec2 set(double x, double y) { return {x, y}; }
// The vector from (a, b) to (c, d).
inline Vec2 between(double a, double b, double c, double d) { return {c - a, d - b}; }
double length(Vec2 v);
// The unit vector of v; a zero vector stays zero.
Vec2 normalize(Vec2 v);
inline double cross(Vec2 u, Vec2 v) { return u.x * v.y - u.y * v.x; }
inline double dot(Vec2 u, Vec2 v) { return u.x * v.x + u.y * v.y; }

}  // namespace vec2

namespace point {

using vec2::Vec2;

// Whether p lies right of (left of) the line through a and b, looking from a to b on a screen
// whose y axis points down.
bool right_of(Vec2 p, Vec2 a, Vec2 b);
bool left_of(Vec2 p, Vec2 a, Vec2 b);
// The distance of p from the line through a and b.
double line_distance(Vec2 p, Vec2 a, Vec2 b);

}  // namespace point

namespace quad {

struct Point {
  float x, y;
};
enum Corner { TOP_LEFT, TOP_RIGHT, BOTTOM_RIGHT, BOTTOM_LEFT, kCorners };
struct Quad {
  Point p[kCorners];
};

// Whether (x, y) lies inside or on the quadrilateral.
bool contains(const Quad& q, double x, double y);
// Reflects every x (or y) of the corners in the line x = c (y = c).
void mirror_x(Quad* q, float c);
void mirror_y(Quad* q, float c);

}  // namespace quad

namespace pixels {

struct Box {
  int32_t x, y, width, height;
};

// Copies the width x height rectangle at x, y of the buffer into `out` (rows of `width`
// pixels), clipped at the buffer's right and bottom edges; false, copying nothing, when x, y
// lies outside the buffer.
bool crop(const uint32_t* buffer, uint32_t buffer_width, uint32_t buffer_height, uint32_t x,
          uint32_t y, uint32_t width, uint32_t height, uint32_t* out);

// The picture resampled into the quadrilateral's bounding box (returned in `box`), pixels
// outside the quadrilateral transparent black. Empty when the picture or the box has a side
// below 1, or the box lies beyond what an image can hold.
std::vector<uint32_t> map_to_quad(const uint32_t* buffer, uint32_t width, uint32_t height,
                                  const quad::Quad& q, Box* box);

// The picture resampled to new_width x new_height; empty unless the result has that size.
std::vector<uint32_t> scale(const uint32_t* buffer, uint32_t width, uint32_t height,
                            uint32_t new_width, uint32_t new_height);

// Converts `rows` rows of `pairs` YUY2 pixel pairs (bytes Y0, U, Y1, V) into opaque stored
// pixels, two per pair.
void from_yuy2(uint32_t pairs, uint32_t rows, const uint8_t* yuy2, uint32_t* out);

}  // namespace pixels

}  // namespace xol::image_transforms
