// image!: construction, the printed form, paths, comparison, navigation, copying and changing,
// the channel views, the codec routines and drawing through corner points.
//
// An image seen from a position other than its head is, for mold, copy and equality, the
// rectangle from the position's column and row to the right and bottom edges (none at the
// tail): that is what a copy of it holds, what its mold writes and what the mold loads back as.
#include "runtime/datatypes/image.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "platform/read_file.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/number.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/text_types.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/process/low_print.h"

namespace xol::image {
namespace {
void to(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);
void pick(Cell* series, int32_t index, const Cell* index_cell, Cell* result);
void copy(Cell* value, const Cell* part, bool deep, const Cell* types, Cell* result);

namespace codecs = platform::image_codecs;
using image_transforms::pixels::Box;

constexpr uint32_t kOpaque = 0xFF;
constexpr uint32_t kWhite = 0xFFFFFFFF;
// Mold: pixels on one line, and the count from which the RGB bytes start on a line of their own.
constexpr uint32_t kPixelsPerLine = 10;
constexpr uint32_t kPixelsForLines = 8;
constexpr uint32_t kBytesPerRgb = 3;
// Bytes per pixel of each channel view, in Channel order.
constexpr uint32_t kChannelBytes[] = {1, 3, 4};
// The path selectors, in the order word_index numbers them.
constexpr const char* kSelectors[] = {"size", "rgb", "alpha", "argb"};
enum Selector : int32_t { SEL_NONE, SEL_SIZE, SEL_RGB, SEL_ALPHA, SEL_ARGB };

uint32_t size_word(uint32_t width, uint32_t height) { return height << kSideBits | width; }

// The rectangle an image shows from its position: column and row of the position to the edges.
struct View {
  NodeId node;
  uint32_t x, y, width, height;
};

View view_of(const Cell* image) {
  const uint32_t width = width_of(image), height = height_of(image);
  if (!image->node() || !width) return View{kNoNode, 0, 0, width, height};
  const uint32_t position = std::min(position_of(image), pixel_count(image));
  const uint32_t x = position % width, y = position / width;
  // At the tail nothing is left: the empty image, as a copy from there is.
  if (y == height) return View{kNoNode, 0, 0, 0, 0};
  return View{image->node(), x, y, width - x, height - y};
}

uint32_t view_pixel(const View& view, uint32_t index) {
  const uint32_t stride = bitmap::width(view.node);
  return bitmap::read_pixels(view.node)[size_t(view.y + index / view.width) * stride + view.x +
                                        index % view.width];
}

Cell pixel_tuple(uint32_t pixel) {
  return tuple::make_rgba(bitmap::red_of(pixel), bitmap::green_of(pixel), bitmap::blue_of(pixel),
                          int32_t(kOpaque - bitmap::alpha_of(pixel)));
}

// The stored pixel of a colour tuple; a three-byte tuple is opaque.
uint32_t tuple_pixel(const Cell* colour) {
  const uint8_t* b = tuple::bytes(colour);
  return bitmap::pixel_of(b[0], b[1], b[2], tuple::count(colour) > 3 ? b[3] : 0);
}

// A new image holding the rectangle (empty without one).
Cell copy_rectangle(NodeId node, int64_t x, int64_t y, int64_t width, int64_t height) {
  Cell made;
  if (!node || width < 1 || height < 1) return *make_empty(&made, 0, 0);
  return *make_at(&made, bitmap::copy_part(node, uint32_t(x), uint32_t(y), uint32_t(width),
                                           uint32_t(height)));
}

// ---- position arithmetic ----

// The absolute pixel index that a 1-based pick or poke index names, or -1 out of range.
int64_t pick_target(const Cell* image, int32_t index, const Cell* index_cell) {
  const int64_t width = width_of(image), height = height_of(image);
  const int64_t count = width * height;
  int64_t n = index;
  if (index_cell && index_cell->is(TYPE_PAIR)) {
    const int64_t x = pair::x(index_cell), y = pair::y(index_cell);
    if (x < 1 || x > width || y < 1 || y > height) return -1;
    n = x + width * (y - 1);
  }
  if (n == 0) return -1;
  const int64_t target = int64_t(position_of(image)) + (n > 0 ? n - 1 : n);
  return target < 0 || target >= count ? -1 : target;
}

// The position that `at` (base 1) or `skip` (base 0) moves to, clamped to the pixels.
uint32_t moved_position(const Cell* image, const Cell* index, int32_t base) {
  const int64_t width = width_of(image);
  int64_t n;
  if (index->is(TYPE_INTEGER)) n = integer::get(index);
  else if (index->is(TYPE_PAIR)) n = pair::x(index) + width * (pair::y(index) - base);
  else number::raise_invalid_arg(index);
  if (base == 1 && n <= 0) ++n;
  const int64_t target = int64_t(position_of(image)) + n - base;
  return uint32_t(std::clamp<int64_t>(target, 0, pixel_count(image)));
}

// ---- make ----

const Cell* binary_arg(const Cell* value) {
  if (!value->is(TYPE_BINARY)) number::raise_invalid_arg(value);
  return value;
}

// A filled image of a size whose negative sides count as 0; a side above 65535 raises script
// `out-of-range`.
void make_filled(const Cell* size, const bitmap::Fill& fill, Cell* result) {
  const int64_t width = std::max(0, pair::x(size)), height = std::max(0, pair::y(size));
  bitmap::check_size(width, height, size);
  if (!width || !height) {
    make_empty(result, uint32_t(width), uint32_t(height));
    return;
  }
  Cell made;
  make_at(&made, bitmap::make_filled(uint32_t(width), uint32_t(height), fill));
  *result = made;
}

void make_from_block(const Cell* spec, Cell* result) {
  const uint32_t length = block::length(spec);
  const Cell* values = block::head(spec);
  if (!values[0].is(TYPE_PAIR)) number::raise_invalid_arg(&values[0]);
  const Cell size = values[0];
  Cell colour_or_rgb = length > 1 ? values[1] : none::value;
  Cell alpha = length > 2 ? *binary_arg(&values[2]) : none::value;
  uint32_t colour = 0;
  std::string rgb, transparency;
  if (colour_or_rgb.is(TYPE_TUPLE)) colour = tuple_pixel(&colour_or_rgb);
  else if (length > 1) rgb = binary::bytes(binary_arg(&colour_or_rgb));
  if (alpha.is(TYPE_BINARY)) transparency = binary::bytes(&alpha);
  bitmap::Fill fill;
  fill.rgb = reinterpret_cast<const uint8_t*>(rgb.data());
  fill.rgb_size = rgb.size();
  fill.alpha = reinterpret_cast<const uint8_t*>(transparency.data());
  fill.alpha_size = transparency.size();
  if (colour_or_rgb.is(TYPE_TUPLE)) fill.colour = &colour;
  make_filled(&size, fill, result);
}

// ---- mold ----

struct HexWriter {
  string::CharWriter writer;
  bool limited;
  int32_t part;

