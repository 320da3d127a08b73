// Decoding DEFLATE data (RFC 1951) raw, in its zlib framing (RFC 1950) or its gzip framing
// (RFC 1952), through zlib's inflate.
//
// The data may come from anyone, so nothing that it claims about itself sizes the output: the
// caller's sink hands out room as the decoded bytes arrive, and decoding stops with
// STATUS_LIMIT when the output would pass the caller's limit. A stream that ends before its
// final block (or, framed, before its check value) is corrupt, never a short success.
#pragma once

#include <cstddef>
#include <cstdint>

namespace xol::platform::inflate {

enum Framing : int32_t { FRAMING_RAW, FRAMING_ZLIB, FRAMING_GZIP };

enum Status : int32_t { STATUS_DONE, STATUS_CORRUPT, STATUS_LIMIT };

// Where the decoded bytes go. `grow` is called whenever the room given so far is full (first
// with `used` 0): it answers the start of a buffer that holds the `used` bytes already written
// and room for more, and sets `capacity` to the buffer's size (above `used`, at most the
// limit). The buffer may move at each call.
class Sink {
 public:
  virtual uint8_t* grow(size_t used, size_t* capacity) = 0;

 protected:
  ~Sink() = default;
};

// Decodes the whole input; `produced` receives the number of bytes written to the sink.
// Trailing bytes after a raw stream or after the first gzip member are ignored; after a zlib
// stream's check value they make it corrupt.
Status decode(Framing framing, const uint8_t* in, size_t length, size_t limit, Sink& sink,
              size_t* produced);

}  // namespace xol::platform::inflate
