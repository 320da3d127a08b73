// string!: make and to, the printed forms, comparison, the inserting actions, find and select,
// sort, swap, take, trim and the set-operation worker.
//
// `append`, `insert` and `change` share one splice: the new content is a text value (used as it
// is), a single char, or anything else formed into a temporary string first. The splice widens
// the target to the content's unit, opens or closes the gap, writes the content once and
// repeats it for /dup by doubling copies. The most frequent of them, an `append` of text or a
// char! that the target's unit holds, to a string that no owner watches and that has room, goes
// straight to the tail instead, writing what the splice would; the action's dispatcher takes
// that road before it reads any option.
#include "runtime/datatypes/string.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <unordered_set>

#include "runtime/text/case_map.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/tables/sort.h"
#include "runtime/text/utf16.h"
#include "runtime/text/utf8.h"

namespace xol::string {

namespace {

constexpr uint32_t kMinCapacity = 16;
// Mold switches to braces for text this long, or with this many line feeds.
constexpr uint32_t kBraceLength = 50;
constexpr uint32_t kBraceLineFeeds = 3;
constexpr uint32_t kRecordSeparator = 0x1E;
constexpr uint32_t kFirstC1 = 0x80, kLastC1 = 0x9F;
constexpr uint32_t kDelete = 0x7F;
constexpr uint32_t kEscapeTableSize = 95;

// The character written after a caret for the code points that have one (0: none).
constexpr char kEscapes[kEscapeTableSize] = {
    '@', 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', '-', '/', 'K', 'L', 'M', 'N', 'O',
    'P', 'Q', 'R', 'S', 'T', 'U', 'V', 'W', 'X', 'Y', 'Z', '[', '\\', ']', '^', '_',
    0,   0,   '"', 0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   '^',
};


[[noreturn]] void raise_not_done() { error::raise(error::CAT_INTERNAL, "not-done"); }
[[noreturn]] void raise_bad_refines() { error::raise(error::CAT_SCRIPT, "bad-refines"); }

bool is_block_like(TypeId type) {
  return type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH;
}
// The text types whose own text is appended or searched as it is (a tag! goes with brackets).
constexpr uint64_t kPlainTextTypes = kTextTypes & ~types_of({TYPE_TAG});
bool is_plain_text(TypeId type) { return in_types(kPlainTextTypes, type); }

// A series cell at another head.
Cell at_head(const Cell* series, uint32_t head) {
  Cell moved = *series;
  moved.data1 = head;
  return moved;
}

// The unit a single code point needs when `append`, `insert` or `change` adds it.
uint32_t char_unit(uint32_t cp) { return unit_for_append(cp); }

// ---- building new content ----

// Appends the formed elements of a block from its head: `count` elements at most (-1: all).
void form_elements(const Cell* block, Cell* target, int32_t count) {
  uint32_t n = block::length(block);
  if (count >= 0) n = std::min(n, uint32_t(count));
  uint32_t head = block::head_position(block);
  for (uint32_t i = 0; i < n; ++i) {
    Cell element = *block::abs_at(block, head + i);
    form_value(&element, target);
  }
}

// The content that a value adds to text, as a new string: a tag! with its brackets, a block's
// elements formed one after another, anything else formed. `part` limits elements (a block
// without /only) or characters (the rest); -1 for no limit.
Cell formed_content(const Cell* value, int32_t part, bool only) {
  Cell content;
  make_at(&content, kMinCapacity);
  if (is_block_like(value->type()) && !only) {
    form_elements(value, &content, part);
  } else if (is_block_like(value->type())) {
    form_elements(value, &content, -1);
    if (part >= 0) truncate(content.node(), uint32_t(part));
  } else {
    form_value(value, &content, part);
  }
  return content;
}

// The content of a value for `append`, `insert` and `change`, and how many of its units to
// take. A text value in another buffer is used as it is, and a narrower one is converted as it
// is copied, never widened in place: reading a value must not change it (a sort running on it
// went on over units twice as wide, and its order of letters and signs depends on the unit);
// a char! becomes a one-character string of the unit `append` gives it; anything else is formed.
struct Content {
  Cell text;
  uint32_t count;
};

Content content_of(const Cell* target, const Cell* value, int32_t part, bool only) {
  Content content;
  if (is_plain_text(value->type()) && value->node() != target->node()) {
    content.text = *value;
    content.count = length(value);
    if (part >= 0) content.count = std::min(content.count, uint32_t(part));
    return content;
  }
  if (value->is(TYPE_CHAR)) {
    make_at_unit(&content.text, 1, char_unit(character::get(value)));
    poke_char(&content.text, 0, character::get(value));
    content.count = 1;
    return content;
  }
  if (is_plain_text(value->type())) {
    content.text = copy_text(value, TYPE_STRING);
    content.count = length(&content.text);
    if (part >= 0) content.count = std::min(content.count, uint32_t(part));
    return content;
  }
  content.text = formed_content(value, part, only);
  content.count = length(&content.text);
  return content;
}

// ---- the inserting actions ----

// The buffer with room for `total` bytes, grown as memory::grown_size says.
SeriesBuffer* room_for(SeriesBuffer* buffer, uint64_t total) {
  if (total <= buffer->size) return buffer;
  return memory::grow_series(buffer, memory::grown_size(buffer->size, total));
}

// Text appended piece by piece comes mostly in runs of a few bytes, which two overlapping
// loads and stores copy for less than a call to memcpy costs.
constexpr uint32_t kShortRun = 16;

template <typename Word>
void copy_ends(uint8_t* to, const uint8_t* from, uint32_t bytes) {
  Word first, last;
  std::memcpy(&first, from, sizeof first);
  std::memcpy(&last, from + bytes - sizeof last, sizeof last);
  std::memcpy(to, &first, sizeof first);
  std::memcpy(to + bytes - sizeof last, &last, sizeof last);
}

// Copies at most kShortRun bytes between two buffers.
[[gnu::always_inline]] inline void copy_short_run(uint8_t* to, const uint8_t* from,
                                                  uint32_t bytes) {
  if (bytes >= sizeof(uint64_t)) copy_ends<uint64_t>(to, from, bytes);
  else if (bytes >= sizeof(uint32_t)) copy_ends<uint32_t>(to, from, bytes);
  else if (bytes >= sizeof(uint16_t)) copy_ends<uint16_t>(to, from, bytes);
  else if (bytes) *to = *from;
}

// Copies a longer run and answers true: the direct append ends with it as a tail call, which
// spares the append a stack frame of its own.
[[gnu::noinline]] bool copy_long_run(uint8_t* to, const uint8_t* from, uint32_t bytes) {
  std::memcpy(to, from, bytes);
  return true;
}

// The common `append`, once, to a buffer that no notice watches and that has room: a char! that
// the target's unit holds, or text of the same unit from another buffer. It writes what splice
// would, without the temporary content and the notice, and calls nothing before its last step,
// so that it saves no registers. False, having done nothing, for any other case: the general
// road widens and grows (a grow doubles, so it comes at most log n times in n appends).
[[gnu::always_inline]] inline bool append_directly(Cell* target, const Cell* value,
                                                   int32_t part) {
  SeriesBuffer* buffer = buffer_of(target);
  if (buffer->flags & series::kNoticedFlags) return false;
  uint32_t unit = buffer->unit();
  uint32_t tail = buffer->tail;
  if (value->is(TYPE_CHAR)) {
    uint32_t cp = character::get(value);
    if (char_unit(cp) > unit || tail + unit > buffer->size) return false;
    put_char(buffer->data() + tail, unit, cp);
    buffer->tail = tail + unit;
    target->data1 = 0;
    return true;
  }
  if (!is_plain_text(value->type()) || value->node() == target->node()) return false;
  const SeriesBuffer* source = buffer_of(value);
  if (source->unit() != unit) return false;
  // Byte offsets, so that no length is divided by the unit.
  uint64_t from = uint64_t(value->head_index()) * unit;
  uint32_t bytes = from < source->tail ? source->tail - uint32_t(from) : 0;
  if (part >= 0 && uint64_t(part) * unit < bytes) bytes = uint32_t(part) * unit;
  if (bytes == 0) {
    clamp_head(target);
    return true;
  }
  if (uint64_t(tail) + bytes > buffer->size) return false;
  buffer->tail = tail + bytes;
  target->data1 = 0;
  uint8_t* to = buffer->data() + tail;
  if (bytes > kShortRun) return copy_long_run(to, source->data() + from, bytes);
  copy_short_run(to, source->data() + from, bytes);
  return true;
}

// The general `append` and `insert`: announced to an owner, any content, widening either
// side, repeated for /dup. The target's head moves past what was inserted (to 0 for an append).
// Out of line, so that the common append through append_directly saves no registers for it.
[[gnu::noinline]] void insert_content(Cell* target, Cell* value, const InsertOptions& options,
                                      bool at_tail) {
  uint32_t head = clamp_head(target);
  uint32_t position = at_tail ? length_abs(target) : head;
  if (options.dup < 1) return;
  series::Notice notice(target, at_tail ? ACT_APPEND : ACT_INSERT, value, int32_t(position),
                        options.part);
  Content content = content_of(target, value, options.part, options.only);
  uint32_t added = splice(target, position, 0, &content.text, content.count, options.dup);
  notice.done();
  if (added) target->data1 = at_tail ? 0 : position + added;
}

// ---- mold ----

// The braces that mold may write bare: a "{" is balanced while a matching "}" follows it in
// the range; from the first one that has none, every "{" takes a caret. That first one is the
// "{" that last raised the nesting from zero, when the nesting never came back down.
uint32_t first_unbalanced_brace(const Cell* text, uint32_t head, uint32_t n) {
  uint32_t depth = 0, opened_from_zero = n;
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t c = abs_at(text, head + i);
    if (c == '{') {
      if (depth++ == 0) opened_from_zero = i;
    } else if (c == '}' && depth > 0) {
      --depth;
    }
  }
  return depth ? opened_from_zero : n;
}

// ---- find ----

struct Pattern {
  Cell text;         // the text searched for (unused for a single code point)
  uint32_t length;   // units
  bool single;       // a char! or an integer!: one code point
  uint32_t cp;
  const Cell* bitset;
  const Cell* element;  // a value sought in a vector!: matched by element value
};

Pattern pattern_of(const Cell* series, const Cell* value) {
  Pattern pattern{};
  pattern.length = 1;
  if (series->is(TYPE_VECTOR)) {
    pattern.element = value;
    return pattern;
  }
  switch (value->type()) {
    case TYPE_CHAR:
      pattern.single = true;
      pattern.cp = character::get(value);
      return pattern;
    case TYPE_BITSET:
      pattern.bitset = value;
      return pattern;
    case TYPE_INTEGER:
    case TYPE_FLOAT:
      if (series->is(TYPE_BINARY)) {
        pattern.single = true;
        pattern.cp = value->is(TYPE_INTEGER) ? uint32_t(integer::get(value))
                                             : uint32_t(integer::from_double(floating::get(value)));
        return pattern;
      }
      break;
    case TYPE_WORD:
      load_utf8(&pattern.text, symbol::name(word::symbol_of(value)));
      pattern.length = length(&pattern.text);
      return pattern;
    case TYPE_BINARY:
      if (!series->is(TYPE_BINARY)) number::raise_invalid_arg(value);
      [[fallthrough]];
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_EMAIL: case TYPE_REF:
      pattern.text = *value;
      pattern.length = length(value);
      return pattern;
    default:
      break;
  }
  make_at(&pattern.text, kMinCapacity);
  form_value(value, &pattern.text);
  pattern.length = length(&pattern.text);
  return pattern;
}

// A binary! holds text as UTF-8, as `to binary!` and `append` write it, so text sought in one
// is sought as those bytes (its code points compared with bytes could never match past
// U+00FF, and matched a lone Latin-1 byte instead of the character's two).
Pattern searched_pattern(const Cell* series, const Cell* value) {
  Pattern pattern = pattern_of(series, value);
  if (!series->is(TYPE_BINARY) || pattern.single || pattern.bitset ||
      !is_text_type(pattern.text.type()))
    return pattern;
  Cell bytes;
  make_at(&bytes, pattern.length * utf8::kMaxSequence, TYPE_BINARY);
  append_utf8_bytes(bytes.node(), &pattern.text);
  pattern.text = bytes;
  pattern.length = length(&bytes);
  return pattern;
}

// Whether the pattern matches at absolute unit position `at` of the series.
bool matches_at(const Cell* series, uint32_t at, const Pattern& pattern, bool case_sensitive) {
  if (pattern.element) {
    Cell element = series::element_at(series, at);
    return block::values_match(&element, pattern.element, COMP_EQUAL);
  }
  SeriesBuffer* buffer = buffer_of(series);
  uint32_t unit = buffer->unit();
  const uint8_t* p = buffer->data() + at * unit;
  if (pattern.bitset) return bitset::contains(pattern.bitset, get_char(p, unit));
  if (pattern.single) {
    uint32_t c = get_char(p, unit);
    return case_sensitive ? c == pattern.cp
                          : case_map::to_upper(c) == case_map::to_upper(pattern.cp);
  }
  SeriesBuffer* text = buffer_of(&pattern.text);
  return units_match(p, unit, head_address(&pattern.text, text), text->unit(), pattern.length,
                     case_sensitive);
}

struct Found {
  bool found;
  uint32_t start;    // absolute unit position of the match
  uint32_t length;   // units matched
};

Found search(Cell* series, const Cell* value, const FindOptions& options) {
  Found none{false, 0, 0};
  SeriesBuffer* buffer = buffer_of(series);
  uint32_t units = buffer->length();
  uint32_t head = std::min(series->head_index(), units);
  if (units == 0 || (head >= units && !options.reverse)) return none;
  if (options.any || options.with) raise_not_done();
  int32_t step = 1;
  if (options.skip) {
    if (!options.skip->is(TYPE_INTEGER)) series::raise_refine(options.skip, "skip");
    step = integer::get(options.skip);
    if (step < 1) number::raise_out_of_range(options.skip);
  }
  // The units searched: after the head, or before it for /reverse.
  uint32_t count = options.reverse ? head : units - head;
  if (options.part) {
    int32_t n = series::part_count(series, options.part, "part");
    if (n < 1) return none;
    count = std::min(count, uint32_t(n));
  }
  Pattern pattern = searched_pattern(series, value);
  uint32_t n = pattern.length;
  if (n == 0) return none;
  bool case_sensitive = options.case_sensitive || options.same || !is_text_type(series->type());

  if (options.reverse || options.last) {
    // Backward, from the first start tried down: /reverse counts records (of /skip units) back
    // from the head, as /skip counts them forward, and starts at the nearest one the pattern
    // ends by; /last starts it at the last record from the head it fits in.
    int64_t low, first;
    if (options.reverse) {
      if (head == 0 || options.match) return none;
      first = int64_t(head) - int64_t((n + uint32_t(step) - 1) / uint32_t(step)) * step;
      low = int64_t(head) - count;
    } else {
      if (count < n) return none;
      first = head + (count - n) / uint32_t(step) * uint32_t(step);
      low = head;
    }
    for (int64_t start = first; start >= low; start -= step) {
      if (matches_at(series, uint32_t(start), pattern, case_sensitive))
        return {true, uint32_t(start), n};
      if (options.match) break;
    }
    return none;
  }
  uint32_t end = head + count;
  for (uint32_t start = head; start + n <= end; start += uint32_t(step)) {
    if (matches_at(series, start, pattern, case_sensitive)) return {true, start, n};
    if (options.match) break;
  }
  return none;
}

// ---- trim ----

bool is_whitespace(uint32_t c) {
  if (c >= 1 && c <= ' ') return true;
  switch (c) {
    case 0x85: case 0xA0: case 0x1680: case 0x180E: case 0x2028: case 0x2029: case 0x202F:
    case 0x205F: case 0x3000:
      return true;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}
// The blanks a line loses at both ends: whitespace without the control codes other than tab.
bool is_blank(uint32_t c) { return c == '\t' || (c >= ' ' && is_whitespace(c)); }
// What /all removes when no /with set is given.
bool is_default_trimmed(uint32_t c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

// The units of a text from its head, read and rewritten in place: trimming never writes more
// than it has read, so a write never overtakes a read and the unit never changes.
class InPlace {
 public:
  explicit InPlace(const Cell* series)
      : series_(series), head_(series->head_index()), length_(length(series)) {}
  uint32_t size() const { return length_; }
  uint32_t operator[](uint32_t i) const { return abs_at(series_, head_ + i); }
  void put(uint32_t c) {
    SeriesBuffer* buffer = buffer_of(series_);
    put_char(buffer->data() + (head_ + written_) * buffer->unit(), buffer->unit(), c);
    ++written_;
  }
  void finish() {
    SeriesBuffer* buffer = buffer_of(series_);
    buffer->tail = (head_ + written_) * buffer->unit();
  }

 private:
  const Cell* series_;
  uint32_t head_, length_;
  uint32_t written_ = 0;
};

// A /with set: the units of a text or binary!, or the one code point of a char! or integer!.
bool is_trim_set(const Cell* with) {
  return is_text_type(with->type()) || with->is(TYPE_BINARY) || with->is(TYPE_CHAR) ||
         with->is(TYPE_INTEGER);
}

void trim_set(const Cell* series, const Cell* with) {
  InPlace text(series);
  auto removed = [&](uint32_t c) {
    if (!with) return is_default_trimmed(c);
    if (with->is(TYPE_CHAR) || with->is(TYPE_INTEGER)) return c == with->data2;
    return contains_char(with, c, 1, true);
  };
  for (uint32_t i = 0; i < text.size(); ++i)
    if (!removed(text[i])) text.put(text[i]);
  text.finish();
}

// Without a refinement, every line also loses the blanks at its two ends; a run of blanks
// inside a line stays.
void trim_inner_lines(InPlace& text, uint32_t start, uint32_t end) {
  bool line_start = true;
  for (uint32_t i = start; i < end; ++i) {
    uint32_t c = text[i];
    if (c == '\n') {
      text.put(c);
      line_start = true;
      continue;
    }
    if (is_blank(c)) {
      if (line_start) continue;
      uint32_t run_end = i;
      while (run_end < end && is_blank(text[run_end])) ++run_end;
      if (run_end < end && text[run_end] != '\n')
        for (uint32_t k = i; k < run_end; ++k) text.put(text[k]);
      i = run_end - 1;
      continue;
    }
    line_start = false;
    text.put(c);
  }
}

void trim_whitespace(const Cell* series, const TrimOptions& options) {
  InPlace text(series);
  uint32_t start = 0, end = text.size();
  bool ends_only = options.head || options.tail;
  if (options.head || !options.tail)
    while (start < end && is_whitespace(text[start])) ++start;
  bool trailing_line_feed = false;
  if (options.tail || !options.head) {
    while (end > start && is_whitespace(text[end - 1])) {
      trailing_line_feed |= text[end - 1] == '\n';
      --end;
    }
  }
  if (options.lines) {
    bool space = false;
    for (uint32_t i = start; i < end; ++i) {
      if (is_whitespace(text[i])) {
        space = true;
        continue;
      }
      if (space) text.put(' ');
      space = false;
      text.put(text[i]);
    }
  } else if (ends_only) {
    for (uint32_t i = start; i < end; ++i) text.put(text[i]);
  } else {
    trim_inner_lines(text, start, end);
    if (trailing_line_feed) text.put('\n');
  }
  text.finish();
}

// ---- sort ----

// What the user comparator needs beyond the element addresses; saved and restored around each
// sort, so a comparator that sorts does not disturb the sort that called it.
struct UserSort {
  const Cell* function;
  Cell series;      // the sorted series, for records made as strings on its buffer
  uint32_t unit;
  uint32_t end;     // the end of the sorted range, in units
};
UserSort* user_sort = nullptr;

int32_t compare_by_function(const void* a, const void* b, uint32_t, uint32_t flags) {
  const UserSort& sort = *user_sort;
  SeriesBuffer* buffer = buffer_of(&sort.series);
  auto index_of = [&](const void* p) {
    return uint32_t((static_cast<const uint8_t*>(p) - buffer->data()) / sort.unit);
  };
  Cell x, y;
  if (flags & SORT_RECORD) {
    // A binary's records stay binary!: a string! on its buffer could widen it.
    TypeId record = sort.series.is(TYPE_BINARY) ? TYPE_BINARY : TYPE_STRING;
    x = at_head(&sort.series, index_of(a));
    y = at_head(&sort.series, index_of(b));
    cell::set_type(&x, record);
    cell::set_type(&y, record);
  } else {
    // Elements as pick answers them: a char!, or an integer! byte of a binary.
    uint32_t offset = flags >> kSortSizeShift;
    x = series::element_at(&sort.series, index_of(a) + offset);
    y = series::element_at(&sort.series, index_of(b) + offset);
  }
  int32_t order = series::call_sort_comparison(sort.function, &x, &y, &sort.series, sort.end);
  // The function may also have widened the string: the sort cannot go on over units made
  // wider (it would cut characters into pieces).
  if (unit_of(buffer_of(&sort.series)) != sort.unit) error::raise(error::CAT_SCRIPT, "past-end");
  return flags & SORT_REVERSE ? -order : order;
}

sort::Compare comparator_for(uint32_t unit) {
  switch (unit) {
    case UNIT_1: return compare_unit1;
    case UNIT_2: return compare_unit2;
    default: return compare_unit4;
  }
}

// ---- set operations ----

// The first code points of records, folded unless case-sensitive: a lookup each, so that a set
// operation is linear in the lengths (scanning the other text for each record made `exclude`
// of two 100 000-character texts take seconds).
class FirstPoints {
 public:
  explicit FirstPoints(bool case_sensitive) : case_sensitive_(case_sensitive) {}
  // The first code points of the records of `skip` units from the text's head.
  FirstPoints(const Cell* text, uint32_t skip, bool case_sensitive)
      : case_sensitive_(case_sensitive) {
    for (uint32_t i = text->head_index(); i < length_abs(text); i += skip) add(abs_at(text, i));
  }
  void add(uint32_t cp) { points_.insert(folded(cp)); }
  bool holds(uint32_t cp) const { return points_.count(folded(cp)) != 0; }

 private:
  uint32_t folded(uint32_t cp) const { return case_sensitive_ ? cp : case_map::to_upper(cp); }
  std::unordered_set<uint32_t> points_;
  bool case_sensitive_;
};

// A new string holding the kept records.
class RecordSet {
 public:
  RecordSet(const Cell* source, uint32_t capacity, uint32_t skip, bool case_sensitive)
      : skip_(skip), kept_(case_sensitive) {
    make_at_unit(&result_, capacity, unit_of(buffer_of(source)));
  }
  // Appends the record at `index` of the text unless one with its first code point is kept.
  void keep(const Cell* text, uint32_t index) {
    uint32_t first = abs_at(text, index);
    if (kept_.holds(first)) return;
    kept_.add(first);
    uint32_t n = std::min(skip_, length_abs(text) - index);
    Cell record = at_head(text, index);
    concatenate(&result_, &record, int32_t(n), 0, true, CONCAT_APPEND);
  }
  const Cell& result() const { return result_; }

 private:
  Cell result_;
  uint32_t skip_;
  FirstPoints kept_;
};

}  // namespace

// A lone surrogate has no UTF-8 form the lexer accepts, so it is always written as ^(hex).
void put_escaped(CharWriter& writer, uint32_t cp, bool all) {
  if (cp == kRecordSeparator || (cp >= kFirstC1 && cp <= kLastC1) ||
      utf16::is_surrogate(cp) || (all && cp >= kDelete + 1)) {
    writer.put('^');
    writer.put('(');
    writer.put_ascii(to_hex(int32_t(cp), true));
    writer.put(')');
  } else if (cp < kEscapeTableSize && kEscapes[cp]) {
    writer.put('^');
    writer.put(uint8_t(kEscapes[cp]));
  } else if (cp == kDelete) {
    writer.put_ascii("^~");
  } else {
    writer.put(cp);
  }
}

void form_value(const Cell* value, Cell* buffer, int32_t limit) {
  FormRoutine form_routine = actions::get<ACT_FORM>(value->type());
  if (limit < 0) {
    form_routine(value, buffer, nullptr, kNoPartLimit);
    return;
  }
  // Form whole, then cut: not every form routine stops at its budget.
  Cell part = integer::make(limit);
  uint32_t before = length_abs(buffer);
  form_routine(value, buffer, &part, limit);
  truncate(buffer->node(), before + uint32_t(limit));
}

uint32_t splice(const Cell* target, uint32_t position, uint32_t replaced, const Cell* content,
                uint32_t count, int32_t dup) {
  NodeId node = target->node();
  uint32_t content_unit = unit_of(buffer_of(content));
  SeriesBuffer* buffer = widen_to(memory::buffer_of(node), content_unit);
  uint32_t unit = buffer->unit();
  uint64_t added = uint64_t(count) * uint32_t(dup);
  uint64_t new_bytes = added * unit;
  uint64_t total = uint64_t(buffer->tail) - uint64_t(replaced) * unit + new_bytes;
  buffer = room_for(buffer, total);
  uint8_t* at = buffer->data() + position * unit;
  uint32_t rest_from = (position + replaced) * unit;
  // An append has nothing after the insertion point: skip the call.
  if (rest_from < buffer->tail)
    std::memmove(at + new_bytes, buffer->data() + rest_from, buffer->tail - rest_from);
  buffer->tail = uint32_t(total);

  SeriesBuffer* source = buffer_of(content);
  const uint8_t* read = head_address(content, source);
  if (content_unit == unit) {
    std::memcpy(at, read, count * unit);
  } else {
    for (uint32_t i = 0; i < count; ++i)
      put_char(at + i * unit, unit, get_char(read + i * content_unit, content_unit));
  }
  // Each copy doubles what is written, so n repetitions cost log n copies.
  uint64_t written = uint64_t(count) * unit;
  while (written < new_bytes) {
    uint64_t n = std::min(written, new_bytes - written);
    std::memcpy(at + written, at, n);
    written += n;
  }
  return uint32_t(added);
}

Cell copy_text(const Cell* source, TypeId type) {
  Cell copy;
  uint32_t n = length(source);
  make_at_unit(&copy, n, unit_of(buffer_of(source)), type);
  concatenate(&copy, source, -1, 0, true, CONCAT_APPEND);
  return copy;
}

void set_operation(Cell* first, const Cell* second, bool case_sensitive, int32_t skip, MathOp op) {
  if (skip < 1) {
    Cell size = integer::make(skip);
    series::raise_refine(&size, "skip");
  }
  clamp_head(first);
  Cell other = *second;
  clamp_head(&other);
  uint32_t capacity = length(first) + (op == OP_UNION ? length(&other) : 0);
  RecordSet kept(first, capacity, uint32_t(skip), case_sensitive);
  auto walk = [&](const Cell* text, const Cell* against, bool wanted_in) {
    std::optional<FirstPoints> others;
    if (against) others.emplace(against, uint32_t(skip), case_sensitive);
    for (uint32_t i = text->head_index(); i < length_abs(text); i += uint32_t(skip))
      if (!others || others->holds(abs_at(text, i)) == wanted_in) kept.keep(text, i);
  };
  switch (op) {
    case OP_UNIQUE: walk(first, nullptr, true); break;
    case OP_UNION: walk(first, nullptr, true); walk(&other, nullptr, true); break;
    case OP_INTERSECT: walk(first, &other, true); break;
    case OP_EXCLUDE: walk(first, &other, false); break;
    default: walk(first, &other, false); walk(&other, first, false); break;
  }
  first->data1 = 0;
  first->data2 = kept.result().node();
  first->data3 = kNoNode;
}

// ---- actions ----

void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result) {
  if (spec->is(TYPE_INTEGER) || spec->is(TYPE_FLOAT)) {
    int64_t capacity = spec->is(TYPE_INTEGER) ? integer::get(spec) : 0;
    if (spec->is(TYPE_FLOAT)) {
      double d = floating::get(spec);
      if (integer::out_of_range(d)) number::raise_out_of_range(spec);
      capacity = int64_t(d);
    }
    if (capacity < 0) number::raise_out_of_range(spec);
    Cell made;
    make_at(&made, std::max<uint32_t>(uint32_t(capacity), kMinCapacity), type);
    *result = made;
    return;
  }
  if (type == TYPE_BINARY) {
    if (spec->is(TYPE_MONEY)) number::raise_bad_make_arg(type, spec);
    return actions::get<ACT_TO>(TYPE_BINARY)(prototype, spec, type, result);
  }
  to(prototype, spec, type, result);
}

void to(const Cell*, const Cell* spec, TypeId type, Cell* result) {
  Cell made;
  switch (spec->type()) {
    case TYPE_NONE:
      number::raise_bad_to_arg(TYPE_STRING, spec);
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH:
      made = formed_content(spec, -1, false);
      break;
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF:
      made = copy_text(spec, type);
      break;
    case TYPE_REFINEMENT:
      make_at(&made, kMinCapacity);
      if (type == TYPE_STRING)
        form_value(spec, &made);
      else
        actions::get<ACT_MOLD>(spec->type())(spec, &made, false, false, false, nullptr,
                                              kNoPartLimit, 0);
      break;
    case TYPE_BINARY:
      from_utf8_binary(&made, spec, length(spec));
      break;
    default:
      make_at(&made, kMinCapacity);
      form_value(spec, &made);
      break;
  }
  cell::set_type(&made, type);
  *result = made;
}

int32_t form(const Cell* value, Cell* buffer, const Cell* argument, int32_t part) {
  uint32_t n = length(value);
  concatenate(buffer, value, argument ? std::max(part, 0) : -1, 0, true, CONCAT_APPEND);
  return part - int32_t(n);
}

namespace {
int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell* argument,
             int32_t part, int32_t) {
  uint32_t whole = length(value);
  uint32_t n = whole;
  if (argument && !(argument->is(TYPE_INTEGER) && integer::get(argument) == 0))
    n = part < 0 ? 0 : std::min(n, uint32_t(part));
  uint32_t head = value->head_index();
  uint32_t quotes = 0, line_feeds = 0;
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t c = abs_at(value, head + i);
    quotes += c == '"';
    line_feeds += c == '\n';
  }
  bool braces = line_feeds >= kBraceLineFeeds || quotes > 0 || whole >= kBraceLength;
  CharWriter writer(buffer);
  writer.put(braces ? '{' : '"');
  if (braces) {
    uint32_t unbalanced = first_unbalanced_brace(value, head, n);
    uint32_t depth = 0;
    for (uint32_t i = 0; i < n; ++i) {
      uint32_t c = abs_at(value, head + i);
      if (c == '{') {
        if (i >= unbalanced) writer.put('^');
        else ++depth;
        writer.put(c);
      } else if (c == '}') {
        if (depth > 0) --depth;
        else writer.put('^');
        writer.put(c);
      } else if (c == '"') {
        writer.put(c);
      } else {
        put_escaped(writer, c, all);
      }
    }
  } else {
    for (uint32_t i = 0; i < n; ++i) put_escaped(writer, abs_at(value, head + i), all);
  }
  writer.put(braces ? '}' : '"');
  writer.flush();
  return part - int32_t(n) - 2;
}
}  // namespace

