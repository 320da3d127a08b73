// The compacting collector: marks from the roots, sweeps, and slides live buffers down their
// frames. It runs only inside an allocation (when no frame has room, or before a big frame is
// made) and on `recycle`, and only while `active` is set (`recycle` runs it regardless).
//
// Roots are marked precisely, in a fixed order of ranks (the root block first, the refs table
// last, then the mark callbacks); each subsystem registers its own roots with the rank it
// belongs to: a node held in a C++ global, a range of cells whose ends live in C++ globals, or a
// callback that marks whatever its subsystem holds. Cells are marked through a table indexed by
// type id that says which payload words hold nodes (see `TypeMarking`).
//
// The native stack is scanned conservatively instead: every 32-bit half of every stack word
// that names a live node marks that node, and every word that points into a series frame or a
// big frame marks the buffer it points into and pins it, so the buffer does not move in this
// cycle. A C++ local may therefore hold a node id, a cell, or a pointer into a buffer across a
// collection. It may never hold a buffer pointer across a grow of that same series, and a C++
// heap container (std::vector and the like) never keeps anything alive unless registered.
//
// The scan reads the real stack: under AddressSanitizer, `detect_stack_use_after_return` must
// stay off (this library sets it off by default), since it moves locals to a heap "fake stack"
// that the scan does not see.
//
// Nodes never move: node-frame compaction is not done, so `nodes_cycles` stays 0 and every
// node id stays valid while something reaches it.
//
// Torture mode (environment XOL_GC_TORTURE=N, read once at start): while the collector is
// active, every Nth series allocation collects; every cycle moves every unpinned buffer to
// space that no buffer used before, and fills vacated space with kPoisonByte, so code that
// keeps an unrooted node or a stale buffer pointer fails at once instead of rarely.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/cell.h"

namespace xol::collector {

extern bool active;             // off until the boot code switches it on
extern uint32_t series_cycles;  // collections run so far
extern uint32_t nodes_cycles;   // collections that moved nodes: always 0 (nodes never move)

constexpr uint8_t kPoisonByte = 0xDB;   // fills vacated space in torture mode
constexpr int kMaxRoots = 128;          // registered roots and mark callbacks together

// Runs a cycle when the collector is active; answers whether it ran.
bool collect_if_active();
// Runs a cycle whatever `active` says; nothing when a cycle is already running.
void collect();
// True while a cycle runs.
bool in_cycle();

// ---- torture mode ----

// Allocations between forced collections; 0 when torture mode is off.
uint32_t torture_period();
// Tests switch torture mode on and off with it; XOL_GC_TORTURE sets it at start.
void set_torture_period(uint32_t period);

namespace detail {
extern uint32_t torture_period;
extern uint32_t torture_countdown;
}  // namespace detail

// Called by the series allocator at every allocation, before it takes any room.
inline void torture_point() {
  if (detail::torture_period && active && --detail::torture_countdown == 0) {
    detail::torture_countdown = detail::torture_period;
    collect();
  }
}

// ---- roots ----

// Where a root is marked in the cycle: ranks in this order, registration order within a rank.
enum RootRank : uint8_t {
  RANK_ROOT_BLOCK,
  RANK_SYMBOL_TABLE,
  RANK_OWNERS_TABLE,
  RANK_STACK_SERIES,
  RANK_ARGUMENT_STACK,
  RANK_CALL_FRAMES,
  RANK_GLOBAL_CONTEXT,
  RANK_TAKE_SERIES,
  RANK_CURRENT_CELL,
  RANK_LEXER_STACKS,
  RANK_REFS_TABLE,
  RANK_CALLBACKS,   // the mark callbacks of everything else
};

using MarkCallback = void (*)();

// A node held in a C++ global: marked, with its cells when it is a cell buffer. The global is
// read at every cycle, so it may change or be 0. Registering the same global again does nothing.
void register_root_node(const NodeId* node, RootRank rank = RANK_CALLBACKS);
// The cells [*first, *end), where both ends live in C++ globals read at every cycle (a stack
// whose top moves).
void register_root_cells(Cell* const* first, Cell* const* end, RootRank rank = RANK_CALLBACKS);
// A callback that marks through mark_node/mark_block/mark_cells/mark_table.
void register_mark(MarkCallback callback, RootRank rank = RANK_CALLBACKS);
void unregister_mark(MarkCallback callback);
// Removes a root registered through register_root_node or register_root_cells (by its first
// argument).
void unregister_root(const void* root);

// Runs after marking and before anything is freed, so that weak tables (the owners table) can
// drop the entries whose series or owner is not marked (`is_marked`).
void register_sweep(MarkCallback sweep);
void unregister_sweep(MarkCallback sweep);

// ---- marking, for roots, callbacks and mark hooks ----

// Sets the node's mark; answers true when it was not marked before. Cells are not visited.
bool mark_node(NodeId node);
// Marks the node and, when newly marked and it holds cells, every cell from head to tail.
void mark_block(NodeId node);
// Marks what each cell of [first, end) refers to.
void mark_cells(const Cell* first, const Cell* end);
inline void mark_cell(const Cell& cell) { mark_cells(&cell, &cell + 1); }
// Marks a hash-table record and its arrays through the table marker.
bool is_marked(NodeId node);

// How the cells of one type are marked. `nodes` has bit n set when payload word n (1-3) holds a
// node (0 = none): each is marked with mark_block. `tables` does the same for words holding a
// hash-table node (mark_table). `hook`, when set, runs after them for anything else.
//
// Datatype authors: when a type's cell layout puts a node (or a hash table, or a handle slot)
// in a payload word, that type's row here must say so, or the collector will free it. The
// defaults are listed in collector_mark.cpp.
using MarkHook = void (*)(const Cell& cell);
struct TypeMarking {
  uint8_t nodes = 0;
  uint8_t tables = 0;
  MarkHook hook = nullptr;
};
constexpr uint8_t payload_word(int n) { return uint8_t(1u << n); }

void set_type_marking(TypeId type, const TypeMarking& marking);
// The hash-table service installs its marker; until then only the record's node is marked.
using TableMarker = void (*)(NodeId table);
void set_table_marker(TableMarker marker);

// ---- statistics ----

// Zeroes the cycle counters (last step of runtime initialisation).
void init_stats();

struct FrameUse {
  uint64_t free;
  uint64_t used;
  uint64_t capacity;
};

// What `stats` reports about the frames: node frames in nodes, series frames in bytes.
struct MemoryStats {
  std::vector<FrameUse> node_frames;
  std::vector<FrameUse> series_frames;
  std::vector<uint64_t> big_frames;   // sizes in bytes
  uint64_t frame_bytes = 0;           // every frame, headers included
  uint64_t used_bytes = 0;            // used node slots (8 bytes each), series bytes, big frames
};

// Walks the frames with the collector switched off, restoring `active` afterwards.
MemoryStats memory_stats();

}  // namespace xol::collector
