// hash!: the hashing of values, the index of a hash! with its upkeep and search, and the
// actions hash! fills itself.
#include "runtime/datatypes/hash.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "runtime/tables/buckets.h"
#include "runtime/text/case_map.h"
#include "runtime/memory/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/tables/hash_table.h"
#include "runtime/memory/memory.h"
#include "runtime/text/string_widening.h"

namespace xol::hash {
namespace {
bool indexed_type(TypeId type);
uint32_t of_value(const Cell* value);
void to(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);
void copy(Cell* value, const Cell* part, bool deep, const Cell* types, Cell* result);
}  // namespace


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
  uint32_t count;     // positions held
  uint32_t used;      // buckets in use or deleted
  uint32_t size;      // bucket count, a power of two
  uint32_t upper;     // used may reach this before the index is rebuilt
  uint32_t texts;     // positions of text cells held
  uint32_t seen;      // key_changes when the index last caught up with them
  uint32_t arena;     // words of position lists after the buckets
  uint32_t garbage;   // of them, words of lists given up (outgrown or emptied)
};

// A bucket holds every position of one hash: its hash, and a reference that is the position
// itself when it is alone, else kList | the arena word where the bucket's list starts. Lists
// live in the arena after the buckets, positions in increasing order, so that a run of equal
// values costs an insert or a search no more than one value does. References and hashes are
// two arrays, so that shifting positions walks only the references.
constexpr uint32_t kList = 0x80000000u;
// A list is [count, capacity, positions...]; capacities double as lists grow.
constexpr uint32_t kListHeader = 2;
constexpr uint32_t kFirstListCapacity = 4;
// Lists given up are reclaimed by laying the index out again once their words outnumber
// twice the cells: laying out leaves less than that behind, and giving up that many words
// took as much work as laying out does.
constexpr uint32_t kGarbagePerCell = 2;
// What remap_positions answers for a position whose cell is gone.
constexpr uint32_t kDropped = UINT32_MAX;

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

uint32_t bytes_for(uint32_t n, uint32_t arena_words) {
  return uint32_t(sizeof(Header)) + buckets::flags_bytes(n) + 2 * n * uint32_t(sizeof(uint32_t)) +
         arena_words * uint32_t(sizeof(uint32_t));
}

Header* header_of(NodeId index) {
  return reinterpret_cast<Header*>(memory::buffer_of(index)->head_ptr());
}
uint32_t* flags_of(NodeId index) { return reinterpret_cast<uint32_t*>(header_of(index) + 1); }
inline uint32_t* refs_of(NodeId index) {
  Header* h = header_of(index);
  return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(h + 1) +
                                     buckets::flags_bytes(h->size));
}
inline uint32_t* hashes_of(NodeId index) { return refs_of(index) + header_of(index)->size; }
inline uint32_t* arena_of(NodeId index) { return hashes_of(index) + header_of(index)->size; }

// The positions of a bucket, in increasing order: its list, or the lone position in the
// bucket itself. Valid until the index next grows or moves.
struct Positions {
  uint32_t* first;
  uint32_t count;
  uint32_t capacity;
  uint32_t* end() const { return first + count; }
};
inline Positions positions_of(NodeId index, uint32_t bucket) {
  uint32_t& ref = refs_of(index)[bucket];
  if (!(ref & kList)) return Positions{&ref, 1, 1};
  uint32_t* list = arena_of(index) + (ref & ~kList);
  return Positions{list + kListHeader, list[0], list[1]};
}
void set_count(NodeId index, uint32_t bucket, uint32_t count) {
  arena_of(index)[refs_of(index)[bucket] & ~kList] = count;
}

// Empties a bucket whose last position went; its list, if any, is given up.
void drop_bucket(NodeId index, uint32_t bucket) {
  Header* h = header_of(index);
  if (refs_of(index)[bucket] & kList)
    h->garbage += kListHeader + positions_of(index, bucket).capacity;
  buckets::set_state(flags_of(index), bucket, buckets::DELETED);
}

NodeId index_of(const Cell* series) {
  return series->is(TYPE_HASH) ? NodeId(series->data3) : kNoNode;
}

const Cell* cell_at(const Cell* series, uint32_t position) {
  return block::abs_at(series, position);
}

// Makes the index's buffer `bytes` long, growing it by half again at least, so that lists
// added one by one cost no more than their words.
void set_length(NodeId index, uint32_t bytes) {
  SeriesBuffer* b = memory::buffer_of(index);
  uint32_t room = b->size - b->head;
  if (bytes > room) b = memory::grow_series(b, std::max(bytes, room + room / 2));
  b->tail = b->head + bytes;
}

// Lays out an empty index of n buckets in the node's buffer.
void lay_out(NodeId index, uint32_t n) {
  set_length(index, bytes_for(n, 0));
  Header* h = header_of(index);
  *h = Header{0, 0, n, buckets::upper_at_creation(n), 0, key_changes, 0, 0};
  std::memset(flags_of(index), buckets::kAllEmptyByte, buckets::flags_bytes(n));
}

