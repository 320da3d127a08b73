// series!: the shared series actions and their support routines.
//
// Routines work on positions in units and fetch the buffer again after anything that can
// allocate. Cells of any-block series go through the hash! index upkeep whenever they move or
// change; the other series have no index.
#include "runtime/datatypes/series.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/evaluator_hooks.h"
#include "runtime/datatypes/hash.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/vector.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/process/random.h"
#include "runtime/memory/memory.h"
#include "runtime/tables/murmur3.h"
#include "runtime/datatypes/owners.h"
#include "runtime/datatypes/runtime_words.h"
#include "runtime/text/string_widening.h"

namespace xol::series {

using memory::SeriesBuffer;

namespace {

constexpr uint32_t kCellUnit = sizeof(Cell);

SeriesBuffer* buffer(const Cell* series) { return memory::buffer_of(series->node()); }
uint32_t unit_of(const Cell* series) { return buffer(series)->unit(); }
uint8_t* unit_at(const Cell* series, uint32_t position) {
  SeriesBuffer* b = buffer(series);
  return b->head_ptr() + position * b->unit();
}


}  // namespace

// ---- element access by type ----

void store_element(const Cell* series, uint32_t position, const Cell* value) {
  if (unit_of(series) == kCellUnit) {
    Cell copy = *value;
    hash::forget(series, position, 1);
    *block::abs_at(series, position) = copy;
    hash::remember(series, position, 1);
    return;
  }
  if (series->is(TYPE_VECTOR)) {
    vector::store_element(series, position, value);
    return;
  }
  // A binary! stores the low byte of an integer! or a char!; text stores a char!.
  bool binary = series->is(TYPE_BINARY);
  if (!(value->is(TYPE_CHAR) || (binary && value->is(TYPE_INTEGER))))
    error::raise(error::CAT_SCRIPT, "invalid-arg", value);
  constexpr uint32_t kByteMask = 0xFF;
  if (binary) {
    *unit_at(series, position) = uint8_t(value->data2 & kByteMask);
    return;
  }
  string::overwrite_char(series->node(), buffer(series)->head / unit_of(series) + position,
                          value->data2);
}

namespace {

// Swaps two records of `size` units at absolute positions a and b.
void swap_units(const Cell* series, uint32_t a, uint32_t b, uint32_t size) {
  uint32_t unit = unit_of(series);
  hash::forget(series, a, size);
  hash::forget(series, b, size);
  std::swap_ranges(unit_at(series, a), unit_at(series, a) + size * unit, unit_at(series, b));
  hash::remember(series, a, size);
  hash::remember(series, b, size);
}

const Cell* notice_word(Action action, bool after) {
  struct Pair {
    Action action;
    const Cell* before;
    const Cell* after;
  };
  const words::Words& w = words::w;
  const Pair kPairs[] = {
      {ACT_APPEND, &w.append, &w.appended}, {ACT_INSERT, &w.insert, &w.inserted},
      {ACT_CHANGE, &w.change, &w.changed},  {ACT_CLEAR, &w.clear, &w.cleared},
      {ACT_MOVE, &w.move, &w.moved},        {ACT_POKE, &w.poke, &w.poked},
      {ACT_PUT, &w.put, &w.put_ed},         {ACT_REMOVE, &w.remove, &w.removed},
      {ACT_RANDOM, &w.random, &w.randomized}, {ACT_REVERSE, &w.reverse, &w.reversed},
      {ACT_SORT, &w.sort, &w.sorted},       {ACT_SWAP, &w.swap, &w.swaped},
      {ACT_TAKE, &w.take, &w.taken},        {ACT_TRIM, &w.trim, &w.trimmed},
  };
  for (const Pair& pair : kPairs)
    if (pair.action == action) return after ? pair.after : pair.before;
  return &w.change;
}

// The number of units that a `part` argument of take, remove, reverse or move names, cut to
// the units left after the head.
uint32_t part_units(const Cell* series, const Cell* part, Action action) {
  uint32_t left = buffer_units(series) - head_of(series);
  if (!part) return std::min(1u, left);
  int32_t count = part_count(series, part, action);
  return count < 1 ? 0 : std::min(uint32_t(count), left);
}

// The type of the values that the units of a series other than an any-block stand for, as
// move sees them: a vector!'s element type, integers for binary!, chars for text.
TypeId element_kind(const Cell* series) {
  if (series->is(TYPE_VECTOR)) return vector::element_type(series);
  return series->is(TYPE_BINARY) ? TYPE_INTEGER : TYPE_CHAR;
}

}  // namespace

void raise_refine(const Cell* argument, const char* refinement) {
  Cell word = word::load(refinement);
  error::raise(error::CAT_SCRIPT, "invalid-refine-arg", argument, &word);
}

// ---- support routines ----

Cell element_at(const Cell* series, uint32_t position) {
  if (unit_of(series) == kCellUnit) return *block::abs_at(series, position);
  if (series->is(TYPE_VECTOR)) return vector::element_at(series, position);
  uint32_t value = string::get_char(unit_at(series, position), unit_of(series));
  if (series->is(TYPE_BINARY)) return integer::make(int32_t(value));
  return Cell{TYPE_CHAR, 0, value, 0};
}

uint32_t buffer_units(const Cell* series) { return buffer(series)->length(); }

void require_units(const Cell* series, uint32_t units) {
  if (buffer_units(series) < units) error::raise(error::CAT_SCRIPT, "past-end");
}

uint32_t head_of(const Cell* series) {
  return std::min(series->head_index(), buffer_units(series));
}

bool at_tail(const Cell* series) { return series->head_index() >= buffer_units(series); }

namespace {
// Moves the head by n units when that stays within the buffer; true when the attempted
// position is at or past the tail.
bool skip_within(Cell* series, int32_t n) {
  int64_t target = int64_t(series->head_index()) + n;
  int64_t units = buffer_units(series);
  if (target >= 0 && target <= units) series->data1 = uint32_t(target);
  return target >= units;
}

// The `at` (base 1) and `skip` (base 0) rule: the new head for an integer! index, clamped to
// the buffer. A non-integer raises script `invalid-arg`.
void clip_index(Cell* series, const Cell* index, int32_t base) {
  if (!index->is(TYPE_INTEGER)) error::raise(error::CAT_SCRIPT, "invalid-arg", index);
  int64_t offset = integer::get(index);
  if (base == 1 && offset < 1) ++offset;
  int64_t target = int64_t(head_of(series)) + offset - base;
  series->data1 = uint32_t(std::clamp<int64_t>(target, 0, buffer_units(series)));
}
}  // namespace

int32_t get_length(Cell* series, bool from_start) {
  uint32_t units = buffer_units(series);
  if (series->head_index() > units) {
    series->data1 = units;
    return 0;
  }
  return int32_t(from_start ? units : units - series->head_index());
}

int32_t part_count(const Cell* series, const Cell* part, const char* word) {
  if (part->is(TYPE_INTEGER)) return integer::get(part);
  if (part->type() != series->type() || part->node() != series->node())
    raise_refine(part, word);
  return int32_t(head_of(part)) - int32_t(head_of(series));
}

int32_t part_count(const Cell* series, const Cell* part, Action action) {
  return part_count(series, part, actions::action_word(action));
}

Range copy_range(const Cell* series, const Cell* part) {
  uint32_t head = head_of(series);
  uint32_t units = buffer_units(series);
  if (series->head_index() > units) return Range{units, 0};
  if (!part) return Range{head, units - head};
  if (part->is(TYPE_PAIR)) {
    int64_t from = pair::x(part), to = pair::y(part);
    int64_t start = from < 1 ? int64_t(head) + from : int64_t(head) + from - 1;
    start = std::clamp<int64_t>(start, 0, units);
    int64_t end = std::clamp<int64_t>(int64_t(head) + to - 1, start, units);
    return Range{uint32_t(start), uint32_t(end - start)};
  }
  int32_t count = part_count(series, part, ACT_COPY);
  if (count < 0) {
    uint32_t back = std::min(uint32_t(-int64_t(count)), head);
    return Range{head - back, back};
  }
  return Range{head, std::min(uint32_t(count), units - head)};
}

void copy_units(const Cell* source, uint32_t start, uint32_t count, Cell* result) {
  Cell origin = *source;
  NodeId node = series::copy_part(origin.node(), start, count);
  uint32_t subtype = origin.is(TYPE_VECTOR) ? origin.data3 : 0;
  *result = Cell{origin.header, 0, node, subtype};
}

uint8_t* open_gap(const Cell* series, uint32_t position, uint32_t count, bool doubled) {
  SeriesBuffer* b = buffer(series);
  uint32_t unit = b->unit();
  uint64_t needed = uint64_t(b->used_bytes()) + uint64_t(count) * unit;
  if (b->head + needed > b->size) {
    uint64_t size = memory::grown_size(b->size, needed);
    if (doubled) size = std::min(std::max(size, needed * 2), memory::kMaxBufferSize);
    b = memory::grow_series(b, size);
  }
  uint8_t* at = b->head_ptr() + position * unit;
  std::memmove(at + count * unit, at, b->used_bytes() - position * unit);
  b->tail += count * unit;
  return at;
}

void remove_units(const Cell* series, uint32_t start, uint32_t count) {
  SeriesBuffer* b = buffer(series);
  uint32_t units = b->length();
  if (start >= units || count == 0) return;
  count = std::min(count, units - start);
  hash::removing(series, start, count);
  b = buffer(series);
  uint32_t unit = b->unit();
  uint8_t* at = b->head_ptr() + start * unit;
  std::memmove(at, at + count * unit, (units - start - count) * unit);
  b->tail -= count * unit;
}

// ---- change notification ----

void Notice::announce(bool after) const {
  if (watched_ & memory::FLAG_HASH_KEY) hash::key_changed(series_->node());
  if (!(watched_ & memory::FLAG_OWNED)) return;
  const uint32_t units = buffer_units(series_);
  ownership::check(series_, notice_word(action_, after), value_, index_, part_);
  if (!after) require_units(series_, units);
}

// ---- comparison functions ----

int32_t call_comparison(const Cell* function, const Cell* a, const Cell* b) {
  Cell answer;
  evaluator_hooks::call_comparison(function, a, b, &answer);
  constexpr int32_t kFirstFirst = -1, kSecondFirst = 1;
  switch (answer.type()) {
    case TYPE_LOGIC:
      return logic::get(&answer) ? kFirstFirst : kSecondFirst;
    case TYPE_INTEGER:
      return integer::sign(integer::get(&answer));
    case TYPE_FLOAT: {
      double value = answer.float_value();
      return value < 0 ? kFirstFirst : value > 0 ? kSecondFirst : 0;
    }
    case TYPE_NONE:
      return kSecondFirst;
    default:
      return kFirstFirst;   // any other value counts as true
  }
}

SortComparison read_sort_comparison(const SortOptions& options, uint32_t skip) {
  const Cell* compare = options.compare;
  if (!compare) return {};
  if (compare->is(TYPE_INTEGER)) {
    if (!options.skip || options.all) error::raise(error::CAT_SCRIPT, "bad-refines");
    int32_t position = integer::get(compare);
    if (position < 1 || uint32_t(position) > skip)
      error::raise(error::CAT_SCRIPT, "out-of-range", compare);
    return {nullptr, uint32_t(position - 1)};
  }
  if (!is_function_type(compare->type())) raise_refine(compare, "compare");
  return {compare, 0};
}

int32_t call_sort_comparison(const Cell* function, const Cell* a, const Cell* b,
                             const Cell* sorted, uint32_t end) {
  int32_t order = call_comparison(function, a, b);
  require_units(sorted, end);
  return order;
}

// ---- navigation and queries ----

namespace {
void at(Cell* series, Cell* index, Cell* result) {
  Cell moved = *series;
  clip_index(&moved, index, 1);
  *result = moved;
}

void skip(Cell* series, Cell* count, Cell* result) {
  Cell moved = *series;
  clip_index(&moved, count, 0);
  *result = moved;
}

void back(Cell* series, Cell* result) {
  Cell moved = *series;
  if (moved.data1 > 0) --moved.data1;
  *result = moved;
}

void next(Cell* series, Cell* result) {
  Cell moved = *series;
  skip_within(&moved, 1);
  *result = moved;
}

void head(Cell* series, Cell* result) {
  Cell moved = *series;
  moved.data1 = 0;
  *result = moved;
}

void tail(Cell* series, Cell* result) {
  Cell moved = *series;
  moved.data1 = buffer_units(&moved);
  *result = moved;
}

void head_q(Cell* series, Cell* result) { *result = logic::make(series->head_index() == 0); }

void tail_q(Cell* series, Cell* result) { *result = logic::make(at_tail(series)); }

void index_q(Cell* series, Cell* result) {
  *result = integer::make(int32_t(series->head_index()) + 1);
}

int32_t length_q(const Cell* series) {
  Cell cell = *series;
  return get_length(&cell, false);
}

// ---- element access ----

// The absolute position that pick and poke address, or -1 when outside the buffer.
int64_t element_position(const Cell* series, int32_t index) {
  if (index == 0) return -1;
  int64_t position = int64_t(series->head_index()) + index - (index > 0 ? 1 : 0);
  if (position < 0 || position >= buffer_units(series)) return -1;
  return position;
}

void pick(Cell* series, int32_t index, const Cell*, Cell* result) {
  int64_t position = element_position(series, index);
  *result = position < 0 ? none::make() : element_at(series, uint32_t(position));
}

void poke(Cell* series, int32_t index, const Cell* index_cell, Cell* value, Cell* result) {
  int64_t position = element_position(series, index);
  if (position < 0) {
    Cell index_value = index_cell ? *index_cell : integer::make(index);
    error::raise(error::CAT_SCRIPT, "out-of-range", &index_value);
  }
  Cell stored = *value;
  Notice notice(series, ACT_POKE, &stored, int32_t(position), 1);
  store_element(series, uint32_t(position), &stored);
  notice.done();
  *result = stored;
}

// ---- modification ----

void clear(Cell* series, Cell* result) {
  uint32_t units = buffer_units(series);
  uint32_t head = head_of(series);
  if (head < units) {
    Notice notice(series, ACT_CLEAR, nullptr, int32_t(head), int32_t(units - head));
    remove_units(series, head, units - head);
    notice.done();
  }
  *result = *series;
}

void remove(Cell* series, const Cell* part, const Cell* key, Cell* result) {
  Cell target = *series;
  uint32_t count = 1;
  if (part) {
    int32_t asked = part_count(&target, part, ACT_REMOVE);
    if (asked < 1) {
      *result = target;
      return;
    }
    count = uint32_t(asked);
  }
  if (key) {
    FindOptions options;
    options.only = true;
    Cell found;
    Cell sought = *key;
    actions::get<ACT_FIND>(target.type())(&target, &sought, options, &found);
    if (found.is(TYPE_NONE)) {
      *result = found;
      return;
    }
    Cell at_key = target;
    at_key.data1 = found.head_index();
    Notice notice(&target, ACT_REMOVE, nullptr, int32_t(at_key.data1), int32_t(count + 1));
    remove_units(&target, at_key.data1, count + 1);
    notice.done();
    *result = target;
    return;
  }
  uint32_t head = head_of(&target);
  uint32_t units = buffer_units(&target);
  if (head < units) {
    count = std::min(count, units - head);
    Notice notice(&target, ACT_REMOVE, nullptr, int32_t(head), int32_t(count));
    remove_units(&target, head, count);
    notice.done();
  }
  *result = target;
}

void reverse(Cell* series, const Cell* part, const Cell* skip_size, Cell* result) {
  Cell target = *series;
  *result = target;
  if (at_tail(&target)) return;
  uint32_t head = head_of(&target);
  uint32_t range = buffer_units(&target) - head;
  if (part) {
    int32_t count = part_count(&target, part, ACT_REVERSE);
    if (count < 1) return;
    range = std::min(range, uint32_t(count));
  }
  uint32_t size = 1;
  if (skip_size) {
    if (!skip_size->is(TYPE_INTEGER)) raise_refine(skip_size, "skip");
    int32_t asked = integer::get(skip_size);
    if (asked == int32_t(range)) return;
    if (asked < 1) error::raise(error::CAT_SCRIPT, "out-of-range", skip_size);
    if (uint32_t(asked) > range || range % uint32_t(asked) != 0) raise_refine(skip_size, "skip");
    size = uint32_t(asked);
  }
  Notice notice(&target, ACT_REVERSE, nullptr, int32_t(head), int32_t(range));
  for (uint32_t low = head, high = head + range - size; low < high; low += size, high -= size)
    swap_units(&target, low, high, size);
  notice.done();
}
}  // namespace

void take(Cell* series, const Cell* part, bool, bool last, Cell* result) {
  Cell source = *series;
  if (length_q(&source) < 1) {
    *result = none::make();
    return;
  }
  uint32_t head = head_of(&source);
  uint32_t units = buffer_units(&source);
  uint32_t left = units - head;
  uint32_t start, count;
  if (!part) {
    count = 1;
    start = last ? units - 1 : head;
  } else {
    int64_t asked;
    if (part->is(TYPE_INTEGER)) {
      asked = integer::get(part);
    } else {
      part_count(&source, part, ACT_TAKE);   // checks the type and the buffer
      int64_t other = head_of(part);
      asked = last ? int64_t(units) - other : other < head ? 0 : other - int64_t(head);
    }
    if (asked > 0) {
      count = std::min<uint64_t>(uint64_t(asked), left);
      start = last ? units - count : head;
    } else if (last || head == 0) {
      copy_units(&source, head, 0, result);
      return;
    } else {
      count = std::min<uint64_t>(asked == 0 ? 1 : uint64_t(-asked), head);
      start = head - count;
    }
  }
  Notice notice(&source, ACT_TAKE, nullptr, int32_t(start), int32_t(count));
  Cell taken;
  copy_units(&source, start, count, &taken);
  remove_units(&source, start, count);
  if (taken.is(TYPE_HASH)) hash::build_index(&taken);
  notice.done();
  *result = taken;
}

namespace {
void copy(Cell* series, const Cell* part, bool, const Cell*, Cell* result) {
  Range range = copy_range(series, part);
  copy_units(series, range.start, range.count, result);
}

void move(Cell* origin, Cell* target, const Cell* part, Cell* result) {
  if (!is_series(target->type())) {
    Cell name = word::load(actions::action_word(ACT_MOVE));
    Cell type = datatype::make(target->type());
    Cell argument = word::load("target");
    error::raise(error::CAT_SCRIPT, "expect-arg", &name, &type, &argument);
  }
  Cell from = *origin;
  Cell to = *target;
  *result = to;
  if (at_tail(&from)) return;
  uint32_t count = part_units(&from, part, ACT_MOVE);
  if (count < 1) return;
  uint32_t start = head_of(&from);
  if (from.node() != to.node()) {
    bool block_from = any_block(from.type()), block_to = any_block(to.type());
    bool units_differ = unit_of(&from) != unit_of(&to);
    bool fixed_units = from.is(TYPE_BINARY) || to.is(TYPE_BINARY) || from.is(TYPE_VECTOR) ||
                       to.is(TYPE_VECTOR);
    // Units of one size may still stand for values of other types (an integer and a float).
    bool kinds_differ = (from.is(TYPE_VECTOR) || to.is(TYPE_VECTOR)) &&
                        element_kind(&from) != element_kind(&to);
    if (block_from != block_to || (units_differ && fixed_units) || kinds_differ) {
      Cell type1 = datatype::make(from.type()), type2 = datatype::make(to.type());
      error::raise(error::CAT_SCRIPT, "move-bad", &type1, &type2);
    }
    Notice origin_notice(&from, ACT_MOVE, nullptr, int32_t(start), int32_t(count));
    Notice target_notice(&to, ACT_MOVE, nullptr, int32_t(head_of(&to)), int32_t(count));
    require_units(&from, start + count);   // the target's owner may have shortened the origin
    uint32_t at = head_of(&to);
    if (units_differ) {
      for (uint32_t i = 0; i < count; ++i) {
        uint32_t cp = string::get_char(unit_at(&from, start + i), unit_of(&from));
        string::insert_char(to.node(), buffer(&to)->head / unit_of(&to) + at + i, cp);
      }
    } else {
      uint8_t* gap = open_gap(&to, at, count, true);
      std::memcpy(gap, unit_at(&from, start), count * unit_of(&from));
      hash::inserted(&to, at, count);
    }
    remove_units(&from, start, count);
    origin_notice.done();
    target_notice.done();
    return;
  }
  uint32_t units = buffer_units(&from);
  uint32_t destination = std::min(to.head_index(), units);
  if (destination == start) return;
  if (destination > start && destination - start < count) return;  // the target lies inside
  Notice notice(&from, ACT_MOVE, nullptr, int32_t(start), int32_t(count));
  uint32_t unit = unit_of(&from);
  std::vector<uint8_t> moving(unit_at(&from, start), unit_at(&from, start) + count * unit);
  hash::moved(&from, start, count, destination);
  uint8_t* base = buffer(&from)->head_ptr();
  if (destination > start) {
    uint32_t shift = destination - start - count;
    std::memmove(base + start * unit, base + (start + count) * unit, shift * unit);
    std::memcpy(base + (start + shift) * unit, moving.data(), count * unit);
  } else {
    std::memmove(base + (destination + count) * unit, base + destination * unit,
                 (start - destination) * unit);
    std::memcpy(base + destination * unit, moving.data(), count * unit);
  }
  notice.done();
}

void random(Cell* series, bool seed, bool secure, bool only, Cell* result) {
  Cell target = *series;
  uint32_t head = head_of(&target);
  uint32_t units = buffer_units(&target);
  uint32_t unit = unit_of(&target);
  if (seed) {
    xol::random::seed(hash::murmur3(unit_at(&target, head), (units - head) * unit));
    cell::set_unset(result);
    return;
  }
  if (only) {
    if (head >= units) {
      *result = none::make();
      return;
    }
    int32_t drawn = xol::random::integer(secure, int32_t(units - head));
    *result = element_at(&target, head + uint32_t(drawn) - 1);
    return;
  }
  Notice notice(&target, ACT_RANDOM, nullptr, int32_t(head), int32_t(units - head));
  for (uint32_t i = head; i + 1 < units; ++i) {
    uint32_t other = i + uint32_t(xol::random::integer(secure, int32_t(units - i))) - 1;
    if (other != i) swap_units(&target, i, other, 1);
  }
  notice.done();
  *result = target;
}

void reflect(Cell* series, const Cell* field, Cell* result) {
  if (!field->is(TYPE_WORD) || symbol::resolve(word::symbol_of(field)) !=
                                   symbol::resolve(words::sym.owned))
    error::raise(error::CAT_INTERNAL, "not-done");
  const Cell* owner = ownership::find(series->node());
  *result = owner ? *owner : none::make();
}

void modify(Cell* series, Cell* field, Cell* value, bool, Cell* result) {
  Cell target = *series;
  bool owned_field = field->is(TYPE_WORD) && word::is_named(field, words::sym.owned);
  if (owned_field) {
    if (value->is(TYPE_NONE)) {
      ownership::unbind(&target);
    } else if (any_block(value->type()) && block::length(value) >= 2) {
      Cell owner = *block::head(value);
      Cell word = *(block::head(value) + 1);
      if (owner.is(TYPE_OBJECT) && word::any_word_type(word.type()))
        ownership::set_deep(&target, &owner, &word);
    }
  }
  *result = target;
}
}  // namespace

void init() {
  using actions::own;
  datatype::register_type(TYPE_SERIES, 0, "series!",
                          actions::ActionList()
                              .own(own<ACT_RANDOM>(random))
                              .own(own<ACT_REFLECT>(reflect))
                              .own(own<ACT_AT>(at))
                              .own(own<ACT_BACK>(back))
                              .own(own<ACT_CLEAR>(clear))
                              .own(own<ACT_COPY>(copy))
                              .own(own<ACT_HEAD>(head))
                              .own(own<ACT_HEAD_Q>(head_q))
                              .own(own<ACT_INDEX_Q>(index_q))
                              .own(own<ACT_LENGTH_Q>(length_q))
                              .own(own<ACT_MOVE>(move))
                              .own(own<ACT_NEXT>(next))
                              .own(own<ACT_PICK>(pick))
                              .own(own<ACT_POKE>(poke))
                              .own(own<ACT_REMOVE>(remove))
                              .own(own<ACT_REVERSE>(reverse))
                              .own(own<ACT_SKIP>(skip))
                              .own(own<ACT_TAIL>(tail))
                              .own(own<ACT_TAIL_Q>(tail_q))
                              .own(own<ACT_TAKE>(take))
                              .own(own<ACT_MODIFY>(modify)));
}

}  // namespace xol::series
