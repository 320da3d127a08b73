// Number text: every conversion between a double and decimal text in the runtime.
//
// Two layers live here. `dtoa` is the correctly rounded core: text to double rounds to
// nearest, ties to even, and double to text gives the shortest digits that read back to the
// same double, or at most a requested number of significant digits. The exact arithmetic is
// the standard library's (`std::from_chars`, `std::to_chars`); this unit owns what the
// language adds around it: the accepted syntax, the power-of-ten adjustment used by percent
// literals, the "1.#INF" / "-1.#INF" / "1.#NaN" texts, the point placement and the keep-point
// ".0" of molded floats. `float_text` is the one formatter of printed floating values
// (`float!`, `percent!`, time seconds, vector elements, point coordinates): a "%g" first text,
// a one-time "pretty" retry with fewer digits when the last digits are binary noise ("...01",
// "...99"), and the exponent and ".0" clean-up.
//
// Nothing here allocates or throws. Texts are built in static buffers owned by the
// formatters: a returned text stays valid until the next call of the same routine, so callers
// copy it into their output at once. The runtime is single-threaded, so are these routines.
#pragma once

namespace xol::dtoa {

// Decimal-point positions that mark a finished text rather than digits.
inline constexpr int POINT_ZERO = 9998;      // "0", "-0", "0.0" or "-0.0"
inline constexpr int POINT_SPECIAL = 9999;   // "1.#INF", "-1.#INF" or "1.#NaN"

// Reads the decimal number in [first, last): an optional sign, digits with an optional ".",
// an optional exponent ("e" or "E", optional sign, digits), or the special forms "1.#I..."
// (infinity) and "1.#N..." (NaN). `adjust` is added to the decimal exponent, so "1.1" with
// -2 reads as the double nearest 0.011. `*left_over` receives the number of characters at
// the end that are not part of the number: all of them when there is no digit at all, none
// after a special form. Overflow gives an infinity with the sign, underflow and every zero
// give +0.0, exponents of any length are read without wrapping.
double from_text(const char* first, const char* last, int adjust, int* left_over);

// The significant digits of a double. `text` is zero-terminated in a static buffer and
// starts with "-" for a negative value (digits from `text + negative`); `count` is the number
// of digits, `point` the number of digits before the decimal point (negative or zero below
// 0.1). For infinities and NaN `point` is POINT_SPECIAL and `text` the final special text; for
// zero `point` is POINT_ZERO and `text` "0"/"-0", or "0.0"/"-0.0" with `zero_form`; `count`
// is 1 for both. NaN is never negative.
struct Digits {
  const char* text;
  int count;
  int point;
  bool negative;
};

// `count` 0 or less asks for the shortest digits that read back; n above 0 for the shortest
// digits when they number n or fewer, else the value rounded (ties to even) to n digits.
// Trailing zeros are never part of the digits.
Digits digits(double value, int count, bool zero_form);

// The printed text of a double from `digits(value, count, keep_point)`: plain notation when
// the point position is -6 to 17, else "d.ddde-x" with no "+" and no leading zeros. With
// `keep_point` an integral text keeps ".0" ("100.0", "1.0e17"), without it the point goes
// ("100", "1e17"). Zero-terminated in a static buffer.
const char* to_text(double value, int count, bool keep_point);

}  // namespace xol::dtoa

namespace xol::float_text {

// What a printed floating value is; picks the format, the noise retry and the suffix.
enum Kind : int {
  KIND_FLOAT32 = 0,        // element of a 32-bit float vector
  KIND_FLOAT = 1,          // `float!`
  KIND_PERCENT32 = 2,      // element of a 32-bit percent vector (value already times 100)
  KIND_PERCENT = 3,        // `percent!` (value already times 100)
  KIND_TIME_SECONDS = 4,   // the seconds field of a `time!`
  KIND_POINT32 = 5,        // 32-bit coordinate of a point
};

// The `pretty?` option of `system/options/float`: on, magnitudes below the double epsilon
// print as zero and noisy last digits trigger the retry with fewer digits.
inline bool pretty_print = true;

// The printed form of `value` as `kind`. Zero-terminated in a static buffer of 31 characters.
const char* to_text(double value, Kind kind);

}  // namespace xol::float_text
