// The drawing side of an image: a Cairo image surface holding a premultiplied copy of its
// pixels, which the drawing back end renders from and into.
//
// Cairo's ARGB32 format is a native-endian 32-bit word A, R, G, B, premultiplied: on this
// little-endian machine the bytes B, G, R, A, the runtime's own order, so the copies below only
// multiply or divide by alpha. A surface needs no display.
#pragma once

#include <cstdint>

namespace xol::platform::image_surface {

// Opaque: a cairo_surface_t to the code that draws.
struct Surface;

// A width x height surface, or null when Cairo cannot make one.
Surface* create(uint32_t width, uint32_t height);
void destroy(Surface* surface);
uint32_t width(Surface* surface);
uint32_t height(Surface* surface);
// Copies packed straight-alpha pixels of the surface's size into it, premultiplying.
void store_pixels(Surface* surface, const uint32_t* pixels);
// Copies the surface back into packed straight-alpha pixels, undoing the premultiplication.
void load_pixels(Surface* surface, uint32_t* pixels);

}  // namespace xol::platform::image_surface
