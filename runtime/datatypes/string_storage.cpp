// The storage layer of the text types: accessors, writers, comparison and the sort comparators.
//
// Loops that walk text read units through get_char, whose switch on the unit the branch
// predictor settles after the first character; the comparisons that parse and find run in
// tight loops are instantiated per pair of units instead.
#include "runtime/datatypes/string_storage.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/text/case_map.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/process/low_print.h"
#include "runtime/process/process.h"
#include "runtime/text/hex.h"
#include "runtime/text/utf16.h"
#include "runtime/text/utf8.h"

namespace xol::string {
namespace {
Cell* load_at(Cell* cell, const uint8_t* bytes, uint32_t count, Encoding encoding,
              TypeId type = TYPE_STRING);
}  // namespace


namespace {

constexpr uint32_t kReplacementChar = 0xFFFD;
constexpr uint32_t kAsciiEnd = 0x80;
constexpr int kHexWidth = 8;


// Makes room for `bytes` more bytes after the tail, growing to twice the needed size.
SeriesBuffer* ensure_room(NodeId node, uint64_t bytes) {
  SeriesBuffer* buffer = memory::buffer_of(node);
  uint64_t needed = uint64_t(buffer->tail) + bytes;
  if (needed <= buffer->size) return buffer;
  return memory::grow_series(buffer, memory::grown_size(buffer->size, needed));
}

uint32_t fold(uint32_t cp, bool case_sensitive) {
  return case_sensitive ? cp : case_map::to_upper(cp);
}

bool folds_case(int32_t op) { return op != COMP_STRICT_EQUAL && op != COMP_CASE_SORT; }

// Compares n units of two texts, folding unless `case_sensitive`: -1, 0 or 1 at the first
// difference.
template <typename A, typename B>
int32_t compare_units(const uint8_t* a, const uint8_t* b, uint32_t n, bool case_sensitive) {
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t x = load_unit<A>(a + i * sizeof(A)), y = load_unit<B>(b + i * sizeof(B));
    if (x == y) continue;
    if (!case_sensitive) {
      x = case_map::to_upper(x);
      y = case_map::to_upper(y);
      if (x == y) continue;
    }
    return x < y ? -1 : 1;
  }
  return 0;
}

template <typename A>
int32_t compare_units_with(const uint8_t* a, const uint8_t* b, uint32_t unit_b, uint32_t n,
                           bool case_sensitive) {
  switch (unit_b) {
    case UNIT_1: return compare_units<A, uint8_t>(a, b, n, case_sensitive);
    case UNIT_2: return compare_units<A, uint16_t>(a, b, n, case_sensitive);
    default: return compare_units<A, uint32_t>(a, b, n, case_sensitive);
  }
}

int32_t compare_any(const uint8_t* a, uint32_t unit_a, const uint8_t* b, uint32_t unit_b,
                    uint32_t n, bool case_sensitive) {
  switch (unit_a) {
    case UNIT_1: return compare_units_with<uint8_t>(a, b, unit_b, n, case_sensitive);
    case UNIT_2: return compare_units_with<uint16_t>(a, b, unit_b, n, case_sensitive);
    default: return compare_units_with<uint32_t>(a, b, unit_b, n, case_sensitive);
  }
}

// The text of a symbol! (its word 3 names its UTF-8 bytes and a NUL) as a temporary string, so
// that comparison and concatenation read symbols like any text.
Cell symbol_text(const Cell* symbol_cell) {
  SeriesBuffer* name = memory::buffer_of(symbol_cell->data3);
  std::string utf8(reinterpret_cast<const char*>(name->data()), name->tail ? name->tail - 1 : 0);
  Cell text;
  load_utf8(&text, utf8);
  return text;
}

}  // namespace

// ---- constructors ----

Cell* make_at_unit(Cell* cell, uint32_t units, uint32_t unit, TypeId type) {
  cell::set_unset(cell);
  NodeId node = memory::alloc_series(units ? units : 1, unit, 0);
  *cell = Cell{type, 0, node, kNoNode};
  return cell;
}

Cell* make_at(Cell* cell, uint32_t bytes, TypeId type) {
  return make_at_unit(cell, bytes, UNIT_1, type);
}

Cell* load_utf8(Cell* cell, std::string_view utf8, TypeId type) {
  return load_at(cell, reinterpret_cast<const uint8_t*>(utf8.data()), uint32_t(utf8.size()),
                 ENCODING_UTF8, type);
}

