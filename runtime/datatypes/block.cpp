// block!: make, to, the printed forms, compare, path steps, insertion and change, search,
// sorting, take, trim, copy and the set operations.
//
// Routines keep cells, node ids and positions across anything that can allocate (a nested
// mold, a comparison function, a grow), never addresses into a buffer.
#include "runtime/datatypes/block.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/hash.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/vector.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/datatypes/logic.h"
#include "runtime/io/lexer.h"
#include "runtime/memory/memory.h"
#include "runtime/memory/cycles.h"
#include "runtime/datatypes/runtime_words.h"
#include "runtime/tables/sort.h"

namespace xol::block {
namespace {
void select(Cell* series, Cell* value, const FindOptions& options, Cell* result);
}  // namespace


namespace {

constexpr uint64_t kMaxInsertCells = 1u << 27;   // an insertion never makes more cells at once
constexpr int32_t kDupForDoubling = 5;           // below this many copies, growth doubles
constexpr int32_t kDefaultCapacity = 1;


using series::raise_refine;

// Whether the items of a value are its cells (an any-block without `only`) or the value itself.
bool cells_of(const Cell& value, bool only) { return series::any_block(value.type()) && !only; }

// The number of cells of a value to insert: an any-block's cells from its head unless `only`,
// else the one cell.
uint32_t item_count(const Cell* value, bool only) {
  return cells_of(*value, only) ? length(value) : 1;
}

// The source of the `items` cells that an insertion or a change copies in, taken before the
// owner hears of the change and the target's buffer is reshaped: the value itself, or a copy of
// its cells in a series of their own when they lie in the target's buffer (the reshaping moves
// them, a change drops them, and only a series keeps what they refer to through a collection)
// or when the target is owned (the owner, told first, may change the value).
Cell items_source(const Cell* target, const Cell& value, bool only, uint32_t items) {
  bool exposed = value.node() == target->node() ||
                 (memory::buffer_of(target->node())->flags & memory::FLAG_OWNED);
  if (!cells_of(value, only) || !exposed) return value;
  Cell copied;
  series::copy_units(&value, head_position(&value), items, &copied);
  return copied;
}

// Copies the items of `source` into the gap of `items` x `dup` cells at `gap`, once the gap is
// open (the source's buffer may have moved while it opened).
void fill_gap(Cell* gap, const Cell& source, bool only, uint32_t items, uint32_t dup) {
  std::memcpy(gap, cells_of(source, only) ? head(&source) : &source, items * sizeof(Cell));
  memory::repeat_fill(reinterpret_cast<uint8_t*>(gap), items * sizeof(Cell), dup);
}

// The new cell count of an insertion, or internal `no-memory` when it is too large.
uint32_t checked_total(uint32_t items, int32_t dup, uint32_t present) {
  uint64_t total = uint64_t(items) * uint64_t(dup);
  if (total >= kMaxInsertCells || (total + present) * sizeof(Cell) > INT32_MAX)
    error::raise(error::CAT_INTERNAL, "no-memory");
  return uint32_t(total);
}

// ---- search ----

enum class Match { SINGLE, DATATYPE, TYPESET, SEQUENCE };

struct Found {
  int64_t position;   // -1 when nothing matched
  uint32_t length;    // cells the match covers
  uint32_t record;    // cells that /tail passes after a match
};

int32_t search_op(const FindOptions& options) {
  return options.same ? COMP_SAME : options.case_sensitive ? COMP_STRICT_EQUAL : COMP_SELECT;
}

// Whether the cells at `position` match.
bool matches_at(const Cell* series, uint32_t position, const Cell* value, Match mode, int32_t op,
                uint32_t sequence_length) {
  Cell stored = *abs_at(series, position);
  switch (mode) {
    case Match::DATATYPE:
      return stored.type() == value->data1;
    case Match::TYPESET:
      return type_in(value, stored.type());
    case Match::SINGLE:
      return values_match(&stored, value, op);
    case Match::SEQUENCE:
      for (uint32_t i = 0; i < sequence_length; ++i) {
        Cell wanted = *abs_at(value, head_position(value) + i);
        Cell at = *abs_at(series, position + i);
        if (!values_match(&at, &wanted, op)) return false;
      }
      return true;
  }
  return false;
}

Found find_in(const Cell* series, const Cell* value, const FindOptions& options) {
  constexpr Found kNone{-1, 0, 0};
  uint32_t units = series::buffer_units(series);
  uint32_t start = series::head_of(series);
  bool backward = options.last || options.reverse;
  if (units == 0 || (start >= units && !backward)) return kNone;
  uint32_t step = 1;
  if (options.skip) {
    if (!options.skip->is(TYPE_INTEGER)) raise_refine(options.skip, "skip");
    if (integer::get(options.skip) < 1)
      error::raise(error::CAT_SCRIPT, "out-of-range", options.skip);
    step = uint32_t(integer::get(options.skip));
  }
  uint32_t end = units;
  if (options.part) {
    int32_t count = series::part_count(series, options.part, ACT_FIND);
    if (count < 1) return kNone;
    end = uint32_t(std::min<int64_t>(int64_t(start) + count, units));
  }
  int32_t op = search_op(options);
  Match mode = Match::SINGLE;
  uint32_t length = 1;
  if (!options.only) {
    if (value->is(TYPE_DATATYPE)) mode = Match::DATATYPE;
    else if (value->is(TYPE_TYPESET)) mode = Match::TYPESET;
    else if (series::any_block(value->type())) mode = Match::SEQUENCE;
  }
  if (mode == Match::SEQUENCE) {
    length = block::length(value);
    if (length == 0) return kNone;
  }
  // After a match, /tail passes the sequence, or a whole record forward, or one cell backward.
  uint32_t record = mode == Match::SEQUENCE ? length : backward ? 1 : step;
  if (options.match) {
    bool hit = start + length <= end && matches_at(series, start, value, mode, op, length);
    return hit ? Found{start, length, record} : kNone;
  }
  if (mode == Match::SINGLE && hash::can_search(series, value)) {
    hash::Search search{start, end, step, options.last, options.reverse && !options.last};
    int32_t position = hash::search(series, value, op, search, values_match);
    return position < 0 ? kNone : Found{position, 1, record};
  }
  if (options.last) {
    if (end < start + length) return kNone;
    for (int64_t p = start + int64_t((end - length - start) / step) * step; p >= start; p -= step)
      if (matches_at(series, uint32_t(p), value, mode, op, length)) return Found{p, length, record};
    return kNone;
  }
  if (options.reverse) {
    // Records are counted back from the head: the first tested is the nearest record that the
    // match ends by, so /skip tests the first cells of records, as forward.
    int64_t back = int64_t((length + step - 1) / step) * step;
    for (int64_t p = int64_t(start) - back; p >= 0; p -= step)
      if (matches_at(series, uint32_t(p), value, mode, op, length)) return Found{p, length, record};
    return kNone;
  }
  for (uint64_t p = start; p + length <= end; p += step)
    if (matches_at(series, uint32_t(p), value, mode, op, length))
      return Found{int64_t(p), length, record};
  return kNone;
}

// ---- sort ----

// What the sort callback needs beyond its op and flags; one per running sort (a comparison
// function may sort again).
struct SortPlan {
  uint32_t skip;
  uint32_t offset;      // the compared cell within a record
  bool all;
  bool reverse;
  Cell function;        // unset when sorting by the compare actions
  Cell records[2];      // with /all and a function: blocks holding the two records
  Cell target;          // the series sorted, and the end of the sorted range in it
  uint32_t end;
};
SortPlan* active_plan = nullptr;

// Calls the comparison function, which may shorten the series: the sort would then go on over
// cells past its end, which the collector no longer keeps alive.
int32_t call_plan_function(const SortPlan& plan, const Cell* x, const Cell* y) {
  return series::call_sort_comparison(&plan.function, x, y, &plan.target, plan.end);
}

// The order of two cells under a sort op: their compare action's answer, or the difference of
// their type ids when they do not compare. Kept out of line so that order_cells stays small.
[[gnu::noinline]] int32_t order_by_action(const Cell* a, const Cell* b, int32_t op) {
  Cell x = *a, y = *b;
  int32_t answer = actions::get<ACT_COMPARE>(x.type())(&x, &y, op);
  if (answer == kNotComparable) return int32_t(x.type()) - int32_t(y.type());
  return answer;
}

// order_by_action, with two integers, chars or floats (most of what gets sorted) answered here
// as their compare actions answer them, without the lookup.
int32_t order_cells(const Cell* a, const Cell* b, int32_t op) {
  if (a->type() == b->type()) {
    switch (a->type()) {
      case TYPE_INTEGER:
        return number::three_way(integer::get(a), integer::get(b));
      case TYPE_CHAR:
        return number::three_way(int32_t(character::get(a)), int32_t(character::get(b)));
      case TYPE_FLOAT:
        return floating::compare_doubles(floating::get(a), floating::get(b), op);
      default:
        break;
    }
  }
  return order_by_action(a, b, op);
}

// The two records a comparison is asked about, exchanged under /reverse.
std::pair<const Cell*, const Cell*> records_of(const SortPlan& plan, const void* first,
                                               const void* second) {
  const Cell* a = static_cast<const Cell*>(first);
  const Cell* b = static_cast<const Cell*>(second);
  return plan.reverse ? std::pair(b, a) : std::pair(a, b);
}

// The order of two records of `count` cells by their first cells that differ.
[[gnu::noinline]] int32_t order_all_cells(const Cell* a, const Cell* b, uint32_t count,
                                          int32_t op) {
  for (uint32_t i = 0; i < count; ++i)
    if (int32_t answer = order_cells(a + i, b + i, op)) return answer;
  return 0;
}

// The comparison of a sort by the compare actions: by every cell of the records with /all,
// else by the compared one.
int32_t order_records(const void* first, const void* second, uint32_t op, uint32_t) {
  const SortPlan& plan = *active_plan;
  auto [a, b] = records_of(plan, first, second);
  if (plan.all) return order_all_cells(a, b, plan.skip, int32_t(op));
  return order_cells(a + plan.offset, b + plan.offset, int32_t(op));
}

// The comparison of a sort by a function, given the compared cells or, with /all, blocks
// holding the two records.
int32_t call_function(const void* first, const void* second, uint32_t, uint32_t) {
  SortPlan& plan = *active_plan;
  auto [a, b] = records_of(plan, first, second);
  if (plan.all && plan.skip > 1) {
    for (int side = 0; side < 2; ++side) cut_at(&plan.records[side], 0);
    std::vector<Cell> copies(a, a + plan.skip);
    copies.insert(copies.end(), b, b + plan.skip);
    for (uint32_t i = 0; i < plan.skip; ++i) {
      append_cell(&plan.records[0], &copies[i]);
      append_cell(&plan.records[1], &copies[plan.skip + i]);
    }
    return call_plan_function(plan, &plan.records[0], &plan.records[1]);
  }
  Cell x = a[plan.offset], y = b[plan.offset];
  return call_plan_function(plan, &x, &y);
}

// The body of a value that has one (object!, map!), through its reflect action.
void body_of(const Cell* value, Cell* result) {
  Cell field = word::load("body");
  Cell source = *value;
  actions::get<ACT_REFLECT>(source.type())(&source, &field, result);
}

// A copy of `cell` with the new-line flag of `original`.
Cell with_new_line_of(Cell cell, const Cell& original) {
  cell.header = (cell.header & ~kNewLineFlag) | (original.header & kNewLineFlag);
  return cell;
}

// Replaces every nested series of the block (from its head) by its deep copy.
void copy_nested(const Cell* block) {
  for (uint32_t i = head_position(block), count = series::buffer_units(block); i < count; ++i) {
    Cell nested = *abs_at(block, i);
    if (!series::is_series(nested.type())) continue;
    CopyRoutine copy_routine = actions::find<ACT_COPY>(nested.type());
    if (!copy_routine) continue;
    Cell copied;
    copy_routine(&nested, nullptr, true, nullptr, &copied);
    *abs_at(block, i) = with_new_line_of(copied, nested);
  }
}

}  // namespace

// ---- make and to ----

void make(const Cell*, const Cell* spec, TypeId type, Cell* result) {
  Cell source = *spec;
  switch (source.type()) {
    case TYPE_INTEGER:
    case TYPE_FLOAT: {
      double asked = source.is(TYPE_INTEGER) ? integer::get(&source) : source.float_value();
      int32_t capacity = asked < kDefaultCapacity ? kDefaultCapacity
                                                  : integer::from_double(asked);
      make_at(result, capacity);
      break;
    }
    case TYPE_OBJECT:
    case TYPE_MAP:
      body_of(&source, result);
      break;
    case TYPE_VECTOR:
      vector::to_block(&source, result);
      break;
    default:
      if (!series::any_block(source.type())) number::raise_bad_make_arg(type, &source);
      clone(&source, false, false, result);
      break;
  }
  cell::set_type(result, type);
  result->data3 = 0;
}

void to(const Cell*, const Cell* spec, TypeId type, Cell* result) {
  Cell source = *spec;
  switch (source.type()) {
    case TYPE_OBJECT:
    case TYPE_MAP:
      body_of(&source, result);
      break;
    case TYPE_TYPESET: {
      Cell made;
      make_at(&made, kDefaultCapacity);
      for (int32_t id = 1; id <= datatype::highest_type(); ++id)
        if (type_in(&source, TypeId(id))) append_cell(&made, &datatype::entry(id).word);
      *result = made;
      break;
    }
    case TYPE_VECTOR:
      vector::to_block(&source, result);
      break;
    case TYPE_STRING:
      lexer::scan_string(&source, nullptr, nullptr, nullptr, lexer::Mode{}, -1, result);
      break;
    default:
      if (series::any_block(source.type())) {
        clone(&source, false, false, result);
      } else {
        Cell made;
        make_at(&made, kDefaultCapacity);
        append_cell(&made, &source);
        *result = made;
      }
      break;
  }
  cell::set_type(result, type);
  result->header &= ~kNewLineFlag;
  result->data3 = 0;
}

// ---- printed forms ----

namespace {
int32_t form(const Cell* value, Cell* buffer, const Cell* argument, int32_t part) {
  if (cycles::detect(*value, buffer->node(), part, false)) return part;
  cycles::Visit visit(value->node());
  uint32_t first = head_position(value);
  for (uint32_t i = 0, count = length(value); i < count && part > 0; ++i) {
    if (i > 0) {
      uint32_t last = text::last_char(buffer);
      if (last != '\t' && last != '\n' && last != '\r') part = text::append_counted(buffer, " ", part);
    }
    Cell element = *abs_at(value, first + i);
    part = actions::get<ACT_FORM>(element.type())(&element, buffer, argument, part);
  }
  return part;
}
}  // namespace

int32_t mold_bracketed(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
                       const Cell* argument, int32_t part, int32_t indent, const char* open,
                       const char* close) {
  if (cycles::detect(*value, buffer->node(), part, true)) return part;
  if (!only) part = text::append_counted(buffer, open, part);
  part = mold_each(value, buffer, only, all, flat, argument, part, indent);
  if (!only) part = text::append_counted(buffer, close, part);
  return part;
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
             const Cell* argument, int32_t part, int32_t indent) {
  return mold_bracketed(value, buffer, only, all, flat, argument, part, indent, "[", "]");
}

// ---- compare and path steps ----

namespace {
int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  TypeId type1 = value1->type(), type2 = value2->type();
  bool paths = (op == COMP_FIND_STRICT || op == COMP_FIND) &&
               ((type1 == TYPE_PATH && type2 == TYPE_LIT_PATH) ||
                (type1 == TYPE_LIT_PATH && type2 == TYPE_PATH));
  if (type1 != type2 && !paths) return kNotComparable;
  return compare_each(value1, value2, op);
}
}  // namespace

