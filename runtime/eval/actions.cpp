// The action dispatchers: one per action with a word, each unpacking its refinement
// parameters into the typed options of its routine.
#include "runtime/eval/actions.h"

#include <algorithm>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/value_ops.h"
#include "runtime/datatypes/word.h"
#include "runtime/eval/call.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/stack.h"
#include "runtime/datatypes/runtime_words.h"

namespace xol::actions {
namespace {

// pick and poke count `false` as the second position.
constexpr int32_t kFalseIndex = 2;

inline Cell* arg(int32_t i) { return stack::arguments + i; }
// A refinement's argument cell, or null when the refinement was not used.
inline Cell* ref_arg(const int32_t* refs, int32_t i) {
  return refs[i] >= 0 ? stack::arguments + refs[i] : nullptr;
}
inline bool flag(const int32_t* refs, int32_t i) { return refs[i] >= 0; }

// A type without the action: the error names the call, the type and the first argument of
// the action's spec. The spec is the action value's under the action's own word, whatever name
// the call went through (an action called as a value has none: `apply :add [none 1]`).
[[noreturn]] void raise_missing(TypeId type, Action action) {
  const Cell name = stack::get_call();
  const Cell datatype = datatype::make(type);
  Cell argument{TYPE_NONE, 0, 0, 0};
  const Cell action_name = word::load(action_word(action));
  const Cell* value = word::get(&action_name);
  if (value->is(TYPE_ACTION) && natives::code_of(value) == action)
    argument = interpreter::nth_argument_word(value, 0);
  error::raise(error::CAT_SCRIPT, "expect-arg", &name, &datatype, &argument);
}

template <Action A>
typename ActionSignature<A>::type routine_for(const Cell* value) {
  typename ActionSignature<A>::type routine = find<A>(value->type());
  if (!routine) raise_missing(value->type(), A);
  return routine;
}

// ---- the shapes shared by many actions ----

template <Action A>
void unary(bool, const int32_t*) {
  routine_for<A>(arg(0))(arg(0), arg(0));
}
template <Action A>
void binary(bool, const int32_t*) {
  routine_for<A>(arg(0))(arg(0), arg(1), arg(0));
}
template <Action A>
void predicate(bool, const int32_t*) {
  const bool answer = routine_for<A>(arg(0))(arg(0));
  logic::box(arg(0), answer);
}

// make and to: a datatype! names the type whose routine runs; any other value is a prototype.
template <Action A>
void make_or_to(bool, const int32_t*) {
  const TypeId type = arg(0)->is(TYPE_DATATYPE) ? TypeId(arg(0)->data1) : arg(0)->type();
  const typename ActionSignature<A>::type routine = find<A>(type);
  if (!routine) raise_missing(type, A);
  routine(arg(0), arg(1), type, arg(0));
}

void random(bool, const int32_t* refs) {
  routine_for<ACT_RANDOM>(arg(0))(arg(0), flag(refs, 0), flag(refs, 1), flag(refs, 2), arg(0));
}

void reflect(bool, const int32_t*) { routine_for<ACT_REFLECT>(arg(0))(arg(0), arg(1), arg(0)); }

int32_t part_limit(const Cell* part) {
  return part ? call::float_to_integer(part) : kNoPartLimit;
}

void form(bool, const int32_t* refs) {
  const Cell value = *arg(0);
  values::form_value(&value, part_limit(ref_arg(refs, 0)), arg(0));
  stack::keep();
}

void mold(bool, const int32_t* refs) {
  const Cell value = *arg(0);
  values::mold_value(&value, flag(refs, 0), flag(refs, 1), flag(refs, 2),
                     part_limit(ref_arg(refs, 3)), arg(0));
  stack::keep();
}

void round(bool, const int32_t* refs) {
  RoundOptions options;
  options.to = ref_arg(refs, 0);
  options.even = flag(refs, 1);
  options.down = flag(refs, 2);
  options.half_down = flag(refs, 3);
  options.floor = flag(refs, 4);
  options.ceiling = flag(refs, 5);
  options.half_ceiling = flag(refs, 6);
  routine_for<ACT_ROUND>(arg(0))(arg(0), options, arg(0));
}

// ---- append, insert and change ----

bool any_series_with_buffer(const Cell* value) {
  switch (value->type()) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
    case TYPE_GET_PATH: case TYPE_HASH: case TYPE_STRING: case TYPE_FILE: case TYPE_URL:
    case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF: case TYPE_BINARY: case TYPE_VECTOR:
    case TYPE_IMAGE: case TYPE_MAP:
      return value->node() != kNoNode;
    default:
      return false;
  }
}

uint32_t units_of(const Cell* series) {
  const memory::SeriesBuffer* buffer = memory::buffer_of(series->node());
  return buffer->used_bytes() >> memory::SeriesBuffer::unit_shift(buffer->unit());
}

// The count a /part position names: the distance from `series`' head to its head, both clamped
// to the tail; a position in another series raises `invalid-refine-arg`.
int32_t position_count(Cell* series, const Cell* part) {
  if (!any_series_with_buffer(series) || part->type() != series->type() ||
      part->node() != series->node()) {
    Cell word = words::refs.part;
    cell::set_type(&word, TYPE_WORD);
    error::raise(error::CAT_SCRIPT, "invalid-refine-arg", &word, part);
  }
  const uint32_t tail = units_of(series);
  if (series->data1 > tail) series->data1 = tail;
  return int32_t(std::min(part->data1, tail)) - int32_t(series->data1);
}

// A negative /part count moves the head of `series` back by that many units, not below 0, and
// becomes the number of units moved.
int32_t move_head_back(Cell* series, int32_t count) {
  const int32_t head = int32_t(series->data1);
  const int32_t moved = head + count < 0 ? 0 : head + count;
  series->data1 = uint32_t(moved);
  return head - moved;
}

// The /dup count, false when it asks for no copies.
bool dup_option(const int32_t* refs, InsertOptions* options) {
  if (const Cell* dup = ref_arg(refs, 2)) options->dup = call::float_to_integer(dup);
  return options->dup >= 1;
}

// append and insert: /part counts the values taken from the value, whose head may move back
// for a negative count. False when nothing is to be inserted.
bool insert_options(const int32_t* refs, Cell* value, InsertOptions* options) {
  if (!dup_option(refs, options)) return false;
  const Cell* part = ref_arg(refs, 0);
  if (!part) return true;
  if (!any_series_with_buffer(value)) error::raise(error::CAT_SCRIPT, "invalid-part", part);
  int32_t count;
  if (part->is(TYPE_INTEGER)) {
    const uint32_t tail = units_of(value);
    if (value->data1 > tail) value->data1 = tail;
    count = integer::get(part);
  } else {
    count = position_count(value, part);
  }
  if (count < 0) count = move_head_back(value, count);
  if (count == 0) return false;
  options->part = count;
  return true;
}

// change: /part counts the units replaced in the changed series, whose head may move back for
// a negative count (a port or an image keeps its head and replaces nothing). False when no
// copies are asked for.
bool change_options(const int32_t* refs, Cell* series, InsertOptions* options) {
  if (!dup_option(refs, options)) return false;
  const Cell* part = ref_arg(refs, 0);
  if (!part) return true;
  int32_t count = part->is(TYPE_INTEGER) ? integer::get(part) : position_count(series, part);
  if (count < 0) {
    const bool movable = any_series_with_buffer(series) && !series->is(TYPE_IMAGE);
    count = movable ? move_head_back(series, count) : 0;
  }
  options->part = count;
  return true;
}

template <Action A>
void insert_like(bool, const int32_t* refs) {
  // The commonest calls of all, text or a char! appended to a string and one value appended to
  // a block, need no options (/only changes nothing for them).
  if constexpr (A == ACT_APPEND) {
    if (!flag(refs, 0) && !flag(refs, 2) && append_in_place(arg(0), arg(1))) return;
  }
  InsertOptions options;
  options.only = flag(refs, 1);
  // Without /part and /dup the value and the series go as they are.
  if (flag(refs, 0) || flag(refs, 2)) {
    Cell adjusted = A == ACT_CHANGE ? *arg(0) : *arg(1);
    const bool proceed = A == ACT_CHANGE ? change_options(refs, &adjusted, &options)
                                         : insert_options(refs, &adjusted, &options);
    if (!proceed) {
      stack::keep();
      return;
    }
    *(A == ACT_CHANGE ? arg(0) : arg(1)) = adjusted;
  }
  if constexpr (A == ACT_CHANGE) {
    routine_for<A>(arg(0))(arg(0), arg(1), options, arg(0));
  } else {
    routine_for<A>(arg(0))(arg(0), arg(1), options, A == ACT_APPEND, arg(0));
  }
}

// ---- series actions with options ----

void copy(bool, const int32_t* refs) {
  const Cell* types = ref_arg(refs, 2);
  if (types && !types->is(TYPE_DATATYPE) && !types->is(TYPE_TYPESET)) {
    const Cell name = stack::get_call();
    Cell datatype = datatype::make(types->type());
    Cell kind = word::load("kind");
    error::raise(error::CAT_SCRIPT, "expect-arg", &name, &datatype, &kind);
  }
  routine_for<ACT_COPY>(arg(0))(arg(0), ref_arg(refs, 0), flag(refs, 1), types, arg(0));
}

template <Action A>
void find_like(bool, const int32_t* refs) {
  FindOptions options;
  options.part = ref_arg(refs, 0);
  options.only = flag(refs, 1);
  options.case_sensitive = flag(refs, 2);
  options.same = flag(refs, 3);
  options.any = flag(refs, 4);
  options.with = ref_arg(refs, 5);
  options.skip = ref_arg(refs, 6);
  options.last = flag(refs, 7);
  options.reverse = flag(refs, 8);
  if constexpr (A == ACT_FIND) {
    options.tail = flag(refs, 9);
    options.match = flag(refs, 10);
  }
  routine_for<A>(arg(0))(arg(0), arg(1), options, arg(0));
}

void length_q(bool, const int32_t*) {
  const int32_t length = routine_for<ACT_LENGTH_Q>(arg(0))(arg(0));
  *arg(0) = length < 0 ? Cell{TYPE_NONE, 0, 0, 0} : integer::make(length);
}

void move(bool, const int32_t* refs) {
  routine_for<ACT_MOVE>(arg(0))(arg(0), arg(1), ref_arg(refs, 0), arg(0));
}

int32_t pick_index(const Cell* index) {
  switch (index->type()) {
    case TYPE_INTEGER: return integer::get(index);
    case TYPE_CHAR: return int32_t(character::get(index));
    case TYPE_LOGIC: return logic::get(index) ? 1 : kFalseIndex;
    default: return 0;
  }
}

void pick(bool, const int32_t*) {
  routine_for<ACT_PICK>(arg(0))(arg(0), pick_index(arg(1)), arg(1), arg(0));
}

void poke(bool, const int32_t*) {
  routine_for<ACT_POKE>(arg(0))(arg(0), pick_index(arg(1)), arg(1), arg(2), arg(0));
}

void put(bool, const int32_t* refs) {
  routine_for<ACT_PUT>(arg(0))(arg(0), arg(1), arg(2), flag(refs, 0), arg(0));
}

void remove(bool, const int32_t* refs) {
  routine_for<ACT_REMOVE>(arg(0))(arg(0), ref_arg(refs, 0), ref_arg(refs, 1), arg(0));
}

void reverse(bool, const int32_t* refs) {
  routine_for<ACT_REVERSE>(arg(0))(arg(0), ref_arg(refs, 0), ref_arg(refs, 1), arg(0));
}

void sort(bool, const int32_t* refs) {
  SortOptions options;
  options.case_sensitive = flag(refs, 0);
  options.skip = ref_arg(refs, 1);
  options.compare = ref_arg(refs, 2);
  options.part = ref_arg(refs, 3);
  options.all = flag(refs, 4);
  options.reverse = flag(refs, 5);
  options.stable = flag(refs, 6);
  routine_for<ACT_SORT>(arg(0))(arg(0), options, arg(0));
}

void take(bool, const int32_t* refs) {
  routine_for<ACT_TAKE>(arg(0))(arg(0), ref_arg(refs, 0), flag(refs, 1), flag(refs, 2), arg(0));
}

void trim(bool, const int32_t* refs) {
  TrimOptions options;
  options.head = flag(refs, 0);
  options.tail = flag(refs, 1);
  options.automatic = flag(refs, 2);
  options.lines = flag(refs, 3);
  options.all = flag(refs, 4);
  options.with = ref_arg(refs, 5);
  routine_for<ACT_TRIM>(arg(0))(arg(0), options, arg(0));
}

void modify(bool, const int32_t* refs) {
  routine_for<ACT_MODIFY>(arg(0))(arg(0), arg(1), arg(2), flag(refs, 0), arg(0));
}

void open(bool, const int32_t* refs) {
  OpenOptions options;
  options.create_new = flag(refs, 0);
  options.read = flag(refs, 1);
  options.write = flag(refs, 2);
  options.seek = flag(refs, 3);
  options.allow = ref_arg(refs, 4);
  routine_for<ACT_OPEN>(arg(0))(arg(0), options, arg(0));
}

void read(bool, const int32_t* refs) {
  ReadOptions options;
  options.part = ref_arg(refs, 0);
  options.seek = ref_arg(refs, 1);
  options.binary = flag(refs, 2);
  options.lines = flag(refs, 3);
  options.info = flag(refs, 4);
  options.as = ref_arg(refs, 5);
  routine_for<ACT_READ>(arg(0))(arg(0), options, arg(0));
}

void write(bool, const int32_t* refs) {
  WriteOptions options;
  options.binary = flag(refs, 0);
  options.lines = flag(refs, 1);
  options.info = flag(refs, 2);
  options.append = flag(refs, 3);
  options.part = ref_arg(refs, 4);
  options.seek = ref_arg(refs, 5);
  options.allow = ref_arg(refs, 6);
  options.as = ref_arg(refs, 7);
  routine_for<ACT_WRITE>(arg(0))(arg(0), arg(1), options, arg(0));
}

// The table, in action order; the internal actions 7-9 have no dispatcher.
constexpr natives::Routine kDispatchers[kActionCount] = {
    make_or_to<ACT_MAKE>, random, reflect, make_or_to<ACT_TO>, form, mold, nullptr, nullptr,
    nullptr, unary<ACT_ABSOLUTE>, binary<ACT_ADD>, binary<ACT_DIVIDE>, binary<ACT_MULTIPLY>,
    unary<ACT_NEGATE>, binary<ACT_POWER>, binary<ACT_REMAINDER>, round, binary<ACT_SUBTRACT>,
    predicate<ACT_EVEN>, predicate<ACT_ODD>, binary<ACT_AND>, unary<ACT_COMPLEMENT>,
    binary<ACT_OR>, binary<ACT_XOR>, insert_like<ACT_APPEND>, binary<ACT_AT>,
    unary<ACT_BACK>, insert_like<ACT_CHANGE>, unary<ACT_CLEAR>, copy, find_like<ACT_FIND>,
    unary<ACT_HEAD>, unary<ACT_HEAD_Q>, unary<ACT_INDEX_Q>, insert_like<ACT_INSERT>, length_q,
    move, unary<ACT_NEXT>, pick, poke, put, remove, reverse, find_like<ACT_SELECT>, sort,
    binary<ACT_SKIP>, binary<ACT_SWAP>, unary<ACT_TAIL>, unary<ACT_TAIL_Q>, take, trim,
    unary<ACT_CREATE>, unary<ACT_CLOSE>, unary<ACT_DELETE>, modify, open, unary<ACT_OPEN_Q>,
    unary<ACT_QUERY>, read, binary<ACT_RENAME>, unary<ACT_UPDATE>, write,
};

}  // namespace

