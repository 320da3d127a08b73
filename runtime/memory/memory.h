// The memory manager: node frames, series frames and big frames.
//
// Every value with variable-size content keeps it in a series buffer. Buffers are bump-allocated
// back to back in series frames (1 MiB, then 2 MiB OS blocks); a buffer of 2 MiB or more gets a
// big frame of its own. Cells never hold buffer addresses: they hold a node id, and the node's
// slot holds the buffer's current address. A grow or a compaction therefore moves a buffer by
// rewriting one slot. Nodes never move.
//
// Node slots live in one reserved virtual range, committed a frame (10000 nodes) at a time, so
// resolving a node is a single load. A used slot holds its buffer's address; a free slot holds
// the next free node id shifted left by one, with bit 0 set.
//
// A buffer header is five 32-bit words; head and tail are byte offsets from the data start, so
// a move changes no header field. Every buffer is followed by 4 spare bytes and starts at an
// address of the form 8k + 4, which keeps each data area (and so the doubles in cells)
// 8-byte aligned.
//
// Nothing is freed explicitly: the collector reclaims what it no longer reaches. Code keeps
// nodes or cells, never buffer addresses, across anything that can allocate.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace xol::memory {

// Flags word of a series buffer.
enum BufferFlag : uint32_t {
  UNIT_MASK = 0x0000001F,        // unit size in bytes: 1, 2, 4 or 16
  FLAG_OWNED = 0x00020000,       // recorded in the owners table
  FLAG_PINNED = 0x00040000,      // found from the native stack during this collection: stays put
  FLAG_EXTERNAL = 0x00100000,    // allocated from the tracked heap, outside every frame
  FLAG_TABLE = 0x00200000,       // a hash table's record: marking it must mark its parts
  FLAG_HASH_KEY = 0x00400000,    // text indexed as a key by a hash!: its changes are counted
  FLAG_BIG = 0x01000000,         // lives in a big frame
  FLAG_MARKED = 0x08000000,      // collector mark
  FLAG_HEAD_MID = 0x10000000,    // head placed in the middle of the data area
  FLAG_ALLOCATED = 0x20000000,   // set on every buffer at allocation
  FLAG_LIVE = 0x80000000,        // cleared on the old buffer that a grow abandons
};

struct SeriesBuffer {
  uint32_t flags;
  NodeId node;      // the node that holds this buffer's address; 0 once a grow abandoned it
  uint32_t size;    // bytes of the data area, a multiple of 16
  uint32_t head;    // byte offset of the first used byte from the data start
  uint32_t tail;    // byte offset one past the last used byte

  uint8_t* data() { return reinterpret_cast<uint8_t*>(this + 1); }
  const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(this + 1); }
  uint8_t* head_ptr() { return data() + head; }
  uint8_t* tail_ptr() { return data() + tail; }
  uint8_t* end_ptr() { return data() + size; }
  Cell* cells() { return reinterpret_cast<Cell*>(data()); }
  uint32_t unit() const { return flags & UNIT_MASK; }
  uint32_t used_bytes() const { return tail - head; }
  // Length in units; a unit of 16 shifts by 4, 8 (vector! doubles) by 3, 4 by 2, 2 by 1, 1 by 0.
  uint32_t length() const { return used_bytes() >> unit_shift(unit()); }

  static constexpr uint32_t unit_shift(uint32_t u) { return u == 16 ? 4 : u == 8 ? 3 : u >> 1; }
};
static_assert(sizeof(SeriesBuffer) == 20, "a buffer header is five 32-bit words");

constexpr uint32_t kBufferSpare = 4;                     // spare bytes after every buffer
constexpr uint32_t kBufferOverhead = sizeof(SeriesBuffer) + kBufferSpare;
constexpr uint32_t kNodesPerFrame = 10000;
constexpr uint32_t kFirstSeriesFrameSize = 0x100000;     // 1 MiB
constexpr uint32_t kFrameSizeLimit = 0x200000;           // 2 MiB: larger buffers get big frames
constexpr uint32_t kMinFreeAfterCollect = 52428;         // 0xCCCC: a frame with less is not reused
constexpr uint32_t kMaxNodeFrames = 6000;                // 60 million nodes
constexpr uint64_t kMaxSpareBytes = uint64_t(64) << 20;  // freed OS blocks kept for reuse

// Node frame bookkeeping; the slots themselves live in the node range.
struct NodeFrame {
  int32_t next = -1;            // frame index, -1 for none
  int32_t prev = -1;
  uint32_t capacity = 0;        // 0 while the index is unused
  NodeId free_head = 0;
  uint32_t used = 0;
  uint32_t stamp = 0;           // the collector's series-cycles counter when made
  uint32_t used_at_last = 0;    // used count seen at the last collection
  uint32_t history = 0;         // bit 0: used count unchanged since the previous collection
  bool do_not_allocate = false;
  NodeId first_id() const;
};

// A series frame: this header, then buffers back to back from `first_buffer()`.
struct SeriesFrame {
  SeriesFrame* next;
  SeriesFrame* prev;
  uint8_t* cursor;   // first free byte
  uint8_t* end;      // first byte past the frame
  uint32_t size;     // data area plus header, in bytes
  uint32_t reserved;
  uint8_t* first_buffer() { return reinterpret_cast<uint8_t*>(this) + kHeaderSize; }
  static constexpr uint32_t kHeaderSize = 44;   // so buffers start at 8k + 4
};

// A big frame holds exactly one buffer.
struct BigFrame {
  BigFrame* next;
  uint32_t zero;
  uint32_t total;    // buffer header + data + spare
  uint32_t pad;
  SeriesBuffer* buffer() {
    return reinterpret_cast<SeriesBuffer*>(reinterpret_cast<uint8_t*>(this) + kHeaderSize);
  }
  static constexpr uint32_t kHeaderSize = 28;   // so the buffer starts at 8k + 4
};

