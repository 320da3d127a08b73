// The storage layer of the text types: string!, file!, url!, tag!, email! and ref! (and, at
// unit 1, binary!). Everything that reads or writes text goes through these routines: the
// string actions, the mold and form of every datatype (they append to a string buffer), the
// lexer, parse and the OS layer.
//
// A text cell holds its head index in units (word 1), its buffer's node (word 2) and the node
// of its conversion buffer for outgoing UTF-8 and UTF-16 (word 3, 0 until first used, shared
// by copies of the cell). The buffer's units are 1, 2 or 4 bytes wide (string_widening.h); the
// width is invisible to users except where the language defines it to matter (the sort
// comparators below). A head index may lie past the tail after another reference shortened the
// buffer: readers clamp it.
//
// Writers may widen or grow a buffer, which moves it: code keeps cells and nodes, never buffer
// addresses, across any write or allocation.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/cell.h"
#include "runtime/memory/memory.h"
#include "runtime/text/string_widening.h"

namespace xol::string {

// The types whose cells hold text (binary! excluded).
constexpr uint64_t kTextTypes =
    types_of({TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF});
inline bool is_text_type(TypeId type) { return in_types(kTextTypes, type); }

inline SeriesBuffer* buffer_of(const Cell* string) { return memory::buffer_of(string->node()); }

// ---- accessors ----

// Units from the head to the tail (0 when the head is at or past it).
inline uint32_t length(const Cell* string) { return units_from_head(string, buffer_of(string)); }
// Units from the buffer start to the tail.
inline uint32_t length_abs(const Cell* string) {
  SeriesBuffer* buffer = buffer_of(string);
  return buffer->tail / buffer->unit();
}
inline bool at_tail(const Cell* string) { return length(string) == 0; }
// Clamps a head beyond the tail to the tail (writing it back) and answers the head index.
[[gnu::always_inline]] inline uint32_t clamp_head(Cell* string) {
  uint32_t units = length_abs(string);
  if (string->head_index() > units) string->data1 = units;
  return string->head_index();
}
// The code point at an absolute unit index (0-based from the buffer start).
inline uint32_t abs_at(const Cell* string, uint32_t index) {
  SeriesBuffer* buffer = buffer_of(string);
  return get_char(buffer->data() + index * buffer->unit(), buffer->unit());
}
// The code point at the head (the caller knows the string is not at its tail).
inline uint32_t head_char(const Cell* string) { return abs_at(string, string->head_index()); }

// ---- constructors ----

// The cell becomes an empty string! at head 0 on a new unit-1 buffer of `bytes` bytes (0 gives
// 1), or of `units` units of `unit`.
Cell* make_at(Cell* cell, uint32_t bytes, TypeId type = TYPE_STRING);
Cell* make_at_unit(Cell* cell, uint32_t units, uint32_t unit, TypeId type = TYPE_STRING);
// A new string! holding UTF-8 text decoded strictly (U+0080-U+00FF stay in unit 1).
Cell* load_utf8(Cell* cell, std::string_view utf8, TypeId type = TYPE_STRING);

enum Encoding : int32_t { ENCODING_UTF8 = 0, ENCODING_UTF16LE = -1 };
// The `to string!` of a binary: `count` bytes from its head decoded as UTF-8; bytes left
// undecoded raise access `invalid-utf8` with them as a binary!.
Cell* from_utf8_binary(Cell* cell, const Cell* binary, uint32_t count);

// ---- writers ----

// When n units end before the current tail, the tail becomes start + n units.
void truncate(NodeId node, uint32_t n);
// Stores cp at absolute unit index `index` (U+0080-U+00FF stay in unit 1); an index at the tail
// extends the text by one unit.
inline SeriesBuffer* poke_char(const Cell* string, uint32_t index, uint32_t cp) {
  return overwrite_char(string->node(), index, cp);
}
// Appends UTF-8 text decoded leniently, each code point through append_char's widening rule;
// runs of ASCII are copied as they are. Malformed bytes are appended as U+FFFD.
void append_utf8(NodeId node, std::string_view utf8);
// Appends the UTF-8 bytes of the text from its head (`limit` units at most, -1 for all) at the
// tail of a byte buffer.
void append_utf8_bytes(NodeId bytes, const Cell* text, int32_t limit = -1);
// Appends code points, widening once to the unit the widest of them needs under append_char's
// rule.
void append_chars(NodeId node, const uint32_t* cps, uint32_t count);

constexpr uint32_t kIndentWidth = 4;   // spaces per indentation level of mold

// Appends `levels` x four spaces (mold's indentation) and answers `remaining` minus their count.
int32_t append_indent(NodeId node, uint32_t levels, int32_t remaining);

// Batches code points appended to one buffer, so that a routine writing character by
// character (mold) widens and grows the target once per batch. Call flush before reading the
// target or leaving; nothing is written before.
class CharWriter {
 public:
  explicit CharWriter(const Cell* target) : node_(target->node()) {}
  void put(uint32_t cp) {
    if (pending_ == kBatch) flush();
    batch_[pending_++] = cp;
    ++written_;
  }
  void put_ascii(std::string_view text) {
    for (char c : text) put(uint8_t(c));
  }
  // A line break and `levels` of mold's indentation; answers the characters put.
  int32_t put_line_break(int32_t levels) {
    const int32_t spaces = levels * int32_t(kIndentWidth);
    put('\n');
    for (int32_t i = 0; i < spaces; ++i) put(' ');
    return 1 + spaces;
  }
  void flush() {
    append_chars(node_, batch_, pending_);
    pending_ = 0;
  }
  // Code points put so far.
  uint32_t written() const { return written_; }