  bool spent() const { return limited && part <= 0; }
  void put(std::string_view text) {
    writer.put_ascii(text);
    if (limited) part -= int32_t(text.size());
  }
  void new_line(int32_t level) {
    const int32_t written = writer.put_line_break(level);
    if (limited) part -= written;
  }
};

// Writes one byte (or three) per view pixel as hexadecimal, `pixels_per_line` pixels to a
// line when `lines` is set, each line opened by `open_line`. Answers false once the part limit
// is spent.
template <class Bytes, class OpenLine>
bool write_pixel_hex(HexWriter& out, const View& view, bool lines, Bytes&& bytes,
                     OpenLine&& open_line) {
  const uint32_t count = view.width * view.height;
  for (uint32_t i = 0; i < count; ++i) {
    if (lines && i % kPixelsPerLine == 0) open_line();
    for (uint8_t byte : bytes(view_pixel(view, i))) out.put(string::byte_to_hex(byte));
    if (out.spent()) return false;
  }
  return true;
}

int32_t write_image(const Cell* value, Cell* buffer, bool only, bool flat, bool limited,
                    int32_t part, int32_t indent) {
  const View view = view_of(value);
  HexWriter out{string::CharWriter(buffer), limited, part};
  if (!only) out.put("make image! [");
  out.put(integer::to_decimal_text(int32_t(view.width)));
  out.put("x");
  out.put(integer::to_decimal_text(int32_t(view.height)));
  const uint32_t count = view.width * view.height;
  if (!view.node || !count) {
    out.put(" #{}");
  } else {
    out.put(" #{");
    const bool lines = !flat && count >= kPixelsForLines;
    auto rgb = [](uint32_t pixel) {
      return std::array<uint8_t, kBytesPerRgb>{bitmap::red_of(pixel), bitmap::green_of(pixel),
                                               bitmap::blue_of(pixel)};
    };
    if (!write_pixel_hex(out, view, lines, rgb, [&] { out.new_line(indent + 1); })) {
      out.writer.flush();
      return out.part;
    }
    if (lines) out.new_line(indent);
    out.put("}");
    bool translucent = false;
    for (uint32_t i = 0; i < count && !translucent; ++i)
      translucent = bitmap::alpha_of(view_pixel(view, i)) != kOpaque;
    if (translucent) {
      out.put(" #{");
      auto transparency = [](uint32_t pixel) {
        return std::array<uint8_t, 1>{uint8_t(kOpaque - bitmap::alpha_of(pixel))};
      };
      uint32_t written = 0;
      auto open_line = [&] {
        if (written++ == 0 || !flat) out.new_line(0);
      };
      if (!write_pixel_hex(out, view, true, transparency, open_line)) {
        out.writer.flush();
        return out.part;
      }
      out.new_line(0);
      out.put("}");
    }
  }
  if (!only) out.put("]");
  out.writer.flush();
  return out.part;
}

// ---- comparison ----

// -1, 0 or 1 by the views' sizes, then by their pixels row by row, bytewise in memory order.
int32_t compare_views(const View& a, const View& b) {
  const uint64_t count_a = uint64_t(a.width) * a.height, count_b = uint64_t(b.width) * b.height;
  if (count_a != count_b) return count_a < count_b ? -1 : 1;
  if (a.width != b.width) return a.width < b.width ? -1 : 1;
  if (!a.node || !b.node || !count_a) return 0;
  const uint32_t stride_a = bitmap::width(a.node), stride_b = bitmap::width(b.node);
  const uint32_t* pixels_a = bitmap::read_pixels(a.node);
  const uint32_t* pixels_b = bitmap::read_pixels(b.node);
  for (uint32_t row = 0; row < a.height; ++row) {
    const int answer = std::memcmp(pixels_a + size_t(a.y + row) * stride_a + a.x,
                                   pixels_b + size_t(b.y + row) * stride_b + b.x,
                                   a.width * bitmap::kBytesPerPixel);
    if (answer) return answer < 0 ? -1 : 1;
  }
  return 0;
}

// ---- change ----

// Copies the source picture onto the target with its top-left corner at x, y, clipped;
// answers the position after the last pixel written in the last row.
uint32_t blit(const Cell* target, const Cell* source, uint32_t x, uint32_t y) {
  const NodeId to = target->node(), from = source->node();
  const uint32_t width = width_of(target), height = height_of(target);
  const uint32_t columns = std::min(width - x, width_of(source));
  const uint32_t rows = std::min(height - y, height_of(source));
  const uint32_t source_width = width_of(source);
  // Copied out first: the source may be the target itself.
  std::vector<uint32_t> rectangle(size_t(columns) * rows);
  const uint32_t* pixels = bitmap::read_pixels(from);
  for (uint32_t row = 0; row < rows; ++row)
    std::memcpy(&rectangle[size_t(row) * columns], pixels + size_t(row) * source_width,
                columns * sizeof(uint32_t));
  uint32_t* out = bitmap::write_pixels(to);
  for (uint32_t row = 0; row < rows; ++row)
    std::memcpy(out + size_t(y + row) * width + x, &rectangle[size_t(row) * columns],
                columns * sizeof(uint32_t));
  return (y + rows - 1) * width + x + columns;
}

// ---- channels ----

void write_channel_bytes(uint32_t* pixels, size_t count, Channel channel, const uint8_t* bytes,
                         size_t size) {
  auto* stored = reinterpret_cast<uint8_t*>(pixels);
  switch (channel) {
    case CHANNEL_ARGB:
      std::memcpy(stored, bytes, std::min(size, count * bitmap::kBytesPerPixel));
      return;
    case CHANNEL_RGB:
      for (size_t i = 0, n = std::min(count, size / kBytesPerRgb); i < n; ++i) {
        const uint8_t* rgb = bytes + i * kBytesPerRgb;
        pixels[i] = (pixels[i] & 0xFF000000) | (bitmap::pixel_of(rgb[0], rgb[1], rgb[2], 0) &
                                                0x00FFFFFF);
      }
      return;
    case CHANNEL_ALPHA:
      for (size_t i = 0, n = std::min(count, size); i < n; ++i)
        stored[i * bitmap::kBytesPerPixel + 3] = uint8_t(kOpaque - bytes[i]);
      return;
  }
}

// The tuple bytes r, g, b, transparency of a colour value: a tuple, or an integer read as the
// tuple's packed bytes (r in the lowest byte).
std::array<uint8_t, 4> colour_bytes(const Cell* value) {
  if (value->is(TYPE_INTEGER)) {
    const uint32_t packed = uint32_t(integer::get(value));
    return {uint8_t(packed), uint8_t(packed >> 8), uint8_t(packed >> 16), uint8_t(packed >> 24)};
  }
  const uint8_t* b = tuple::bytes(value);
  return {b[0], b[1], b[2], uint8_t(tuple::count(value) > 3 ? b[3] : 0)};
}

void fill_channel(uint32_t* pixels, size_t count, Channel channel, const Cell* value) {
  const std::array<uint8_t, 4> c = colour_bytes(value);
  const uint32_t rgb = bitmap::pixel_of(c[0], c[1], c[2], 0) & 0x00FFFFFF;
  for (size_t i = 0; i < count; ++i) {
    uint32_t& p = pixels[i];
    switch (channel) {
      case CHANNEL_ARGB: p = bitmap::pixel_of(c[0], c[1], c[2], c[3]); break;
      case CHANNEL_RGB: p = (p & 0xFF000000) | rgb; break;
      // The transparency of an alpha fill is the first byte: the tuple's r or the integer's low
      // byte.
      case CHANNEL_ALPHA: p = (p & 0x00FFFFFF) | uint32_t(kOpaque - c[0]) << 24; break;
    }
  }
}

// ---- transfer ----

bool corner_of(const Cell* value, image_transforms::quad::Point* point) {
  if (value->is(TYPE_PAIR)) {
    *point = {float(pair::x(value)), float(pair::y(value))};
    return true;
  }
  if (value->is(TYPE_POINT2D)) {
    *point = {point::coordinate(value, 0), point::coordinate(value, 1)};
    return true;
  }
  return false;
}

}  // namespace

Cell* make_at(Cell* cell, NodeId record) {
  *cell = Cell{TYPE_IMAGE, 0, record, size_word(bitmap::width(record), bitmap::height(record))};
  return cell;
}

Cell* make_empty(Cell* cell, uint32_t width, uint32_t height) {
  *cell = Cell{TYPE_IMAGE, 0, kNoNode, size_word(width, height)};
  return cell;
}

Cell get_pixel(const Cell* image, uint32_t index) {
  if (!image->node() || index >= pixel_count(image)) return none::value;
  return pixel_tuple(bitmap::read_pixels(image->node())[index]);
}

void push_scaled(const Cell* image, uint32_t width, uint32_t height, Cell* result) {
  if (!image->node() || !width || !height) {
    make_empty(result, width, height);
    return;
  }
  Cell made;
  make_at(&made, bitmap::scale(image->node(), width, height));
  *result = made;
}

uint32_t* lock_pixels(const Cell* image) { return bitmap::write_pixels(image->node()); }

namespace {
void unlock_pixels(const Cell* image, bool notify) {
  if (!notify) return;
  series::Notice notice(image, ACT_POKE, image, 0, int32_t(pixel_count(image)));
  notice.done();
}

// A new binary! of the channel's bytes for every pixel (from the head, whatever the position).
void extract_channel(const Cell* image, Channel channel, Cell* result) {
  const size_t count = image->node() ? pixel_count(image) : 0;
  const uint32_t per_pixel = kChannelBytes[channel];
  Cell made;
  binary::make_at(&made, uint32_t(count * per_pixel));
  std::string bytes(count * per_pixel, '\0');
  const uint32_t* pixels = count ? bitmap::read_pixels(image->node()) : nullptr;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t p = pixels[i];
    char* out = &bytes[i * per_pixel];
    switch (channel) {
      case CHANNEL_ALPHA: out[0] = char(kOpaque - bitmap::alpha_of(p)); break;
      case CHANNEL_RGB:
        out[0] = char(bitmap::red_of(p));
        out[1] = char(bitmap::green_of(p));
        out[2] = char(bitmap::blue_of(p));
        break;
      case CHANNEL_ARGB: std::memcpy(out, &p, sizeof p); break;
    }
  }
  binary::append_bytes(&made, reinterpret_cast<const uint8_t*>(bytes.data()),
                       uint32_t(bytes.size()));
  *result = made;
}

// Writes a binary!, tuple! or integer! into the channel of every pixel; another value raises
// script `invalid-arg`.
void set_channel(const Cell* image, const Cell* value, Channel channel) {
  if (!value->is(TYPE_BINARY) && !value->is(TYPE_TUPLE) && !value->is(TYPE_INTEGER))
    number::raise_invalid_arg(value);
  if (!image->node()) return;
  const size_t count = pixel_count(image);
  // Copied out first: the binary could be moved by the owner's hook.
  const std::string bytes = value->is(TYPE_BINARY) ? std::string(binary::bytes(value)) : "";
  series::Notice notice(image, ACT_POKE, value, 0, int32_t(count));
  uint32_t* pixels = bitmap::write_pixels(image->node());
  if (value->is(TYPE_BINARY))
    write_channel_bytes(pixels, count, channel, reinterpret_cast<const uint8_t*>(bytes.data()),
                        bytes.size());
  else
    fill_channel(pixels, count, channel, value);
  notice.done();
}
}  // namespace

