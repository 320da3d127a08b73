// The collector's cycle: roots, native stack, weak tables, then sweeping and compacting.
//
// Series frames are compacted in ascending address order. A frame's live buffers move into the
// free tail of the previous frame while it keeps more than kMinFreeAfterCollect bytes of room
// and the buffer fits; the rest slide down inside their own frame. A pinned buffer stays where
// it is: the space vacated in front of it becomes a filler (a dead buffer header with node 0 and
// no flags, spanning the gap), which keeps the frame walkable buffer by buffer and is reclaimed
// by the next cycle like any dead buffer. A frame left empty is freed unless it is the last.
//
// Torture mode evacuates instead: every unpinned live buffer moves to a frame that held nothing
// when the cycle began (or to a new one), so its address always changes, and everything vacated
// is filled with kPoisonByte. Frames emptied this way stay, poisoned, as the next cycle's
// destinations.
#include "runtime/memory/collector.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/address_sanitizer.h"
#include "runtime/memory/collector_internal.h"
#include "runtime/memory/handle_table.h"
#include "runtime/memory/memory.h"
#include "runtime/process/process.h"

namespace xol::collector {

using memory::BigFrame;
using memory::SeriesBuffer;
using memory::SeriesFrame;

bool active = false;
uint32_t series_cycles = 0;
uint32_t nodes_cycles = 0;

namespace detail {

namespace {
uint32_t read_torture_period() {
  const char* value = std::getenv("XOL_GC_TORTURE");
  return value ? uint32_t(std::strtoul(value, nullptr, 10)) : 0;
}
}  // namespace

uint32_t torture_period = read_torture_period();
uint32_t torture_countdown = torture_period;

}  // namespace detail

namespace {

constexpr int kMaxSweeps = 8;   // weak tables: the owners table is the one that exists

struct Root {
  enum Kind : uint8_t { NODE, CELLS, CALLBACK } kind;
  RootRank rank;
  const void* first;   // NodeId* or Cell* const*; the callback for CALLBACK
  const void* end;     // Cell* const* for CELLS
  MarkCallback callback;
};

Root roots[kMaxRoots];
int root_count = 0;
MarkCallback sweeps[kMaxSweeps];
int sweep_count = 0;
bool running = false;

// A broken invariant of the collector's own tables or of a frame's layout.
[[noreturn]] void broken(uintptr_t address) { rt::runtime_error(rt::RUNTIME_ASSERTION, address); }

// Keeps the roots ordered by rank, registration order within a rank.
void insert_root(const Root& root) {
  if (root_count == kMaxRoots) broken(XOL_CALLER_ADDRESS);
  int at = root_count++;
  for (; at > 0 && roots[at - 1].rank > root.rank; --at) roots[at] = roots[at - 1];
  roots[at] = root;
}

void remove_root_at(int index) {
  std::copy(roots + index + 1, roots + root_count, roots + index);
  --root_count;
}

bool registered(const void* first) {
  return std::any_of(roots, roots + root_count,
                     [first](const Root& root) { return root.first == first; });
}

void mark_roots() {
  for (int i = 0; i < root_count; ++i) {
    const Root& root = roots[i];
    switch (root.kind) {
      case Root::NODE:
        mark_block(*static_cast<const NodeId*>(root.first));
        break;
      case Root::CELLS: {
        const Cell* first = *static_cast<Cell* const*>(root.first);
        const Cell* end = *static_cast<Cell* const*>(root.end);
        if (first && end) mark_cells(first, end);
        break;
      }
      case Root::CALLBACK:
        root.callback();
        break;
    }
    detail::drain();
  }
}

// ---- sweeping series frames ----

bool torture() { return detail::torture_period != 0; }

uint32_t stride_of(const SeriesBuffer* buffer) { return memory::kBufferOverhead + buffer->size; }

SeriesBuffer* buffer_at(uint8_t* at) { return reinterpret_cast<SeriesBuffer*>(at); }

void poison(uint8_t* start, uint8_t* end) { memory::fill(start, end, kPoisonByte); }

// A dead buffer gives its node back; abandoned buffers and fillers have none.
void reclaim(const SeriesBuffer* buffer) {
  if (buffer->node != kNoNode) memory::free_node(buffer->node);
}

void move_buffer(SeriesBuffer* buffer, uint8_t* to, uint32_t stride) {
  std::memmove(to, buffer, stride - memory::kBufferSpare);
  SeriesBuffer* moved = buffer_at(to);
  memory::set_buffer(moved->node, moved);
}

// Turns the vacated bytes [start, end) in front of a pinned buffer into one dead buffer.
void write_filler(uint8_t* start, uint8_t* end) {
  if (start == end) return;
  if (size_t(end - start) < memory::kBufferOverhead) broken(reinterpret_cast<uintptr_t>(start));
  SeriesBuffer* filler = buffer_at(start);
  *filler = SeriesBuffer{0, kNoNode, uint32_t(end - start) - memory::kBufferOverhead, 0, 0};
  if (torture()) poison(filler->data(), end);
}

constexpr uint32_t kLiveBits = memory::FLAG_MARKED | memory::FLAG_PINNED;

// Walks one frame: dead buffers give back their nodes, pinned ones stay, live ones go where
// `destination.take(stride)` says or, when it answers null, slide down inside the frame.
// Answers the frame's new cursor.
template <class Destination>
uint8_t* sweep_frame(SeriesFrame* frame, Destination& destination) {
  uint8_t* const old_cursor = frame->cursor;
  uint8_t* slide = frame->first_buffer();
  for (uint8_t* at = frame->first_buffer(); at < old_cursor;) {
    SeriesBuffer* buffer = buffer_at(at);
    const uint32_t stride = stride_of(buffer);
    at += stride;
    const uint32_t flags = buffer->flags;
    if (!(flags & kLiveBits)) {
      reclaim(buffer);
      continue;
    }
    buffer->flags = flags & ~kLiveBits;
    if (flags & memory::FLAG_PINNED) {
      write_filler(slide, reinterpret_cast<uint8_t*>(buffer));
      slide = reinterpret_cast<uint8_t*>(buffer) + stride;
      continue;
    }
    if (uint8_t* to = destination.take(stride)) {
      move_buffer(buffer, to, stride);
      continue;
    }
    if (slide != reinterpret_cast<uint8_t*>(buffer)) move_buffer(buffer, slide, stride);
    slide += stride;
  }
  if (torture()) poison(slide, old_cursor);
  return slide;
}

// Normal mode: the free tail of the previous frame, while it has more than
// kMinFreeAfterCollect bytes of room and each buffer fits; once one does not, the rest of the
// frame slides in place.
class PreviousFrameTail {
 public:
  explicit PreviousFrameTail(SeriesFrame* previous) : previous_(previous) {}
  uint8_t* take(uint32_t stride) {
    if (!previous_) return nullptr;
    size_t room = size_t(previous_->end - previous_->cursor);
    if (room <= memory::kMinFreeAfterCollect || stride >= room) {
      previous_ = nullptr;
      return nullptr;
    }
    uint8_t* to = previous_->cursor;
    previous_->cursor += stride;
    return to;
  }

