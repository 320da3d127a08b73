// XOLBIN: values as bytes, in a compact byte-oriented encoding (LEB128 and zigzag numbers,
// short forms for small integers and logic values) or a fixed one (every field a 32-bit
// little-endian word).
//
// A stream is "XOLBIN", a version byte, a flags byte (compact, LZ-packed body, symbol table),
// then the body: a root count, the records' length, the symbol table (words are written as
// indexes into it) and the records. A series, object or function met a second time is not
// written again: the record refers to the first copy by its path, the element indexes from
// the root value down to it, so shared and cyclic structures come back shared and cyclic.
//
// Decoding reads data from anyone. Every count is checked against the bytes left before
// anything is allocated for it, a path must lead to a value of the family its record needs,
// and a function's context must be the one its spec makes. A fault is the script error
// `xb-invalid-record` with the 1-based position of the byte at which reading stood; routine!,
// triple!, handle!, port! and event! are refused both ways with access `no-codec`.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace xol::xolbin {

enum StreamFlag : uint8_t {
  STREAM_COMPACT = 1,
  STREAM_LZ = 2,        // the body is an LZ container; read only, never written
  STREAM_SYMBOLS = 4,
};
constexpr size_t kMagicSize = 6;
constexpr size_t kStreamHeaderSize = 8;   // magic, version, flags

// The value as a new binary! stream holding one root value.
Cell encode(const Cell* value, bool compact);

// Appends the stream's root values to `target` (a block). `data` is the value a fault is
// reported with (script `invalid-data` for a wrong magic, a short body or a corrupt LZ body).
void decode(const uint8_t* bytes, size_t length, const Cell* target, const Cell* data);

// The XOLBIN codec's two routines, shaped for the routines table: `encode*` answers the
// stream of `data`; `decode` takes a binary! (10 bytes at least) and answers its one root
// value, or a block of them when there are several.
Cell* encode_routine(Cell* data, bool compact);
Cell* decode_routine(Cell* payload);

}  // namespace xol::xolbin
