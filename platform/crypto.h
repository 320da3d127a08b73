// Cryptographic services of the system: message digests and secure random bytes.
//
// The digests (MD5, SHA-1, SHA-2) come from OpenSSL's libcrypto and the random bytes from the
// kernel's `getrandom`. Nothing here needs a context opened at start-up. A digest is taken over
// a list of byte pieces, so that a caller hashing "pad followed by data" (HMAC) hashes both in
// one pass without first joining them into a new buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace xol::platform::crypto {

enum DigestKind : int32_t { DIGEST_MD5, DIGEST_SHA1, DIGEST_SHA256, DIGEST_SHA384, DIGEST_SHA512 };

// The longest digest (SHA-512), in bytes.
constexpr size_t kMaxDigestBytes = 64;

struct Bytes {
  const void* data;
  size_t size;
};

// Writes the digest of the pieces, taken in order, into `out` (room for kMaxDigestBytes) and
// answers its length in bytes; 0 when the library fails.
size_t digest(DigestKind kind, std::initializer_list<Bytes> pieces, uint8_t* out);

// Fills `buffer` with bytes from the kernel's secure random source, waiting for it to be seeded
// at boot and retrying interrupted calls; false when the source cannot be read.
bool random_bytes(void* buffer, size_t length);

}  // namespace xol::platform::crypto