void eval_path(const PathStep& step, Cell* result) {
  Cell parent = *step.parent;
  Cell element = *step.element;
  if (element.is(TYPE_INTEGER)) {
    if (step.value) {
      actions::get<ACT_POKE>(parent.type())(&parent, integer::get(&element), &element,
                                             step.value, result);
    } else {
      actions::get<ACT_PICK>(parent.type())(&parent, integer::get(&element), &element, result);
    }
    return;
  }
  if (!step.value) {
    if (element.is(TYPE_WORD) && !parent.is(TYPE_HASH)) {
      Cell* found = select_word(&parent, &element, step.case_sensitive);
      *result = found ? *found : none::make();
      return;
    }
    FindOptions options;
    options.only = true;
    options.case_sensitive = step.case_sensitive;
    select(&parent, &element, options, result);
    return;
  }
  FindOptions options;
  options.case_sensitive = step.case_sensitive;
  Found found = find_in(&parent, &element, options);
  if (found.position < 0) error::raise(error::CAT_SCRIPT, "bad-path-set", step.path, &element);
  Cell at = parent;
  at.data1 = 0;
  actions::get<ACT_POKE>(parent.type())(&at, int32_t(found.position + found.length) + 1, nullptr,
                                         step.value, result);
}

// ---- insertion and change ----

