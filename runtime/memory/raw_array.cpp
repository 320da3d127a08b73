// Raw arrays on series buffers.
#include "runtime/memory/raw_array.h"

#include <cassert>
#include <cstring>

#include "runtime/memory/memory.h"

namespace xol::array {

namespace {

constexpr uint32_t kIntBytes = sizeof(uint32_t);

memory::SeriesBuffer* buffer(NodeId array) { return memory::buffer_of(array); }

uint8_t* int_slot(NodeId array, uint32_t index) {
  memory::SeriesBuffer* b = buffer(array);
  assert(index >= 1 && (index - 1) * kIntBytes < b->used_bytes());
  return b->head_ptr() + (index - 1) * kIntBytes;
}

}  // namespace

NodeId make(uint32_t count, uint32_t unit) {
  NodeId array = memory::alloc_bytes(count * unit);
  memory::SeriesBuffer* b = buffer(array);
  b->flags = (b->flags & ~memory::UNIT_MASK) | unit;
  return array;
}

uint32_t length(NodeId array) { return buffer(array)->length(); }

void clear(NodeId array) {
  memory::SeriesBuffer* b = buffer(array);
  b->tail = b->head;
}

void truncate(NodeId array, uint32_t position) {
  assert(position >= 1);
  memory::SeriesBuffer* b = buffer(array);
  b->tail = b->head + (position - 1) * b->unit();
}

NodeId copy(NodeId array) { return memory::copy_series(array); }

uint32_t flags(NodeId array) { return buffer(array)->flags; }

void append_byte(NodeId array, uint8_t byte) { *series::reserve_tail(array, 1) = byte; }

void append_bytes(NodeId array, const void* bytes, uint32_t length) {
  std::memcpy(series::reserve_tail(array, length), bytes, length);
}

uint8_t pick_byte(NodeId array, uint32_t index) {
  memory::SeriesBuffer* b = buffer(array);
  assert(index >= 1 && index <= b->used_bytes());
  return b->head_ptr()[index - 1];
}

void append_int(NodeId array, uint32_t value) {
  std::memcpy(series::reserve_tail(array, kIntBytes), &value, kIntBytes);
}

void insert_int(NodeId array, uint32_t value, uint32_t index) {
  memory::SeriesBuffer* b = buffer(array);
  assert(index * kIntBytes <= b->used_bytes());
  if (b->tail + kIntBytes > b->size) b = memory::grow_series(b, 0);
  uint8_t* at = b->head_ptr() + index * kIntBytes;
  std::memmove(at + kIntBytes, at, b->tail_ptr() - at);
  std::memcpy(at, &value, kIntBytes);
  b->tail += kIntBytes;
}

uint32_t pick_int(NodeId array, uint32_t index) {
  uint32_t value;
  std::memcpy(&value, int_slot(array, index), kIntBytes);
  return value;
}

void poke_int(NodeId array, uint32_t index, uint32_t value) {
  std::memcpy(int_slot(array, index), &value, kIntBytes);
}

int32_t find_int(NodeId array, uint32_t value) {
  memory::SeriesBuffer* b = buffer(array);
  for (uint32_t offset = 0; offset + kIntBytes <= b->used_bytes(); offset += kIntBytes) {
    uint32_t element;
    std::memcpy(&element, b->head_ptr() + offset, kIntBytes);
    if (element == value) return int32_t(offset);
  }
  return -1;
}

void remove_bytes(NodeId array, uint32_t offset, uint32_t count) {
  memory::SeriesBuffer* b = buffer(array);
  assert(offset + count <= b->used_bytes());
  uint8_t* at = b->head_ptr() + offset;
  std::memmove(at, at + count, b->tail_ptr() - (at + count));
  b->tail -= count;
}

void remove_pointer(NodeId array, uint32_t value) {
  int32_t offset = find_int(array, value);
  if (offset >= 0) remove_bytes(array, uint32_t(offset), kIntBytes);
}

}  // namespace xol::array
