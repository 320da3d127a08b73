// Display width of characters: marks 0, East Asian wide 2, controls 1, the ambiguous variant.
#include "runtime/text/char_width.h"

#include <gtest/gtest.h>

namespace xol {
namespace {

TEST(CharWidth, ColumnsByKindOfCharacter) {
  struct Case {
    uint32_t cp;
    int width, east_asian;
  } cases[] = {
      {0x0000, 0, 0},     // NUL draws nothing
      {0x0007, 1, 1},     // C0 control
      {0x001F, 1, 1},
      {0x007F, 1, 1},     // DEL
      {0x0085, 1, 1},     // C1 control
      {0x009F, 1, 1},
      {'A', 1, 1},
      {0x00B1, 1, 2},     // ambiguous: ±
      {0x00A1, 1, 2},
      {0x00AD, 1, 1},     // soft hyphen: neither a zero-width format character nor ambiguous here
      {0x0300, 0, 0},     // first combining mark, ambiguous too: the mark wins in both
      {0x0301, 0, 0},
      {0x036F, 0, 0},
      {0x0370, 1, 1},
      {0x200B, 0, 0},     // zero-width space
      {0xFEFF, 0, 0},
      {0x1160, 0, 0},     // Hangul medial vowel
      {0x11FF, 0, 0},
      {0xD7B0, 0, 0},
      {0x1100, 2, 2},     // Hangul leading consonant
      {0x115F, 2, 2},
      {0x231A, 2, 2},     // watch emoji
      {0x3000, 2, 2},     // ideographic space (fullwidth)
      {0x4E00, 2, 2},
      {0xAC00, 2, 2},     // Hangul syllable
      {0xFF01, 2, 2},     // fullwidth exclamation mark
      {0xFFFD, 1, 2},
      {0xE000, 1, 2},     // private use
      {0x1F600, 2, 2},
      {0x1FAF6, 2, 2},    // last wide range of Unicode 14.0
      {0x1FAF7, 1, 1},    // added by 15.0: not in the tables
      {0x1F100, 1, 1},    // enclosed alphanumerics above the BMP count narrow
      {0x20000, 2, 2},
      {0x2FFFD, 2, 2},
      {0x3FFFD, 2, 2},
      {0x3FFFE, 1, 1},
      {0xE0100, 0, 0},    // variation selector, last combining range
      {0xE01EF, 0, 0},
      {0xF0000, 1, 2},
      {0x10FFFD, 1, 2},
      {0x10FFFE, 1, 1},
      {0x110000, 1, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(charwidth::of(c.cp), c.width) << std::hex << c.cp;
    EXPECT_EQ(charwidth::of_east_asian(c.cp), c.east_asian) << std::hex << c.cp;
  }
}

TEST(CharWidth, InRangesBoundsAreInclusive) {
  const charwidth::CodeRange table[] = {{0x10, 0x20}, {0x30, 0x30}, {0x40, 0x4F}};
  struct Case {
    uint32_t cp;
    bool in;
  } cases[] = {{0x0F, false}, {0x10, true}, {0x20, true}, {0x21, false}, {0x30, true},
               {0x31, false}, {0x4F, true}, {0x50, false}};
  for (const Case& c : cases) EXPECT_EQ(charwidth::in_ranges(c.cp, table, 3), c.in) << c.cp;
  EXPECT_FALSE(charwidth::in_ranges(0x10, table, 0));
}

}  // namespace
}  // namespace xol