 private:
  static constexpr uint32_t kBatch = 256;
  NodeId node_;
  uint32_t pending_ = 0;
  uint32_t written_ = 0;
  uint32_t batch_[kBatch];
};

enum ConcatMode : int32_t { CONCAT_APPEND, CONCAT_INSERT, CONCAT_OVERWRITE };
// Copies the source's text from its head (at most `part` units when part >= 0) into the target:
// at its tail (append), or at its head + offset, moving the rest up (insert) or writing over
// it (overwrite). A symbol! source gives its name. The narrower buffer is widened to the
// wider unit, the source itself included unless `convert` is set, in which case it is read
// and converted unit by unit and left untouched. Answers the units copied.
uint32_t concatenate(Cell* target, const Cell* source, int32_t part, uint32_t offset,
                     bool convert, ConcatMode mode);

// ---- searching and comparing ----

// Offset from the head of the first unit equal to cp, or -1.
int32_t find_char(const Cell* string, uint32_t cp);
// True when a unit at head, head + step, head + 2 step ... equals cp; both sides folded to upper
// case unless `case_sensitive`.
bool contains_char(const Cell* string, uint32_t cp, uint32_t step, bool case_sensitive);

// True when n units at a (of unit_a) equal n units at b (of unit_b), folded to upper case unless
// `case_sensitive`.
bool units_match(const uint8_t* a, uint32_t unit_a, const uint8_t* b, uint32_t unit_b, uint32_t n,
                 bool case_sensitive);

// Text comparison under a compare op: -1, 0 or 1. Letter case is folded to upper case unless
// the op is strict-equal? or the case-sensitive sort. With `match`, the right side is a prefix
// to find at the left's head (find/match, parse).
int32_t compare_strings(const Cell* left, const Cell* right, int32_t op, bool match);

// ---- sort comparators ----

// Flags of the comparators: bit 0 reverses; bit 1 compares whole records, whose size in units
// is in bits 2 and up; without bit 1, bits 2 and up give the offset of the compared unit.
enum SortFlag : uint32_t { SORT_REVERSE = 1, SORT_RECORD = 2 };
constexpr uint32_t kSortSizeShift = 2;
// `op` is the case flag: 1 compares exact code points. Unit 1 folds only A-Z, to lower case;
// units 2 and 4 fold every letter to upper case, so the same text can sort differently by the
// width it is stored in.
int32_t compare_unit1(const void* a, const void* b, uint32_t op, uint32_t flags);
int32_t compare_unit2(const void* a, const void* b, uint32_t op, uint32_t flags);
int32_t compare_unit4(const void* a, const void* b, uint32_t op, uint32_t flags);

// ---- number text ----

// Eight upper-case hexadecimal digits of a 32-bit value (two's complement for a negative one),
// or with `trim` the digits from the first significant one (at least two); valid until the
// next call.
std::string_view to_hex(int32_t value, bool trim);
// Two upper-case hexadecimal digits.
std::string_view byte_to_hex(uint8_t byte);

}  // namespace xol::string
