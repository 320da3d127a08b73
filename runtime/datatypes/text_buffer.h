// The text buffer that form and mold routines append to.
//
// A buffer is a string! cell whose node holds a unit-1 byte series; routines append UTF-8 or
// ASCII at its tail and never look at its head. This is the one place that knows how the
// printed forms reach a string, so that the string datatype can take it over with its own
// append (which widens the units) without touching any form or mold routine.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/cell.h"

namespace xol::text {

// Makes `buffer` an empty string! with room for `capacity` bytes.
void make(Cell* buffer, uint32_t capacity);
// Appends the bytes of `text` at the buffer's tail.
void append(Cell* buffer, std::string_view text);
// The buffer's bytes from its head to its tail; valid until the next allocation.
std::string_view view(const Cell* buffer);

// Number of characters (code points) in UTF-8 text: every byte but the continuation bytes.
inline int32_t char_count(std::string_view text) {
  int32_t count = 0;
  for (unsigned char byte : text) count += (byte & 0xC0) != 0x80;
  return count;
}

// Appends `text` within a part limit: answers the limit minus the characters appended.
inline int32_t append_counted(Cell* buffer, std::string_view text, int32_t part) {
  append(buffer, text);
  return part - char_count(text);
}

// Appends a name as mold prints it: as it is, or with `all` in the construction syntax "#(name)".
inline int32_t append_constructed(Cell* buffer, std::string_view name, bool all, int32_t part) {
  if (!all) return append_counted(buffer, name, part);
  part = append_counted(buffer, "#(", part);
  part = append_counted(buffer, name, part);
  return append_counted(buffer, ")", part);
}

}  // namespace xol::text