// ---- codecs ----

bool known_format(const Cell* binary) {
  const std::string_view bytes = binary::bytes(binary);
  return bitmap::format_of(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) >= 0;
}

namespace {

// Decodes bytes of a known signature into `result`; answers false when the data does not
// decode. A side above 65535 raises script `out-of-range` with the size.
bool decode_bytes(std::string_view bytes, Cell* result) {
  const bitmap::Decoded decoded =
      bitmap::decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  if (decoded.status == codecs::Decoded::TOO_LARGE) {
    const Cell size = pair::make(int32_t(decoded.picture.width), int32_t(decoded.picture.height));
    error::raise(error::CAT_SCRIPT, "out-of-range", &size);
  }
  if (decoded.status != codecs::Decoded::OK) return false;
  Cell made;
  make_at(&made, decoded.node);
  *result = made;
  return true;
}

}  // namespace

void load_binary(const Cell* binary, Cell* result) {
  if (!known_format(binary)) {
    *result = none::value;
    return;
  }
  // Copied: decoding allocates the record, which may move the binary's buffer.
  const std::string bytes(binary::bytes(binary));
  if (!decode_bytes(bytes, result)) error::raise(error::CAT_ACCESS, "bad-media");
}

void load_file(const Cell* file, Cell* result) {
  const Cell name = *file;
  std::string bytes;
  if (!platform::read_file(file::to_os_path(&name).c_str(), &bytes) ||
      bitmap::format_of(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) < 0 ||
      !decode_bytes(bytes, result))
    error::raise(error::CAT_ACCESS, "cannot-open", &name);
}

