// The memory manager: node frames, series frames and big frames.
//
// Allocation is a bump of the current series frame's cursor. Only when that frame is full does
// the allocator search the other frames, then run the collector, then add a frame. Anything
// that allocates may run the collector, which may move buffers: code re-fetches a buffer
// through its node after every allocation.
#include "runtime/memory/memory.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/virtual_memory.h"
#include "runtime/memory/collector.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/process/process.h"
#include "runtime/process/tracked_heap.h"

namespace xol::memory {

namespace {
SeriesFrame* find_series_frame(uint32_t total);
}  // namespace

MemoryState state;
uintptr_t* node_slots = nullptr;

namespace {

constexpr uint32_t kMinDataSize = 16;

// Free slots chain through their contents: next free id shifted left, low bit set.
uintptr_t free_link(NodeId next) { return (uintptr_t(next) << 1) | kFreeSlotBit; }
NodeId free_link_target(uintptr_t slot) { return NodeId(slot >> 1); }

uint32_t align16(uint64_t bytes) { return uint32_t(platform::round_up(bytes, 16)); }

[[noreturn]] void out_of_frames() { error::raise(error::CAT_INTERNAL, "no-memory"); }

void init_header(SeriesBuffer* buffer, uint32_t size, uint32_t unit, int32_t head_offset,
                 uint32_t extra_flags) {
  uint32_t flags = unit | FLAG_LIVE | FLAG_ALLOCATED | extra_flags;
  uint32_t offset = uint32_t(head_offset);
  if (head_offset == kHeadMiddle) {
    offset = size / 2;
    flags |= FLAG_HEAD_MID;
  }
  buffer->flags = flags;
  buffer->node = kNoNode;
  buffer->size = size;
  buffer->head = buffer->tail = offset;
}

// After a collection the frames get at least as much free room as the collection left live
// bytes, so that the next collection comes only once that much more has been allocated: every
// cycle marks the whole live heap, and one cycle per frame filled would make building a large
// structure (loading a big source) quadratic. Growth per cycle is capped so that one huge live
// heap does not reserve as much again at once.
constexpr uint64_t kMaxGrowthPerCycle = uint64_t(256) << 20;

void grow_after_collection() {
  uint64_t live = 0;
  uint64_t free = 0;
  for (SeriesFrame* frame = state.series_head; frame; frame = frame->next) {
    live += uint64_t(frame->cursor - frame->first_buffer());
    free += uint64_t(frame->end - frame->cursor);
  }
  const uint64_t wanted = std::min(live, kMaxGrowthPerCycle);
  while (free < wanted) {
    SeriesFrame* frame = alloc_series_frame();
    free += uint64_t(frame->end - frame->cursor);
  }
}

// Big buffers bring a collection once the bytes they took since the last one reach the series
// bytes that collection left live (at least kMinBigGrowth): the cost per byte allocated stays
// flat as the live heap grows. Collecting for every big buffer made a program that keeps a large
// heap pay a full mark of it for each one.
constexpr uint64_t kMinBigGrowth = uint64_t(16) << 20;

bool big_collection_due(uint32_t total) {
  const uint64_t allowed = std::clamp(state.live_at_collection, kMinBigGrowth, kMaxGrowthPerCycle);
  return state.big_bytes_since_collection + total > allowed;
}

// The first frame from the head that takes `total` bytes and keeps kMinFreeAfterCollect bytes
// of room: a nearly full frame would only bring the next collection at once.
SeriesFrame* find_roomy_frame(uint32_t total) {
  for (SeriesFrame* frame = state.series_head; frame; frame = frame->next) {
    if (frame->cursor + total < frame->end &&
        size_t(frame->end - frame->cursor) >= kMinFreeAfterCollect)
      return frame;
  }
  return nullptr;
}

// Makes a new frame current when the current one has no room for `total` bytes.
SeriesFrame* frame_with_room(uint32_t total) {
  SeriesFrame* frame = state.series_current;
  if (frame && frame->cursor + total < frame->end) return frame;
  frame = find_series_frame(total);
  if (!frame && collector::collect_if_active()) {
    grow_after_collection();
    frame = find_roomy_frame(total);
  }
  if (!frame) {
    if (total >= state.next_series_frame_size) state.next_series_frame_size = kFrameSizeLimit;
    frame = alloc_series_frame();
  }
  state.series_current = frame;
  return frame;
}

}  // namespace

NodeId NodeFrame::first_id() const {
  return NodeId(this - state.node_frames) * kNodesPerFrame + 1;
}

// ---- OS blocks ----

namespace {

// Freed blocks are kept, up to kMaxSpareBytes, for the next request of the same size instead of
// going back to the OS: a block written before is much cheaper to fill again than fresh pages,
// which the OS must map and clear at first touch (on some virtual machines a fresh page costs
// a hundred times a reused one), and a program that builds and drops a large structure again
// and again asks for the same frames each time. Torture mode gives every block back, so that
// a stale pointer into a freed frame faults.
void* take_spare_block(size_t rounded) {
  for (SpareBlock** link = &state.spare_blocks; *link; link = &(*link)->next) {
    SpareBlock* block = *link;
    if (block->size != rounded) continue;
    *link = block->next;
    state.spare_bytes -= rounded;
    return block;
  }
  return nullptr;
}

bool keep_spare_block(void* block, size_t rounded) {
  if (collector::torture_period() || state.spare_bytes + rounded > kMaxSpareBytes) return false;
  auto* spare = static_cast<SpareBlock*>(block);
  *spare = SpareBlock{state.spare_blocks, rounded};
  state.spare_blocks = spare;
  state.spare_bytes += rounded;
  return true;
}

void release_spare_blocks() {
  while (state.spare_blocks) {
    SpareBlock* block = state.spare_blocks;
    state.spare_blocks = block->next;
    if (!platform::vm_free(block, block->size)) error::raise(error::CAT_INTERNAL, "wrong-mem");
  }
  state.spare_bytes = 0;
}

void* os_allocate(size_t size) {
  size_t rounded = platform::round_to_pages(size);
  void* block = take_spare_block(rounded);
  if (!block) block = platform::vm_allocate(rounded);
  if (!block) out_of_frames();
  state.bytes_in_use += rounded;
  return block;
}

void os_free(void* block, size_t size) {
  size_t rounded = platform::round_to_pages(size);
  if (!keep_spare_block(block, rounded) && !platform::vm_free(block, rounded))
    error::raise(error::CAT_INTERNAL, "wrong-mem");
  state.bytes_in_use -= rounded;
}
}  // namespace

void init() {
  state.~MemoryState();
  new (&state) MemoryState();
  if (!node_slots) {
    node_slots = static_cast<uintptr_t*>(platform::vm_reserve(kNodeRangeSlots * sizeof(uintptr_t)));
    if (!node_slots) rt::runtime_error(rt::RUNTIME_OUT_OF_MEMORY, XOL_CALLER_ADDRESS);
  }
}

void note_collection() {
  uint64_t live = 0;
  for (SeriesFrame* frame = state.series_head; frame; frame = frame->next)
    live += uint64_t(frame->cursor - frame->first_buffer());
  for (BigFrame* frame = state.big_head; frame; frame = frame->next) live += frame->total;
  state.live_at_collection = live;
  state.big_bytes_since_collection = 0;
}

// ---- node frames ----

int32_t alloc_node_frame(uint32_t capacity) {
  int32_t index = 0;
  while (index < int32_t(kMaxNodeFrames) && state.node_frames[index].capacity) ++index;
  if (index == int32_t(kMaxNodeFrames)) out_of_frames();
  NodeFrame& frame = state.node_frames[index];
  frame = NodeFrame{};
  frame.capacity = std::min(capacity, kNodesPerFrame);
  frame.stamp = collector::series_cycles;
  NodeId first = frame.first_id();
  for (uint32_t i = 0; i < frame.capacity; ++i) {
    NodeId next = i + 1 < frame.capacity ? first + i + 1 : kNoNode;
    node_slots[first + i] = free_link(next);
  }
  frame.free_head = first;
  state.bytes_in_use += frame.capacity * sizeof(uintptr_t);
  frame.prev = state.node_tail;
  if (state.node_tail >= 0) state.node_frames[state.node_tail].next = index;
  else state.node_head = state.node_current = index;
  state.node_tail = index;
  return index;
}

namespace {
void unlink_node_frame(int32_t index) {
  NodeFrame& frame = state.node_frames[index];
  if (frame.prev >= 0) state.node_frames[frame.prev].next = frame.next;
  else state.node_head = frame.next;
  if (frame.next >= 0) state.node_frames[frame.next].prev = frame.prev;
  else state.node_tail = frame.prev;
  if (state.node_current == index) state.node_current = state.node_tail;
  state.bytes_in_use -= frame.capacity * sizeof(uintptr_t);
  // The slots are cleared, not given back to the OS: released pages would cost a TLB shootdown
  // now and a fresh page at the next frame made here. Cleared, they name no buffer, whatever
  // reads them later.
  uintptr_t* slots = &node_slots[frame.first_id()];
  std::fill(slots, slots + frame.capacity, uintptr_t(0));
  frame = NodeFrame{};
}
}  // namespace

int32_t node_frame_of(NodeId node) { return int32_t((node - 1) / kNodesPerFrame); }

NodeId alloc_node() {
  int32_t current = state.node_current;
  if (current < 0 || !state.node_frames[current].free_head) {
    current = -1;
    for (int32_t i = state.node_head; i >= 0; i = state.node_frames[i].next) {
      const NodeFrame& frame = state.node_frames[i];
      if (frame.free_head && !frame.do_not_allocate) {
        current = i;
        break;
      }
    }
    if (current < 0) current = alloc_node_frame();
    state.node_current = current;
  }
  NodeFrame& frame = state.node_frames[current];
  NodeId node = frame.free_head;
  frame.free_head = free_link_target(node_slots[node]);
  node_slots[node] = 0;
  ++frame.used;
  return node;
}

void free_node(NodeId node) {
  NodeFrame& frame = state.node_frames[node_frame_of(node)];
  node_slots[node] = free_link(frame.free_head);
  frame.free_head = node;
  --frame.used;
}

void release_node_frames() {
  bool current_chosen = false;
  for (int32_t i = state.node_head; i >= 0;) {
    NodeFrame& frame = state.node_frames[i];
    int32_t next = frame.next;
    if (frame.used == 0 || frame.do_not_allocate) {
      unlink_node_frame(i);
    } else {
      if (!current_chosen && frame.used < frame.capacity) {
        state.node_current = i;
        current_chosen = true;
      }
      frame.history = (frame.history << 1) | (frame.used == frame.used_at_last ? 1 : 0);
      frame.used_at_last = frame.used;
    }
    i = next;
  }
}

// ---- series frames ----

SeriesFrame* alloc_series_frame() {
  uint32_t data_size = state.next_series_frame_size;
  if (data_size < kFrameSizeLimit) state.next_series_frame_size = data_size * 2;
  size_t block_size = data_size + SeriesFrame::kHeaderSize;
  auto* frame = static_cast<SeriesFrame*>(os_allocate(block_size));
  frame->size = uint32_t(block_size);
  frame->cursor = frame->first_buffer();
  frame->end = frame->first_buffer() + data_size;
  frame->reserved = 0;

  // Keep the list in ascending address order: the compactor relies on it.
  SeriesFrame* after = nullptr;
  SeriesFrame* before = state.series_head;
  while (before && before < frame) {
    after = before;
    before = before->next;
  }
  frame->prev = after;
  frame->next = before;
  if (after) after->next = frame;
  else state.series_head = frame;
  if (before) before->prev = frame;
  else state.series_tail = frame;
  if (!state.series_current) state.series_current = frame;
  return frame;
}

void free_series_frame(SeriesFrame* frame) {
  if (frame->prev) frame->prev->next = frame->next;
  else state.series_head = frame->next;
  if (frame->next) frame->next->prev = frame->prev;
  else state.series_tail = frame->prev;
  if (state.series_current == frame) state.series_current = state.series_tail;
  os_free(frame, frame->size);
}

namespace {
SeriesFrame* find_series_frame(uint32_t total) {
  for (SeriesFrame* frame = state.series_head; frame; frame = frame->next)
    if (frame->cursor + total < frame->end) return frame;
  return nullptr;
}

// ---- big frames ----

SeriesBuffer* alloc_big_frame(uint32_t total) {
  size_t block_size = size_t(total) + BigFrame::kHeaderSize;
  auto* frame = static_cast<BigFrame*>(os_allocate(block_size));
  frame->next = nullptr;
  frame->zero = 0;
  frame->total = total;
  BigFrame** link = &state.big_head;
  while (*link) link = &(*link)->next;
  *link = frame;
  return frame->buffer();
}
}  // namespace

void free_big_frame(SeriesBuffer* buffer) {
  for (BigFrame** link = &state.big_head; *link; link = &(*link)->next) {
    BigFrame* frame = *link;
    if (frame->buffer() != buffer) continue;
    *link = frame->next;
    os_free(frame, size_t(frame->total) + BigFrame::kHeaderSize);
    return;
  }
}

void free_all_frames() {
  while (state.big_head) free_big_frame(state.big_head->buffer());
  while (state.series_head) free_series_frame(state.series_head);
  while (state.node_head >= 0) unlink_node_frame(state.node_head);
  release_spare_blocks();
  state.series_current = nullptr;
  state.next_series_frame_size = kFirstSeriesFrameSize;
}

// ---- series buffers ----

namespace {
SeriesBuffer* alloc_series_buffer(uint32_t units, uint32_t unit, int32_t head_offset) {
  collector::torture_point();
  uint64_t bytes = uint64_t(units) * unit;
  if (bytes > kMaxBufferSize) out_of_frames();
  // Never an empty data area: a series that starts empty must still be able to double.
  uint32_t size = bytes ? align16(bytes) : kMinDataSize;
  uint32_t total = size + kBufferOverhead;
  SeriesBuffer* buffer;
  uint32_t extra_flags = 0;
  if (total >= kFrameSizeLimit) {
    if (big_collection_due(total)) collector::collect_if_active();
    state.big_bytes_since_collection += total;
    buffer = alloc_big_frame(total);
    extra_flags = FLAG_BIG;
  } else {
    SeriesFrame* frame = frame_with_room(total);
    buffer = reinterpret_cast<SeriesBuffer*>(frame->cursor);
    frame->cursor += total;
  }
  init_header(buffer, size, unit, head_offset, extra_flags);
  return buffer;
}
}  // namespace

NodeId alloc_series(uint32_t units, uint32_t unit, int32_t head_offset) {
  SeriesBuffer* buffer = alloc_series_buffer(units, unit, head_offset);
  // Taking a node never collects, so the buffer stays where it is.
  NodeId node = alloc_node();
  set_buffer(node, buffer);
  buffer->node = node;
  return node;
}

NodeId alloc_external_series(uint32_t units, uint32_t unit, int32_t head_offset) {
  uint64_t bytes = uint64_t(units) * unit;
  if (bytes > kMaxBufferSize)
    rt::runtime_error(rt::RUNTIME_OUT_OF_MEMORY, XOL_CALLER_ADDRESS);
  uint32_t size = align16(bytes);
  // Place the header at 8k + 4 so that the data area is 8-byte aligned, as in the frames.
  auto* block = static_cast<uint8_t*>(rt::allocate(size + sizeof(SeriesBuffer) + 8));
  uint8_t* start = block + ((12 - reinterpret_cast<uintptr_t>(block) % 8) % 8);
  auto* buffer = reinterpret_cast<SeriesBuffer*>(start);
  init_header(buffer, size, unit, head_offset, FLAG_EXTERNAL);
  NodeId node = alloc_node();
  set_buffer(node, buffer);
  buffer->node = node;
  return node;
}

NodeId alloc_cells(uint32_t count) { return alloc_series(count, sizeof(Cell), 0); }

NodeId alloc_unset_cells(uint32_t count) {
  NodeId node = alloc_cells(count);
  SeriesBuffer* buffer = buffer_of(node);
  Cell* cells = buffer->cells();
  for (uint32_t i = 0; i < buffer->size / sizeof(Cell); ++i) cell::set_unset(&cells[i]);
  return node;
}

NodeId alloc_bytes(uint32_t count) { return alloc_series(count ? count : 16, 1, 0); }

NodeId alloc_units(uint32_t count, uint32_t unit) {
  return alloc_series(count ? count : 16 >> SeriesBuffer::unit_shift(unit), unit, 0);
}

NodeId alloc_bytes_filled(uint32_t count, uint8_t byte) {
  NodeId node = alloc_bytes(count);
  SeriesBuffer* buffer = buffer_of(node);
  fill(buffer->data(), buffer->end_ptr(), byte);
  return node;
}

namespace {

// Moves the series of `buffer` to a new buffer of `new_size` bytes (0: twice the size) and
// answers it; `old_out` receives the abandoned buffer, fetched again after the allocation.
SeriesBuffer* move_to_new_buffer(SeriesBuffer* buffer, uint64_t new_size, SeriesBuffer** old_out) {
  uint64_t wanted = new_size ? new_size : grown_size(buffer->size, uint64_t(buffer->size) + 1);
  if (wanted > kMaxBufferSize) out_of_frames();
  NodeId node = buffer->node;
  uint32_t unit = buffer->unit();
  SeriesBuffer* grown = alloc_series_buffer(uint32_t((wanted + unit - 1) / unit), unit, 0);
  SeriesBuffer* old = buffer_of(node);   // the allocation may have moved it
  constexpr uint32_t kNotInherited = FLAG_BIG | FLAG_PINNED | FLAG_MARKED | FLAG_EXTERNAL;
  grown->flags = (old->flags & ~kNotInherited) | (grown->flags & FLAG_BIG);
  grown->node = node;
  grown->head = 0;
  grown->tail = old->tail - old->head;
  set_buffer(node, grown);
  old->node = kNoNode;
  old->flags &= ~FLAG_LIVE;
  *old_out = old;
  return grown;
}

}  // namespace

uint64_t grown_size(uint64_t size, uint64_t needed) {
  if (needed > kMaxBufferSize) out_of_frames();
  return std::min(std::max(needed, size * 2), kMaxBufferSize);
}

SeriesBuffer* grow_buffer(SeriesBuffer* buffer, uint64_t new_size) {
  SeriesBuffer* old;
  return move_to_new_buffer(buffer, new_size, &old);
}

SeriesBuffer* grow_series(SeriesBuffer* buffer, uint64_t new_size) {
  SeriesBuffer* old;
  SeriesBuffer* grown = move_to_new_buffer(buffer, new_size, &old);
  std::memcpy(grown->data(), old->head_ptr(), std::min(old->size - old->head, grown->size));
  return grown;
}

SeriesBuffer* grow_series_filled(SeriesBuffer* buffer, uint64_t new_size, uint8_t byte) {
  uint32_t old_size = buffer->size;
  SeriesBuffer* grown = grow_series(buffer, new_size);
  if (grown->size > old_size) fill(grown->data() + old_size, grown->end_ptr(), byte);
  return grown;
}

NodeId copy_series(NodeId node) {
  SeriesBuffer* source = buffer_of(node);
  NodeId copy = alloc_bytes(source->size);
  source = buffer_of(node);
  SeriesBuffer* target = buffer_of(copy);
  target->flags = (source->flags & ~(FLAG_BIG | FLAG_PINNED | FLAG_MARKED | FLAG_EXTERNAL)) |
                  (target->flags & FLAG_BIG);
  target->head = source->head;
  target->tail = source->tail;
  std::memcpy(target->data(), source->data(), source->size);
  return copy;
}

void fill(uint8_t* start, uint8_t* end, uint8_t byte) {
  if (end > start) std::memset(start, byte, size_t(end - start));
}

uint8_t* repeat_fill(uint8_t* address, size_t unit_length, size_t count) {
  const size_t total = unit_length * count;
  size_t filled = unit_length;
  while (filled < total) {
    size_t chunk = std::min(filled, total - filled);
    std::memcpy(address + filled, address, chunk);
    filled += chunk;
  }
  return address + total;
}

}  // namespace xol::memory

