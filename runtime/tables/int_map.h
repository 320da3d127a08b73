// The integer map: 32-bit keys to 32-bit values, entirely in the tracked heap.
//
// It lives outside the series frames, so it stays usable while the collector is moving
// buffers (a relocation map is its intended use). It shares the hash tables' bucket scheme
// (two flag bits per bucket, triangular probing, a load below 0.77) but keeps its keys and
// values itself, as pairs in bucket order. Keys hash through MurmurHash3's finaliser.
#pragma once

#include <cstdint>

namespace xol::intmap {

struct Pair {
  uint32_t key;
  uint32_t value;
};

struct IntMap {
  uint32_t count;    // live keys
  uint32_t* flags;   // two bits per bucket
  Pair* pairs;       // one pair per bucket
  uint32_t used;     // buckets in use or deleted
  uint32_t size;     // bucket count, a power of two, at least 4
  uint32_t upper;    // used may reach this before the map grows
};

// A map with room for `size` keys before it grows.
IntMap* make(uint32_t size);
// Adds the key, or replaces its value.
void put(IntMap* map, uint32_t key, uint32_t value);
// The key's bucket, or -1.
int32_t find(const IntMap* map, uint32_t key);
// The key's value word, or nullptr; valid until the next put or resize.
uint32_t* get(IntMap* map, uint32_t key);
// Removes the key; nothing when it is absent.
void delete_key(IntMap* map, uint32_t key);
// The next pair in use after `from` in bucket order (the first with nullptr), or nullptr.
const Pair* next(const IntMap* map, const Pair* from);
// Rebuilds at the bucket count that request `m` rounds to; nothing when the live keys would
// not fit under the new upper bound.
void resize(IntMap* map, uint32_t m);
void clear(IntMap* map);
// Frees the map (nothing for nullptr).
void free(IntMap* map);

}  // namespace xol::intmap
