// Contexts: the maps from words to value slots behind the global context, every object and
// every function.
//
// A word carries a context node and an index into it, so reading or writing a bound word is an
// index operation; binding is the step that fills in that pair. A context node's buffer holds
// two cells: the context! cell, then the owner cell (the object, error, port or function that
// the context belongs to; unset for the global context).
//
// The context! cell: header type 14, the kind in bits 11-12, 0x400000 for values on the stack,
// 0x1000000 for an object context, 0x10000 once the owners table walked the object's fields;
// word 1 the node of the word table, a hash table whose key block is the word list (one word
// cell per entry, in index order, each bound to this context); word 2 the node of the values
// (heap contexts: one cell per word, in the same order).
// A function context keeps its values on the argument stack while the function runs: word 2 is
// then the node of the series holding the frame and word 3 the index of the frame's first
// argument cell in it; word 2 is 0 while the function is not running. A heap context's word 3
// is always 0, so that a value slot is word 2's first cell + word 3 + the index for both kinds.
//
// Case rule: binding, function contexts and word loading look words up by canonical symbol ids,
// so Foo and foo share one slot while each word keeps its own spelling. select, load_global and
// the resolution inside set_in compare raw ids first; even then a new case variant added to the
// global context is given its twin's slot.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory/memory.h"

namespace xol::context {

enum Kind : uint32_t { KIND_PLAIN = 0, KIND_FUNCTION = 1, KIND_OBJECT = 2 };

// The index of a word that is not resolved yet.
constexpr int32_t kUnresolved = -1;
constexpr int32_t kGlobalSize = 4000;

// ---- making contexts ----

// A new context with room for `size` words (0 is taken as 1). `key_source`, when not null, is a
// word list whose words the new one starts with (rebound by the caller).
NodeId create(int32_t size, bool on_stack, bool object, const Cell* key_source, Kind kind);
// Makes the global context; start-up calls it once.
void create_global();
NodeId global();
// Forgets the global context and its collector root (runtime shutdown).
void release_global();

inline Cell* context_cell(NodeId context) { return memory::buffer_of(context)->cells(); }
Cell* owner_cell(NodeId context);
Kind kind_of(NodeId context);
// The word list as a block cell.
Cell word_list(NodeId context);
int32_t word_count(NodeId context);
// The first value cell, or null for a function context whose function is not running.
Cell* values(NodeId context);

// The value slot of a word with a resolved index, bound in a context whose values are present
// (a function's only while it runs); null in every other case. `flags` receives the context's
// header word. Inline: every word evaluated reads one.
inline Cell* bound_slot(const Cell* word, uint32_t* flags) {
  const NodeId context = word->data1;
  const int32_t index = int32_t(word->data3);
  if (!context || index < 0) return nullptr;
  const Cell* header = context_cell(context);
  if (!header->data2) return nullptr;
  *flags = header->header;
  // One sum for both kinds: a heap context's word 3 is 0.
  return memory::buffer_of(header->data2)->cells() + header->data3 + index;
}

// The slot a store into the word may write straight: one of a context that is no object's, or
// of a running function. Null when the store must go through set_in, for an object's change
// mark and on-change hook (or to resolve the word).
inline Cell* store_slot(const Cell* word) {
  uint32_t flags;
  Cell* slot = bound_slot(word, &flags);
  const bool straight =
      slot && ((flags & kOnStackFlag) || (flags & kKindMask) >> kKindShift != KIND_OBJECT);
  return straight ? slot : nullptr;
}

// The slot of an object's field that a store may write straight, as set_in would, because the
// object has no change hook: the store must then call mark_changed. Null for any other word.
inline Cell* quiet_field_slot(const Cell* word) {
  uint32_t flags;
  Cell* slot = bound_slot(word, &flags);
  const bool field =
      slot && !(flags & kOnStackFlag) && (flags & kKindMask) >> kKindShift == KIND_OBJECT;
  return field && memory::buffer_of(word->data1)->cells()[1].data3 == kNoNode ? slot : nullptr;
}
// Sets the change mark of the field that the bound word names.
void mark_changed(const Cell* word);

// Points a function context at its frame while the function runs: the frame's first argument
// cell is cell `first` of the series `frame`. `leave_frame` makes it not running again.
inline void enter_frame(NodeId context, NodeId frame, uint32_t first) {
  Cell* header = context_cell(context);
  header->data2 = frame;
  header->data3 = first;
}
void leave_frame(NodeId context);

// ---- looking up and adding ----

int32_t find_word(NodeId context, int32_t symbol, bool caseless);
// Answers the existing index, or -1 after adding the symbol (the new index goes to `added`).
int32_t add_symbol(NodeId context, int32_t symbol, bool caseless, int32_t* added);
// Caseless find-or-add; a new word of a heap context gets an unset value. Answers the index.
int32_t add_word(NodeId context, const Cell* word);
// Adds the word with a copy of `value` when its symbol is new (caseless); null when it was there.
Cell* add_value(NodeId context, const Cell* word, const Cell* value);

// Find-or-add in the global context (see the case rule above); answers the word.
Cell add_global(int32_t symbol, bool caseless, bool variant);
// add_global with an exact-name lookup; while the boot flag is set the word is also kept in the
// root block.
Cell load_global(int32_t symbol);
// Copies `value` into the symbol's global slot, adding the symbol first when it is absent.
Cell* set_global(int32_t symbol, const Cell* value);
// The symbol's slot in the global context (caseless), or null when it has none.
Cell* global_slot_of(int32_t symbol);
// Copies `value` into the slot of the word's symbol (caseless), adding it when absent.
Cell* put_value(NodeId context, const Cell* word, const Cell* value);

Cell* word_at(NodeId context, int32_t index);
Cell* value_at(NodeId context, int32_t index);

// ---- reading and writing through words ----

// The word's value slot in `context`. An unresolved word raises script `no-value` (except the
// word `self`, which reads the owner); a function context that is not running raises
// `not-in-context`.
Cell* get_in(const Cell* word, NodeId context);
// Stores a copy of `value` in the word's slot, resolving (or adding) the word first. In an
// object context the word is marked changed, and with `fire` the owner's on-change* runs after
// the store. A function context that is not running raises `not-defined`.
Cell* set_in(Cell* word, const Cell* value, NodeId context, bool fire);
// set_in with the word's own context, firing on.
Cell* set(Cell* word, const Cell* value);

// ---- binding ----

// Caseless lookup; when found, writes the context and index into the word. Answers the index.
int32_t bind_word(NodeId context, Cell* word);
// Binds every word of the block, deeply, to the words of the context; words the context lacks
// are left alone. With `self_binding` a word! `self` reads the owner (index -1).
Cell* bind(Cell* block, NodeId context, bool self_binding);
// Adds every top-level set-word! of the block; true when the context grew.
bool collect_set_words(NodeId context, const Cell* block);
// The context of a function spec: its word!, get-word!, lit-word! and refinement! entries, in
// order (which is the order of the frame cells).
NodeId make_function_context(const Cell* spec, bool on_stack, bool object, Kind kind);
// A new context for the value (an object or a function) with the words of its old one, rebound;
// stored into the value. A heap context's values start empty: the caller copies them in.
NodeId clone_for(Cell* value, Kind kind);

// ---- accessors used by the owners table ----

// Value cell `index` of the context behind word 1 of an object or word cell.
Cell* value_cell_of(const Cell* holder, int32_t index);
// The header of that context's context! cell.
uint32_t& flags(const Cell* holder);

// Registers context! (id 14), which has no actions.
void init();

}  // namespace xol::context
