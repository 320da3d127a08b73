// The image back end: encoding and decoding each format (exact where the format keeps the
// pixels), files written by another program (ImageMagick), refusing truncated, corrupt and
// oversized data, the format signatures, and the attached drawing surface with its collector
// upkeep.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "runtime/image/bitmap.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/text_types.h"
#include "tests/unit/eval_fixture.h"
#include "tests/unit/stdout_capture.h"

namespace xol {
namespace {

namespace codecs = platform::image_codecs;
namespace surfaces = platform::image_surface;

// A stored pixel from straight r, g, b, alpha.
constexpr uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  return a << 24 | r << 16 | g << 8 | b;
}

class ImageCodecsTest : public testing::EvalTest {
 protected:
  // An image of the pixels, rooted in the global word `kept` so that collections keep it.
  static Cell picture(uint32_t width, uint32_t height, const std::vector<uint32_t>& pixels) {
    Cell image;
    image::make_at(&image, bitmap::new_record(width, height));
    std::copy(pixels.begin(), pixels.end(), image::lock_pixels(&image));
    context::set_global(symbol::make("kept"), &image);
    return image;
  }
  // A smooth picture with every alpha from opaque to invisible when `alpha` is set.
  static Cell gradient(uint32_t width, uint32_t height, bool alpha) {
    std::vector<uint32_t> pixels;
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < width; ++x)
        pixels.push_back(argb(alpha ? (x * 255 / (width - 1)) : 255, x * 255 / (width - 1),
                              y * 255 / (height - 1), 128));
    return picture(width, height, pixels);
  }
  static std::vector<uint32_t> pixels_of(const Cell& image) {
    const uint32_t* p = bitmap::read_pixels(image.node());
    return std::vector<uint32_t>(p, p + image::pixel_count(&image));
  }
  static std::string encoded(const Cell& image, int32_t format) {
    Cell bytes;
    EXPECT_TRUE(image::encode(&image, nullptr, format, &bytes));
    return std::string(binary::bytes(&bytes));
  }
  // "category id" of what the call raises, or "" when it raises nothing.
  template <class Call>
  static std::string raised(Call&& call) {
    const stack::Mark mark = stack::save();
    try {
      call();
    } catch (const error::Raised& raised) {
      stack::restore(mark);
      stack::pending = 0;
      return std::to_string(raised.category) + " " + raised.id;
    }
    return "";
  }
  static Cell decoded(std::string_view bytes) {
    const Cell data = binary::load(bytes);
    Cell image;
    image::load_binary(&data, &image);
    return image;
  }
  static int max_difference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i)
      for (int shift = 0; shift < 32; shift += 8)
        worst = std::max(worst, std::abs(int(a[i] >> shift & 0xFF) - int(b[i] >> shift & 0xFF)));
    return worst;
  }
};

const std::string kBadMedia = std::to_string(error::CAT_ACCESS) + " bad-media";

struct FormatCase {
  int32_t format;
  std::string_view signature;
  bool alpha;         // the format keeps alpha
  int tolerance;      // largest channel difference after a round trip
};
const FormatCase kFormats[] = {
    {codecs::FORMAT_BMP, "BM", false, 0},
    {codecs::FORMAT_PNG, "\x89PNG", true, 0},
    {codecs::FORMAT_GIF, "GIF8", false, 0},
    {codecs::FORMAT_JPEG, "\xFF\xD8\xFF", false, 12},
    {codecs::FORMAT_TIFF, {"II\x2A\x00", 4}, true, 0},
};

TEST_F(ImageCodecsTest, EveryFormatRoundTripsWithinItsFidelity) {
  for (const FormatCase& c : kFormats) {
    // GIF keeps 256 colours: a 16 x 16 gradient has exactly 256.
    const Cell original = gradient(16, 16, c.alpha);
    const std::string bytes = encoded(original, c.format);
    ASSERT_TRUE(bytes.starts_with(c.signature)) << c.format;
    const Cell back = decoded(bytes);
    ASSERT_TRUE(back.is(TYPE_IMAGE)) << c.format;
    EXPECT_EQ(back.data3, original.data3) << c.format;
    EXPECT_LE(max_difference(pixels_of(back), pixels_of(original)), c.tolerance) << c.format;
  }
}

TEST_F(ImageCodecsTest, GifKeepsFullTransparencyAndQuantisesManyColours) {
  const Cell holed = picture(2, 1, {argb(255, 10, 20, 30), argb(0, 1, 2, 3)});
  const std::vector<uint32_t> back = pixels_of(decoded(encoded(holed, codecs::FORMAT_GIF)));
  EXPECT_EQ(back[0], argb(255, 10, 20, 30));
  EXPECT_EQ(back[1] >> 24, 0u);
  // 64 x 64 distinct colours go through the median-cut palette: near, not exact.
  const Cell many = gradient(64, 64, false);
  const Cell quantised = decoded(encoded(many, codecs::FORMAT_GIF));
  EXPECT_EQ(quantised.data3, many.data3);
  EXPECT_LE(max_difference(pixels_of(quantised), pixels_of(many)), 48);
}

