// hash!: its printed form and copies, and above all that every search answers exactly as the
// same block! would, whatever sequence of changes came before.
#include <random>

#include "runtime/datatypes/char.h"

#include "value_builders.h"

namespace xol::testing {
namespace {

// How the random actions below draw their values: how many in ten are one of a few common
// values, and how many copies an insert makes at most.
struct Mix {
  uint32_t seed;
  int common_in_ten;
  int most_copies;
};

class HashValues : public SeriesTest {
 protected:
  static Cell make_hash(std::string_view text) {
    Cell spec = load(text), made;
    actions::get<ACT_MAKE>(TYPE_HASH)(nullptr, &spec, TYPE_HASH, &made);
    return made;
  }
  static int32_t index_found(Cell series, Cell value, FindOptions options = {}) {
    Cell result;
    actions::get<ACT_FIND>(series.type())(&series, &value, options, &result);
    return result.is(TYPE_NONE) ? 0 : index_of(result);
  }
  void compare_with_block(const Mix& mix);
};

TEST_F(HashValues, MoldSelectAndCopy) {
  Cell h = make_hash("a 1 b 2");
  EXPECT_EQ(molded(make_hash("a 1")), "make hash! [a 1]");
  EXPECT_EQ(mold_with(h, MoldFlags{.only = true}), "a 1 b 2");
  Cell b = word("b"), result;
  actions::get<ACT_SELECT>(TYPE_HASH)(&h, &b, FindOptions{}, &result);
  EXPECT_EQ(molded(result), "2");
  Cell two = num(2), part_copy;
  actions::get<ACT_COPY>(TYPE_HASH)(&h, &two, false, nullptr, &part_copy);
  EXPECT_TRUE(part_copy.is(TYPE_HASH));
  EXPECT_NE(part_copy.data3, h.data3);
  EXPECT_EQ(molded(part_copy), "make hash! [a 1]");
  EXPECT_EQ(index_found(part_copy, word("b")), 0);
  EXPECT_EQ(actions::find<ACT_RANDOM>(TYPE_HASH), nullptr);
}

TEST_F(HashValues, ChangesKeepTheIndexExact) {
  Cell h = make_hash("a b");
  Cell x = word("x"), result;
  actions::get<ACT_INSERT>(TYPE_HASH)(&h, &x, InsertOptions{}, false, &result);
  EXPECT_EQ(index_found(h, word("b")), 3);
  Cell sorted = make_hash("c b a");
  actions::get<ACT_SORT>(TYPE_HASH)(&sorted, SortOptions{}, &result);
  EXPECT_EQ(index_found(sorted, word("c")), 3);
  Cell trimmed = make_hash("#none a #none b");
  actions::get<ACT_TRIM>(TYPE_HASH)(&trimmed, TrimOptions{}, &result);
  EXPECT_EQ(index_found(trimmed, word("b")), 2);
}

// Runs the same random actions on a hash! and a block! and checks after each that every
// search of a random value, with random refinements, answers the same position.
void HashValues::compare_with_block(const Mix& mix) {
  std::mt19937 random(mix.seed);
  auto draw = [&](int n) { return int32_t(random() % uint32_t(n)); };
  const char* const kWords[] = {"a", "b", "c", "A", "d"};
  auto random_value = [&]() -> Cell {
    if (mix.common_in_ten && draw(10) < mix.common_in_ten) {
      switch (draw(4)) {
        case 0: return num(7);
        case 1: return word("a");
        case 2: return word("A");
        default: return str("a");
      }
    }
    switch (draw(6)) {
      case 0: return word(kWords[draw(5)]);
      case 4: return str(kWords[draw(5)]);
      case 1: return word::load(kWords[draw(5)], TYPE_SET_WORD);
      case 2: return num(draw(4));
      case 3: return floating::make(draw(3) * 0.5);
      default: return draw(2) ? Cell{TYPE_NONE, 0, 0, 0} : load_one("[1]");
    }
  };
  Cell block = load(""), hash = make_hash("");
  for (int step = 0; step < 3000; ++step) {
    uint32_t length = block::length(&block);
    int32_t at = length ? draw(int32_t(length) + 1) : 0;
    Cell b = block, h = hash, value = random_value(), count = num(draw(3) + 1), result;
    b.data1 = h.data1 = uint32_t(at);
    Cell other_b = block, other_h = hash;
    other_b.data1 = other_h.data1 = uint32_t(length ? draw(int32_t(length)) : 0);
    InsertOptions insert{-1, draw(2) == 0, draw(mix.most_copies) + 1};
    bool flag = draw(2);   // at_tail, last or case, the same for both
    switch (draw(12)) {
      case 0: for (Cell* s : {&b, &h}) actions::get<ACT_INSERT>(s->type())(s, &value, insert, flag, &result); break;
      case 1: for (Cell* s : {&b, &h}) actions::get<ACT_REMOVE>(s->type())(s, &count, nullptr, &result); break;
      case 2: for (Cell* s : {&b, &h}) actions::get<ACT_CHANGE>(s->type())(s, &value, insert, &result); break;
      case 3: for (Cell* s : {&b, &h}) actions::get<ACT_TAKE>(s->type())(s, &count, false, flag, &result); break;
      case 4: for (Cell* s : {&b, &h}) actions::get<ACT_REVERSE>(s->type())(s, nullptr, nullptr, &result); break;
      case 5:
        actions::get<ACT_MOVE>(TYPE_BLOCK)(&b, &other_b, &count, &result);
        actions::get<ACT_MOVE>(TYPE_HASH)(&h, &other_h, &count, &result);
        break;
      case 6: {
        SortOptions options;
        options.stable = true;
        for (Cell* s : {&b, &h}) actions::get<ACT_SORT>(s->type())(s, options, &result);
        break;
      }
      case 7: for (Cell* s : {&b, &h}) actions::get<ACT_TRIM>(s->type())(s, TrimOptions{}, &result); break;
      case 8:
        actions::get<ACT_SWAP>(TYPE_BLOCK)(&b, &other_b, &result);
        actions::get<ACT_SWAP>(TYPE_HASH)(&h, &other_h, &result);
        break;
      case 9:
        if (at < int32_t(length))
          for (Cell* s : {&b, &h}) actions::get<ACT_POKE>(s->type())(s, 1, nullptr, &value, &result);
        break;
      case 10: for (Cell* s : {&b, &h}) actions::get<ACT_PUT>(s->type())(s, &value, &count, flag, &result); break;
      default:
        if (draw(20) == 0) {
          for (Cell* s : {&b, &h}) actions::get<ACT_CLEAR>(s->type())(s, &result);
        } else if (at < int32_t(length) && block::abs_at(&hash, uint32_t(at))->is(TYPE_STRING)) {
          // Both series hold the same text cells, which are the user's to change in place.
          Cell text = *block::abs_at(&hash, uint32_t(at));
          Cell letter = character::make(uint8_t(kWords[draw(5)][0]));
          actions::get<ACT_POKE>(TYPE_STRING)(&text, 1, nullptr, &letter, &result);
        }
        break;
    }
    ASSERT_EQ(molded(block), molded(hash).substr(sizeof("make hash! ") - 1)) << "step " << step;
    for (int probe = 0; probe < 4; ++probe) {
      Cell sought = random_value(), skip = num(draw(3) + 1);
      FindOptions options;
      options.skip = draw(2) ? &skip : nullptr;
      options.last = draw(3) == 0;
      options.reverse = !options.last && draw(3) == 0;
      options.case_sensitive = draw(3) == 0;
      options.only = true;
      Cell from_b = block, from_h = hash;
      from_b.data1 = from_h.data1 = uint32_t(draw(int32_t(block::length(&block)) + 1));
      Cell found_b, found_h, selected_b, selected_h;
      actions::get<ACT_FIND>(TYPE_BLOCK)(&from_b, &sought, options, &found_b);
      actions::get<ACT_FIND>(TYPE_HASH)(&from_h, &sought, options, &found_h);
      ASSERT_EQ(found_b.is(TYPE_NONE), found_h.is(TYPE_NONE)) << "step " << step;
      if (!found_b.is(TYPE_NONE)) {
        ASSERT_EQ(found_b.head_index(), found_h.head_index()) << "step " << step;
      }
      actions::get<ACT_SELECT>(TYPE_BLOCK)(&from_b, &sought, options, &selected_b);
      actions::get<ACT_SELECT>(TYPE_HASH)(&from_h, &sought, options, &selected_h);
      ASSERT_EQ(molded(selected_b), molded(selected_h)) << "step " << step;
    }
  }
}

TEST_F(HashValues, PropertyAHashAnswersEverySearchAsTheSameBlock) {
  compare_with_block(Mix{20240601, 0, 3});
}

// Equal values share the index's entry for their hash: long runs of them, changed anywhere.
TEST_F(HashValues, PropertyRunsOfEqualValuesAnswerAsTheSameBlock) {
  compare_with_block(Mix{20261211, 8, 40});
}

TEST_F(HashValues, TextKeysFoldLetterCaseAsTheBlockDoes) {
  Cell block = load("1");
  for (const char* chars : {"Abc", "abc", "xyz"}) {
    Cell t = str(chars);
    block::append_cell(&block, &t);
  }
  Cell hash_value;
  actions::get<ACT_TO>(TYPE_HASH)(nullptr, &block, TYPE_HASH, &hash_value);
  for (bool case_sensitive : {false, true}) {
    FindOptions options;
    options.case_sensitive = case_sensitive;
    for (const char* chars : {"abc", "ABC", "xyz", "q"})
      EXPECT_EQ(index_found(block, str(chars), options), index_found(hash_value, str(chars), options))
          << chars << (case_sensitive ? " /case" : "");
  }
}

// The index and a map's table survive collections that move every buffer: the collector marks
// them through the cells that hold them.
TEST_F(HashValues, IndexesSurviveACollection) {
  Cell h = make_hash("a 1 b 2");
  Cell m;
  map::make_at(&m, 4);
  Cell key = word("k"), value = num(7), result;
  actions::get<ACT_PUT>(TYPE_MAP)(&m, &key, &value, false, &result);
  block::append_cell(block::root(), &h);
  block::append_cell(block::root(), &m);
  collector::set_torture_period(1);
  collector::active = true;
  for (int round = 0; round < 3; ++round) {
    collector::collect();
    Cell extra = num(round);
    actions::get<ACT_APPEND>(TYPE_HASH)(&h, &extra, InsertOptions{}, true, &result);
  }
  collector::active = false;
  collector::set_torture_period(0);
  EXPECT_EQ(index_found(h, word("b")), 3);
  EXPECT_EQ(index_found(h, num(0)), 5);
  Cell found;
  actions::get<ACT_SELECT>(TYPE_MAP)(&m, &key, FindOptions{}, &found);
  EXPECT_EQ(molded(found), "7");
}

}  // namespace
}  // namespace xol::testing
