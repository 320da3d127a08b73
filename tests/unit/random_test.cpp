// The random generator (MT19937 against its reference outputs), the range mapping with its
// rejection sampling, the secure source, and the `random` action of every datatype that has
// one: bounds, seeding that makes the sequence repeat, picking and shuffling series.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/hash.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/path.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/time.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/vector.h"
#include "runtime/process/random.h"
#include "runtime/tables/murmur3.h"
#include "tests/unit/value_layer_fixture.h"

namespace xol {
namespace {

constexpr uint32_t kTopBitCleared = 0x7FFFFFFF;

// ---- the generator ----

TEST(RandomGenerator, ReferenceOutputsOfSeed5489WithTheTopBitCleared) {
  random::seed(5489);
  const uint32_t kReference[] = {3499211612u, 581869302u, 3890346734u, 3586334585u, 545404204u};
  for (uint32_t expected : kReference)
    EXPECT_EQ(uint32_t(random::next()), expected & kTopBitCleared);
}

TEST(RandomGenerator, StartUpSequenceIsTheDefaultSeedsInEveryRun) {
  random::init();
  EXPECT_EQ(random::next(), 178108766);
  EXPECT_EQ(random::next(), 482149846);
  EXPECT_EQ(random::next(), 2029727635);
}

// Across several regenerations of the state, for seeds at the edges of the 32-bit range.
TEST(RandomGenerator, MatchesTheStandardEngineForAnySeed) {
  constexpr int kDraws = 3 * 624 + 5;
  for (uint32_t seed : {0u, 1u, 5489u, random::kDefaultSeed, 0x80000000u, 0xFFFFFFFFu}) {
    std::mt19937 reference(seed);
    random::seed(seed);
    for (int i = 0; i < kDraws; ++i)
      ASSERT_EQ(uint32_t(random::next()), reference() & kTopBitCleared)
          << "seed " << seed << " draw " << i;
  }
}

TEST(RandomGenerator, ReseedingMidSequenceStartsOver) {
  random::seed(42);
  std::vector<int32_t> first{random::next(), random::next(), random::next()};
  for (int i = 0; i < 1000; ++i) random::next();
  random::seed(42);
  std::vector<int32_t> again{random::next(), random::next(), random::next()};
  EXPECT_EQ(first, again);
}

TEST(RandomGenerator, SecureDrawsAre31BitsAndLeaveTheGeneratorAlone) {
  random::seed(7);
  int32_t expected = random::next();
  random::seed(7);
  std::set<int32_t> seen;
  for (int i = 0; i < 16; ++i) {
    int32_t value = random::secure();
    EXPECT_GE(value, 0);
    seen.insert(value);
  }
  EXPECT_GT(seen.size(), 1u);
  EXPECT_EQ(random::next(), expected);
}

// ---- the range mapping, over a scripted source of draws ----

struct Scripted {
  static inline const int32_t* draws = nullptr;
  static inline int calls = 0;
  static int32_t draw() { return draws[calls++]; }
};

struct MappingCase {
  int32_t n;
  std::vector<int32_t> draws;
  int32_t expected;
};

TEST(RandomMapping, BoundsRejectionAndSigns) {
  const MappingCase kCases[] = {
      {1, {123456}, 1},
      {-1, {999}, -1},
      {0, {}, 0},                                 // no draw at all
      {2147483647, {2147483647, 5}, 6},          // the one draw at the limit is rejected
      {3, {2147483646, 4}, 2},                    // limit 2147483646
      {3, {2147483645}, 3},
      {10, {2147483640, 0}, 1},                   // limit 2147483640
      {10, {2147483639}, 10},
      {-3, {2147483646, 4}, -2},
      {INT32_MIN, {0}, -1},
      {INT32_MIN, {2147483647}, INT32_MIN},
  };
  for (const MappingCase& c : kCases) {
    Scripted::draws = c.draws.data();
    Scripted::calls = 0;
    EXPECT_EQ(random::integer_from(c.n, Scripted::draw), c.expected) << "n " << c.n;
    EXPECT_EQ(Scripted::calls, int(c.draws.size())) << "n " << c.n;
  }
}

TEST(RandomMapping, ResultsStayInRangeFromEitherSource) {
  struct Range {
    int32_t n, low, high, draws;
    bool secure;
  };
  const Range kRanges[] = {
      {7, 1, 7, 20000, false},        {-7, -7, -1, 20000, false},
      {INT32_MIN, INT32_MIN, -1, 20000, false}, {INT32_MAX, 1, INT32_MAX, 20000, false},
      {7, 1, 7, 2000, true},          {-7, -7, -1, 2000, true},
      {INT32_MIN, INT32_MIN, -1, 2000, true},
  };
  random::init();
  for (const Range& r : kRanges) {
    for (int i = 0; i < r.draws; ++i) {
      int32_t value = random::integer(r.secure, r.n);
      ASSERT_GE(value, r.low) << r.n;
      ASSERT_LE(value, r.high) << r.n;
    }
  }
}

TEST(RandomMapping, EveryResultIsAboutEquallyLikely) {
  constexpr int kBound = 7, kPerValue = 10000;
  int counts[kBound + 1] = {};
  random::init();
  for (int i = 0; i < kBound * kPerValue; ++i) ++counts[random::integer(false, kBound)];
  for (int v = 1; v <= kBound; ++v) {
    EXPECT_GT(counts[v], kPerValue * 9 / 10) << v;
    EXPECT_LT(counts[v], kPerValue * 11 / 10) << v;
  }
}

TEST(RandomMapping, ScaleGivesAFloatUpToTheValue) {
  random::seed(5489);
  EXPECT_EQ(random::scale(0.5, false), 0.5 * (1351727964 / 2147483647.0));
  for (bool secure : {false, true}) {
    for (int i = 0; i < 2000; ++i) {
      double up = random::scale(0.5, secure), down = random::scale(-2.0, secure);
      ASSERT_GE(up, 0.0);
      ASSERT_LE(up, 0.5);
      ASSERT_GE(down, -2.0);
      ASSERT_LE(down, 0.0);
    }
  }
}

// ---- the datatypes' random actions ----

class RandomActionTest : public testing::ValueLayerTest {
 protected:
  void SetUp() override {
    ValueLayerTest::SetUp();
    random::init();
  }

