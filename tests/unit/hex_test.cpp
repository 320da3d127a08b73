// Hexadecimal digits read in either case and bytes written as two upper-case digits.
#include "runtime/text/hex.h"

#include <gtest/gtest.h>

#include <string>

namespace xol {
namespace {

TEST(Hex, DigitValuesOfEitherCaseAndNothingElse) {
  static_assert(hex::digit_value('0') == 0 && hex::digit_value('9') == 9);
  static_assert(hex::digit_value('a') == 10 && hex::digit_value('F') == 15);
  // Neighbours of the digit ranges, and a byte whose bit 5 would make it a letter.
  for (uint32_t c : {uint32_t('/'), uint32_t(':'), uint32_t('@'), uint32_t('G'), uint32_t('`'),
                     uint32_t('g'), 0xC1u, 0x141u})
    EXPECT_EQ(hex::digit_value(c), -1) << c;
  static_assert(hex::byte_value('f', 'E') == 0xFE);
  static_assert(hex::byte_value('0', 'x') == -1 && hex::byte_value('x', '0') == -1);
}

TEST(Hex, WritesEachByteAsTwoUpperCaseDigits) {
  std::string written;
  for (uint8_t byte : {0x00, 0x0F, 0xA5, 0xFF}) {
    char digits[2];
    EXPECT_EQ(hex::write_byte(digits, byte), digits + 2);
    written.append(digits, 2);
  }
  EXPECT_EQ(written, "000FA5FF");
}

}  // namespace
}  // namespace xol
