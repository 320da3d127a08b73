// The text buffer that form and mold routines append to.
//
// A buffer is a real string! value: routines append UTF-8 (mostly ASCII) at its tail and never
// look at its head, and its units widen as the appended characters need, by the rule of
// appending single characters (string_storage.h). Form and mold routines reach text only through
// these calls, so none of them knows how a string stores its characters.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/cell.h"

namespace xol::text {

// Makes `buffer` an empty string! with room for `capacity` bytes.
void make(Cell* buffer, uint32_t capacity);
// Appends UTF-8 text at the buffer's tail.
void append(Cell* buffer, std::string_view text);
// The buffer's text from its head to its tail as UTF-8, in a scratch area that the next call
// reuses: copy it before calling again.
std::string_view view(const Cell* buffer);
// The last character of the buffer, or 0 when it is empty (what a printer checks before adding a
// separator; far cheaper than a view).
uint32_t last_char(const Cell* buffer);

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
