// Hash tables: sizing, growth and lookups of word tables (through a test key class), maps'
// removed pairs, and record tables under churn, all against reference containers.
#include "runtime/tables/hash_table.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "runtime/tables/buckets.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/memory.h"
#include "runtime/tables/murmur3.h"

namespace xol {
namespace {

using hashtable::Table;

// Test keys: a cell whose word 1 is an id; ids 2k and 2k + 1 are the two letter cases of one
// name, so op 0 treats them as equal and the strict op does not.
uint32_t canonical(uint32_t id) { return id & ~1u; }
uint32_t test_hash(const Cell* key) { return hash::fmix32(canonical(key->data1)); }
bool test_equal(const Cell* stored, const Cell* sought, uint32_t op) {
  return op == hashtable::kOpStrict ? stored->data1 == sought->data1
                                    : canonical(stored->data1) == canonical(sought->data1);
}
const hashtable::KeyOps kTestOps = {test_hash, test_equal};

class HashTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    collector::active = false;
    memory::init();
    hashtable::set_key_ops(hashtable::KEYS_CONTEXT, &kTestOps);
    hashtable::set_key_ops(hashtable::KEYS_VALUES, &kTestOps);
  }
  void TearDown() override {
    hashtable::set_key_ops(hashtable::KEYS_CONTEXT, nullptr);
    hashtable::set_key_ops(hashtable::KEYS_VALUES, nullptr);
    memory::free_all_frames();
  }

  static Cell key(uint32_t id, TypeId type = TYPE_WORD) { return Cell{type, id, 0, 0}; }
  static const Table& t(NodeId table) { return *hashtable::record(table); }
  // Appends a key to the table's block and puts it; answers what put answers.
  static uint32_t add(NodeId table, uint32_t id, TypeId type = TYPE_WORD) {
    NodeId keys = t(table).keys;
    *buffer::append_unset(keys) = key(id, type);
    return hashtable::put(table, memory::buffer_of(keys)->length() - 1);
  }
  static int32_t find(NodeId table, uint32_t id, uint32_t op, TypeId type = TYPE_WORD) {
    Cell k = key(id, type);
    return hashtable::find(table, &k, op);
  }
  static NodeId words(uint32_t size) {
    return hashtable::make(size, nullptr, hashtable::KIND_WORDS, 0, hashtable::KEYS_CONTEXT);
  }
};

TEST_F(HashTableTest, SizingAtCreation) {
  struct Case {
    uint32_t size;
    hashtable::Kind kind;
    uint32_t buckets, upper;
  } cases[] = {
      {0, hashtable::KIND_WORDS, 8, 6},     {1, hashtable::KIND_WORDS, 8, 6},
      {2, hashtable::KIND_MAP, 8, 6},       {3, hashtable::KIND_RAW, 8, 6},
      {7, hashtable::KIND_OWNERS, 16, 12},  {20000, hashtable::KIND_RAW, 32768, 25231},
      {3999, hashtable::KIND_WORDS, 8192, 6307},
      {4000, hashtable::KIND_WORDS, 16384, 12615},  // word tables this large are doubled
  };
  for (const Case& c : cases) {
    NodeId table = hashtable::make(c.size, nullptr, c.kind, 1, hashtable::KEYS_CONTEXT);
    EXPECT_EQ(t(table).size, c.buckets) << c.size;
    EXPECT_EQ(t(table).upper, c.upper) << c.size;
    EXPECT_EQ(t(table).count, 0u);
  }
}

