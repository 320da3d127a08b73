// map!: pairs in a block, keys indexed by a kind-1 hash table; every walk skips removed pairs.
#include "runtime/datatypes/map.h"

#include "runtime/memory/collector.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/number.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/datatypes/logic.h"
#include "runtime/tables/hash_table.h"
#include "runtime/memory/memory.h"
#include "runtime/memory/cycles.h"
#include "runtime/datatypes/runtime_words.h"
#include "runtime/datatypes/string_storage.h"

namespace xol::map {
namespace {
Cell normalise_key(const Cell* key);
void copy(Cell* map, const Cell* part, bool deep, const Cell* types, Cell* result);
}  // namespace


namespace {

constexpr uint32_t kPairCells = 2;
constexpr uint32_t kRemovedHeader = 0;   // the value cell of a removed pair


NodeId table_of(const Cell* map) { return map->data3; }
uint32_t pair_cells(const Cell* map) {
  return memory::buffer_of(hashtable::record(table_of(map))->keys)->length();
}
Cell* cell_at(const Cell* map, uint32_t position) {
  return hashtable::key_at(table_of(map), position);
}
bool removed_at(const Cell* map, uint32_t position) {
  return cell_at(map, position + 1)->header == kRemovedHeader;
}

// The position of the live pair whose key equals `key` under `op`; -1 when none.
int32_t live_lookup(const Cell* map, const Cell* key, int32_t op) {
  int32_t position = hashtable::find(table_of(map), key, uint32_t(op));
  return position >= 0 && !removed_at(map, uint32_t(position)) ? position : -1;
}
// The value of that pair, or none; the pair found is read once.
Cell value_or_none(const Cell* map, const Cell* key, int32_t op) {
  const int32_t position = hashtable::find(table_of(map), key, uint32_t(op));
  if (position < 0) return none::make();
  const Cell value = cell_at(map, uint32_t(position))[1];
  return value.header == kRemovedHeader ? none::make() : value;
}

int32_t lookup_op(bool case_sensitive, bool same = false) {
  return same ? COMP_SAME : case_sensitive ? COMP_STRICT_EQUAL : COMP_EQUAL;
}

// Stores `value` under `key`: over the value of a present (or removed) pair, else as a new pair
// in reusable cells or at the tail.
// A new key is indexed into the bucket where the lookup missed it, without a second probe.
void set_value(const Cell* map, const Cell* key, const Cell* value, bool case_sensitive) {
  Cell stored_value = *value;
  NodeId table = table_of(map);
  hashtable::Lookup found = hashtable::seek(table, key, uint32_t(lookup_op(case_sensitive)));
  if (found.position >= 0) {
    hashtable::revive_key(table, uint32_t(found.position));
    *cell_at(map, uint32_t(found.position) + 1) = stored_value;
    return;
  }
  Cell stored_key = normalise_key(key);
  int32_t position = hashtable::reusable_pair(table);
  Cell* cells;
  if (position < 0) {
    // The new pair goes where the tail was reserved.
    cells = reinterpret_cast<Cell*>(
        series::reserve_tail(hashtable::record(table)->keys, kPairCells * sizeof(Cell)));
    position = int32_t(pair_cells(map) - kPairCells);
  } else {
    cells = cell_at(map, uint32_t(position));
  }
  cells[0] = stored_key;
  cells[1] = stored_value;
  hashtable::put_missed(table, found, uint32_t(position));
}

// A stored key for a block handed out: string types as copies, since a change to the stored
// one would move its key under the index.
Cell detached_key(const Cell* key) {
  Cell given = *key;
  if (series::any_string(given.type()) || given.is(TYPE_BINARY))
    series::copy_units(&given, series::head_of(&given), series::buffer_units(&given) -
                                                            series::head_of(&given), &given);
  return given;
}

// Calls `visit(key, value)` for each live pair, in block order; copies, since a visit may
// allocate.
template <class Visit>
void each_pair(const Cell* map, Visit&& visit) {
  for (uint32_t p = 0; p + 1 < pair_cells(map); p += kPairCells) {
    if (removed_at(map, p)) continue;
    Cell key = *cell_at(map, p), value = *cell_at(map, p + 1);
    visit(key, value);
  }
}

bool field_is(const Cell* field, int32_t symbol) {
  return word::any_word_type(field->type()) && word::is_named(field, symbol);
}

void mark_map(const Cell& cell) {
  if (cell.data3 == kNoNode) return;
  hashtable::for_each_part(cell.data3, [](NodeId part) { collector::mark_node(part); });
  collector::mark_block(hashtable::record(cell.data3)->keys);
}

// Whether `map` holds a live pair of `key` and `value`, keys and values compared under `op`.
// The indexed lookup finds one key; without strictness the keys that differ from it only in
// letter case (make map! keeps such keys apart) are each tried too.
bool holds_pair(const Cell* map, const Cell& key, const Cell& value, int32_t op) {
  auto equal = [op](Cell a, Cell b) {
    return actions::get<ACT_COMPARE>(a.type())(&a, &b, op) == 0;
  };
  int32_t position = live_lookup(map, &key, op);
  if (position < 0) return false;
  if (equal(value, *cell_at(map, uint32_t(position) + 1))) return true;
  if (op == COMP_STRICT_EQUAL) return false;
  bool held = false;
  each_pair(map, [&](Cell stored_key, Cell stored_value) {
    held = held || (equal(stored_key, key) && equal(value, stored_value));
  });
  return held;
}

// The map made from a block of pairs: keys first looked up strictly, later values winning.
void from_block(const Cell* spec, Cell* result) {
  uint32_t cells = block::length(spec);
  if (cells % kPairCells != 0) error::raise(error::CAT_SCRIPT, "invalid-arg", spec);
  Cell made;
  make_at(&made, int32_t(cells / kPairCells));
  uint32_t first = block::head_position(spec);
  for (uint32_t i = 0; i < cells; i += kPairCells) {
    Cell key = *block::abs_at(spec, first + i), value = *block::abs_at(spec, first + i + 1);
    cell::clear_new_line(&key);
    cell::clear_new_line(&value);
    set_value(&made, &key, &value, true);
  }
  *result = made;
}

}  // namespace

Cell key_given_out(const Cell* key) {
  Cell given = detached_key(key);
  if (given.is(TYPE_SET_WORD)) cell::set_type(&given, TYPE_WORD);
  return given;
}

Cell* make_at(Cell* cell, int32_t capacity) {
  cell::set_unset(cell);
  uint32_t pairs = uint32_t(capacity < 1 ? 1 : capacity);
  NodeId table = hashtable::make(pairs * kPairCells, nullptr, hashtable::KIND_MAP, 0);
  *cell = Cell{TYPE_MAP, 0, hashtable::record(table)->keys, table};
  return cell;
}

int32_t count(const Cell* map) { return int32_t(hashtable::record(table_of(map))->count); }

bool valid_key_type(TypeId type) {
  switch (type) {
    case TYPE_CHAR: case TYPE_INTEGER: case TYPE_FLOAT: case TYPE_PAIR: case TYPE_PERCENT:
    case TYPE_TUPLE: case TYPE_BINARY: case TYPE_TIME: case TYPE_DATE: case TYPE_MONEY:
    case TYPE_POINT2D: case TYPE_POINT3D:
      return true;
    default:
      return series::any_string(type) || (type >= TYPE_WORD && type <= TYPE_ISSUE);
  }
}

namespace {
// The key as stored and looked up; a refused type raises script `invalid-path`.
Cell normalise_key(const Cell* key) {
  Cell stored = *key;
  if (!valid_key_type(stored.type())) {
    Cell type = datatype::make(stored.type());
    error::raise(error::CAT_SCRIPT, "invalid-path", &stored, &type);
  }
  cell::clear_new_line(&stored);
  if (stored.type() >= TYPE_WORD && stored.type() <= TYPE_GET_WORD) {
    cell::set_type(&stored, TYPE_SET_WORD);
  } else if (series::any_string(stored.type()) || stored.is(TYPE_BINARY)) {
    uint32_t head = series::head_of(&stored);
    series::copy_units(&stored, head, series::buffer_units(&stored) - head, &stored);
  }
  return stored;
}
}  // namespace

void extend_from_block(const Cell* map, const Cell* block, bool case_sensitive) {
  uint32_t cells = block::length(block);
  if (cells % kPairCells != 0) error::raise(error::CAT_SCRIPT, "invalid-arg", block);
  uint32_t first = block::head_position(block);
  for (uint32_t i = 0; i < cells; i += kPairCells) {
    Cell key = *block::abs_at(block, first + i), value = *block::abs_at(block, first + i + 1);
    set_value(map, &key, &value, case_sensitive);
  }
}

// ---- actions ----

void make(const Cell*, const Cell* spec, TypeId type, Cell* result) {
  Cell source = *spec;
  switch (source.type()) {
    case TYPE_INTEGER:
    case TYPE_FLOAT: {
      double asked = source.is(TYPE_INTEGER) ? integer::get(&source) : source.float_value();
      if (asked < 0) error::raise(error::CAT_SCRIPT, "out-of-range", &source);
      make_at(result, integer::from_double(asked));
      return;
    }
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH:
      from_block(&source, result);
      return;
    case TYPE_MAP:
      copy(&source, nullptr, false, nullptr, result);
      return;
    default: {
      Cell target = datatype::make(type);
      error::raise(error::CAT_SCRIPT, "bad-to-arg", &target, &source);
    }
  }
}

namespace {
void to(const Cell* prototype, const Cell* spec, TypeId type, Cell* result) {
  if (spec->is(TYPE_INTEGER) || spec->is(TYPE_FLOAT)) {
    Cell target = datatype::make(type);
    error::raise(error::CAT_SCRIPT, "bad-to-arg", &target, spec);
  }
  make(prototype, spec, type, result);
}
}  // namespace

void reflect(Cell* map, const Cell* field, Cell* result) {
  Cell source = *map;
  const words::Symbols& sym = words::sym;
  bool keys = field_is(field, sym.words), values = field_is(field, sym.values),
       body = field_is(field, sym.body);
  if (!keys && !values && !body) error::raise(error::CAT_INTERNAL, "not-done");
  Cell made;
  block::make_at(&made, count(&source) * int32_t(body ? kPairCells : 1));
  each_pair(&source, [&](Cell key, Cell value) {
    if (keys || body) {
      Cell given = body ? detached_key(&key) : key_given_out(&key);
      if (body) given.header |= kNewLineFlag;
      block::append_cell(&made, &given);
    }
    if (values || body) block::append_cell(&made, &value);
  });
  *result = made;
}

namespace {

int32_t form(const Cell* value, Cell* buffer, const Cell* argument, int32_t part) {
  if (cycles::detect(*value, buffer->node(), part, false)) return part;
  cycles::Visit visit(value->node());
  bool first = true;
  each_pair(value, [&](Cell key, Cell item) {
    if (part < 1) return;
    if (!first) part = text::append_counted(buffer, "\n", part);
    first = false;
    part = actions::get<ACT_MOLD>(key.type())(&key, buffer, false, false, false, argument, part, 0);
    part = text::append_counted(buffer, " ", part);
    part = actions::get<ACT_MOLD>(item.type())(&item, buffer, false, false, false, argument, part,
                                              0);
  });
  return part;
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
             const Cell* argument, int32_t part, int32_t indent) {
  if (cycles::detect(*value, buffer->node(), part, true)) return part;
  cycles::Visit visit(value->node());
  if (!only) part = text::append_counted(buffer, "#[", part);
  bool entries = count(value) > 0;
  if (entries && !flat && !only) part = text::append_counted(buffer, "\n", part);
  bool first = true;
  each_pair(value, [&](Cell key, Cell item) {
    if (part < 1) return;
    if (flat && !first) part = text::append_counted(buffer, " ", part);
    first = false;
    if (!flat) part = string::append_indent(buffer->node(), uint32_t(indent + 1), part);
    part = actions::get<ACT_MOLD>(key.type())(&key, buffer, false, all, flat, argument, part,
                                             indent + 1);
    part = text::append_counted(buffer, " ", part);
    part = actions::get<ACT_MOLD>(item.type())(&item, buffer, false, all, flat, argument, part,
                                              indent + 1);
    if (!flat) part = text::append_counted(buffer, "\n", part);
  });
  if (only) return part;
  if (entries && !flat && part > 0)
    part = string::append_indent(buffer->node(), uint32_t(indent), part);
  return text::append_counted(buffer, "]", part);
}
}  // namespace

void eval_path(const PathStep& step, Cell* result) {
  Cell map = *step.parent;
  Cell key = *step.element;
  if (step.value) {
    Cell value = *step.value;
    set_value(&map, &key, &value, step.case_sensitive);
    *result = value;
    return;
  }
  *result = value_or_none(&map, &key, lookup_op(step.case_sensitive));
}

namespace {
int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  if (!value2->is(TYPE_MAP)) return kNotComparable;
  NodeId node1 = value1->node(), node2 = value2->node();
  bool same_place = node1 == node2 && value1->head_index() == value2->head_index();
  switch (op) {
    case COMP_SORT:
    case COMP_CASE_SORT:
      return node1 < node2 ? -1 : node1 > node2 ? 1 : 0;
    case COMP_SAME:
      return same_place ? 0 : -1;
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SELECT:
      break;
    default:
      return kNotComparable;
  }
  if (same_place) return 0;
  if (cycles::find(node1)) return cycles::find(node2) ? 0 : -1;
  if (count(value1) != count(value2)) return 1;
  if (count(value1) == 0) return 0;
  cycles::Visit visit1(node1);
  cycles::Visit visit2(node2);
  int32_t pair_op = op == COMP_STRICT_EQUAL ? COMP_STRICT_EQUAL : COMP_EQUAL;
  int32_t answer = 0;
  Cell other = *value2;
  each_pair(value1, [&](Cell key, Cell item) {
    if (answer == 0 && !holds_pair(&other, key, item, pair_op)) answer = 1;
  });
  return answer;
}

void clear(Cell* map, Cell* result) {
  hashtable::clear(table_of(map));
  *result = *map;
}

void copy(Cell* map, const Cell*, bool deep, const Cell* types, Cell* result) {
  Cell source = *map;
  if ((deep || types) && cycles::find(source.node()))
    error::raise(error::CAT_INTERNAL, "no-cycle");
  cycles::Visit visit(source.node());
  NodeId pairs = series::copy_part(source.node(), 0, pair_cells(&source));
  NodeId table = hashtable::copy(table_of(&source), pairs);
  Cell made{TYPE_MAP, source.head_index(), pairs, table};
  if (deep || types) {
    for (uint32_t p = 0; p + 1 < pair_cells(&made); p += kPairCells) {
      if (removed_at(&made, p)) continue;
      Cell value = *cell_at(&made, p + 1);
      bool wanted = types ? block::type_in(types, value.type()) : series::is_series(value.type());
      CopyRoutine routine = actions::find<ACT_COPY>(value.type());
      if (!wanted || !routine) continue;
      Cell copied;
      routine(&value, nullptr, deep, nullptr, &copied);
      *cell_at(&made, p + 1) = copied;
    }
  }
  *result = made;
}

void find(Cell* map, Cell* key, const FindOptions& options, Cell* result) {
  int32_t position = live_lookup(map, key, lookup_op(options.case_sensitive, options.same));
  *result = position < 0 ? none::make() : key_given_out(cell_at(map, uint32_t(position)));
}

int32_t length_q(const Cell* map) { return count(map); }
}  // namespace

