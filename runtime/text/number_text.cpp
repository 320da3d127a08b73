// Number text: the correctly rounded conversions between doubles and decimal text, and the
// formatter of printed floating values.
//
// The exact decimal-binary arithmetic is delegated to `std::from_chars` and `std::to_chars`,
// which are correctly rounded (nearest, ties to even) and locale-independent. Reading first
// normalises the text into a plain digit string and a decimal exponent: this is where the
// language's syntax, the power-of-ten adjustment, unbounded exponents and the special forms
// are settled, so the library call only ever sees "ddd...e-x". Long inputs are cut to
// SIGNIFICANT_DIGITS_KEPT digits plus a sticky "1" standing for any nonzero digit dropped,
// which cannot change the rounding: a midpoint between two doubles never has more than 767
// significant digits. Writing takes the digits from the library's scientific form and lays
// them out by the point position.
#include "runtime/text/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace xol::dtoa {
namespace {

// "-" followed by 30 digit places and a terminator: 17 digits suffice for any shortest form
// and 22, the most any caller asks, never exceeds the shortest form's length.
constexpr int DIGIT_PLACES = 30;
char digit_buffer[1 + DIGIT_PLACES + 1];

// The longest printed form is "-0.000000" followed by 17 digits; 32 leaves room.
constexpr int TEXT_CAPACITY = 32;
char text_buffer[TEXT_CAPACITY];

// Scratch for one `to_chars` result: "d." + 16 digits + "e-324" fits with room to spare.
constexpr int SCRATCH_CAPACITY = 40;

// Plain notation is used while the point position stays within these bounds.
constexpr int PLAIN_POINT_MAX = 17;
constexpr int PLAIN_POINT_MIN = -6;

// A midpoint between two doubles has at most 767 significant digits, so keeping more than
// that plus a sticky digit rounds exactly as the whole text would.
constexpr int SIGNIFICANT_DIGITS_KEPT = 800;

// Exponent digits are accumulated up to this magnitude and then saturate: such exponents
// denote an infinity or a zero whatever else the text says, and saturation keeps the sums
// below far from overflow.
constexpr int64_t EXPONENT_SATURATION = 1'000'000'000'000;

// Bounds on the number of digits before the point (the decimal "lead" position) outside
// which the value is certainly beyond the largest double (10^309 and up) or certainly below
// half the smallest subnormal (under 10^-324); the margins keep the library's own range
// checks for the values near the edges.
constexpr int64_t LEAD_OVERFLOW = 310;
constexpr int64_t LEAD_UNDERFLOW = -330;

// Room for the normalised text handed to `from_chars`: the kept digits, the sticky digit,
// "e" and a signed exponent.
constexpr int NORMALISED_CAPACITY = SIGNIFICANT_DIGITS_KEPT + 1 + 1 + 24;

const char TEXT_INF[] = "1.#INF";
const char TEXT_NEG_INF[] = "-1.#INF";
const char TEXT_NAN[] = "1.#NaN";

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The significant digits of a text being read: leading zeros never enter, digits beyond
// the kept count only leave a sticky mark, and `exponent` keeps value = digits x 10^exponent.
struct Significand {
  char digits[NORMALISED_CAPACITY];
  int count = 0;
  bool sticky = false;
  int64_t exponent = 0;

  void add_integer_digit(char d) {
    if (count == 0 && d == '0') return;
    if (count < SIGNIFICANT_DIGITS_KEPT) {
      digits[count++] = d;
    } else {
      sticky |= d != '0';
      ++exponent;
    }
  }

  void add_fraction_digit(char d) {
    if (count == 0 && d == '0') {
      --exponent;
    } else if (count < SIGNIFICANT_DIGITS_KEPT) {
      digits[count++] = d;
      --exponent;
    } else {
      sticky |= d != '0';
    }
  }

