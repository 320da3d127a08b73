// Checksums and digests: CRC-32, Adler-32, the 16-bit internet checksum, the MD5, SHA-1 and
// SHA-2 digests and their HMACs, and the work of the `checksum` native.
//
// CRC-32 and Adler-32 are also the check values of the gzip and zlib framings, so both can be
// continued over data that arrives in pieces. The digests come from the platform's crypto
// library; everything else is computed here. A digest is written into a caller's fixed buffer
// (`Digest`), large enough for the longest one, so no digest allocates.
//
// A method is named by a word; the nine method words are made once at start-up by `init`, in
// a fixed order, and a method argument is recognised by its canonical symbol, so `MD5` and
// `md5` name the same method.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace xol::checksum {

// The methods, in the order their words are made.
enum Method : int32_t {
  METHOD_TCP, METHOD_MD5, METHOD_SHA1, METHOD_CRC32, METHOD_ADLER32, METHOD_SHA256,
  METHOD_SHA384, METHOD_SHA512, METHOD_HASH,
};
constexpr int32_t kMethodCount = METHOD_HASH + 1;

// Algorithm ids of the methods that have one.
enum AlgorithmId : int32_t {
  ALG_TCP, ALG_CRC32, ALG_MD5, ALG_SHA1, ALG_SHA256, ALG_SHA384, ALG_SHA512,
};

// The longest digest (SHA-512), in bytes.
constexpr int32_t kMaxDigestSize = 64;

struct Digest {
  uint8_t bytes[kMaxDigestSize];
  int32_t size;   // 0 when nothing was computed
};

// Makes the method words.
void init();
// The algorithm id of a method; `adler32` and `hash` have none (a fatal internal error).
int32_t method_id(Method method);
// The digest size in bytes of an algorithm id; 0 for the ids that are not digests.
int32_t digest_size(int32_t id);

// The CRC-32 table, built on first use and kept.
const uint32_t* crc32_table();
// The CRC-32 (ISO 3309, reflected, polynomial 0xEDB88320) of the bytes; `crc` is the CRC of the
// bytes before them, to continue a running check.
uint32_t crc32(const uint8_t* bytes, size_t length, uint32_t crc = 0);
// The Adler-32 (RFC 1950) of the bytes; `adler` continues a running check (1 to start).
uint32_t adler32(const uint8_t* bytes, size_t length, uint32_t adler = 1);
// The 16-bit internet checksum (RFC 1071) of the bytes.
uint32_t tcp(const uint8_t* bytes, size_t length);

// The digest of algorithm id 2-6; another id raises script `invalid-arg` with the id.
Digest crypto_hash(const uint8_t* bytes, size_t length, int32_t id);
// The HMAC (RFC 2104) of the data under the key with a digest method. A method without a
// digest prints "The selected algorithm doesn't support HMAC calculation" and answers an empty
// digest.
Digest hmac(const uint8_t* data, size_t data_length, const uint8_t* key, size_t key_length,
            Method method);

// The `checksum` native's work: `data` a string! (hashed as UTF-8 from its head) or binary!,
// `method` a word, `spec` the /with argument or null; writes the answer into `result`. A file!
// is read into a binary! by the native before it comes here.
void compute(const Cell* data, const Cell* method, const Cell* spec, Cell* result);

}  // namespace xol::checksum
