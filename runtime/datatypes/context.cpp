// Contexts and binding.
//
// Word 1 of a context! cell names a hash table of kind 2 whose key block is the word list. The
// table hashes a word by its canonical symbol id, so every case variant of a name shares one
// probe sequence; it compares raw ids for exact-name lookups and canonical ids for caseless
// ones. Every word added to a heap context appends one value cell, even a case variant of the
// global context that shares its twin's slot, so that word i and value i always belong together.
#include "runtime/datatypes/context.h"

#include <algorithm>

#include "runtime/memory/collector.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/tables/hash_table.h"
#include "runtime/datatypes/hooks.h"
#include "runtime/tables/murmur3.h"
#include "runtime/memory/cycles.h"
#include "runtime/datatypes/runtime_words.h"
#include "runtime/datatypes/series.h"

namespace xol::context {
namespace {
Cell* value_slot_of(int32_t symbol, NodeId context);

NodeId global_context = kNoNode;

constexpr uint32_t kContextCells = 2;   // the context! cell and the owner cell

NodeId table_of(NodeId context) { return context_cell(context)->data1; }

// Word-list keys: words hash by canonical symbol id; the strict op compares raw ids.
uint32_t hash_word(const Cell* word) {
  return hash::fmix32(uint32_t(symbol::resolve(word::symbol_of(word))));
}

bool equal_words(const Cell* stored, const Cell* sought, uint32_t op) {
  int32_t a = word::symbol_of(stored), b = word::symbol_of(sought);
  if (a == b) return true;
  return op != hashtable::kOpStrict && symbol::resolve(a) == symbol::resolve(b);
}

const hashtable::KeyOps kWordKeys = {hash_word, equal_words};

uint32_t header_for(Kind kind, bool stack_values, bool object) {
  uint32_t header = TYPE_CONTEXT | (uint32_t(kind) << kKindShift);
  if (stack_values) header |= kOnStackFlag;
  if (object) header |= kObjectFlag;
  return header;
}

// A context node over a word table, with an empty value buffer of room `size` for a heap
// context.
NodeId assemble(uint32_t header, NodeId table, int32_t size) {
  NodeId values_node = kNoNode;
  if (!(header & kOnStackFlag)) values_node = memory::alloc_cells(uint32_t(size));
  NodeId context = memory::alloc_cells(kContextCells);
  memory::SeriesBuffer* buffer = memory::buffer_of(context);
  Cell* cells = buffer->cells();
  cells[0] = Cell{header, table, values_node, 0};
  cell::set_unset(&cells[1]);
  buffer->tail = kContextCells * sizeof(Cell);
  return context;
}

bool on_stack(NodeId context) { return context_cell(context)->header & kOnStackFlag; }

Cell values_block(NodeId context) { return Cell{TYPE_BLOCK, 0, context_cell(context)->data2, 0}; }

Cell make_word(NodeId context, int32_t symbol, int32_t index) {
  return Cell{TYPE_WORD, context, uint32_t(symbol), uint32_t(index)};
}

// Appends a word for the symbol with the given slot index, and its value cell for a heap
// context; answers the new word's position in the list.
int32_t append_entry(NodeId context, int32_t symbol, int32_t slot) {
  Cell list = word_list(context);
  int32_t position = int32_t(block::length(&list));
  Cell word = make_word(context, symbol, slot < 0 ? position : slot);
  block::append_cell(&list, &word);
  if (!on_stack(context)) {
    Cell values = values_block(context);
    buffer::append_unset(values.node());
  }
  hashtable::put(table_of(context), uint32_t(position));
  return position;
}

// The value slot of the word at `position` in the list (a case variant in the global context
// shares its twin's slot).
int32_t slot_index(NodeId context, int32_t position) {
  return word::index_of(word_at(context, position));
}

Cell* slot_at(NodeId context, const Cell* word, int32_t index) {
  Cell* first = values(context);
  if (!first) error::raise(error::CAT_SCRIPT, "not-in-context", word);
  return first + index;
}

void bind_deep(const Cell* block, NodeId context, bool self_binding) {
  if (cycles::find(block->node())) return;
  cycles::Visit visit(block->node());
  uint32_t count = block::length(block);
  uint32_t first = block::head_position(block);
  for (uint32_t i = 0; i < count; ++i) {
    Cell* cell = block::abs_at(block, first + i);
    TypeId type = cell->type();
    if (series::any_block(type)) {
      Cell nested = *cell;
      bind_deep(&nested, context, self_binding);
    } else if (type == TYPE_WORD && self_binding && word::symbol_of(cell) == words::sym.self) {
      cell->data1 = context;
      cell->data3 = word::kUnresolvedIndex;
    } else if (type >= TYPE_WORD && type <= TYPE_REFINEMENT) {
      bind_word(context, cell);
    }
  }
}

}  // namespace

NodeId create(int32_t size, bool stack_values, bool object, const Cell* key_source, Kind kind) {
  if (size < 1) size = 1;
  Cell list;
  block::make_at(&list, size);
  if (key_source) block::append_cells_of(&list, key_source);
  NodeId table = hashtable::make(uint32_t(size), &list, hashtable::KIND_WORDS, 0,
                                 hashtable::KEYS_CONTEXT);
  return assemble(header_for(kind, stack_values, object), table, size);
}

void create_global() {
  global_context = create(kGlobalSize, false, false, nullptr, KIND_PLAIN);
  collector::register_root_node(&global_context, collector::RANK_GLOBAL_CONTEXT);
}

NodeId global() { return global_context; }

void release_global() {
  collector::unregister_root(&global_context);
  global_context = kNoNode;
}

Cell* owner_cell(NodeId context) { return memory::buffer_of(context)->cells() + 1; }

Kind kind_of(NodeId context) {
  return Kind((context_cell(context)->header & kKindMask) >> kKindShift);
}

Cell word_list(NodeId context) {
  return Cell{TYPE_BLOCK, 0, hashtable::record(table_of(context))->keys, 0};
}

int32_t word_count(NodeId context) {
  Cell list = word_list(context);
  return int32_t(block::length(&list));
}

Cell* values(NodeId context) {
  const Cell* header = context_cell(context);
  if (header->data2 == kNoNode) return nullptr;
  Cell* first = memory::buffer_of(header->data2)->cells();
  return on_stack(context) ? first + header->data3 : first;
}

void leave_frame(NodeId context) { enter_frame(context, kNoNode, 0); }

int32_t find_word(NodeId context, int32_t symbol, bool caseless) {
  // Only the symbol counts, whatever the type of the stored word.
  const Cell sought{hashtable::kAnyTypeKey, kNoNode, uint32_t(symbol), 0};
  return hashtable::find(table_of(context), &sought,
                         caseless ? hashtable::kOpEqual : hashtable::kOpStrict);
}

int32_t add_symbol(NodeId context, int32_t symbol, bool caseless, int32_t* added) {
  int32_t found = find_word(context, symbol, caseless);
  if (found >= 0) return found;
  *added = append_entry(context, symbol, -1);
  return -1;
}

int32_t add_word(NodeId context, const Cell* word) {
  int32_t added = -1;
  int32_t found = add_symbol(context, word::symbol_of(word), true, &added);
  return found >= 0 ? slot_index(context, found) : added;
}

Cell* add_value(NodeId context, const Cell* word, const Cell* value) {
  Cell copy = *value;
  int32_t added = -1;
  if (add_symbol(context, word::symbol_of(word), true, &added) >= 0) return nullptr;
  Cell* slot = value_at(context, added);
  *slot = copy;
  return slot;
}

Cell add_global(int32_t symbol, bool caseless, bool variant) {
  int32_t found = find_word(global_context, symbol, caseless);
  if (found >= 0) {
    Cell stored = *word_at(global_context, found);
    if (!(caseless && variant) || word::symbol_of(&stored) == symbol) return stored;
    stored.data2 = uint32_t(symbol);
    return word::keep_in_root(stored);
  }
  // The twin met may itself be a variant sharing another entry's slot.
  int32_t twin = caseless ? -1 : find_word(global_context, symbol, true);
  int32_t slot = twin < 0 ? -1 : slot_index(global_context, twin);
  int32_t position = append_entry(global_context, symbol, slot);
  return *word_at(global_context, position);
}

Cell load_global(int32_t symbol) {
  Cell word = add_global(symbol, false, false);
  return boot::flag ? word::keep_in_root(word) : word;
}

Cell* set_global(int32_t symbol, const Cell* value) {
  Cell copy = *value;
  int32_t found = find_word(global_context, symbol, false);
  Cell word = found >= 0 ? *word_at(global_context, found) : load_global(symbol);
  Cell* slot = value_at(global_context, word::index_of(&word));
  *slot = copy;
  return slot;
}

Cell* global_slot_of(int32_t symbol) { return value_slot_of(symbol, global_context); }

Cell* put_value(NodeId context, const Cell* word, const Cell* value) {
  Cell copy = *value;
  int32_t index = add_word(context, word);
  Cell* slot = value_at(context, index);
  *slot = copy;
  return slot;
}

namespace {
// The symbol's slot (caseless) in the context, or in the global context for a function
// context; null when absent.
Cell* value_slot_of(int32_t symbol, NodeId context) {
  if (on_stack(context)) context = global_context;
  int32_t found = find_word(context, symbol, true);
  return found >= 0 ? value_at(context, slot_index(context, found)) : nullptr;
}
}  // namespace

Cell* word_at(NodeId context, int32_t index) {
  Cell list = word_list(context);
  return block::abs_at(&list, uint32_t(index));
}

Cell* value_at(NodeId context, int32_t index) { return values(context) + index; }

Cell* get_in(const Cell* word, NodeId context) {
  int32_t index = word::index_of(word);
  if (index < 0) {
    if (word::symbol_of(word) == words::sym.self) return owner_cell(word::context_of(word));
    error::raise(error::CAT_SCRIPT, "no-value", word);
  }
  return slot_at(context, word, index);
}

Cell* set_in(Cell* word, const Cell* value, NodeId context, bool fire) {
  Cell copy = *value;
  if (word::index_of(word) < 0) {
    int32_t found = find_word(context, word::symbol_of(word), false);
    word->data3 = uint32_t(found >= 0 ? slot_index(context, found) : add_word(context, word));
  }
  int32_t index = word::index_of(word);
  Cell* first = values(context);
  if (!first) error::raise(error::CAT_SCRIPT, "not-defined", word);
  if (on_stack(context) || kind_of(context) != KIND_OBJECT) {
    first[index] = copy;
    return first + index;
  }

  mark_changed(word);
  const Cell owner = *owner_cell(context);
  if (!fire || owner.data3 == kNoNode) {
    first[index] = copy;
    return first + index;
  }
  // The hook hears of the field as a word!, whatever kind of word set it.
  Cell named = *word;
  cell::set_type(&named, TYPE_WORD);
  const Cell old_value = first[index];
  first[index] = copy;
  hooks::fire_on_change(&owner, &named, &old_value, &copy);
  return value_at(context, index);
}

void mark_changed(const Cell* word) {
  word_at(word::context_of(word), word::index_of(word))->header |= kChangedMark;
}

Cell* set(Cell* word, const Cell* value) {
  if (Cell* slot = store_slot(word)) {
    *slot = *value;
    return slot;
  }
  return set_in(word, value, word::context_of(word), true);
}

namespace {

// The word-list positions that bind_word found last, by context and symbol: field reads through
// paths (`point/x`) bind the same word again on every evaluation. A hint is used only when the
// word at its position has exactly the symbol sought, which no context holds twice (case
// variants of the global context share their slot), so a stale or colliding hint only costs the
// lookup it fails to save.
struct BindHint {
  NodeId context;
  int32_t symbol;
  int32_t position;
};
constexpr uint32_t kBindHints = 512;
BindHint bind_hints[kBindHints];

BindHint& bind_hint(NodeId context, int32_t symbol) {
  return bind_hints[(context * 0x9E3779B1u ^ uint32_t(symbol)) % kBindHints];
}

// The word at the hinted position when it has the symbol, else null.
const Cell* hinted_word(NodeId context, int32_t symbol) {
  const BindHint& hint = bind_hint(context, symbol);
  if (hint.context != context || hint.symbol != symbol) return nullptr;
  const Cell list = word_list(context);
  if (uint32_t(hint.position) >= block::length(&list)) return nullptr;
  const Cell* word = block::abs_at(&list, uint32_t(hint.position));
  return word::symbol_of(word) == symbol ? word : nullptr;
}

}  // namespace

int32_t bind_word(NodeId context, Cell* word) {
  const int32_t symbol = word::symbol_of(word);
  const Cell* hinted = hinted_word(context, symbol);
  if (!hinted) {
    const int32_t found = find_word(context, symbol, true);
    if (found < 0) return -1;
    bind_hint(context, symbol) = BindHint{context, symbol, found};
    hinted = word_at(context, found);
  }
  word->data1 = context;
  word->data3 = uint32_t(word::index_of(hinted));
  return word::index_of(word);
}

Cell* bind(Cell* block, NodeId context, bool self_binding) {
  bind_deep(block, context, self_binding);
  return block;
}

bool collect_set_words(NodeId context, const Cell* block) {
  int32_t before = word_count(context);
  uint32_t count = block::length(block);
  uint32_t first = block::head_position(block);
  for (uint32_t i = 0; i < count; ++i) {
    Cell entry = *block::abs_at(block, first + i);
    if (entry.is(TYPE_SET_WORD)) add_word(context, &entry);
  }
  return word_count(context) > before;
}

NodeId make_function_context(const Cell* spec, bool stack_values, bool object, Kind kind) {
  auto is_argument = [](TypeId type) {
    return type == TYPE_WORD || type == TYPE_GET_WORD || type == TYPE_LIT_WORD ||
           type == TYPE_REFINEMENT;
  };
  int32_t size = 0;
  for (Cell* entry = block::head(spec); entry < block::tail(spec); ++entry)
    if (is_argument(entry->type())) ++size;
  NodeId context = create(size, stack_values, object, nullptr, kind);
  uint32_t count = block::length(spec);
  uint32_t first = block::head_position(spec);
  for (uint32_t i = 0; i < count; ++i) {
    Cell entry = *block::abs_at(spec, first + i);
    int32_t added;
    if (is_argument(entry.type())) add_symbol(context, word::symbol_of(&entry), true, &added);
  }
  return context;
}

NodeId clone_for(Cell* value, Kind kind) {
  NodeId old = value->data1;
  uint32_t old_header = context_cell(old)->header;
  NodeId list_node = memory::copy_series(word_list(old).node());
  NodeId table = hashtable::copy(table_of(old), list_node);
  NodeId fresh = assemble(header_for(kind, old_header & kOnStackFlag, old_header & kObjectFlag),
                          table, std::max(word_count(old), 1));
  Cell list = word_list(fresh);
  for (Cell* word = block::head(&list); word < block::tail(&list); ++word) word->data1 = fresh;
  value->data1 = fresh;
  return fresh;
}

Cell* value_cell_of(const Cell* holder, int32_t index) { return value_at(holder->data1, index); }

uint32_t& flags(const Cell* holder) { return context_cell(holder->data1)->header; }

void init() {
  hashtable::set_key_ops(hashtable::KEYS_CONTEXT, &kWordKeys);
  // context! cells are the first to name a hash table (word 1): from here on the collector
  // marks the tables that cells name through the tables' own marker.
  collector::set_table_marker(hashtable::mark);
  datatype::register_type(TYPE_CONTEXT, 0, "context!", actions::ActionList());
}

}  // namespace xol::context
