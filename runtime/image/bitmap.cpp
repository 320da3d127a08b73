// Bitmap records: making, filling, copying and scaling pixels; decoding and encoding them; the
// attached drawing surface and its upkeep by the collector.
#include "runtime/image/bitmap.h"

#include <algorithm>
#include <cstring>

#include "runtime/memory/collector.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/memory/handle_table.h"
#include "runtime/memory/memory.h"
#include "runtime/process/tracked_heap.h"

namespace xol::bitmap {
namespace {

namespace surfaces = platform::image_surface;
namespace codecs = platform::image_codecs;

constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kOpaqueAlpha = 0xFF000000;
constexpr uint32_t kBytesPerRgb = 3;

int image_kind = 0;

// What a slot of kind "image" holds: the surface and the record it was made for, so that a
// record never takes over a slot that the collector released and gave to another.
struct Attached {
  NodeId record;
  surfaces::Surface* surface;
};

void release_attached(uintptr_t object) {
  auto* attached = reinterpret_cast<Attached*>(object);
  surfaces::destroy(attached->surface);
  rt::free(attached);
}

uint32_t* pixels_of(NodeId node) {
  return reinterpret_cast<uint32_t*>(memory::buffer_of(node)->head_ptr() + sizeof(Record));
}

// The record's attached surface, or null.
Attached* attached_of(NodeId node) {
  const int32_t slot = record(node)->slot;
  if (slot < 0 || !handles::is_used(slot) || handles::kind_of(slot) != image_kind) return nullptr;
  auto* attached = reinterpret_cast<Attached*>(handles::object_of(slot));
  return attached->record == node ? attached : nullptr;
}

// Reads back pixels drawn onto the surface since the last access.
void settle(NodeId node) {
  Record* r = record(node);
  if (!(r->flags & FLAG_DRAWN)) return;
  r->flags &= ~FLAG_DRAWN;
  if (Attached* attached = attached_of(node)) surfaces::load_pixels(attached->surface, pixels_of(node));
}

void drop_surface(NodeId node) {
  Record* r = record(node);
  if (attached_of(node)) handles::free(r->slot, true);
  r->slot = -1;
}

// Collector hook of image cells: marks the record's surface slot, and the first time in a
// cycle drops the surface unless it was used since the previous cycle.
void mark_image(const Cell& cell) {
  const NodeId node = cell.node();
  if (node == kNoNode) return;
  Record* r = record(node);
  if (r->slot < 0 || !attached_of(node) || !handles::mark(r->slot)) return;
  if (r->flags & FLAG_SURFACE_USED) {
    r->flags &= ~FLAG_SURFACE_USED;
    return;
  }
  settle(node);
  drop_surface(node);
}

}  // namespace

void init() {
  image_kind = handles::register_kind("image", release_attached);
  collector::set_type_marking(TYPE_IMAGE, {collector::payload_word(2), 0, mark_image});
}

void check_size(int64_t width, int64_t height, const Cell* culprit) {
  if (width > kMaxSide || height > kMaxSide) error::raise(error::CAT_SCRIPT, "out-of-range", culprit);
}

NodeId new_record(uint32_t width, uint32_t height) {
  if (uint64_t(width) * height > kMaxPixels) error::raise(error::CAT_INTERNAL, "no-memory");
  const uint64_t bytes = uint64_t(width) * height * kBytesPerPixel + sizeof(Record);
  const NodeId node = memory::alloc_bytes(uint32_t(bytes));
  memory::SeriesBuffer* buffer = memory::buffer_of(node);
  buffer->tail = buffer->head + uint32_t(bytes);
  *record(node) = Record{0, -1, width, height};
  return node;
}

Record* record(NodeId node) {
  return reinterpret_cast<Record*>(memory::buffer_of(node)->head_ptr());
}

const uint32_t* read_pixels(NodeId node) {
  settle(node);
  return pixels_of(node);
}

uint32_t* write_pixels(NodeId node) {
  settle(node);
  record(node)->flags |= FLAG_WRITTEN;
  return pixels_of(node);
}

NodeId make_filled(uint32_t width, uint32_t height, const Fill& fill) {
  const NodeId node = new_record(width, height);
  uint32_t* out = pixels_of(node);
  const size_t count = size_t(width) * height;
  const size_t triples = std::min(count, fill.rgb_size / kBytesPerRgb);
  for (size_t i = 0; i < count; ++i) {
    if (fill.colour) {
      out[i] = *fill.colour;
    } else if (i < triples) {
      const uint8_t* rgb = fill.rgb + i * kBytesPerRgb;
      out[i] = pixel_of(rgb[0], rgb[1], rgb[2], 0);
    } else {
      out[i] = kWhite;
    }
  }
  for (size_t i = 0, n = std::min(count, fill.alpha_size); i < n; ++i)
    out[i] = (out[i] & ~kOpaqueAlpha) | uint32_t(255 - fill.alpha[i]) << 24;
  return node;
}

NodeId copy_part(NodeId node, uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
  const NodeId copy = new_record(width, height);
  const uint32_t* from = read_pixels(node) + size_t(y) * bitmap::width(node) + x;
  uint32_t* to = pixels_of(copy);
  for (uint32_t row = 0; row < height; ++row)
    std::memcpy(to + size_t(row) * width, from + size_t(row) * bitmap::width(node),
                width * kBytesPerPixel);
  return copy;
}

NodeId scale(NodeId node, uint32_t width, uint32_t height) {
  const NodeId scaled = new_record(width, height);
  const uint32_t source_width = bitmap::width(node), source_height = bitmap::height(node);
  const uint32_t* from = read_pixels(node);
  uint32_t* to = pixels_of(scaled);
  for (uint32_t y = 0; y < height; ++y) {
    const uint32_t* row = from + size_t(uint64_t(y) * source_height / height) * source_width;
    for (uint32_t x = 0; x < width; ++x) *to++ = row[uint64_t(x) * source_width / width];
  }
  return scaled;
}

// ---- codecs ----

int32_t format_of(const uint8_t* bytes, size_t size) {
  struct Signature {
    Format format;
    std::string_view bytes;
  };
  static constexpr Signature kSignatures[] = {
      {codecs::FORMAT_PNG, {"\x89PNG", 4}},         {codecs::FORMAT_JPEG, {"\xFF\xD8\xFF", 3}},
      {codecs::FORMAT_BMP, {"BM", 2}},              {codecs::FORMAT_GIF, {"GIF87a", 6}},
      {codecs::FORMAT_GIF, {"GIF89a", 6}},          {codecs::FORMAT_TIFF, {"II\x2A\x00", 4}},
      {codecs::FORMAT_TIFF, {"MM\x00\x2A", 4}},
  };
  const std::string_view data(reinterpret_cast<const char*>(bytes), size);
  for (const Signature& signature : kSignatures)
    if (data.starts_with(signature.bytes)) return signature.format;
  return -1;
}

Decoded decode(const uint8_t* bytes, size_t size) {
  const int32_t format = format_of(bytes, size);
  if (format < 0) return {codecs::Decoded::UNREADABLE, kNoNode, {}};
  NodeId node = kNoNode;
  codecs::Size picture;
  const codecs::Decoded status = codecs::decode(
      Format(format), bytes, size, {kMaxSide, kMaxPixels}, &picture, [&](uint32_t width, uint32_t height) {
        node = new_record(width, height);
        return pixels_of(node);
      });
  return {status, status == codecs::Decoded::OK ? node : kNoNode, picture};
}

bool encode(NodeId node, Format format, std::string* out) {
  return codecs::encode(format, read_pixels(node), width(node), height(node), out);
}

// ---- the attached surface ----

surfaces::Surface* use_surface(NodeId node) {
  settle(node);
  Attached* attached = attached_of(node);
  Record* r = record(node);
  if (!attached) {
    surfaces::Surface* surface = surfaces::create(r->width, r->height);
    if (!surface) return nullptr;
    attached = static_cast<Attached*>(rt::allocate(sizeof(Attached)));
    *attached = Attached{node, surface};
    r->slot = handles::alloc(reinterpret_cast<uintptr_t>(attached), image_kind);
    r->flags |= FLAG_WRITTEN;
  }
  if (r->flags & FLAG_WRITTEN) {
    surfaces::store_pixels(attached->surface, pixels_of(node));
    r->flags &= ~FLAG_WRITTEN;
  }
  r->flags |= FLAG_SURFACE_USED;
  return attached->surface;
}

surfaces::Surface* begin_drawing(NodeId node) {
  surfaces::Surface* surface = use_surface(node);
  if (surface) record(node)->flags |= FLAG_DRAWN;
  return surface;
}

bool has_surface(NodeId node) { return attached_of(node) != nullptr; }

}  // namespace xol::bitmap
