// The owners table.
//
// Records live in one cell block, four cells each: the key cell (header 2 while in use, word 1
// the owned series' node), the owned value, the owner object and the field word. A removed
// record gets header 0 on its key and unset on the other three, and its place is reused. The
// collector marks the record block itself but never the cells in it: that is what keeps the
// table weak.
#include "runtime/owners.h"

#include <unordered_map>
#include <vector>

#include "runtime/collector.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/hooks.h"
#include "runtime/memory.h"
#include "runtime/refs.h"

namespace xol::ownership {
namespace {

enum RecordCell : uint32_t { KEY, OWNED_VALUE, OWNER, FIELD_WORD, RECORD_CELLS };
constexpr uint32_t kKeyInUse = TYPE_UNSET;
constexpr uint32_t kKeyFree = 0;

Cell records{TYPE_UNSET, 0, 0, 0};
std::unordered_map<NodeId, uint32_t> record_of;   // series node -> first cell of its record
std::vector<uint32_t> free_records;

enum class Owned { NOTHING, CONTAINER, LEAF, IMAGE, OBJECT };

Owned owned_kind(TypeId type) {
  switch (type) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
    case TYPE_GET_PATH: case TYPE_HASH:
      return Owned::CONTAINER;
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF: case TYPE_BINARY: case TYPE_VECTOR: case TYPE_BITSET:
      return Owned::LEAF;
    case TYPE_IMAGE:
      return Owned::IMAGE;
    case TYPE_OBJECT:
      return Owned::OBJECT;
    default:
      return Owned::NOTHING;
  }
}

Cell* record_cells(uint32_t first) { return block::abs_at(&records, first); }

bool is_owned(const Cell* value) {
  if (value->is(TYPE_IMAGE)) return value->header & kOwnedImageFlag;
  return memory::buffer_of(value->node())->flags & memory::FLAG_OWNED;
}

void set_owned(Cell* value, bool owned) {
  if (value->is(TYPE_IMAGE)) {
    value->header = owned ? value->header | kOwnedImageFlag : value->header & ~kOwnedImageFlag;
    return;
  }
  uint32_t& flags = memory::buffer_of(value->node())->flags;
  flags = owned ? flags | memory::FLAG_OWNED : flags & ~memory::FLAG_OWNED;
}

void add_record(const Cell* value, const Cell* owner, const Cell* word) {
  const Cell cells[RECORD_CELLS] = {Cell{kKeyInUse, value->node(), 0, 0}, *value, *owner, *word};
  uint32_t first;
  if (!free_records.empty()) {
    first = free_records.back();
    free_records.pop_back();
  } else {
    first = block::length(&records);
    for (const Cell& cell : cells) block::append_cell(&records, &cell);
  }
  Cell* slots = record_cells(first);
  for (uint32_t i = 0; i < RECORD_CELLS; ++i) slots[i] = cells[i];
  record_of[value->node()] = first;
}

void delete_record(std::unordered_map<NodeId, uint32_t>::iterator found) {
  Cell* slots = record_cells(found->second);
  slots[KEY].header = kKeyFree;
  for (uint32_t i = OWNED_VALUE; i < RECORD_CELLS; ++i) cell::set_unset(&slots[i]);
  free_records.push_back(found->second);
  record_of.erase(found);
}

// Applies `visit` to each cell of a container from its head, by index: a visit may allocate.
template <class Visit>
void for_each_cell(const Cell* container, Visit visit) {
  uint32_t first = block::head_position(container);
  uint32_t count = block::length(container);
  for (uint32_t i = 0; i < count; ++i) visit(block::abs_at(container, first + i));
}

// Applies `visit` to each field value of an object, with the field's word.
template <class Visit>
void for_each_field(const Cell* object, Visit visit) {
  NodeId context = object->data1;
  int32_t count = context::word_count(context);
  for (int32_t i = 0; i < count; ++i) {
    Cell word = *context::word_at(context, i);
    visit(context::value_at(context, i), &word);
  }
}

// Keeps the record block itself, never what its cells refer to.
void mark_records() { collector::mark_node(records.node()); }

}  // namespace

