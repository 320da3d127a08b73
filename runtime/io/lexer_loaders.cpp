// The lexer's loaders: the exact form of every value token, and the value it builds.
//
// A loader runs in check mode (validate only: the scan builds nothing) or load mode (validate,
// build the value, push it on the value stack). Both modes run the same code, so what a check
// accepts is exactly what a load builds. The automaton has already bounded the token and
// accumulated its character flags, which let the common cases (ASCII text without escapes, a
// plain run of digits) take a short path. Text values are built straight into a buffer of the
// narrowest unit that holds their code points.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/issue.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/word.h"
#include "runtime/io/lexer_internal.h"
#include "runtime/io/number_converters.h"
#include "runtime/memory/memory.h"
#include "runtime/text/hex.h"
#include "runtime/text/number_text.h"
#include "runtime/text/utf8.h"

namespace xol::lexer {

namespace {

using Bytes = const uint8_t*;

std::string_view view(Bytes start, Bytes end) {
  return {reinterpret_cast<const char*>(start), size_t(end - start)};
}

bool is_digit(uint8_t byte) { return byte >= '0' && byte <= '9'; }

// The 21 code points that separate words besides ASCII whitespace.
constexpr int32_t kUnicodeSpaces[] = {
    0x0085, 0x00A0, 0x1680, 0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005, 0x2006, 0x2007,
    0x2008, 0x2009, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000, 0x180E, 0x200B,
};
constexpr int32_t kFirstUnicodeSpace = 0x0085;

// ---- escapes ----

struct EscapeName {
  std::string_view name;
  int32_t cp;
};
constexpr EscapeName kEscapeNames[] = {
    {"null", 0}, {"back", 8}, {"tab", 9}, {"line", 10}, {"page", 12}, {"esc", 27}, {"del", 127},
};
constexpr int kMaxHexEscapeDigits = 6;
constexpr int32_t kControlBase = 64;      // ^A is 1: code - 64
constexpr int32_t kLowerControlBase = 96; // ^a is 1: code - 96
constexpr int32_t kDelete = 127;

// The code point of the escape after a `^` at p (p < end), or -1; p moves past it.
int32_t decode_escape(Bytes& p, Bytes end) {
  uint8_t byte = *p;
  if (byte == '(') {
    Bytes q = p + 1;
    Bytes close = q;
    while (close < end && *close != ')') ++close;
    if (close == end) return -1;
    std::string_view inside = view(q, close);
    p = close + 1;
    if (!inside.empty() && inside.size() <= size_t(kMaxHexEscapeDigits)) {
      int32_t cp = 0;
      bool hex = true;
      for (char c : inside) {
        int digit = hex::digit_value(uint8_t(c));
        if (digit < 0) {
          hex = false;
          break;
        }
        cp = cp * 16 + digit;
      }
      if (hex) return cp;
    }
    for (const EscapeName& escape : kEscapeNames) {
      if (inside.size() != escape.name.size()) continue;
      bool same = true;
      for (size_t i = 0; i < inside.size(); ++i) same &= (inside[i] | 0x20) == escape.name[i];
      if (same) return escape.cp;
    }
    return -1;
  }
  switch (byte) {
    case '"': ++p; return '"';
    case '-': ++p; return '\t';
    case '/': ++p; return '\n';
    case '@': ++p; return 0;
    case '^': ++p; return '^';
    case '{': ++p; return '{';
    case '}': ++p; return '}';
    case '~': ++p; return kDelete;
    default: break;
  }
  if (byte >= 'a' && byte <= 'z') {
    ++p;
    return byte - kLowerControlBase;
  }
  if ((byte >= 'A' && byte <= 'Z') || byte == '[' || byte == '\\' || byte == ']' ||
      byte == '_') {
    ++p;
    return byte - kControlBase;
  }
  return decode_char(p, end);
}

// ---- building text values ----

// Walks text, calling `sink` with each code point; false at the first invalid one.
template <typename Sink>
bool each_char(Bytes p, Bytes end, bool escapes, Sink&& sink) {
  while (p < end) {
    int32_t cp;
    if (*p < 0x80 && !(escapes && *p == '^')) {
      cp = *p++;
    } else if (*p == '^' && escapes) {
      ++p;
      if (p == end) return false;
      cp = decode_escape(p, end);
    } else {
      cp = decode_char(p, end);
    }
    if (cp < 0 || uint32_t(cp) > utf8::kMaxCodePoint) return false;
    sink(uint32_t(cp));
  }
  return true;
}

uint32_t unit_for(uint32_t max_cp) { return max_cp < 0x100 ? 1 : max_cp < 0x10000 ? 2 : 4; }

// A new text value of `type` with `count` units of `unit`; `*data` receives its first unit.
Cell make_text(TypeId type, uint32_t unit, uint32_t count, uint8_t** data) {
  Cell text;
  string::make_at_unit(&text, count, unit, type);
  memory::SeriesBuffer* buffer = string::buffer_of(&text);
  buffer->tail = buffer->head + count * unit;
  *data = buffer->data() + buffer->head;
  return text;
}

// Validates text (with `^` escapes when `escapes`) and, in load mode, pushes it as a `type`.
bool build_text(State& s, Bytes start, Bytes end, Bytes text, Bytes text_end, uint32_t flags,
                int mode, TypeId type, bool escapes) {
  escapes &= (flags & FLAG_CARET) != 0;
  bool plain = !escapes && !(flags & kNonAsciiFlags);
  uint32_t count = uint32_t(text_end - text);
  uint32_t max_cp = 0;
  if (!plain) {
    count = 0;
    bool ok = each_char(text, text_end, escapes, [&](uint32_t cp) {
      ++count;
      if (cp > max_cp) max_cp = cp;
    });
    if (!ok) return throw_error(s, start, end, type);
  }
  if (mode == MODE_CHECK) return true;
  uint32_t unit = plain ? 1 : unit_for(max_cp);
  uint8_t* data;
  Cell value = make_text(type, unit, count, &data);
  if (plain) {
    std::memcpy(data, text, count);
  } else {
    each_char(text, text_end, escapes, [&](uint32_t cp) {
      switch (unit) {
        case 1: *data = uint8_t(cp); break;
        case 2: { uint16_t u = uint16_t(cp); std::memcpy(data, &u, 2); break; }
        default: std::memcpy(data, &cp, 4); break;
      }
      data += unit;
    });
  }
  push(s, value);
  return true;
}

// Text in which %XX stands for a byte: decoded into a scratch buffer reused by every token.
std::string& percent_decoded(Bytes text, Bytes text_end) {
  static std::string scratch;
  scratch.clear();
  for (Bytes p = text; p < text_end; ++p) {
    int byte;
    if (*p == '%' && text_end - p >= 3 && (byte = hex::byte_value(p[1], p[2])) >= 0) {
      scratch.push_back(char(byte));
      p += 2;
    } else {
      scratch.push_back(char(*p));
    }
  }
  return scratch;
}

// Text for a file! or url!: %XX decoded when the text holds a `%`.
bool build_decoded_text(State& s, Bytes start, Bytes end, Bytes text, Bytes text_end,
                        int mode, TypeId type) {
  if (!std::memchr(text, '%', size_t(text_end - text))) {
    uint32_t flags = 0;
    for (Bytes p = text; p < text_end; ++p) flags |= kCharClass[*p];
    return build_text(s, start, end, text, text_end, flags & ~kClassMask, mode, type, false);
  }
  std::string& bytes = percent_decoded(text, text_end);
  Bytes first = reinterpret_cast<Bytes>(bytes.data());
  return build_text(s, start, end, first, first + bytes.size(), kNonAsciiFlags, mode, type,
                    false);
}

// ---- binary ----

int base64_value(uint8_t byte) {
  if (byte >= 'A' && byte <= 'Z') return byte - 'A';
  if (byte >= 'a' && byte <= 'z') return byte - 'a' + 26;
  if (byte >= '0' && byte <= '9') return byte - '0' + 52;
  if (byte == '+') return 62;
  if (byte == '/') return 63;
  return -1;
}

bool binary_space(uint8_t byte, int base) {
  constexpr uint8_t kBackspace = 0x08, kFormFeed = 0x0C;
  if (byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r') return true;
  return base == 64 && (byte == kBackspace || byte == kFormFeed || byte == '\'');
}

// Decodes the body of a binary literal in base 2, 16 or 64 into `out` (null: count only).
// Answers the byte count, or -1 for a character outside the alphabet or an incomplete group.
int32_t decode_base(Bytes p, Bytes end, int base, uint8_t* out) {
  constexpr int kBase64Group = 4, kBitsPerByte = 8, kBase64Bits = 6;
  int32_t count = 0;
  uint32_t bits = 0;
  int held = 0;      // bits (base 2), hex digits (base 16) or characters (base 64) pending
  int padding = 0;   // `=` seen in base 64
  for (; p < end; ++p) {
    if (binary_space(*p, base)) continue;
    if (*p == ';') {
      while (p < end && *p != '\n') ++p;
      continue;
    }
    int digit;
    if (base == 64 && *p == '=') {
      if (held < 2) return -1;
      ++padding;
      ++held;
      bits <<= kBase64Bits;
    } else {
      digit = base == 16 ? hex::digit_value(*p) : base == 2 ? (*p == '0' || *p == '1' ? *p - '0' : -1)
                                                     : base64_value(*p);
      if (digit < 0 || padding) return -1;
      bits = (bits << (base == 16 ? 4 : base == 2 ? 1 : kBase64Bits)) | uint32_t(digit);
      ++held;
    }
    if (base == 16 && held == 2) {
      if (out) out[count] = uint8_t(bits);
      ++count, held = 0, bits = 0;
    } else if (base == 2 && held == kBitsPerByte) {
      if (out) out[count] = uint8_t(bits);
      ++count, held = 0, bits = 0;
    } else if (base == 64 && held == kBase64Group) {
      int bytes = 3 - padding;
      for (int i = 0; i < bytes; ++i) {
        if (out) out[count] = uint8_t(bits >> (16 - kBitsPerByte * i));
        ++count;
      }
      held = 0, bits = 0;
    }
  }
  return held ? -1 : count;
}

// ---- numbers ----

constexpr int kMaxIntegerDigits = 10;

bool push_float(State& s, Bytes start, Bytes end, int mode, int adjust, TypeId type) {
  int error = 0;
  double value = parse_decimal(view(start, end), adjust, &error);
  if (error) return throw_error(s, start, end, TYPE_FLOAT);
  if (mode == MODE_LOAD) push(s, floating::make(value, type));
  return true;
}

// A decimal integer with optional sign and single apostrophes; false on a bad form. Sets
// *too_big when it does not fit 32 bits (or has more than 10 digits).
bool read_integer(Bytes p, Bytes end, int64_t* value, bool* too_big) {
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  if (p == end || !is_digit(*p)) return false;
  int64_t magnitude = 0;
  int digits = 0;
  bool apostrophe = false;
  for (; p < end; ++p) {
    if (*p == '\'') {
      if (apostrophe) return false;
      apostrophe = true;
      continue;
    }
    if (!is_digit(*p)) return false;
    apostrophe = false;
    if (magnitude || *p != '0') ++digits;
    if (digits <= kMaxIntegerDigits + 1) magnitude = magnitude * 10 + (*p - '0');
  }
  int64_t signed_value = negative ? -magnitude : magnitude;
  *too_big = digits > kMaxIntegerDigits || signed_value > std::numeric_limits<int32_t>::max() ||
             signed_value < std::numeric_limits<int32_t>::min();
  *value = signed_value;
  return true;
}

// ---- dates ----

// Reads the fields of a date token left to right.
struct DateReader {
  Bytes p, end;

  bool at(char c) const { return p < end && *p == c; }
  bool take(char c) {
    if (!at(c)) return false;
    ++p;
    return true;
  }
  // Up to `most` digits (at least one); -1 when there is none. *count receives how many.
  int32_t number(int most, int* count = nullptr) {
    int n = 0;
    int32_t value = 0;
    while (p < end && is_digit(*p) && n < most) value = value * 10 + (*p++ - '0'), ++n;
    if (count) *count = n;
    return n ? value : -1;
  }
  // Exactly `n` digits, or -1.
  int32_t fixed(int n) {
    int count;
    Bytes before = p;
    int32_t value = number(n, &count);
    if (count != n) {
      p = before;
      return -1;
    }
    return value;
  }
};

constexpr int kMaxYearDigits = 4;
constexpr int32_t kMaxYear = 9999;
constexpr int32_t kMaxZoneHours = 15;
constexpr int32_t kPivotYear = 50;   // two-digit years below it are in the 2000s
constexpr int kMinMonthName = 3;
constexpr int kMaxMonthName = 9;
constexpr int32_t kWeekDays = 7;
constexpr int32_t kMaxWeeks = 53;
constexpr int32_t kIsoWeekAnchorDay = 4;   // 4 January is always in week 1
const char* const kMonthNames[] = {"january", "february", "march",     "april",
                                   "may",     "june",     "july",      "august",
                                   "september", "october", "november", "december"};

int32_t month_named(std::string_view text) {
  if (text.size() < size_t(kMinMonthName) || text.size() > size_t(kMaxMonthName)) return 0;
  int32_t found = 0;
  for (int32_t month = 0; month < 12; ++month) {
    std::string_view name = kMonthNames[month];
    if (text.size() > name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < text.size(); ++i) same &= (text[i] | 0x20) == name[i];
    if (same) {
      if (found) return 0;
      found = month + 1;
    }
  }
  return found;
}

int32_t month_length(int32_t year, int32_t month) {
  static constexpr int32_t kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && !date::leap_year(year)) return 28;
  return kDays[month - 1];
}

// Time of day and zone after a date: hh:mm[:ss[.fff]] then Z, +hh, +hh:mm or +hhmm.
struct TimeOfDay {
  bool present = false;
  double seconds = 0;
  bool zoned = false;
  int32_t zone_minutes = 0;
};

bool read_zone(DateReader& r, TimeOfDay& t) {
  if (r.take('Z')) {
    t.zoned = true;
    return true;
  }
  if (!r.at('+') && !r.at('-')) return true;
  bool negative = *r.p++ == '-';
  int count;
  int32_t hours = r.number(4, &count);
  int32_t minutes = 0;
  if (count == 4) {
    minutes = hours % 100;
    hours /= 100;
  } else if (count == 0 || count == 3) {
    return false;
  } else if (r.take(':')) {
    minutes = r.fixed(2);
    if (minutes < 0) return false;
  }
  if (hours > kMaxZoneHours || minutes > 59) return false;
  t.zoned = true;
  t.zone_minutes = (negative ? -1 : 1) * (hours * 60 + minutes);
  return true;
}

bool read_time_of_day(DateReader& r, TimeOfDay& t) {
  int32_t hours = r.number(2);
  if (hours < 0 || !r.take(':')) return false;
  int32_t minutes = r.number(2);
  if (minutes < 0) return false;
  double seconds = 0;
  if (r.take(':')) {
    Bytes first = r.p;
    while (r.p < r.end && (is_digit(*r.p) || *r.p == '.')) ++r.p;
    int error = 0;
    seconds = parse_decimal(view(first, r.p), 0, &error);
    if (error || first == r.p || seconds >= 60) return false;
  }
  if (hours > 23 || minutes > 59) return false;
  t.present = true;
  t.seconds = hours * 3600.0 + minutes * 60.0 + seconds;
  return read_zone(r, t);
}

bool valid_day(int32_t year, int32_t month, int32_t day) {
  return year >= -kMaxYear && year <= kMaxYear && month >= 1 && month <= 12 && day >= 1 &&
         day <= month_length(year, month);
}

Cell date_value(int32_t year, int32_t month, int32_t day, const TimeOfDay& t) {
  if (!t.present) return date::make(year, month, day);
  return date::make(year, month, day, t.seconds, t.zone_minutes);
}

Cell date_of_days(int64_t days, const TimeOfDay& t) {
  date::Ymd ymd = date::from_days(days);
  return date_value(int32_t(ymd.year), ymd.month, ymd.day, t);
}

// The compact ISO form yyyymmddThhmm[ss[.f]][Z|+hhmm].
bool read_compact(DateReader& r, int32_t year, Cell* value) {
  int32_t month = r.fixed(2), day = r.fixed(2);
  if (month < 0 || day < 0 || !r.take('T')) return false;
  int32_t hours = r.fixed(2), minutes = r.fixed(2);
  if (hours < 0 || minutes < 0 || hours > 23 || minutes > 59) return false;
  TimeOfDay t;
  t.present = true;
  t.seconds = hours * 3600.0 + minutes * 60.0;
  if (r.p < r.end && is_digit(*r.p)) {
    Bytes first = r.p;
    while (r.p < r.end && (is_digit(*r.p) || *r.p == '.')) ++r.p;
    int error = 0;
    double seconds = parse_decimal(view(first, r.p), 0, &error);
    if (error || seconds >= 60) return false;
    t.seconds += seconds;
  }
  if (!read_zone(r, t) || r.p != r.end || !valid_day(year, month, day)) return false;
  *value = date_value(year, month, day, t);
  return true;
}

bool read_date(Bytes start, Bytes end, Cell* value) {
  DateReader r{start, end};
  bool negative_year = r.take('-');
  int year_digits;
  int32_t first = r.number(kMaxYearDigits, &year_digits);
  if (first < 0) return false;
  if (r.p < r.end && is_digit(*r.p)) {
    if (negative_year || year_digits != kMaxYearDigits) return false;
    return read_compact(r, first, value);
  }
  TimeOfDay t;
  auto time_part = [&]() {
    if (r.take('/') || r.take('T')) {
      if (!read_time_of_day(r, t)) return false;
    }
    return r.p == r.end;
  };
  if (negative_year) first = -first;
  if (year_digits == kMaxYearDigits && r.at('-') && r.p + 1 < r.end && r.p[1] == 'W') {
    r.p += 2;
    int32_t week = r.fixed(2);
    int32_t weekday = 1;
    if (r.take('-')) weekday = r.fixed(1);
    if (week < 1 || week > kMaxWeeks || weekday < 1 || weekday > kWeekDays || !time_part()) {
      return false;
    }
    int64_t anchor = date::to_days(first, 1, kIsoWeekAnchorDay);
    int64_t monday = anchor - (date::weekday(anchor) - 1);
    *value = date_of_days(monday + (week - 1) * kWeekDays + (weekday - 1), t);
    return true;
  }
  Bytes after_year = r.p;
  if (year_digits == kMaxYearDigits && r.take('-')) {
    int count;
    int32_t ordinal = r.number(3, &count);
    if (count == 3 && (r.p == r.end || *r.p == '/' || *r.p == 'T')) {
      int32_t days_in_year = date::leap_year(first) ? 366 : 365;
      if (ordinal < 1 || ordinal > days_in_year || !time_part()) return false;
      *value = date_of_days(date::to_days(first, 1, 1) + ordinal - 1, t);
      return true;
    }
    r.p = after_year;
  }
  if (!r.at('-') && !r.at('/')) return false;
  char separator = char(*r.p++);
  int32_t month = 0;
  if (r.p < r.end && is_digit(*r.p)) {
    month = r.number(2);
  } else {
    Bytes name = r.p;
    while (r.p < r.end && ((*r.p | 0x20) >= 'a' && (*r.p | 0x20) <= 'z')) ++r.p;
    month = month_named(view(name, r.p));
  }
  if (month <= 0 || !r.take(separator)) return false;
  bool negative_third = r.take('-');
  int third_digits;
  int32_t third = r.number(kMaxYearDigits, &third_digits);
  if (third < 0 || (r.p < r.end && is_digit(*r.p))) return false;
  if (negative_third) third = -third;
  int32_t year, day, written_digits;
  if (third >= 0 && third <= 31 && first > 99) {
    year = first, day = third, written_digits = year_digits;
  } else {
    day = first, year = third, written_digits = third_digits;
  }
  if (written_digits <= 2 && year >= 0 && year <= 99) {
    year += year < kPivotYear ? 2000 : 1900;
  }
  if (!time_part() || !valid_day(year, month, day)) return false;
  *value = date_value(year, month, day, t);
  return true;
}

// ---- times ----

bool read_time(Bytes p, Bytes end, uint32_t flags, double* value) {
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  Bytes colon = static_cast<Bytes>(std::memchr(p, ':', size_t(end - p)));
  if (!colon) return false;
  int64_t hours;
  bool too_big = false;
  if (!read_integer(p, colon, &hours, &too_big) || too_big) return false;
  Bytes minutes_start = colon + 1;
  Bytes q = minutes_start;
  while (q < end && is_digit(*q)) ++q;
  // Minutes past 59 carry into the hours, but like the hours they must fit 32 bits.
  int64_t minutes;
  if (q == minutes_start || !read_integer(minutes_start, q, &minutes, &too_big) || too_big)
    return false;
  double total;
  if (q == end) {
    total = double(hours) * 3600 + minutes * 60.0;
  } else {
    if ((*q != ':' && *q != '.') || (flags & FLAG_EXPONENT)) return false;
    bool seconds_follow = *q == ':';
    Bytes rest = seconds_follow ? q + 1 : q;
    if (rest == end || std::memchr(rest, ':', size_t(end - rest))) return false;
    int error = 0;
    double fraction = parse_decimal(view(rest, end), 0, &error);
    if (error) return false;
    if (seconds_follow) {
      if (fraction >= 60) return false;
      total = double(hours) * 3600 + minutes * 60.0 + fraction;
    } else {
      double seconds = minutes + fraction;
      if (seconds >= 60) return false;
      total = double(hours) * 60 + seconds;
    }
  }
  *value = (negative || hours < 0) ? -std::fabs(total) : total;
  return true;
}

// ---- money ----

constexpr size_t kCurrencyCodeLength = 3;
constexpr int kMaxFractionDigits = 5;

bool read_money(Bytes p, Bytes end, Cell* value) {
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  Bytes dollar = static_cast<Bytes>(std::memchr(p, '$', size_t(end - p)));
  if (!dollar) return false;
  std::string_view currency = view(p, dollar);
  if (!currency.empty() && currency.size() != kCurrencyCodeLength) return false;
  Bytes q = dollar + 1;
  if (q == end || !is_digit(*q)) return false;
  while (q + 1 < end && *q == '0' && is_digit(q[1])) ++q;
  Bytes integer_start = q;
  int digits = 0;
  bool apostrophe = false;
  for (; q < end && *q != '.' && *q != ','; ++q) {
    if (*q == '\'') {
      if (apostrophe) return false;
      apostrophe = true;
      continue;
    }
    if (!is_digit(*q)) return false;
    apostrophe = false;
    ++digits;
  }
  if (apostrophe || digits > money::kIntegerDigits) return false;
  std::string_view integer_digits = view(integer_start, q);
  std::string_view fraction;
  if (q < end) {
    Bytes fraction_start = ++q;
    while (q < end && is_digit(*q)) ++q;
    fraction = view(fraction_start, q);
    if (q != end || fraction.empty() || fraction.size() > size_t(kMaxFractionDigits)) {
      return false;
    }
  }
  return money::make_from_digits(negative, currency, integer_digits, fraction, value);
}

}  // namespace

int32_t decode_char(const uint8_t*& p, const uint8_t* end) {
  if (*p < 0x80) return *p++;
  int32_t cp;
  p = unicode::fast_decode_utf8_char(p, end, &cp);
  return cp;
}

bool unicode_space(int32_t cp) {
  if (cp < kFirstUnicodeSpace) return false;
  for (int32_t space : kUnicodeSpaces) {
    if (cp == space) return true;
  }
  return false;
}

bool load_string(State& s, Bytes start, Bytes end, uint32_t flags, int mode) {
  TypeId type = s.forced_type > 0 ? TypeId(s.forced_type) : TYPE_STRING;
  return build_text(s, start, end, start + 1, end - 1, flags, mode, type, true);
}

bool load_word(State& s, Bytes start, Bytes end, uint32_t flags, int mode) {
  TypeId type = TypeId(s.forced_type > 0 ? s.forced_type : s.result_type);
  Bytes name = start, name_end = end;
  switch (type) {
    case TYPE_REFINEMENT: case TYPE_ISSUE: case TYPE_GET_WORD: case TYPE_LIT_WORD:
      ++name;
      break;
    case TYPE_SET_WORD:
      --name_end;
      break;
    default:
      break;
  }
  if (name >= name_end) return throw_error(s, start, end, type);
  if (flags & kNonAsciiFlags) {
    for (Bytes p = name; p < name_end;) {
      if (decode_char(p, name_end) < 0) return throw_error(s, start, end, type);
    }
  }
  if (mode == MODE_CHECK) return true;
  std::string_view text = view(name, name_end);
  Cell value;
  if (type == TYPE_ISSUE) {
    value = issue::load(text);
  } else if (type == TYPE_REFINEMENT) {
    value = word::unbound(symbol::make(text), TYPE_REFINEMENT);
    if (boot::flag) value = word::keep_in_root(value);
  } else {
    value = word::load(text, type);
  }
  push(s, value);
  return true;
}

bool load_issue(State& s, Bytes start, Bytes end, uint32_t flags, int mode) {
  s.forced_type = TYPE_ISSUE;
  return load_word(s, start, end, flags, mode);
}

bool load_refinement(State& s, Bytes start, Bytes end, uint32_t flags, int mode) {
  if (*start != '/') return throw_error(s, start, end, TYPE_REFINEMENT);
  s.forced_type = TYPE_REFINEMENT;
  return load_word(s, start, end, flags, mode);
}

bool load_integer(State& s, Bytes start, Bytes end, uint32_t flags, int mode) {
  int64_t value;
  bool too_big = false;
  if (end - start == 1) {
    value = *start - '0';
  } else if (!read_integer(start, end, &value, &too_big)) {
    return throw_error(s, start, end, TYPE_INTEGER);
  }
  if (too_big) {
    s.result_type = TYPE_FLOAT;
    return load_float(s, start, end, flags, mode);
  }
  if (mode == MODE_LOAD) push(s, integer::make(int32_t(value)));
  return true;
}

bool load_float(State& s, Bytes start, Bytes end, uint32_t, int mode) {
  return push_float(s, start, end, mode, 0, TYPE_FLOAT);
}

bool load_percent(State& s, Bytes start, Bytes end, uint32_t, int mode) {
  constexpr int kPercentScale = -2;   // 50% is 0.5
  return push_float(s, start, end - 1, mode, kPercentScale, TYPE_PERCENT);
}

bool load_float_special(State& s, Bytes start, Bytes end, uint32_t, int mode) {
  int error = 0;
  double value = parse_special(view(start, end), &error);
  if (error) return throw_error(s, start, end, TYPE_FLOAT);
  if (mode == MODE_LOAD) push(s, floating::make(value));
  return true;
}

bool load_time(State& s, Bytes start, Bytes end, uint32_t flags, int mode) {
  double seconds;
  if (!read_time(start, end, flags, &seconds)) return throw_error(s, start, end, TYPE_TIME);
  if (mode == MODE_LOAD) push(s, floating::make(seconds, TYPE_TIME));
  return true;
}

bool load_date(State& s, Bytes start, Bytes end, uint32_t, int mode) {
  Cell value;
  if (!read_date(start, end, &value)) return throw_error(s, start, end, TYPE_DATE);
  if (mode == MODE_LOAD) push(s, value);
  return true;
}

bool load_money(State& s, Bytes start, Bytes end, uint32_t, int mode) {
  Cell value;
  if (!read_money(start, end, &value)) return throw_error(s, start, end, TYPE_MONEY);
  if (mode == MODE_LOAD) push(s, value);
  return true;
}

bool load_hex_integer(State& s, Bytes start, Bytes end, uint32_t, int mode) {
  constexpr ptrdiff_t kMinDigits = 2, kMaxDigits = 8;
  ptrdiff_t digits = end - start - 1;
  if (digits == 1 && !is_digit(*start)) return throw_error(s, start, end, TYPE_WORD);
  if (digits < kMinDigits || digits > kMaxDigits) return throw_error(s, start, end, TYPE_INTEGER);
  uint32_t value = 0;
  for (Bytes p = start; p < end - 1; ++p) {
    int digit = hex::digit_value(*p);
    if (digit < 0 || (*p >= 'a' && *p <= 'f')) return throw_error(s, start, end, TYPE_INTEGER);
    value = value * 16 + uint32_t(digit);
  }
  if (mode == MODE_LOAD) push(s, integer::make(int32_t(value)));
  return true;
}

bool load_file(State& s, Bytes start, Bytes end, uint32_t flags, int mode) {
  if (start[1] == '"') {
    if (end - start < 3 || end[-1] != '"') return throw_error(s, start, end, TYPE_FILE);
    return build_text(s, start, end, start + 2, end - 1, flags, mode, TYPE_FILE, false);
  }
  return build_decoded_text(s, start, end, start + 1, end, mode, TYPE_FILE);
}

bool load_url(State& s, Bytes start, Bytes end, uint32_t, int mode) {
  if (*start == ':') return throw_error(s, start, end, TYPE_GET_WORD);
  if (*start == '\'') return throw_error(s, start, end, TYPE_LIT_WORD);
  return build_decoded_text(s, start, end, start, end, mode, TYPE_URL);
}

bool load_tag(State& s, Bytes start, Bytes end, uint32_t flags, int mode) {
  if (*start != '<') return throw_error(s, start, end, TYPE_TAG);
  return build_text(s, start, end, start + 1, end - 1, flags, mode, TYPE_TAG, false);
}

bool load_email(State& s, Bytes start, Bytes end, uint32_t flags, int mode) {
  return build_text(s, start, end, start, end, flags, mode, TYPE_EMAIL, false);
}

bool load_ref(State& s, Bytes start, Bytes end, uint32_t flags, int mode) {
  return build_text(s, start, end, start + 1, end, flags, mode, TYPE_REF, false);
}

bool load_raw_string(State& s, Bytes start, Bytes end, uint32_t, int mode) {
  Bytes open = start;
  while (*open == '%') ++open;
  ptrdiff_t run = open - start;
  Bytes close = end;
  while (close[-1] == '%') --close;
  ptrdiff_t closing = end - close;
  if (closing > run) return throw_error(s, start, end, TYPE_STRING);
  Bytes text_end = close - 1;   // the `}`
  if (closing < run) {
    // The text goes on: find a `}` followed by the whole run.
    Bytes p = end;
    for (;; ++p) {
      if (p + 1 + run > s.input_end) return throw_error(s, start, s.input_end, TYPE_STRING);
      if (*p == '}' && std::memcmp(p + 1, start, size_t(run)) == 0) break;
    }
    for (Bytes q = end; q < p; ++q) s.line += *q == '\n';
    text_end = p;
    s.pos = s.token_end = p + 1 + run;
  }
  uint32_t flags = 0;
  for (Bytes p = open + 1; p < text_end; ++p) flags |= kCharClass[*p];
  return build_text(s, start, s.token_end, open + 1, text_end, flags & ~kClassMask, mode,
                    TYPE_STRING, false);
}

bool load_char(State& s, Bytes start, Bytes end, uint32_t, int mode) {
  constexpr ptrdiff_t kOpener = 2;   // #"
  Bytes p = start + kOpener;
  Bytes text_end = end - 1;
  if (p >= text_end) return throw_error(s, start, end, TYPE_CHAR);
  int32_t cp;
  if (*p == '^') {
    ++p;
    cp = p < text_end ? decode_escape(p, text_end) : -1;
  } else {
    cp = decode_char(p, text_end);
  }
  if (cp < 0 || uint32_t(cp) > utf8::kMaxCodePoint || p != text_end) {
    return throw_error(s, start, end, TYPE_CHAR);
  }
  if (mode == MODE_LOAD) push(s, character::make(uint32_t(cp)));
  return true;
}

bool load_binary(State& s, Bytes start, Bytes end, uint32_t, int mode) {
  Bytes brace = static_cast<Bytes>(std::memchr(start, '{', size_t(end - start)));
  std::string_view base_text = view(start, brace - 1);
  int base = base_text.empty() || base_text == "16" ? 16 : base_text == "2" ? 2
             : base_text == "64" ? 64 : 0;
  if (!base) return throw_error(s, start, end, TYPE_BINARY);
  Bytes body = brace + 1, body_end = end - 1;
  uint8_t* out = nullptr;
  Cell value{};
  if (mode == MODE_LOAD) {
    binary::make_at(&value, uint32_t(body_end - body));
    memory::SeriesBuffer* buffer = memory::buffer_of(value.node());
    out = buffer->data() + buffer->head;
  }
  int32_t count = decode_base(body, body_end, base, out);
  if (count < 0) return throw_error(s, start, end, TYPE_BINARY);
  if (mode == MODE_LOAD) {
    memory::SeriesBuffer* buffer = memory::buffer_of(value.node());
    buffer->tail = buffer->head + uint32_t(count);
    push(s, value);
  }
  return true;
}

bool load_tuple(State& s, Bytes start, Bytes end, uint32_t, int mode) {
  uint8_t parts[kMaxTupleParts];
  int32_t count = read_tuple(view(start, end), parts);
  if (count < kMinTupleParts) return throw_error(s, start, end, TYPE_TUPLE);
  if (mode == MODE_LOAD) push(s, tuple::make(count, parts));
  return true;
}

bool load_pair(State& s, Bytes start, Bytes end, uint32_t, int mode) {
  Bytes x = start;
  while (x < end && (*x | 0x20) != 'x') ++x;
  int64_t first, second;
  bool too_big_first = false, too_big_second = false;
  if (x == end || !read_integer(start, x, &first, &too_big_first) ||
      !read_integer(x + 1, end, &second, &too_big_second) || too_big_first || too_big_second) {
    return throw_error(s, start, end, TYPE_PAIR);
  }
  if (mode == MODE_LOAD) push(s, pair::make(int32_t(first), int32_t(second)));
  return true;
}

bool load_point(State& s, Bytes start, Bytes end, uint32_t, int mode) {
  constexpr int kMaxCoordinates = 3;
  float coordinates[kMaxCoordinates] = {};
  int count = 0;
  Bytes p = start;   // just after the `(`
  Bytes close = end - 1;
  for (;;) {
    TypeId type = count < 2 ? TYPE_POINT2D : TYPE_POINT3D;
    while (p < close && (*p == ' ' || *p == '\t')) ++p;
    Bytes first = p;
    while (p < close && *p != ',' && *p != ' ' && *p != '\t') ++p;
    Bytes last = p;
    while (p < close && (*p == ' ' || *p == '\t')) ++p;
    if (first == last || count == kMaxCoordinates) return throw_error(s, start - 1, end, type);
    int error = 0;
    double value;
    if (std::memchr(first, '#', size_t(last - first))) {
      value = parse_special(view(first, last), &error);
    } else {
      value = parse_decimal(view(first, last), 0, &error);
    }
    if (error) return throw_error(s, start - 1, end, type);
    coordinates[count++] = float(value);
    if (p == close) break;
    if (*p != ',') return throw_error(s, start - 1, end, type);
    ++p;
  }
  if (count < 2) return throw_error(s, start - 1, end, TYPE_POINT2D);
  TypeId type = count == 2 ? TYPE_POINT2D : TYPE_POINT3D;
  s.result_type = type;
  if (mode == MODE_LOAD) push(s, point::make(type, coordinates));
  return true;
}

}  // namespace xol::lexer
