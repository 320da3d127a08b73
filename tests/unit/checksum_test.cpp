// Checksums and digests against their published vectors (CRC-32, Adler-32, RFC 1071, FIPS
// 180 digests, RFC 2104 HMACs), and the `checksum` native's conversions, results and errors.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/io/checksum.h"
#include "runtime/datatypes/error_raise.h"
#include "tests/unit/stdout_capture.h"
#include "tests/unit/value_layer_fixture.h"

namespace xol {
namespace {

const uint8_t* bytes_of(std::string_view text) {
  return reinterpret_cast<const uint8_t*>(text.data());
}

std::string hex(const uint8_t* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0xF];
  }
  return out;
}
std::string hex(const checksum::Digest& digest) { return hex(digest.bytes, size_t(digest.size)); }

const std::string kFox = "The quick brown fox jumps over the lazy dog";

// ---- the plain checksums ----

TEST(Checksum, Crc32TableIsTheReflectedIeeeTable) {
  const uint32_t* table = checksum::crc32_table();
  EXPECT_EQ(table[0], 0u);
  EXPECT_EQ(table[1], 0x77073096u);
  EXPECT_EQ(table[128], 0xEDB88320u);
  EXPECT_EQ(table[255], 0x2D02EF8Du);
}

TEST(Checksum, KnownVectors) {
  struct Case {
    std::string_view text;
    uint32_t crc32, adler32;
  };
  const Case kCases[] = {
      {"", 0, 1},
      {"a", 0xE8B7BE43, 0x00620062},
      {"abc", 0x352441C2, 0x024D0127},
      {"123456789", 0xCBF43926, 0x091E01DE},
      {"Wikipedia", 0xADAAC02E, 0x11E60398},
      {kFox, 0x414FA339, 0x5BDC0FDA},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(checksum::crc32(bytes_of(c.text), c.text.size()), c.crc32) << c.text;
    EXPECT_EQ(checksum::adler32(bytes_of(c.text), c.text.size()), c.adler32) << c.text;
  }
}

// Sums that would overflow 32 bits without the periodic reductions, and checks continued over
// pieces split at awkward places.
TEST(Checksum, LongInputsAndRunningChecks) {
  std::vector<uint8_t> data(100003, 0xFF);
  for (size_t i = 0; i < data.size(); i += 7) data[i] = uint8_t(i);
  uint64_t a = 1, b = 0;
  for (uint8_t byte : data) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  uint32_t adler = checksum::adler32(data.data(), data.size());
  EXPECT_EQ(adler, uint32_t(b << 16 | a));
  uint32_t crc = checksum::crc32(data.data(), data.size());
  for (size_t split : {size_t(1), size_t(5552), size_t(65536)}) {
    uint32_t first_crc = checksum::crc32(data.data(), split);
    EXPECT_EQ(checksum::crc32(data.data() + split, data.size() - split, first_crc), crc) << split;
    uint32_t first_adler = checksum::adler32(data.data(), split);
    EXPECT_EQ(checksum::adler32(data.data() + split, data.size() - split, first_adler), adler)
        << split;
  }
}

TEST(Checksum, InternetChecksum) {
  struct Case {
    std::vector<uint8_t> bytes;
    uint32_t expected;
  };
  const Case kCases[] = {
      {{}, 0xFFFF},
      {{0x01}, 0xFEFF},                                         // one word 0x0100
      {{0x01, 0x02, 0x03}, 0xFBFD},                             // 0x0102 + 0x0300
      {{0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7}, 0x220D},   // RFC 1071's example
      {{0xFF, 0xFF, 0xFF, 0xFF}, 0x0000},                       // carries folded back in
  };
  for (const Case& c : kCases)
    EXPECT_EQ(checksum::tcp(c.bytes.data(), c.bytes.size()), c.expected);
}

// ---- digests and HMACs ----

