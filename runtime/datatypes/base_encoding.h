// Bytes as text in bases 2, 16, 58 and 64, and back: the workers of `enbase` and `debase`.
//
// Encoders write upper-case hexadecimal, RFC 4648 base 64 with "=" padding and no line
// breaks, the Bitcoin alphabet for base 58 (one "1" per leading zero byte), and eight binary
// digits a byte. Decoders read text of any unit width; they skip layout (whitespace, and
// comments from ";" to the end of the line) and fail on anything that is not a digit of their
// base, a character above U+007F included, by answering false: `debase` turns that into none.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace xol::base_encoding {

enum Base : int32_t { BASE_2 = 2, BASE_16 = 16, BASE_58 = 58, BASE_64 = 64 };

// True for the four bases above.
bool is_base(int32_t base);

// Decodes `count` units of width `unit` (1, 2 or 4) into a new binary! in *result; false when
// the text is not valid in the base.
bool decode(Base base, const uint8_t* units, uint32_t unit, uint32_t count, Cell* result);

// `enbase`: a new string! holding the text of a binary's bytes from its head (or of a text's
// UTF-8).
Cell encode_value(const Cell* value, Base base);
// `debase`: the bytes of a text from its head, or false.
bool decode_value(const Cell* text, Base base, Cell* result);

}  // namespace xol::base_encoding