void decode(const Cell* source, Cell* result) {
  if (source->is(TYPE_BINARY)) load_binary(source, result);
  else load_file(source, result);
}

bool encode(const Cell* image, const Cell* target, int32_t format, Cell* result) {
  if (!image->node() || !pixel_count(image)) error::raise(error::CAT_ACCESS, "bad-media");
  if (format < 0 || format >= codecs::kFormatCount) {
    rt::print_line("Cannot find image encoder");
    return false;
  }
  std::string bytes;
  if (!bitmap::encode(image->node(), codecs::Format(format), &bytes))
    error::raise(error::CAT_ACCESS, "bad-media");
  Cell made;
  if (target) made = *target;
  else binary::make_at(&made, uint32_t(bytes.size()));
  binary::append_bytes(&made, reinterpret_cast<const uint8_t*>(bytes.data()),
                       uint32_t(bytes.size()));
  *result = made;
  return true;
}

// ---- transfer ----

void transfer(const Cell* image, const Cell* crop_offset, const Cell* crop_size,
              const Cell* points, int32_t point_count, Cell* result, Box* box) {
  namespace quad = image_transforms::quad;
  namespace pixels = image_transforms::pixels;
  *result = none::value;
  *box = Box{0, 0, 0, 0};
  if (!image->node()) return;
  const NodeId source = image->node();
  const int64_t source_width = bitmap::width(source), source_height = bitmap::height(source);
  int64_t x = 0, y = 0, width = source_width, height = source_height;
  if (crop_offset && crop_size) {
    x = std::clamp<int64_t>(pair::x(crop_offset), 0, source_width);
    y = std::clamp<int64_t>(pair::y(crop_offset), 0, source_height);
    width = std::clamp<int64_t>(pair::x(crop_size), 0, source_width - x);
    height = std::clamp<int64_t>(pair::y(crop_size), 0, source_height - y);
  }
  quad::Point given[quad::kCorners];
  if (point_count < 1 || point_count > quad::kCorners) return;
  for (int32_t i = 0; i < point_count; ++i)
    if (!corner_of(&points[i], &given[i])) return;
  quad::Quad q;
  auto& [top_left, top_right, bottom_right, bottom_left] = q.p;
  top_left = given[0];
  switch (point_count) {
    case 1:
      top_right = {top_left.x + float(width), top_left.y};
      bottom_left = {top_left.x, top_left.y + float(height)};
      bottom_right = {top_right.x, bottom_left.y};
      break;
    case 2:
      bottom_right = given[1];
      top_right = {bottom_right.x, top_left.y};
      bottom_left = {top_left.x, bottom_right.y};
      break;
    case 3:
      top_right = given[1];
      bottom_left = given[2];
      bottom_right = {top_right.x + bottom_left.x - top_left.x,
                      top_right.y + bottom_left.y - top_left.y};
      break;
    default:
      top_right = given[1];
      bottom_left = given[2];
      bottom_right = given[3];
  }
  const bool flipped_x = top_left.x > top_right.x;
  if (flipped_x) quad::mirror_x(&q, top_left.x);
  const bool flipped_y = top_right.y > bottom_right.y;
  if (flipped_y) quad::mirror_y(&q, top_left.y);
  if (width < 1 || height < 1) return;
  std::vector<uint32_t> cropped(size_t(width) * height);
  pixels::crop(bitmap::read_pixels(source), uint32_t(source_width), uint32_t(source_height),
               uint32_t(x), uint32_t(y), uint32_t(width), uint32_t(height), cropped.data());
  Box mapped{};
  const std::vector<uint32_t> picture =
      pixels::map_to_quad(cropped.data(), uint32_t(width), uint32_t(height), q, &mapped);
  if (picture.empty()) return;
  Cell made;
  make_at(&made, bitmap::new_record(uint32_t(mapped.width), uint32_t(mapped.height)));
  std::memcpy(lock_pixels(&made), picture.data(), picture.size() * sizeof(uint32_t));
  unlock_pixels(&made, true);
  *result = made;
  *box = Box{mapped.x, mapped.y, flipped_x ? -mapped.width : mapped.width,
             flipped_y ? -mapped.height : mapped.height};
}

