// Hash tables over key blocks: creation, puts and lookups through the key classes' operations,
// in-place growth, and the record tables of kinds 3 and 4.
//
// Every operation names the table's parts by node and fetches their addresses again after
// each allocation. Record tables (kinds 3 and 4) append records to their key block and mark
// a removed record with header 0; growing rebuilds the buckets and, at the same time, packs
// the live records to the front of the key block, so a table with steady churn (the owners
// table under a GUI) stays the size of its live records.
#include "runtime/tables/hash_table.h"

#include <cassert>
#include <cstring>

#include "runtime/tables/buckets.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/memory.h"

namespace xol::hashtable {

namespace {
void put_all(NodeId table, uint32_t start, uint32_t step);

constexpr uint32_t kRecordInUse = TYPE_UNSET;   // header of a live record's key cell
constexpr uint32_t kRecordRemoved = 0;
constexpr uint32_t kPairRemoved = 0;            // header of a removed map pair's value cell
constexpr uint32_t kDoublingKeys = 4000;        // kind 2 tables this large are made twice as large
constexpr uint32_t kMapStep = 2;                // map keys sit at every second cell
constexpr uint32_t kPackedRecordsFactor = 2;    // records kept, live or dead, per load bound
constexpr uint32_t kMinReclaimedPairs = 16;     // fewer removed map pairs are left indexed

const KeyOps* key_ops[KEY_CLASS_COUNT] = {};

uint8_t* data_of(NodeId node) { return memory::buffer_of(node)->data(); }
uint32_t* words_of(NodeId node) { return reinterpret_cast<uint32_t*>(data_of(node)); }
Cell* cells_of(NodeId node) { return memory::buffer_of(node)->cells(); }

const KeyOps& ops_of(const Table* t) {
  const KeyOps* ops = key_ops[t->key_class];
  assert(ops && "no key operations registered for this key class");
  return *ops;
}

NodeId new_flags(uint32_t n) {
  NodeId flags = memory::alloc_bytes_filled(buckets::flags_bytes(n), buckets::kAllEmptyByte);
  memory::buffer_of(flags)->tail = buckets::flags_bytes(n);
  return flags;
}

NodeId new_buckets(uint32_t n) {
  NodeId array = memory::alloc_bytes_filled(n * sizeof(uint32_t), 0);
  memory::buffer_of(array)->tail = n * sizeof(uint32_t);
  return array;
}

// Plain integer keys are hashed and compared here, without the calls of their key class.
bool plain_integer(const KeyOps& ops, const Cell* key) {
  return ops.plain_integers && key->is(TYPE_INTEGER);
}
uint32_t hash_of(const KeyOps& ops, const Cell* key) {
  return plain_integer(ops, key) ? hash::fmix32(key->data2) : ops.hash(key);
}

bool is_word_kind(TypeId t) {
  return t == TYPE_WORD || t == TYPE_SET_WORD || t == TYPE_LIT_WORD || t == TYPE_GET_WORD;
}

// ---- record tables ----

Cell* record_at(const Table* t, uint32_t offset) {
  return reinterpret_cast<Cell*>(data_of(t->keys) + offset);
}

buckets::Slot node_slot(NodeId table, uint32_t key) {
  const Table* t = record(table);
  const uint32_t* entries = words_of(t->buckets);
  return buckets::find_slot(words_of(t->flags), t->size, hash::fmix32(key), [&](uint32_t b) {
    return record_at(t, entries[b])->data1 == key;
  });
}

// Rebuilds a record table at the bucket count for `request`, packing the live records to the
// front of the key block.
void rebuild_records(NodeId table, uint32_t request) {
  uint32_t n = buckets::count_for_request(request);
  NodeId flags = new_flags(n);
  NodeId entries_node = new_buckets(n);
  Table* t = record(table);
  memory::SeriesBuffer* keys = memory::buffer_of(t->keys);
  uint32_t* f = words_of(flags);
  uint32_t* entries = words_of(entries_node);
  uint32_t to = keys->head, placed = 0;
  for (uint32_t from = keys->head; from < keys->tail; from += t->record_width) {
    const Cell* rec = reinterpret_cast<const Cell*>(keys->data() + from);
    if (rec->header != kRecordInUse) continue;
    uint32_t key = rec->data1;
    if (to != from) std::memmove(keys->data() + to, rec, t->record_width);
    uint32_t b = buckets::first_empty(f, hash::fmix32(key), n);
    buckets::set_state(f, b, buckets::IN_USE);
    entries[b] = to;
    to += t->record_width;
    ++placed;
  }
  keys->tail = to;
  t->flags = flags;
  t->buckets = entries_node;
  t->count = t->used = placed;
  t->size = n;
  t->upper = buckets::upper_after_resize(n);
}

void remove_record(NodeId table, uint32_t bucket) {
  Table* t = record(table);
  record_at(t, words_of(t->buckets)[bucket])->header = kRecordRemoved;
  buckets::set_state(words_of(t->flags), bucket, buckets::DELETED);
  --t->count;
}

// ---- cell keys ----

buckets::Slot cell_slot(NodeId table, const Cell* key, uint32_t op) {
  const Table* t = record(table);
  const KeyOps& ops = ops_of(t);
  const uint32_t* flags = words_of(t->flags);
  const uint32_t* entries = words_of(t->buckets);
  const Cell* keys = cells_of(t->keys);
  uint32_t hash = hash_of(ops, key);
  if (plain_integer(ops, key)) {
    return buckets::find_slot(flags, t->size, hash, [&](uint32_t b) {
      const Cell* stored = &keys[entries[b]];
      return stored->is(TYPE_INTEGER) && stored->data2 == key->data2;
    });
  }
  bool any_type = key->type() == kAnyTypeKey;
  return buckets::find_slot(flags, t->size, hash, [&](uint32_t b) {
    const Cell* stored = &keys[entries[b]];
    return (any_type || stored->type() == key->type()) && ops.equal(stored, key, op);
  });
}

}  // namespace

void set_key_ops(KeyClass keys, const KeyOps* ops) { key_ops[keys] = ops; }

Table* record(NodeId table) { return reinterpret_cast<Table*>(data_of(table)); }

NodeId make(uint32_t size, const Cell* key_block, Kind kind, uint32_t cells_per_record,
             KeyClass keys) {
  assert(kind != KIND_HASH && "hash! tables wait for the datatypes' hash and compare");
  if (kind == KIND_WORDS && size >= kDoublingKeys) size *= 2;
  uint32_t n = buckets::count_for(size);
  NodeId flags = new_flags(n);
  NodeId entries = new_buckets(n);
  bool records = kind == KIND_RAW || kind == KIND_OWNERS;
  NodeId block = records || !key_block ? memory::alloc_cells(size < 1 ? 1 : size)
                                       : key_block->node();
  NodeId table = memory::alloc_bytes_filled(sizeof(Table), 0);
  // Tells the stack scan to mark the parts too while only a local holds the table.
  series::set_flags(table, memory::FLAG_TABLE);
  Table* t = record(table);
  t->flags = flags;
  t->buckets = entries;
  t->keys = block;
  t->size = n;
  t->upper = buckets::upper_at_creation(n);
  t->kind = kind;
  t->key_class = keys;
  if (records) t->record_width = (cells_per_record + 1) * sizeof(Cell);
  if (!records && key_block)
    put_all(table, key_block->head_index(), kind == KIND_MAP ? kMapStep : 1);
  return table;
}

// ---- kinds 1 and 2 ----

namespace {
// Keys that hold buckets: a map's removed pairs keep theirs until they are reclaimed.
uint32_t indexed_keys(const Table* t) { return t->count + t->removed; }
}  // namespace

void resize_in_place(NodeId table, uint32_t request) {
  uint32_t n = buckets::count_for_request(request);
  uint32_t upper = buckets::upper_after_resize(n);
  if (indexed_keys(record(table)) >= upper) return;
  NodeId flags = new_flags(n);
  Table* t = record(table);
  if (n > t->size) {
    memory::SeriesBuffer* grown = memory::grow_series(memory::buffer_of(t->buckets), n * sizeof(uint32_t));
    grown->tail = n * sizeof(uint32_t);
    t = record(table);
  }
  const KeyOps& ops = ops_of(t);
  const Cell* keys = cells_of(t->keys);
  t->used = buckets::rehash_in_place(words_of(t->buckets), words_of(t->flags), t->size,
                                     words_of(flags), n,
                                     [&](uint32_t position) { return hash_of(ops, &keys[position]); });
  if (n < t->size) memory::buffer_of(t->buckets)->tail = n * sizeof(uint32_t);
  t->flags = flags;
  t->size = n;
  t->upper = upper;
}

uint32_t put(NodeId table, uint32_t position) {
  Table* t = record(table);
  if (t->used >= t->upper) {
    resize_in_place(table, buckets::growth_request(indexed_keys(t), t->size));
  }
  Cell key = cells_of(record(table)->keys)[position];
  buckets::Slot slot = cell_slot(table, &key, kOpStrict);
  t = record(table);
  uint32_t* entries = words_of(t->buckets);
  if (slot.found) return entries[slot.bucket];
  uint32_t* flags = words_of(t->flags);
  if (buckets::state(flags, slot.bucket) == buckets::EMPTY) ++t->used;
  buckets::set_state(flags, slot.bucket, buckets::IN_USE);
  ++t->count;
  entries[slot.bucket] = position;
  return position;
}

namespace {
// put for every key from `start`, stepping `step` cells.
void put_all(NodeId table, uint32_t start, uint32_t step) {
  for (uint32_t p = start; p < memory::buffer_of(record(table)->keys)->length(); p += step)
    put(table, p);
}
}  // namespace

Lookup seek(NodeId table, const Cell* key, uint32_t op) {
  Cell sought = *key;
  if (record(table)->kind == KIND_MAP && is_word_kind(sought.type()))
    cell::set_type(&sought, TYPE_SET_WORD);
  buckets::Slot slot = cell_slot(table, &sought, op);
  if (!slot.found) return Lookup{-1, slot.bucket};
  return Lookup{int32_t(words_of(record(table)->buckets)[slot.bucket]), slot.bucket};
}

int32_t find(NodeId table, const Cell* key, uint32_t op) { return seek(table, key, op).position; }

void put_missed(NodeId table, const Lookup& missed, uint32_t position) {
  const Table* t = record(table);
  if (t->used >= t->upper) put(table, position);
  else insert_at(table, missed.bucket, position);
}

Cell* key_at(NodeId table, uint32_t position) { return cells_of(record(table)->keys) + position; }

void delete_key(NodeId table, uint32_t position) {
  Table* t = record(table);
  assert(t->kind == KIND_MAP && position + 1 < memory::buffer_of(t->keys)->length());
  cells_of(t->keys)[position + 1].header = kPairRemoved;
  --t->count;
  ++t->removed;
}

void revive_key(NodeId table, uint32_t position) {
  Table* t = record(table);
  if (cells_of(t->keys)[position + 1].header != kPairRemoved) return;
  ++t->count;
  --t->removed;
}

int32_t reusable_pair(NodeId table) {
  Table* t = record(table);
  if (t->reusable == 0 && t->removed >= kMinReclaimedPairs && t->removed > t->count) {
    // Each removed key leaves the index (its bucket found by its own stored key, unique under
    // the strict comparison puts use) and its pair joins the chain, linked through its value
    // cell; the key cell is cleared so that the collector can have the key.
    const uint32_t pairs = memory::buffer_of(t->keys)->length();
    for (uint32_t p = pairs; p >= kMapStep; p -= kMapStep) {
      const uint32_t at = p - kMapStep;
      Cell key = cells_of(record(table)->keys)[at];
      if (cells_of(record(table)->keys)[at + 1].header != kPairRemoved || key.is(TYPE_NONE)) continue;
      buckets::Slot slot = cell_slot(table, &key, kOpStrict);
      t = record(table);
      assert(slot.found && words_of(t->buckets)[slot.bucket] == at);
      buckets::set_state(words_of(t->flags), slot.bucket, buckets::DELETED);
      Cell* pair = cells_of(t->keys) + at;
      pair[0] = Cell{TYPE_NONE, 0, 0, 0};
      pair[1].data1 = t->reusable;
      t->reusable = at + 1;
      --t->removed;
    }
  }
  if (t->reusable == 0) return -1;
  const uint32_t position = t->reusable - 1;
  t->reusable = cells_of(t->keys)[position + 1].data1;
  return int32_t(position);
}

Cursor::Cursor(NodeId table, uint32_t hash)
    : table_(table), first_(hash & (record(table)->size - 1)), bucket_(first_) {}

int32_t Cursor::next() {
  const Table* t = record(table_);
  const uint32_t* flags = words_of(t->flags);
  while (!done_) {
    uint32_t b = bucket_;
    bucket_ = (bucket_ + ++step_) & (t->size - 1);
    done_ = bucket_ == first_;
    buckets::BucketState s = buckets::state(flags, b);
    if (s == buckets::IN_USE) return int32_t(words_of(t->buckets)[b]);
    if (s == buckets::EMPTY) {
      if (first_empty_ < 0) first_empty_ = b;
      done_ = true;
    }
  }
  return -1;
}

void insert_at(NodeId table, uint32_t bucket, uint32_t position) {
  Table* t = record(table);
  uint32_t* flags = words_of(t->flags);
  if (buckets::state(flags, bucket) == buckets::EMPTY) ++t->used;
  buckets::set_state(flags, bucket, buckets::IN_USE);
  ++t->count;
  words_of(t->buckets)[bucket] = position;
}

// ---- kinds 3 and 4 ----

Cell* find_node_key(NodeId table, uint32_t key) {
  buckets::Slot slot = node_slot(table, key);
  if (!slot.found) return nullptr;
  const Table* t = record(table);
  return record_at(t, words_of(t->buckets)[slot.bucket]) + 1;
}

Cell* put_node_key(NodeId table, uint32_t key) {
  if (Cell* data = find_node_key(table, key)) return data;
  Table* t = record(table);
  // Reusing a deleted bucket adds no load but still appends a record: pack the key block
  // when it holds as many records again as the load bound.
  uint32_t records = memory::buffer_of(t->keys)->used_bytes() / t->record_width;
  if (t->used >= t->upper || records >= kPackedRecordsFactor * t->upper)
    rebuild_records(table, buckets::growth_request(t->count, t->size));
  uint32_t width = record(table)->record_width;
  uint8_t* at = series::reserve_tail(record(table)->keys, width);
  Cell* rec = reinterpret_cast<Cell*>(at);
  rec[0] = Cell{kRecordInUse, key, 0, 0};
  for (uint32_t c = 1; c < width / sizeof(Cell); ++c) cell::set_unset(&rec[c]);
  t = record(table);
  uint32_t offset = uint32_t(at - data_of(t->keys));
  buckets::Slot slot = node_slot(table, key);
  uint32_t* flags = words_of(t->flags);
  if (buckets::state(flags, slot.bucket) == buckets::EMPTY) ++t->used;
  buckets::set_state(flags, slot.bucket, buckets::IN_USE);
  ++t->count;
  words_of(t->buckets)[slot.bucket] = offset;
  return record_at(t, offset) + 1;
}

Cell* delete_node_key(NodeId table, uint32_t key) {
  buckets::Slot slot = node_slot(table, key);
  if (!slot.found) return nullptr;
  const Table* t = record(table);
  Cell* data = record_at(t, words_of(t->buckets)[slot.bucket]) + 1;
  remove_record(table, slot.bucket);
  return data;
}

void sweep(NodeId table, bool (*keep)(uint32_t key, const Cell* data)) {
  const Table* t = record(table);
  for (uint32_t b = 0; b < t->size; ++b) {
    if (buckets::state(words_of(t->flags), b) != buckets::IN_USE) continue;
    const Cell* rec = record_at(t, words_of(t->buckets)[b]);
    if (!keep(rec->data1, rec + 1)) remove_record(table, b);
    t = record(table);
  }
}

// ---- every kind ----

void clear(NodeId table) {
  Table* t = record(table);
  memory::SeriesBuffer* keys = memory::buffer_of(t->keys);
  keys->tail = keys->head;
  std::memset(data_of(t->flags), buckets::kAllEmptyByte, buckets::flags_bytes(t->size));
  t->count = t->used = t->removed = t->reusable = 0;
}

void mark(NodeId table) {
  const Table t = *record(table);
  collector::mark_node(table);
  collector::mark_node(t.flags);
  collector::mark_node(t.buckets);
  if (t.kind == KIND_RAW || t.kind == KIND_OWNERS) collector::mark_node(t.keys);
  else collector::mark_block(t.keys);
}

NodeId copy(NodeId source, NodeId key_block) {
  NodeId table = memory::copy_series(source);
  NodeId flags = memory::copy_series(record(source)->flags);
  NodeId entries = memory::copy_series(record(source)->buckets);
  Table* t = record(table);
  t->flags = flags;
  t->buckets = entries;
  t->keys = key_block;
  return table;
}

}  // namespace xol::hashtable
