// The owners table.
//
// A hash table of kind 4 keyed by the owned series' node: each record is a key cell followed by
// three data cells, the owned value, the owner object and the field word. A removed record gets
// unset data cells. The collector marks the table's own series, the record block included, but
// never the cells in the records: that is what keeps the table weak.
#include "runtime/datatypes/owners.h"

#include "runtime/memory/collector.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/tables/hash_table.h"
#include "runtime/datatypes/hooks.h"
#include "runtime/memory/memory.h"
#include "runtime/memory/cycles.h"

namespace xol::ownership {
namespace {
void unbind_values(const Cell* block, uint32_t index, uint32_t count);
void sweep_dead_keys();

// The data cells of a record, after its key cell.
enum DataCell : uint32_t { OWNED_VALUE, OWNER, FIELD_WORD, DATA_CELLS };

NodeId table = kNoNode;

enum class Owned { NOTHING, CONTAINER, LEAF, OBJECT };

Owned owned_kind(const Cell* value) {
  switch (value->type()) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
    case TYPE_GET_PATH: case TYPE_HASH:
      return Owned::CONTAINER;
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF: case TYPE_BINARY: case TYPE_VECTOR: case TYPE_BITSET:
      return Owned::LEAF;
    case TYPE_IMAGE:   // its bitmap record is its buffer; an image without pixels has none
      return value->node() == kNoNode ? Owned::NOTHING : Owned::LEAF;
    case TYPE_OBJECT:
      return Owned::OBJECT;
    default:
      return Owned::NOTHING;
  }
}

bool is_owned(const Cell* value) {
  return memory::buffer_of(value->node())->flags & memory::FLAG_OWNED;
}

void set_owned(Cell* value, bool owned) {
  uint32_t& flags = memory::buffer_of(value->node())->flags;
  flags = owned ? flags | memory::FLAG_OWNED : flags & ~memory::FLAG_OWNED;
}

void add_record(const Cell* value, const Cell* owner, const Cell* word) {
  // Copied first: the allocation of the new record may collect.
  const Cell cells[DATA_CELLS] = {*value, *owner, *word};
  Cell* data = hashtable::put_node_key(table, value->node());
  for (uint32_t i = 0; i < DATA_CELLS; ++i) data[i] = cells[i];
}

// Answers whether the node had a record.
bool delete_record(NodeId node) {
  Cell* data = hashtable::delete_node_key(table, node);
  if (!data) return false;
  for (uint32_t i = 0; i < DATA_CELLS; ++i) cell::set_unset(&data[i]);
  return true;
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

// Keeps the table and its record block, never what the records' cells refer to.
void mark_table() { hashtable::mark(table); }

// A record survives a collection when its series and its owner's context were both marked.
// A series whose owner died loses its owned flag, so that a new owner can record it again.
bool survives(uint32_t series, const Cell* data) {
  if (collector::is_marked(series) && collector::is_marked(data[OWNER].data1)) return true;
  memory::buffer_of(series)->flags &= ~memory::FLAG_OWNED;
  return false;
}

}  // namespace

void init() {
  table = hashtable::make(kInitialRecords, nullptr, hashtable::KIND_OWNERS, DATA_CELLS);
  // Registered afresh: a runtime brought up again must not mark or sweep twice.
  collector::unregister_mark(mark_table);
  collector::unregister_sweep(sweep_dead_keys);
  collector::register_mark(mark_table, collector::RANK_OWNERS_TABLE);
  collector::register_sweep(sweep_dead_keys);
}

void release() {
  collector::unregister_mark(mark_table);
  collector::unregister_sweep(sweep_dead_keys);
  table = kNoNode;
}

void set_deep(Cell* value, const Cell* owner, const Cell* word) {
  Owned kind = owned_kind(value);
  switch (kind) {
    case Owned::NOTHING:
      return;
    case Owned::CONTAINER:
    case Owned::LEAF:
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
  Owned kind = owned_kind(value);
  switch (kind) {
    case Owned::NOTHING:
      return;
    case Owned::CONTAINER:
    case Owned::LEAF: {
      set_owned(value, false);
      if (!delete_record(value->node())) return;
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

namespace {
// unbind for `count` cells of a block from `index`.
void unbind_values(const Cell* block, uint32_t index, uint32_t count) {
  const Cell container = *block;
  uint32_t end = block::head_position(&container) + block::length(&container);
  for (uint32_t i = index; i < end && i - index < count; ++i)
    unbind(block::abs_at(&container, i));
}
}  // namespace

Cell* find(NodeId node) {
  Cell* data = hashtable::find_node_key(table, node);
  return data ? data + OWNER : nullptr;
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

uint32_t size() { return hashtable::record(table)->count; }

namespace {
// The collector's step after marking: drops the records whose series or owner is not marked.
void sweep_dead_keys() { hashtable::sweep(table, survives); }
}  // namespace

}  // namespace xol::ownership
