// Text to numbers: the decimal check and readers shared with the lexer's loaders, and the
// converters that `to` and `make` use on strings.
//
// The decimal check is a small automaton over character classes, the same one the float and
// percent loaders run, so `to float!` accepts exactly the float literals (with `,` allowed as
// the decimal point). Conversion itself is the correctly rounding reader of number_text.h.
#include "runtime/io/number_converters.h"

#include <cstring>
#include <limits>

#include "runtime/datatypes/money.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/io/lexer.h"
#include "runtime/memory/memory.h"
#include "runtime/text/number_text.h"
#include "runtime/text/string_widening.h"

namespace xol::lexer {

namespace {

enum DecimalClass : uint8_t { DC_SIGN, DC_DIGIT, DC_EXPONENT, DC_DOT, DC_APOSTROPHE, DC_OTHER };
constexpr int kDecimalClasses = 6;

enum DecimalState : uint8_t {
  DS_START, DS_INTEGER, DS_APOSTROPHE, DS_FRACTION, DS_EXPONENT, DS_EXPONENT_SIGN,
  DS_EXPONENT_DIGITS, DS_REJECT,
};

// Next state by state and class; the integer part takes `'` only before a digit.
constexpr DecimalState kDecimal[DS_REJECT][kDecimalClasses] = {
    // sign              digit                exponent      dot          apostrophe     other
    {DS_START, DS_INTEGER, DS_REJECT, DS_FRACTION, DS_REJECT, DS_REJECT},               // start
    {DS_REJECT, DS_INTEGER, DS_EXPONENT, DS_FRACTION, DS_APOSTROPHE, DS_REJECT},        // integer
    {DS_REJECT, DS_INTEGER, DS_REJECT, DS_REJECT, DS_REJECT, DS_REJECT},                // after '
    {DS_REJECT, DS_FRACTION, DS_EXPONENT, DS_REJECT, DS_FRACTION, DS_REJECT},           // fraction
    {DS_EXPONENT_SIGN, DS_EXPONENT_DIGITS, DS_REJECT, DS_REJECT, DS_REJECT, DS_REJECT}, // e
    {DS_REJECT, DS_EXPONENT_DIGITS, DS_REJECT, DS_REJECT, DS_REJECT, DS_REJECT},        // e sign
    {DS_REJECT, DS_EXPONENT_DIGITS, DS_REJECT, DS_REJECT, DS_REJECT, DS_REJECT},        // e digits
};

DecimalClass decimal_class(char c) {
  if (c >= '0' && c <= '9') return DC_DIGIT;
  switch (c) {
    case '+': case '-': return DC_SIGN;
    case 'e': case 'E': return DC_EXPONENT;
    case '.': return DC_DOT;
    case '\'': return DC_APOSTROPHE;
    default: return DC_OTHER;
  }
}

constexpr int kMaxTupleValue = 255;

// Narrows text of 1-, 2- or 4-byte units into `out` (room for `length` bytes); false when a unit
// is not ASCII, since no number holds one.
bool narrow(const uint8_t* units, uint32_t unit, uint32_t length, char* out) {
  for (uint32_t i = 0; i < length; ++i) {
    uint32_t value;
    switch (unit) {
      case 1: value = units[i]; break;
      case 2: { uint16_t u; std::memcpy(&u, units + 2 * i, 2); value = u; break; }
      default: std::memcpy(&value, units + 4 * i, 4); break;
    }
    if (value >= 0x80) return false;
    out[i] = char(value);
  }
  return true;
}

// Text of a converter's input as ASCII in a buffer of kMaxDecimalText + 1 bytes; empty view
// when it is longer or not ASCII.
std::string_view ascii_text(const uint8_t* units, uint32_t unit, uint32_t length, char* buffer) {
  if (length > kMaxDecimalText || !narrow(units, unit, length, buffer)) return {};
  return {buffer, length};
}

// The decimal-number check: signs, digits with single apostrophes, an optional fraction and
// exponent.
bool decimal_number(std::string_view text) {
  if (text.size() > kMaxDecimalText) return false;
  DecimalState state = DS_START;
  for (char c : text) {
    state = kDecimal[state][decimal_class(c)];
    if (state == DS_REJECT) return false;
  }
  return state == DS_INTEGER || state == DS_APOSTROPHE || state == DS_FRACTION ||
         state == DS_EXPONENT_DIGITS;
}
}  // namespace

double parse_decimal(std::string_view text, int adjust, int* error) {
  if (!decimal_number(text)) {
    *error = -1;
    return std::numeric_limits<double>::quiet_NaN();
  }
  char digits[kMaxDecimalText];
  size_t n = 0;
  for (char c : text) {
    if (c != '\'') digits[n++] = c;
  }
  int left_over = 0;
  double value = dtoa::from_text(digits, digits + n, adjust, &left_over);
  if (left_over) *error = -1;
  return value;
}

double parse_special(std::string_view text, int* error) {
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  constexpr std::string_view kPrefix = "1.#";
  auto is = [&](std::string_view name) {
    if (text.size() != kPrefix.size() + name.size() || text.substr(0, kPrefix.size()) != kPrefix) {
      return false;
    }
    for (size_t i = 0; i < name.size(); ++i) {
      if ((text[kPrefix.size() + i] | 0x20) != name[i]) return false;
    }
    return true;
  };
  if (is("nan")) return std::numeric_limits<double>::quiet_NaN();
  if (is("inf")) {
    return negative ? -std::numeric_limits<double>::infinity()
                    : std::numeric_limits<double>::infinity();
  }
  *error = -1;
  return std::numeric_limits<double>::quiet_NaN();
}

int32_t read_tuple(std::string_view text, uint8_t* parts) {
  int32_t count = 0;
  int value = 0;
  bool digit_seen = false;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '.') {
      if (!digit_seen || count == kMaxTupleParts) return -1;
      parts[count++] = uint8_t(value);
      value = 0;
      digit_seen = false;
      continue;
    }
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
    if (value > kMaxTupleValue) return -1;
    digit_seen = true;
  }
  return count;
}

}  // namespace xol::lexer