  // The correctly rounded magnitude of digits x 10^(exponent + extra); `count` is nonzero.
  double to_double(int64_t extra) {
    int64_t scale = exponent + extra;
    int64_t lead = count + scale;
    if (lead > LEAD_OVERFLOW) return std::numeric_limits<double>::infinity();
    if (lead < LEAD_UNDERFLOW) return 0.0;
    int n = count;
    if (sticky) {
      digits[n++] = '1';
      --scale;
    }
    digits[n++] = 'e';
    char* end = std::to_chars(digits + n, digits + NORMALISED_CAPACITY, scale).ptr;
    double result = 0.0;
    if (std::from_chars(digits, end, result).ec == std::errc::result_out_of_range) {
      result = lead > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return result;
  }
};

// Reads the digits of an exponent from `s`, saturating; answers the position after them.
const char* read_exponent(const char* s, const char* last, int64_t* value) {
  int64_t v = 0;
  for (; s < last && is_digit(*s); ++s) {
    if (v < EXPONENT_SATURATION) v = v * 10 + (*s - '0');
  }
  *value = v;
  return s;
}

// Copies the digits of a `to_chars` scientific text ("d.ddde+xx") into the digit buffer
// after its sign place, without trailing zeros; sets the count and the point position.
void take_scientific(const char* s, const char* end, Digits* d) {
  char* out = digit_buffer + 1;
  for (; *s != 'e'; ++s) {
    if (*s != '.') *out++ = *s;
  }
  while (out > digit_buffer + 2 && out[-1] == '0') --out;
  *out = '\0';
  d->count = static_cast<int>(out - (digit_buffer + 1));
  ++s;
  bool exponent_negative = *s == '-';
  int exponent = 0;
  std::from_chars(s + 1, end, exponent);
  d->point = (exponent_negative ? -exponent : exponent) + 1;
}

char* append_digits(char* out, const char* digits, int n) {
  std::memcpy(out, digits, static_cast<size_t>(n));
  return out + n;
}

// A text whose digits part ends with "." gets ".0" with keep-point and loses the point
// without.
char* settle_point(char* out, bool keep_point) {
  if (out[-1] != '.') return out;
  if (!keep_point) return out - 1;
  *out++ = '0';
  return out;
}

}  // namespace

double from_text(const char* first, const char* last, int adjust, int* left_over) {
  const char* s = first;
  bool negative = false;
  if (s < last && (*s == '+' || *s == '-')) {
    negative = *s == '-';
    ++s;
  }
  Significand sig;
  bool any_digit = false;
  for (; s < last && is_digit(*s); ++s) {
    sig.add_integer_digit(*s);
    any_digit = true;
  }
  if (s < last && *s == '.') {
    // "1.#INF", "-1.#INF", "1.#NaN": the letter after "#" decides, the rest is not read.
    if (sig.count == 1 && last - s > 2 && s[1] == '#') {
      char letter = s[2];
      if (letter == 'I' || letter == 'i') {
        *left_over = 0;
        double inf = std::numeric_limits<double>::infinity();
        return negative ? -inf : inf;
      }
      if (letter == 'N' || letter == 'n') {
        *left_over = 0;
        return std::numeric_limits<double>::quiet_NaN();
      }
    }
    for (++s; s < last && is_digit(*s); ++s) {
      sig.add_fraction_digit(*s);
      any_digit = true;
    }
  }
  if (!any_digit) {
    *left_over = static_cast<int>(last - first);
    return 0.0;
  }
  int64_t exponent = 0;
  if (s < last && (*s == 'e' || *s == 'E') && last - s > 1) {
    const char* t = s + 1;
    bool exponent_negative = *t == '-';
    if (*t == '+' || *t == '-') ++t;
    if (t < last && is_digit(*t)) {
      s = read_exponent(t, last, &exponent);
      if (exponent_negative) exponent = -exponent;
    }
  }
  *left_over = static_cast<int>(last - s);
  if (sig.count == 0) return 0.0;
  double magnitude = sig.to_double(exponent + adjust);
  if (magnitude == 0.0) return 0.0;
  return negative ? -magnitude : magnitude;
}

Digits digits(double value, int count, bool zero_form) {
  bool negative = std::signbit(value);
  if (std::isnan(value)) return {TEXT_NAN, 1, POINT_SPECIAL, false};
  if (std::isinf(value)) {
    return negative ? Digits{TEXT_NEG_INF, 1, POINT_SPECIAL, true}
                    : Digits{TEXT_INF, 1, POINT_SPECIAL, false};
  }
  if (value == 0.0) {
    const char* text = zero_form ? (negative ? "-0.0" : "0.0") : (negative ? "-0" : "0");
    return {text, 1, POINT_ZERO, negative};
  }
  double magnitude = std::fabs(value);
  char scratch[SCRATCH_CAPACITY];
  Digits d{};
  char* end = std::to_chars(scratch, scratch + SCRATCH_CAPACITY, magnitude,
                            std::chars_format::scientific).ptr;
  take_scientific(scratch, end, &d);
  if (count > 0 && d.count > count) {
    end = std::to_chars(scratch, scratch + SCRATCH_CAPACITY, magnitude,
                        std::chars_format::scientific, count - 1).ptr;
    take_scientific(scratch, end, &d);
  }
  d.negative = negative;
  digit_buffer[0] = '-';
  d.text = negative ? digit_buffer : digit_buffer + 1;
  return d;
}

const char* to_text(double value, int count, bool keep_point) {
  Digits d = digits(value, count, keep_point);
  if (d.point >= POINT_ZERO) return d.text;
  const char* ds = d.text + d.negative;
  int n = d.count;
  int p = d.point;
  char* out = text_buffer;
  if (d.negative) *out++ = '-';
  if (p > PLAIN_POINT_MAX || p < PLAIN_POINT_MIN) {
    *out++ = ds[0];
    *out++ = '.';
    out = settle_point(append_digits(out, ds + 1, n - 1), keep_point);
    *out++ = 'e';
    out = std::to_chars(out, text_buffer + TEXT_CAPACITY, p - 1).ptr;
  } else if (p > 0) {
    int before = p < n ? p : n;
    out = append_digits(out, ds, before);
    for (int i = n; i < p; ++i) *out++ = '0';
    *out++ = '.';
    out = settle_point(append_digits(out, ds + before, n - before), keep_point);
  } else {
    *out++ = '0';
    *out++ = '.';
    for (int i = p; i < 0; ++i) *out++ = '0';
    out = append_digits(out, ds, n);
  }
  *out = '\0';
  return text_buffer;
}

}  // namespace xol::dtoa

