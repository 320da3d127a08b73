// Display width of characters: how many terminal columns a code point takes.
//
// Marks, invisible format characters and the Hangul medial and final jamo take 0 columns,
// East Asian wide and fullwidth characters (CJK, emoji) take 2, everything else 1. Control
// characters count 1 (only U+0000 is 0): a terminal that meets them prints something. The
// East Asian variant also counts the ambiguous-width characters as 2, as CJK terminals draw
// them. The range tables are generated (tools/gen-unicode-tables) and searched by bisection.
#pragma once

#include <cstddef>
#include <cstdint>

namespace xol::charwidth {

// An inclusive range of code points.
struct CodeRange {
  uint32_t low;
  uint32_t high;
};

// True when `cp` lies in one of `count` sorted, non-overlapping ranges.
bool in_ranges(uint32_t cp, const CodeRange* table, size_t count);

// 0, 1 or 2 columns.
int of(uint32_t cp);
// As `of`, but East Asian ambiguous-width characters take 2 columns.
int of_east_asian(uint32_t cp);

}  // namespace xol::charwidth