// Word tables grow in place as keys come: every key stays findable at its position, exactly
// and across letter case, and a key equal to an indexed one is not indexed again.
TEST_F(HashTableTest, WordTableGrowsAndFindsEveryKey) {
  NodeId table = words(4);
  constexpr uint32_t kKeys = 3000;
  uint32_t last_size = t(table).size;
  for (uint32_t i = 0; i < kKeys; ++i) {
    ASSERT_EQ(add(table, 4 * i), i);
    ASSERT_LE(t(table).used, t(table).upper);
    if (t(table).size != last_size) {
      EXPECT_EQ(t(table).size, 2 * last_size);  // live keys fill more than half: doubles
      last_size = t(table).size;
    }
  }
  EXPECT_EQ(t(table).count, kKeys);
  EXPECT_EQ(add(table, 4 * 7), 7u);  // already there
  EXPECT_EQ(t(table).count, kKeys);
  for (uint32_t i = 0; i < kKeys; ++i) {
    ASSERT_EQ(find(table, 4 * i, hashtable::kOpStrict), int32_t(i));
    ASSERT_EQ(find(table, 4 * i + 1, hashtable::kOpEqual), int32_t(i));  // the other case
    ASSERT_EQ(find(table, 4 * i + 1, hashtable::kOpStrict), -1);
    ASSERT_EQ(find(table, 4 * i + 2, hashtable::kOpEqual), -1);
  }
  EXPECT_EQ(find(table, 0, hashtable::kOpStrict, TYPE_SET_WORD), -1);  // type byte differs
  EXPECT_EQ(find(table, 0, hashtable::kOpStrict, TYPE_INTEGER), -1);
  EXPECT_EQ(find(table, 4, hashtable::kOpStrict, TypeId(hashtable::kAnyTypeKey)), 1);
}

TEST_F(HashTableTest, CaseTwinsAreDistinctKeysUnderStrictPut) {
  NodeId table = words(8);
  EXPECT_EQ(add(table, 10), 0u);
  EXPECT_EQ(add(table, 11), 1u);
  EXPECT_EQ(t(table).count, 2u);
  EXPECT_EQ(find(table, 11, hashtable::kOpStrict), 1);
  EXPECT_EQ(find(table, 11, hashtable::kOpEqual), 0);  // the first of the two met
}

TEST_F(HashTableTest, ResizeInPlaceByTheContextsRule) {
  NodeId table = words(4);
  for (uint32_t i = 0; i < 5; ++i) add(table, 2 * i);
  uint32_t n = t(table).size;
  hashtable::resize_in_place(table, 16 * (n - 1));  // grows 16-fold
  EXPECT_EQ(t(table).size, 16 * n);
  EXPECT_EQ(t(table).upper, uint32_t(16 * n * 0.77 + 0.5));
  EXPECT_EQ(t(table).used, 5u);
  hashtable::resize_in_place(table, 4);  // 5 keys do not fit under 4 x 0.77
  EXPECT_EQ(t(table).size, 16 * n);
  hashtable::resize_in_place(table, 8);  // shrinking works too
  EXPECT_EQ(t(table).size, 8u);
  for (uint32_t i = 0; i < 5; ++i) EXPECT_EQ(find(table, 2 * i, hashtable::kOpStrict), int32_t(i));
}

TEST_F(HashTableTest, MakeOverAnExistingBlockPutsItsKeysFromTheHead) {
  NodeId block = memory::alloc_cells(8);
  for (uint32_t id : {100u, 200u, 300u, 200u}) *buffer::append_unset(block) = key(id);
  Cell value{TYPE_BLOCK, 1, block, 0};  // head at the second cell
  NodeId table = hashtable::make(8, &value, hashtable::KIND_WORDS, 0, hashtable::KEYS_CONTEXT);
  EXPECT_EQ(t(table).keys, block);
  EXPECT_EQ(t(table).count, 2u);  // 200 and 300; the second 200 is not indexed
  EXPECT_EQ(find(table, 100, hashtable::kOpStrict), -1);
  EXPECT_EQ(find(table, 200, hashtable::kOpStrict), 1);
}

// The symbol table's way: walk the probe sequence comparing keys itself, then store the new
// key in the first empty bucket met.
TEST_F(HashTableTest, CursorWalksTheProbeSequence) {
  NodeId table = words(64);
  for (uint32_t i = 0; i < 20; ++i) add(table, 2 * i);
  Cell k = key(40);
  hashtable::Cursor cursor(table, test_hash(&k));
  int32_t position;
  while ((position = cursor.next()) >= 0)
    EXPECT_NE(memory::buffer_of(t(table).keys)->cells()[position].data1, 40u);
  ASSERT_GE(cursor.first_empty(), 0);
  *buffer::append_unset(t(table).keys) = k;
  hashtable::insert_at(table, uint32_t(cursor.first_empty()), 20);
  EXPECT_EQ(find(table, 40, hashtable::kOpStrict), 20);
  EXPECT_EQ(t(table).count, 21u);
}

