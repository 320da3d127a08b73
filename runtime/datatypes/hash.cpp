// hash!: the hashing of values, the index of a hash! with its upkeep and search, and the
// actions hash! fills itself.
#include "runtime/datatypes/hash.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "runtime/buckets.h"
#include "runtime/case_map.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/hash_table.h"
#include "runtime/memory.h"
#include "runtime/string_widening.h"

namespace xol::hash {

using memory::SeriesBuffer;

namespace {

// ---- hashing ----

constexpr uint32_t kMaxCodePoint = 0x10FFFF;
constexpr double kIntegralLimit = 2147483648.0;   // 2^31: integral doubles below hash as ints

// Numbers of every type hash by value; integral values that could be code points are folded
// the way text is, so a char! and an integer! that any compare may call equal hash alike.
uint32_t number_hash(double value) {
  if (std::floor(value) == value && std::fabs(value) < kIntegralLimit) {
    int64_t whole = int64_t(value);
    uint32_t key = uint32_t(whole);
    if (whole >= 0 && whole <= kMaxCodePoint) key = case_map::to_upper(key);
    return fmix32(key);
  }
  if (value == 0) value = 0;   // -0.0 equals 0.0
  return murmur3(&value, sizeof value);
}

// number_hash of an int32 without the trip through double: every int32 is integral and
// below the limit except the most negative, which takes the general path.
uint32_t int_hash(int32_t value) {
  if (value == INT32_MIN) return number_hash(value);
  uint32_t key = uint32_t(value);
  if (value >= 0 && uint32_t(value) <= kMaxCodePoint) key = case_map::to_upper(key);
  return fmix32(key);
}

uint32_t text_hash(const Cell* text) {
  SeriesBuffer* b = memory::buffer_of(text->node());
  uint32_t unit = b->unit();
  uint32_t units = b->length();
  Murmur3 mix(kSeed);
  uint32_t count = 0;
  for (uint32_t i = std::min(text->head_index(), units); i < units; ++i, ++count)
    mix.add_block(case_map::to_upper(string::get_char(b->head_ptr() + i * unit, unit)));
  return mix.finish(count * sizeof(uint32_t));
}

// ---- the index record ----

struct Header {
  uint32_t count;   // positions held
  uint32_t used;    // buckets in use or deleted
  uint32_t size;    // bucket count, a power of two
  uint32_t upper;   // used may reach this before the index is rebuilt
  uint32_t texts;   // positions of text cells held
  uint32_t seen;    // key_changes when the index last caught up with them
};

// Changes made so far to text held as a key by any index, and the buffers of the latest ones
// (entry key_changes % kChangeLog is the next). An index that missed more is laid out again.
constexpr uint32_t kChangeLog = 32;
uint32_t key_changes = 0;
NodeId changed_keys[kChangeLog];

bool changed_since(NodeId node, uint32_t seen) {
  for (uint32_t change = seen; change != key_changes; ++change)
    if (changed_keys[change % kChangeLog] == node) return true;
  return false;
}

uint32_t bytes_for(uint32_t n) {
  return uint32_t(sizeof(Header)) + buckets::flags_bytes(n) + n * uint32_t(sizeof(uint32_t));
}

Header* header_of(NodeId index) {
  return reinterpret_cast<Header*>(memory::buffer_of(index)->head_ptr());
}
uint32_t* flags_of(NodeId index) { return reinterpret_cast<uint32_t*>(header_of(index) + 1); }
uint32_t* entries_of(NodeId index) {
  Header* h = header_of(index);
  return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(h + 1) +
                                     buckets::flags_bytes(h->size));
}

NodeId index_of(const Cell* series) {
  return series->is(TYPE_HASH) ? NodeId(series->data3) : kNoNode;
}

const Cell* cell_at(const Cell* series, uint32_t position) {
  return block::abs_at(series, position);
}

// Lays out an empty index of n buckets in the node's buffer, growing it when needed.
void lay_out(NodeId index, uint32_t n) {
  SeriesBuffer* b = memory::buffer_of(index);
  uint32_t bytes = bytes_for(n);
  if (b->head + bytes > b->size) b = memory::grow_series(b, bytes);
  b->tail = b->head + bytes;
  Header* h = header_of(index);
  *h = Header{0, 0, n, buckets::upper_at_creation(n), 0, key_changes};
  std::memset(flags_of(index), buckets::kAllEmptyByte, buckets::flags_bytes(n));
  std::memset(entries_of(index), 0, n * sizeof(uint32_t));
}

// Places a position whose cell is indexable; the caller made sure there is room. A text
// cell's buffer is flagged so that its changes are counted.
void place(NodeId index, const Cell* series, uint32_t position) {
  Header* h = header_of(index);
  uint32_t* flags = flags_of(index);
  const Cell* cell = cell_at(series, position);
  if (series::any_string(cell->type())) {
    memory::buffer_of(cell->node())->flags |= memory::FLAG_HASH_KEY;
    ++h->texts;
  }
  buckets::Slot slot = buckets::find_slot(flags, h->size, of_value(cell),
                                          [](uint32_t) { return false; });
  if (buckets::state(flags, slot.bucket) == buckets::EMPTY) ++h->used;
  buckets::set_state(flags, slot.bucket, buckets::IN_USE);
  entries_of(index)[slot.bucket] = position;
  ++h->count;
}

uint32_t indexable_in(const Cell* series, uint32_t from, uint32_t count) {
  uint32_t n = 0;
  for (uint32_t p = from; p < from + count; ++p) n += indexed_type(cell_at(series, p)->type());
  return n;
}

// Lays the index out again for every cell of the buffer.
void refill(NodeId index, const Cell* series) {
  uint32_t units = series::buffer_units(series);
  uint32_t keys = indexable_in(series, 0, units);
  lay_out(index, buckets::count_for(keys + keys / 2));
  for (uint32_t p = 0; p < units; ++p)
    if (indexed_type(cell_at(series, p)->type())) place(index, series, p);
}

// A text key changed since the index last caught up sits under the hash of its old content,
// where no search or removal finds it: the cells on the changed buffers are placed again by
// their text now. Their old entries, which no search can match wrongly since every match is
// tested against the cell, stay until the index next fills up and is laid out again; finding
// them would take their old hashes. A walk of the cells and one hash per changed one is all
// a change costs the next lookup.
void catch_up(NodeId index, const Cell* series) {
  Header* h = header_of(index);
  uint32_t since = h->seen;
  if (since == key_changes) return;
  h->seen = key_changes;
  if (!h->texts) return;
  if (key_changes - since > kChangeLog) {
    refill(index, series);
    return;
  }
  uint32_t units = series::buffer_units(series);
  const Cell* cells = units ? cell_at(series, 0) : nullptr;
  std::vector<uint32_t> changed;
  for (uint32_t p = 0; p < units; ++p)
    if (series::any_string(cells[p].type()) && changed_since(cells[p].node(), since))
      changed.push_back(p);
  if (h->used + changed.size() > h->upper) {
    refill(index, series);
    return;
  }
  for (uint32_t position : changed) place(index, series, position);
}

// Adds the positions [from, from + count); a full index is laid out again from the buffer,
// which then already holds them.
void add_range(NodeId index, const Cell* series, uint32_t from, uint32_t count) {
  uint32_t adding = indexable_in(series, from, count);
  if (header_of(index)->used + adding > header_of(index)->upper) {
    refill(index, series);
    return;
  }
  for (uint32_t p = from; p < from + count; ++p)
    if (indexed_type(cell_at(series, p)->type())) place(index, series, p);
}

// Rewrites every stored position through `remap`.
template <class Remap>
void remap_positions(NodeId index, Remap&& remap) {
  Header* h = header_of(index);
  uint32_t* flags = flags_of(index);
  uint32_t* entries = entries_of(index);
  for (uint32_t b = 0; b < h->size; ++b)
    if (buckets::state(flags, b) == buckets::IN_USE) entries[b] = remap(entries[b]);
}

void mark_index(const Cell& cell) { collector::mark_node(cell.data3); }

// ---- map! keys go through the same hashing, and the compare actions ----

bool keys_equal(const Cell* stored, const Cell* sought, uint32_t op) {
  CompareRoutine compare = actions::find<ACT_COMPARE>(stored->type());
  return compare ? compare(stored, sought, int32_t(op)) == 0
                 : std::memcmp(stored, sought, sizeof(Cell)) == 0;
}

// A map compares a key only with stored keys of its own type, so an integer key need not hash
// like the char it may equal: integers, the common key, are plain to the table, which hashes
// them by value without the case folding that hash! indexes need.
const hashtable::KeyOps kValueKeys{of_value, keys_equal, true};

}  // namespace

