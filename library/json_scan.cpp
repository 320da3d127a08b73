// The JSON decoder's scanner. One forward pass over the text's units (1, 2 or 4 bytes each)
// pushes the values read on one block, the value stack, which keeps them from the collector:
// a closing bracket replaces the entries of its array or object (keys and values) on the stack
// by the block or map made of them, at its final size. The open containers are kept in a
// vector, not in the C++ call stack, so a document's depth is bounded by kMaxDepth alone.
//
// The values: a number without fraction or exponent is an integer! when it has at most 10
// digits and fits 32 bits, else a float!; a float beyond the range of a double makes the text
// invalid. An object key is a word when its text loads as one (`to word!`), else the string.
// White space is space, tab, CR and LF; a lone surrogate escape decodes to U+FFFD.
#include "library/json_scan.h"

#include <string>
#include <unordered_map>
#include <vector>

#include "library/codec_text.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/word.h"
#include "runtime/eval/stack.h"
#include "runtime/io/number_converters.h"

namespace xol::library::json_scan {
namespace {

using namespace codec_text;

constexpr uint32_t kReplacementChar = 0xFFFD;
constexpr size_t kLongestIntegerDigits = 10;

// Characters that end a word or may not appear in one.
bool is_word_delimiter(uint32_t c) {
  switch (c) {
    case '/': case '\\': case '^': case ',': case '[': case ']': case '(': case ')': case '{':
    case '}': case '"': case '#': case '%': case '$': case '@': case ':': case ';': case '\n':
    case 0xA0: case ' ': case '\t': case '\r': case '<': case '>':
      return true;
    default:
      return false;
  }
}

bool is_digit(uint32_t c) { return c >= '0' && c <= '9'; }

int32_t hex_value(uint32_t c) {
  if (is_digit(c)) return int32_t(c - '0');
  c |= 0x20;
  return c >= 'a' && c <= 'f' ? int32_t(c - 'a' + 10) : -1;
}

// Whether the name has the letters of a word; the lexer has the last say.
bool looks_like_word(const std::u32string& name) {
  if (name.empty() || is_digit(name[0]) || name[0] == '\'') return false;
  for (char32_t c : name)
    if (is_word_delimiter(c)) return false;
  return true;
}

// An open array or object: where its entries start on the value stack, and which it is.
struct Open {
  uint32_t first;
  bool object;
};

constexpr int32_t kValueStackCapacity = 64;

template <typename Unit>
class Scanner {
 public:
  Scanner(const Unit* first, const Unit* end)
      : first_(first), at_(first), end_(end), mark_(first), line_start_(first) {
    block::make_at(&values_, kValueStackCapacity);
  }

  // Builds the document's value into the top block; false when the text is not one document.
  bool scan() {
    skip_white();
    if (!value()) return false;
    for (;;) {
      skip_white();
      if (open_.empty()) {
        // A comma after the document is read with its white space before the text is
        // refused, so that the error is reported after them.
        if (at_ == end_ || *at_ != ',') break;
        ++at_;
        skip_white();
        return false;
      }
      Open& open = open_.back();
      const uint32_t closing = open.object ? '}' : ']';
      if (at_ < end_ && *at_ == closing) {
        ++at_;
        close();
        mark_ = at_;
        continue;
      }
      // The first element follows its bracket directly, the others a comma.
      if (block::length(&values_) > open.first) {
        if (at_ == end_ || *at_ != ',') return false;
        ++at_;
        skip_white();
      }
      if (open.object && !name()) return false;
      if (!value()) return false;
    }
    return at_ == end_;
  }

  // The value stack, which holds the document's value once the scan succeeded.
  const Cell& values() const { return values_; }
  int32_t line() const { return line_; }
  int32_t mark_offset() const { return int32_t(mark_ - first_); }
  int32_t line_start_offset() const { return int32_t(line_start_ - first_); }

 private:
  void skip_white() {
    while (at_ < end_) {
      const Unit c = *at_;
      if (c == ' ' || c == '\t' || c == '\r') {
        ++at_;
      } else if (c == '\n') {
        ++at_;
        ++line_;
        mark_ = line_start_ = at_;
      } else {
        break;
      }
    }
  }

