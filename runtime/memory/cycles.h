// The cycles stack records the series being molded, formed, compared, copied, bound or walked
// for ownership, so that a series containing itself is visited once. Callers push through the
// RAII `cycles::Visit`, which restores the stack height however the visit ends: a language error
// unwinding through a mold must not leave its entry behind, or a later mold of the same series
// would print a cycle marker where there is none.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

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
