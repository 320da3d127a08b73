// money!: an exact signed decimal amount of 17 integer and 5 fraction digits, optionally tagged
// with a currency.
//
// Cell (16 bytes): the header, whose bit 14 is the sign; byte 4 the currency index (0 for
// none, else the 1-based position in the currency list); bytes 5-15 the magnitude as 22 packed
// decimal digits, most significant first (digit 17 the units, 18-22 the fraction). Zero has
// all digits 0 whatever its sign bit.
//
// The packed digits are the stored form. To compute, the magnitude is read once into a 128-bit
// count of hundred-thousandths, where addition, the 28-digit products and the long divisions of
// the money rules are exact, and written back as digits; results beyond 22 digits raise
// script `type-limit`. Quotients and products are cut, never rounded, after five fraction
// digits.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/number.h"

namespace xol::money {

constexpr int kDigits = 22;
constexpr int kIntegerDigits = 17;
constexpr int kFractionDigits = 5;
// Currency indexes fit the one byte the cell keeps for them.
constexpr int32_t kMaxCurrencies = 255;

// A magnitude in hundred-thousandths (the value × 10^5).
using Magnitude = unsigned __int128;

// The fraction digits that `form` and `mold` print (5 at most): system/options/money-digits
// when it holds an integer!, else `digits_option` (2; tests without the library set it).
inline int32_t digits_option = 2;

// ---- the cell ----
bool sign_bit(const Cell* value);
// -1, 0 or 1; a zero amount is 0 whatever its sign bit.
int32_t sign(const Cell* value);
int32_t currency_index(const Cell* value);
void set_currency(Cell* value, int32_t index);
Magnitude magnitude(const Cell* value);
// Digit 1 (most significant) to 22 (last fraction digit).
int32_t get_digit(const Cell* value, int32_t number);
// A money! of that sign, currency and magnitude; a magnitude of more than 22 digits raises
// script `type-limit`.
Cell make(bool negative, int32_t currency, Magnitude amount);

// ---- the currency list ----
// The 1-based index of a currency code (any letter case), or -1 when it is not in the list.
int32_t currency_lookup(std::string_view code);
// The code at a 1-based index.
std::string_view currency_code(int32_t index);
int32_t currency_count();

// ---- conversions ----
Cell from_integer(int32_t value);
// The money! of a double, through its shortest decimal text. NaN, infinities, magnitudes of
// 1e17 or more, non-zero magnitudes below 1e-5 and, when `strict`, more than five fraction
// digits raise script `bad-make-arg`; otherwise fraction digits beyond the fifth are cut.
Cell from_float(double value, bool strict);
// The lexer's constructor: digit texts of the integer and fraction parts ("'" separators are
// skipped), a currency code or an empty one. False for an unknown currency or too many digits.
bool make_from_digits(bool negative, std::string_view currency, std::string_view integer_digits,
                      std::string_view fraction_digits, Cell* result);
// The integer part; beyond 32 bits raises script `type-limit` naming integer!.
int32_t to_integer(const Cell* value);
// The correctly rounded double of the amount.
double to_float(const Cell* value);

// The arithmetic core for ops 0-4; either operand is a money!, the other may be an integer!,
// float! or percent!.
void do_math(MathOp op, const Cell* left, const Cell* right, Cell* result);

// ---- actions ----
void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);
int32_t compare(const Cell* value1, const Cell* value2, int32_t op);
void absolute(Cell* value, Cell* result);
void negate(Cell* value, Cell* result);
bool even(const Cell* value);
bool odd(const Cell* value);

// Registers money! (id 49).
void init();

}  // namespace xol::money
