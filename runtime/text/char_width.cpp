// Display width of characters over the generated range tables.
#include "runtime/text/char_width.h"

#include <algorithm>

namespace xol::charwidth {

namespace {

#include "runtime/text/width_tables.inc"

constexpr uint32_t kControlsEnd = 0x1F;       // C0 controls from U+0001 on
constexpr uint32_t kC1ControlsFirst = 0x7F;   // DEL and the C1 controls
constexpr uint32_t kC1ControlsLast = 0x9F;

template <size_t N>
bool in_table(uint32_t cp, const CodeRange (&table)[N]) {
  return in_ranges(cp, table, N);
}

}  // namespace

bool in_ranges(uint32_t cp, const CodeRange* table, size_t count) {
  if (count == 0 || cp < table[0].low || cp > table[count - 1].high) return false;
  // The first range whose high bound reaches cp is the only one that can hold it.
  const CodeRange* range = std::lower_bound(
      table, table + count, cp, [](const CodeRange& r, uint32_t c) { return r.high < c; });
  return range != table + count && range->low <= cp;
}

int of(uint32_t cp) {
  if (cp == 0) return 0;
  if (cp <= kControlsEnd || (cp >= kC1ControlsFirst && cp <= kC1ControlsLast)) return 1;
  if (in_table(cp, kZeroWidthRanges)) return 0;
  if (in_table(cp, kWideRanges)) return 2;
  return 1;
}

int of_east_asian(uint32_t cp) {
  return in_table(cp, kAmbiguousRanges) ? 2 : of(cp);
}

}  // namespace xol::charwidth
