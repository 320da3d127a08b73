// The work of `compress` and `decompress`: method words, the compressors of deflate.h and the
// inflate decoders, with the output made as a new binary!.
//
// A method is named by one of the words `zlib`, `deflate` and `gzip`, made at start-up and
// compared by canonical symbol. Decoding never trusts a size the data claims: the output grows
// as bytes arrive and stops at a limit (the caller's, or `default_limit` of the input), and
// every failure of any kind is the script error `invalid-data`.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::compression {

enum Method : int32_t { METHOD_ZLIB, METHOD_DEFLATE, METHOD_GZIP };
constexpr int32_t kMethodCount = METHOD_GZIP + 1;

// Makes the method words.
void init_methods();
// The method a word names, or -1 (also for a value that is not a word).
int32_t method_of(const Cell* word);

// The compressed form of `length` bytes, as a new binary!.
Cell compress(const uint8_t* bytes, uint32_t length, Method method);

// The most bytes that decoding `length` bytes may produce when the caller sets no limit: 1 GiB,
// or 1024 times the input when that is less.
uint64_t default_limit(uint32_t length);

// The decoded bytes as a new binary!, at most `limit` of them; raises script `invalid-data`
// with `data` for corrupt input and for output past the limit.
Cell decompress(const uint8_t* bytes, uint32_t length, Method method, uint64_t limit,
                const Cell* data);

}  // namespace xol::compression