// ---- hashing ----

bool indexed_type(TypeId type) {
  switch (type) {
    case TYPE_NONE: case TYPE_UNSET: case TYPE_LOGIC: case TYPE_DATATYPE: case TYPE_CHAR:
    case TYPE_INTEGER: case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME:
      return true;
    default:
      return (type >= TYPE_WORD && type <= TYPE_ISSUE) || series::any_string(type);
  }
}

uint32_t of_value(const Cell* value) {
  TypeId type = value->type();
  switch (type) {
    case TYPE_LOGIC: case TYPE_DATATYPE:
      return fmix32(value->data1 ^ type);
    case TYPE_CHAR: case TYPE_INTEGER:
      return int_hash(int32_t(value->data2));
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME:
      return number_hash(value->float_value());
    default:
      if (type >= TYPE_WORD && type <= TYPE_ISSUE)
        return fmix32(uint32_t(symbol::resolve(int32_t(value->data2))));
      if (series::any_string(type)) return text_hash(value);
      return fmix32(type);
  }
}

// ---- the index ----

void build_index(Cell* series) {
  NodeId index = memory::alloc_bytes(bytes_for(buckets::kMinBuckets));
  series->data3 = index;
  refill(index, series);
}

void rebuild(const Cell* series) {
  if (NodeId index = index_of(series)) refill(index, series);
}

