// binary!: byte accessors, conversions, the hexadecimal printed form, byte comparison, the
// inserting actions, trim and the bitwise operations.
//
// `append`, `insert` and `change` encode their value into a temporary binary first (a char! as
// UTF-8, an integer! as one byte, text as UTF-8, a tuple! as its bytes, a block element by
// element) and then splice it in as string! does; a binary's unit is always 1, so the splice
// never widens it.
#include "runtime/datatypes/binary.h"

#include <algorithm>
#include <cstring>

#include "runtime/datatypes/base_encoding.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/memory/cycles.h"
#include "runtime/text/utf8.h"

namespace xol::binary {

namespace {

constexpr uint32_t kMinCapacity = 16;
// Mold puts the bytes on lines of their own from this many on, 32 to a line.
constexpr uint32_t kLongBinary = 31;
constexpr uint32_t kBytesPerLine = 32;
constexpr int32_t kByteMin = -128, kByteMax = 255;
constexpr int kDoubleBytes = 8;

memory::SeriesBuffer* buffer_of(const Cell* binary) { return memory::buffer_of(binary->node()); }

// Room for n more bytes after the tail; answers the old tail.
uint8_t* reserve(const Cell* binary, uint32_t n) { return series::reserve_tail(binary->node(), n); }

enum class Encoding { FOR_INSERT, FOR_CHANGE };

// Appends the bytes that `value` adds to a binary; `part` limits the bytes of a text or
// binary, or the elements of a block (its bytes with /only).
void encode_value(const Cell* target, const Cell* value, int32_t part, bool only,
                  Encoding encoding) {
  switch (value->type()) {
    case TYPE_CHAR: {
      uint8_t utf8[utf8::kMaxSequence];
      int n = utf8::encode_char(character::get(value), utf8);
      append_bytes(target, utf8, uint32_t(n));
      return;
    }
    case TYPE_INTEGER: {
      int32_t byte = integer::get(value);
      if (byte < kByteMin || byte > kByteMax) number::raise_invalid_arg(value);
      uint8_t b = uint8_t(byte);
      append_bytes(target, &b, 1);
      return;
    }
    case TYPE_BINARY: {
      std::string_view data = bytes(value);
      uint32_t n = part >= 0 ? std::min<uint32_t>(uint32_t(part), uint32_t(data.size()))
                             : uint32_t(data.size());
      Cell source = *value;
      std::memcpy(reserve(target, n), bytes(&source).data(), n);
      return;
    }
    case TYPE_TUPLE: {
      Cell bytes_held = *value;   // the grow of the target may move a block holding the value
      append_bytes(target, tuple::bytes(&bytes_held), uint32_t(tuple::count(&bytes_held)));
      return;
    }
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF: {
      Cell encoded;
      make_at(&encoded, string::length(value) * utf8::kMaxSequence);
      string::append_utf8_bytes(encoded.node(), value);
      uint32_t n = length(&encoded);
      if (part >= 0) n = std::min(n, uint32_t(part));
      std::memcpy(reserve(target, n), bytes(&encoded).data(), n);
      return;
    }
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: {
      // A block that holds itself has no finite bytes: refused as copy/deep refuses it.
      if (cycles::find(value->node())) error::raise(error::CAT_INTERNAL, "no-cycle");
      cycles::Visit visit(value->node());
      uint32_t n = block::length(value);
      if (part >= 0 && !only) n = std::min(n, uint32_t(part));
      uint32_t head = block::head_position(value);
      uint32_t before = length(target);
      for (uint32_t i = 0; i < n; ++i) {
        Cell element = *block::abs_at(value, head + i);
        encode_value(target, &element, -1, false, encoding);
      }
      if (only && part >= 0) string::truncate(target->node(), before + uint32_t(part));
      return;
    }
    default:
      if (encoding == Encoding::FOR_INSERT) number::raise_bad_to_arg(TYPE_BINARY, value);
      Cell formed;
      string::make_at(&formed, kMinCapacity);
      string::form_value(value, &formed);
      encode_value(target, &formed, part, only, encoding);
  }
}

// The bytes that a value adds to a binary, as a new binary.
Cell encoded(const Cell* value, int32_t part, bool only, Encoding encoding) {
  Cell content;
  make_at(&content, kMinCapacity);
  encode_value(&content, value, part, only, encoding);
  return content;
}

// Mold and form: "#{", the bytes in hexadecimal (on lines of their own, 32 to a line, once
// there are 31 or more and the output is not flat), "}".
int32_t write_hex(const Cell* value, Cell* buffer, bool only, bool flat, bool limited,
                  int32_t part, int32_t indent) {
  uint32_t n = length(value);
  bool lines = n >= kLongBinary && !flat;
  string::CharWriter writer(buffer);
  // Counted only against a limit: unlimited, a binary of a gigabyte would overflow the count.
  auto spend = [&](int32_t characters) {
    if (limited) part -= characters;
  };
  auto new_line = [&](int32_t level) { spend(writer.put_line_break(level)); };
  if (!only) {
    writer.put_ascii("#{");
    spend(2);
  }
  if (lines) new_line(indent + 1);
  for (uint32_t i = 0; i < n; ++i) {
    writer.put_ascii(string::byte_to_hex(uint8_t(bytes(value)[i])));
    spend(2);
    if (limited && part <= 0) {
      writer.flush();
      return part;
    }
    if (lines && (i + 1) % kBytesPerLine == 0) new_line(indent + 1);
  }
  if (lines && n % kBytesPerLine) new_line(indent);
  if (!only) {
    writer.put('}');
    spend(1);
  }
  writer.flush();
  return part;
}

template <MathOp Op>
void bitwise(Cell* value1, Cell* value2, Cell* result) {
  if (!value2->is(TYPE_BINARY)) number::raise_invalid_arg(value2);
  uint32_t n1 = length(value1), n2 = length(value2);
  Cell made;
  make_at(&made, std::max(n1, n2));
  uint8_t* out = reserve(&made, std::max(n1, n2));
  const auto* a = reinterpret_cast<const uint8_t*>(bytes(value1).data());
  const auto* b = reinterpret_cast<const uint8_t*>(bytes(value2).data());
  uint32_t shorter = std::min(n1, n2);
  for (uint32_t i = 0; i < shorter; ++i) {
    switch (Op) {
      case OP_AND: out[i] = a[i] & b[i]; break;
      case OP_OR: out[i] = a[i] | b[i]; break;
      default: out[i] = a[i] ^ b[i]; break;
    }
  }
  const uint8_t* longer = n1 > n2 ? a : b;
  for (uint32_t i = shorter; i < std::max(n1, n2); ++i) out[i] = Op == OP_AND ? 0 : longer[i];
  value1->data1 = 0;
  value1->data2 = made.node();
  *result = *value1;
}

}  // namespace

Cell* make_at(Cell* cell, uint32_t capacity) {
  return string::make_at(cell, capacity, TYPE_BINARY);
}

Cell load(std::string_view data) {
  Cell made;
  make_at(&made, uint32_t(data.size()));
  append_bytes(&made, reinterpret_cast<const uint8_t*>(data.data()), uint32_t(data.size()));
  return made;
}

uint32_t length(const Cell* binary) { return string::length(binary); }

std::string_view bytes(const Cell* binary) {
  memory::SeriesBuffer* buffer = buffer_of(binary);
  return {reinterpret_cast<const char*>(string::head_address(binary, buffer)),
          string::units_from_head(binary, buffer)};
}

void append_bytes(const Cell* binary, const uint8_t* data, uint32_t n) {
  if (n) std::memcpy(reserve(binary, n), data, n);
}

namespace {
// Appends four bytes, most significant first.
void append_int32_be(const Cell* binary, int32_t value) {
  uint8_t be[sizeof value];
  for (size_t i = 0; i < sizeof value; ++i) be[i] = uint8_t(uint32_t(value) >> (24 - 8 * i));
  append_bytes(binary, be, sizeof be);
}
}  // namespace

// ---- actions ----

void to(const Cell*, const Cell* spec, TypeId type, Cell* result) {
  Cell made;
  switch (spec->type()) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: case TYPE_STRING: case TYPE_FILE:
    case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF: case TYPE_CHAR:
    case TYPE_BINARY: case TYPE_TUPLE:
      made = encoded(spec, -1, false, Encoding::FOR_INSERT);
      break;
    case TYPE_INTEGER:
      make_at(&made, sizeof(int32_t));
      append_int32_be(&made, integer::get(spec));
      break;
    case TYPE_FLOAT: case TYPE_PERCENT: {
      uint64_t bits;
      double d = floating::get(spec);
      std::memcpy(&bits, &d, sizeof bits);
      make_at(&made, kDoubleBytes);
      uint8_t* out = reserve(&made, kDoubleBytes);
      for (int i = 0; i < kDoubleBytes; ++i) out[i] = uint8_t(bits >> (56 - 8 * i));
      break;
    }
    case TYPE_ISSUE: {
      std::string_view name = symbol::name(word::symbol_of(spec));
      if (!base_encoding::decode(base_encoding::BASE_16,
                                 reinterpret_cast<const uint8_t*>(name.data()), 1,
                                 uint32_t(name.size()), &made))
        error::raise(error::CAT_SCRIPT, "invalid-data", spec);
      break;
    }
    case TYPE_BITSET: {
      uint32_t n = bitset::byte_length(spec);
      make_at(&made, n);
      uint8_t* out = reserve(&made, n);
      std::memcpy(out, bitset::zq_head(spec), n);
      break;
    }
    default:
      number::raise_bad_to_arg(type, spec);
  }
  *result = made;
}