namespace {
// A text value decoded from external bytes into `cell`. An encoding other than UTF-8 or
// UTF-16LE prints "*** Loading Error: input encoding unsupported" and ends the process.
Cell* load_at(Cell* cell, const uint8_t* bytes, uint32_t count, Encoding encoding,
              TypeId type) {
  switch (encoding) {
    case ENCODING_UTF8: {
      make_at(cell, count, type);
      utf8::load_string(bytes, count, cell->node());
      return cell;
    }
    case ENCODING_UTF16LE:
      make_at(cell, count, type);
      utf16::load(bytes, count / sizeof(uint16_t), cell, false);
      return cell;
  }
  rt::print_line("*** Loading Error: input encoding unsupported");
  rt::runtime_error(rt::RUNTIME_NORMAL_END, XOL_CALLER_ADDRESS);
}
}  // namespace

Cell* from_utf8_binary(Cell* cell, const Cell* binary, uint32_t count) {
  make_at(cell, count);
  SeriesBuffer* source = buffer_of(binary);
  // Decode from a copy: the load allocates, which may move the binary's buffer.
  std::vector<uint8_t> bytes(head_address(binary, source), head_address(binary, source) + count);
  size_t left_over = 0;
  utf8::load_string(bytes.data(), count, cell->node(), &left_over);
  if (left_over) {
    Cell tail;
    make_at(&tail, uint32_t(left_over), TYPE_BINARY);
    std::memcpy(series::reserve_tail(tail.node(), uint32_t(left_over)),
                bytes.data() + count - left_over, left_over);
    error::raise(error::CAT_ACCESS, "invalid-utf8", &tail);
  }
  return cell;
}

// ---- writers ----

void truncate(NodeId node, uint32_t n) {
  SeriesBuffer* buffer = memory::buffer_of(node);
  uint64_t end = uint64_t(n) * buffer->unit();
  if (end <= buffer->size && end < buffer->tail) buffer->tail = uint32_t(end);
}

void append_utf8_bytes(NodeId bytes, const Cell* text, int32_t limit) {
  uint32_t count = length(text);
  if (limit >= 0 && uint32_t(limit) < count) count = uint32_t(limit);
  SeriesBuffer* buffer = ensure_room(bytes, uint64_t(count) * utf8::kMaxSequence);
  size_t n = utf8::from_string_into(text, buffer->tail_ptr(), int32_t(count), false);
  buffer->tail += uint32_t(n);
}

void append_chars(NodeId node, const uint32_t* cps, uint32_t count) {
  if (!count) return;
  uint32_t widest = UNIT_1;
  for (uint32_t i = 0; i < count; ++i) widest = std::max(widest, unit_for_append(cps[i]));
  SeriesBuffer* buffer = widen_to(memory::buffer_of(node), widest);
  uint32_t unit = buffer->unit();
  buffer = ensure_room(node, uint64_t(count) * unit);
  uint8_t* at = buffer->tail_ptr();
  for (uint32_t i = 0; i < count; ++i, at += unit) put_char(at, unit, cps[i]);
  buffer->tail += count * unit;
}

void append_utf8(NodeId node, std::string_view utf8) {
  const auto* p = reinterpret_cast<const uint8_t*>(utf8.data());
  const uint8_t* end = p + utf8.size();
  while (p < end) {
    const uint8_t* ascii_end = p;
    while (ascii_end < end && *ascii_end < kAsciiEnd) ++ascii_end;
    if (ascii_end > p) {
      // ASCII needs no widening: its units are its bytes in any width.
      uint32_t n = uint32_t(ascii_end - p);
      uint32_t unit = unit_of(memory::buffer_of(node));
      if (unit == UNIT_1) {
        std::memcpy(series::reserve_tail(node, n), p, n);
      } else {
        SeriesBuffer* buffer = ensure_room(node, uint64_t(n) * unit);
        uint8_t* at = buffer->tail_ptr();
        for (const uint8_t* c = p; c < ascii_end; ++c, at += unit) put_char(at, unit, *c);
        buffer->tail += n * unit;
      }
      p = ascii_end;
      continue;
    }
    int32_t cp;
    p = unicode::fast_decode_utf8_char(p, end, &cp);
    append_char(node, cp < 0 ? kReplacementChar : uint32_t(cp));
  }
}