NodeId copy_index(NodeId index) { return memory::copy_series(index); }

void key_changed(NodeId text) { changed_keys[key_changes++ % kChangeLog] = text; }

void forget(const Cell* series, uint32_t position, uint32_t count) {
  NodeId index = index_of(series);
  if (!index) return;
  catch_up(index, series);
  for (uint32_t p = position; p < position + count; ++p) {
    const Cell* cell = cell_at(series, p);
    if (!indexed_type(cell->type())) continue;
    Header* h = header_of(index);
    uint32_t* entries = entries_of(index);
    buckets::Slot slot = buckets::find_slot(flags_of(index), h->size, of_value(cell),
                                            [&](uint32_t b) { return entries[b] == p; });
    if (!slot.found) continue;
    buckets::set_state(flags_of(index), slot.bucket, buckets::DELETED);
    --h->count;
    h->texts -= series::any_string(cell->type());
  }
}

void remember(const Cell* series, uint32_t position, uint32_t count) {
  if (NodeId index = index_of(series)) add_range(index, series, position, count);
}

void inserted(const Cell* series, uint32_t position, uint32_t count) {
  NodeId index = index_of(series);
  if (!index) return;
  // Cells appended at the tail move nothing: an append need not walk every bucket.
  if (position + count < series::buffer_units(series))
    remap_positions(index, [&](uint32_t p) { return p >= position ? p + count : p; });
  add_range(index, series, position, count);
}

void removing(const Cell* series, uint32_t position, uint32_t count) {
  NodeId index = index_of(series);
  if (!index) return;
  forget(series, position, count);
  remap_positions(index, [&](uint32_t p) { return p >= position + count ? p - count : p; });
}

void moved(const Cell* series, uint32_t from, uint32_t count, uint32_t to) {
  NodeId index = index_of(series);
  if (!index) return;
  remap_positions(index, [&](uint32_t p) {
    bool in_range = p >= from && p < from + count;
    if (to > from) {
      if (in_range) return p - from + to - count;
      return p >= from + count && p < to ? p - count : p;
    }
    if (in_range) return p - from + to;
    return p >= to && p < from ? p + count : p;
  });
}

bool can_search(const Cell* series, const Cell* value) {
  return index_of(series) != kNoNode && indexed_type(value->type());
}