  static Cell rnd(Cell value, bool seed = false, bool secure = false, bool only = false) {
    Cell result{};
    actions::get<ACT_RANDOM>(value.type())(&value, seed, secure, only, &result);
    return result;
  }
  static bool same_cell(const Cell& a, const Cell& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

  static Cell block_of_ints(int32_t from, int32_t to) {
    Cell b;
    block::make_at(&b, to - from + 1);
    for (int32_t i = from; i <= to; ++i) {
      Cell v = integer::make(i);
      block::append_cell(&b, &v);
    }
    return b;
  }
  static Cell text(std::string_view chars) {
    Cell s;
    string::load_utf8(&s, chars);
    return s;
  }
  static int32_t int_of(const Cell& value) { return integer::get(&value); }
  static std::vector<int32_t> ints_of(const Cell& b) {
    std::vector<int32_t> out;
    for (uint32_t i = 0; i < block::length(&b); ++i)
      out.push_back(integer::get(block::head(&b) + i));
    return out;
  }
  static std::string chars_of(const Cell& s) {
    std::string out;
    for (uint32_t i = 0; i < string::length(&s); ++i)
      out += char(string::abs_at(&s, s.head_index() + i));
    return out;
  }
};

TEST_F(RandomActionTest, TypesWithAndWithoutRandom) {
  for (TypeId type : {TYPE_LOGIC, TYPE_INTEGER, TYPE_CHAR, TYPE_FLOAT, TYPE_PERCENT, TYPE_TIME,
                      TYPE_PAIR, TYPE_TUPLE, TYPE_DATE, TYPE_MONEY, TYPE_POINT2D, TYPE_POINT3D,
                      TYPE_BLOCK, TYPE_PAREN, TYPE_STRING, TYPE_BINARY, TYPE_VECTOR})
    EXPECT_NE(actions::find<ACT_RANDOM>(type), nullptr) << int(type);
  for (TypeId type : {TYPE_HASH, TYPE_NONE, TYPE_WORD})
    EXPECT_EQ(actions::find<ACT_RANDOM>(type), nullptr) << int(type);
}

// /seed answers unset, and the values drawn after it repeat after the same seeding.
TEST_F(RandomActionTest, SeedingMakesTheDrawsRepeat) {
  const uint8_t kBytes[] = {10, 200, 30};
  const float kCoordinates[] = {2.5f, 100.0f};
  const Cell kValues[] = {
      integer::make(1000),
      floating::make(0.5),
      logic::make(true),
      pair::make(10, 20),
      tuple::make(3, kBytes),
      date::make(2020, 3, 1, 3600.0, 60),
      money::make(false, 0, 12345678),
      point::make(TYPE_POINT2D, kCoordinates),
  };
  for (const Cell& value : kValues) {
    EXPECT_TRUE(rnd(value, true).is(TYPE_UNSET)) << int(value.type());
    std::vector<Cell> first, again;
    for (int i = 0; i < 5; ++i) first.push_back(rnd(value));
    rnd(value, true);
    for (int i = 0; i < 5; ++i) again.push_back(rnd(value));
    for (size_t i = 0; i < first.size(); ++i)
      EXPECT_TRUE(same_cell(first[i], again[i])) << int(value.type()) << " draw " << i;
  }
}

// The 32-bit word each type seeds the generator with.
TEST_F(RandomActionTest, EachTypeDerivesItsSeed) {
  const uint8_t kBytes[] = {1, 2, 3};
  const float kCoordinates[] = {1.5f, -2.0f, 0.25f};
  Cell flt = floating::make(0.1);
  Cell tup = tuple::make(3, kBytes);
  Cell pt = point::make(TYPE_POINT3D, kCoordinates);
  Cell blk = block_of_ints(1, 3);
  Cell txt = text("abcd");
  txt.data1 = 1;   // from the head: "bcd"
  struct Case {
    Cell value;
    uint32_t seed;
  };
  const Case kCases[] = {
      {integer::make(5489), 5489},
      {integer::make(-1), 0xFFFFFFFF},
      {logic::make(true), 1},
      {logic::make(false), 0},
      {pair::make(3, 6), 3 ^ 6},
      {flt, flt.data2 ^ flt.data3},
      {tup, tup.data1 ^ tup.data2 ^ tup.data3},
      {pt, hash::murmur3(&pt.data1, 3 * sizeof(float))},
      {blk, hash::murmur3(block::head(&blk), 3 * sizeof(Cell))},
      {txt, hash::murmur3("bcd", 3)},
  };
  for (const Case& c : kCases) {
    random::seed(c.seed);
    int32_t expected = random::next();
    rnd(c.value, true);
    EXPECT_EQ(random::next(), expected) << int(c.value.type());
  }
}

TEST_F(RandomActionTest, IntegerBoundsKeepTheirSignAndType) {
  std::set<int32_t> seen;
  for (int i = 0; i < 2000; ++i) {
    Cell up = rnd(integer::make(10));
    ASSERT_GE(integer::get(&up), 1);
    ASSERT_LE(integer::get(&up), 10);
    seen.insert(integer::get(&up));
    Cell down = rnd(integer::make(-10), false, true);
    ASSERT_GE(integer::get(&down), -10);
    ASSERT_LE(integer::get(&down), -1);
  }
  EXPECT_EQ(seen.size(), 10u);
  EXPECT_EQ(int_of(rnd(integer::make(0))), 0);
  Cell c = rnd(character::make('a'));
  EXPECT_TRUE(c.is(TYPE_CHAR));
  EXPECT_GE(c.data2, 1u);
  EXPECT_LE(c.data2, uint32_t('a'));
}

TEST_F(RandomActionTest, FloatsStayBetweenZeroAndTheValueAndKeepTheirType) {
  for (bool secure : {false, true}) {
    for (int i = 0; i < 1000; ++i) {
      Cell f = rnd(floating::make(0.5), false, secure);
      ASSERT_TRUE(f.is(TYPE_FLOAT));
      ASSERT_GE(f.float_value(), 0.0);
      ASSERT_LE(f.float_value(), 0.5);
    }
  }
  EXPECT_TRUE(rnd(percent::make(0.5)).is(TYPE_PERCENT));
  Cell t = rnd(time::make(1, 0, 0));
  EXPECT_TRUE(t.is(TYPE_TIME));
  EXPECT_LE(t.float_value(), 3600.0);
}

TEST_F(RandomActionTest, LogicIsAFairCoin) {
  random::seed(1);   // first draw 1791095845, above 2^30 - 1
  EXPECT_TRUE(rnd(logic::make(false)).data1);
  int trues = 0;
  constexpr int kFlips = 10000;
  for (int i = 0; i < kFlips; ++i) trues += int(rnd(logic::make(true)).data1);
  EXPECT_GT(trues, kFlips * 45 / 100);
  EXPECT_LT(trues, kFlips * 55 / 100);
}

TEST_F(RandomActionTest, PairCoordinatesDrawnSeparatelyZeroStays) {
  for (int i = 0; i < 500; ++i) {
    Cell p = rnd(pair::make(0, 10));
    ASSERT_EQ(pair::x(&p), 0);
    ASSERT_GE(pair::y(&p), 1);
    ASSERT_LE(pair::y(&p), 10);
    Cell q = rnd(pair::make(-5, 5), false, true);
    ASSERT_GE(pair::x(&q), -5);
    ASSERT_LE(pair::x(&q), -1);
  }
}

TEST_F(RandomActionTest, TupleBytesFromZeroToEachByte) {
  const uint8_t kBytes[] = {10, 0, 255, 1};
  std::set<int> top;
  for (int i = 0; i < 3000; ++i) {
    Cell t = rnd(tuple::make(4, kBytes));
    ASSERT_EQ(tuple::count(&t), 4);
    const uint8_t* b = tuple::bytes(&t);
    ASSERT_LE(b[0], 10);
    ASSERT_EQ(b[1], 0);
    ASSERT_LE(b[3], 1);
    top.insert(b[3]);
  }
  EXPECT_EQ(top.size(), 2u);   // 0 and the byte itself are both reached
}

TEST_F(RandomActionTest, PointCoordinatesUpToThemselvesZeroStays) {
  const float kCoordinates[] = {0.0f, 2.5f, -4.0f};
  for (int i = 0; i < 500; ++i) {
    Cell p = rnd(point::make(TYPE_POINT3D, kCoordinates), false, i % 2 == 0);
    ASSERT_TRUE(p.is(TYPE_POINT3D));
    ASSERT_EQ(point::coordinate(&p, 0), 0.0f);
    ASSERT_GE(point::coordinate(&p, 1), 0.0f);
    ASSERT_LE(point::coordinate(&p, 1), 2.5f);
    ASSERT_GE(point::coordinate(&p, 2), -4.0f);
    ASSERT_LE(point::coordinate(&p, 2), 0.0f);
  }
}

TEST_F(RandomActionTest, DateDrawsADayUpToItselfAndATimeOf24SecondSteps) {
  Cell plain = date::make(2020, 1, 1);
  int64_t limit = date::to_days(2020, 1, 1);
  for (int i = 0; i < 500; ++i) {
    Cell d = rnd(plain, false, i % 2 == 0);
    uint32_t word = date::packed(&d);
    ASSERT_FALSE(date::has_time(word));
    int64_t days = date::to_days(date::year_of(word), date::month_of(word), date::day_of(word));
    ASSERT_GE(days, 0);
    ASSERT_LT(days, limit);
    Cell timed = rnd(date::make(2020, 1, 1, 3600.0, 60));
    ASSERT_TRUE(date::has_time(date::packed(&timed)));
    double local = date::local_time(&timed);
    ASSERT_GE(local, 0.0);
    ASSERT_LT(local, 86400.0);
    ASSERT_EQ(std::fmod(local, 24.0), 0.0);
  }
}

TEST_F(RandomActionTest, MoneyDrawsUpToTheAmountKeepingSignAndCurrency) {
  int32_t usd = money::currency_lookup("USD");
  Cell amount = money::make(true, usd, 12345000);   // -USD$123.45
  std::set<money::Magnitude> seen;
  for (int i = 0; i < 300; ++i) {
    Cell m = rnd(amount);
    ASSERT_TRUE(money::sign_bit(&m));
    ASSERT_EQ(money::currency_index(&m), usd);
    ASSERT_LE(money::magnitude(&m), money::magnitude(&amount));
    seen.insert(money::magnitude(&m));
  }
  EXPECT_GT(seen.size(), 200u);
  Cell zero = rnd(money::make(false, 0, 0));
  EXPECT_EQ(money::magnitude(&zero), 0u);
}

TEST_F(RandomActionTest, ShuffleIsAPermutationFromTheHead) {
  Cell b = block_of_ints(1, 20);
  b.data1 = 2;   // head at the third value
  Cell shuffled = rnd(b);
  EXPECT_TRUE(same_cell(shuffled, b));
  Cell whole = b;
  whole.data1 = 0;
  std::vector<int32_t> values = ints_of(whole);
  EXPECT_EQ(values[0], 1);
  EXPECT_EQ(values[1], 2);
  std::vector<int32_t> sorted = values;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, ints_of(block_of_ints(1, 20)));
  EXPECT_NE(values, sorted);

