// The LZ codec of packed XOLBIN bodies: a small LZ77 with its own bit-stream container.
//
// Container (32-bit little-endian words): packed size P, unpacked size U, then chunks until P
// bytes after the 8-byte header are used. A chunk is its output length n (1 to 1 MiB) and a bit
// stream, read lowest bit first, of literals (0, then 8 bits) and matches (1, a prefix-coded
// length of 3 to 566 bytes, a 4-bit size class and the offset back from the output position).
// Chunks are independent: no match reaches into an earlier chunk.
//
// The unpacker reads data that may come from anyone: it stays inside the container's bytes,
// refuses a match before its chunk or past its length and a chunk area that does not end on a
// chunk boundary, and grows its output as chunks arrive, never by what U claims, up to a limit.
#pragma once

#include <cstdint>
#include <string>

namespace xol::lz {

// The most bytes a chunk produces.
constexpr uint32_t kChunkSize = 0x100000;
// The container's header: P and U.
constexpr uint32_t kHeaderSize = 8;

// Unpacks the container held in `length` bytes into `out` (replaced); false when it is corrupt,
// when its output would pass U, or when it would pass `limit` bytes.
bool decompress(const uint8_t* container, uint64_t length, uint64_t limit, std::string& out);

// Packs n bytes into `out` (replaced) and answers its size (P + 8); -1, with `out` empty, when
// n is 127 or less or when the packed form would not fit in n - 8 bytes.
int64_t compress(const uint8_t* data, uint32_t n, std::string& out);

}  // namespace xol::lz
