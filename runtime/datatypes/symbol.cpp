// The symbol table.
//
// The symbol cells live in the symbol-table block, in id order; a hash table of kind 2 indexes
// that block by name. Every case variant of a name hashes alike (ASCII letters are folded
// before hashing), so one probe sequence meets the exact name, if it was made, and every case
// twin of it. The lookup walks that sequence once, answering the exact name at once and
// otherwise remembering the first twin met and the first empty bucket: what an exact pass then
// a caseless pass over the same sequence would find. Nothing is ever deleted, so a new symbol
// takes that first empty bucket and no growth can happen between the probe and the insertion.
//
// The index grows as every word table does, doubling its buckets when its load bound is
// reached: growing 16- or 32-fold at a step would save a few rehashes of a table built once, at
// the price of a bucket array of megabytes.
//
// A new case variant takes as its alias the canonical id of the twin met, not the twin itself:
// growing the table re-places entries in bucket order, so after a growth a later twin can come
// first in a probe sequence, and aliasing it directly would make aliases chain.
#include "runtime/datatypes/symbol.h"

#include <cstring>

#include "runtime/tables/buckets.h"
#include "runtime/text/case_map.h"
#include "runtime/memory/collector.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/tables/hash_table.h"
#include "runtime/memory/memory.h"
#include "runtime/tables/murmur3.h"

namespace xol::symbol {
namespace {

// The standard environment's names and those of a typical program, before the first growth.
constexpr uint32_t kIndexSize = 4000;
constexpr uint32_t kBytesPerBlock = 4;
constexpr uint32_t kBitsPerByte = 8;

NodeId table_node = kNoNode;   // the symbol-table block
NodeId index_node = kNoNode;   // its hash table

Cell table_cell() { return Cell{TYPE_BLOCK, 0, table_node, 0}; }

std::string_view name_of(const Cell* symbol) {
  const memory::SeriesBuffer* bytes = memory::buffer_of(symbol->data3);
  return {reinterpret_cast<const char*>(bytes->data()), bytes->tail - 1};
}

// ASCII-only folding: bytes "A"-"Z" become "a"-"z"; every other byte, including each byte of a
// multi-byte UTF-8 sequence, stays as it is. This is what makes two names case twins.
uint8_t fold(uint8_t byte) {
  return byte < case_map::detail::kAsciiEnd ? uint8_t(case_map::to_lower(byte)) : byte;
}

// MurmurHash3 of the folded name, folded a block at a time: no scratch copy of the name.
uint32_t hash_name(std::string_view name) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(name.data());
  size_t whole = name.size() / kBytesPerBlock * kBytesPerBlock;
  hash::Murmur3 murmur(hash::kSeed);
  for (size_t i = 0; i < whole; i += kBytesPerBlock) {
    uint32_t block = 0;
    for (uint32_t b = 0; b < kBytesPerBlock; ++b)
      block |= uint32_t(fold(bytes[i + b])) << (kBitsPerByte * b);
    murmur.add_block(block);
  }
  uint32_t tail = 0;
  for (size_t i = whole; i < name.size(); ++i)
    tail |= uint32_t(fold(bytes[i])) << (kBitsPerByte * (i - whole));
  murmur.add_tail(tail, name.size() - whole);
  return murmur.finish(name.size());
}

bool same_caseless(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (fold(uint8_t(a[i])) != fold(uint8_t(b[i]))) return false;
  return true;
}

uint32_t hash_key(const Cell* symbol) { return hash_name(name_of(symbol)); }

bool equal_keys(const Cell* stored, const Cell* sought, uint32_t op) {
  return op == hashtable::kOpStrict ? name_of(stored) == name_of(sought)
                                    : same_caseless(name_of(stored), name_of(sought));
}

const hashtable::KeyOps kSymbolKeys = {hash_key, equal_keys};

void mark_index() { hashtable::mark(index_node); }

int32_t add(std::string_view name, int32_t alias, uint32_t bucket) {
  NodeId name_node = memory::alloc_bytes(uint32_t(name.size()) + 1);
  memory::SeriesBuffer* bytes = memory::buffer_of(name_node);
  std::memcpy(bytes->data(), name.data(), name.size());
  bytes->data()[name.size()] = 0;
  bytes->tail = uint32_t(name.size()) + 1;

  Cell symbol{TYPE_SYMBOL, uint32_t(alias), kNoNode, name_node};
  Cell table = table_cell();
  block::append_cell(&table, &symbol);
  uint32_t position = block::length(&table) - 1;
  hashtable::insert_at(index_node, bucket, position);
  return int32_t(position) + 1;
}

// Grows the index before a probe whose insertion could reach the load bound: the same rule as
// every word table (a kind-2 table never holds deleted buckets, so it doubles).
void make_room() {
  const hashtable::Table* t = hashtable::record(index_node);
  if (t->used >= t->upper)
    hashtable::resize_in_place(index_node, buckets::growth_request(t->count, t->size));
}

// What a probe for a name met.
struct Probe {
  int32_t exact = 0;   // the id of the name itself, or 0
  int32_t twin = 0;    // the first case twin met, or 0
  uint32_t empty = 0;  // the first empty bucket (when neither stopped the probe early)
};

// Walks the name's probe sequence; stops at the exact name, or at the first twin when
// `caseless`.
Probe probe(std::string_view name, bool caseless) {
  make_room();
  hashtable::Cursor cursor(index_node, hash_name(name));
  Cell table = table_cell();
  const Cell* symbols = block::abs_at(&table, 0);
  Probe found;
  for (int32_t position = cursor.next(); position >= 0; position = cursor.next()) {
    std::string_view candidate = name_of(&symbols[position]);
    if (candidate.size() != name.size()) continue;
    if (!caseless && candidate == name) {
      found.exact = position + 1;
      return found;
    }
    if (!found.twin && same_caseless(candidate, name)) {
      found.twin = position + 1;
      if (caseless) return found;
    }
  }
  found.empty = uint32_t(cursor.first_empty());
  return found;
}

}  // namespace