// ---- actions ----

namespace {
void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result) {
  switch (spec->type()) {
    case TYPE_PAIR: {
      const uint32_t white = kWhite;
      bitmap::Fill fill;
      fill.colour = &white;
      make_filled(spec, fill, result);
      return;
    }
    case TYPE_BLOCK:
      if (block::length(spec) > 0) {
        make_from_block(spec, result);
        return;
      }
      if (!prototype->is(TYPE_IMAGE)) number::raise_invalid_arg(spec);
      copy(const_cast<Cell*>(prototype), nullptr, false, nullptr, result);
      return;
    default:
      to(prototype, spec, type, result);
  }
}

void to(const Cell*, const Cell* spec, TypeId, Cell* result) {
  // A face captured into an image needs the GUI back end, which is not part of this runtime.
  if (!spec->is(TYPE_IMAGE)) number::raise_bad_to_arg(TYPE_IMAGE, spec);
  copy(const_cast<Cell*>(spec), nullptr, false, nullptr, result);
}

int32_t form(const Cell* value, Cell* buffer, const Cell* argument, int32_t part) {
  return write_image(value, buffer, false, false, argument != nullptr, part, 0);
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool, bool flat, const Cell* argument,
             int32_t part, int32_t indent) {
  return write_image(value, buffer, only, flat, argument != nullptr, part, indent);
}

