// series!: the abstract parent of every series type, and the actions that work on any series
// through its buffer and the cell's head index alone, whatever the element type.
//
// A series cell keeps its head index in units (word 1) and its buffer's node (word 2); word 3
// belongs to the subtype (the hash! index, the vector! element type, a string's scratch
// buffer). Every position is counted in units of the buffer (1, 2, 4 or 16 bytes). A head may
// lie past the tail after another reference shortened the buffer: every routine clamps it.
//
// The routines here serve blocks, strings, binaries and the rest alike; where the element type
// shows (`pick` gives a cell, a char! or a byte) they branch on the cell's type. Every change
// to a series owned by an object is announced to the owner before and after (`Notice`), and
// every change to a hash! goes through its index upkeep, so its index never goes stale.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/memory/memory.h"

namespace xol::series {

// ---- type classes ----

inline bool any_block(TypeId t) {
  return t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH ||
         (t >= TYPE_PATH && t <= TYPE_GET_PATH);
}
inline bool any_path(TypeId t) { return t >= TYPE_PATH && t <= TYPE_GET_PATH; }
inline bool any_string(TypeId t) {
  return t == TYPE_STRING || t == TYPE_FILE || t == TYPE_URL || t == TYPE_TAG ||
         t == TYPE_EMAIL || t == TYPE_REF;
}
// The types whose values are series: what `move` accepts as a target and `copy/deep` copies.
inline bool is_series(TypeId t) {
  return any_block(t) || any_string(t) || t == TYPE_BINARY || t == TYPE_VECTOR ||
         t == TYPE_IMAGE;
}

// ---- support routines ----

// Raises script invalid-refine-arg for a bad argument of the refinement named (its word
// without the slash, as "part" or "skip").
[[noreturn]] void raise_refine(const Cell* argument, const char* refinement);

// The element at absolute position `position` as pick answers it: the cell of an any-block,
// the value of a vector!'s element, a byte of a binary! as an integer!, else a char!.
Cell element_at(const Cell* series, uint32_t position);
// Stores `value` at absolute `position` as poke does, without the owners notification.
void store_element(const Cell* series, uint32_t position, const Cell* value);
// Units in the buffer from its start, the cell's head ignored.
uint32_t buffer_units(const Cell* series);
// Raises script `past-end` unless the buffer still holds `units` units: a change goes on at
// positions taken before code that it ran (an owner told of it, a comparison function) could
// shorten the series.
void require_units(const Cell* series, uint32_t units);
// The head clamped to the tail.
uint32_t head_of(const Cell* series);
bool at_tail(const Cell* series);
// Units from the head (from the buffer start with `from_start`). A head past the tail is moved
// to the tail and gives 0.
int32_t get_length(Cell* series, bool from_start);
// The count that a `part` argument names for `series`: an integer! as it is, or a series of
// the same type on the same buffer by the distance from this head to its head. Anything else
// raises script `invalid-refine-arg` with the argument and the word of `action` (or `word`,
// for the actions whose error names the refinement).
int32_t part_count(const Cell* series, const Cell* part, Action action);
int32_t part_count(const Cell* series, const Cell* part, const char* word);
// The units that `copy/part` takes: from absolute position `start`, `count` units.
struct Range {
  uint32_t start;
  uint32_t count;
};
Range copy_range(const Cell* series, const Cell* part);

// A new series of the source's type and unit holding `count` units from absolute position
// `start`, at head 0, not owned; the result keeps the source cell's header flags.
void copy_units(const Cell* source, uint32_t start, uint32_t count, Cell* result);
// Opens a gap of `count` units at absolute `position` (the units after it move up), growing
// the buffer as memory::grown_size says, to at least twice the size needed with `doubled`; a
// series past memory::kMaxBufferSize raises internal `no-memory`. Answers the gap; the caller fills it and tells a hash! index.
uint8_t* open_gap(const Cell* series, uint32_t position, uint32_t count, bool doubled);
// Removes `count` units from absolute position `start` (hash! index kept).
void remove_units(const Cell* series, uint32_t start, uint32_t count);

// ---- change notification ----

// The buffer flags of a series whose changes must go through a Notice: it has an owner, or it
// is text that a hash! index holds as a key.
constexpr uint32_t kNoticedFlags = memory::FLAG_OWNED | memory::FLAG_HASH_KEY;

// Announces a change of an owned series to its owner: the action's word before the change
// and its event word (`appended`, `removed` ...) after; and counts the change of a hash! key
// on both sides, so that the indexes holding it catch up before their next use. Costs one
// flag test when the series is neither.
class Notice {
 public:
  Notice(const Cell* series, Action action, const Cell* value, int32_t index, int32_t part)
      : series_(series), action_(action), value_(value), index_(index), part_(part),
        watched_(memory::buffer_of(series->node())->flags & kNoticedFlags) {
    if (watched_) announce(false);
  }
  // Announces the end of the change; not called when the change raised an error.
  void done() {
    if (watched_) announce(true);
  }

 private:
  void announce(bool after) const;

  const Cell* series_;
  Action action_;
  const Cell* value_;
  int32_t index_, part_;
  uint32_t watched_;
};

// ---- comparison functions ----

// Orders two values through a comparison function: negative when `a` sorts first. One
// convention for every series type: an answer of true, or a negative number, puts the first
// argument first; false, none or a positive number the second; zero keeps them equal.
// Calls the function through evaluator_hooks: internal `not-done` before the evaluator exists.
int32_t call_comparison(const Cell* function, const Cell* a, const Cell* b);
// The types whose values `sort/compare` calls as comparison functions.
inline bool is_function_type(TypeId type) {
  switch (type) {
    case TYPE_FUNCTION: case TYPE_NATIVE: case TYPE_ACTION: case TYPE_OP: case TYPE_ROUTINE:
      return true;
    default:
      return false;
  }
}

// What the /compare argument of a sort asks for: a comparison function, or with /skip (and
// without /all) an integer naming the compared element of each record, 1 to `skip`.
struct SortComparison {
  const Cell* function = nullptr;
  uint32_t offset = 0;   // of the compared element within a record, 0-based
};
// Reads options.compare (absent: the default comparison); raises on anything else.
SortComparison read_sort_comparison(const SortOptions& options, uint32_t skip);
// call_comparison for a sort of `sorted`, which the function may have shortened: raises
// `past-end` when it no longer holds `end` units, since the sort must not go on past its end.
int32_t call_sort_comparison(const Cell* function, const Cell* a, const Cell* b,
                             const Cell* sorted, uint32_t end);
// Points a sort's `active` state at `state` for its lifetime, and back at the state before
// however the sort ends: a comparison function that sorts leaves the outer sort's in place.
template <class State>
class ActiveSort {
 public:
  ActiveSort(State*& active, State* state) : active_(active), saved_(active) { active = state; }
  ~ActiveSort() { active_ = saved_; }
  ActiveSort(const ActiveSort&) = delete;
  ActiveSort& operator=(const ActiveSort&) = delete;

 private:
  State*& active_;
  State* saved_;
};

// ---- actions ----

void take(Cell* series, const Cell* part, bool deep, bool last, Cell* result);

// Registers series! (id 42).
void init();

}  // namespace xol::series