void init() {
  block::make_at(&records, kInitialRecords * RECORD_CELLS);
  record_of.clear();
  free_records.clear();
  static bool sweep_registered = false;
  collector::unregister_mark(mark_records);
  collector::register_mark(mark_records, collector::RANK_OWNERS_TABLE);
  if (!sweep_registered) collector::register_sweep(sweep_dead_keys);
  sweep_registered = true;
}

void release() {
  collector::unregister_mark(mark_records);
  cell::set_unset(&records);
  record_of.clear();
  free_records.clear();
}

void set_deep(Cell* value, const Cell* owner, const Cell* word) {
  Owned kind = owned_kind(value->type());
  switch (kind) {
    case Owned::NOTHING:
      return;
    case Owned::CONTAINER:
    case Owned::LEAF:
    case Owned::IMAGE:
      if (!is_owned(value)) {
        set_owned(value, true);
        add_record(value, owner, word);
      }
      if (kind != Owned::CONTAINER || cycles::find(value->node())) return;
      {
        cycles::Visit visit(value->node());
        const Cell container = *value;
        for_each_cell(&container, [&](Cell* cell) { set_deep(cell, owner, word); });
      }
      return;
    case Owned::OBJECT: {
      if (context::flags(value) & context::kOwnerWalkedFlag) return;
      NodeId values = context::context_cell(value->data1)->data2;
      if (cycles::find(values)) return;
      cycles::Visit visit(values);
      const Cell object = *value;
      for_each_field(&object, [&](Cell* field, const Cell* field_word) {
        if (field->is(TYPE_OBJECT) && field->data1 == owner->data1) return;
        set_deep(field, owner, field_word);
      });
      return;
    }
  }
}

void set_deep_flag(Cell* value, const Cell* owner, const Cell* word) {
  set_deep(value, owner, word);
  context::flags(owner) |= context::kOwnerWalkedFlag;
}

void unbind(Cell* value) {
  Owned kind = owned_kind(value->type());
  switch (kind) {
    case Owned::NOTHING:
      return;
    case Owned::CONTAINER:
    case Owned::LEAF:
    case Owned::IMAGE: {
      set_owned(value, false);
      auto found = record_of.find(value->node());
      if (found == record_of.end()) return;
      delete_record(found);
      if (kind == Owned::CONTAINER) unbind_values(value, block::head_position(value),
                                                  block::length(value));
      return;
    }
    case Owned::OBJECT: {
      NodeId values = context::context_cell(value->data1)->data2;
      if (cycles::find(values) || (context::flags(value) & context::kOwnerWalkedFlag)) return;
      cycles::Visit visit(values);
      const Cell object = *value;
      for_each_field(&object, [](Cell* field, const Cell*) { unbind(field); });
      return;
    }
  }
}

void unbind_values(const Cell* block, uint32_t index, uint32_t count) {
  const Cell container = *block;
  uint32_t end = block::head_position(&container) + block::length(&container);
  for (uint32_t i = index; i < end && i - index < count; ++i)
    unbind(block::abs_at(&container, i));
}

Cell* find(NodeId node) {
  auto found = record_of.find(node);
  return found == record_of.end() ? nullptr : record_cells(found->second) + OWNER;
}

bool check(const Cell* value, const Cell* action, const Cell* new_value, int32_t index,
           int32_t part) {
  NodeId key = value->is(TYPE_OBJECT) ? value->data1 : value->node();
  const Cell* owner_cell = find(key);
  if (!owner_cell || owner_cell->data3 == kNoNode) return false;
  const Cell owner = *owner_cell;
  const Cell word = owner_cell[FIELD_WORD - OWNER];
  const Cell target = *value;
  hooks::fire_on_deep_change(&owner, &word, &target, action, new_value, index, part);
  return true;
}

uint32_t size() { return uint32_t(record_of.size()); }

void sweep_dead_keys() {
  for (auto it = record_of.begin(); it != record_of.end();) {
    const Cell* slots = record_cells(it->second);
    NodeId series = slots[KEY].data1;
    NodeId owner_context = slots[OWNER].data1;
    if (collector::is_marked(series) && collector::is_marked(owner_context)) {
      ++it;
      continue;
    }
    Cell owned = slots[OWNED_VALUE];
    if (!owned.is(TYPE_IMAGE)) set_owned(&owned, false);
    auto dead = it++;
    delete_record(dead);
  }
}

}  // namespace xol::ownership