void init_table(const Cell* table_block) {
  hashtable::set_key_ops(hashtable::KEYS_SYMBOLS, &kSymbolKeys);
  table_node = table_block->node();
  collector::register_root_node(&table_node, collector::RANK_SYMBOL_TABLE);
  index_node = hashtable::make(kIndexSize, table_block, hashtable::KIND_WORDS, 1,
                               hashtable::KEYS_SYMBOLS);
  collector::register_mark(mark_index, collector::RANK_SYMBOL_TABLE);
}

bool table_exists() { return table_node != kNoNode; }

void release_table() {
  collector::unregister_mark(mark_index);
  collector::unregister_root(&table_node);
  table_node = index_node = kNoNode;
}

int32_t make(std::string_view name) {
  Probe found = probe(name, false);
  if (found.exact) return found.exact;
  return add(name, found.twin ? resolve(found.twin) : kNoAlias, found.empty);
}

int32_t make_caseless(std::string_view name) {
  Probe found = probe(name, true);
  return found.twin ? resolve(found.twin) : add(name, kNoAlias, found.empty);
}

namespace {
// The symbol cell of an id; valid until the next allocation.
Cell* get(int32_t id) {
  Cell table = table_cell();
  return block::abs_at(&table, uint32_t(id - 1));
}
}  // namespace

int32_t alias_of(int32_t id) { return int32_t(get(id)->data1); }

int32_t resolve(int32_t id) {
  // Id 0 names no symbol (a word cell never filled in holds it); it stands for itself.
  if (id <= 0) return id;
  int32_t alias = alias_of(id);
  return alias > 0 ? alias : id;
}

std::string_view name(int32_t id) { return name_of(get(id)); }

int32_t count() {
  Cell table = table_cell();
  return int32_t(block::length(&table));
}

int32_t compare_names(int32_t id1, int32_t id2, int32_t op) {
  bool exact = op == COMP_STRICT_EQUAL || op == COMP_CASE_SORT || op == COMP_FIND_STRICT;
  std::string_view a = name(id1), b = name(id2);
  size_t common = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < common; ++i) {
    // Text comparison folds both sides to upper case.
    uint32_t x = uint8_t(a[i]), y = uint8_t(b[i]);
    if (!exact && x < case_map::detail::kAsciiEnd) x = case_map::to_upper(x);
    if (!exact && y < case_map::detail::kAsciiEnd) y = case_map::to_upper(y);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

namespace {
// The compare action of symbol!.
int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  if (!value2->is(TYPE_SYMBOL)) return kNotComparable;
  Cell table = table_cell();
  Cell* first = block::abs_at(&table, 0);
  return compare_names(int32_t(value1 - first) + 1, int32_t(value2 - first) + 1, op);
}
}  // namespace

void init() {
  datatype::register_type(TYPE_SYMBOL, 0, "symbol!",
                          actions::ActionList().own(actions::own<ACT_COMPARE>(compare)));
}

}  // namespace xol::symbol