namespace {
int32_t form(const Cell* value, Cell* buffer, const Cell* argument, int32_t part) {
  return write_hex(value, buffer, false, false, argument != nullptr, part, 0);
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool, bool flat, const Cell* argument,
             int32_t part, int32_t indent) {
  return write_hex(value, buffer, only, flat, argument != nullptr, part, indent);
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  if (!value2->is(TYPE_BINARY)) return kNotComparable;
  bool same = value1->node() == value2->node() && value1->head_index() == value2->head_index();
  bool equality = op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL ||
                  op == COMP_SELECT;
  if (op == COMP_SAME) return same ? 0 : -1;
  if (same && equality) return 0;
  std::string_view a = bytes(value1), b = bytes(value2);
  if (a.size() != b.size() && equality) return 1;
  size_t n = std::min(a.size(), b.size());
  int answer = n ? std::memcmp(a.data(), b.data(), n) : 0;
  if (answer) return answer < 0 ? -1 : 1;
  return number::three_way(a.size(), b.size());
}
}  // namespace

void insert(Cell* series, Cell* value, const InsertOptions& options, bool at_tail, Cell* result) {
  Cell target = *series;
  uint32_t head = string::clamp_head(&target);
  uint32_t position = at_tail ? string::length_abs(&target) : head;
  if (options.dup < 1) {
    *result = target;
    return;
  }
  Cell content = encoded(value, options.part, options.only, Encoding::FOR_INSERT);
  series::Notice notice(&target, at_tail ? ACT_APPEND : ACT_INSERT, value, int32_t(position),
                        options.part);
  uint32_t added = string::splice(&target, position, 0, &content, length(&content), options.dup);
  notice.done();
  if (added) target.data1 = at_tail ? 0 : position + added;
  *result = target;
}

