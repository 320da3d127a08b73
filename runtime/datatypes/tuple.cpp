// tuple!: constructors, saturating byte arithmetic, the byte path and the actions.
#include "runtime/datatypes/tuple.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/compound.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/process/random.h"
#include "runtime/memory/memory.h"
#include "runtime/text/hex.h"

namespace xol::tuple {
namespace {
void pick(Cell* series, int32_t index, const Cell* index_cell, Cell* result);

constexpr int32_t kByteMax = 255;
// A single hexadecimal digit d of a short colour stands for the byte d * 17 (F is FF).
constexpr int32_t kShortDigitScale = 17;
constexpr size_t kShortColour = 3, kColour = 6, kColourWithAlpha = 8;

int32_t clamp_byte(int64_t value) { return int32_t(std::clamp<int64_t>(value, 0, kByteMax)); }

// a op b on integers; add, subtract and multiply in 64 bits so that saturation sees the true
// value.
int64_t integer_op(MathOp op, int64_t a, int64_t b) {
  switch (op) {
    case OP_ADD: return a + b;
    case OP_SUBTRACT: return a - b;
    case OP_MULTIPLY: return a * b;
    default: return integer::do_checked_op(int32_t(a), int32_t(b), op, nullptr);
  }
}

double float_op(MathOp op, double a, double b) {
  return floating::apply(op, a, b, TYPE_TUPLE);
}

int32_t from_double(double value) {
  return std::isnan(value) ? 0 : clamp_byte(int64_t(std::clamp(value, -1.0, 256.0)));
}

// The byte a block item stands for; anything else raises script `bad-to-arg`.
int32_t block_byte(const Cell* item, const Cell* spec) {
  double value;
  switch (item->type()) {
    case TYPE_INTEGER: case TYPE_CHAR: value = int32_t(item->data2); break;
    case TYPE_FLOAT: value = std::trunc(item->float_value()); break;
    default: number::raise_bad_to_arg(TYPE_TUPLE, spec);
  }
  if (!(value >= 0 && value <= kByteMax)) number::raise_bad_to_arg(TYPE_TUPLE, spec);
  return int32_t(value);
}

Cell from_block(const Cell* spec) {
  uint32_t length = block::length(spec);
  if (length > uint32_t(kMaxBytes)) number::raise_bad_to_arg(TYPE_TUPLE, spec);
  int32_t values[kMaxBytes] = {};
  for (uint32_t i = 0; i < length; ++i) values[i] = block_byte(block::head(spec) + i, spec);
  return from_ints(int32_t(length), values);
}

// A /part or /skip argument (`refinement` names it): an integer! of at least `least`.
int32_t refinement_value(const Cell* argument, const char* refinement, int32_t least) {
  if (!argument->is(TYPE_INTEGER)) series::raise_refine(argument, refinement);
  int32_t value = integer::get(argument);
  if (value < least) number::raise_out_of_range(argument);
  return value;
}

template <MathOp Op>
void math_action(Cell* value1, Cell* value2, Cell* result) {
  do_math(Op, value1, value2, false, result);
}

}  // namespace

Cell make(int32_t n, const uint8_t* values) {
  Cell tuple{TYPE_TUPLE, 0, 0, 0};
  set_count(&tuple, n);
  std::copy(values, values + n, bytes(&tuple));
  return tuple;
}

Cell make_rgba(int32_t r, int32_t g, int32_t b, int32_t a) {
  const int32_t values[] = {r, g, b, a};
  return from_ints(a == -1 ? kMinBytes : kMinBytes + 1, values);
}

Cell from_ints(int32_t n, const int32_t* values) {
  uint8_t stored[kMaxBytes] = {};
  for (int32_t i = 0; i < n; ++i) stored[i] = uint8_t(values[i]);
  return make(std::max(n, kMinBytes), stored);
}

namespace {
// The first up to 12 bytes of a binary! from its head, padded with zeros to 3.
Cell from_binary(const Cell* binary) {
  const memory::SeriesBuffer* buffer = memory::buffer_of(binary->node());
  uint32_t used = buffer->used_bytes();
  uint32_t available = used > binary->head_index() ? used - binary->head_index() : 0;
  int32_t n = int32_t(std::min<uint32_t>(available, kMaxBytes));
  uint8_t stored[kMaxBytes] = {};
  std::copy_n(buffer->data() + buffer->head + binary->head_index(), n, stored);
  return make(std::max(n, kMinBytes), stored);
}

// A hexadecimal colour issue (#F80, #FF8800, #FF880080); anything else raises script
// `invalid-data`.
Cell from_issue(const Cell* issue) {
  std::string_view digits = symbol::name(word::symbol_of(issue));
  int32_t values[kMinBytes + 1];
  int32_t n = 0;
  if (digits.size() == kShortColour) {
    for (char c : digits) values[n++] = hex::digit_value(uint8_t(c)) * kShortDigitScale;
  } else if (digits.size() == kColour || digits.size() == kColourWithAlpha) {
    for (size_t i = 0; i < digits.size(); i += 2)
      values[n++] = hex::byte_value(uint8_t(digits[i]), uint8_t(digits[i + 1]));
  } else {
    error::raise(error::CAT_SCRIPT, "invalid-data", issue);
  }
  for (int32_t i = 0; i < n; ++i)
    if (values[i] < 0) error::raise(error::CAT_SCRIPT, "invalid-data", issue);
  return make_rgba(values[0], values[1], values[2], n > kMinBytes ? values[3] : -1);
}
}  // namespace

bool all_zero(const Cell* tuple) {
  const uint8_t* b = bytes(tuple);
  return std::all_of(b, b + count(tuple), [](uint8_t byte) { return byte == 0; });
}

namespace {
// Stores into byte `index` (1-based): an integer! clamped to 0..255, or none, which cuts the
// tuple before the index (never below 3 bytes). An index outside the count raises script
// `out-of-range`.
void poke_byte(Cell* tuple, const Cell* index, const Cell* value) {
  int32_t n = count(tuple);
  int32_t at = index->is(TYPE_INTEGER) ? integer::get(index) : 0;
  if (at < 1 || at > n) number::raise_out_of_range(index);
  uint8_t* b = bytes(tuple);
  if (value->is(TYPE_NONE)) {
    std::fill(b + at - 1, b + n, 0);
    set_count(tuple, std::max(at - 1, kMinBytes));
    return;
  }
  b[at - 1] = uint8_t(clamp_byte(integer::get(value)));
}
}  // namespace

// A tuple operand shorter than the tuple leaves the bytes it lacks as they are under divide and
// remainder (a missing byte is no zero divisor); elsewhere a missing byte counts as 0.
void do_math(MathOp op, const Cell* tuple, const Cell* operand, bool number_first, Cell* result) {
  TypeId type = operand->type();
  if (type != TYPE_TUPLE && type != TYPE_INTEGER && type != TYPE_FLOAT && type != TYPE_PERCENT)
    number::raise_invalid_type(operand);
  int32_t n = count(tuple);
  int32_t operand_count = type == TYPE_TUPLE ? count(operand) : n;
  int32_t result_count = std::max(n, operand_count);
  bool keeps_missing = op == OP_DIVIDE || op == OP_REMAINDER;
  uint8_t out[kMaxBytes] = {};
  for (int32_t i = 0; i < result_count; ++i) {
    int64_t byte = i < n ? bytes(tuple)[i] : 0;
    if (type == TYPE_TUPLE && i >= operand_count && keeps_missing) {
      out[i] = uint8_t(byte);
      continue;
    }
    if (type == TYPE_FLOAT || type == TYPE_PERCENT) {
      double f = operand->float_value();
      out[i] = uint8_t(from_double(std::trunc(number_first ? float_op(op, f, double(byte))
                                                          : float_op(op, double(byte), f))));
      continue;
    }
    int64_t value = type == TYPE_TUPLE ? (i < operand_count ? bytes(operand)[i] : 0)
                                       : integer::get(operand);
    out[i] = uint8_t(clamp_byte(number_first ? integer_op(op, value, byte)
                                             : integer_op(op, byte, value)));
  }
  *result = make(result_count, out);
}

// ---- actions ----

void make(const Cell*, const Cell* spec, TypeId, Cell* result) {
  switch (spec->type()) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH:
      *result = from_block(spec);
      return;
    case TYPE_BINARY:
      *result = from_binary(spec);
      return;
    case TYPE_ISSUE:
      *result = from_issue(spec);
      return;
    case TYPE_TUPLE:
      copy_cell(spec, result);
      return;
    default:
      if (compound::is_text(spec->type())) {
        *result = compound::load_as(spec, TYPE_TUPLE);
        return;
      }
      number::raise_bad_to_arg(TYPE_TUPLE, spec);
  }
}