namespace {

// The common `append` of one value, once, to a block that no owner watches: the cell goes to
// the tail as the general path would put it, without the notice, the gap and the fill. False,
// having done nothing, for any other case.
bool append_directly(Cell* target, const Cell* value, const InsertOptions& options) {
  bool one_cell = options.only || !series::any_block(value->type());
  if (!one_cell || options.dup != 1 || options.part == 0) return false;
  const memory::SeriesBuffer* buffer = memory::buffer_of(target->node());
  if (buffer->flags & memory::FLAG_OWNED) return false;
  checked_total(1, 1, buffer->used_bytes() / sizeof(Cell));
  append_cell(target, value);
  target->data1 = 0;
  return true;
}

// The general `append` and `insert`: announced to an owner, any value, repeated for /dup. The
// target's head moves past what was inserted (to 0 for an append). Out of line, so that the
// common append through append_directly saves no registers for it.
[[gnu::noinline]] void insert_cells(Cell* target, const Cell* value,
                                    const InsertOptions& options, bool at_tail) {
  Cell item = *value;
  uint32_t items = item_count(&item, options.only);
  if (options.part >= 0 && uint32_t(options.part) < items) items = uint32_t(options.part);
  if (items == 0 || options.dup < 1) return;
  uint32_t units = series::buffer_units(target);
  if (target->data1 > units) target->data1 = units;
  uint32_t position = at_tail ? units : target->data1;
  uint32_t total = checked_total(items, options.dup, units);
  Cell source = items_source(target, item, options.only, items);
  series::Notice notice(target, at_tail ? ACT_APPEND : ACT_INSERT, &item, int32_t(position),
                        int32_t(total));
  Cell* gap = open_gap(target, position, total, options.dup < kDupForDoubling);
  fill_gap(gap, source, options.only, items, uint32_t(options.dup));
  hash::inserted(target, position, total);
  notice.done();
  if (at_tail) {
    target->data1 = 0;
  } else {
    target->data1 = std::min(position + total, series::buffer_units(target));
  }
}

// append (at_tail) and insert.
void insert(Cell* series, Cell* value, const InsertOptions& options, bool at_tail,
            Cell* result) {
  Cell target = *series;
  if (!(at_tail && append_directly(&target, value, options)))
    insert_cells(&target, value, options, at_tail);
  *result = target;
}
}  // namespace