TEST_F(ImageCodecsTest, StraightAlphaSurvivesPng) {
  const Cell half = picture(1, 1, {argb(128, 255, 0, 0)});
  const Cell back = decoded(encoded(half, codecs::FORMAT_PNG));
  EXPECT_EQ(molded(image::get_pixel(&back, 0)), "255.0.0.127");
}

TEST_F(ImageCodecsTest, UnknownEncoderPrintsAndGivesNothing) {
  const Cell image = gradient(2, 2, false);
  Cell result = none::value;
  bool made = true;
  EXPECT_EQ(test::capture_stdout([&] { made = image::encode(&image, nullptr, 7, &result); }),
            "Cannot find image encoder\n");
  EXPECT_FALSE(made);
  EXPECT_TRUE(result.is(TYPE_NONE));
  Cell empty;
  image::make_empty(&empty, 0, 0);
  EXPECT_EQ(raised([&] { image::encode(&empty, nullptr, 1, &result); }), kBadMedia);
}

TEST_F(ImageCodecsTest, EncodingAppendsToAGivenBinary) {
  const Cell image = gradient(2, 2, false);
  Cell target = binary::load("ab");
  Cell result;
  ASSERT_TRUE(image::encode(&image, &target, codecs::FORMAT_PNG, &result));
  EXPECT_TRUE(binary::bytes(&result).starts_with("ab\x89PNG"));
}

TEST_F(ImageCodecsTest, SignaturesDecideTheFormat) {
  const struct {
    std::string_view bytes;
    int32_t format;
  } cases[] = {
      {"\x89PNG\r\n", codecs::FORMAT_PNG}, {"\xFF\xD8\xFF\xE0", codecs::FORMAT_JPEG},
      {"BM", codecs::FORMAT_BMP},          {"GIF87a", codecs::FORMAT_GIF},
      {"GIF89a", codecs::FORMAT_GIF},      {"GIF88a", -1},
      {{"II\x2A\x00", 4}, codecs::FORMAT_TIFF}, {{"MM\x00\x2A", 4}, codecs::FORMAT_TIFF},
      {{"II\x00\x2A", 4}, -1},             {"B", -1},
      {"", -1},                            {"<svg", -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(bitmap::format_of(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()),
              c.format)
        << c.bytes;
    const Cell data = binary::load(c.bytes);
    EXPECT_EQ(image::known_format(&data), c.format >= 0) << c.bytes;
  }
  // An unknown signature is not an error: the answer is none.
  EXPECT_TRUE(decoded("\x00").is(TYPE_NONE));
}

TEST_F(ImageCodecsTest, TruncatedAndCorruptDataIsRefused) {
  const Cell image = gradient(16, 16, true);
  for (const FormatCase& c : kFormats) {
    const std::string bytes = encoded(image, c.format);
    EXPECT_EQ(raised([&] { decoded(bytes.substr(0, bytes.size() / 2)); }), kBadMedia)
        << "truncated " << c.format;
    EXPECT_EQ(raised([&] { decoded(bytes.substr(0, c.signature.size() + 2)); }), kBadMedia)
        << "header only " << c.format;
  }
  // A PNG whose pixel data is damaged fails its checksum.
  std::string png = encoded(image, codecs::FORMAT_PNG);
  png[png.size() / 2] ^= 0x55;
  EXPECT_EQ(raised([&] { decoded(png); }), kBadMedia);
}

// A 24-bit BMP header for a width x 1 picture (rows padded to 4 bytes), then its pixels.
std::string bmp_of_width(uint32_t width) {
  const uint32_t row = (width * 3 + 3) / 4 * 4, header = 54;
  std::string bytes(header + row, '\0');
  auto put32 = [&](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = char(value >> (8 * i));
  };
  bytes[0] = 'B';
  bytes[1] = 'M';
  put32(2, uint32_t(bytes.size()));
  put32(10, header);
  put32(14, 40);          // info header size
  put32(18, width);
  put32(22, 1);           // height
  bytes[26] = 1;          // planes
  bytes[28] = 24;         // bits per pixel
  put32(34, row);
  return bytes;
}

TEST_F(ImageCodecsTest, SidesAbove65535AreOutOfRange) {
  const Cell wide = decoded(bmp_of_width(65535));
  EXPECT_EQ(image::width_of(&wide), 65535u);
  const Cell data = binary::load(bmp_of_width(70000));
  Cell result;
  const stack::Mark mark = stack::save();
  try {
    image::load_binary(&data, &result);
    FAIL() << "no error";
  } catch (const error::Raised& raised) {
    stack::restore(mark);
    stack::pending = 0;
    EXPECT_STREQ(raised.id, "out-of-range");
    EXPECT_EQ(molded(raised.args[0]), "70000x1");
  }
}

// Files made by ImageMagick: left half red, right half blue, 16 x 8.
TEST_F(ImageCodecsTest, DecodesFilesWrittenByImageMagick) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("xol-image-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const struct {
    const char* name;
    int tolerance;
  } files[] = {{"made.png", 0}, {"made.bmp", 0}, {"made.gif", 0}, {"made.jpg", 16},
               {"made.tif", 0}};
  for (const auto& f : files) {
    const std::string path = (dir / f.name).string();
    const std::string command = "convert -size 8x8 xc:'rgb(255,0,0)' -size 8x8 "
                                "xc:'rgb(0,0,255)' +append " + path + " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const Cell file = run("%" + path);
    Cell image;
    image::load_file(&file, &image);
    ASSERT_TRUE(image.is(TYPE_IMAGE)) << f.name;
    EXPECT_EQ(image::width_of(&image), 16u) << f.name;
    EXPECT_EQ(image::height_of(&image), 8u) << f.name;
    const std::vector<uint32_t> pixels = pixels_of(image);
    EXPECT_LE(max_difference({pixels[4 * 16 + 3]}, {argb(255, 255, 0, 0)}), f.tolerance) << f.name;
    EXPECT_LE(max_difference({pixels[4 * 16 + 12]}, {argb(255, 0, 0, 255)}), f.tolerance) << f.name;
  }
  // Half-transparent red, straight in PNG and TIFF, premultiplied in the associated TIFF:
  // every one reads back straight.
  const struct {
    const char* name;
    const char* options;
  } translucent[] = {{"half.png", ""}, {"half.tif", ""},
                     {"associated.tif", "-define tiff:alpha=associated"}};
  for (const auto& t : translucent) {
    const std::string path = (dir / t.name).string();
    const std::string command = std::string("convert -size 2x2 xc:'rgba(255,0,0,0.5)' ") +
                                t.options + " " + path + " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const Cell file = run("%" + path);
    Cell image;
    image::load_file(&file, &image);
    EXPECT_LE(max_difference(pixels_of(image), std::vector<uint32_t>(4, argb(128, 255, 0, 0))), 1)
        << t.name;
  }
  std::filesystem::remove_all(dir);
  const Cell missing = run("%/no/such/picture.png");
  Cell image;
  EXPECT_EQ(raised([&] { image::load_file(&missing, &image); }),
            std::to_string(error::CAT_ACCESS) + " cannot-open");
}