namespace xol::string {

int32_t to_integer(const uint8_t* units, uint32_t unit, uint32_t length, int32_t* error) {
  char buffer[lexer::kMaxDecimalText + 1];
  std::string_view text = lexer::ascii_text(units, unit, length, buffer);
  *error = -1;
  if (text.empty()) return 0;
  bool negative = false;
  size_t i = 0;
  if (text[0] == '+' || text[0] == '-') negative = text[i++] == '-';
  int64_t magnitude = 0;
  bool digits = false;
  constexpr int64_t kLimit = int64_t(std::numeric_limits<int32_t>::max()) + 1;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\'') continue;
    if (c < '0' || c > '9') return 0;
    digits = true;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > kLimit) {
      *error = -2;
      return 0;
    }
  }
  if (!digits) return 0;
  if (magnitude == kLimit && !negative) {
    *error = -2;
    return 0;
  }
  *error = 0;
  return int32_t(negative ? -magnitude : magnitude);
}

double to_float(const uint8_t* units, uint32_t unit, uint32_t length, int32_t* error) {
  char buffer[lexer::kMaxDecimalText + 1];
  std::string_view text = lexer::ascii_text(units, unit, length, buffer);
  if (text.empty()) {
    *error = -1;
    return std::numeric_limits<double>::quiet_NaN();
  }
  for (size_t i = 0; i < text.size(); ++i) {
    if (buffer[i] == ',') buffer[i] = '.';
  }
  int failed = 0;
  double value = lexer::parse_decimal(text, 0, &failed);
  *error = failed;
  return value;
}

Cell to_money(const uint8_t* units, uint32_t unit, uint32_t length, int32_t* error) {
  constexpr size_t kCodeLength = 3;
  constexpr size_t kMinCodedLength = 5;   // "USD$1"
  char buffer[lexer::kMaxDecimalText + 1];
  std::string_view text = lexer::ascii_text(units, unit, length, buffer);
  Cell result{};
  *error = -1;
  if (text.empty()) return result;
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  std::string_view currency;
  auto letter = [](char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; };
  if (!text.empty() && letter(text[0])) {
    if (text.size() < kMinCodedLength || !letter(text[1]) || !letter(text[2]) ||
        text[kCodeLength] != '$') {
      return result;
    }
    currency = text.substr(0, kCodeLength);
    text.remove_prefix(kCodeLength + 1);
  } else if (!text.empty() && text[0] == '$') {
    text.remove_prefix(1);
  }
  size_t point = text.find('.');
  std::string_view whole = text.substr(0, point);
  std::string_view fraction = point == std::string_view::npos ? "" : text.substr(point + 1);
  if (whole.empty() || (point != std::string_view::npos && fraction.empty())) return result;
  if (whole.front() == '\'' || whole.back() == '\'' || whole.find("''") != whole.npos) {
    return result;
  }
  for (char c : whole) {
    if (c != '\'' && (c < '0' || c > '9')) return result;
  }
  for (char c : fraction) {
    if (c < '0' || c > '9') return result;
  }
  if (money::make_from_digits(negative, currency, whole, fraction, &result)) *error = 0;
  return result;
}

namespace {

// Runs a converter on the units of a text value from its head.
template <class Converter>
auto on_text(const Cell* text, int32_t* error, Converter convert) {
  memory::SeriesBuffer* buffer = memory::buffer_of(text->node());
  return convert(head_address(text, buffer), buffer->unit(), units_from_head(text, buffer),
                 error);
}

}  // namespace

int32_t to_integer(const Cell* text, int32_t* error) {
  return on_text(text, error, [](auto... args) { return to_integer(args...); });
}
double to_float(const Cell* text, int32_t* error) {
  return on_text(text, error, [](auto... args) { return to_float(args...); });
}
Cell to_money(const Cell* text, int32_t* error) {
  return on_text(text, error, [](auto... args) { return to_money(args...); });
}

}  // namespace xol::string

namespace xol::value {

void load_from_string(const Cell* text, Cell* result) {
  lexer::Mode mode;
  mode.force_block = true;
  Cell loaded;
  lexer::scan_string(text, nullptr, nullptr, nullptr, mode, -1, &loaded);
  *result = block::length(&loaded) == 0 ? Cell{TYPE_UNSET, 0, 0, 0} : *block::head(&loaded);
}

}  // namespace xol::value