class MapTableTest : public HashTableTest {
 protected:
  static NodeId map_table() {
    return hashtable::make(4, nullptr, hashtable::KIND_MAP, 0, hashtable::KEYS_VALUES);
  }
  static void add_pair(NodeId table, uint32_t id) {
    add(table, id, TYPE_SET_WORD);
    *buffer::append_unset(t(table).keys) = Cell{TYPE_INTEGER, 0, id, 0};
  }
};

TEST_F(MapTableTest, WordKeysAreLookedUpAsSetWords) {
  NodeId table = map_table();
  add_pair(table, 6);
  for (TypeId type : {TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD})
    EXPECT_EQ(find(table, 6, hashtable::kOpStrict, type), 0) << int(type);
  EXPECT_EQ(find(table, 6, hashtable::kOpStrict, TYPE_ISSUE), -1);
}

TEST_F(MapTableTest, RemovedPairsKeepTheirBucketsAndTheMapStillDoubles) {
  NodeId table = map_table();  // 8 buckets, upper 6
  for (uint32_t i = 0; i < 6; ++i) add_pair(table, 2 * i);
  for (uint32_t i = 0; i < 5; ++i) hashtable::delete_key(table, 2 * i);  // pair positions
  EXPECT_EQ(t(table).count, 1u);
  EXPECT_EQ(t(table).used, 6u);
  EXPECT_EQ(memory::buffer_of(t(table).keys)->cells()[1].header, 0u);  // the value cell
  EXPECT_EQ(find(table, 0, hashtable::kOpStrict), 0);  // a removed key is still found
  add_pair(table, 100);
  EXPECT_EQ(t(table).size, 16u);
  EXPECT_EQ(t(table).used, 7u);
  for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(find(table, 2 * i, hashtable::kOpStrict), int32_t(2 * i));
  EXPECT_EQ(find(table, 100, hashtable::kOpStrict), 12);
}

// A map stores a new key into the bucket where its lookup missed it. Against a twin table
// filled by put, through growth, removed pairs and case twins (new keys under the strict op),
// both must end with the same buckets.
TEST_F(MapTableTest, StoreAfterAMissedSeekPlacesKeysAsPutDoes) {
  NodeId by_put = map_table(), by_seek = map_table();
  auto add_sought = [&](uint32_t id, uint32_t op) {
    Cell k = key(id, TYPE_SET_WORD);
    hashtable::Lookup missed = hashtable::seek(by_seek, &k, op);
    ASSERT_EQ(missed.position, -1) << id;
    NodeId keys = t(by_seek).keys;
    *buffer::append_unset(keys) = k;
    *buffer::append_unset(keys) = Cell{TYPE_INTEGER, 0, id, 0};
    hashtable::put_missed(by_seek, missed, memory::buffer_of(keys)->length() - 2);
  };
  constexpr uint32_t kNames = 300;
  for (uint32_t i = 0; i < kNames; ++i) {
    bool twin = i % 3 == 2;  // the other case of the name added just before
    uint32_t id = twin ? 4 * (i - 1) + 1 : 4 * i;
    add_pair(by_put, id);
    add_sought(id, twin ? hashtable::kOpStrict : hashtable::kOpEqual);
    if (i % 5 == 4) {
      hashtable::delete_key(by_put, 2 * (i - 2));
      hashtable::delete_key(by_seek, 2 * (i - 2));
    }
  }
  const Table &a = t(by_put), &b = t(by_seek);
  ASSERT_EQ(a.size, b.size);
  EXPECT_GT(a.size, 256u);
  EXPECT_EQ(a.used, b.used);
  EXPECT_EQ(a.count, b.count);
  const uint32_t* flags_a = reinterpret_cast<uint32_t*>(memory::buffer_of(a.flags)->data());
  const uint32_t* flags_b = reinterpret_cast<uint32_t*>(memory::buffer_of(b.flags)->data());
  const uint32_t* entries_a = reinterpret_cast<uint32_t*>(memory::buffer_of(a.buckets)->data());
  const uint32_t* entries_b = reinterpret_cast<uint32_t*>(memory::buffer_of(b.buckets)->data());
  for (uint32_t bucket = 0; bucket < a.size; ++bucket) {
    ASSERT_EQ(buckets::state(flags_a, bucket), buckets::state(flags_b, bucket)) << bucket;
    if (buckets::state(flags_a, bucket) == buckets::IN_USE) {
      ASSERT_EQ(entries_a[bucket], entries_b[bucket]) << bucket;
    }
  }
}