bool append_at_tail(Cell* series, const Cell* value) {
  if (series->is(TYPE_HASH) || series::any_block(value->type()) ||
      actions::find<ACT_APPEND>(series->type()) != insert)
    return false;
  const memory::SeriesBuffer* buffer = memory::buffer_of(series->node());
  if ((buffer->flags & memory::FLAG_OWNED) || buffer->tail + sizeof(Cell) > buffer->size ||
      buffer->used_bytes() + sizeof(Cell) > INT32_MAX)
    return false;
  *buffer::append_unset(series->node()) = *value;   // with room, nothing moves
  series->data1 = 0;
  return true;
}

namespace {
void change(Cell* series, Cell* value, const InsertOptions& options, Cell* result) {
  Cell target = *series;
  Cell item = *value;
  uint32_t units = series::buffer_units(&target);
  if (target.data1 > units) target.data1 = units;
  if (options.dup < 1) {
    *result = target;
    return;
  }
  uint32_t position = target.data1;
  uint32_t left = units - position;
  uint32_t items = item_count(&item, options.only);
  uint32_t total = checked_total(items, options.dup, units);
  uint32_t replaced = std::min(options.part >= 0 ? uint32_t(options.part) : total, left);
  Cell source = items_source(&target, item, options.only, items);
  series::Notice notice(&target, ACT_CHANGE, &item, int32_t(position), int32_t(replaced));
  series::remove_units(&target, position, replaced);
  Cell* gap = open_gap(&target, position, total, false);
  fill_gap(gap, source, options.only, items, uint32_t(options.dup));
  hash::inserted(&target, position, total);
  notice.done();
  target.data1 = std::min(position + total, series::buffer_units(&target));
  *result = target;
}
}  // namespace

