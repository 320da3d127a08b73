// Case mapping: one code point to one code point, with no locale.
//
// Upper-casing serves `uppercase`, and also every caseless comparison, search and hash of
// text, which fold both sides to upper case; lower-casing serves `lowercase`. The mappings are
// those of Unicode 11.0. Where the full mapping of a code point has several code points, the
// first one is taken: "ß" upper-cases to "S" and "İ" lower-cases to "i", so "straße" and
// "strase" compare equal without case. Letters that gained a case partner after 11.0 stay
// unmapped.
//
// The tables are generated (tools/gen-unicode-tables) in three levels: a block per 128 code
// points, a byte per code point naming one of a few distinct deltas, and the deltas, about
// 12 KB in all. ASCII, by far the most common, is mapped without touching them.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::case_map {

enum Case : int { LOWER = 0, UPPER = 1 };

namespace detail {
uint32_t map_upper(uint32_t cp);
uint32_t map_lower(uint32_t cp);
constexpr uint32_t kAsciiEnd = 0x80;
constexpr uint32_t kAsciiCaseBit = 0x20;   // distance between "A" and "a"
constexpr uint32_t kLetterCount = 26;
}  // namespace detail

// The mapped code point, or cp itself when it has no mapping (any value above U+10FFFF
// included).
inline uint32_t to_upper(uint32_t cp) {
  using namespace detail;
  if (cp < kAsciiEnd) return cp - 'a' < kLetterCount ? cp ^ kAsciiCaseBit : cp;
  return map_upper(cp);
}
inline uint32_t to_lower(uint32_t cp) {
  using namespace detail;
  if (cp < kAsciiEnd) return cp - 'A' < kLetterCount ? cp ^ kAsciiCaseBit : cp;
  return map_lower(cp);
}
inline uint32_t change_case(uint32_t cp, Case to) {
  return to == UPPER ? to_upper(cp) : to_lower(cp);
}

// Maps `count` units of a text buffer in place from unit index `first` (the caller clamps
// both to the tail). A mapped code point that does not fit the buffer's unit widens the
// buffer, as a store at a position does: upper-casing U+00FF (to U+0178) in a 1-byte buffer
// makes it a 2-byte buffer.
void change_case_units(NodeId node, uint32_t first, uint32_t count, Case to);

}  // namespace xol::case_map