namespace xol::series {

using memory::SeriesBuffer;

void set_flags(NodeId node, uint32_t bits) { memory::buffer_of(node)->flags |= bits; }

NodeId copy_part(NodeId node, uint32_t start, uint32_t count) {
  uint32_t unit = memory::buffer_of(node)->unit();
  NodeId copy = memory::alloc_bytes(count * unit);
  SeriesBuffer* source = memory::buffer_of(node);
  SeriesBuffer* target = memory::buffer_of(copy);
  constexpr uint32_t kNotInherited = memory::FLAG_OWNED | memory::FLAG_HASH_KEY |
                                     memory::FLAG_BIG | memory::FLAG_PINNED |
                                     memory::FLAG_MARKED | memory::FLAG_EXTERNAL;
  target->flags = (source->flags & ~kNotInherited) | (target->flags & memory::FLAG_BIG);
  std::memcpy(target->data(), source->head_ptr() + start * unit, count * unit);
  target->tail = count * unit;
  return copy;
}

uint8_t* reserve_tail(NodeId node, uint32_t bytes) {
  SeriesBuffer* buffer = memory::buffer_of(node);
  if (uint64_t(buffer->tail) + bytes > buffer->size)
    buffer = memory::grow_series(
        buffer, memory::grown_size(buffer->size, uint64_t(buffer->used_bytes()) + bytes));
  uint8_t* old_tail = buffer->tail_ptr();
  buffer->tail += bytes;
  return old_tail;
}

}  // namespace xol::series

namespace xol::buffer {

Cell* append_unset(NodeId node) {
  memory::SeriesBuffer* buffer = memory::buffer_of(node);
  if (buffer->tail + sizeof(Cell) > buffer->size) buffer = memory::grow_series(buffer, 0);
  Cell* cell = reinterpret_cast<Cell*>(buffer->tail_ptr());
  cell::set_unset(cell);
  buffer->tail += sizeof(Cell);
  return cell;
}

}  // namespace xol::buffer
