// Premultiplied alpha: a colour channel scaled by its pixel's alpha, as Cairo stores pixels
// and as libtiff hands TIFF pixels to GdkPixbuf. Both directions round to nearest.
#pragma once

#include <algorithm>
#include <cstdint>

namespace xol::platform {

constexpr uint32_t kChannelMax = 255;

// c x a / 255.
inline uint8_t premultiply(uint32_t c, uint32_t a) {
  const uint32_t t = c * a + 128;
  return uint8_t((t + (t >> 8)) >> 8);
}

// The straight channel that premultiplies to c under alpha a (above 0).
inline uint8_t unpremultiply(uint32_t c, uint32_t a) {
  return uint8_t(std::min<uint32_t>(kChannelMax, (c * kChannelMax + a / 2) / a));
}

}  // namespace xol::platform