 private:
  SeriesFrame* previous_;
};

void compact_series() {
  for (SeriesFrame* frame = memory::state.series_head; frame;) {
    SeriesFrame* next = frame->next;
    if (frame->cursor != frame->first_buffer()) {
      PreviousFrameTail destination(frame->prev);
      frame->cursor = sweep_frame(frame, destination);
      if (frame->cursor == frame->first_buffer() && next) memory::free_series_frame(frame);
    }
    frame = next;
  }
}

// Torture mode: frames that held nothing when the cycle began, then new frames.
class EmptySpace {
 public:
  explicit EmptySpace(std::vector<SeriesFrame*>& empty) : empty_(empty) {}
  uint8_t* take(uint32_t stride) {
    while (!current_ || current_->cursor + stride >= current_->end) {
      if (next_ < empty_.size()) {
        current_ = empty_[next_++];
      } else {
        if (stride >= memory::state.next_series_frame_size)
          memory::state.next_series_frame_size = memory::kFrameSizeLimit;
        current_ = memory::alloc_series_frame();
      }
    }
    uint8_t* to = current_->cursor;
    current_->cursor += stride;
    return to;
  }
  // The empty frames that received nothing.
  size_t first_unused() const { return current_ ? next_ : 0; }

 private:
  std::vector<SeriesFrame*>& empty_;
  size_t next_ = 0;
  SeriesFrame* current_ = nullptr;
};

std::vector<SeriesFrame*> used_frames;
std::vector<SeriesFrame*> empty_frames;

void evacuate_series() {
  used_frames.clear();
  empty_frames.clear();
  for (SeriesFrame* frame = memory::state.series_head; frame; frame = frame->next)
    (frame->cursor == frame->first_buffer() ? empty_frames : used_frames).push_back(frame);
  EmptySpace destination(empty_frames);
  for (SeriesFrame* frame : used_frames) frame->cursor = sweep_frame(frame, destination);
  for (size_t i = destination.first_unused(); i < empty_frames.size(); ++i)
    memory::free_series_frame(empty_frames[i]);
}

void sweep_big_frames() {
  for (BigFrame* frame = memory::state.big_head; frame;) {
    BigFrame* next = frame->next;
    SeriesBuffer* buffer = frame->buffer();
    if (buffer->flags & kLiveBits) {
      buffer->flags &= ~kLiveBits;
    } else {
      reclaim(buffer);
      memory::free_big_frame(buffer);
    }
    frame = next;
  }
}

// Keeps `running` true for the cycle, also when a frame allocation fails inside it.
struct RunningFlag {
  RunningFlag() { running = true; }
  ~RunningFlag() { running = false; }
};

void run_cycle(uintptr_t stack_from) {
  RunningFlag flag;
  mark_roots();
  detail::scan_native_stack(stack_from);
  handles::sweep();
  for (int i = 0; i < sweep_count; ++i) sweeps[i]();
  if (torture()) evacuate_series();
  else compact_series();
  sweep_big_frames();
  memory::release_node_frames();
  detail::clear_external_marks();
  memory::note_collection();
  ++series_cycles;
}

// Spills the callee-saved registers into this frame, so that the stack scan sees every value
// the mutator held in a register; the scan starts at a local below them, which leaves out the
// frames of the cycle itself.
__attribute__((noinline)) void spill_registers_and_run_cycle() {
  __builtin_unwind_init();
  volatile uintptr_t below_spilled_registers = 0;
  run_cycle(reinterpret_cast<uintptr_t>(&below_spilled_registers));
}

}  // namespace

bool collect_if_active() {
  if (!active) return false;
  collect();
  return true;
}

void collect() {
  if (!running) spill_registers_and_run_cycle();
}

bool in_cycle() { return running; }

uint32_t torture_period() { return detail::torture_period; }

void set_torture_period(uint32_t period) {
  detail::torture_period = period;
  detail::torture_countdown = period;
}

void register_root_node(const NodeId* node, RootRank rank) {
  if (!registered(node)) insert_root({Root::NODE, rank, node, nullptr, nullptr});
}

void register_root_cells(Cell* const* first, Cell* const* end, RootRank rank) {
  if (!registered(first)) insert_root({Root::CELLS, rank, first, end, nullptr});
}

void register_mark(MarkCallback callback, RootRank rank) {
  insert_root({Root::CALLBACK, rank, nullptr, nullptr, callback});
}

void unregister_mark(MarkCallback callback) {
  for (int i = 0; i < root_count; ++i)
    if (roots[i].kind == Root::CALLBACK && roots[i].callback == callback) return remove_root_at(i);
}

void unregister_root(const void* root) {
  for (int i = 0; i < root_count; ++i)
    if (roots[i].kind != Root::CALLBACK && roots[i].first == root) return remove_root_at(i);
}

void register_sweep(MarkCallback sweep) {
  if (sweep_count == kMaxSweeps) broken(XOL_CALLER_ADDRESS);
  sweeps[sweep_count++] = sweep;
}

void unregister_sweep(MarkCallback sweep) {
  MarkCallback* end = std::remove(sweeps, sweeps + sweep_count, sweep);
  sweep_count = int(end - sweeps);
}

void init_stats() {
  series_cycles = 0;
  nodes_cycles = 0;
}

MemoryStats memory_stats() {
  const bool was_active = active;
  active = false;
  MemoryStats stats;
  const memory::MemoryState& state = memory::state;
  for (int32_t i = state.node_head; i >= 0; i = state.node_frames[i].next) {
    const memory::NodeFrame& frame = state.node_frames[i];
    stats.node_frames.push_back({frame.capacity - frame.used, frame.used, frame.capacity});
    stats.used_bytes += uint64_t(frame.used) * sizeof(uintptr_t);
    stats.frame_bytes += uint64_t(frame.capacity) * sizeof(uintptr_t);
  }
  for (SeriesFrame* frame = state.series_head; frame; frame = frame->next) {
    uint64_t used = uint64_t(frame->cursor - frame->first_buffer());
    uint64_t size = uint64_t(frame->end - frame->first_buffer());
    stats.series_frames.push_back({size - used, used, size});
    stats.used_bytes += used;
    stats.frame_bytes += frame->size;
  }
  for (BigFrame* frame = state.big_head; frame; frame = frame->next) {
    stats.big_frames.push_back(frame->total);
    stats.used_bytes += frame->total;
    stats.frame_bytes += uint64_t(frame->total) + BigFrame::kHeaderSize;
  }
  active = was_active;
  return stats;
}

}  // namespace xol::collector

#ifdef XOL_ADDRESS_SANITIZER
// The stack scan must see locals on the real stack, not in AddressSanitizer's fake stacks.
extern "C" __attribute__((used)) const char* __asan_default_options() {
  return "detect_stack_use_after_return=0";
}
#endif
