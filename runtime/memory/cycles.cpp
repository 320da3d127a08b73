// The cycles stack, a fixed array that never holds more than kCapacity - 1 nodes, and the
// cycle markers of mold and form.
#include "runtime/memory/cycles.h"

#include <algorithm>
#include <cstring>

#include "runtime/datatypes/error_raise.h"
#include "runtime/memory/memory.h"

namespace xol::cycles {

namespace {

// Appends ASCII text to a string of any unit width.
void append_ascii(NodeId string, const char* text, uint32_t length) {
  uint32_t unit = memory::buffer_of(string)->unit();
  uint8_t* at = series::reserve_tail(string, length * unit);
  for (uint32_t i = 0; i < length; ++i, at += unit) {
    uint32_t code = uint8_t(text[i]);
    std::memcpy(at, &code, unit);   // little-endian: the low bytes come first
  }
}

NodeId entries[kCapacity];
uint32_t height = 0;

// Cycle markers of mold by type; forming prints kFormMarker for every type.
constexpr const char* kFormMarker = "...";
struct MoldMarker {
  TypeId type;
  const char* text;
};
constexpr MoldMarker kMoldMarkers[] = {
    {TYPE_BLOCK, "[...]"},    {TYPE_HASH, "[...]"},     {TYPE_PAREN, "(...)"},
    {TYPE_MAP, "#[...]"},     {TYPE_OBJECT, "make object! [...]"},
    {TYPE_PATH, "..."},       {TYPE_LIT_PATH, "..."},   {TYPE_SET_PATH, "..."},
    {TYPE_GET_PATH, "..."},
};

const char* marker_of(TypeId type, bool mold) {
  if (!mold) return kFormMarker;
  for (const MoldMarker& m : kMoldMarkers)
    if (m.type == type) return m.text;
  return kFormMarker;
}

}  // namespace

void push(NodeId node) {
  entries[height++] = node;
  if (height == kCapacity) {
    height = 0;
    error::raise(error::CAT_INTERNAL, "too-deep");
  }
}

void pop() {
  if (height) --height;
}

void pop_n(uint32_t count) { height -= std::min(count, height); }

void reset() { height = 0; }

bool find(NodeId node) { return std::find(entries, entries + height, node) != entries + height; }

uint32_t depth() { return height; }

void truncate(uint32_t new_height) { height = std::min(height, new_height); }

NodeId key_of(const Cell& value) {
  switch (value.type()) {
    case TYPE_OBJECT:
    case TYPE_ERROR:
    case TYPE_PORT:
      return value.data1;
    default:
      return value.node();
  }
}

bool detect(const Cell& value, NodeId output, int32_t& remaining, bool mold) {
  if (!find(key_of(value))) return false;
  const char* marker = marker_of(value.type(), mold);
  uint32_t length = uint32_t(std::strlen(marker));
  append_ascii(output, marker, length);
  remaining -= int32_t(length);
  return true;
}

}  // namespace xol::cycles