namespace xol::float_text {
namespace {

// 31 characters and a terminator; the longest text, "-d.ddddddddddddddde-308", is far
// shorter.
constexpr int TEXT_CAPACITY = 32;
char text_buffer[TEXT_CAPACITY];

// Time seconds print with this many significant digits at most.
constexpr int TIME_SECONDS_DIGITS = 6;

// Magnitudes below the double epsilon are rounding noise around zero when pretty printing.
constexpr double TINY_MAGNITUDE = std::numeric_limits<double>::epsilon();

// A mantissa part longer than this has used every digit of the format, so its last two
// digits may be binary noise; a text "0.ddd" without exponent needs one character more.
constexpr int NOISE_MANTISSA_LENGTH = 16;
constexpr int NOISE_MANTISSA_LENGTH_LEADING_ZERO = 17;

struct KindFormat {
  int precision;          // "%.Ng" of the first text, or 0 for the dtoa time-seconds form
  int retry_precision;    // "%.Ng" when the first text ends in noise
  const char* tiny_text;  // the text of a magnitude below TINY_MAGNITUDE
  bool percent;           // appends "%"
  bool keeps_point;       // a text without "." gets ".0"
};

constexpr KindFormat KIND_FORMATS[] = {
    /* KIND_FLOAT32 */ {7, 5, "0.0", false, true},
    /* KIND_FLOAT */ {16, 14, "0.0", false, true},
    /* KIND_PERCENT32 */ {7, 14, "0%", true, false},
    /* KIND_PERCENT */ {13, 14, "0%", true, false},
    /* KIND_TIME_SECONDS */ {0, 5, "0.0", false, false},
    /* KIND_POINT32 */ {7, 5, "0", false, false},
};

// "%.Ng" of the value into `out`, locale-independent; answers the length.
int format_general(char* out, double value, int precision) {
  return static_cast<int>(
      std::to_chars(out, out + TEXT_CAPACITY, value, std::chars_format::general, precision).ptr -
      out);
}

int first_text(char* out, double value, const KindFormat& format) {
  if (format.precision != 0) return format_general(out, value, format.precision);
  const char* text = dtoa::to_text(value, TIME_SECONDS_DIGITS, false);
  int length = static_cast<int>(std::strlen(text));
  std::memcpy(out, text, static_cast<size_t>(length));
  return length;
}

int mantissa_length(const char* text, int length) {
  const void* e = std::memchr(text, 'e', static_cast<size_t>(length));
  return e ? static_cast<int>(static_cast<const char*>(e) - text) : length;
}

// The mantissa part has used every digit the format allows and ends in "01" or "99".
bool ends_in_noise(const char* text, int mantissa, bool has_exponent) {
  if (mantissa <= NOISE_MANTISSA_LENGTH) return false;
  char first_digit = text[text[0] == '-' ? 1 : 0];
  if (!has_exponent && first_digit == '0' && mantissa <= NOISE_MANTISSA_LENGTH_LEADING_ZERO) {
    return false;
  }
  char a = text[mantissa - 2];
  char b = text[mantissa - 1];
  return (a == '0' && b == '1') || (a == '9' && b == '9');
}

}  // namespace

const char* to_text(double value, Kind kind) {
  if (!std::isfinite(value)) return dtoa::digits(value, 0, false).text;
  const KindFormat& format = KIND_FORMATS[kind];
  if (pretty_print && std::fabs(value) < TINY_MAGNITUDE) return format.tiny_text;

  char work[TEXT_CAPACITY];
  int length = first_text(work, value, format);
  int mantissa = mantissa_length(work, length);
  if (pretty_print && ends_in_noise(work, mantissa, mantissa < length)) {
    length = format_general(work, value, format.retry_precision);
    mantissa = mantissa_length(work, length);
  }

  char* out = text_buffer;
  std::memcpy(out, work, static_cast<size_t>(mantissa));
  bool has_point = std::memchr(work, '.', static_cast<size_t>(mantissa)) != nullptr;
  out += mantissa;
  if (!has_point && format.keeps_point) {
    *out++ = '.';
    *out++ = '0';
  }
  if (mantissa < length) {
    // The exponent without "+" and leading zeros: "e+20" is "e20", "e-05" is "e-5".
    const char* s = work + mantissa + 1;
    const char* end = work + length;
    *out++ = 'e';
    if (*s == '-') *out++ = '-';
    if (*s == '+' || *s == '-') ++s;
    while (end - s > 1 && *s == '0') ++s;
    std::memcpy(out, s, static_cast<size_t>(end - s));
    out += end - s;
  }
  if (format.percent) *out++ = '%';
  *out = '\0';
  return text_buffer;
}

}  // namespace xol::float_text
