// The two sorts: exact orders of equal elements, agreement with reference sorts on inputs full
// of ties, element sizes, comparators that throw, and series buffers that move mid-sort.
#include "runtime/tables/sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "runtime/memory/collector.h"
#include "runtime/datatypes/error_raise.h"

namespace xol {
namespace {

// A record sorted by key; the tag tells equal keys apart.
struct Record {
  uint32_t key;
  uint32_t tag;
  bool operator==(const Record&) const = default;
};

// What the comparators see of the test: a count of calls, and a point at which to throw.
struct Calls {
  uint64_t count = 0;
  uint64_t throw_at = UINT64_MAX;
  void (*on_call)(uint64_t) = nullptr;
};
Calls calls;

void count_call() {
  if (++calls.count == calls.throw_at) error::raise(error::CAT_USER, "message");
  if (calls.on_call) calls.on_call(calls.count);
}

int32_t by_key(const void* a, const void* b, uint32_t, uint32_t) {
  uint32_t x = static_cast<const Record*>(a)->key, y = static_cast<const Record*>(b)->key;
  count_call();
  return (x > y) - (x < y);
}

// Keys that the op reverses: the op and flags reach the comparator unchanged.
constexpr uint32_t kReverseOp = 7;
constexpr uint32_t kReverseFlags = 0x5A5A;
int32_t by_key_with_op(const void* a, const void* b, uint32_t op, uint32_t flags) {
  EXPECT_EQ(op, kReverseOp);
  EXPECT_EQ(flags, kReverseFlags);
  return -by_key(a, b, 0, 0);
}

using SortFn = void (*)(sort::Target, uint32_t, uint32_t, uint32_t, uint32_t, sort::Compare);

class SortTest : public ::testing::Test {
 protected:
  void SetUp() override { calls = Calls{}; }
  void TearDown() override { calls = Calls{}; }

