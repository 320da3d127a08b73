// Hexadecimal digits: the value of a digit when reading (either case), the two upper-case
// digits of a byte when writing.
#pragma once

#include <cstdint>

namespace xol::hex {

constexpr char kDigits[] = "0123456789ABCDEF";
constexpr int kNibbleBits = 4;
constexpr uint32_t kNibbleMask = 0xF;

// The value of the hexadecimal digit `c`, or -1 when it is none.
constexpr int digit_value(uint32_t c) {
  if (c >= '0' && c <= '9') return int(c - '0');
  const uint32_t lower = c | 0x20;   // ASCII letters differ from their lower case in bit 5 only
  if (lower >= 'a' && lower <= 'f') return int(lower - 'a' + 10);
  return -1;
}

// The byte that the digits `high` and `low` spell, or -1 when either is no digit.
constexpr int byte_value(uint32_t high, uint32_t low) {
  const int h = digit_value(high), l = digit_value(low);
  return h < 0 || l < 0 ? -1 : h << kNibbleBits | l;
}

// Writes the two digits of `byte` at `out` and answers the place after them.
template <typename Char>
constexpr Char* write_byte(Char* out, uint8_t byte) {
  out[0] = Char(kDigits[byte >> kNibbleBits]);
  out[1] = Char(kDigits[byte & kNibbleMask]);
  return out + 2;
}

}  // namespace xol::hex