namespace {
int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
  for (int32_t i = 0; i < count(value); ++i) {
    if (i) part = text::append_counted(buffer, ".", part);
    part = text::append_counted(buffer, integer::to_decimal_text(bytes(value)[i]), part);
  }
  return part;
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* argument,
             int32_t part, int32_t) {
  return form(value, buffer, argument, part);
}

void eval_path(const PathStep& step, Cell* result) {
  if (!step.element->is(TYPE_INTEGER)) number::raise_invalid_type(step.element);
  if (!step.value) {
    pick(step.parent, 0, step.element, result);
    return;
  }
  if (!step.value->is(TYPE_INTEGER) && !step.value->is(TYPE_NONE))
    number::raise_invalid_type(step.value);
  Cell old = *step.parent;
  poke_byte(step.parent, step.element, step.value);
  compound::notify_path_set(step, old);
  copy_cell(step.value, result);
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t) {
  if (!value2->is(TYPE_TUPLE)) return kNotComparable;
  int32_t n = std::max(count(value1), count(value2));
  for (int32_t i = 0; i < n; ++i) {
    int32_t a = i < count(value1) ? bytes(value1)[i] : 0;
    int32_t b = i < count(value2) ? bytes(value2)[i] : 0;
    if (a != b) return a < b ? -1 : 1;
  }
  return 0;
}