// A freed OS block kept for reuse; these two fields overlay its first bytes.
struct SpareBlock {
  SpareBlock* next;
  size_t size;   // mapped bytes
};

struct MemoryState {
  uint64_t bytes_in_use = 0;        // bytes obtained from the OS for frames
  int32_t node_head = -1, node_tail = -1, node_current = -1;
  SeriesFrame* series_head = nullptr;
  SeriesFrame* series_current = nullptr;
  SeriesFrame* series_tail = nullptr;
  uint32_t next_series_frame_size = kFirstSeriesFrameSize;
  BigFrame* big_head = nullptr;
  // Freed OS blocks kept for reuse (see os_free); not counted in bytes_in_use.
  SpareBlock* spare_blocks = nullptr;
  uint64_t spare_bytes = 0;
  // The bytes of series the last collection left live, and the bytes big frames took since.
  uint64_t live_at_collection = 0;
  uint64_t big_bytes_since_collection = 0;
  NodeFrame node_frames[kMaxNodeFrames];
};

extern MemoryState state;
extern uintptr_t* node_slots;   // indexed by node id

// ---- OS blocks and frames ----
void init();
int32_t alloc_node_frame(uint32_t capacity = kNodesPerFrame);
// Called by the collector at the end of each cycle: the live heap it left is the measure of
// the growth that brings the next one.
void note_collection();
NodeId alloc_node();
void free_node(NodeId node);
int32_t node_frame_of(NodeId node);
void release_node_frames();
SeriesFrame* alloc_series_frame();
void free_series_frame(SeriesFrame* frame);
void free_big_frame(SeriesBuffer* buffer);
void free_all_frames();

// ---- nodes ----
inline SeriesBuffer* buffer_of(NodeId node) {
  return reinterpret_cast<SeriesBuffer*>(node_slots[node]);
}
inline void set_buffer(NodeId node, SeriesBuffer* buffer) {
  node_slots[node] = reinterpret_cast<uintptr_t>(buffer);
}
constexpr size_t kNodeRangeSlots = size_t(kMaxNodeFrames) * kNodesPerFrame + 1;
constexpr uintptr_t kFreeSlotBit = 1;

// The buffer of `node` when it names a slot of a live frame that currently holds a buffer,
// else null. Inline: the collector asks it for every node it marks and for every 32-bit half
// of every word of the native stack.
inline SeriesBuffer* live_buffer(NodeId node) {
  if (node == kNoNode || node >= kNodeRangeSlots) return nullptr;
  const uint32_t index = node - 1;
  if (index % kNodesPerFrame >= state.node_frames[index / kNodesPerFrame].capacity) return nullptr;
  const uintptr_t slot = node_slots[node];
  if (slot == 0 || (slot & kFreeSlotBit)) return nullptr;
  return reinterpret_cast<SeriesBuffer*>(slot);
}
inline bool is_live_node(NodeId node) { return live_buffer(node) != nullptr; }

// ---- series buffers ----
constexpr int32_t kHeadMiddle = -1;
// The largest data area of a series buffer: every byte offset in it, and so every length and
// index in any unit, stays a positive 32-bit integer. A grow or an allocation past it raises
// internal `no-memory` before anything is changed.
constexpr uint64_t kMaxBufferSize = 0x7FFFFFF0;
// The size a buffer of `size` bytes grows to when it must hold `needed` bytes: at least twice
// its size, so that repeated growth costs amortised constant time, and never past
// kMaxBufferSize; a `needed` past that raises internal `no-memory`.
uint64_t grown_size(uint64_t size, uint64_t needed);
NodeId alloc_series(uint32_t units, uint32_t unit, int32_t head_offset);
NodeId alloc_external_series(uint32_t units, uint32_t unit, int32_t head_offset);
NodeId alloc_cells(uint32_t count);
NodeId alloc_unset_cells(uint32_t count);
NodeId alloc_bytes(uint32_t count);
NodeId alloc_units(uint32_t count, uint32_t unit);
NodeId alloc_bytes_filled(uint32_t count, uint8_t byte);
// The grows move the series to a new buffer of `new_size` bytes (0: grown_size for one more
// byte); grow_buffer copies nothing, grow_series the content, grow_series_filled also fills the
// new room with `byte`.
SeriesBuffer* grow_buffer(SeriesBuffer* buffer, uint64_t new_size);
SeriesBuffer* grow_series(SeriesBuffer* buffer, uint64_t new_size);
SeriesBuffer* grow_series_filled(SeriesBuffer* buffer, uint64_t new_size, uint8_t byte);
NodeId copy_series(NodeId node);
void fill(uint8_t* start, uint8_t* end, uint8_t byte);
// Repeats the first `unit_length` bytes at `address` until `count` copies stand back to back,
// copying by doubling; answers address + unit_length x count.
uint8_t* repeat_fill(uint8_t* address, size_t unit_length, size_t count);

}  // namespace xol::memory

namespace xol::series {
void set_flags(NodeId node, uint32_t bits);
// A new byte buffer of `count` units from `start` (0-based unit index); the owned bit is cleared.
NodeId copy_part(NodeId node, uint32_t start, uint32_t count);
// Moves the tail by `bytes`, growing first when needed; answers the old tail (in the buffer the
// node holds after the call).
uint8_t* reserve_tail(NodeId node, uint32_t bytes);
}  // namespace xol::series

namespace xol::buffer {
// Appends an unset cell at the tail, doubling a full buffer first.
Cell* append_unset(NodeId node);
}  // namespace xol::buffer