TEST(Checksum, DigestSizesAndIds) {
  const int32_t kSizes[] = {0, 0, 16, 20, 32, 48, 64, 0};
  for (int32_t id = 0; id < 8; ++id) EXPECT_EQ(checksum::digest_size(id), kSizes[id]) << id;
  EXPECT_EQ(checksum::digest_size(-1), 0);
  const int32_t kIds[] = {0, 2, 3, 1, -1, 4, 5, 6};   // in method order; adler32 has none
  for (int32_t m = 0; m < 8; ++m)
    if (kIds[m] >= 0) {
      EXPECT_EQ(checksum::method_id(checksum::Method(m)), kIds[m]) << m;
    }
}

TEST(Checksum, DigestsOfAbc) {
  struct Case {
    int32_t id;
    std::string_view text, expected;
  };
  const Case kCases[] = {
      {checksum::ALG_MD5, "", "d41d8cd98f00b204e9800998ecf8427e"},
      {checksum::ALG_MD5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
      {checksum::ALG_SHA1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {checksum::ALG_SHA256, "abc",
       "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {checksum::ALG_SHA384, "abc",
       "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca1"
       "34c825a7"},
      {checksum::ALG_SHA512, "abc",
       "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23"
       "a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(hex(checksum::crypto_hash(bytes_of(c.text), c.text.size(), c.id)), c.expected);
}

TEST(Checksum, HmacVectors) {
  std::string long_key;
  for (int i = 0; i < 200; ++i) long_key += char(i);   // longer than both block sizes
  struct Case {
    checksum::Method method;
    std::string key, data;
    std::string_view expected;
  };
  const Case kCases[] = {
      {checksum::METHOD_MD5, "key", kFox, "80070713463e7749b90c2dc24911e275"},
      {checksum::METHOD_SHA1, "key", kFox, "de7c9b85b8b78aa6bc8a7a36f70a90701c9db4d9"},
      {checksum::METHOD_SHA256, "key", kFox,
       "f7bc83f430538424b13298e6aa6fb143ef4d59a14946175997479dbc2d1a3cd8"},
      {checksum::METHOD_SHA512, "key", kFox,
       "b42af09057bac1e2d41708e48a902e09b5ff7f12ab428a4fe86653c73dd248fb82f948a549f7b791a5b41915"
       "ee4d1ec3935357e4e2317250d0372afa2ebeeb3a"},
      {checksum::METHOD_SHA256, long_key, "abc",
       "9e46e2c4b04219e5432c64395c33a1ed11d947bbeff71f5e610a8a98da5599bc"},
      {checksum::METHOD_SHA512, long_key, "abc",
       "4319a6f0a1f256bd58e92f10f14b80a68042694625f8afdceff857a255d5756160447262314594a30f122eb8"
       "1428c55c1da267dadcaa0c6f9c8e3daf17bb19e7"},
      {checksum::METHOD_SHA256, "", "",
       "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad"},
  };
  for (const Case& c : kCases) {
    checksum::Digest digest = checksum::hmac(bytes_of(c.data), c.data.size(), bytes_of(c.key),
                                             c.key.size(), c.method);
    EXPECT_EQ(hex(digest), c.expected) << c.method << " key of " << c.key.size();
  }
}

TEST(Checksum, HmacOfAMethodWithoutDigestComputesNothing) {
  checksum::Digest digest{};
  std::string out = test::capture_stdout([&] {
    digest = checksum::hmac(bytes_of("abc"), 3, bytes_of("k"), 1, checksum::METHOD_CRC32);
  });
  EXPECT_EQ(out, "The selected algorithm doesn't support HMAC calculation\n");
  EXPECT_EQ(digest.size, 0);
}

// ---- the native's work ----

class ChecksumNativeTest : public testing::ValueLayerTest {
 protected:
  void SetUp() override {
    ValueLayerTest::SetUp();
    checksum::init();
  }

  static Cell text(std::string_view chars) {
    Cell s;
    string::load_utf8(&s, chars);
    return s;
  }
  static Cell bin(std::string_view bytes) { return binary::load(bytes); }
  static Cell method(std::string_view name) { return word::load(name); }

  static Cell run(Cell data, std::string_view name, const Cell* spec = nullptr) {
    Cell word = method(name), result{};
    checksum::compute(&data, &word, spec, &result);
    return result;
  }
  static std::string hex_of(const Cell& binary) {
    std::string_view bytes = binary::bytes(&binary);
    return hex(bytes_of(bytes), bytes.size());
  }
};

TEST_F(ChecksumNativeTest, IntegersForThePlainChecksums) {
  struct Case {
    Cell data;
    std::string_view method;
    int32_t expected;
  };
  Cell later = text("xabc");
  later.data1 = 1;   // hashed from its head: "abc"
  const Case kCases[] = {
      {text(""), "crc32", 0},
      {text("abc"), "crc32", 891568578},
      {text("a"), "crc32", -390611389},      // 0xE8B7BE43 read as signed
      {later, "crc32", 891568578},
      {text("\xC3\xA9"), "crc32", 235179326},   // é is hashed as its UTF-8 bytes
      {text(""), "adler32", 1},
      {bin("abc"), "adler32", 38600999},
      {bin("\x01"), "tcp", 65279},
      {bin(""), "tcp", 65535},
      {text("abc"), "CRC32", 891568578},      // method words in any letter case
  };
  for (const Case& c : kCases) {
    Cell result = run(c.data, c.method);
    ASSERT_TRUE(result.is(TYPE_INTEGER)) << c.method;
    EXPECT_EQ(integer::get(&result), c.expected) << c.method;
  }
}

TEST_F(ChecksumNativeTest, BinariesForDigestsAndHmacs) {
  Cell md5 = run(text("abc"), "md5");
  ASSERT_TRUE(md5.is(TYPE_BINARY));
  EXPECT_EQ(hex_of(md5), "900150983cd24fb0d6963f7d28e17f72");
  Cell sha512 = run(bin("abc"), "SHA512");
  EXPECT_EQ(binary::length(&sha512), 64u);
  Cell key = text("key");
  EXPECT_EQ(hex_of(run(text(kFox), "sha256", &key)),
            "f7bc83f430538424b13298e6aa6fb143ef4d59a14946175997479dbc2d1a3cd8");
  Cell key_bytes = bin("key");
  EXPECT_EQ(hex_of(run(text(kFox), "md5", &key_bytes)), "80070713463e7749b90c2dc24911e275");
}

TEST_F(ChecksumNativeTest, IntegerSpecPrintsTheNotImplementedLineAndAnswersZero) {
  Cell size = integer::make(10), result{};
  std::string out = test::capture_stdout([&] { result = run(text("abc"), "md5", &size); });
  EXPECT_EQ(out, "** /hash support not yet implemented; algorithm TBD.\n");
  EXPECT_TRUE(result.is(TYPE_INTEGER));
  EXPECT_EQ(integer::get(&result), 0);
}

TEST_F(ChecksumNativeTest, Errors) {
  Cell key = text("k"), size = integer::make(10), number = integer::make(1);
  Cell other = method("word");
  struct Case {
    Cell data;
    std::string_view method;
    const Cell* spec;
    std::string_view expected;
  };
  const Case kCases[] = {
      {text("abc"), "crc32", &key, "invalid-refine-arg"},
      {text("abc"), "tcp", &size, "invalid-refine-arg"},   // before the integer spec's line
      {text("abc"), "adler32", &key, "invalid-refine-arg"},
      {text("abc"), "hash", nullptr, "invalid-refine-arg"},
      {text("abc"), "hash", &key, "invalid-refine-arg"},
      {text("abc"), "foo", nullptr, "invalid-arg"},
      {number, "md5", nullptr, "invalid-arg"},
      {text("abc"), "md5", &other, "invalid-arg"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(raised_id([&] { run(c.data, c.method, c.spec); }), c.expected) << c.method;
  EXPECT_EQ(raised_id([] { checksum::crypto_hash(bytes_of("abc"), 3, checksum::ALG_CRC32); }),
            "invalid-arg");
}

}  // namespace
}  // namespace xol
