// The text buffer of form and mold, on the string storage layer.
#include "runtime/datatypes/text_buffer.h"

#include <string>

#include "runtime/datatypes/string_storage.h"
#include "runtime/text/utf8.h"

namespace xol::text {

void make(Cell* buffer, uint32_t capacity) { string::make_at(buffer, capacity); }

void append(Cell* buffer, std::string_view text) { string::append_utf8(buffer->node(), text); }

std::string_view view(const Cell* buffer) {
  static std::string scratch;
  scratch.resize(size_t(string::length(buffer)) * utf8::kMaxSequence + 1);
  size_t n = utf8::from_string_into(buffer, reinterpret_cast<uint8_t*>(scratch.data()), -1, false);
  return {scratch.data(), n};
}

uint32_t last_char(const Cell* buffer) {
  uint32_t units = string::length_abs(buffer);
  return units > buffer->head_index() ? string::abs_at(buffer, units - 1) : 0;
}

}  // namespace xol::text
