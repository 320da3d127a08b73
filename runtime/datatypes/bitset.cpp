// bitset!: growth, the spec walker, the set operations, the printed form and the actions.
#include "runtime/datatypes/bitset.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/compound.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/datatypes/owners.h"
#include "runtime/memory/cycles.h"
#include "runtime/datatypes/runtime_words.h"
#include "runtime/text/hex.h"

namespace xol::bitset {
namespace {
uint8_t* grow_to(Cell* set, uint32_t n);
bool out_of_range(const Cell* set, int64_t n);
int64_t process_spec(const Cell* spec, Cell* set, WalkOp op, bool nested, Caller caller);
Cell copy_of(const Cell* set);
void pick(Cell* series, int32_t index, const Cell* index_cell, Cell* result);
void poke(Cell* series, int32_t index, const Cell* index_cell, Cell* value, Cell* result);

using memory::SeriesBuffer;

constexpr uint8_t kPlainFill = 0x00;
constexpr uint8_t kComplementFill = 0xFF;
// The flags a copy keeps: the unit and the complement, never ownership or collector state.
constexpr uint32_t kCopiedFlags = memory::UNIT_MASK | kComplemented;

uint8_t fill_of(bool is_complemented) { return is_complemented ? kComplementFill : kPlainFill; }
uint8_t mask_of(uint32_t n) { return uint8_t(0x80u >> (n & 7)); }

// A new set of `bytes` stored bytes, every byte of the capacity `fill`.
Cell allocate(uint32_t bytes, uint8_t fill, bool is_complemented) {
  NodeId node = memory::alloc_bytes_filled(bytes, fill);
  SeriesBuffer* buffer = memory::buffer_of(node);
  buffer->tail = buffer->head + bytes;
  if (is_complemented) buffer->flags |= kComplemented;
  return Cell{TYPE_BITSET, 0, node, 0};
}

// Moves the tail up to `bytes` stored bytes, growing the capacity with the set's fill.
void ensure_length(Cell* set, uint32_t bytes) {
  SeriesBuffer* buffer = buffer_of(set);
  if (buffer->used_bytes() >= bytes) return;
  if (buffer->head + bytes > buffer->size)
    buffer = memory::grow_series_filled(buffer, bytes, fill_of(buffer->flags & kComplemented));
  buffer->tail = buffer->head + bytes;
}

int64_t byte_count_for(int64_t highest) { return std::max<int64_t>(1, (highest + 8) >> 3); }

// The index a number or char names; a float is truncated and must fit 32 bits.
int64_t index_of(const Cell* value) {
  if (!value->is(TYPE_FLOAT)) return int32_t(value->data2);
  double d = value->float_value();
  if (!(d > -2147483649.0 && d < 2147483648.0)) number::raise_out_of_range(value);
  return int64_t(d);
}

// One index under op; answers the index, or for a test 1 or 0.
int64_t process_index(Cell* set, int64_t n, WalkOp op, const Cell* value) {
  if (op == WALK_MEASURE) return n;
  if (n < 0) {
    if (op == WALK_TEST) return complemented(set);
    number::raise_out_of_range(value);
  }
  uint32_t bit = uint32_t(n);
  bool beyond = out_of_range(set, n);
  bool is_complemented = complemented(set);
  switch (op) {
    case WALK_TEST:
      return contains(set, bit);
    case WALK_SET:
      if (beyond && is_complemented) return n;
      grow_to(set, bit)[bit >> 3] |= mask_of(bit);
      return n;
    default:   // WALK_CLEAR
      if (beyond && !is_complemented) return n;
      grow_to(set, bit)[bit >> 3] &= uint8_t(~mask_of(bit));
      return n;
  }
}

// The bits low..high under op; answers high, or for a test 1 or 0.
int64_t process_range(Cell* set, int64_t low, int64_t high, WalkOp op, const Cell* value) {
  if (op == WALK_MEASURE) return high;
  if (low < 0) {
    if (op == WALK_TEST) return complemented(set);
    number::raise_out_of_range(value);
  }
  if (op == WALK_TEST) {
    if (out_of_range(set, high)) return complemented(set);
    for (int64_t n = low; n <= high; ++n)
      if (!contains(set, uint32_t(n))) return 0;
    return 1;
  }
  bool is_complemented = complemented(set);
  bool grows = (op == WALK_SET) != is_complemented;
  int64_t last = high;
  if (grows) {
    grow_to(set, uint32_t(high));
  } else {
    last = std::min<int64_t>(high, int64_t(byte_length(set)) * 8 - 1);
  }
  uint8_t* bytes = zq_head(set);
  for (int64_t n = low; n <= last; ++n) {
    if (op == WALK_SET) bytes[n >> 3] |= mask_of(uint32_t(n));
    else bytes[n >> 3] &= uint8_t(~mask_of(uint32_t(n)));
  }
  return high;
}

// The code points of a string from its head index, by its unit.
int64_t process_string(const Cell* text, Cell* set, WalkOp op) {
  int64_t highest = -1;
  for (uint32_t i = text->head_index();; ++i) {
    const SeriesBuffer* buffer = memory::buffer_of(text->node());
    uint32_t unit = buffer->unit();
    uint32_t offset = buffer->head + i * unit;
    if (offset >= buffer->tail) break;
    const uint8_t* at = buffer->data() + offset;
    uint32_t cp = unit == 1 ? *at : unit == 2 ? uint32_t(at[0] | at[1] << 8)
                                              : uint32_t(at[0] | at[1] << 8 | at[2] << 16 |
                                                         uint32_t(at[3]) << 24);
    if (op == WALK_TEST) {
      if (out_of_range(set, cp)) return complemented(set);
      if (!contains(set, cp)) return 0;
      continue;
    }
    highest = std::max<int64_t>(highest, process_index(set, cp, op, text));
  }
  return op == WALK_TEST ? 1 : highest;
}

bool is_dash(const Cell* value) {
  return value->is(TYPE_WORD) && word::is_named(value, words::sym.dash);
}

[[noreturn]] void raise_unsupported(const Cell* value, Caller caller) {
  switch (caller) {
    case CALLER_MAKE: number::raise_bad_make_arg(TYPE_BITSET, value);
    case CALLER_TO: number::raise_bad_to_arg(TYPE_BITSET, value);
    default: number::raise_invalid_arg(value);
  }
}

// A block met again inside itself adds nothing that its first visit does not, so it is
// skipped; nesting deeper than the cycles stack holds raises internal `too-deep`.
int64_t process_block(const Cell* spec, Cell* set, WalkOp op, Caller caller) {
  int64_t highest = -1;
  if (cycles::find(spec->node())) return op == WALK_TEST ? 1 : highest;
  cycles::Visit visit(spec->node());
  uint32_t length = block::length(spec);
  for (uint32_t i = 0; i < length; ++i) {
    Cell item = block::head(spec)[i];
    int64_t answer;
    bool range = (item.is(TYPE_INTEGER) || item.is(TYPE_CHAR)) && i + 1 < length &&
                 is_dash(&block::head(spec)[i + 1]);
    if (range) {
      if (i + 2 >= length) error::raise(error::CAT_SCRIPT, "past-end");
      Cell high = block::head(spec)[i + 2];
      if (!high.is(TYPE_INTEGER) && !high.is(TYPE_CHAR)) error::raise(error::CAT_SCRIPT, "past-end");
      if (high.type() != item.type()) number::raise_invalid_arg(&high);
      int64_t low_index = index_of(&item), high_index = index_of(&high);
      if (high_index < low_index) error::raise(error::CAT_SCRIPT, "past-end");
      answer = process_range(set, low_index, high_index, op, &item);
      i += 2;
    } else {
      answer = process_spec(&item, set, op, true, caller);
    }
    if (op == WALK_TEST) {
      if (answer == 0) return 0;
    } else {
      highest = std::max(highest, answer);
    }
  }
  return op == WALK_TEST ? 1 : highest;
}

// Two hexadecimal digits per stored byte (inverted for a complemented set); with a part limit
// the writing stops after the byte that takes the limit below zero.
int32_t form_bytes(const Cell* set, Cell* buffer, bool has_part, int32_t part, bool invert) {
  uint32_t length = byte_length(set);
  for (uint32_t i = 0; i < length; ++i) {
    uint8_t byte = zq_head(set)[i];
    if (invert) byte = uint8_t(~byte);
    char digits[2];
    hex::write_byte(digits, byte);
    part = text::append_counted(buffer, {digits, sizeof digits}, part);
    if (has_part && part < 0) break;
  }
  return part;
}

bool clears(const Cell* value) {
  switch (value->type()) {
    case TYPE_NONE: return true;
    case TYPE_LOGIC: return !logic::get(value);
    case TYPE_INTEGER: return value->data2 == 0;
    case TYPE_FLOAT: return value->float_value() == 0.0;
    default: return false;
  }
}

}  // namespace

Cell make_empty(uint32_t bytes) { return allocate(bytes, kPlainFill, false); }

uint8_t* zq_head(const Cell* set) { return buffer_of(set)->head_ptr(); }

namespace {
// Makes room for bit n: grows the capacity (new bytes take the set's fill) and moves the tail
// up to cover it. Answers the head address.
uint8_t* grow_to(Cell* set, uint32_t n) {
  ensure_length(set, (n >> 3) + 1);
  return zq_head(set);
}

// True when n is negative or lies at or past the tail.
bool out_of_range(const Cell* set, int64_t n) {
  return n < 0 || (n >> 3) >= int64_t(byte_length(set));
}

// Walks a spec value with `op`; `set` may be null when measuring. Answers the byte count needed
// (measure and set at the top level), else the highest index met, or for a test 1 or 0.
int64_t process_spec(const Cell* spec, Cell* set, WalkOp op, bool nested, Caller caller) {
  int64_t answer;
  switch (spec->type()) {
    case TYPE_INTEGER: case TYPE_CHAR: case TYPE_FLOAT:
      answer = process_index(set, index_of(spec), op, spec);
      break;
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF:
      answer = process_string(spec, set, op);
      break;
    case TYPE_BINARY:
      error::raise(error::CAT_INTERNAL, "not-done");
    case TYPE_BLOCK:
      answer = process_block(spec, set, op, caller);
      break;
    default:
      raise_unsupported(spec, caller);
  }
  if (nested || op == WALK_TEST || op == WALK_CLEAR) return answer;
  int64_t bytes = byte_count_for(answer);
  if (op == WALK_SET) ensure_length(set, uint32_t(bytes));
  return bytes;
}

// `make` (caller CALLER_MAKE) or `to` (CALLER_TO) of a bitset from a spec.
void make_from(const Cell* spec, Caller caller, Cell* result) {
  Cell source = *spec;
  bool negated = false;
  if (source.is(TYPE_BLOCK) && block::length(&source) > 0) {
    const Cell* first = block::head(&source);
    if (first->is(TYPE_WORD) && word::is_named(first, words::sym.not_)) {
      negated = true;
      source.data1 = block::head_position(&source) + 1;
      if (block::length(&source) > 0 && block::head(&source)->is(TYPE_BINARY))
        source = *block::head(&source);
    }
  }
  switch (source.type()) {
    case TYPE_BITSET:
      *result = copy_of(&source);
      return;
    case TYPE_INTEGER:
    case TYPE_FLOAT: {
      if (caller == CALLER_TO) number::raise_bad_to_arg(TYPE_BITSET, spec);
      int64_t bits = index_of(&source);
      if (bits < 0) number::raise_out_of_range(&source);
      *result = make_empty(uint32_t((bits + 7) >> 3));
      return;
    }
    case TYPE_BINARY: {
      const SeriesBuffer* bytes = memory::buffer_of(source.node());
      uint32_t count = bytes->used_bytes() > source.head_index()
                           ? bytes->used_bytes() - source.head_index()
                           : 0;
      Cell set = allocate(count, fill_of(negated), negated);
      bytes = memory::buffer_of(source.node());
      const uint8_t* from = bytes->data() + bytes->head + source.head_index();
      uint8_t* to = zq_head(&set);
      for (uint32_t i = 0; i < count; ++i) to[i] = negated ? uint8_t(~from[i]) : from[i];
      *result = set;
      return;
    }
    default: {
      int64_t bytes = process_spec(&source, nullptr, WALK_MEASURE, false, caller);
      Cell set = allocate(uint32_t(bytes), fill_of(negated), negated);
      process_spec(&source, &set, negated ? WALK_CLEAR : WALK_SET, false, caller);
      *result = set;
      return;
    }
  }
}
}  // namespace

void do_bitwise(MathOp op, const Cell* set1, const Cell* set2, Cell* result) {
  if (op == OP_UNIQUE) {
    copy_cell(set1, result);
    return;
  }
  if (!set2->is(TYPE_BITSET)) number::raise_invalid_type(set2);
  Cell first = *set1, second = *set2;
  uint32_t length1 = byte_length(&first), length2 = byte_length(&second);
  bool flag1 = complemented(&first), flag2 = complemented(&second);
  bool flag = number::combine_bits(op, flag1, flag2) & 1;
  uint32_t longer = std::max(length1, length2);
  // and~ of a plain shorter operand has nothing past it: the result stops there.
  bool shorter_plain = length1 <= length2 ? !flag1 : !flag2;
  uint32_t length = op == OP_AND && shorter_plain ? std::min(length1, length2) : longer;
  Cell made = allocate(length, fill_of(flag), flag);
  const uint8_t* a = zq_head(&first);
  const uint8_t* b = zq_head(&second);
  uint8_t* out = zq_head(&made);
  uint8_t fill1 = fill_of(flag1), fill2 = fill_of(flag2);
  for (uint32_t i = 0; i < length; ++i) {
    uint32_t x = i < length1 ? a[i] : fill1;
    uint32_t y = i < length2 ? b[i] : fill2;
    out[i] = uint8_t(number::combine_bits(op, x, y));
  }
  *result = made;
}

namespace {
// A copy on a buffer of its own, with the complemented flag and never owned.
Cell copy_of(const Cell* set) {
  Cell source = *set;
  const SeriesBuffer* from = buffer_of(&source);
  uint32_t length = from->used_bytes();
  bool is_complemented = from->flags & kComplemented;
  Cell copy = allocate(length, fill_of(is_complemented), is_complemented);
  from = buffer_of(&source);
  SeriesBuffer* to = buffer_of(&copy);
  to->flags = (to->flags & ~kCopiedFlags) | (from->flags & kCopiedFlags);
  std::memcpy(to->head_ptr(), from->data() + from->head, length);
  return copy;
}

// ---- actions ----

void make(const Cell*, const Cell* spec, TypeId, Cell* result) {
  make_from(spec, CALLER_MAKE, result);
}

void to(const Cell*, const Cell* spec, TypeId, Cell* result) {
  make_from(spec, CALLER_TO, result);
}

void reflect(Cell* value, const Cell* field, Cell* result) {
  if (!word::any_word_type(field->type()) ||
      symbol::resolve(word::symbol_of(field)) != symbol::resolve(words::sym.owned))
    error::raise(error::CAT_INTERNAL, "not-done");
  const Cell* owner = ownership::find(value->node());
  *result = owner ? *owner : none::value;
}

int32_t form(const Cell* value, Cell* buffer, const Cell* argument, int32_t part) {
  bool has_part = argument != nullptr;
  bool is_complemented = complemented(value);
  part = text::append_counted(buffer, "make bitset! ", part);
  if (is_complemented) part = text::append_counted(buffer, "[not ", part);
  part = text::append_counted(buffer, "#{", part);
  part = form_bytes(value, buffer, has_part, part, is_complemented);
  if (has_part && part <= 0) return part;
  part = text::append_counted(buffer, "}", part);
  if (is_complemented) part = text::append_counted(buffer, "]", part);
  return part;
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* argument,
             int32_t part, int32_t) {
  return form(value, buffer, argument, part);
}

void eval_path(const PathStep& step, Cell* result) {
  const Cell* element = step.element;
  if (!element->is(TYPE_INTEGER) && !element->is(TYPE_CHAR)) number::raise_invalid_type(element);
  if (step.value) poke(step.parent, 0, element, step.value, result);
  else pick(step.parent, 0, element, result);
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  if (!value2->is(TYPE_BITSET)) return kNotComparable;
  if (op == COMP_SAME) return value1->node() == value2->node() ? 0 : 1;
  uint32_t length1 = byte_length(value1), length2 = byte_length(value2);
  if (length1 != length2) return length1 < length2 ? -1 : 1;
  if (length1 == 0) return 0;
  bool flag1 = complemented(value1), flag2 = complemented(value2);
  if (flag1 != flag2) return flag1 ? 1 : -1;
  const uint8_t* a = zq_head(value1);
  const uint8_t* b = zq_head(value2);
  for (uint32_t i = length1; i-- > 0;)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return 0;
}

void complement(Cell* value, Cell* result) {
  Cell copy = copy_of(value);
  SeriesBuffer* buffer = buffer_of(&copy);
  buffer->flags ^= kComplemented;
  for (uint8_t* at = buffer->data(); at < buffer->end_ptr(); ++at) *at = uint8_t(~*at);
  *result = copy;
}

void insert(Cell* series, Cell* value, const InsertOptions&, bool, Cell* result) {
  Cell set = *series;
  compound::notifying(&set, words::w.insert, words::w.inserted, value,
            [&] { process_spec(value, &set, WALK_SET, false, CALLER_OTHER); });
  *result = set;
}

// Empties the set: a complemented set becomes plain, so that it holds nothing at all.
void clear(Cell* value, Cell* result) {
  Cell set = *value;
  compound::notifying(&set, words::w.clear, words::w.cleared, value, [&] {
    SeriesBuffer* buffer = buffer_of(&set);
    buffer->flags &= ~kComplemented;
    memory::fill(buffer->data(), buffer->end_ptr(), kPlainFill);
  });
  *result = set;
}

void copy(Cell* value, const Cell*, bool, const Cell*, Cell* result) { *result = copy_of(value); }

void find(Cell* series, Cell* value, const FindOptions&, Cell* result) {
  Cell found;
  pick(series, 0, value, &found);
  *result = logic::get(&found) ? logic::true_value : none::value;
}

// A set that reaches bit 2147483647 holds more bits than an integer! counts.
int32_t length_q(const Cell* series) {
  int64_t bits = int64_t(byte_length(series)) * 8;
  if (bits > INT32_MAX) number::raise_overflow();
  return int32_t(bits);
}

void pick(Cell* series, int32_t, const Cell* index_cell, Cell* result) {
  *result = logic::make(process_spec(index_cell, series, WALK_TEST, true, CALLER_OTHER) != 0);
}

void poke(Cell* series, int32_t, const Cell* index_cell, Cell* value, Cell* result) {
  Cell set = *series, stored = *value;
  WalkOp op = clears(&stored) ? WALK_CLEAR : WALK_SET;
  compound::notifying(&set, words::w.poke, words::w.poked, &stored,
            [&] { process_spec(index_cell, &set, op, false, CALLER_OTHER); });
  *result = stored;
}

// Removes the key's members: their bits are cleared, which for a complemented set grows it
// so that they leave the set.
void remove(Cell* series, const Cell*, const Cell* key, Cell* result) {
  if (!key) error::raise(error::CAT_SCRIPT, "missing-arg");
  Cell set = *series;
  compound::notifying(&set, words::w.remove, words::w.removed, key,
            [&] { process_spec(key, &set, WALK_CLEAR, false, CALLER_OTHER); });
  *result = set;
}

void modify(Cell* target, Cell* field, Cell* value, bool, Cell* result) {
  Cell stored = *value;
  if (word::any_word_type(field->type()) && word::is_named(field, words::sym.owned)) {
    if (stored.is(TYPE_NONE)) {
      ownership::unbind(target);
    } else if (stored.is(TYPE_BLOCK) && block::length(&stored) >= 2) {
      // Only an object hears of changes, through the hook its word names: any other owner
      // would be called as one at the next change.
      Cell owner = block::head(&stored)[0], word = block::head(&stored)[1];
      if (owner.is(TYPE_OBJECT) && word::any_word_type(word.type()))
        ownership::set_deep(target, &owner, &word);
    }
  }
  *result = stored;
}
}  // namespace

void init() {
  using actions::own;
  datatype::register_type(TYPE_BITSET, 0, "bitset!",
                          actions::ActionList()
                              .own(own<ACT_MAKE>(make))
                              .own(own<ACT_REFLECT>(reflect))
                              .own(own<ACT_TO>(to))
                              .own(own<ACT_FORM>(form))
                              .own(own<ACT_MOLD>(mold))
                              .own(own<ACT_EVAL_PATH>(eval_path))
                              .own(own<ACT_COMPARE>(compare))
                              .own(own<ACT_NEGATE>(complement))
                              .own(own<ACT_AND>(number::op_action<do_bitwise, OP_AND>))
                              .own(own<ACT_COMPLEMENT>(complement))
                              .own(own<ACT_OR>(number::op_action<do_bitwise, OP_OR>))
                              .own(own<ACT_XOR>(number::op_action<do_bitwise, OP_XOR>))
                              .own(own<ACT_APPEND>(insert))
                              .own(own<ACT_CLEAR>(clear))
                              .own(own<ACT_COPY>(copy))
                              .own(own<ACT_FIND>(find))
                              .own(own<ACT_INSERT>(insert))
                              .own(own<ACT_LENGTH_Q>(length_q))
                              .own(own<ACT_PICK>(pick))
                              .own(own<ACT_POKE>(poke))
                              .own(own<ACT_REMOVE>(remove))
                              .own(own<ACT_MODIFY>(modify)));
}

}  // namespace xol::bitset
