// Text for the codecs' scanners and writers: new string! values from runs of text units (the
// narrowest unit that holds the characters, filled in one pass), and the UTF-16 surrogates.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "runtime/cell.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/text/string_widening.h"

namespace xol::library::codec_text {

// UTF-16 surrogates, as JSON's \u escapes spell characters beyond U+FFFF.
constexpr uint32_t kHighSurrogates = 0xD800;
constexpr uint32_t kLowSurrogates = 0xDC00;
constexpr uint32_t kSurrogatesEnd = 0xE000;
constexpr uint32_t kSupplementary = 0x10000;
constexpr uint32_t kSurrogateBits = 10;

// The string! of `count` characters read by `at(i)`, whose largest is `widest`.
template <typename At>
void fill_text(size_t count, uint32_t widest, At at, Cell* result) {
  const uint32_t unit = string::unit_for_store(widest);
  string::make_at_unit(result, uint32_t(count), unit);
  memory::SeriesBuffer* buffer = string::buffer_of(result);
  uint8_t* data = buffer->data();
  for (size_t i = 0; i < count; ++i) string::put_char(data + i * unit, unit, at(i));
  buffer->tail = uint32_t(count * unit);
}

// The string! of the code points.
inline void make_text(const uint32_t* cps, size_t count, Cell* result) {
  uint32_t widest = 0;
  for (size_t i = 0; i < count; ++i) widest = std::max(widest, cps[i]);
  fill_text(count, widest, [cps](size_t i) { return cps[i]; }, result);
}

// The string! of the units [first, last) of a text held at Unit per character. The units must
// not move meanwhile: a buffer that a C++ local points into is pinned by the collector.
template <typename Unit>
void make_text(const Unit* first, const Unit* last, Cell* result) {
  const size_t count = size_t(last - first);
  if constexpr (sizeof(Unit) == 1) {
    string::make_at_unit(result, uint32_t(count), string::UNIT_1);
    memory::SeriesBuffer* buffer = string::buffer_of(result);
    std::memcpy(buffer->data(), first, count);
    buffer->tail = uint32_t(count);
  } else {
    uint32_t widest = 0;
    for (const Unit* p = first; p < last; ++p) widest = std::max(widest, uint32_t(*p));
    fill_text(count, widest, [first](size_t i) { return uint32_t(first[i]); }, result);
  }
}

}  // namespace xol::library::codec_text
