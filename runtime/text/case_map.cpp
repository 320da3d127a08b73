// Case mapping over the generated three-level tables.
#include "runtime/text/case_map.h"

#include "runtime/text/string_widening.h"

namespace xol::case_map {

namespace {

#include "runtime/text/case_tables.inc"

constexpr uint32_t kBlockMask = (1u << kCaseBlockShift) - 1;

template <size_t B, size_t I, size_t D>
uint32_t lookup(uint32_t cp, uint32_t limit, const uint8_t (&blocks)[B],
                const uint8_t (&delta_index)[I], const int32_t (&deltas)[D]) {
  if (cp >= limit) return cp;
  uint32_t block = blocks[cp >> kCaseBlockShift];
  return cp + uint32_t(deltas[delta_index[(block << kCaseBlockShift) | (cp & kBlockMask)]]);
}

}  // namespace

namespace detail {

uint32_t map_upper(uint32_t cp) {
  return lookup(cp, kUpperLimit, kUpperBlocks, kUpperDeltaIndex, kUpperDeltas);
}

uint32_t map_lower(uint32_t cp) {
  return lookup(cp, kLowerLimit, kLowerBlocks, kLowerDeltaIndex, kLowerDeltas);
}

}  // namespace detail

void change_case_units(NodeId node, uint32_t first, uint32_t count, Case to) {
  for (uint32_t index = first; index < first + count; ++index) {
    // Re-read each time: a widening store moves the buffer and changes the unit.
    memory::SeriesBuffer* buffer = memory::buffer_of(node);
    uint32_t unit = string::unit_of(buffer);
    uint32_t cp = string::get_char(buffer->data() + index * unit, unit);
    uint32_t mapped = change_case(cp, to);
    if (mapped != cp) string::overwrite_char(node, index, mapped);
  }
}

}  // namespace xol::case_map