void eval_path(const PathStep& step, Cell* result) {
  Cell* series = step.parent;
  const Cell* key = step.element;
  if (key->is(TYPE_INTEGER)) {
    int32_t index = integer::get(key);
    if (step.value)
      actions::get<ACT_POKE>(series->type())(series, index, key, step.value, result);
    else
      actions::get<ACT_PICK>(series->type())(series, index, key, result);
    return;
  }
  if (key->is(TYPE_WORD)) error::raise(error::CAT_SCRIPT, "invalid-path", step.path, key);
  FindOptions options;
  options.case_sensitive = step.case_sensitive;
  if (!step.value) return select(series, step.element, options, result);
  Cell found;
  find(series, step.element, options, &found);
  if (found.is(TYPE_NONE)) error::raise(error::CAT_SCRIPT, "bad-path-set", step.path, key);
  Cell index = integer::make(2);
  actions::get<ACT_POKE>(found.type())(&found, 2, &index, step.value, result);
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  if (value2->type() != value1->type() &&
      !(is_text_type(value2->type()) && (op == COMP_EQUAL || op == COMP_NOT_EQUAL)))
    return kNotComparable;
  return compare_strings(value1, value2, op, false);
}

bool append_at_tail(Cell* series, const Cell* value) {
  return actions::find<ACT_APPEND>(series->type()) == insert &&
         append_directly(series, value, InsertOptions{}.part);
}

