// Three small services that several datatypes share: the refs table, the cycles stack and two
// fill routines.
//
// The refs table keeps values alive by a small 1-based index, for native code that must hold a
// value where the collector cannot see it (a GUI window remembering its face). It is one cell
// block, a collector root; a free slot is an `integer!` cell whose word 2 names the next free
// slot, so the free list costs no memory of its own and is LIFO.
//
// The cycles stack records the series being molded, formed, compared, copied, bound or walked
// for ownership, so that a series containing itself is visited once. Callers push through the
// RAII `cycles::Visit`, which restores the stack height however the visit ends: a language error
// unwinding through a mold must not leave its entry behind, or a later mold of the same series
// would print a cycle marker where there is none.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace xol::refs {

constexpr uint32_t kInitialCapacity = 100;   // doubled when the free list runs dry
constexpr uint32_t kNoValue = 0;             // the index that names nothing

// Makes the block and chains every slot as free; registers the block as a collector root.
void init();
// Forgets the block, so the root marks nothing (at shutdown, or before the memory manager is
// reset).
void shutdown();
// Keeps a copy of `value` and answers its 1-based index.
uint32_t put(const Cell& value);
// The kept cell; valid until the next allocation (the block may move).
Cell* get(uint32_t index);
// Frees the slot of `index` (kNoValue does nothing); it is the next one `put` hands out.
void free(uint32_t index);
uint32_t capacity();

}  // namespace xol::refs

namespace xol::cycles {

constexpr uint32_t kCapacity = 1000;   // the push that fills the last entry raises `too-deep`

// Pushes the node of a series being visited. The push that would fill the whole stack empties
// it and raises the internal error `too-deep`, so at most kCapacity - 1 entries are held.
void push(NodeId node);
void pop();
void pop_n(uint32_t count);
void reset();
bool find(NodeId node);
uint32_t depth();
// Pops down to `height`; a stack already at or below it is left alone (a `too-deep` raise
// empties it under every visit in progress).
void truncate(uint32_t height);

// The node that stands for a value on the stack: the context node for `object!`, `error!` and
// `port!`, the series node (word 2) for the others.
NodeId key_of(const Cell& value);

// When `value` is already being visited, appends its cycle marker to the string `output`,
// subtracts the marker's length from `remaining` and answers true. Molding marks by type
// ("[...]", "(...)", "#[...]", "make object! [...]", "..."); forming always gives "...".
bool detect(const Cell& value, NodeId output, int32_t& remaining, bool mold);

// Pushes a node for the lifetime of the object and restores the height on the way out, also
// when an exception unwinds through it.
class Visit {
 public:
  explicit Visit(NodeId node) : height_(depth()) { push(node); }
  ~Visit() { truncate(height_); }
  Visit(const Visit&) = delete;
  Visit& operator=(const Visit&) = delete;

 private:
  uint32_t height_;
};

}  // namespace xol::cycles

namespace xol::string {

constexpr uint32_t kIndentWidth = 4;   // spaces per indentation level of mold

// Appends `levels` x four spaces to the string and answers `remaining` minus their count.
int32_t append_indent(NodeId string, uint32_t levels, int32_t remaining);

}  // namespace xol::string

namespace xol::memory {

// Repeats the first `unit_length` bytes at `address` until `count` copies stand back to back,
// copying by doubling; answers address + unit_length x count.
uint8_t* repeat_fill(uint8_t* address, size_t unit_length, size_t count);

}  // namespace xol::memory
