// The parts of filling a call's frame that the evaluator (arguments from a block, refinements
// from a path) and `apply` (both from a list) share: finding a refinement in the argument
// cache, settling its arguments once fetched, and the locals after the arguments.
//
// A function's frame holds a logic! cell per refinement with that refinement's arguments after
// it, then its locals; a native's frame holds only what was given, and `refinements[n]` gives
// the frame index of refinement n's arguments (-1: not used).
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/eval/stack.h"
#include "runtime/memory/memory.h"

namespace xol::interpreter {

// The index, in the argument cache `cache` of `count` cells, of the refinement! entry spelled
// like `element`; its integer! position follows it. Raises `no-refine` (naming the call
// `name`) when there is none, and `dup-refine` (naming `culprit`) when `seen` holds the
// refinement already; else adds it to `seen`.
inline uint32_t find_refinement(NodeId cache, uint32_t count, const Cell& element,
                                const Cell* name, uint64_t& seen, const Cell* culprit) {
  const int32_t sought = symbol::resolve(word::symbol_of(&element));
  const Cell* entries = reinterpret_cast<const Cell*>(memory::buffer_of(cache)->head_ptr());
  uint32_t at = 0;
  for (; at + 1 < count; at += 2) {
    const Cell* entry = entries + at;
    if (entry->is(TYPE_REFINEMENT) && symbol::resolve(word::symbol_of(entry)) == sought) break;
  }
  if (at + 1 >= count) error::raise(error::CAT_SCRIPT, "no-refine", name, &element);
  const uint64_t bit = uint64_t(1) << entries[at + 1].data1;
  if (seen & bit) error::raise(error::CAT_SCRIPT, "dup-refine", culprit);
  seen |= bit;
  return at;
}

// Settles a refinement (of cache position `position`) whose arguments were fetched onto the
// stack from `first`: a function's frame takes its flag and, when used, the arguments in their
// slots; a native's `refinements` entry points at them when used. The stack keeps only a used
// native refinement's arguments.
inline void settle_refinement(const Cell& position, bool used, bool is_function, Cell* first,
                              int32_t* refinements) {
  if (is_function) {
    Cell* flag = stack::arguments + position.data2;
    *flag = logic::make(used);
    if (used)
      for (uint32_t k = 0; k < position.data3; ++k) flag[1 + k] = first[k];
    stack::top = first;
  } else if (used) {
    refinements[position.data1] = int32_t(first - stack::arguments);
  } else {
    stack::top = first;
  }
}

// Pushes a function's locals after its arguments: the first false (the /local flag), the
// others none.
inline void push_locals(int32_t locals) {
  if (locals <= 0) return;
  Cell* first_local = stack::top;
  for (int32_t i = 0; i < locals; ++i) stack::push_slot();
  function::set_nones(first_local, locals);
}

}  // namespace xol::interpreter
