// UTF-16LE: loading it into text buffers and encoding strings as it.
//
// The operating system here speaks UTF-8, so UTF-16 serves data that arrives in it (text
// files and clipboard contents marked as UTF-16) and the programs that ask for it. Loading
// picks the narrowest unit that holds every code unit before copying, joining surrogate pairs
// only in a unit-4 buffer. A high surrogate without its low half is bad input: it raises
// script `invalid-data` (argument: the unit) before the target is touched.
//
// Encoded text lands in the string cell's conversion buffer (see utf8.h for its lifetime).
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace xol::utf16 {

// The surrogates, U+D800-U+DFFF: high halves of a pair below U+DC00, low halves from it.
constexpr uint32_t kFirstSurrogate = 0xD800;
constexpr uint32_t kFirstLowSurrogate = 0xDC00;
constexpr uint32_t kSurrogateEnd = 0xE000;
constexpr uint32_t kSupplementaryBase = 0x10000;   // the first code point a pair stands for
constexpr uint32_t kSurrogateBits = 0x3FF;         // the payload of each half of a pair
constexpr uint32_t kSurrogateShift = 10;

constexpr bool is_surrogate(uint32_t c) { return c >= kFirstSurrogate && c < kSurrogateEnd; }
constexpr bool is_high_surrogate(uint32_t u) {
  return u >= kFirstSurrogate && u < kFirstLowSurrogate;
}
constexpr bool is_low_surrogate(uint32_t u) { return u >= kFirstLowSurrogate && u < kSurrogateEnd; }
// The code point of the pair `high`, `low`.
constexpr uint32_t join_pair(uint32_t high, uint32_t low) {
  return kSupplementaryBase + ((high & kSurrogateBits) << kSurrogateShift) + (low & kSurrogateBits);
}

// Loads `count` UTF-16LE units (byte pairs, low byte first) into the buffer of `target` (its
// content replaced and its unit set) or into a new buffer when target is null. With no source
// (units null) the source is the target's conversion buffer, where a producer has written.
// With drop_cr, every unit 000D is left out. Answers the filled buffer's node.
NodeId load(const uint8_t* units, size_t count, Cell* target, bool drop_cr);

// The string from its head as zero-terminated UTF-16 in its conversion buffer. *length: in,
// the units to convert (-1 or more than there are: all); out, the UTF-16 units written, the
// terminator not counted. With crlf every LF is written as CR LF. Answers null when a code
// point lies above U+10FFFF.
const uint16_t* from_string_length(Cell* string, int32_t* length, bool crlf);
// All of the string from its head, LF written as CR LF.
const uint16_t* from_string(Cell* string);

// Writes cp as 1 unit (below U+10000) or a surrogate pair (up to U+10FFFF); answers the units
// written, 0 above U+10FFFF.
int encode_char(uint32_t cp, uint16_t* out);

}  // namespace xol::utf16