void eval_path(const PathStep& step, Cell* result) {
  Cell* image = step.parent;
  if (step.element->is(TYPE_INTEGER) || step.element->is(TYPE_PAIR)) {
    const int32_t index = step.element->is(TYPE_INTEGER) ? integer::get(step.element) : 0;
    if (step.value) poke(image, index, step.element, step.value, result);
    else pick(image, index, step.element, result);
    return;
  }
  const auto selector = Selector(number::word_index(step.element, kSelectors, SEL_ARGB));
  switch (selector) {
    case SEL_NONE:
      number::raise_invalid_path(step);
    case SEL_SIZE:
      if (step.value) number::raise_invalid_path(step);
      *result = pair::make(int32_t(width_of(image)), int32_t(height_of(image)));
      return;
    default: {
      const Channel channel = selector == SEL_RGB     ? CHANNEL_RGB
                              : selector == SEL_ALPHA ? CHANNEL_ALPHA
                                                      : CHANNEL_ARGB;
      if (!step.value) {
        extract_channel(image, channel, result);
        return;
      }
      const Cell value = *step.value;
      set_channel(image, &value, channel);
      *result = value;
    }
  }
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  if (!value2->is(TYPE_IMAGE)) return kNotComparable;
  const bool identical = value1->node() == value2->node() && value1->data1 == value2->data1 &&
                         value1->data3 == value2->data3;
  switch (op) {
    case COMP_SAME:
      return identical ? 0 : -1;
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SELECT:
    case COMP_SORT: case COMP_CASE_SORT:
      return identical ? 0 : compare_views(view_of(value1), view_of(value2));
    default:
      return kNotComparable;
  }
}