void put(Cell* map, Cell* key, Cell* value, bool case_sensitive, Cell* result) {
  Cell stored = *value;
  set_value(map, key, &stored, case_sensitive);
  *result = stored;
}

namespace {
void remove(Cell* map, const Cell*, const Cell* key, Cell* result) {
  if (!key) error::raise(error::CAT_SCRIPT, "missing-arg");
  Cell target = *map;
  // The key given exactly comes first: a key differing only in letter case may be another pair.
  int32_t position = live_lookup(&target, key, COMP_STRICT_EQUAL);
  if (position < 0) position = live_lookup(&target, key, COMP_EQUAL);
  if (position >= 0) hashtable::delete_key(table_of(&target), uint32_t(position));
  *result = target;
}
}  // namespace

void select(Cell* map, Cell* key, const FindOptions& options, Cell* result) {
  *result = value_or_none(map, key, lookup_op(options.case_sensitive, options.same));
}

void init() {
  using actions::own;
  datatype::register_type(TYPE_MAP, 0, "map!",
                          actions::ActionList()
                              .own(own<ACT_MAKE>(make))
                              .own(own<ACT_REFLECT>(reflect))
                              .own(own<ACT_TO>(to))
                              .own(own<ACT_FORM>(form))
                              .own(own<ACT_MOLD>(mold))
                              .own(own<ACT_EVAL_PATH>(eval_path))
                              .own(own<ACT_COMPARE>(compare))
                              .own(own<ACT_CLEAR>(clear))
                              .own(own<ACT_COPY>(copy))
                              .own(own<ACT_FIND>(find))
                              .own(own<ACT_LENGTH_Q>(length_q))
                              .own(own<ACT_PUT>(put))
                              .own(own<ACT_REMOVE>(remove))
                              .own(own<ACT_SELECT>(select)));
  collector::set_type_marking(TYPE_MAP, {collector::payload_word(2), 0, mark_map});
}

}  // namespace xol::map
