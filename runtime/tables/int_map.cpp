// The integer map: the bucket scheme of the hash tables over pairs held in the tracked heap.
#include "runtime/tables/int_map.h"

#include <cstring>

#include "runtime/tables/buckets.h"
#include "runtime/process/tracked_heap.h"

namespace xol::intmap {

namespace {

uint32_t* new_flags(uint32_t n) {
  auto* flags = static_cast<uint32_t*>(rt::allocate(buckets::flags_bytes(n)));
  std::memset(flags, buckets::kAllEmptyByte, buckets::flags_bytes(n));
  return flags;
}

uint32_t hash_of(uint32_t key) { return hash::fmix32(key); }

}  // namespace

IntMap* make(uint32_t size) {
  auto* map = static_cast<IntMap*>(rt::allocate_zeroed(sizeof(IntMap)));
  map->size = buckets::count_for(size);
  map->upper = buckets::upper_at_creation(map->size);
  map->flags = new_flags(map->size);
  map->pairs = static_cast<Pair*>(rt::allocate(map->size * sizeof(Pair)));
  return map;
}

namespace {

buckets::Slot slot_of(const IntMap* map, uint32_t key) {
  return buckets::find_slot(map->flags, map->size, hash_of(key),
                            [&](uint32_t b) { return map->pairs[b].key == key; });
}

}  // namespace

int32_t find(const IntMap* map, uint32_t key) {
  buckets::Slot slot = slot_of(map, key);
  return slot.found ? int32_t(slot.bucket) : -1;
}

uint32_t* get(IntMap* map, uint32_t key) {
  int32_t b = find(map, key);
  return b < 0 ? nullptr : &map->pairs[b].value;
}

void put(IntMap* map, uint32_t key, uint32_t value) {
  if (map->used >= map->upper) resize(map, buckets::growth_request(map->count, map->size));
  buckets::Slot slot = slot_of(map, key);
  if (!slot.found) {
    if (buckets::state(map->flags, slot.bucket) == buckets::EMPTY) ++map->used;
    buckets::set_state(map->flags, slot.bucket, buckets::IN_USE);
    ++map->count;
    map->pairs[slot.bucket].key = key;
  }
  map->pairs[slot.bucket].value = value;
}

void delete_key(IntMap* map, uint32_t key) {
  int32_t b = find(map, key);
  if (b < 0) return;
  buckets::set_state(map->flags, uint32_t(b), buckets::DELETED);
  --map->count;
}

const Pair* next(const IntMap* map, const Pair* from) {
  uint32_t b = from ? uint32_t(from - map->pairs) + 1 : 0;
  for (; b < map->size; ++b)
    if (buckets::state(map->flags, b) == buckets::IN_USE) return &map->pairs[b];
  return nullptr;
}

void resize(IntMap* map, uint32_t m) {
  uint32_t n = buckets::count_for_request(m);
  uint32_t upper = buckets::upper_after_resize(n);
  if (map->count >= upper) return;
  uint32_t* flags = new_flags(n);
  if (n > map->size) map->pairs = static_cast<Pair*>(rt::resize(map->pairs, n * sizeof(Pair)));
  buckets::rehash_in_place(map->pairs, map->flags, map->size, flags, n,
                           [](const Pair& p) { return hash_of(p.key); });
  if (n < map->size) map->pairs = static_cast<Pair*>(rt::resize(map->pairs, n * sizeof(Pair)));
  rt::free(map->flags);
  map->flags = flags;
  map->size = n;
  map->upper = upper;
  map->used = map->count;
}

void clear(IntMap* map) {
  std::memset(map->flags, buckets::kAllEmptyByte, buckets::flags_bytes(map->size));
  map->count = 0;
  map->used = 0;
}

void free(IntMap* map) {
  if (!map) return;
  rt::free(map->flags);
  rt::free(map->pairs);
  rt::free(map);
}

}  // namespace xol::intmap
