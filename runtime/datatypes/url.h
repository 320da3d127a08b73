// url!: a URL held as text, child of string!, and the percent-encoding that url!, file!, the
// `enhex` and `dehex` natives and the lexer share.
//
// Two tables of the 128 ASCII bytes say which bytes are written as themselves; every other
// byte, and every byte of 128 or more, is written "%" and two upper-case hexadecimal digits.
// The URL set keeps only RFC 3986's unreserved characters; the file set also keeps the
// punctuation that paths and URLs use (/ : ? # @ and the like); mold uses it less "(" and ")",
// which end a url! token.
// Decoding turns %XX back into bytes and reads a run of escaped bytes that forms one UTF-8
// sequence as that character; anything else stays literal.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"

namespace xol::url {

enum Selector : int32_t { SELECTOR_URL = 254, SELECTOR_FILE = 255 };

// True when the byte is written as itself under the selector's table.
bool keeps(Selector selector, uint8_t byte);
// The escape "%XX" of the byte, written at `out`; answers its length, 3.
int escape_byte(uint8_t byte, char* out);
// Appends the source's text, percent-decoded, to the target string.
void decode_percent(const Cell* source, Cell* target);
// Appends the source's UTF-8 bytes to the target string, each as itself or escaped.
void encode_percent(const Cell* source, Cell* target, Selector selector);

// Raises internal `not-done` when a refinement the port-like actions do not support was used.
void refuse(const Cell* refinement);

// ---- actions ----
void to(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);

// Registers url! (id 9, parent string!).
void init();

}  // namespace xol::url
