// Image transforms: vectors and points against lines, quadrilaterals, cropping, the bilinear
// quadrilateral resampler, YUY2 frames, and drawing an image through corner points.
#include <limits>
#include <vector>

#include "runtime/datatypes/image.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/image/image_transforms.h"
#include "tests/unit/eval_fixture.h"

namespace xol {
namespace {

namespace vec2 = image_transforms::vec2;
namespace quad = image_transforms::quad;
namespace pixels = image_transforms::pixels;
namespace line = image_transforms::point;
using Pixels = std::vector<uint32_t>;

// A pixel with the same value in all four bytes, so that blends are easy to state.
constexpr uint32_t grey(uint32_t v) { return v * 0x01010101u; }

TEST(ImageTransformsTest, VectorsAndPointsAgainstLines) {
  EXPECT_DOUBLE_EQ(vec2::length(vec2::set(3, 4)), 5);
  const vec2::Vec2 unit = vec2::normalize(vec2::between(1, 1, 4, 5));
  EXPECT_DOUBLE_EQ(unit.x, 0.6);
  EXPECT_DOUBLE_EQ(unit.y, 0.8);
  EXPECT_DOUBLE_EQ(vec2::normalize({0, 0}).x, 0);   // no NaN from a zero vector
  EXPECT_DOUBLE_EQ(vec2::cross({1, 0}, {0, 1}), 1);
  EXPECT_DOUBLE_EQ(vec2::dot({1, 2}, {3, 4}), 11);
  // The line from (0, 0) to (4, 0), on a screen whose y grows downwards.
  const struct {
    vec2::Vec2 p;
    bool right, left;
    double distance;
  } cases[] = {
      {{2, -1}, true, false, 1}, {{2, 3}, false, true, 3}, {{7, 0}, false, false, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(line::right_of(c.p, {0, 0}, {4, 0}), c.right) << c.p.x << "," << c.p.y;
    EXPECT_EQ(line::left_of(c.p, {0, 0}, {4, 0}), c.left) << c.p.x << "," << c.p.y;
    EXPECT_DOUBLE_EQ(line::line_distance(c.p, {0, 0}, {4, 0}), c.distance);
  }
}

TEST(ImageTransformsTest, QuadrilateralsContainTheirInsideAndEdges) {
  const quad::Quad q{{{0, 0}, {4, 0}, {6, 4}, {2, 4}}};   // a parallelogram leaning right
  const struct {
    double x, y;
    bool inside;
  } cases[] = {{1, 1, true}, {0, 0, true}, {5, 3, true}, {4, 2, true},  {0.5, 3, false},
               {5, 0.5, false}, {3, -0.1, false}, {3, 4.1, false}};
  for (const auto& c : cases) EXPECT_EQ(quad::contains(q, c.x, c.y), c.inside) << c.x << "," << c.y;
  quad::Quad m = q;
  quad::mirror_x(&m, 1);
  quad::mirror_y(&m, 10);
  EXPECT_EQ(m.p[2].x, -4);
  EXPECT_EQ(m.p[2].y, 16);
}

TEST(ImageTransformsTest, CropCopiesARectangleClippedAtTheEdges) {
  const Pixels source = {1, 2, 3, 4, 5, 6, 7, 8, 9};   // 3 x 3
  Pixels out(4);
  ASSERT_TRUE(pixels::crop(source.data(), 3, 3, 1, 1, 2, 2, out.data()));
  EXPECT_EQ(out, (Pixels{5, 6, 8, 9}));
  // 3 x 2 asked at the right edge: one column comes, the rest is left alone.
  Pixels clipped(6, 0);
  ASSERT_TRUE(pixels::crop(source.data(), 3, 3, 2, 1, 3, 2, clipped.data()));
  EXPECT_EQ(clipped, (Pixels{6, 0, 0, 9, 0, 0}));
  EXPECT_FALSE(pixels::crop(source.data(), 3, 3, 3, 0, 1, 1, out.data()));
}

TEST(ImageTransformsTest, MappingToASquareBlendsBilinearly) {
  const Pixels source = {grey(0), grey(100), grey(200), grey(40)};   // 2 x 2
  const quad::Quad square{{{0, 0}, {4, 0}, {4, 4}, {0, 4}}};
  pixels::Box box{};
  const Pixels mapped = pixels::map_to_quad(source.data(), 2, 2, square, &box);
  EXPECT_EQ(box.x, 0);
  EXPECT_EQ(box.width, 4);
  EXPECT_EQ(box.height, 4);
  // Columns sample at u = 0, 0.5, 1, 1.5 (the last column reads itself twice); rows alike.
  const Pixels expected = {
      grey(0),   grey(50),  grey(100), grey(100),   //
      grey(100), grey(85),  grey(70),  grey(70),    //
      grey(200), grey(120), grey(40),  grey(40),    //
      grey(200), grey(120), grey(40),  grey(40),
  };
  EXPECT_EQ(mapped, expected);
  EXPECT_EQ(pixels::scale(source.data(), 2, 2, 4, 4), expected);
}

TEST(ImageTransformsTest, DegenerateQuadrilateralsGiveNothing) {
  const Pixels source = {grey(9)};
  pixels::Box box{};
  const quad::Quad line{{{2, 0}, {2, 0}, {2, 5}, {2, 5}}};
  EXPECT_TRUE(pixels::map_to_quad(source.data(), 1, 1, line, &box).empty());
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const quad::Quad broken{{{0, 0}, {nan, 0}, {4, 4}, {0, 4}}};
  EXPECT_TRUE(pixels::map_to_quad(source.data(), 1, 1, broken, &box).empty());
  const quad::Quad huge{{{0, 0}, {1e9f, 0}, {1e9f, 4}, {0, 4}}};
  EXPECT_TRUE(pixels::map_to_quad(source.data(), 1, 1, huge, &box).empty());
  EXPECT_TRUE(pixels::map_to_quad(source.data(), 0, 1, line, &box).empty());
}

TEST(ImageTransformsTest, Yuy2BecomesOpaqueStoredPixels) {
  const uint8_t frame[] = {128, 128, 128, 128,   // grey, two pixels
                           76, 85, 255, 255};    // Y 76 and 255 with a strong red chroma
  Pixels out(4);
  pixels::from_yuy2(2, 1, frame, out.data());
  EXPECT_EQ(out[0], 0xFF808080u);
  EXPECT_EQ(out[1], 0xFF808080u);
  // Stored as A, R, G, B: red lands in the red byte.
  EXPECT_EQ(out[2], 0xFFFE0100u);
  EXPECT_EQ(out[3], 0xFFFFB4B2u);
}

class ImageTransferTest : public testing::EvalTest {
 protected:
  // A width x height image whose pixel at index i is i + 1.
  static Cell counting(uint32_t width, uint32_t height) {
    Cell image;
    image::make_at(&image, bitmap::new_record(width, height));
    uint32_t* p = image::lock_pixels(&image);
    for (uint32_t i = 0; i < width * height; ++i) p[i] = i + 1;
    return image;
  }
  static Pixels pixels_of(const Cell& image) {
    const uint32_t* p = bitmap::read_pixels(image.node());
    return Pixels(p, p + image::pixel_count(&image));
  }
  struct Drawn {
    Cell image;
    pixels::Box box;
  };
  static Drawn transfer(const Cell& source, std::vector<Cell> points,
                        const Cell* offset = nullptr, const Cell* size = nullptr) {
    Drawn drawn{};
    image::transfer(&source, offset, size, points.data(), int32_t(points.size()), &drawn.image,
                    &drawn.box);
    return drawn;
  }
};

TEST_F(ImageTransferTest, OnePointDrawsTheCropAtItsOwnSize) {
  const Cell source = counting(20, 20);
  const Cell offset = pair::make(5, 5), size = pair::make(10, 10);
  const Drawn drawn = transfer(source, {pair::make(7, 3)}, &offset, &size);
  ASSERT_TRUE(drawn.image.is(TYPE_IMAGE));
  EXPECT_EQ(drawn.box.x, 7);
  EXPECT_EQ(drawn.box.y, 3);
  EXPECT_EQ(drawn.box.width, 10);
  EXPECT_EQ(drawn.box.height, 10);
  Pixels expected;
  for (uint32_t y = 5; y < 15; ++y)
    for (uint32_t x = 5; x < 15; ++x) expected.push_back(y * 20 + x + 1);
  EXPECT_EQ(pixels_of(drawn.image), expected);
}

TEST_F(ImageTransferTest, PointsRightToLeftOrBottomUpFlipTheBox) {
  const Cell source = counting(2, 2);
  // Two points, right to left: the picture at the mirrored place, the width negative.
  const Drawn across = transfer(source, {pair::make(4, 0), pair::make(2, 2)});
  EXPECT_EQ(across.box.x, 4);
  EXPECT_EQ(across.box.width, -2);
  EXPECT_EQ(across.box.height, 2);
  EXPECT_EQ(pixels_of(across.image), pixels_of(source));
  const Drawn up = transfer(source, {point2d::make(0, 2), point2d::make(2, 0)});
  EXPECT_EQ(up.box.y, 2);
  EXPECT_EQ(up.box.width, 2);
  EXPECT_EQ(up.box.height, -2);
  // Three points: the fourth corner completes the parallelogram.
  const Drawn three = transfer(source, {pair::make(0, 0), pair::make(2, 0), pair::make(0, 2)});
  EXPECT_EQ(pixels_of(three.image), pixels_of(source));
  const Drawn four = transfer(source, {pair::make(1, 1), pair::make(3, 1), pair::make(1, 3),
                                       pair::make(3, 3)});
  EXPECT_EQ(four.box.x, 1);
  EXPECT_EQ(pixels_of(four.image), pixels_of(source));
}

TEST_F(ImageTransferTest, OtherPointCountsGiveNone) {
  const Cell source = counting(2, 2);
  const Cell p = pair::make(1, 1);
  EXPECT_TRUE(transfer(source, {}).image.is(TYPE_NONE));
  EXPECT_TRUE(transfer(source, {p, p, p, p, p}).image.is(TYPE_NONE));
  EXPECT_TRUE(transfer(source, {integer::make(1)}).image.is(TYPE_NONE));
  // A crop that lies outside the picture leaves nothing to draw.
  const Cell offset = pair::make(5, 5), size = pair::make(2, 2);
  EXPECT_TRUE(transfer(source, {p}, &offset, &size).image.is(TYPE_NONE));
}

}  // namespace
}  // namespace xol
