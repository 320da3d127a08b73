// UTF-8: decoding into text buffers, encoding out of them, and the byte-level primitives.
//
// Three decoders serve three kinds of input:
// - the fast decoder (the lexer, counting and skipping) runs Björn Höhrmann's automaton; it
//   never raises, a malformed sequence yields -1 and consumes the bytes up to and including
//   the first one that made it malformed;
// - the strict decoder (text loaded into strings, `char!`, `url!`) follows the language's own
//   rules: overlong forms and most surrogates are accepted, but U+DC00-U+DCFF, U+FFFE and
//   values above U+10FFFF are not; a bad sequence raises access `invalid-utf8`;
// - the OS-text decoder (file names, environment, arguments: bytes the program does not
//   control) decodes well-formed UTF-8 and turns every byte that is not part of it into
//   U+DC80 + byte. The OS-text encoder writes U+DC80-U+DCFF back as those bytes, so any byte
//   string survives a round trip. The strict decoder never yields U+DC00-U+DCFF, so the
//   escapes cannot be confused with text that came in as UTF-8.
//
// Outgoing text goes through the string cell's conversion buffer (its fourth word names a
// byte series, made on first use): the result is valid until the next conversion through the
// same cell, and only until the next allocation, since the buffer can move. Copy it first.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace xol::unicode {

namespace detail {
// Höhrmann's automaton, in the variant whose states are multiples of the class count: bytes
// 0-255 give each byte's class, bytes 256 + state + class the next state (0 accepts, 12
// rejects).
constexpr size_t kClassTableSize = 256;
constexpr size_t kAutomatonSize = 364;
constexpr uint32_t kAccept = 0;
constexpr uint32_t kReject = 12;
constexpr uint32_t kContinuationBits = 6;      // payload bits of each continuation byte
constexpr uint32_t kContinuationMask = 0x3F;
constexpr uint32_t kAllBits = 0xFF;            // shifted right by a lead byte's class: its payload
extern const std::array<uint8_t, kAutomatonSize> kAutomaton;
}  // namespace detail

// Decodes one sequence starting at p (p < end); *cp receives the code point or -1. Reads never
// pass `end`: a sequence cut short by it is malformed. Answers the address after the consumed
// bytes. Inline: the lexer runs it on every character it does not know by its byte.
inline const uint8_t* fast_decode_utf8_char(const uint8_t* p, const uint8_t* end, int32_t* cp) {
  using namespace detail;
  uint32_t byte_class = kAutomaton[*p];
  uint32_t value = (kAllBits >> byte_class) & *p++;
  uint32_t state = kAutomaton[kClassTableSize + byte_class];
  while (state != kAccept) {
    if (state == kReject || p == end) {
      *cp = -1;
      return p;
    }
    byte_class = kAutomaton[*p];
    value = (value << kContinuationBits) | (*p++ & kContinuationMask);
    state = kAutomaton[kClassTableSize + state + byte_class];
  }
  *cp = int32_t(value);
  return p;
}

}  // namespace xol::unicode

namespace xol::utf8 {

constexpr int32_t kIncomplete = -1;   // the input ends inside a sequence
constexpr uint32_t kMaxCodePoint = 0x10FFFF;
constexpr uint32_t kMaxSequence = 4;

// Number of code points in [start, end); each decoded sequence, valid or not, counts one.
size_t count_chars(const uint8_t* start, const uint8_t* end);
// The address after n code points, or end when the text is shorter.
const uint8_t* skip_chars(const uint8_t* start, const uint8_t* end, size_t n);
// 2, 3 or 4 for a lead byte (by its top bits: 110, 1110, 1111), 0 for anything else.
int sequence_length(uint8_t lead);

// The encoders raise script `invalid-char` (argument: the code point) above U+10FFFF.
int encoded_length(uint32_t cp);
size_t length_of_units(const uint8_t* start, const uint8_t* end, uint32_t unit);
// Writes 1-4 bytes; surrogate values are encoded like any other.
int encode_char(uint32_t cp, uint8_t* out);
// Writes only the first `room` bytes of the sequence; answers the bytes written.
int encode_char_bounded(uint32_t cp, uint8_t* out, int room);

// Strict decoding of one code point from p, of which *available bytes exist (at least 1).
// *available becomes the bytes consumed. Answers kIncomplete when the input ends inside the
// sequence; raises access `invalid-utf8` with the bytes from the lead byte on (at most 4) as a
// `binary!` when the sequence is invalid.
int32_t decode_one(const uint8_t* p, size_t* available);

// ---- loading text into string buffers ----

enum class LineEnds { KEEP, TO_LF };   // TO_LF: CR LF becomes LF, a lone CR becomes LF too

struct Loaded {
  NodeId node;     // the filled buffer
  uint32_t tail;   // its tail, in bytes from the data start
};

// Decodes UTF-8 strictly into `target` (its content replaced, its unit kept and widened as
// needed) or into a new buffer when target is kNoNode. A leading byte order mark is skipped.
// A sequence cut off by the end of the input is not an error: loading stops before it and
// *left_over (when given) receives the bytes not decoded.
Loaded load_string(const uint8_t* bytes, size_t count, NodeId target = kNoNode,
                   size_t* left_over = nullptr, LineEnds line_ends = LineEnds::KEEP);
// Decodes OS text (see above) the same way, but keeps a leading byte order mark: every byte
// is part of the text.
Loaded load_os_text(const uint8_t* bytes, size_t count, NodeId target = kNoNode);

// ---- encoding strings ----

enum EncodeFlag : unsigned {
  ENCODE_PLAIN = 0,
  ENCODE_CRLF = 1,      // every LF is written as CR LF
  ENCODE_OS_TEXT = 2,   // U+DC80-U+DCFF are written as the bytes 80-FF
};

// Encodes the string from its head into its conversion buffer, zero-terminated. *length: in,
// the units to convert (-1 or more than there are: all); out, the bytes written without the
// terminator. Answers the buffer's data.
const uint8_t* from_string(Cell* string, int32_t* length, unsigned flags = ENCODE_PLAIN);
// Encodes `limit` units (-1: all) from the head into `out`, which has room for the worst case
// (4 bytes a unit, plus 1); answers the bytes written, a terminator not counted.
size_t from_string_into(const Cell* string, uint8_t* out, int32_t limit, bool terminate);
// Encodes whole characters from the head while they fit in `room` bytes (`limit` units at
// most when 0 < limit < length); the terminator, when asked for, goes after them.
size_t from_string_part(const Cell* string, uint8_t* out, size_t room, int32_t limit,
                        bool terminate);

}  // namespace xol::utf8

namespace xol::os_buffer {

// The data of the cell's conversion buffer, at least `size` bytes: made on first use, grown
// (contents kept) when smaller.
uint8_t* ensure(Cell* string, uint32_t size);

}  // namespace xol::os_buffer
