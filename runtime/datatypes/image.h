// image!: a rectangle of pixels that the language treats as a series of colours.
//
// Cell: header type 53; payload word 1 the position in pixels (0 at the head), word 2 the node
// of the bitmap record holding the pixels (runtime/image/bitmap.h), or 0 for an image without pixels,
// word 3 the size, height in the upper 16 bits and width in the lower 16. A pixel reads as a
// tuple r.g.b.a whose last byte is transparency (0 opaque, 255 invisible): the stored alpha is
// 255 minus it, and a three-byte tuple stores an opaque pixel.
//
// Positions run over the pixels row after row. A pair x by y names column x of row y: 1-based
// for pick, poke and at, 0-based for skip. `rgb`, `alpha` and `argb` read the whole image as a
// binary! (R, G, B bytes; transparency bytes; the stored B, G, R, A words) and write into it.
// The printed form is make image! [WxH #{RGB...} #{transparency...}] with the pixels from the
// position on, the size shrunk to what they fill, so that what a mold loads back equals the
// image it came from.
#pragma once

#include <cstdint>

#include "runtime/image/bitmap.h"
#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/image/image_transforms.h"

namespace xol::image {

constexpr uint32_t kSideBits = 16;
constexpr uint32_t kSideMask = 0xFFFF;

inline uint32_t width_of(const Cell* image) { return image->data3 & kSideMask; }
inline uint32_t height_of(const Cell* image) { return image->data3 >> kSideBits; }
inline uint32_t pixel_count(const Cell* image) { return width_of(image) * height_of(image); }
inline uint32_t position_of(const Cell* image) { return image->data1; }

// The cell becomes an image at position 0 of the record, or an empty image of width x height
// (which may be 0) without one.
Cell* make_at(Cell* cell, NodeId record);
Cell* make_empty(Cell* cell, uint32_t width, uint32_t height);

// The pixel at absolute index `index` as a tuple r.g.b.a; none at or past the end.
Cell get_pixel(const Cell* image, uint32_t index);
// A new image of the picture scaled to width x height by the nearest pixel.
void push_scaled(const Cell* image, uint32_t width, uint32_t height, Cell* result);

// Pixel access for writers: the first pixel of the record (valid until the next series
// allocation), and the end of the writing, which tells an owning object with `poke` when
// `notify` is set.
uint32_t* lock_pixels(const Cell* image);

enum Channel : int32_t { CHANNEL_ALPHA, CHANNEL_RGB, CHANNEL_ARGB };

// ---- codecs (the decode and encode routines of the image codecs) ----

// True when the binary! starts with the signature of a format the codecs read.
bool known_format(const Cell* binary);
// The binary!'s picture as a new image; none for an unknown signature. Data that does not
// decode raises access `bad-media`; a side above 65535 script `out-of-range`.
void load_binary(const Cell* binary, Cell* result);
// The file!'s picture as a new image; a file that cannot be read or decoded raises access
// `cannot-open`.
void load_file(const Cell* file, Cell* result);
// load_binary for a binary!, load_file otherwise.
void decode(const Cell* source, Cell* result);
// Encodes the image as format 0 BMP, 1 PNG, 2 GIF, 3 JPEG or 4 TIFF, appending the bytes to
// `target` (a binary!) or, when it is null, into a new binary!. An image without pixels raises
// access `bad-media`. Another format prints "Cannot find image encoder" and answers false,
// leaving `result` alone.
bool encode(const Cell* image, const Cell* target, int32_t format, Cell* result);

// ---- drawing an image through corner points ----

// Draws the image, or the part of it that `crop_offset` and `crop_size` name (clipped to it),
// into a new image through 1 to 4 corner points (pair! or point2D!): one keeps the size, two
// are the top-left and bottom-right corners, three the top-left, top-right and bottom-left,
// four the top-left, top-right, bottom-left and bottom-right. `result` becomes the image, or
// none for another count or an empty picture; `box` receives where it goes, its width (height)
// negated when the points mirror it horizontally (vertically).
void transfer(const Cell* image, const Cell* crop_offset, const Cell* crop_size,
              const Cell* points, int32_t point_count, Cell* result,
              image_transforms::pixels::Box* box);

// ---- actions ----
void poke(Cell* series, int32_t index, const Cell* index_cell, Cell* value, Cell* result);

// Registers image! (id 53, parent series!) and the back end's handle kind.
void init();

}  // namespace xol::image
