// The text buffer that form and mold routines append to: a unit-1 byte series.
#include "runtime/datatypes/text_buffer.h"

#include <cstring>

#include "runtime/memory.h"

namespace xol::text {

void make(Cell* buffer, uint32_t capacity) {
  cell::set_unset(buffer);
  NodeId node = memory::alloc_bytes(capacity);
  *buffer = Cell{TYPE_STRING, 0, node, 0};
}

void append(Cell* buffer, std::string_view text) {
  if (text.empty()) return;
  uint8_t* at = series::reserve_tail(buffer->node(), uint32_t(text.size()));
  std::memcpy(at, text.data(), text.size());
}

std::string_view view(const Cell* buffer) {
  memory::SeriesBuffer* series = memory::buffer_of(buffer->node());
  return {reinterpret_cast<const char*>(series->head_ptr()) + buffer->head_index(),
          series->tail - series->head - buffer->head_index()};
}

}  // namespace xol::text