// ---- copy, take, trim ----

void copy(Cell* value, const Cell* part, bool deep, const Cell* types, Cell* result) {
  Cell source = *value;
  series::Range range = series::copy_range(&source, part);
  Cell made;
  series::copy_units(&source, range.start, range.count, &made);
  if (deep || types) {
    if (cycles::find(source.node())) error::raise(error::CAT_INTERNAL, "no-cycle");
    cycles::Visit visit(source.node());
    if (types) {
      find_type(&made, types);
    } else {
      copy_nested(&made);
    }
  }
  *result = made;
}

namespace {
void take(Cell* series, const Cell* part, bool deep, bool last, Cell* result) {
  Cell taken;
  series::take(series, part, deep, last, &taken);
  if (taken.is(TYPE_NONE)) {
    *result = taken;
    return;
  }
  if (deep) copy_nested(&taken);
  if (!part) {
    *result = length(&taken) > 0 ? *head(&taken) : none::make();
    return;
  }
  *result = taken;
}

void trim(Cell* series, const TrimOptions&, Cell* result) {
  Cell target = *series;
  uint32_t start = series::head_of(&target);
  uint32_t units = series::buffer_units(&target);
  series::Notice notice(&target, ACT_TRIM, nullptr, int32_t(start), int32_t(units - start));
  hash::forget(&target, start, units - start);
  uint32_t kept = start;
  for (uint32_t i = start; i < units; ++i) {
    Cell* cell = abs_at(&target, i);
    if (!cell->is(TYPE_NONE)) *abs_at(&target, kept++) = *cell;
  }
  cut_at(&target, kept);
  hash::remember(&target, start, kept - start);
  notice.done();
  *result = target;
}

// ---- search ----

void find(Cell* series, Cell* value, const FindOptions& options, Cell* result) {
  Cell target = *series;
  Cell sought = *value;
  Found found = find_in(&target, &sought, options);
  if (found.position < 0) {
    *result = none::make();
    return;
  }
  uint64_t position = uint64_t(found.position);
  if (options.tail)
    position = std::min<uint64_t>(position + found.record, series::buffer_units(&target));
  target.data1 = uint32_t(position);
  *result = target;
}

void select(Cell* series, Cell* value, const FindOptions& options, Cell* result) {
  Cell target = *series;
  Cell sought = *value;
  Found found = find_in(&target, &sought, options);
  uint64_t after = uint64_t(found.position) + found.length;
  if (found.position < 0 || after >= series::buffer_units(&target)) {
    *result = none::make();
    return;
  }
  *result = *abs_at(&target, uint32_t(after));
}

void put(Cell* series, Cell* key, Cell* value, bool case_sensitive, Cell* result) {
  Cell target = *series;
  Cell sought = *key;
  Cell stored = *value;
  FindOptions options;
  options.only = true;
  options.case_sensitive = case_sensitive;
  Found found = find_in(&target, &sought, options);
  series::Notice notice(&target, ACT_PUT, &stored, int32_t(found.position), 1);
  if (found.position < 0) {
    append_cell(&target, &sought);
    append_cell(&target, &stored);
  } else {
    uint32_t after = uint32_t(found.position) + 1;
    if (after >= series::buffer_units(&target)) {
      append_cell(&target, &stored);
    } else if (!values_match(abs_at(&target, after), &stored, COMP_SELECT)) {
      hash::forget(&target, after, 1);
      *abs_at(&target, after) = stored;
      hash::remember(&target, after, 1);
    }
  }
  notice.done();
  *result = stored;
}

// ---- sort and swap ----

void sort(Cell* series, const SortOptions& options, Cell* result) {
  Cell target = *series;
  *result = target;
  uint32_t units = series::buffer_units(&target);
  uint32_t start = series::head_of(&target);
  uint32_t count = units - start;
  if (options.part) {
    int32_t asked = series::part_count(&target, options.part, "part");
    if (asked < 0) {
      uint32_t back = std::min(uint32_t(-int64_t(asked)), start);
      start -= back;
      count = back;
    } else {
      count = std::min(count, uint32_t(asked));
    }
  }
  if (count == 0) return;
  SortPlan plan{1, 0, options.all, options.reverse, Cell{TYPE_UNSET, 0, 0, 0}, {}, target,
                start + count};
  if (options.skip) {
    int32_t size = options.skip->is(TYPE_INTEGER) ? integer::get(options.skip) : 0;
    if (size < 1 || count % uint32_t(size) != 0 || count < uint32_t(size))
      raise_refine(options.skip, "skip");
    plan.skip = uint32_t(size);
  } else if (options.all) {
    error::raise(error::CAT_SCRIPT, "bad-refines");
  }
  const series::SortComparison comparison = series::read_sort_comparison(options, plan.skip);
  plan.offset = comparison.offset;
  if (comparison.function) {
    plan.function = *comparison.function;
    if (plan.all && plan.skip > 1)
      for (Cell& record : plan.records) make_at(&record, int32_t(plan.skip));
  }
  uint32_t op = options.case_sensitive ? COMP_CASE_SORT : COMP_SORT;
  series::Notice notice(&target, ACT_SORT, nullptr, int32_t(start), int32_t(count));
  hash::forget(&target, start, count);
  series::ActiveSort active(active_plan, &plan);
  uint32_t offset = memory::buffer_of(target.node())->head + start * uint32_t(sizeof(Cell));
  uint32_t record_size = plan.skip * uint32_t(sizeof(Cell));
  bool by_function = !plan.function.is(TYPE_UNSET);
  sort::Compare compare = by_function ? call_function : order_records;
  sort::Comparisons comparisons =
      by_function ? sort::Comparisons::RUN_CODE : sort::Comparisons::BUILT_IN;
  sort::Target where = sort::Target::in_series(target.node(), offset, comparisons);
  if (options.stable) {
    sort::stable(where, count / plan.skip, record_size, op, 0, compare);
  } else {
    sort::unstable(where, count / plan.skip, record_size, op, 0, compare);
  }
  hash::remember(&target, start, count);
  notice.done();
}

void swap(Cell* series1, Cell* series2, Cell* result) {
  Cell first = *series1;
  Cell second = *series2;
  if (!series::any_block(second.type())) error::raise(error::CAT_SCRIPT, "invalid-arg", &second);
  if (!series::at_tail(&first) && !series::at_tail(&second)) {
    uint32_t a = series::head_of(&first), b = series::head_of(&second);
    series::Notice notice1(&first, ACT_SWAP, &second, int32_t(a), 1);
    series::Notice notice2(&second, ACT_SWAP, &first, int32_t(b), 1);
    // Each owner may have shortened the other series.
    series::require_units(&first, a + 1);
    series::require_units(&second, b + 1);
    hash::forget(&first, a, 1);
    hash::forget(&second, b, 1);
    std::swap(*abs_at(&first, a), *abs_at(&second, b));
    hash::remember(&first, a, 1);
    hash::remember(&second, b, 1);
    notice1.done();
    notice2.done();
  }
  *result = first;
}
}  // namespace