  Cell s = text("abcdefghij");
  rnd(s, false, true);
  std::string chars = chars_of(s);
  std::sort(chars.begin(), chars.end());
  EXPECT_EQ(chars, "abcdefghij");
}

TEST_F(RandomActionTest, OnlyPicksOneElementAsPickAnswersIt) {
  Cell b = block_of_ints(5, 7);
  Cell s = text("xyz");
  Cell bin = binary::load(std::string_view("\x10\x20", 2));
  Cell vec;
  vector::make_at(&vec, 2, TYPE_INTEGER, 4);
  Cell v1 = integer::make(-3), v2 = integer::make(-4);
  vector::append_value(&vec, &v1);
  vector::append_value(&vec, &v2);
  for (int i = 0; i < 200; ++i) {
    Cell from_block = rnd(b, false, false, true);
    ASSERT_TRUE(from_block.is(TYPE_INTEGER));
    ASSERT_GE(integer::get(&from_block), 5);
    ASSERT_LE(integer::get(&from_block), 7);
    Cell from_string = rnd(s, false, false, true);
    ASSERT_TRUE(from_string.is(TYPE_CHAR));
    ASSERT_NE(std::string("xyz").find(char(from_string.data2)), std::string::npos);
    Cell from_binary = rnd(bin, false, false, true);
    ASSERT_TRUE(from_binary.is(TYPE_INTEGER));
    ASSERT_TRUE(integer::get(&from_binary) == 0x10 || integer::get(&from_binary) == 0x20);
    Cell from_vector = rnd(vec, false, false, true);
    ASSERT_TRUE(integer::get(&from_vector) == -3 || integer::get(&from_vector) == -4);
  }
  EXPECT_EQ(ints_of(b), (std::vector<int32_t>{5, 6, 7}));   // picking leaves the series alone
  EXPECT_TRUE(rnd(text(""), false, false, true).is(TYPE_NONE));
}

}  // namespace
}  // namespace xol