void change(Cell* series, Cell* value, const InsertOptions& options, Cell* result) {
  Cell target = *series;
  uint32_t head = string::clamp_head(&target);
  int32_t dup = std::max(options.dup, 1);
  Cell content = encoded(value, -1, options.only, Encoding::FOR_CHANGE);
  uint32_t count = length(&content);
  uint64_t replaced = options.part >= 0 ? uint64_t(options.part) : uint64_t(count) * uint32_t(dup);
  replaced = std::min<uint64_t>(replaced, length(&target));
  series::Notice notice(&target, ACT_CHANGE, value, int32_t(head), options.part);
  uint32_t added = string::splice(&target, head, uint32_t(replaced), &content, count, dup);
  notice.done();
  target.data1 = head + added;
  *result = target;
}

void trim(Cell* series, const TrimOptions& options, Cell* result) {
  if (options.automatic || options.lines) error::raise(error::CAT_INTERNAL, "not-done");
  if (options.with) return string::trim(series, options, result);
  if (options.all) {
    Cell zero = integer::make(0);
    TrimOptions zeros = options;
    zeros.with = &zero;
    return string::trim(series, zeros, result);
  }
  Cell target = *series;
  uint32_t head = string::clamp_head(&target);
  std::string_view data = bytes(&target);
  size_t start = 0, end = data.size();
  if (options.head || !options.tail)
    while (start < end && data[start] == 0) ++start;
  if (options.tail || !options.head)
    while (end > start && data[end - 1] == 0) --end;
  series::Notice notice(&target, ACT_TRIM, nullptr, int32_t(head), int32_t(data.size()));
  memory::SeriesBuffer* buffer = buffer_of(&target);
  std::memmove(buffer->data() + head, buffer->data() + head + start, end - start);
  buffer->tail = head + uint32_t(end - start);
  notice.done();
  *result = target;
}

void complement(Cell* value, Cell* result) {
  Cell target = *value;
  memory::SeriesBuffer* buffer = buffer_of(&target);
  uint8_t* at = string::head_address(&target, buffer);
  for (uint32_t i = 0, n = length(&target); i < n; ++i) at[i] = uint8_t(~at[i]);
  *result = target;
}

void init() {
  using actions::own;
  datatype::register_type(
      TYPE_BINARY, TYPE_STRING, "binary!",
      actions::ActionList()
          .own(own<ACT_TO>(to))
          .own(own<ACT_FORM>(form))
          .own(own<ACT_MOLD>(mold))
          .own(own<ACT_COMPARE>(compare))
          .own(own<ACT_APPEND>(insert))
          .own(own<ACT_INSERT>(insert))
          .own(own<ACT_CHANGE>(change))
          .own(own<ACT_TRIM>(trim))
          .own(own<ACT_AND>(bitwise<OP_AND>))
          .own(own<ACT_OR>(bitwise<OP_OR>))
          .own(own<ACT_XOR>(bitwise<OP_XOR>))
          .own(own<ACT_COMPLEMENT>(complement))
          .inherit({ACT_MAKE, ACT_RANDOM, ACT_REFLECT, ACT_EVAL_PATH, ACT_AT, ACT_BACK,
                    ACT_CLEAR, ACT_COPY, ACT_FIND, ACT_HEAD, ACT_HEAD_Q, ACT_INDEX_Q,
                    ACT_LENGTH_Q, ACT_MOVE, ACT_NEXT, ACT_PICK, ACT_POKE, ACT_REMOVE,
                    ACT_REVERSE, ACT_SELECT, ACT_SORT, ACT_SKIP, ACT_SWAP, ACT_TAIL,
                    ACT_TAIL_Q, ACT_TAKE, ACT_MODIFY}));
}

}  // namespace xol::binary