void insert(Cell* series, Cell* value, const InsertOptions& options, bool at_tail, Cell* result) {
  Cell target = *series;
  if (!(at_tail && options.dup == 1 && append_directly(&target, value, options.part)))
    insert_content(&target, value, options, at_tail);
  *result = target;
}

void change(Cell* series, Cell* value, const InsertOptions& options, Cell* result) {
  Cell target = *series;
  uint32_t head = clamp_head(&target);
  uint32_t left = length(&target);
  int32_t dup = std::max(options.dup, 1);
  series::Notice notice(&target, ACT_CHANGE, value, int32_t(head), options.part);
  Content content = content_of(&target, value, -1, options.only);
  uint64_t replaced = options.part >= 0 ? uint64_t(options.part)
                                        : uint64_t(content.count) * uint32_t(dup);
  if (replaced > left) replaced = left;
  uint32_t added = splice(&target, head, uint32_t(replaced), &content.text, content.count, dup);
  notice.done();
  target.data1 = head + added;
  *result = target;
}

void find(Cell* series, Cell* value, const FindOptions& options, Cell* result) {
  Found found = search(series, value, options);
  if (!found.found) {
    *result = none::make();
    return;
  }
  Cell at = at_head(series, options.tail ? found.start + found.length : found.start);
  *result = at;
}

