// The conservative scan of the native stack.
//
// System-level C++ keeps node ids, cells and pointers into buffers in locals and registers that
// no root lists. The collector spills the registers onto the stack, then reads every 8-byte
// word from just below the spilled registers up to the stack base of the running thread (the
// collector's own frames lie below that start: their stale slots would pin and keep buffers of
// earlier cycles):
// - each 32-bit half that names a live node marks that node (a cell's words, a NodeId local);
//   a hash table's record also marks its flags, buckets and keys, which nothing else names
//   while the table is held only by a local (a table being built, a map! cell in a local);
// - each word that points into a series frame (below its cursor) or a big frame marks the
//   buffer it points into and pins it, so the compactor leaves it where it is for this cycle.
// A word that only looks like a node id or a pointer keeps garbage alive for one cycle, which
// costs memory but never correctness.
//
// Pointers are matched to buffers in one sorted pass: candidate words are collected and sorted,
// then each frame that holds candidates is walked from its first buffer, so the cost is one walk
// over those frames whatever the number of candidates.
#include <algorithm>
#include <vector>

#include "platform/stack_bounds.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/collector_internal.h"

namespace xol::collector::detail {

using memory::BigFrame;
using memory::SeriesBuffer;
using memory::SeriesFrame;

namespace {

// Where buffers can be: the used part of each series frame, or one big frame's buffer.
struct Area {
  uintptr_t low;
  uintptr_t high;
  SeriesFrame* frame;   // null for a big frame
  SeriesBuffer* big;    // the buffer of a big frame
};

std::vector<Area> areas;
std::vector<uintptr_t> candidates;

void collect_areas() {
  areas.clear();
  for (SeriesFrame* frame = memory::state.series_head; frame; frame = frame->next) {
    if (frame->cursor == frame->first_buffer()) continue;
    areas.push_back({reinterpret_cast<uintptr_t>(frame->first_buffer()),
                     reinterpret_cast<uintptr_t>(frame->cursor), frame, nullptr});
  }
  for (BigFrame* frame = memory::state.big_head; frame; frame = frame->next) {
    SeriesBuffer* buffer = frame->buffer();
    uintptr_t low = reinterpret_cast<uintptr_t>(buffer);
    areas.push_back({low, low + frame->total, nullptr, buffer});
  }
  std::sort(areas.begin(), areas.end(),
            [](const Area& a, const Area& b) { return a.low < b.low; });
}

void consider(uintptr_t word) {
  for (uint32_t half : {uint32_t(word), uint32_t(word >> 32)})
    if (memory::is_live_node(half)) mark_found(half);
  if (areas.empty() || word < areas.front().low || word >= areas.back().high) return;
  candidates.push_back(word);
}

// Reads the stack itself, red zones and all: AddressSanitizer must not check these loads.
__attribute__((noinline, no_sanitize("address"))) void read_stack(uintptr_t from) {
  const uintptr_t base = platform::current_stack_base();
  uintptr_t at = from & ~uintptr_t(sizeof(uintptr_t) - 1);
  for (; at + sizeof(uintptr_t) <= base; at += sizeof(uintptr_t))
    consider(*reinterpret_cast<const uintptr_t*>(at));
}

// Pins the buffers of one series frame that the sorted candidates [*next, end) point into,
// advancing *next past the candidates below the frame's cursor.
void pin_in_frame(const Area& area, const uintptr_t** next, const uintptr_t* end) {
  uint8_t* at = area.frame->first_buffer();
  while (*next < end && **next < area.high) {
    auto* buffer = reinterpret_cast<SeriesBuffer*>(at);
    uintptr_t after = reinterpret_cast<uintptr_t>(at) + memory::kBufferOverhead + buffer->size;
    if (**next < after) {
      pin(buffer);
      while (*next < end && **next < after) ++*next;
    }
    at = reinterpret_cast<uint8_t*>(after);
  }
}

void pin_candidates() {
  std::sort(candidates.begin(), candidates.end());
  const uintptr_t* next = candidates.data();
  const uintptr_t* end = next + candidates.size();
  for (const Area& area : areas) {
    while (next < end && *next < area.low) ++next;
    if (next == end) break;
    if (*next >= area.high) continue;
    if (area.frame) {
      pin_in_frame(area, &next, end);
    } else {
      pin(area.big);
      while (next < end && *next < area.high) ++next;
    }
  }
  candidates.clear();
}

}  // namespace

void scan_native_stack(uintptr_t from) {
  collect_areas();
  read_stack(from);
  drain();
  pin_candidates();
  drain();
}

}  // namespace xol::collector::detail
