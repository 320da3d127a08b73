// Case mapping: the Unicode 11.0 pairs, the first-code-point rule and in-place changes.
#include "runtime/text/case_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "runtime/memory/collector.h"
#include "runtime/memory/memory.h"
#include "runtime/text/string_widening.h"

namespace xol {
namespace {

using case_map::to_lower;
using case_map::to_upper;
using CodePoints = std::vector<uint32_t>;

struct CaseCase {
  uint32_t cp, upper, lower;
};

const CaseCase kCases[] = {
    {'a', 'A', 'a'}, {'Z', 'Z', 'z'}, {'@', '@', '@'}, {'[', '[', '['}, {'{', '{', '{'},
    {0xDF, 'S', 0xDF},          // ß: the first code point of "SS"
    {0x1E9E, 0x1E9E, 0xDF},     // capital sharp s
    {0x149, 0x2BC, 0x149},      // ŉ: the first of ʼN
    {0x1F0, 'J', 0x1F0},
    {0x1E96, 'H', 0x1E96},
    {0x130, 0x130, 'i'},        // İ: the first of i + combining dot
    {0x131, 'I', 0x131},
    {0x17F, 'S', 0x17F},
    {0x1C5, 0x1C4, 0x1C6},      // titlecase ǅ
    {0x1C6, 0x1C4, 0x1C6},
    {0xB5, 0x39C, 0xB5},        // micro sign
    {0xFF, 0x178, 0xFF},
    {0x178, 0x178, 0xFF},
    {0x212A, 0x212A, 'k'},      // Kelvin sign
    {0x2126, 0x2126, 0x3C9},    // Ohm sign
    {0x3C2, 0x3A3, 0x3C2},      // final sigma: no context, so Σ lowers to σ
    {0x3A3, 0x3A3, 0x3C3},
    {0x10D0, 0x1C90, 0x10D0},   // Georgian: Mtavruli pairs are new in 11.0
    {0x1C90, 0x1C90, 0x10D0},
    {0x1F80, 0x1F08, 0x1F80},   // ᾀ: the first of ἈΙ
    {0x10428, 0x10400, 0x10428},   // Deseret
    {0x10400, 0x10400, 0x10428},
    {0x104D8, 0x104B0, 0x104D8},   // Osage
    {0x10CC0, 0x10C80, 0x10CC0},   // Old Hungarian
    {0x118C0, 0x118A0, 0x118C0},   // Warang Citi
    {0x16E60, 0x16E40, 0x16E60},   // Medefaidrin
    {0x1E922, 0x1E900, 0x1E922},   // Adlam, first
    {0x1E943, 0x1E921, 0x1E943},   // Adlam, last small letter
    {0x1F600, 0x1F600, 0x1F600},
    // Mappings given after 11.0 are absent.
    {0xA7C0, 0xA7C0, 0xA7C0}, {0x2C2F, 0x2C2F, 0x2C2F}, {0x2C5F, 0x2C5F, 0x2C5F},
    {0x0282, 0x0282, 0x0282}, {0xA7C5, 0xA7C5, 0xA7C5},
    {0x10FFFF, 0x10FFFF, 0x10FFFF}, {0x110000, 0x110000, 0x110000},
    {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
};

TEST(CaseMap, MapsEachCodePointToOne) {
  for (const CaseCase& c : kCases) {
    EXPECT_EQ(to_upper(c.cp), c.upper) << std::hex << c.cp;
    EXPECT_EQ(to_lower(c.cp), c.lower) << std::hex << c.cp;
    EXPECT_EQ(case_map::change_case(c.cp, case_map::UPPER), c.upper);
    EXPECT_EQ(case_map::change_case(c.cp, case_map::LOWER), c.lower);
  }
}

TEST(CaseMap, TablesHoldExactlyTheUnicode11Pairs) {
  struct Count {
    uint32_t first, last;
    int upper, lower;
  } counts[] = {{0, 0xFFFF, 1250, 1158}, {0x10000, 0x10FFFF, 225, 225}};
  for (const Count& c : counts) {
    int upper = 0, lower = 0;
    for (uint32_t cp = c.first; cp <= c.last; ++cp) {
      upper += to_upper(cp) != cp;
      lower += to_lower(cp) != cp;
    }
    EXPECT_EQ(upper, c.upper) << std::hex << c.first;
    EXPECT_EQ(lower, c.lower) << std::hex << c.first;
  }
}

TEST(CaseMap, AsciiShortcutAgreesWithTheTables) {
  for (uint32_t cp = 0; cp < 0x80; ++cp) {
    EXPECT_EQ(to_upper(cp), case_map::detail::map_upper(cp)) << cp;
    EXPECT_EQ(to_lower(cp), case_map::detail::map_lower(cp)) << cp;
  }
}

class CaseChange : public ::testing::Test {
 protected:
  void SetUp() override {
    collector::active = false;
    memory::init();
  }
  void TearDown() override { memory::free_all_frames(); }

  static NodeId make(uint32_t unit, const CodePoints& cps) {
    NodeId node = memory::alloc_units(uint32_t(cps.size()), unit);
    for (uint32_t i = 0; i < cps.size(); ++i) string::overwrite_char(node, i, cps[i]);
    return node;
  }
  static CodePoints text(NodeId node) {
    memory::SeriesBuffer* buffer = memory::buffer_of(node);
    CodePoints out;
    for (uint32_t at = 0; at < buffer->tail; at += buffer->unit())
      out.push_back(string::get_char(buffer->data() + at, buffer->unit()));
    return out;
  }
};

TEST_F(CaseChange, ChangesARangeInPlaceWideningWhenNeeded) {
  struct Case {
    const char* name;
    CodePoints before;
    uint32_t first, count;
    case_map::Case to;
    uint32_t unit;
    CodePoints after;
  } cases[] = {
      {"sharp s becomes one S", {'s', 't', 'r', 'a', 0xDF, 'e'}, 0, 6, case_map::UPPER, 1,
       {'S', 'T', 'R', 'A', 'S', 'E'}},
      {"part", {'a', 'b', 'c', 'd', 'e', 'f'}, 0, 3, case_map::UPPER, 1,
       {'A', 'B', 'C', 'd', 'e', 'f'}},
      {"from an index", {'a', 'b', 'c'}, 1, 2, case_map::UPPER, 1, {'a', 'B', 'C'}},
      {"nothing", {'a', 'b'}, 0, 0, case_map::UPPER, 1, {'a', 'b'}},
      {"y diaeresis widens", {0xFF}, 0, 1, case_map::UPPER, 2, {0x178}},
      {"the rest after widening", {'a', 0xB5, 'b', 0xFF, 'c'}, 0, 5, case_map::UPPER, 2,
       {'A', 0x39C, 'B', 0x178, 'C'}},
      {"dotted I lowers to i", {0x130, 'X'}, 0, 2, case_map::LOWER, 2, {'i', 'x'}},
      {"supplementary", {0x10400, 'A'}, 0, 2, case_map::LOWER, 4, {0x10428, 'a'}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NodeId node = make(string::unit_for_store(*std::max_element(c.before.begin(), c.before.end())),
                       c.before);
    case_map::change_case_units(node, c.first, c.count, c.to);
    EXPECT_EQ(memory::buffer_of(node)->unit(), c.unit);
    EXPECT_EQ(text(node), c.after);
  }
}

}  // namespace
}  // namespace xol
