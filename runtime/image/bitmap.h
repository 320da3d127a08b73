// The image back end: the bitmap records that hold the pixels of `image!` values, the codecs
// that fill and read them, and the drawing surface attached to them.
//
// A record is a byte series: a small header (flags, the handle slot of its surface, width,
// height) followed by width x height pixels, 32-bit words in memory order B, G, R, A with
// straight alpha. Being a series, it lives and moves like one: an image cell names its node, and
// a pixel address is good only until the next series allocation.
//
// Drawing needs premultiplied pixels, so a record may have an "attached" Cairo surface holding
// a premultiplied copy. It is made on first use and kept in a handle slot of kind "image", which
// destroys it when released. Two flags keep the two copies honest: a write to the pixels marks
// the surface stale (it is refilled at its next use), and drawing onto the surface marks the
// pixels stale (they are read back before the next pixel access). The collector's hook drops a
// surface not used since the previous collection; the pixels stay.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/image_codecs.h"
#include "platform/image_surface.h"
#include "runtime/cell.h"

namespace xol::bitmap {

// Width and height each fit 16 bits of an image cell's size word.
constexpr uint32_t kMaxSide = 0xFFFF;
constexpr uint32_t kBytesPerPixel = 4;

enum RecordFlag : uint32_t {
  FLAG_WRITTEN = 1u << 1,         // pixels written since the surface was filled
  FLAG_DRAWN = 1u << 5,           // the surface was drawn on: it holds the newer pixels
  FLAG_SURFACE_USED = 1u << 6,    // the surface was used since the last collection
};

struct Record {
  uint32_t flags;
  int32_t slot;      // handle slot of the attached surface, or -1
  uint32_t width;
  uint32_t height;
};
static_assert(sizeof(Record) % kBytesPerPixel == 0, "pixels follow the header word-aligned");

// The most pixels a record holds: the record and its pixels fit one buffer of 32-bit size.
constexpr uint64_t kMaxPixels = (UINT32_MAX - sizeof(Record)) / kBytesPerPixel;

// Registers the handle kind "image" and the collector's hook for image cells.
void init();

// Raises script `out-of-range` with `culprit` unless both sides fit kMaxSide; negative sides
// are the caller's to clamp.
void check_size(int64_t width, int64_t height, const Cell* culprit);
// A new record of width x height pixels, their values unset; both sides above 0 and checked.
// A picture too large for one series raises internal `no-memory`.
NodeId new_record(uint32_t width, uint32_t height);

Record* record(NodeId node);
inline uint32_t width(NodeId node) { return record(node)->width; }
inline uint32_t height(NodeId node) { return record(node)->height; }
inline size_t pixel_count(NodeId node) { return size_t(width(node)) * height(node); }
// The pixels for reading, or for writing (which makes the surface stale); valid until the next
// series allocation.
const uint32_t* read_pixels(NodeId node);
uint32_t* write_pixels(NodeId node);

// A stored pixel from bytes R, G, B and the transparency of the language (255 - alpha).
inline uint32_t pixel_of(uint8_t r, uint8_t g, uint8_t b, uint8_t transparency) {
  return uint32_t(255 - transparency) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}
inline uint8_t red_of(uint32_t pixel) { return uint8_t(pixel >> 16); }
inline uint8_t green_of(uint32_t pixel) { return uint8_t(pixel >> 8); }
inline uint8_t blue_of(uint32_t pixel) { return uint8_t(pixel); }
inline uint8_t alpha_of(uint32_t pixel) { return uint8_t(pixel >> 24); }

// A filled record: every pixel `colour` when given, else successive R, G, B triples of `rgb`
// then white; then the pixels take the transparency of successive bytes of `alpha`, as far as
// it goes.
struct Fill {
  const uint8_t* rgb = nullptr;
  size_t rgb_size = 0;
  const uint8_t* alpha = nullptr;
  size_t alpha_size = 0;
  const uint32_t* colour = nullptr;
};
NodeId make_filled(uint32_t width, uint32_t height, const Fill& fill);
// The rectangle at x, y of width x height, which must lie inside the record.
NodeId copy_part(NodeId node, uint32_t x, uint32_t y, uint32_t width, uint32_t height);
// The picture scaled to width x height (both above 0) by the nearest pixel.
NodeId scale(NodeId node, uint32_t width, uint32_t height);

// ---- codecs ----

using platform::image_codecs::Format;

// The format whose signature starts the bytes, or -1: PNG 89 "PNG", JPEG FF D8 FF, BMP "BM",
// GIF "GIF87a" or "GIF89a", TIFF "II" 2A 00 or "MM" 00 2A.
int32_t format_of(const uint8_t* bytes, size_t size);

struct Decoded {
  platform::image_codecs::Decoded status;
  NodeId node;                            // the record when status is OK
  platform::image_codecs::Size picture;   // the size, when the data told it
};
// Decodes the first frame of bytes of a known signature into a new record.
Decoded decode(const uint8_t* bytes, size_t size);
// Replaces `out` with the record's pixels encoded as `format`; false when the library fails.
bool encode(NodeId node, Format format, std::string* out);

// ---- the attached surface ----

// The surface holding the current pixels, premultiplied, made or refreshed as needed, and
// marked used; null when Cairo cannot make one.
platform::image_surface::Surface* use_surface(NodeId node);
// As use_surface, for drawing onto: the pixels are read back from the surface at their next
// access.
platform::image_surface::Surface* begin_drawing(NodeId node);
// Whether a surface is attached now.
bool has_surface(NodeId node);

}  // namespace xol::bitmap
