// Base 2, 16, 58 and 64 encoders and decoders.
//
// The decoders share one character classification over codes 0-127: a digit of the base (with
// its value), a character to skip, the comment start ";", the base-64 pad "=", or an invalid
// character. Every code above 127 is invalid. Base 58 is a positional number, so it is
// converted by long division (encoding) and long multiplication (decoding), quadratic in the
// length as every base-58 codec is.
#include "runtime/datatypes/base_encoding.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/text/hex.h"
#include "runtime/text/string_widening.h"

namespace xol::base_encoding {

namespace {

// The largest text a series holds, in bytes.
constexpr size_t kMaxEncodedSize = 0x7FFFFFFF;

constexpr char kBase58Digits[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
constexpr char kBase64Digits[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr uint32_t kAsciiEnd = 0x80;
constexpr int kByteBits = 8;
constexpr int kNibbleBits = 4;
constexpr int kSextetBits = 6;
constexpr uint32_t kSextetMask = 0x3F;
constexpr int kBase64GroupBytes = 3;
constexpr int kBase64GroupChars = 4;
// log(256) / log(58), rounded up: base-58 digits per byte, at most.
constexpr double kBase58DigitsPerByte = 1.37;

// Character classes of the decoders; a digit's class is its value.
constexpr int8_t kInvalid = -1, kSkip = -2, kComment = -3, kPad = -4;

using ClassTable = std::array<int8_t, kAsciiEnd>;

// The seven characters base 58 and base 64 skip: backspace, tab, line feed, form feed,
// carriage return, space and the apostrophe.
constexpr char kSkipped[] = {'\b', '\t', '\n', '\f', '\r', ' ', '\''};

constexpr ClassTable classes_of(const char* digits, int count, bool base64) {
  ClassTable table{};
  table.fill(kInvalid);
  for (int i = 0; i < count; ++i) table[uint8_t(digits[i])] = int8_t(i);
  for (char c : kSkipped) table[uint8_t(c)] = kSkip;
  table[';'] = kComment;
  if (base64) table['='] = kPad;
  return table;
}

// Bases 2 and 16 skip everything at or below the space.
constexpr ClassTable classes_of_low(const char* digits, int count, bool lower_too) {
  ClassTable table{};
  table.fill(kInvalid);
  for (int c = 0; c <= ' '; ++c) table[c] = kSkip;
  for (int i = 0; i < count; ++i) {
    table[uint8_t(digits[i])] = int8_t(i);
    char c = digits[i];
    if (lower_too && c >= 'A' && c <= 'F') table[uint8_t(c - 'A' + 'a')] = int8_t(i);
  }
  table[';'] = kComment;
  return table;
}

constexpr ClassTable kBase2Classes = classes_of_low("01", 2, false);
constexpr ClassTable kBase16Classes = classes_of_low(hex::kDigits, 16, true);
constexpr ClassTable kBase58Classes = classes_of(kBase58Digits, 58, false);
constexpr ClassTable kBase64Classes = classes_of(kBase64Digits, 64, true);

// Reads the units of a text one class at a time, passing over skipped characters and comments.
class Reader {
 public:
  Reader(const uint8_t* units, uint32_t unit, uint32_t count, const ClassTable& classes)
      : units_(units), unit_(unit), count_(count), classes_(classes) {}
  // The next class that is not skipped, or kSkip at the end.
  int8_t next() {
    while (i_ < count_) {
      uint32_t c = string::get_char(units_ + size_t(i_++) * unit_, unit_);
      int8_t k = c < kAsciiEnd ? classes_[c] : kInvalid;
      if (k == kSkip) continue;
      if (k == kComment) {
        while (i_ < count_ && string::get_char(units_ + size_t(i_++) * unit_, unit_) != '\n') {
        }
        continue;
      }
      return k;
    }
    return kSkip;
  }

 private:
  const uint8_t* units_;
  uint32_t unit_, count_, i_ = 0;
  const ClassTable& classes_;
};

constexpr bool is_end(int8_t k) { return k == kSkip; }

bool decode_base2(Reader& in, std::string& out) {
  uint32_t byte = 0;
  int bits = 0;
  for (int8_t k = in.next(); !is_end(k); k = in.next()) {
    if (k < 0) return false;
    byte = byte << 1 | uint32_t(k);
    if (++bits == kByteBits) {
      out.push_back(char(byte));
      byte = 0;
      bits = 0;
    }
  }
  return bits == 0;
}

// A lone final digit is dropped.
bool decode_base16(Reader& in, std::string& out) {
  int high = -1;
  for (int8_t k = in.next(); !is_end(k); k = in.next()) {
    if (k < 0) return false;
    if (high < 0) {
      high = k;
    } else {
      out.push_back(char(high << kNibbleBits | k));
      high = -1;
    }
  }
  return true;
}

// "=" ends the data, after 2 characters of a group (1 byte) or 3 (2 bytes); text that ends
// without its padding keeps the bytes its last group completes.
bool decode_base64(Reader& in, std::string& out) {
  uint32_t group = 0;
  int chars = 0;
  auto finish = [&] {
    if (chars == 1) return false;
    group <<= (kBase64GroupChars - chars) * kSextetBits;
    for (int i = 0, shift = 2 * kByteBits; i < chars - 1; ++i, shift -= kByteBits)
      out.push_back(char(group >> shift));
    return true;
  };
  for (int8_t k = in.next(); !is_end(k); k = in.next()) {
    if (k == kPad) return chars >= 2 && finish();
    if (k < 0) return false;
    group = group << kSextetBits | uint32_t(k);
    if (++chars == kBase64GroupChars) {
      for (int shift = 2 * kByteBits; shift >= 0; shift -= kByteBits)
        out.push_back(char(group >> shift));
      group = 0;
      chars = 0;
    }
  }
  return finish();
}

bool decode_base58(Reader& in, std::string& out) {
  std::vector<uint8_t> number;   // big-endian magnitude of the digits after the leading ones
  size_t leading_zeros = 0;
  bool leading = true;
  for (int8_t k = in.next(); !is_end(k); k = in.next()) {
    if (k < 0) return false;
    if (leading && k == 0) {
      ++leading_zeros;
      continue;
    }
    leading = false;
    uint32_t carry = uint32_t(k);
    for (size_t i = number.size(); i-- > 0;) {
      carry += uint32_t(number[i]) * 58;
      number[i] = uint8_t(carry);
      carry >>= kByteBits;
    }
    for (; carry; carry >>= kByteBits) number.insert(number.begin(), uint8_t(carry));
  }
  out.assign(leading_zeros, '\0');
  out.append(number.begin(), number.end());
  return true;
}

uint8_t* encode_base2(const uint8_t* bytes, size_t n, uint8_t* out) {
  for (size_t i = 0; i < n; ++i)
    for (int bit = kByteBits - 1; bit >= 0; --bit) *out++ = '0' + ((bytes[i] >> bit) & 1);
  return out;
}

uint8_t* encode_base16(const uint8_t* bytes, size_t n, uint8_t* out) {
  for (size_t i = 0; i < n; ++i) out = hex::write_byte(out, bytes[i]);
  return out;
}

uint8_t* encode_base64(const uint8_t* bytes, size_t n, uint8_t* out) {
  size_t i = 0;
  for (; i + kBase64GroupBytes <= n; i += kBase64GroupBytes) {
    uint32_t group = uint32_t(bytes[i]) << 16 | uint32_t(bytes[i + 1]) << 8 | bytes[i + 2];
    for (int shift = 3 * kSextetBits; shift >= 0; shift -= kSextetBits)
      *out++ = kBase64Digits[(group >> shift) & kSextetMask];
  }
  size_t rest = n - i;
  if (rest) {
    uint32_t group = uint32_t(bytes[i]) << 16 | (rest == 2 ? uint32_t(bytes[i + 1]) << 8 : 0);
    *out++ = kBase64Digits[(group >> 3 * kSextetBits) & kSextetMask];
    *out++ = kBase64Digits[(group >> 2 * kSextetBits) & kSextetMask];
    *out++ = rest == 2 ? kBase64Digits[(group >> kSextetBits) & kSextetMask] : '=';
    *out++ = '=';
  }
  return out;
}

uint8_t* encode_base58(const uint8_t* bytes, size_t n, uint8_t* out) {
  size_t zeros = 0;
  while (zeros < n && bytes[zeros] == 0) ++zeros;
  std::vector<uint8_t> number(bytes + zeros, bytes + n);   // divided in place
  std::string digits;
  size_t start = 0;
  while (start < number.size()) {
    uint32_t remainder = 0;
    for (size_t i = start; i < number.size(); ++i) {
      uint32_t value = remainder << kByteBits | number[i];
      number[i] = uint8_t(value / 58);
      remainder = value % 58;
    }
    digits.push_back(kBase58Digits[remainder]);
    while (start < number.size() && number[start] == 0) ++start;
  }
  out = std::fill_n(out, zeros, uint8_t('1'));
  return std::copy(digits.rbegin(), digits.rend(), out);
}

}  // namespace

bool is_base(int32_t base) {
  return base == BASE_2 || base == BASE_16 || base == BASE_58 || base == BASE_64;
}

namespace {
// Bytes of text that encoding n bytes writes at most.
size_t encoded_size(Base base, size_t n) {
  switch (base) {
    case BASE_2: return n * kByteBits;
    case BASE_16: return n * 2;
    case BASE_58: return size_t(double(n) * kBase58DigitsPerByte) + 1;
    default: return (n + kBase64GroupBytes - 1) / kBase64GroupBytes * kBase64GroupChars;
  }
}

// Writes the text of n bytes at `out` (room for encoded_size bytes); answers the end.
uint8_t* encode(Base base, const uint8_t* bytes, size_t n, uint8_t* out) {
  switch (base) {
    case BASE_2: return encode_base2(bytes, n, out);
    case BASE_16: return encode_base16(bytes, n, out);
    case BASE_58: return encode_base58(bytes, n, out);
    default: return encode_base64(bytes, n, out);
  }
}
}  // namespace

bool decode(Base base, const uint8_t* units, uint32_t unit, uint32_t count, Cell* result) {
  std::string bytes;
  bool valid;
  switch (base) {
    case BASE_2: {
      Reader in(units, unit, count, kBase2Classes);
      valid = decode_base2(in, bytes);
      break;
    }
    case BASE_16: {
      Reader in(units, unit, count, kBase16Classes);
      valid = decode_base16(in, bytes);
      break;
    }
    case BASE_58: {
      Reader in(units, unit, count, kBase58Classes);
      valid = decode_base58(in, bytes);
      break;
    }
    default: {
      Reader in(units, unit, count, kBase64Classes);
      valid = decode_base64(in, bytes);
      break;
    }
  }
  if (valid) *result = binary::load(bytes);
  return valid;
}

Cell encode_value(const Cell* value, Base base) {
  Cell bytes;
  if (value->is(TYPE_BINARY)) {
    bytes = *value;
  } else {
    binary::make_at(&bytes, string::length(value));
    string::append_utf8_bytes(bytes.node(), value);
  }
  std::string_view data = binary::bytes(&bytes);
  // The text must fit a series: a larger one is refused before anything is written.
  if (encoded_size(base, data.size()) > kMaxEncodedSize)
    error::raise(error::CAT_SCRIPT, "too-long");
  std::string text(encoded_size(base, data.size()), '\0');
  auto* start = reinterpret_cast<uint8_t*>(text.data());
  uint8_t* end = encode(base, reinterpret_cast<const uint8_t*>(data.data()), data.size(), start);
  text.resize(size_t(end - start));
  Cell encoded;
  string::load_utf8(&encoded, text);
  return encoded;
}

bool decode_value(const Cell* text, Base base, Cell* result) {
  memory::SeriesBuffer* buffer = string::buffer_of(text);
  return decode(base, string::head_address(text, buffer), buffer->unit(), string::length(text),
                result);
}

}  // namespace xol::base_encoding