TEST_F(MapTableTest, ClearEmptiesAndCopiesAreIndependent) {
  NodeId table = map_table();
  for (uint32_t i = 0; i < 5; ++i) add_pair(table, 2 * i);
  NodeId copied_keys = memory::copy_series(t(table).keys);
  NodeId copy = hashtable::copy(table, copied_keys);
  hashtable::clear(table);
  EXPECT_EQ(t(table).count, 0u);
  EXPECT_EQ(memory::buffer_of(t(table).keys)->length(), 0u);
  EXPECT_EQ(find(table, 2, hashtable::kOpStrict), -1);
  add_pair(table, 50);
  EXPECT_EQ(find(table, 50, hashtable::kOpStrict), 0);
  EXPECT_EQ(t(copy).count, 5u);
  EXPECT_EQ(find(copy, 2, hashtable::kOpStrict), 2);
  EXPECT_EQ(find(copy, 50, hashtable::kOpStrict), -1);
}

// Record tables (raw keys and owners) against std::map under random puts and deletes: the
// records' data survives growth and packing, and the key block stays bounded.
class RecordTableTest : public HashTableTest, public ::testing::WithParamInterface<hashtable::Kind> {};

TEST_P(RecordTableTest, AgreesWithAReferenceUnderChurn) {
  constexpr uint32_t kDataCells = 3;
  NodeId table = hashtable::make(4, nullptr, GetParam(), kDataCells);
  EXPECT_EQ(t(table).record_width, (kDataCells + 1) * sizeof(Cell));
  std::map<uint32_t, uint32_t> reference;
  std::mt19937 random(11);
  for (uint32_t step = 0; step < 30000; ++step) {
    uint32_t k = 1 + random() % 400;
    if (random() % 2) {
      Cell* data = hashtable::put_node_key(table, k);
      if (!reference.count(k)) {
        ASSERT_EQ(data[0].header, uint32_t(TYPE_UNSET));
        data[kDataCells - 1] = Cell{TYPE_INTEGER, 0, step, 0};
        reference[k] = step;
      }
    } else {
      Cell* data = hashtable::delete_node_key(table, k);
      ASSERT_EQ(data != nullptr, reference.count(k) == 1) << k;
      reference.erase(k);
    }
    ASSERT_LT(t(table).used, t(table).size);
    uint32_t records = memory::buffer_of(t(table).keys)->used_bytes() / t(table).record_width;
    ASSERT_LE(records, 2 * t(table).upper + 1);
  }
  EXPECT_EQ(t(table).count, reference.size());
  for (uint32_t k = 1; k <= 400; ++k) {
    Cell* data = hashtable::find_node_key(table, k);
    ASSERT_EQ(data != nullptr, reference.count(k) == 1) << k;
    if (data) {
      EXPECT_EQ(data[kDataCells - 1].data2, reference[k]);
    }
  }
}

TEST_P(RecordTableTest, SweepRemovesTheRecordsRefused) {
  NodeId table = hashtable::make(16, nullptr, GetParam(), 1);
  for (uint32_t k = 1; k <= 10; ++k) hashtable::put_node_key(table, k)[0] = Cell{TYPE_INTEGER, 0, k % 2, 0};
  hashtable::sweep(table, [](uint32_t, const Cell* data) { return data[0].data2 == 1; });
  EXPECT_EQ(t(table).count, 5u);
  for (uint32_t k = 1; k <= 10; ++k) EXPECT_EQ(hashtable::find_node_key(table, k) != nullptr, k % 2 == 1) << k;
}

INSTANTIATE_TEST_SUITE_P(Kinds, RecordTableTest,
                         ::testing::Values(hashtable::KIND_RAW, hashtable::KIND_OWNERS));

}  // namespace
}  // namespace xol