  bool match(const char* word) {
    const Unit* p = at_;
    for (; *word; ++word, ++p)
      if (p == end_ || *p != Unit(*word)) return false;
    at_ = p;
    return true;
  }

  // One value pushed: a scalar, or an opened array or object.
  bool value() {
    if (at_ == end_) return false;
    Cell made;
    switch (*at_) {
      case '[': case '{': {
        if (open_.size() >= size_t(kMaxDepth)) return false;
        const bool object = *at_ == '{';
        ++at_;
        open_.push_back(Open{block::length(&values_), object});
        mark_ = at_;
        return true;
      }
      case '"':
        if (!text(&made)) return false;
        break;
      case 't':
        if (!match("true")) return false;
        made = logic::make(true);
        break;
      case 'f':
        if (!match("false")) return false;
        made = logic::make(false);
        break;
      case 'n':
        if (!match("null")) return false;
        made = none::value;
        break;
      default:
        if (!number(&made)) return false;
    }
    block::append_cell(&values_, &made);
    mark_ = at_;
    return true;
  }

  // The closed container's entries replaced by its block or map.
  void close() {
    const Open closed = open_.back();
    open_.pop_back();
    const Cell entries{TYPE_BLOCK, closed.first, values_.node(), 0};
    Cell made;
    if (closed.object) {
      map::make(nullptr, &entries, TYPE_MAP, &made);
    } else {
      block::make_at(&made, int32_t(block::length(&entries)));
      block::append_cells_of(&made, &entries);
    }
    block::cut_at(&values_, closed.first);
    block::append_cell(&values_, &made);
  }

  // A name and its colon, the key pushed.
  bool name() {
    if (at_ == end_ || *at_ != '"' || !literal()) return false;
    skip_white();
    if (at_ == end_ || *at_ != ':') return false;
    ++at_;
    mark_ = at_;
    skip_white();
    Cell key;
    if (!key_of(&key)) make_text(chars_.data(), chars_.size(), &key);
    block::append_cell(&values_, &key);
    return true;
  }

  // The word of the name in chars_, from the document's cache; false when it is no word.
  bool key_of(Cell* key) {
    name_.assign(chars_.begin(), chars_.end());
    auto found = keys_.find(name_);
    if (found == keys_.end()) found = keys_.emplace(name_, word_of(name_)).first;
    if (found->second.is(TYPE_UNSET)) return false;
    *key = found->second;
    return true;
  }

  // `to word!` of the name, or unset when it is no word.
  Cell word_of(const std::u32string& name) {
    Cell made = unset::value;
    if (!looks_like_word(name)) return made;
    Cell text;
    make_text(reinterpret_cast<const uint32_t*>(name.data()), name.size(), &text);
    const stack::Mark saved = stack::save();
    try {
      word::make(nullptr, &text, TYPE_WORD, &made);
    } catch (const error::Raised&) {
      stack::restore(saved);
      made = unset::value;
    }
    return made;
  }

  // A string literal as a string!.
  bool text(Cell* made) {
    const Unit* start = at_ + 1;
    const Unit* p = start;
    while (p < end_ && *p >= 0x20 && *p != '"' && *p != '\\') ++p;
    if (p < end_ && *p == '"') {
      make_text(start, p, made);
      at_ = p + 1;
      return true;
    }
    if (!literal()) return false;
    make_text(chars_.data(), chars_.size(), made);
    return true;
  }

  // Reads the string literal at the quote into chars_, escapes decoded.
  bool literal() {
    chars_.clear();
    const Unit* p = at_ + 1;
    for (;;) {
      if (p == end_ || *p < 0x20) return false;
      const uint32_t c = *p++;
      if (c == '"') break;
      if (c != '\\') {
        chars_.push_back(c);
        continue;
      }
      if (p == end_) return false;
      const uint32_t escaped = *p++;
      switch (escaped) {
        case '"': case '\\': case '/': chars_.push_back(escaped); break;
        case 'b': chars_.push_back('\b'); break;
        case 'f': chars_.push_back('\f'); break;
        case 'n': chars_.push_back('\n'); break;
        case 'r': chars_.push_back('\r'); break;
        case 't': chars_.push_back('\t'); break;
        case 'u': {
          int32_t code;
          if (!hex4(p, &code)) return false;
          p += 4;
          int32_t low;
          if (code >= int32_t(kHighSurrogates) && code < int32_t(kLowSurrogates) &&
              end_ - p >= 6 && p[0] == '\\' && p[1] == 'u' && hex4(p + 2, &low) &&
              low >= int32_t(kLowSurrogates) && low < int32_t(kSurrogatesEnd)) {
            code = int32_t(kSupplementary + (uint32_t(code - kHighSurrogates) << kSurrogateBits) +
                           uint32_t(low - kLowSurrogates));
            p += 6;
          } else if (code >= int32_t(kHighSurrogates) && code < int32_t(kSurrogatesEnd)) {
            code = kReplacementChar;
          }
          chars_.push_back(uint32_t(code));
          break;
        }
        default:
          return false;
      }
    }
    at_ = p;
    return true;
  }