// Probes for the bucket of `hash`: found, or the bucket that the hash would take.
inline buckets::Slot slot_of(NodeId index, uint32_t hash) {
  uint32_t* hashes = hashes_of(index);
  return buckets::find_slot(flags_of(index), header_of(index)->size, hash,
                            [&](uint32_t b) { return hashes[b] == hash; });
}

// Moves a bucket's positions to a new list of `capacity` words at the end of the arena.
void give_list(NodeId index, uint32_t bucket, uint32_t capacity) {
  uint32_t at = header_of(index)->arena;
  set_length(index, bytes_for(header_of(index)->size, at + kListHeader + capacity));
  Header* h = header_of(index);
  h->arena = at + kListHeader + capacity;
  Positions held = positions_of(index, bucket);
  uint32_t* list = arena_of(index) + at;
  list[0] = held.count;
  list[1] = capacity;
  std::copy(held.first, held.end(), list + kListHeader);
  uint32_t& ref = refs_of(index)[bucket];
  if (ref & kList) h->garbage += kListHeader + held.capacity;
  ref = kList | at;
}

// Adds a position to a bucket in use; false when it holds the position already.
bool add_position(NodeId index, uint32_t bucket, uint32_t position) {
  Positions held = positions_of(index, bucket);
  uint32_t* at = std::lower_bound(held.first, held.end(), position);
  if (at != held.end() && *at == position) return false;
  uint32_t rank = uint32_t(at - held.first);
  if (held.count == held.capacity)
    give_list(index, bucket, std::max(kFirstListCapacity, 2 * held.capacity));
  held = positions_of(index, bucket);
  std::copy_backward(held.first + rank, held.end(), held.end() + 1);
  held.first[rank] = position;
  set_count(index, bucket, held.count + 1);
  return true;
}

// Takes a position out of a bucket in use; false when it does not hold the position.
bool remove_position(NodeId index, uint32_t bucket, uint32_t position) {
  Positions held = positions_of(index, bucket);
  uint32_t* at = std::lower_bound(held.first, held.end(), position);
  if (at == held.end() || *at != position) return false;
  if (held.count == 1) {
    drop_bucket(index, bucket);
  } else {
    std::copy(at + 1, held.end(), at);
    set_count(index, bucket, held.count - 1);
  }
  return true;
}

// Places a position whose cell is indexable; the caller made sure there is room. A text
// cell's buffer is flagged so that its changes are counted.
void place(NodeId index, const Cell* series, uint32_t position) {
  const Cell* cell = cell_at(series, position);
  bool text = series::any_string(cell->type());
  if (text) memory::buffer_of(cell->node())->flags |= memory::FLAG_HASH_KEY;
  uint32_t hash = of_value(cell);
  buckets::Slot slot = slot_of(index, hash);
  if (slot.found) {
    if (!add_position(index, slot.bucket, position)) return;
  } else {
    uint32_t* flags = flags_of(index);
    if (buckets::state(flags, slot.bucket) == buckets::EMPTY) ++header_of(index)->used;
    buckets::set_state(flags, slot.bucket, buckets::IN_USE);
    refs_of(index)[slot.bucket] = position;
    hashes_of(index)[slot.bucket] = hash;
  }
  Header* h = header_of(index);
  ++h->count;
  h->texts += text;
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

// Whether placing `adding` more positions calls for laying the index out again: for room,
// or to reclaim the lists given up.
bool needs_refill(NodeId index, const Cell* series, uint32_t adding) {
  Header* h = header_of(index);
  return h->used + adding > h->upper ||
         h->garbage > kGarbagePerCell * series::buffer_units(series);
}

// A text key changed since the index last caught up sits under the hash of its old content,
// where no search or removal finds it: the cells on the changed buffers are placed again by
// their text now. Their old entries, which no search can match wrongly since every match is
// tested against the cell, stay until the index is next laid out again or their cells go;
// finding them would take their old hashes. A walk of the cells and one hash per changed one
// is all a change costs the next lookup.
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
  if (needs_refill(index, series, uint32_t(changed.size()))) {
    refill(index, series);
    return;
  }
  for (uint32_t position : changed) place(index, series, position);
}

// Adds the positions [from, from + count); a full index is laid out again from the buffer,
// which then already holds them.
void add_range(NodeId index, const Cell* series, uint32_t from, uint32_t count) {
  if (needs_refill(index, series, indexable_in(series, from, count))) {
    refill(index, series);
    return;
  }
  for (uint32_t p = from; p < from + count; ++p)
    if (indexed_type(cell_at(series, p)->type())) place(index, series, p);
}

// Calls visit(bucket) for every bucket in use, a word of flags at a time: an in-use bucket's
// two flag bits are both clear.
template <class Visit>
void for_each_in_use(const uint32_t* flags, uint32_t n, Visit&& visit) {
  constexpr uint32_t kLowBits = 0x55555555u;   // the low flag bit of every bucket in a word
  for (uint32_t w = 0; w * buckets::kBucketsPerWord < n; ++w) {
    for (uint32_t in_use = ~(flags[w] | flags[w] >> 1) & kLowBits; in_use;
         in_use &= in_use - 1)
      visit(w * buckets::kBucketsPerWord + uint32_t(std::countr_zero(in_use)) / buckets::kFlagBits);
  }
}