void select(Cell* series, Cell* value, const FindOptions& options, Cell* result) {
  Found found = search(series, value, options);
  uint32_t next = found.start + found.length;
  if (!found.found || next >= length_abs(series)) {
    *result = none::make();
    return;
  }
  *result = series::element_at(series, next);
}

void sort(Cell* series, const SortOptions& options, Cell* result) {
  Cell target = *series;
  uint32_t head = clamp_head(&target);
  uint32_t n = length(&target);
  if (options.part) {
    int32_t count = series::part_count(&target, options.part, "part");
    if (count < 0) {
      uint32_t back = uint32_t(-int64_t(count));
      if (back > head) {
        target.data1 = 0;
        *result = target;
        return;
      }
      head -= back;
      target.data1 = head;
      n = back;
    } else {
      n = std::min(n, uint32_t(count));
    }
  }
  uint32_t size = 1;
  if (options.skip) {
    int32_t skip = options.skip->is(TYPE_INTEGER) ? integer::get(options.skip) : 0;
    if (skip < 1 || uint32_t(skip) > n || n % uint32_t(skip))
      series::raise_refine(options.skip, "skip");
    size = uint32_t(skip);
  }
  if (options.all && !options.skip) raise_bad_refines();
  uint32_t flags = options.reverse ? uint32_t(SORT_REVERSE) : 0;
  if (options.skip && options.all) flags |= SORT_RECORD | size << kSortSizeShift;
  const series::SortComparison comparison = series::read_sort_comparison(options, size);
  const Cell* function = comparison.function;
  flags |= comparison.offset << kSortSizeShift;
  series::Notice notice(&target, ACT_SORT, nullptr, int32_t(head), int32_t(n));
  // Read after the owner's hook, which may have widened the string.
  uint32_t unit = unit_of(buffer_of(&target));
  UserSort user{function, target, unit, head + n};
  sort::Compare comparator = function ? compare_by_function : comparator_for(unit);
  series::ActiveSort active(user_sort, &user);
  sort::Target elements = sort::Target::in_series(target.node(), head * unit);
  uint32_t records = n / size;
  // Bytes have no letter case.
  uint32_t case_flag = options.case_sensitive || target.is(TYPE_BINARY) ? 1 : 0;
  if (options.stable)
    sort::stable(elements, records, size * unit, case_flag, flags, comparator);
  else
    sort::unstable(elements, records, size * unit, case_flag, flags, comparator);
  notice.done();
  *result = target;
}