// ---- set operations ----

void do_set_op(const Cell* series1, const Cell* series2, bool case_sensitive, int32_t skip,
               MathOp op, Cell* result) {
  if (skip < 1) {
    Cell size = integer::make(skip);
    raise_refine(&size, "skip");
  }
  Cell first = *series1;
  Cell second = series2 ? *series2 : first;
  for (Cell* operand : {&first, &second})
    operand->data1 = series::head_of(operand);
  bool keeps_index = first.is(TYPE_HASH) || second.is(TYPE_HASH);
  uint32_t capacity = length(&first) + (op == OP_UNION ? length(&second) : 0);
  Cell made;
  make_at(&made, int32_t(capacity));
  cell::set_type(&made, TYPE_HASH);
  hash::build_index(&made);
  Cell record_size = integer::make(skip);
  FindOptions options;
  options.only = true;
  options.case_sensitive = case_sensitive;
  options.skip = &record_size;
  // Looks a key up in the other series; a block! gets a temporary index first.
  auto indexed = [](const Cell& operand) {
    if (operand.is(TYPE_HASH)) return operand;
    Cell copy;
    series::copy_units(&operand, series::head_of(&operand), length(&operand), &copy);
    cell::set_type(&copy, TYPE_HASH);
    hash::build_index(&copy);
    return copy;
  };
  auto pass = [&](const Cell& from, const Cell& other) {
    bool lookup = op == OP_INTERSECT || op == OP_EXCLUDE || op == OP_DIFFERENCE;
    Cell against = lookup ? indexed(other) : other;
    for (uint32_t p = head_position(&from), units = series::buffer_units(&from); p < units;
         p += uint32_t(skip)) {
      Cell key = *abs_at(&from, p);
      if (lookup) {
        bool found = find_in(&against, &key, options).position >= 0;
        if (found != (op == OP_INTERSECT)) continue;
      }
      Cell at_start = made;
      at_start.data1 = 0;
      if (find_in(&at_start, &key, options).position >= 0) continue;
      for (uint32_t i = p; i < std::min(p + uint32_t(skip), units); ++i) {
        Cell cell = *abs_at(&from, i);
        append_cell(&made, &cell);
      }
    }
  };
  pass(first, second);
  if (op == OP_UNION || op == OP_DIFFERENCE) pass(second, first);
  Cell answer = made;
  answer.header = first.header;
  answer.data3 = keeps_index && first.is(TYPE_HASH) ? made.data3 : 0;
  *result = answer;
}