void complement(Cell* value, Cell* result) {
  Cell inverted = *value;
  for (int32_t i = 0; i < count(&inverted); ++i) bytes(&inverted)[i] ^= kByteMax;
  *result = inverted;
}

int32_t length_q(const Cell* series) { return count(series); }

void pick(Cell* series, int32_t, const Cell* index_cell, Cell* result) {
  int32_t at = index_cell->is(TYPE_INTEGER) ? integer::get(index_cell) : 0;
  if (at < 1 || at > count(series)) number::raise_out_of_range(index_cell);
  *result = integer::make(bytes(series)[at - 1]);
}

void reverse(Cell* series, const Cell* part, const Cell* skip, Cell* result) {
  Cell reversed = *series;
  int32_t n = count(&reversed);
  int32_t range = part ? std::min(refinement_value(part, "part", 0), n) : n;
  int32_t size = skip ? refinement_value(skip, "skip", 1) : 1;
  if (part && skip && size == integer::get(part)) {
    *result = reversed;
    return;
  }
  if (skip && (range < size || range % size != 0)) series::raise_refine(skip, "skip");
  uint8_t* b = bytes(&reversed);
  for (int32_t low = 0, high = range - size; low < high; low += size, high -= size)
    std::swap_ranges(b + low, b + low + size, b + high);
  *result = reversed;
}

// random: /seed seeds the generator with the XOR of the three payload words. Otherwise each
// byte b becomes a uniform 0..b.
void random(Cell* value, bool seed, bool secure, bool, Cell* result) {
  if (seed) {
    xol::random::seed(value->data1 ^ value->data2 ^ value->data3);
    cell::set_unset(result);
    return;
  }
  Cell drawn = *value;
  uint8_t* b = bytes(&drawn);
  for (int32_t i = 0; i < count(&drawn); ++i)
    b[i] = uint8_t(xol::random::integer(secure, b[i] + 1) - 1);
  *result = drawn;
}
}  // namespace

void init() {
  using actions::own;
  datatype::register_type(TYPE_TUPLE, 0, "tuple!",
                          actions::ActionList()
                              .own(own<ACT_MAKE>(make))
                              .own(own<ACT_RANDOM>(random))
                              .own(own<ACT_TO>(make))
                              .own(own<ACT_FORM>(form))
                              .own(own<ACT_MOLD>(mold))
                              .own(own<ACT_EVAL_PATH>(eval_path))
                              .own(own<ACT_COMPARE>(compare))
                              .own(own<ACT_ADD>(math_action<OP_ADD>))
                              .own(own<ACT_DIVIDE>(math_action<OP_DIVIDE>))
                              .own(own<ACT_MULTIPLY>(math_action<OP_MULTIPLY>))
                              .own(own<ACT_REMAINDER>(math_action<OP_REMAINDER>))
                              .own(own<ACT_SUBTRACT>(math_action<OP_SUBTRACT>))
                              .own(own<ACT_AND>(math_action<OP_AND>))
                              .own(own<ACT_COMPLEMENT>(complement))
                              .own(own<ACT_OR>(math_action<OP_OR>))
                              .own(own<ACT_XOR>(math_action<OP_XOR>))
                              .own(own<ACT_LENGTH_Q>(length_q))
                              .own(own<ACT_PICK>(pick))
                              .own(own<ACT_REVERSE>(reverse)));
}

}  // namespace xol::tuple
