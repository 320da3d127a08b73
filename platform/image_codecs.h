// Image file codecs: decoding BMP, PNG, GIF, JPEG and TIFF bytes into pixels, and encoding
// pixels into those formats.
//
// Pixels on both sides are the runtime's own: 32-bit words in memory order B, G, R, A with
// straight (not premultiplied) alpha, rows packed with no gap. Decoding goes through GdkPixbuf's
// loaders (the first frame of an animation) and needs no display; encoding uses
// `gdk_pixbuf_save_to_buffer`, except GIF, which GdkPixbuf cannot write: giflib writes it, with
// a median-cut palette when the picture holds more than 256 colours. BMP and JPEG carry no
// alpha; GIF keeps one transparent colour for pixels less than half opaque.
//
// The decoder never picks a format by itself: the caller names the one whose signature the
// bytes carry, so data that merely resembles some other format GdkPixbuf knows is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

namespace xol::platform::image_codecs {

// Numbered as the image codecs number their encoders.
enum Format : int32_t { FORMAT_BMP, FORMAT_PNG, FORMAT_GIF, FORMAT_JPEG, FORMAT_TIFF };
constexpr int32_t kFormatCount = 5;

enum class Decoded { OK, UNREADABLE, TOO_LARGE };
struct Size {
  uint32_t width = 0, height = 0;
};

// The largest picture the caller can hold: each side, and width x height in all.
struct Limits {
  uint32_t max_side;
  uint64_t max_pixels;
  bool exceeded_by(uint32_t width, uint32_t height) const {
    return width > max_side || height > max_side || uint64_t(width) * height > max_pixels;
  }
};

// Receives the decoded picture's size and answers where its width x height pixel words go.
using PixelSink = uint32_t* (*)(uint32_t width, uint32_t height, void* context);

// Decodes the first frame of `bytes` as `format`, answering its size in `picture`. A picture
// beyond `limits` is refused with TOO_LARGE before the sink is asked (and, where the loader
// announces the size first, before it makes the pixels); truncated or corrupt data gives
// UNREADABLE. The sink may throw: nothing of the decoder is left behind.
Decoded decode(Format format, const uint8_t* bytes, size_t size, const Limits& limits,
               Size* picture, PixelSink sink, void* context);

template <class Sink>
Decoded decode(Format format, const uint8_t* bytes, size_t size, const Limits& limits,
               Size* picture, Sink&& sink) {
  using Callable = std::remove_reference_t<Sink>;
  return decode(
      format, bytes, size, limits, picture,
      [](uint32_t width, uint32_t height, void* context) {
        return (*static_cast<Callable*>(context))(width, height);
      },
      &sink);
}

// Replaces `out` with the encoded file of a width x height picture (both above 0); false when
// the library fails.
bool encode(Format format, const uint32_t* pixels, uint32_t width, uint32_t height,
            std::string* out);

}  // namespace xol::platform::image_codecs
