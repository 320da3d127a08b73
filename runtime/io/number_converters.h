// Text to numbers: the converters behind `to` and `make` of integer!, float!, tuple! and
// money! on text, the loading of one value from a string, and the number readers that the
// lexer's loaders share with them.
//
// The converters never raise: they report through an error code (0 on success, -1 for a bad
// character or form, -2 for an integer that does not fit 32 bits), and their callers raise
// their own error. They read text of 1-, 2- or 4-byte units, as strings hold it.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/cell.h"

namespace xol::lexer {

constexpr int32_t kMinTupleParts = 3;
constexpr int32_t kMaxTupleParts = 12;
// Longest text the decimal check accepts.
constexpr size_t kMaxDecimalText = 312;

// A decimal number that passes the check, apostrophes dropped, correctly rounded; `adjust` is
// added to its decimal exponent (-2 reads 50 as 0.5). *error becomes -1 on failure.
double parse_decimal(std::string_view text, int adjust, int* error);
// The forms 1.#NaN and 1.#INF (any case, optional sign); *error becomes -1 for anything else.
double parse_special(std::string_view text, int* error);
// Parts of a dotted tuple text (digits and dots only), each 0-255, at most 12 of them, into
// `parts`. Answers their count, or -1 for an empty part, a part above 255 or too many parts.
int32_t read_tuple(std::string_view text, uint8_t* parts);

}  // namespace xol::lexer

namespace xol::string {

// Optional sign, decimal digits, apostrophes skipped after the sign. -2147483648 fits.
int32_t to_integer(const uint8_t* units, uint32_t unit, uint32_t length, int32_t* error);
// A decimal number with `,` read as the decimal point; NaN and -1 on failure.
double to_float(const uint8_t* units, uint32_t unit, uint32_t length, int32_t* error);
// Optional sign, optional 3-letter currency code then `$` (optional without a code), digits
// with single apostrophes, at most one `.`.
Cell to_money(const uint8_t* units, uint32_t unit, uint32_t length, int32_t* error);

// The same converters on a text value (string!, file!, url!, tag!, email!, ref!), from its
// position to its tail.
int32_t to_integer(const Cell* text, int32_t* error);
double to_float(const Cell* text, int32_t* error);
Cell to_money(const Cell* text, int32_t* error);

}  // namespace xol::string

namespace xol::value {

// The first value that a string loads as (the values after it are loaded and dropped), unset
// when it holds none. Syntax errors are raised.
void load_from_string(const Cell* text, Cell* result);

}  // namespace xol::value