int32_t search(const Cell* series, const Cell* value, int32_t op, const Search& search,
               bool (*matches)(const Cell* stored, const Cell* sought, int32_t op)) {
  NodeId index = index_of(series);
  Cell sought = *value;
  catch_up(index, series);
  int64_t best = -1;
  buckets::Probe probe(of_value(&sought), header_of(index)->size);
  do {
    buckets::BucketState state = buckets::state(flags_of(index), probe.bucket());
    if (state == buckets::EMPTY) break;
    if (state != buckets::IN_USE) continue;
    uint32_t p = entries_of(index)[probe.bucket()];
    bool on_grid;
    if (search.backward) {
      on_grid = p < search.start && (search.start - p) % search.skip == 0;
    } else {
      on_grid = p >= search.start && p < search.end && (p - search.start) % search.skip == 0;
    }
    if (!on_grid) continue;
    bool better = best < 0 || ((search.last || search.backward) ? p > best : p < best);
    if (!better) continue;
    Cell stored = *cell_at(series, p);
    if (matches(&stored, &sought, op)) best = p;
  } while (probe.advance());
  return int32_t(best);
}

// ---- actions ----

void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result) {
  Cell source = *spec;
  if (source.is(TYPE_HASH)) {
    copy(&source, nullptr, false, nullptr, result);
    return;
  }
  if (source.is(TYPE_INTEGER) || source.is(TYPE_FLOAT) || source.is(TYPE_BLOCK)) {
    block::make(prototype, &source, type, result);
    cell::set_type(result, TYPE_HASH);
    build_index(result);
    return;
  }
  to(prototype, &source, type, result);
}

void to(const Cell* prototype, const Cell* spec, TypeId type, Cell* result) {
  Cell source = *spec;
  if (source.is(TYPE_HASH)) {
    copy(&source, nullptr, false, nullptr, result);
    return;
  }
  block::to(prototype, &source, TYPE_BLOCK, result);
  cell::set_type(result, type);
  build_index(result);
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
             const Cell* argument, int32_t part, int32_t indent) {
  if (!only) part = text::append_counted(buffer, "make hash! ", part);
  return block::mold(value, buffer, only, all, flat, argument, part, indent);
}

void copy(Cell* value, const Cell* part, bool deep, const Cell* types, Cell* result) {
  Cell source = *value;
  bool whole = source.head_index() == 0 && !part && !deep && !types;
  Cell made;
  block::copy(&source, part, deep, types, &made);
  cell::set_type(&made, TYPE_HASH);
  if (whole && source.data3) {
    made.data3 = copy_index(source.data3);
  } else {
    build_index(&made);
  }
  *result = made;
}

void init() {
  using actions::own;
  datatype::register_type(
      TYPE_HASH, TYPE_BLOCK, "hash!",
      actions::ActionList()
          .own(own<ACT_MAKE>(make))
          .own(own<ACT_TO>(to))
          .own(own<ACT_MOLD>(mold))
          .own(own<ACT_COPY>(copy))
          .inherit({ACT_REFLECT, ACT_FORM, ACT_EVAL_PATH, ACT_COMPARE, ACT_APPEND, ACT_AT,
                    ACT_BACK, ACT_CHANGE, ACT_CLEAR, ACT_FIND, ACT_HEAD, ACT_HEAD_Q,
                    ACT_INDEX_Q, ACT_INSERT, ACT_LENGTH_Q, ACT_MOVE, ACT_NEXT, ACT_PICK,
                    ACT_POKE, ACT_PUT, ACT_REMOVE, ACT_REVERSE, ACT_SELECT, ACT_SKIP, ACT_SWAP,
                    ACT_TAIL, ACT_TAIL_Q, ACT_TAKE, ACT_MODIFY, ACT_SORT, ACT_TRIM}));
  // Word 3 is this index, one byte series: no hash-table record to walk.
  collector::set_type_marking(TYPE_HASH, {collector::payload_word(2), 0, mark_index});
  hashtable::set_key_ops(hashtable::KEYS_VALUES, &kValueKeys);
}

}  // namespace xol::hash