int32_t append_indent(NodeId node, uint32_t levels, int32_t remaining) {
  static constexpr std::string_view kLevel = "    ";
  static_assert(kLevel.size() == kIndentWidth);
  for (uint32_t i = 0; i < levels; ++i) append_utf8(node, kLevel);
  return remaining - int32_t(levels * kIndentWidth);
}

uint32_t concatenate(Cell* target, const Cell* source, int32_t part, uint32_t offset,
                     bool convert, ConcatMode mode) {
  if (source->is(TYPE_SYMBOL)) {
    Cell text = symbol_text(source);
    return concatenate(target, &text, part, offset, true, mode);
  }
  NodeId target_node = target->node(), source_node = source->node();
  uint32_t target_unit = unit_of(memory::buffer_of(target_node));
  uint32_t source_unit = unit_of(memory::buffer_of(source_node));
  if (source_unit > target_unit) {
    widen_to(memory::buffer_of(target_node), source_unit);
    target_unit = source_unit;
  } else if (source_unit < target_unit && !convert) {
    widen_to(memory::buffer_of(source_node), target_unit);
    source_unit = target_unit;
  }
  uint32_t count = units_from_head(source, memory::buffer_of(source_node));
  if (part >= 0 && uint32_t(part) < count) count = uint32_t(part);
  uint64_t bytes = uint64_t(count) * target_unit;
  SeriesBuffer* buffer = ensure_room(target_node, bytes);

  uint32_t old_tail = buffer->tail;
  uint32_t head = std::min(target->head_index() * target_unit, old_tail);
  uint32_t position = std::min<uint64_t>(head + uint64_t(offset) * target_unit, old_tail);
  uint32_t destination = mode == CONCAT_APPEND ? old_tail : position;

  SeriesBuffer* from = memory::buffer_of(source_node);
  const uint8_t* read = head_address(source, from);
  // Text read from the target's own buffer is copied aside before the target moves.
  std::vector<uint8_t> aside;
  if (source_node == target_node && mode == CONCAT_INSERT) {
    aside.assign(read, read + count * source_unit);
    read = aside.data();
  }
  if (mode == CONCAT_INSERT)
    std::memmove(buffer->data() + position + bytes, buffer->data() + position,
                 old_tail - position);
  uint8_t* write = buffer->data() + destination;
  if (source_unit == target_unit) {
    std::memmove(write, read, bytes);
  } else {
    for (uint32_t i = 0; i < count; ++i)
      put_char(write + i * target_unit, target_unit, get_char(read + i * source_unit, source_unit));
  }
  uint32_t written_end = destination + uint32_t(bytes);
  switch (mode) {
    case CONCAT_APPEND: buffer->tail = written_end; break;
    case CONCAT_INSERT: buffer->tail = old_tail + uint32_t(bytes); break;
    case CONCAT_OVERWRITE: buffer->tail = std::max(written_end, old_tail); break;
  }
  return count;
}

// ---- searching and comparing ----

int32_t find_char(const Cell* string, uint32_t cp) {
  SeriesBuffer* buffer = buffer_of(string);
  uint32_t unit = buffer->unit(), n = units_from_head(string, buffer);
  const uint8_t* at = head_address(string, buffer);
  for (uint32_t i = 0; i < n; ++i)
    if (get_char(at + i * unit, unit) == cp) return int32_t(i);
  return -1;
}

bool contains_char(const Cell* string, uint32_t cp, uint32_t step, bool case_sensitive) {
  SeriesBuffer* buffer = buffer_of(string);
  uint32_t unit = buffer->unit(), n = units_from_head(string, buffer);
  const uint8_t* at = head_address(string, buffer);
  cp = fold(cp, case_sensitive);
  for (uint32_t i = 0; i < n; i += step)
    if (fold(get_char(at + i * unit, unit), case_sensitive) == cp) return true;
  return false;
}

bool units_match(const uint8_t* a, uint32_t unit_a, const uint8_t* b, uint32_t unit_b, uint32_t n,
                 bool case_sensitive) {
  return compare_any(a, unit_a, b, unit_b, n, case_sensitive) == 0;
}

