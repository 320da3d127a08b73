// The DEFLATE compressor (RFC 1951) and its zlib (RFC 1950) and gzip (RFC 1952) framings: the
// writing side of `compress`.
//
// The compressor is deliberately simple, so that its output is fully determined by its input
// and can be checked byte for byte: one final block with the fixed Huffman codes, a table of
// 1024 buckets of 4 input positions, the first candidate that matches wins, no lazy matching.
// Every routine writes into caller memory of a given capacity; bytes past the capacity are
// counted but not written, so a call with capacity 0 measures the result. The reading side is
// zlib's own inflate behind platform/inflate.h.
#pragma once

#include <cstdint>

namespace xol::deflate {

// What a compressor answers; `size` then holds the bytes written, or needed.
enum Result : int32_t {
  RESULT_DONE = 0,
  RESULT_TOO_SMALL = 1,   // the output did not fit: `size` is the length needed
  RESULT_FRAMING = 2,     // the capacity is below the framing alone: `size` is length + framing
};

// A raw DEFLATE stream of the input. On entry `*size` is the output capacity.
Result compress(uint8_t* out, uint32_t* size, const uint8_t* in, uint32_t length);

}  // namespace xol::deflate

namespace xol::zlib {
// 78 01, the DEFLATE stream, the Adler-32 of the input most significant byte first.
deflate::Result compress(uint8_t* out, uint32_t* size, const uint8_t* in, uint32_t length);
}  // namespace xol::zlib

namespace xol::gzip {
// A gzip member: the 10-byte header (no name, no time, XFL 4, OS 4), the DEFLATE stream, the
// CRC-32 and the input length least significant byte first. Every input is compressed, also one
// that is itself gzip data, so that decompressing gives back exactly the input.
deflate::Result compress(uint8_t* out, uint32_t* size, const uint8_t* in, uint32_t length);
}  // namespace xol::gzip
