// The integer map: sizing, replacement, deletion and growth under churn.
#include "runtime/tables/int_map.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "runtime/tables/murmur3.h"

namespace xol {
namespace {

struct MapHolder {
  intmap::IntMap* map;
  explicit MapHolder(uint32_t size) : map(intmap::make(size)) {}
  ~MapHolder() { intmap::free(map); }
};

TEST(IntMapTest, SizingAtCreation) {
  const uint32_t cases[][3] = {  // request, buckets, upper bound
      {0, 8, 6}, {3, 8, 6}, {4, 8, 6}, {7, 16, 12}, {20000, 32768, 25231}};
  for (auto [request, n, upper] : cases) {
    MapHolder h(request);
    EXPECT_EQ(h.map->size, n) << request;
    EXPECT_EQ(h.map->upper, upper) << request;
  }
}

TEST(IntMapTest, PutReplacesAnExistingValue) {
  MapHolder h(4);
  intmap::put(h.map, 5, 1);
  intmap::put(h.map, 5, 2);
  ASSERT_NE(intmap::get(h.map, 5), nullptr);
  EXPECT_EQ(*intmap::get(h.map, 5), 2u);
  EXPECT_EQ(h.map->count, 1u);
  EXPECT_EQ(h.map->used, 1u);
}

TEST(IntMapTest, AbsentKeys) {
  MapHolder h(4);
  intmap::put(h.map, 1, 10);
  EXPECT_EQ(intmap::find(h.map, 2), -1);
  EXPECT_EQ(intmap::get(h.map, 2), nullptr);
  intmap::delete_key(h.map, 2);
  EXPECT_EQ(h.map->count, 1u);
}

TEST(IntMapTest, ResizeAfterDeletionsRebuildsAtTheSameSize) {
  MapHolder h(4);  // 8 buckets, upper 6
  for (uint32_t k = 1; k <= 6; ++k) intmap::put(h.map, k, k * 10);
  for (uint32_t k = 1; k <= 5; ++k) intmap::delete_key(h.map, k);
  EXPECT_EQ(h.map->used, 6u);
  intmap::put(h.map, 100, 1000);  // used reached upper with 2 x count < n
  EXPECT_EQ(h.map->size, 8u);
  EXPECT_EQ(h.map->used, 2u);
  EXPECT_EQ(h.map->count, 2u);
  EXPECT_EQ(*intmap::get(h.map, 6), 60u);
  EXPECT_EQ(*intmap::get(h.map, 100), 1000u);
}

TEST(IntMapTest, GrowsWhenMostKeysAreLive) {
  MapHolder h(4);
  for (uint32_t k = 1; k <= 7; ++k) intmap::put(h.map, k, k);
  EXPECT_EQ(h.map->size, 16u);
  EXPECT_EQ(h.map->upper, 12u);  // rounded after a resize: 16 x 0.77 + 0.5
  for (uint32_t k = 1; k <= 7; ++k) EXPECT_EQ(*intmap::get(h.map, k), k);
}

// Deleting the pair just visited leaves the walk on course: every pair is seen once.
TEST(IntMapTest, DeletingDuringIterationVisitsEachPairOnce) {
  MapHolder h(64);
  std::map<uint32_t, uint32_t> reference;
  for (uint32_t k = 0; k < 40; ++k) {
    intmap::put(h.map, k << 16, k);
    reference[k << 16] = k;
  }
  std::map<uint32_t, uint32_t> seen;
  for (const intmap::Pair* p = intmap::next(h.map, nullptr); p; p = intmap::next(h.map, p)) {
    EXPECT_TRUE(seen.emplace(p->key, p->value).second) << p->key;
    intmap::delete_key(h.map, p->key);
  }
  EXPECT_EQ(seen, reference);
  EXPECT_EQ(h.map->count, 0u);
}

// Keys whose hashes all start their probe at one bucket: deleting from the middle of the chain
// keeps the keys behind it reachable, and a re-inserted key finds its way back.
TEST(IntMapTest, CollidingKeysSurviveDeletionsInTheirChain) {
  MapHolder h(20);  // 32 buckets
  std::vector<uint32_t> chain;
  const uint32_t start = hash::fmix32(1) & (h.map->size - 1);
  for (uint32_t key = 1; chain.size() < 8; ++key)
    if ((hash::fmix32(key) & (h.map->size - 1)) == start) chain.push_back(key);
  for (uint32_t i = 0; i < chain.size(); ++i) intmap::put(h.map, chain[i], i);
  for (uint32_t i = 1; i < chain.size(); i += 2) intmap::delete_key(h.map, chain[i]);
  for (uint32_t i = 0; i < chain.size(); ++i) {
    if (i % 2) EXPECT_EQ(intmap::get(h.map, chain[i]), nullptr) << i;
    else EXPECT_EQ(*intmap::get(h.map, chain[i]), i) << i;
  }
  intmap::put(h.map, chain[3], 33);
  intmap::put(h.map, chain[4], 44);  // present behind a deleted bucket: replaced, not doubled
  EXPECT_EQ(*intmap::get(h.map, chain[3]), 33u);
  EXPECT_EQ(*intmap::get(h.map, chain[4]), 44u);
  EXPECT_EQ(h.map->count, 5u);
}

// Random puts and deletes against std::map, through growth, shrinking requests and reuse of
// deleted buckets; iteration must visit exactly the live pairs.
TEST(IntMapTest, AgreesWithAReferenceUnderChurn) {
  MapHolder h(4);
  std::map<uint32_t, uint32_t> reference;
  std::mt19937 random(7);
  for (int step = 0; step < 20000; ++step) {
    uint32_t key = random() % 500 * 0x10001;  // spread keys, many repeats
    if (random() % 3 == 0) {
      intmap::delete_key(h.map, key);
      reference.erase(key);
    } else {
      intmap::put(h.map, key, uint32_t(step));
      reference[key] = uint32_t(step);
    }
    ASSERT_LT(h.map->used, h.map->size);
  }
  EXPECT_EQ(h.map->count, reference.size());
  std::map<uint32_t, uint32_t> seen;
  for (const intmap::Pair* p = intmap::next(h.map, nullptr); p; p = intmap::next(h.map, p))
    seen[p->key] = p->value;
  EXPECT_EQ(seen, reference);
  intmap::resize(h.map, 4);  // too small for the live keys: nothing happens
  EXPECT_EQ(h.map->count, reference.size());
  intmap::clear(h.map);
  EXPECT_EQ(intmap::next(h.map, nullptr), nullptr);
  EXPECT_EQ(h.map->count, 0u);
}

}  // namespace
}  // namespace xol