void init() {
  using actions::own;
  datatype::register_type(
      TYPE_BLOCK, TYPE_SERIES, "block!",
      actions::ActionList()
          .own(own<ACT_MAKE>(make))
          .own(own<ACT_TO>(to))
          .own(own<ACT_FORM>(form))
          .own(own<ACT_MOLD>(mold))
          .own(own<ACT_EVAL_PATH>(eval_path))
          .own(own<ACT_COMPARE>(compare))
          .own(own<ACT_APPEND>(insert))
          .own(own<ACT_CHANGE>(change))
          .own(own<ACT_COPY>(copy))
          .own(own<ACT_FIND>(find))
          .own(own<ACT_INSERT>(insert))
          .own(own<ACT_PUT>(put))
          .own(own<ACT_SELECT>(select))
          .own(own<ACT_SORT>(sort))
          .own(own<ACT_SWAP>(swap))
          .own(own<ACT_TAKE>(take))
          .own(own<ACT_TRIM>(trim))
          .inherit({ACT_RANDOM, ACT_REFLECT, ACT_AT, ACT_BACK, ACT_CLEAR, ACT_HEAD, ACT_HEAD_Q,
                    ACT_INDEX_Q, ACT_LENGTH_Q, ACT_MOVE, ACT_NEXT, ACT_PICK, ACT_POKE,
                    ACT_REMOVE, ACT_REVERSE, ACT_SKIP, ACT_TAIL, ACT_TAIL_Q, ACT_MODIFY}));
}

}  // namespace xol::block
