// map!: construction, lookup by any word kind, removal and revival of pairs, printed forms,
// copies and comparison.
#include "runtime/tables/hash_table.h"
#include "runtime/memory/memory.h"
#include "value_builders.h"

namespace xol::testing {
namespace {

class MapValues : public SeriesTest {
 protected:
  static Cell make_map(std::string_view text) {
    Cell spec = load(text), made;
    actions::get<ACT_MAKE>(TYPE_MAP)(nullptr, &spec, TYPE_MAP, &made);
    return made;
  }
  static Cell select(Cell map, Cell key, bool case_sensitive = false) {
    FindOptions options;
    options.case_sensitive = case_sensitive;
    Cell result;
    actions::get<ACT_SELECT>(TYPE_MAP)(&map, &key, options, &result);
    return result;
  }
  static void set(Cell map, Cell key, Cell value) {
    PathStep step{&map, &key, &value, nullptr, nullptr, nullptr, 0, false, false, true, false};
    Cell result;
    map::eval_path(step, &result);
  }
  static void remove_key(Cell map, Cell key) {
    Cell result;
    actions::get<ACT_REMOVE>(TYPE_MAP)(&map, nullptr, &key, &result);
  }
  static int32_t length(Cell map) { return actions::get<ACT_LENGTH_Q>(TYPE_MAP)(&map); }
};

TEST_F(MapValues, EveryWordKindFindsTheSameKey) {
  Cell m = make_map("a 1");
  for (const char* key : {"a", "a:", ":a", "'a"}) {
    Cell sought = load_one(key), found;
    actions::get<ACT_FIND>(TYPE_MAP)(&m, &sought, FindOptions{}, &found);
    EXPECT_TRUE(found.is(TYPE_WORD)) << key;
    EXPECT_EQ(molded(found), "a");
    EXPECT_EQ(molded(select(m, sought)), "1");
  }
}

TEST_F(MapValues, RemovedPairsVanishAndRevive) {
  Cell m = make_map("a 1 b 2");
  remove_key(m, word("a"));
  EXPECT_EQ(length(m), 1);
  EXPECT_TRUE(select(m, word("a")).is(TYPE_NONE));
  EXPECT_EQ(mold_with(m, MoldFlags{.flat = true}), "#[b: 2]");
  Cell found;
  Cell a = word("a");
  actions::get<ACT_FIND>(TYPE_MAP)(&m, &a, FindOptions{}, &found);
  EXPECT_TRUE(found.is(TYPE_NONE));
  set(m, word("a"), num(3));
  EXPECT_EQ(length(m), 2);
  EXPECT_EQ(mold_with(m, MoldFlags{.flat = true}), "#[a: 3 b: 2]");
  set(m, word("b"), Cell{TYPE_NONE, 0, 0, 0});
  EXPECT_EQ(length(m), 2);
  EXPECT_TRUE(select(m, word("b")).is(TYPE_NONE));
  remove_key(m, word("A"));
  EXPECT_EQ(length(m), 1) << "remove/key finds keys as select does";
}

// Pairs removed and never set again are reclaimed once they outnumber the live ones: a map
// that churns distinct keys keeps its pair block and its buckets at the size of its live pairs.
TEST_F(MapValues, ChurnKeepsThePairsAtTheLiveSize) {
  Cell m = make_map("");
  for (int32_t i = 0; i < 20000; ++i) {
    set(m, num(i), num(i));
    if (i >= 10) remove_key(m, num(i - 10));
  }
  EXPECT_EQ(length(m), 10);
  const hashtable::Table* table = hashtable::record(m.data3);
  EXPECT_LE(memory::buffer_of(table->keys)->length(), 2u * 64);
  EXPECT_LE(table->size, 256u);
  for (int32_t i = 19990; i < 20000; ++i) EXPECT_EQ(select(m, num(i)).data2, uint32_t(i));
  EXPECT_TRUE(select(m, num(19989)).is(TYPE_NONE));
}

TEST_F(MapValues, LaterDuplicatesWinInTheEarlierPlace) {
  Cell m = make_map("a 1 b 2 a 3");
  EXPECT_EQ(length(m), 2);
  EXPECT_EQ(molded(m), "#[\n    a: 3\n    b: 2\n]");
  EXPECT_EQ(formed(m), "a: 3\nb: 2");
  EXPECT_EQ(mold_with(make_map(""), MoldFlags{.flat = true}), "#[]");
  EXPECT_EQ(molded(make_map("")), "#[]");
}

TEST_F(MapValues, Errors) {
  Cell minus1 = num(-1), made, odd = load("a 1 b"), block_key = load("[1] 2");
  EXPECT_EQ(raised([&] { actions::get<ACT_MAKE>(TYPE_MAP)(nullptr, &odd, TYPE_MAP, &made); }),
            "script/invalid-arg");
  EXPECT_EQ(raised([&] { actions::get<ACT_MAKE>(TYPE_MAP)(nullptr, &minus1, TYPE_MAP, &made); }),
            "script/out-of-range");
  EXPECT_EQ(raised([&] { actions::get<ACT_MAKE>(TYPE_MAP)(nullptr, &block_key, TYPE_MAP, &made); }),
            "script/invalid-path");
  Cell m = make_map("");
  EXPECT_EQ(raised([&] { set(m, load_one("[1]"), num(2)); }), "script/invalid-path");
  Cell result;
  EXPECT_EQ(raised([&] { actions::get<ACT_REMOVE>(TYPE_MAP)(&m, nullptr, nullptr, &result); }),
            "script/missing-arg");
  EXPECT_EQ(raised([&] { actions::get<ACT_TO>(TYPE_MAP)(nullptr, &minus1, TYPE_MAP, &made); }),
            "script/bad-to-arg");
}

TEST_F(MapValues, ReflectClearCopyAndCompare) {
  Cell m = make_map("a 1 b 2 c 3");
  remove_key(m, word("b"));
  auto reflected = [&](const char* field) {
    Cell name = word(field), result;
    actions::get<ACT_REFLECT>(TYPE_MAP)(&m, &name, &result);
    return molded(result);
  };
  EXPECT_EQ(reflected("words"), "[a c]");
  EXPECT_EQ(reflected("values"), "[1 3]");
  EXPECT_EQ(reflected("body"), "[\n    a: 1\n    c: 3\n]");
  Cell copied;
  actions::get<ACT_COPY>(TYPE_MAP)(&m, nullptr, false, nullptr, &copied);
  EXPECT_EQ(compared(m, copied, COMP_EQUAL), 0);
  set(copied, word("c"), num(4));
  EXPECT_EQ(compared(m, copied, COMP_EQUAL), 1);
  EXPECT_EQ(molded(select(m, word("c"))), "3");
  EXPECT_EQ(compared(m, copied, COMP_SORT), m.node() < copied.node() ? -1 : 1);
  EXPECT_EQ(compared(m, copied, COMP_LESSER), kNotComparable);
  Cell result;
  actions::get<ACT_CLEAR>(TYPE_MAP)(&m, &result);
  EXPECT_EQ(length(m), 0);
  EXPECT_TRUE(select(m, word("a")).is(TYPE_NONE));
  set(m, word("z"), num(1));
  EXPECT_EQ(mold_with(m, MoldFlags{.flat = true}), "#[z: 1]");
}

TEST_F(MapValues, ManyKeysGrowTheTable) {
  Cell m = make_map("");
  for (int32_t i = 0; i < 500; ++i) set(m, num(i), num(i * 2));
  for (int32_t i = 0; i < 500; i += 7) remove_key(m, num(i));
  int32_t live = 0;
  for (int32_t i = 0; i < 500; ++i) {
    Cell found = select(m, num(i));
    if (i % 7 == 0) {
      EXPECT_TRUE(found.is(TYPE_NONE)) << i;
    } else {
      ++live;
      EXPECT_EQ(integer::get(&found), i * 2) << i;
    }
  }
  EXPECT_EQ(length(m), live);
}

}  // namespace
}  // namespace xol::testing