bool append_in_place(Cell* series, const Cell* value) {
  return string::append_at_tail(series, value) || block::append_at_tail(series, value);
}

static_assert(kActionCount <= natives::kActionSlots, "the action table has a slot per action");

void register_dispatchers() {
  for (int32_t k = 1; k <= kActionCount; ++k) natives::set_action(k, kDispatchers[k - 1]);
}

// The /part limit reaches the routines as an argument too: with one, a large value stops at the
// limit instead of being printed whole and cut.
bool compare_values(const Cell* value1, const Cell* value2, int32_t op) {
  CompareRoutine compare = find<ACT_COMPARE>(value1->type());
  int32_t order = compare ? compare(value1, value2, op) : kNotComparable;
  if (order == kNotComparable) {
    if (op == COMP_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_SAME) return false;
    if (op == COMP_NOT_EQUAL) return true;
    error::raise(error::CAT_SCRIPT, "invalid-compare", value1, value2);
  }
  switch (op) {
    case COMP_EQUAL: case COMP_STRICT_EQUAL: case COMP_SAME: return order == 0;
    case COMP_NOT_EQUAL: return order != 0;
    case COMP_LESSER: return order < 0;
    case COMP_LESSER_EQUAL: return order <= 0;
    case COMP_GREATER: return order > 0;
    case COMP_GREATER_EQUAL: return order >= 0;
    default: rt::runtime_error(rt::RUNTIME_NO_CASE_MATCH, XOL_CALLER_ADDRESS);
  }
}

void compare_op(int32_t op) {
  const bool answer = compare_values(arg(0), arg(1), op);
  logic::box(arg(0), answer);
  stack::keep();
}

}  // namespace xol::actions
