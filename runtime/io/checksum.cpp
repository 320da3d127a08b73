// The checksum algorithms, the HMAC construction over the platform's digests, and the
// `checksum` native's checks and results.
#include "runtime/io/checksum.h"

#include <array>
#include <cstring>
#include <string_view>

#include "platform/crypto.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/process/low_print.h"
#include "runtime/process/process.h"
#include "runtime/datatypes/runtime_words.h"

namespace xol::checksum {
namespace {

constexpr int32_t kNoId = -1;
// HMAC blocks: the hash functions' input block sizes.
constexpr size_t kShortBlock = 64;
constexpr size_t kLongBlock = 128;   // SHA-384 and SHA-512
constexpr uint8_t kInnerPad = 0x36;
constexpr uint8_t kOuterPad = 0x5C;

struct MethodInfo {
  const char* word;
  int32_t id;          // kNoId for adler32 and hash
  size_t hmac_block;   // 0 for the methods without a digest
};
// In Method order, which is the order the words are made in.
constexpr MethodInfo kMethods[kMethodCount] = {
    {"tcp", ALG_TCP, 0},           {"md5", ALG_MD5, kShortBlock},
    {"sha1", ALG_SHA1, kShortBlock}, {"crc32", ALG_CRC32, 0},
    {"adler32", kNoId, 0},         {"sha256", ALG_SHA256, kShortBlock},
    {"sha384", ALG_SHA384, kLongBlock}, {"sha512", ALG_SHA512, kLongBlock},
    {"hash", kNoId, 0},
};

// Digest sizes and the library's algorithms, by algorithm id.
constexpr int32_t kDigestSizes[] = {0, 0, 16, 20, 32, 48, 64};
constexpr int32_t kIdCount = int32_t(sizeof kDigestSizes / sizeof kDigestSizes[0]);
constexpr platform::crypto::DigestKind kDigestKinds[] = {
    platform::crypto::DIGEST_MD5, platform::crypto::DIGEST_SHA1, platform::crypto::DIGEST_SHA256,
    platform::crypto::DIGEST_SHA384, platform::crypto::DIGEST_SHA512};
static_assert(sizeof kDigestKinds / sizeof kDigestKinds[0] == ALG_SHA512 - ALG_MD5 + 1);
static_assert(kMaxDigestSize == int32_t(platform::crypto::kMaxDigestBytes));

int32_t method_symbols[kMethodCount];

constexpr uint32_t kCrcPolynomial = 0xEDB88320;   // IEEE 802.3, bit-reversed
constexpr int kCrcTableSize = 256;
constexpr int kBitsPerByte = 8;
constexpr uint32_t kByteMask = 0xFF;

constexpr uint32_t kAdlerModulus = 65521;          // the largest prime below 2^16
// The most bytes whose sums cannot overflow 32 unsigned bits before they are reduced.
constexpr size_t kAdlerBlock = 5552;
constexpr int kHalfShift = 16;
constexpr uint32_t kHalfMask = 0xFFFF;

const char* const kNoHmacLine = "The selected algorithm doesn't support HMAC calculation";
const char* const kNoHashLine = "** /hash support not yet implemented; algorithm TBD.";

bool has_digest(Method method) { return kMethods[method].hmac_block != 0; }

[[noreturn]] void raise_with(const Cell* spec) {
  Cell refinement = words::refs.with;
  Cell none{TYPE_NONE, 0, 0, 0};
  error::raise(error::CAT_SCRIPT, "invalid-refine-arg", &refinement, spec ? spec : &none);
}

// A binary! holding the bytes a string! or binary! argument stands for: the binary itself, or
// a string's UTF-8 from its head.
Cell bytes_of(const Cell* value) {
  if (value->is(TYPE_BINARY)) return *value;
  Cell made;
  binary::make_at(&made, string::length(value));
  string::append_utf8_bytes(made.node(), value);
  return made;
}

const uint8_t* data_of(std::string_view bytes) {
  return reinterpret_cast<const uint8_t*>(bytes.data());
}

Cell binary_of(const Digest& digest) {
  return binary::load({reinterpret_cast<const char*>(digest.bytes), size_t(digest.size)});
}

// The digest of the pieces by algorithm id (2 to 6).
Digest digest_of(int32_t id, std::initializer_list<platform::crypto::Bytes> pieces) {
  Digest digest;
  digest.size =
      int32_t(platform::crypto::digest(kDigestKinds[id - ALG_MD5], pieces, digest.bytes));
  // The library fails only when it cannot work at all; a wrong digest must never be answered.
  if (digest.size != kDigestSizes[id]) rt::runtime_error(rt::RUNTIME_ASSERTION, 0);
  return digest;
}

}  // namespace

void init() {
  for (int32_t m = 0; m < kMethodCount; ++m)
    method_symbols[m] = symbol::resolve(symbol::make(kMethods[m].word));
}

namespace {
// The method a symbol names (compared without regard to case), or -1.
int32_t method_of(int32_t symbol) {
  int32_t canonical = symbol::resolve(symbol);
  for (int32_t m = 0; m < kMethodCount; ++m)
    if (method_symbols[m] == canonical) return m;
  return -1;
}
}  // namespace

int32_t method_id(Method method) {
  int32_t id = kMethods[method].id;
  if (id == kNoId) rt::runtime_error(rt::RUNTIME_ASSERTION, 0);
  return id;
}

int32_t digest_size(int32_t id) { return id >= 0 && id < kIdCount ? kDigestSizes[id] : 0; }

const uint32_t* crc32_table() {
  static const std::array<uint32_t, kCrcTableSize> table = [] {
    std::array<uint32_t, kCrcTableSize> entries{};
    for (uint32_t n = 0; n < kCrcTableSize; ++n) {
      uint32_t c = n;
      for (int bit = 0; bit < kBitsPerByte; ++bit) c = (c & 1) ? kCrcPolynomial ^ (c >> 1) : c >> 1;
      entries[n] = c;
    }
    return entries;
  }();
  return table.data();
}

uint32_t crc32(const uint8_t* bytes, size_t length, uint32_t crc) {
  const uint32_t* table = crc32_table();
  uint32_t r = ~crc;
  for (size_t i = 0; i < length; ++i) r = table[(r ^ bytes[i]) & kByteMask] ^ (r >> kBitsPerByte);
  return ~r;
}

uint32_t adler32(const uint8_t* bytes, size_t length, uint32_t adler) {
  uint32_t a = adler & kHalfMask, b = adler >> kHalfShift;
  while (length > 0) {
    size_t block = length < kAdlerBlock ? length : kAdlerBlock;
    length -= block;
    for (; block > 0; --block) {
      a += *bytes++;
      b += a;
    }
    a %= kAdlerModulus;
    b %= kAdlerModulus;
  }
  return (b << kHalfShift) | a;
}

uint32_t tcp(const uint8_t* bytes, size_t length) {
  uint64_t sum = 0;
  size_t i = 0;
  for (; i + 1 < length; i += 2) sum += uint32_t(bytes[i]) << kBitsPerByte | bytes[i + 1];
  if (i < length) sum += uint32_t(bytes[i]) << kBitsPerByte;
  while (sum >> kHalfShift) sum = (sum & kHalfMask) + (sum >> kHalfShift);
  return ~uint32_t(sum) & kHalfMask;
}

Digest crypto_hash(const uint8_t* bytes, size_t length, int32_t id) {
  if (id < ALG_MD5 || id > ALG_SHA512) {
    Cell id_cell = integer::make(id);
    error::raise(error::CAT_SCRIPT, "invalid-arg", &id_cell);
  }
  return digest_of(id, {{bytes, length}});
}

Digest hmac(const uint8_t* data, size_t data_length, const uint8_t* key, size_t key_length,
            Method method) {
  if (!has_digest(method)) {
    rt::print_line(kNoHmacLine);
    return Digest{{}, 0};
  }
  int32_t id = kMethods[method].id;
  size_t block = kMethods[method].hmac_block;
  Digest hashed_key;
  if (key_length > block) {
    hashed_key = digest_of(id, {{key, key_length}});
    key = hashed_key.bytes;
    key_length = size_t(hashed_key.size);
  }
  uint8_t inner_pad[kLongBlock] = {}, outer_pad[kLongBlock] = {};
  if (key_length) {
    std::memcpy(inner_pad, key, key_length);
    std::memcpy(outer_pad, key, key_length);
  }
  for (size_t i = 0; i < block; ++i) {
    inner_pad[i] ^= kInnerPad;
    outer_pad[i] ^= kOuterPad;
  }
  Digest inner = digest_of(id, {{inner_pad, block}, {data, data_length}});
  return digest_of(id, {{outer_pad, block}, {inner.bytes, size_t(inner.size)}});
}

void compute(const Cell* data, const Cell* method, const Cell* spec, Cell* result) {
  if (!data->is(TYPE_STRING) && !data->is(TYPE_BINARY))
    error::raise(error::CAT_SCRIPT, "invalid-arg", data);
  int32_t found = word::any_word_type(method->type()) ? method_of(word::symbol_of(method)) : -1;
  if (found < 0) error::raise(error::CAT_SCRIPT, "invalid-arg", method);
  Method m = Method(found);
  bool plain_checksum = m == METHOD_CRC32 || m == METHOD_TCP || m == METHOD_ADLER32;
  if (spec && plain_checksum) raise_with(spec);
  if (spec && !spec->is(TYPE_STRING) && !spec->is(TYPE_BINARY) && !spec->is(TYPE_INTEGER))
    error::raise(error::CAT_SCRIPT, "invalid-arg", spec);
  if (spec && spec->is(TYPE_INTEGER)) {
    rt::print_line(kNoHashLine);
    *result = integer::make(0);
    return;
  }
  if (m == METHOD_HASH) raise_with(spec);

  // Both conversions allocate: the byte views are taken only after them.
  Cell input = bytes_of(data);
  Cell key = spec ? bytes_of(spec) : Cell{TYPE_NONE, 0, 0, 0};
  std::string_view bytes = binary::bytes(&input);
  switch (m) {
    case METHOD_CRC32:
      *result = integer::make(int32_t(crc32(data_of(bytes), bytes.size())));
      return;
    case METHOD_TCP:
      *result = integer::make(int32_t(tcp(data_of(bytes), bytes.size())));
      return;
    case METHOD_ADLER32:
      *result = integer::make(int32_t(adler32(data_of(bytes), bytes.size())));
      return;
    default:
      break;
  }
  if (!spec) {
    *result = binary_of(crypto_hash(data_of(bytes), bytes.size(), kMethods[m].id));
    return;
  }
  std::string_view key_bytes = binary::bytes(&key);
  *result = binary_of(
      hmac(data_of(bytes), bytes.size(), data_of(key_bytes), key_bytes.size(), m));
}

}  // namespace xol::checksum
