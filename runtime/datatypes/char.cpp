// char!: construction from numbers, text and UTF-8 bytes, the printed forms, exact comparison
// and the arithmetic that checks the code-point range afterwards (with a vector! operand, the
// vector's arithmetic, which answers the vector).
#include "runtime/datatypes/char.h"

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/vector.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/text/utf8.h"

namespace xol::character {

namespace {

// Budgets of form (the character) and mold (#"" around it).
constexpr int32_t kFormedLength = 1;
constexpr int32_t kMoldedLength = 4;

bool in_range(int64_t cp) { return cp >= 0 && cp <= kMaxCodePoint; }

// The first UTF-8 sequence at a binary's head, decoded strictly; a sequence that the bytes
// before the tail do not complete is invalid like any other.
uint32_t from_binary(const Cell* binary) {
  uint32_t available = string::length(binary);
  const uint8_t* head = string::head_address(binary, string::buffer_of(binary));
  size_t count = available;
  int32_t cp = count ? utf8::decode_one(head, &count) : utf8::kIncomplete;
  if (cp == utf8::kIncomplete) {
    Cell bytes;
    string::make_at(&bytes, available, TYPE_BINARY);
    string::concatenate(&bytes, binary, -1, 0, true, string::CONCAT_APPEND);
    error::raise(error::CAT_ACCESS, "invalid-utf8", &bytes);
  }
  return uint32_t(cp);
}

}  // namespace

void do_math(MathOp op, const Cell* value, const Cell* operand, Cell* result) {
  int32_t right;
  switch (operand->type()) {
    case TYPE_CHAR: case TYPE_INTEGER:
      right = int32_t(operand->data2);
      break;
    case TYPE_FLOAT:
      right = integer::from_double(floating::get(operand));
      break;
    case TYPE_VECTOR: {
      // The vector's scalar arithmetic, with the code point as the scalar on the left.
      Cell scalar = integer::make(int32_t(get(value)));
      vector::do_math_scalar(op, operand, &scalar, true, result);
      return;
    }
    default:
      number::raise_invalid_type(operand);
  }
  int32_t answer = integer::do_checked_op(int32_t(get(value)), right, op, nullptr);
  if (!in_range(answer)) number::raise_overflow();
  *result = make(uint32_t(answer));
}

void make(const Cell*, const Cell* spec, TypeId type, Cell* result) {
  int64_t cp;
  switch (spec->type()) {
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF:
      if (string::at_tail(spec)) number::raise_bad_to_arg(TYPE_CHAR, spec);
      *result = make(string::head_char(spec));
      return;
    case TYPE_CHAR: case TYPE_INTEGER:
      cp = int32_t(spec->data2);
      break;
    case TYPE_FLOAT: case TYPE_PERCENT: {
      double d = floating::get(spec);
      if (!(d > -1.0 && d < double(kMaxCodePoint) + 1.0)) number::raise_out_of_range(spec);
      cp = int64_t(d);
      break;
    }
    case TYPE_BINARY:
      *result = make(from_binary(spec));
      return;
    default:
      number::raise_bad_to_arg(type, spec);
  }
  if (!in_range(cp)) number::raise_out_of_range(spec);
  *result = make(uint32_t(cp));
}

namespace {
int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
  string::append_char(buffer->node(), get(value));
  return part - kFormedLength;
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell*, int32_t part,
             int32_t) {
  string::CharWriter writer(buffer);
  writer.put_ascii("#\"");
  string::put_escaped(writer, get(value), all);
  writer.put('"');
  writer.flush();
  return part - kMoldedLength;
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  if ((op == COMP_STRICT_EQUAL || op == COMP_SELECT) && !value2->is(TYPE_CHAR)) return 1;
  if (!value2->is(TYPE_CHAR) && !value2->is(TYPE_INTEGER)) return kNotComparable;
  return number::three_way(int32_t(get(value1)), int32_t(value2->data2));
}
}  // namespace

void init() {
  using actions::own;
  actions::ActionList list;
  list.own(own<ACT_MAKE>(make))
      .own(own<ACT_TO>(make))
      .own(own<ACT_FORM>(form))
      .own(own<ACT_MOLD>(mold))
      .own(own<ACT_COMPARE>(compare))
      .inherit({ACT_RANDOM, ACT_ABSOLUTE, ACT_EVEN, ACT_ODD});
  number::own_arithmetic<do_math>(list);
  number::own_bitwise<do_math>(list);
  datatype::register_type(TYPE_CHAR, TYPE_INTEGER, "char!", list);
}

}  // namespace xol::character