void at(Cell* series, Cell* index, Cell* result) {
  Cell moved = *series;
  moved.data1 = moved_position(series, index, 1);
  *result = moved;
}

void skip(Cell* series, Cell* count, Cell* result) {
  Cell moved = *series;
  moved.data1 = moved_position(series, count, 0);
  *result = moved;
}

void next(Cell* series, Cell* result) {
  Cell moved = *series;
  if (moved.data1 + 1 <= pixel_count(series)) ++moved.data1;
  *result = moved;
}

void tail(Cell* series, Cell* result) {
  Cell moved = *series;
  moved.data1 = pixel_count(series);
  *result = moved;
}

void tail_q(Cell* series, Cell* result) {
  *result = logic::make(position_of(series) >= pixel_count(series));
}

int32_t length_q(const Cell* series) { return int32_t(pixel_count(series)); }

void pick(Cell* series, int32_t index, const Cell* index_cell, Cell* result) {
  const int64_t target = pick_target(series, index, index_cell);
  *result = target < 0 ? none::value : get_pixel(series, uint32_t(target));
}
}  // namespace

void poke(Cell* series, int32_t index, const Cell* index_cell, Cell* value, Cell* result) {
  const int64_t target = pick_target(series, index, index_cell);
  if (target < 0 || !series->node()) {
    const Cell index_value = index_cell ? *index_cell : integer::make(index);
    error::raise(error::CAT_SCRIPT, "out-of-range", &index_value);
  }
  if (!value->is(TYPE_TUPLE)) number::raise_invalid_arg(value);
  const Cell stored = *value;
  series::Notice notice(series, ACT_POKE, &stored, int32_t(target), 1);
  bitmap::write_pixels(series->node())[target] = tuple_pixel(&stored);
  notice.done();
  *result = stored;
}