void swap(Cell* value1, Cell* value2, Cell* result) {
  auto swappable = [](const Cell* v) { return is_text_type(v->type()) || v->is(TYPE_BINARY); };
  if (!swappable(value1) || !swappable(value2)) number::raise_invalid_arg(value2);
  Cell a = *value1, b = *value2;
  uint32_t head_a = clamp_head(&a), head_b = clamp_head(&b);
  if (!at_tail(&a) && !at_tail(&b)) {
    uint32_t x = abs_at(&a, head_a), y = abs_at(&b, head_b);
    // A binary! never widens: it takes the low byte of a code point, as its poke does.
    auto stored = [](const Cell* target, uint32_t cp) {
      return target->is(TYPE_BINARY) ? uint32_t(uint8_t(cp)) : cp;
    };
    series::Notice notice_a(&a, ACT_SWAP, &b, int32_t(head_a), 1);
    series::Notice notice_b(&b, ACT_SWAP, &a, int32_t(head_b), 1);
    poke_char(&a, head_a, stored(&a, y));
    poke_char(&b, head_b, stored(&b, x));
    notice_b.done();
    notice_a.done();
  }
  *result = a;
}

void take(Cell* series, const Cell* part, bool deep, bool last, Cell* result) {
  series::take(series, part, deep, last, result);
  if (part || result->is(TYPE_NONE) || length(result) != 1) return;
  *result = series::element_at(result, result->head_index());
}

