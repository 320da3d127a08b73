// zlib's inflate behind the sink interface: the window-bits argument selects the framing.
#include "platform/inflate.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace xol::platform::inflate {
namespace {

constexpr int kWindowBits = 15;        // the largest DEFLATE window, 32 KiB
constexpr int kGzipWindowBits = 16;    // added to the window bits: expect a gzip member
constexpr size_t kMaxStep = UINT_MAX;  // zlib counts its input and output in unsigned int

int window_bits(Framing framing) {
  switch (framing) {
    case FRAMING_RAW: return -kWindowBits;
    case FRAMING_ZLIB: return kWindowBits;
    case FRAMING_GZIP: return kGzipWindowBits + kWindowBits;
  }
  return kWindowBits;
}

// Ends the stream whichever way decoding leaves.
struct Stream {
  z_stream z{};
  bool open = false;
  ~Stream() {
    if (open) inflateEnd(&z);
  }
};

}  // namespace

Status decode(Framing framing, const uint8_t* in, size_t length, size_t limit, Sink& sink,
              size_t* produced) {
  *produced = 0;
  Stream stream;
  if (inflateInit2(&stream.z, window_bits(framing)) != Z_OK) return STATUS_CORRUPT;
  stream.open = true;
  z_stream& z = stream.z;
  size_t used = 0, capacity = 0, in_left = length;
  uint8_t* out = nullptr;
  // At the limit zlib may still have an end code and a check value to read: it gets one byte
  // of scratch room, and any byte written there is a byte past the limit.
  uint8_t past_limit;
  for (;;) {
    if (z.avail_in == 0 && in_left > 0) {
      z.next_in = const_cast<Bytef*>(in + (length - in_left));
      z.avail_in = uInt(std::min(in_left, kMaxStep));
      in_left -= z.avail_in;
    }
    if (used == capacity && used < limit) {
      out = sink.grow(used, &capacity);
      capacity = std::min(capacity, limit);
    }
    const bool at_limit = used == capacity;
    z.next_out = at_limit ? &past_limit : out + used;
    z.avail_out = at_limit ? 1 : uInt(std::min(capacity - used, kMaxStep));
    const uInt room = z.avail_out;
    const int status = ::inflate(&z, Z_NO_FLUSH);
    if (at_limit && z.avail_out == 0) return STATUS_LIMIT;
    if (!at_limit) used += room - z.avail_out;
    *produced = used;
    if (status == Z_STREAM_END) {
      const bool trailing = z.avail_in > 0 || in_left > 0;
      return framing == FRAMING_ZLIB && trailing ? STATUS_CORRUPT : STATUS_DONE;
    }
    if (status != Z_OK && status != Z_BUF_ERROR) return STATUS_CORRUPT;
    // No progress with output room left: the input ended before the stream did.
    if (z.avail_out > 0 && z.avail_in == 0 && in_left == 0) return STATUS_CORRUPT;
  }
}

}  // namespace xol::platform::inflate