int32_t compare_strings(const Cell* left, const Cell* right, int32_t op, bool match) {
  bool same = left->node() == right->node() && left->head_index() == right->head_index();
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SELECT:
      if (same) return 0;
      break;
    case COMP_SAME:
      return same ? 0 : -1;
  }
  if (left->is(TYPE_SYMBOL) || right->is(TYPE_SYMBOL)) {
    Cell l = left->is(TYPE_SYMBOL) ? symbol_text(left) : *left;
    Cell r = right->is(TYPE_SYMBOL) ? symbol_text(right) : *right;
    return compare_strings(&l, &r, op, match);
  }
  SeriesBuffer* a = buffer_of(left);
  SeriesBuffer* b = buffer_of(right);
  uint32_t left_length = units_from_head(left, a), right_length = units_from_head(right, b);
  bool equality = op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL ||
                  op == COMP_SELECT;
  uint32_t n = std::min(left_length, right_length);
  if (match) {
    if (right_length == 0) return op == COMP_SELECT ? 1 : 0;
    if (left_length < right_length) return 1;
    n = right_length;
  } else if (left_length != right_length) {
    if (equality || right_length == 0) return 1;
  } else if (left_length == 0) {
    return 0;
  }
  bool case_sensitive = !folds_case(op);
  const uint8_t* x = head_address(left, a);
  const uint8_t* y = head_address(right, b);
  int32_t answer = compare_any(x, a->unit(), y, b->unit(), n, case_sensitive);
  if (answer || match) return answer;
  return left_length < right_length ? -1 : left_length > right_length ? 1 : 0;
}

// ---- sort comparators ----

namespace {

uint32_t fold_unit1(uint32_t c) {
  return c - 'A' < case_map::detail::kLetterCount ? c + case_map::detail::kAsciiCaseBit : c;
}

template <typename Unit, uint32_t (*Fold)(uint32_t)>
int32_t compare_sorted(const void* a, const void* b, uint32_t case_flag, uint32_t flags) {
  auto* x = static_cast<const uint8_t*>(a);
  auto* y = static_cast<const uint8_t*>(b);
  uint32_t n = 1;
  if (flags & SORT_RECORD) {
    n = flags >> kSortSizeShift;
  } else {
    uint32_t offset = (flags >> kSortSizeShift) * sizeof(Unit);
    x += offset;
    y += offset;
  }
  int32_t difference = 0;
  for (uint32_t i = 0; i < n && !difference; ++i) {
    uint32_t p = load_unit<Unit>(x + i * sizeof(Unit)), q = load_unit<Unit>(y + i * sizeof(Unit));
    if (!case_flag) {
      p = Fold(p);
      q = Fold(q);
    }
    difference = int32_t(p) - int32_t(q);
  }
  return flags & SORT_REVERSE ? -difference : difference;
}

template <typename Float>
int32_t compare_floats(const void* a, const void* b, uint32_t, uint32_t flags) {
  Float x, y;
  std::memcpy(&x, a, sizeof x);
  std::memcpy(&y, b, sizeof y);
  int32_t answer = x < y ? -1 : y < x ? 1 : 0;
  return flags & SORT_REVERSE ? -answer : answer;
}

}  // namespace

int32_t compare_unit1(const void* a, const void* b, uint32_t op, uint32_t flags) {
  return compare_sorted<uint8_t, fold_unit1>(a, b, op, flags);
}
int32_t compare_unit2(const void* a, const void* b, uint32_t op, uint32_t flags) {
  return compare_sorted<uint16_t, case_map::to_upper>(a, b, op, flags);
}
int32_t compare_unit4(const void* a, const void* b, uint32_t op, uint32_t flags) {
  return compare_sorted<uint32_t, case_map::to_upper>(a, b, op, flags);
}

// ---- number text ----

std::string_view to_hex(int32_t value, bool trim) {
  static char digits[kHexWidth];
  uint32_t bits = uint32_t(value);
  for (int i = kHexWidth - 1; i >= 0; --i, bits >>= hex::kNibbleBits)
    digits[i] = hex::kDigits[bits & hex::kNibbleMask];
  if (!trim) return {digits, kHexWidth};
  int first = 0;
  constexpr int kMinDigits = 2;
  while (first < kHexWidth - kMinDigits && digits[first] == '0') ++first;
  return {digits + first, size_t(kHexWidth - first)};
}

std::string_view byte_to_hex(uint8_t byte) {
  static char digits[2];
  hex::write_byte(digits, byte);
  return {digits, 2};
}

}  // namespace xol::string