namespace {
void change(Cell* series, Cell* value, const InsertOptions& options, Cell* result) {
  if (options.part >= 0 || options.dup != 1) error::raise(error::CAT_INTERNAL, "not-done");
  Cell target = *series;
  const uint32_t position = position_of(&target);
  const bool inside = target.node() && position < pixel_count(&target);
  switch (value->type()) {
    case TYPE_TUPLE:
      if (inside) {
        series::Notice notice(&target, ACT_CHANGE, value, int32_t(position), 1);
        bitmap::write_pixels(target.node())[position] = tuple_pixel(value);
        notice.done();
        target.data1 = position + 1;
      }
      break;
    case TYPE_IMAGE:
      if (inside && value->node()) {
        const Cell source = *value;
        series::Notice notice(&target, ACT_CHANGE, &source, int32_t(position),
                              int32_t(pixel_count(&source)));
        const uint32_t width = width_of(&target);
        target.data1 = blit(&target, &source, position % width, position / width);
        notice.done();
      }
      break;
    default:
      number::raise_invalid_type(value);
  }
  *result = target;
}

void copy(Cell* value, const Cell* part, bool, const Cell*, Cell* result) {
  const Cell image = *value;
  const NodeId node = image.node();
  const int64_t width = width_of(&image), height = height_of(&image);
  if (!node || !width || !height) {
    make_empty(result, 0, 0);
    return;
  }
  const uint32_t position = std::min(position_of(&image), pixel_count(&image));
  const int64_t column = position % width, row = position / width;
  // The corner a position names as a rectangle's bottom-right: a position in column 0 is the
  // right edge of the row before it.
  auto corner_of_position = [&](uint32_t at) {
    return at % width == 0 ? std::pair<int64_t, int64_t>{width, at / width}
                           : std::pair<int64_t, int64_t>{at % width, at / width};
  };
  if (!part) {
    *result = copy_rectangle(node, column, row, width - column, height - row);
    return;
  }
  switch (part->type()) {
    case TYPE_PAIR: {
      const int64_t w = pair::x(part), h = pair::y(part);
      if (w > 0 && h > 0 && position < pixel_count(&image)) {
        *result = copy_rectangle(node, column, row, std::min(w, width - column),
                                 std::min(h, height - row));
      } else if (w < 0 && h < 0 && position != 0) {
        const auto [right, bottom] = corner_of_position(position);
        const int64_t left = std::max<int64_t>(0, right + w), top = std::max<int64_t>(0, bottom + h);
        *result = copy_rectangle(node, left, top, right - left, bottom - top);
      } else {
        make_empty(result, 0, 0);
      }
      return;
    }
    case TYPE_IMAGE: {
      if (part->node() != node) series::raise_refine(part, "part");
      const uint32_t other = std::min(position_of(part), pixel_count(part));
      const uint32_t first = std::min(position, other), last = std::max(position, other);
      const auto [right, bottom] = corner_of_position(last);
      *result = copy_rectangle(node, first % width, first / width, right - first % width,
                               bottom - first / width);
      return;
    }
    case TYPE_INTEGER:
      error::raise(error::CAT_INTERNAL, "not-done");
    default:
      series::raise_refine(part, "part");
  }
}
}  // namespace

void init() {
  using actions::own;
  bitmap::init();
  datatype::register_type(TYPE_IMAGE, TYPE_SERIES, "image!",
                          actions::ActionList()
                              .own(own<ACT_MAKE>(make))
                              .own(own<ACT_TO>(to))
                              .own(own<ACT_FORM>(form))
                              .own(own<ACT_MOLD>(mold))
                              .own(own<ACT_EVAL_PATH>(eval_path))
                              .own(own<ACT_COMPARE>(compare))
                              .own(own<ACT_AT>(at))
                              .own(own<ACT_CHANGE>(change))
                              .own(own<ACT_COPY>(copy))
                              .own(own<ACT_LENGTH_Q>(length_q))
                              .own(own<ACT_NEXT>(next))
                              .own(own<ACT_PICK>(pick))
                              .own(own<ACT_POKE>(poke))
                              .own(own<ACT_SKIP>(skip))
                              .own(own<ACT_TAIL>(tail))
                              .own(own<ACT_TAIL_Q>(tail_q))
                              .inherit({ACT_BACK, ACT_HEAD, ACT_HEAD_Q, ACT_INDEX_Q, ACT_MODIFY}));
}

}  // namespace xol::image
