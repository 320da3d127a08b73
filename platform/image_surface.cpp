// Cairo image surfaces for images, and the conversions between straight and premultiplied
// alpha.
#include "platform/image_surface.h"

#include "platform/premultiply.h"

#include <cairo.h>


namespace xol::platform::image_surface {
namespace {

constexpr int kBytesPerPixel = 4;
constexpr int kAlphaByte = 3;

cairo_surface_t* native(Surface* surface) { return reinterpret_cast<cairo_surface_t*>(surface); }

}  // namespace

Surface* create(uint32_t width, uint32_t height) {
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(width), int(height));
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  return reinterpret_cast<Surface*>(surface);
}

void destroy(Surface* surface) { cairo_surface_destroy(native(surface)); }

uint32_t width(Surface* surface) { return uint32_t(cairo_image_surface_get_width(native(surface))); }
uint32_t height(Surface* surface) {
  return uint32_t(cairo_image_surface_get_height(native(surface)));
}

void store_pixels(Surface* surface, const uint32_t* pixels) {
  cairo_surface_t* s = native(surface);
  cairo_surface_flush(s);
  const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  const int stride = cairo_image_surface_get_stride(s);
  uint8_t* rows = cairo_image_surface_get_data(s);
  const auto* from = reinterpret_cast<const uint8_t*>(pixels);
  for (int y = 0; y < h; ++y) {
    uint8_t* to = rows + size_t(y) * stride;
    for (int x = 0; x < w; ++x, to += kBytesPerPixel, from += kBytesPerPixel) {
      const uint32_t a = from[kAlphaByte];
      for (int c = 0; c < kAlphaByte; ++c) to[c] = premultiply(from[c], a);
      to[kAlphaByte] = uint8_t(a);
    }
  }
  cairo_surface_mark_dirty(s);
}

void load_pixels(Surface* surface, uint32_t* pixels) {
  cairo_surface_t* s = native(surface);
  cairo_surface_flush(s);
  const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  const int stride = cairo_image_surface_get_stride(s);
  const uint8_t* rows = cairo_image_surface_get_data(s);
  auto* to = reinterpret_cast<uint8_t*>(pixels);
  for (int y = 0; y < h; ++y) {
    const uint8_t* from = rows + size_t(y) * stride;
    for (int x = 0; x < w; ++x, to += kBytesPerPixel, from += kBytesPerPixel) {
      const uint32_t a = from[kAlphaByte];
      for (int c = 0; c < kAlphaByte; ++c) to[c] = a ? unpremultiply(from[c], a) : 0;
      to[kAlphaByte] = uint8_t(a);
    }
  }
}

}  // namespace xol::platform::image_surface