  static void run(SortFn fn, std::vector<Record>& v, sort::Compare compare = by_key) {
    fn(sort::Target::at(v.data()), uint32_t(v.size()), sizeof(Record), 0, 0, compare);
  }
  // Records from "key tag" letters: "2z1x1y" is keys 2, 1, 1 tagged z, x, y.
  static std::vector<Record> records(const std::string& text) {
    std::vector<Record> v;
    for (size_t i = 0; i + 1 < text.size(); i += 2) v.push_back({uint32_t(text[i] - '0'), uint32_t(text[i + 1])});
    return v;
  }
  static std::string tags(const std::vector<Record>& v) {
    std::string s;
    for (const Record& r : v) s += char(r.tag);
    return s;
  }
  static std::vector<Record> random_records(uint32_t n, uint32_t distinct_keys, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<Record> v(n);
    for (uint32_t i = 0; i < n; ++i) v[i] = {uint32_t(random() % distinct_keys), i};
    return v;
  }
  static bool same_records(std::vector<Record> a, std::vector<Record> b) {
    auto by_tag = [](const Record& x, const Record& y) { return x.tag < y.tag; };
    std::sort(a.begin(), a.end(), by_tag);
    std::sort(b.begin(), b.end(), by_tag);
    return a == b;
  }
  static bool sorted_by_key(const std::vector<Record>& v) {
    return std::is_sorted(v.begin(), v.end(), [](const Record& x, const Record& y) { return x.key < y.key; });
  }
};

// Inputs whose order of equal keys follows from the default sort's steps, worked by hand.
TEST_F(SortTest, DefaultSortOrdersEqualKeysAsItsStepsSay) {
  struct Case {
    const char* input;
    const char* expected_tags;
  } cases[] = {
      {"1x1y2z", "xyz"},            // already non-descending: untouched
      {"2z1x1y", "yxz"},            // a non-ascending prefix is reversed whole
      {"2b2B1a1A", "AaBb"},         // caseless keys: the same reversal
      {"3a1b1c2d0e", "ecbda"},      // descending prefix reversed, then straight insertion
      {"2a1b3c1d2e0f2g1h3i", "fbhdaegci"},  // one partition round about a sampled pivot
      // A long ordered prefix, a stray element and a run that is moved into the prefix after
      // pushing back one prefix element; then partitions seeded from the known runs.
      {"0p1q2r3s4t5u6v7w8x6b5A7B9C:D;E<F=G>H?I@J", "pqrstAubvwBxCDEFGHIJ"},
  };
  for (const Case& c : cases) {
    std::vector<Record> v = records(c.input);
    run(sort::unstable, v);
    EXPECT_EQ(tags(v), c.expected_tags) << c.input;
  }
}

TEST_F(SortTest, StableSortKeepsEqualKeysInInputOrder) {
  struct Case {
    const char* input;
    const char* expected_tags;
  } cases[] = {
      {"2z1x1y", "xyz"},
      {"2b2B1a1A", "aAbB"},
      {"3a2b1c0d", "dcba"},          // strictly descending: one run, reversed
      {"1a1b1c1d1e", "abcde"},       // all equal
      {"1a0b1c0d1e0f", "bdface"},
  };
  for (const Case& c : cases) {
    std::vector<Record> v = records(c.input);
    run(sort::stable, v);
    EXPECT_EQ(tags(v), c.expected_tags) << c.input;
  }
}

TEST_F(SortTest, EmptyAndSingleArraysAreLeftAlone) {
  for (SortFn fn : {sort::stable, sort::unstable}) {
    std::vector<Record> one = {{5, 1}};
    fn(sort::Target::at(nullptr), 0, sizeof(Record), 0, 0, by_key);
    run(fn, one);
    EXPECT_EQ(one[0], (Record{5, 1}));
    EXPECT_EQ(calls.count, 0u);
  }
}

TEST_F(SortTest, StableSortTakesAStrictlyDescendingArrayAsOneRun) {
  std::vector<Record> v;
  for (uint32_t i = 0; i < 1000; ++i) v.push_back({1000 - i, i});
  run(sort::stable, v);
  EXPECT_TRUE(sorted_by_key(v));
  EXPECT_EQ(calls.count, 999u);  // one scan, no merge
}

TEST_F(SortTest, StableSortAgreesWithStdStableSort) {
  const uint32_t sizes[] = {2, 23, 24, 25, 48, 49, 100, 1000, 10000};
  const uint32_t key_ranges[] = {1, 2, 10, 1000};
  for (uint32_t n : sizes)
    for (uint32_t keys : key_ranges) {
      std::vector<Record> v = random_records(n, keys, n * 31 + keys);
      std::vector<Record> expected = v;
      std::stable_sort(expected.begin(), expected.end(),
                       [](const Record& x, const Record& y) { return x.key < y.key; });
      run(sort::stable, v);
      EXPECT_EQ(v, expected) << n << " elements, " << keys << " keys";
    }
}

// Random, nearly ordered and nearly reversed inputs with many ties: the default sort must
// answer a sorted permutation of its input.
TEST_F(SortTest, DefaultSortAnswersASortedPermutation) {
  const uint32_t sizes[] = {2, 3, 7, 8, 9, 63, 64, 200, 511, 512, 600, 5000, 40000};
  const uint32_t key_ranges[] = {2, 10, 1000};
  enum Shape { RANDOM, NEARLY_ASCENDING, NEARLY_DESCENDING, SAWTOOTH };
  for (uint32_t n : sizes)
    for (uint32_t keys : key_ranges)
      for (Shape shape : {RANDOM, NEARLY_ASCENDING, NEARLY_DESCENDING, SAWTOOTH}) {
        std::vector<Record> v = random_records(n, keys, n + keys * 7 + shape);
        std::mt19937 random(n ^ keys);
        auto key_less = [](const Record& x, const Record& y) { return x.key < y.key; };
        if (shape == NEARLY_ASCENDING || shape == NEARLY_DESCENDING) {
          std::stable_sort(v.begin(), v.end(), key_less);
          if (shape == NEARLY_DESCENDING) std::reverse(v.begin(), v.end());
          for (uint32_t i = 0; i < n / 20 + 1; ++i) std::swap(v[random() % n], v[random() % n]);
        } else if (shape == SAWTOOTH) {
          for (uint32_t i = 0; i < n; ++i) v[i].key = (i % 37) * keys / 37;
        }
        std::vector<Record> input = v;
        run(sort::unstable, v);
        EXPECT_TRUE(sorted_by_key(v)) << n << " elements, " << keys << " keys, shape " << shape;
        EXPECT_TRUE(same_records(v, input)) << n << " elements, " << keys << " keys, shape " << shape;
      }
}

TEST_F(SortTest, OpAndFlagsReachTheComparator) {
  for (SortFn fn : {sort::stable, sort::unstable}) {
    std::vector<Record> v = random_records(300, 50, 3);
    fn(sort::Target::at(v.data()), uint32_t(v.size()), sizeof(Record), kReverseOp, kReverseFlags,
       by_key_with_op);
    EXPECT_TRUE(std::is_sorted(v.begin(), v.end(),
                               [](const Record& x, const Record& y) { return x.key > y.key; }));
  }
}

// Three-byte elements are exchanged byte by byte; 32-byte ones (two cells) word by word.
int32_t by_first_byte(const void* a, const void* b, uint32_t, uint32_t) {
  return int32_t(*static_cast<const uint8_t*>(a)) - int32_t(*static_cast<const uint8_t*>(b));
}

TEST_F(SortTest, ElementSizesThatAreAndAreNotWordMultiples) {
  for (uint32_t size : {3u, 32u}) {
    for (SortFn fn : {sort::stable, sort::unstable}) {
      for (uint32_t n : {5u, 300u}) {
        std::vector<uint8_t> bytes(n * size);
        std::mt19937 random(size + n);
        for (uint32_t i = 0; i < n; ++i) {
          bytes[i * size] = uint8_t(random() % 8);
          for (uint32_t b = 1; b < size; ++b) bytes[i * size + b] = uint8_t(i * 7 + b);
        }
        std::vector<std::string> before;
        for (uint32_t i = 0; i < n; ++i) before.emplace_back(reinterpret_cast<char*>(&bytes[i * size]), size);
        fn(sort::Target::at(bytes.data()), n, size, 0, 0, by_first_byte);
        std::vector<std::string> after;
        for (uint32_t i = 0; i < n; ++i) after.emplace_back(reinterpret_cast<char*>(&bytes[i * size]), size);
        EXPECT_TRUE(std::is_sorted(after.begin(), after.end(),
                                   [](const std::string& x, const std::string& y) { return x[0] < y[0]; }))
            << size << " bytes, " << n << " elements";
        std::sort(before.begin(), before.end());
        std::sort(after.begin(), after.end());
        EXPECT_EQ(after, before) << size << " bytes, " << n << " elements";
      }
    }
  }
}

// A comparator that raises an error part-way leaves every element present exactly once, in
// both sorts and at every stage (run finding, insertion, merging from either end).
TEST_F(SortTest, AComparatorThatThrowsLeavesAPermutation) {
  for (SortFn fn : {sort::stable, sort::unstable}) {
    for (uint32_t n : {30u, 1000u}) {
      const std::vector<Record> input = random_records(n, 20, n);
      calls = Calls{};
      std::vector<Record> probe = input;
      run(fn, probe);
      uint64_t total = calls.count;
      for (uint64_t at = 1; at < total; at += std::max<uint64_t>(1, total / 97)) {
        std::vector<Record> v = input;
        calls = Calls{};
        calls.throw_at = at;
        EXPECT_THROW(run(fn, v), error::Raised);
        EXPECT_TRUE(same_records(v, input)) << n << " elements, thrown at comparison " << at;
      }
    }
  }
}

TEST_F(SortTest, AThrownCodeUnwindsTheSameWay) {
  std::vector<Record> input = random_records(500, 5, 9);
  std::vector<Record> v = input;
  calls.on_call = [](uint64_t count) {
    if (count == 1500) rt::throw_code(rt::THROWN_BREAK);
  };
  EXPECT_THROW(run(sort::stable, v), rt::Thrown);
  EXPECT_TRUE(same_records(v, input));
}

TEST_F(SortTest, TooLongScratchIsRefusedBeforeAnythingMoves) {
  try {
    sort::stable(sort::Target::at(nullptr), 0x10000000, 16, 0, 0, by_key);
    ADD_FAILURE() << "no error";
  } catch (const error::Raised& e) {
    EXPECT_EQ(e.category, error::CAT_SCRIPT);
    EXPECT_STREQ(e.id, "too-long");
  }
  EXPECT_EQ(calls.count, 0u);
}

// A comparator that contradicts itself (a user's compare function may) never makes either
// sort touch memory outside the array or lose an element. The default sort's near-order pass
// must not let a probed run absorb the sorted prefix's last element: with answers like these
// that would claim one position too many for the prefix.
std::mt19937 coin;
int32_t coin_toss(const void*, const void*, uint32_t, uint32_t) { return int32_t(coin() % 3) - 1; }

TEST_F(SortTest, AnInconsistentComparatorStaysInsideTheArray) {
  constexpr int kGuard = 8;
  constexpr uint32_t kGuardValue = 0xDEAD;
  for (SortFn fn : {sort::unstable, sort::stable}) {
    coin.seed(5);
    for (int trial = 0; trial < 3000; ++trial) {
      uint32_t n = 12 + coin() % 12;
      std::vector<Record> v(n + kGuard, Record{kGuardValue, kGuardValue});
      for (uint32_t i = 0; i < n; ++i) v[i] = {i, i};
      const std::vector<Record> input(v.begin(), v.begin() + n);
      fn(sort::Target::at(v.data()), n, sizeof(Record), 0, 0, coin_toss);
      ASSERT_TRUE(same_records({v.begin(), v.begin() + n}, input)) << "trial " << trial;
      for (int g = 0; g < kGuard; ++g) ASSERT_EQ(v[n + g].key, kGuardValue) << "trial " << trial;
    }
  }
}

// Elements in a series buffer that moves while the sort runs (here the comparator grows the
// series, as evaluated code may): the sort follows the node and ends in the current buffer.
class SortSeriesTest : public SortTest {
 protected:
  void SetUp() override {
    SortTest::SetUp();
    collector::active = false;
    memory::init();
  }
  void TearDown() override {
    memory::free_all_frames();
    SortTest::TearDown();
  }
  static NodeId sorted_node;
  static uint64_t fail_at;
  static void grow() { memory::grow_series(memory::buffer_of(sorted_node), 0); }
  static void grow_now_and_then(uint64_t count) {
    if (count % 200 == 0 && count <= 1000) grow();
  }
  static void grow_and_fail(uint64_t count) {
    if (count != fail_at) return;
    grow();
    error::raise(error::CAT_USER, "message");
  }
  // A new series holding `head` records of 0xEE bytes and then the input: sorted_node.
  static void make_sorted_node(const std::vector<Record>& input, uint32_t head) {
    uint32_t total = uint32_t(input.size()) + head;
    sorted_node = memory::alloc_bytes(total * sizeof(Record));
    uint8_t* data = memory::buffer_of(sorted_node)->data();
    std::memset(data, 0xEE, head * sizeof(Record));
    std::memcpy(data + head * sizeof(Record), input.data(), input.size() * sizeof(Record));
    memory::buffer_of(sorted_node)->tail = total * sizeof(Record);
  }
  // The n records of sorted_node after its `head` ones, in its buffer of now.
  static std::vector<Record> sorted_records(uint32_t head, size_t n) {
    std::vector<Record> v(n);
    std::memcpy(v.data(), memory::buffer_of(sorted_node)->data() + head * sizeof(Record),
                n * sizeof(Record));
    return v;
  }
};
NodeId SortSeriesTest::sorted_node = kNoNode;
uint64_t SortSeriesTest::fail_at = 0;

TEST_F(SortSeriesTest, SortFollowsABufferThatMoves) {
  constexpr uint32_t kHeadRecords = 3;  // the sorted part starts past the buffer's head
  for (SortFn fn : {sort::stable, sort::unstable}) {
    std::vector<Record> input = random_records(700, 30, 5);
    make_sorted_node(input, kHeadRecords);
    memory::SeriesBuffer* first = memory::buffer_of(sorted_node);
    calls = Calls{};
    calls.on_call = grow_now_and_then;
    fn(sort::Target::in_series(sorted_node, kHeadRecords * sizeof(Record)), uint32_t(input.size()),
       sizeof(Record), 0, 0, by_key);
    ASSERT_NE(memory::buffer_of(sorted_node), first);
    const uint8_t* data = memory::buffer_of(sorted_node)->data();
    for (uint32_t b = 0; b < kHeadRecords * sizeof(Record); ++b) ASSERT_EQ(data[b], 0xEE);
    std::vector<Record> v = sorted_records(kHeadRecords, input.size());
    EXPECT_TRUE(sorted_by_key(v));
    EXPECT_TRUE(same_records(v, input));
  }
}

// A comparison that moves the buffer and then fails mid-merge: the stable sort puts the
// elements it held aside back into the buffer where it is now, not where it was.
TEST_F(SortSeriesTest, AComparisonThatMovesTheBufferAndFailsLeavesAPermutation) {
  const std::vector<Record> input = random_records(300, 20, 8);
  std::vector<Record> probe = input;
  run(sort::stable, probe);
  const uint64_t total = calls.count;
  for (uint64_t at = 1; at < total; at += std::max<uint64_t>(1, total / 61)) {
    make_sorted_node(input, 0);
    calls = Calls{};
    fail_at = at;
    calls.on_call = grow_and_fail;
    EXPECT_THROW(sort::stable(sort::Target::in_series(sorted_node, 0), uint32_t(input.size()),
                              sizeof(Record), 0, 0, by_key),
                 error::Raised);
    EXPECT_TRUE(same_records(sorted_records(0, input.size()), input)) << "failed at " << at;
  }
}

}  // namespace
}  // namespace xol