  bool hex4(const Unit* p, int32_t* code) const {
    if (end_ - p < 4) return false;
    int32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      const int32_t digit = hex_value(p[i]);
      if (digit < 0) return false;
      value = value * 16 + digit;
    }
    *code = value;
    return true;
  }

  const Unit* digits(const Unit* p) const {
    while (p < end_ && is_digit(*p)) ++p;
    return p;
  }

  // A number: an optional minus, the integer part (no leading zero), then an optional
  // fraction and exponent; each part that is incomplete is left unread.
  bool number(Cell* made) {
    const Unit* start = at_;
    const Unit* p = at_;
    if (*p == '-') ++p;
    if (p == end_ || !is_digit(*p)) return false;
    p = *p == '0' ? p + 1 : digits(p);
    bool integral = true;
    if (p < end_ && *p == '.' && p + 1 < end_ && is_digit(p[1])) {
      p = digits(p + 1);
      integral = false;
    }
    if (p < end_ && (*p == 'e' || *p == 'E')) {
      const Unit* q = p + 1;
      if (q < end_ && (*q == '+' || *q == '-')) ++q;
      if (q < end_ && is_digit(*q)) {
        p = digits(q);
        integral = false;
      }
    }
    const auto* units = reinterpret_cast<const uint8_t*>(start);
    const uint32_t length = uint32_t(p - start);
    int32_t error = 0;
    if (integral) {
      if (length - (*start == '-') <= kLongestIntegerDigits) {
        const int32_t value = string::to_integer(units, sizeof(Unit), length, &error);
        if (!error) {
          *made = integer::make(value);
          at_ = p;
          return true;
        }
      }
    }
    error = 0;
    const double value = string::to_float(units, sizeof(Unit), length, &error);
    if (error || value - value != 0.0) return false;
    *made = floating::make(value);
    at_ = p;
    return true;
  }

  Cell values_;   // the value stack
  const Unit* first_;
  const Unit* at_;
  const Unit* end_;
  const Unit* mark_;        // where an error is reported
  const Unit* line_start_;
  int32_t line_ = 1;
  std::vector<Open> open_;
  std::vector<uint32_t> chars_;   // the last literal read through its escapes
  std::u32string name_;
  std::unordered_map<std::u32string, Cell> keys_;   // name -> word, or unset for no word
};

// The routine's result, copied out by its caller at once.
Cell answer;

template <typename Unit>
Cell* scan_units(Cell* text) {
  memory::SeriesBuffer* buffer = string::buffer_of(text);
  const Unit* first = reinterpret_cast<const Unit*>(string::head_address(text, buffer));
  Scanner<Unit> scanner(first, first + string::units_from_head(text, buffer));
  if (scanner.scan()) {
    answer = scanner.values();
    return &answer;
  }
  Cell place;
  block::make_at(&place, 3);
  for (const int32_t number :
       {scanner.line(), scanner.mark_offset(), scanner.line_start_offset()}) {
    const Cell item = integer::make(number);
    block::append_cell(&place, &item);
  }
  answer = place;
  return &answer;
}

}  // namespace

Cell* scan_json(Cell* text) {
  string::clamp_head(text);
  switch (string::buffer_of(text)->unit()) {
    case string::UNIT_1: return scan_units<uint8_t>(text);
    case string::UNIT_2: return scan_units<uint16_t>(text);
    default: return scan_units<uint32_t>(text);
  }
}

}  // namespace xol::library::json_scan