// Rewrites every stored position through `remap`, dropping those it answers kDropped for, and
// sorts the lists again for a remap that does not keep the order of positions.
template <class Remap>
void remap_positions(NodeId index, Remap&& remap) {
  Header* h = header_of(index);
  uint32_t* flags = flags_of(index);
  uint32_t* refs = refs_of(index);
  uint32_t* arena = arena_of(index);
  for_each_in_use(flags, h->size, [&](uint32_t b) {
    // The common case, a lone position that stays, takes one test: a list's reference and
    // kDropped both have the kList bit.
    uint32_t moved_to = remap(refs[b]);
    if (!((refs[b] | moved_to) & kList)) {
      refs[b] = moved_to;
      return;
    }
    uint32_t* list = refs[b] & kList ? arena + (refs[b] & ~kList) : nullptr;
    uint32_t held = list ? list[0] : 1;
    uint32_t left = 0;
    if (list) {
      uint32_t* first = list + kListHeader;
      for (uint32_t* p = first; p != first + held; ++p)
        if (moved_to = remap(*p); moved_to != kDropped) first[left++] = moved_to;
      list[0] = left;
      if (!std::is_sorted(first, first + left)) std::sort(first, first + left);
    }
    h->count -= held - left;
    if (!left) drop_bucket(index, b);
  });
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

// ---- hashing ----

// Whether cells of this type go into hash! indexes.
bool indexed_type(TypeId type) {
  switch (type) {
    case TYPE_NONE: case TYPE_UNSET: case TYPE_LOGIC: case TYPE_DATATYPE: case TYPE_CHAR:
    case TYPE_INTEGER: case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME:
      return true;
    default:
      return (type >= TYPE_WORD && type <= TYPE_ISSUE) || series::any_string(type);
  }
}

// The hash of an indexed value; equal values under any search op hash alike. Other types hash
// by their type id alone.
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
}  // namespace

// ---- the index ----

void build_index(Cell* series) {
  NodeId index = memory::alloc_bytes(bytes_for(buckets::kMinBuckets, 0));
  series->data3 = index;
  refill(index, series);
}

namespace {
// A copy of an index, for a copy of the whole buffer.
NodeId copy_index(NodeId index) { return memory::copy_series(index); }
}  // namespace

void key_changed(NodeId text) { changed_keys[key_changes++ % kChangeLog] = text; }

void forget(const Cell* series, uint32_t position, uint32_t count) {
  NodeId index = index_of(series);
  if (!index) return;
  catch_up(index, series);
  for (uint32_t p = position; p < position + count; ++p) {
    const Cell* cell = cell_at(series, p);
    if (!indexed_type(cell->type())) continue;
    buckets::Slot slot = slot_of(index, of_value(cell));
    if (!slot.found || !remove_position(index, slot.bucket, p)) continue;
    Header* h = header_of(index);
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
  // What is left in the range are the old entries of changed text keys: they go too.
  remap_positions(index, [&](uint32_t p) {
    if (p < position) return p;
    return p >= position + count ? p - count : kDropped;
  });
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

// The positions of the sought hash are in order: a forward search tries them upward from
// `start`, the others downward from the end of their range, and the first that is on the
// grid and matches is the answer.
int32_t search(const Cell* series, const Cell* value, int32_t op, const Search& search,
               bool (*matches)(const Cell* stored, const Cell* sought, int32_t op)) {
  NodeId index = index_of(series);
  Cell sought = *value;
  catch_up(index, series);
  buckets::Slot slot = slot_of(index, of_value(&sought));
  if (!slot.found) return -1;
  bool downward = search.last || search.backward;
  uint32_t from = search.backward ? 0 : search.start;
  uint32_t below = search.backward ? search.start : search.end;
  Positions held = positions_of(index, slot.bucket);
  uint32_t low = uint32_t(std::lower_bound(held.first, held.end(), from) - held.first);
  uint32_t high = uint32_t(std::lower_bound(held.first, held.end(), below) - held.first);
  for (uint32_t k = 0; low + k < high; ++k) {
    // The block's compare may collect and move the index: the positions are found anew.
    uint32_t p = positions_of(index, slot.bucket).first[downward ? high - 1 - k : low + k];
    uint32_t offset = search.backward ? search.start - p : p - search.start;
    if (offset % search.skip) continue;
    Cell stored = *cell_at(series, p);
    if (matches(&stored, &sought, op)) return int32_t(p);
  }
  return -1;
}

// ---- actions ----

namespace {
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

// copy: a whole copy from head 0 takes a copy of the index, any other a new one. sort and
// trim are block!'s, whose index upkeep already re-indexes the range they rewrite.
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
}  // namespace

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