TEST_F(ImageCodecsTest, ScalingTakesTheNearestPixel) {
  const Cell source = picture(2, 2, {1, 2, 3, 4});
  Cell scaled;
  image::push_scaled(&source, 4, 3, &scaled);
  EXPECT_EQ(pixels_of(scaled), (std::vector<uint32_t>{1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4}));
  image::push_scaled(&source, 1, 1, &scaled);
  EXPECT_EQ(pixels_of(scaled), (std::vector<uint32_t>{1}));
  EXPECT_TRUE(image::get_pixel(&source, 4).is(TYPE_NONE));
}

// ---- the attached surface ----

uint32_t surface_pixel(surfaces::Surface* surface, size_t index) {
  std::vector<uint32_t> straight(surfaces::width(surface) * surfaces::height(surface));
  surfaces::load_pixels(surface, straight.data());
  return straight[index];
}

TEST_F(ImageCodecsTest, SurfaceFollowsPixelWritesAndDrawingComesBack) {
  const Cell image = picture(2, 1, {argb(255, 1, 2, 3), argb(0, 9, 9, 9)});
  surfaces::Surface* surface = bitmap::use_surface(image.node());
  ASSERT_NE(surface, nullptr);
  EXPECT_EQ(surface_pixel(surface, 0), argb(255, 1, 2, 3));
  // A write through the pixels refreshes the surface at its next use.
  Cell red = run("255.0.0");
  image::poke(const_cast<Cell*>(&image), 1, nullptr, &red, &red);
  EXPECT_EQ(bitmap::use_surface(image.node()), surface);
  EXPECT_EQ(surface_pixel(surface, 0), argb(255, 255, 0, 0));
  // What is drawn onto the surface is what the pixels read next.
  surfaces::Surface* canvas = bitmap::begin_drawing(image.node());
  const uint32_t drawn[2] = {argb(255, 0, 255, 0), argb(255, 0, 0, 255)};
  surfaces::store_pixels(canvas, drawn);
  EXPECT_EQ(molded(image::get_pixel(&image, 1)), "0.0.255.0");
}

TEST_F(ImageCodecsTest, CollectorDropsASurfaceUnusedForACycle) {
  collector::active = true;
  const Cell image = picture(1, 1, {argb(255, 7, 8, 9)});
  bitmap::use_surface(image.node());
  collector::collect();   // used since the last cycle: kept, the use forgotten
  EXPECT_TRUE(bitmap::has_surface(image.node()));
  collector::collect();   // not used since: dropped
  EXPECT_FALSE(bitmap::has_surface(image.node()));
  EXPECT_EQ(molded(image::get_pixel(&image, 0)), "7.8.9.0");
  collector::active = false;
}

}  // namespace
}  // namespace xol