void trim(Cell* series, const TrimOptions& options, Cell* result) {
  if (options.automatic) raise_not_done();
  if (options.with && !is_trim_set(options.with)) number::raise_invalid_arg(options.with);
  Cell target = *series;
  uint32_t head = clamp_head(&target);
  series::Notice notice(&target, ACT_TRIM, nullptr, int32_t(head), int32_t(length(&target)));
  if (options.all || options.with) {
    const Cell* with = options.with;
    if (!with || with->is(TYPE_CHAR) || with->is(TYPE_INTEGER) || !at_tail(with))
      trim_set(&target, with);
  } else {
    trim_whitespace(&target, options);
  }
  notice.done();
  *result = target;
}

void init() {
  using actions::own;
  datatype::register_type(
      TYPE_STRING, TYPE_SERIES, "string!",
      actions::ActionList()
          .own(own<ACT_MAKE>(make))
          .own(own<ACT_TO>(to))
          .own(own<ACT_FORM>(form))
          .own(own<ACT_MOLD>(mold))
          .own(own<ACT_EVAL_PATH>(eval_path))
          .own(own<ACT_COMPARE>(compare))
          .own(own<ACT_APPEND>(insert))
          .own(own<ACT_CHANGE>(change))
          .own(own<ACT_FIND>(find))
          .own(own<ACT_INSERT>(insert))
          .own(own<ACT_SELECT>(select))
          .own(own<ACT_SORT>(sort))
          .own(own<ACT_SWAP>(swap))
          .own(own<ACT_TAKE>(take))
          .own(own<ACT_TRIM>(trim))
          .inherit({ACT_RANDOM, ACT_REFLECT, ACT_AT, ACT_BACK, ACT_CLEAR, ACT_COPY, ACT_HEAD,
                    ACT_HEAD_Q, ACT_INDEX_Q, ACT_LENGTH_Q, ACT_MOVE, ACT_NEXT, ACT_PICK,
                    ACT_POKE, ACT_REMOVE, ACT_REVERSE, ACT_SKIP, ACT_TAIL, ACT_TAIL_Q,
                    ACT_MODIFY}));
}

}  // namespace xol::string
