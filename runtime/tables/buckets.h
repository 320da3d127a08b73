// The bucket scheme shared by the hash tables and the integer map.
//
// Buckets are open-addressed. Each has two flag bits, sixteen buckets to a 32-bit word: 2
// empty, 1 deleted, 0 in use, so a fresh flags array is all bytes 0xAA. A probe visits bucket
// h, then h + 1, h + 3, h + 6, ... (the i-th step adds i) modulo the bucket count, a power of
// two: these triangular offsets visit every bucket within n steps and come back to h after
// 2n - 1. Tables stay below a load of 0.77, counting deleted buckets, so a probe always meets
// an empty bucket. Growing rehashes in place: entries are moved to their new buckets inside
// the same array, an entry that lands on one not yet moved trading places with it.
#pragma once

#include <cstdint>
#include <utility>

#include "runtime/tables/murmur3.h"

namespace xol::buckets {

enum BucketState : uint32_t { IN_USE = 0, DELETED = 1, EMPTY = 2 };

constexpr double kMaxLoad = 0.77;
constexpr uint32_t kMinBuckets = 4;
constexpr uint8_t kAllEmptyByte = 0xAA;   // four empty buckets
constexpr uint32_t kBucketsPerWord = 16;
constexpr uint32_t kFlagBits = 2;
constexpr uint32_t kFlagMask = 3;

// Bucket count for a table made to hold `keys` keys.
inline uint32_t count_for(uint32_t keys) {
  if (keys < kMinBuckets) keys = kMinBuckets;
  return hash::round_pow2(static_cast<uint32_t>(keys / kMaxLoad));
}
// Upper bound of used buckets for a new table, and after a resize (rounded there).
inline uint32_t upper_at_creation(uint32_t n) { return static_cast<uint32_t>(n * kMaxLoad); }
inline uint32_t upper_after_resize(uint32_t n) {
  return static_cast<uint32_t>(n * kMaxLoad + 0.5);
}
// Bucket count that a resize request `m` asks for.
inline uint32_t count_for_request(uint32_t m) {
  uint32_t n = hash::round_pow2(m);
  return n < kMinBuckets ? kMinBuckets : n;
}
// The request that growth makes: the same size (dropping deleted buckets) while fewer than
// half the buckets hold live keys, else the next power of two.
inline uint32_t growth_request(uint32_t count, uint32_t n) {
  return 2 * count < n ? n - 1 : n + 1;
}

// Bytes of a flags array for n buckets: n / 4, at least one whole word.
inline uint32_t flags_bytes(uint32_t n) { return n / 4 < 4 ? 4 : n / 4; }

inline BucketState state(const uint32_t* flags, uint32_t i) {
  return BucketState((flags[i / kBucketsPerWord] >> (kFlagBits * (i % kBucketsPerWord))) &
                     kFlagMask);
}
inline void set_state(uint32_t* flags, uint32_t i, BucketState s) {
  uint32_t shift = kFlagBits * (i % kBucketsPerWord);
  uint32_t& word = flags[i / kBucketsPerWord];
  word = (word & ~(kFlagMask << shift)) | (uint32_t(s) << shift);
}

// A probe sequence over n buckets (n a power of two) from a hash.
class Probe {
 public:
  Probe(uint32_t hash, uint32_t n) : mask_(n - 1), first_(hash & mask_), bucket_(first_) {}
  uint32_t bucket() const { return bucket_; }
  // Moves to the next bucket; false once the probe is back at its first bucket.
  bool advance() {
    bucket_ = (bucket_ + ++step_) & mask_;
    return bucket_ != first_;
  }

 private:
  uint32_t mask_;
  uint32_t first_;
  uint32_t bucket_;
  uint32_t step_ = 0;
};

// The first empty bucket of the probe sequence of `hash`.
inline uint32_t first_empty(const uint32_t* flags, uint32_t hash, uint32_t n) {
  Probe probe(hash, n);
  while (state(flags, probe.bucket()) != EMPTY) probe.advance();
  return probe.bucket();
}

// Where a probe for a key ends: the key's bucket when `found`, else the bucket that a new key
// takes (the last deleted bucket passed, else the empty bucket that ended the probe).
struct Slot {
  uint32_t bucket;
  bool found;
};
// Probes from `hash`; `matches(bucket)` tells whether an in-use bucket holds the key.
template <class Matches>
Slot find_slot(const uint32_t* flags, uint32_t n, uint32_t hash, Matches&& matches) {
  Probe probe(hash, n);
  int64_t deleted = -1;
  for (;;) {
    uint32_t b = probe.bucket();
    BucketState s = state(flags, b);
    if (s == EMPTY) break;
    if (s == DELETED) deleted = b;
    else if (matches(b)) return Slot{b, true};
    if (!probe.advance()) break;  // back at the start: only below the load bound never
  }
  return Slot{deleted >= 0 ? uint32_t(deleted) : probe.bucket(), false};
}

// Moves every in-use entry of `entries` (old_n buckets described by `old_flags`) to its bucket
// among new_n buckets, within the same array, which must already hold max(old_n, new_n)
// entries. `new_flags` starts all empty and ends describing the new placement; `old_flags` is
// consumed. `hash_of(entry)` gives an entry's hash. Answers the number of entries placed.
template <class Entry, class HashOf>
uint32_t rehash_in_place(Entry* entries, uint32_t* old_flags, uint32_t old_n,
                         uint32_t* new_flags, uint32_t new_n, HashOf&& hash_of) {
  uint32_t placed = 0;
  for (uint32_t j = 0; j < old_n; ++j) {
    if (state(old_flags, j) != IN_USE) continue;
    Entry moving = entries[j];
    set_state(old_flags, j, DELETED);  // taken out: no longer waits to be moved
    for (;;) {
      uint32_t k = first_empty(new_flags, hash_of(moving), new_n);
      set_state(new_flags, k, IN_USE);
      ++placed;
      if (k < old_n && state(old_flags, k) == IN_USE) {
        std::swap(moving, entries[k]);
        set_state(old_flags, k, DELETED);
      } else {
        entries[k] = moving;
        break;
      }
    }
  }
  return placed;
}

}  // namespace xol::buckets
