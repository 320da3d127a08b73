// In-place sorting of fixed-size elements through a comparison callback.
//
// `sort` on blocks and strings sorts arrays of cells, of 1-, 2- or 4-byte text units, or of
// records of several cells, and knows nothing about values: all ordering comes from the
// callback, which answers negative, 0 or positive for a before, equal to or after b and gets
// the caller's op and flags unchanged. Two sorts exist because the order of equal elements
// shows: `stable` (a run-merging sort, used for `sort/stable`) keeps equal elements in input
// order; `unstable` (the default: a leading-run check, a sampled near-order pass and a
// three-way partition sort) leaves them in an order that follows exactly from its steps.
//
// The callback may evaluate code (a user's comparison function) that allocates and so runs the
// collector, or grows the series, and either moves series buffers. Elements that live in a series
// are therefore named by their node and a byte offset (`Target::in_series`): the sorts keep
// positions, never addresses, and fetch the buffer's address again after every comparison that may
// run code (one load). A built-in comparison runs none, so for it the address is fetched once; the
// sorts hold it in memory the collector scans, which pins the buffer should such a comparison still
// collect (to raise an error, say). The callback's two element addresses are good only until it
// allocates, so it copies what it needs first. Should the callback grow the series being sorted,
// the sort goes on in the new buffer, whose contents it then scrambles but never corrupts. The
// stable sort's scratch buffer is a collector root while it holds cells, since a merge leaves some
// elements there alone while the callback runs.
//
// An error raised by the callback (a C++ exception) propagates; the array is then left
// partially sorted with every element present exactly once, and the stable sort's scratch
// buffer is freed.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory/memory.h"

namespace xol::sort {

using Compare = int32_t (*)(const void* a, const void* b, uint32_t op, uint32_t flags);

// What a comparison may do to the series sorted: run code, which may move its buffer, or only
// read the two elements.
enum class Comparisons { RUN_CODE, BUILT_IN };

// Where the elements are: a fixed address, or a byte offset into a series buffer's data area.
class Target {
 public:
  static Target at(void* base) {
    return Target(static_cast<uint8_t*>(base), kNoNode, 0, Comparisons::BUILT_IN);
  }
  static Target in_series(NodeId node, uint32_t offset,
                          Comparisons comparisons = Comparisons::RUN_CODE) {
    return Target(nullptr, node, offset, comparisons);
  }
  uint8_t* base() const { return node_ ? memory::buffer_of(node_)->data() + offset_ : fixed_; }
  bool holds_cells() const { return node_ && memory::buffer_of(node_)->unit() == sizeof(Cell); }
  // Whether the elements may be elsewhere after a comparison.
  bool may_move() const { return comparisons_ == Comparisons::RUN_CODE; }

 private:
  Target(uint8_t* fixed, NodeId node, uint32_t offset, Comparisons comparisons)
      : fixed_(fixed), node_(node), offset_(offset), comparisons_(comparisons) {}
  uint8_t* fixed_;
  NodeId node_;
  uint32_t offset_;
  Comparisons comparisons_;
};

// Stable sort. Raises script `too-long` when its scratch buffer (n / 2 elements) would
// exceed 31 bits of bytes, before anything moves.
void stable(Target target, uint32_t n, uint32_t size, uint32_t op, uint32_t flags,
            Compare compare);
// The default sort: in place, allocates nothing, not stable.
void unstable(Target target, uint32_t n, uint32_t size, uint32_t op, uint32_t flags,
              Compare compare);

}  // namespace xol::sort
