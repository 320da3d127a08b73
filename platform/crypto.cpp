// Digests over OpenSSL's EVP interface and secure random bytes from getrandom(2).
#include "platform/crypto.h"

#include <cerrno>

#include <openssl/evp.h>
#include <sys/random.h>

namespace xol::platform::crypto {
namespace {

const EVP_MD* algorithm(DigestKind kind) {
  switch (kind) {
    case DIGEST_MD5: return EVP_md5();
    case DIGEST_SHA1: return EVP_sha1();
    case DIGEST_SHA256: return EVP_sha256();
    case DIGEST_SHA384: return EVP_sha384();
    case DIGEST_SHA512: return EVP_sha512();
  }
  return nullptr;
}

}  // namespace

size_t digest(DigestKind kind, std::initializer_list<Bytes> pieces, uint8_t* out) {
  const EVP_MD* md = algorithm(kind);
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  if (!md || !context) {
    EVP_MD_CTX_free(context);
    return 0;
  }
  bool ok = EVP_DigestInit_ex(context, md, nullptr) == 1;
  for (const Bytes& piece : pieces)
    ok = ok && EVP_DigestUpdate(context, piece.data, piece.size) == 1;
  unsigned int length = 0;
  ok = ok && EVP_DigestFinal_ex(context, out, &length) == 1;
  EVP_MD_CTX_free(context);
  return ok ? length : 0;
}

bool random_bytes(void* buffer, size_t length) {
  auto* next = static_cast<uint8_t*>(buffer);
  while (length > 0) {
    ssize_t got = getrandom(next, length, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    next += got;
    length -= size_t(got);
  }
  return true;
}

}  // namespace xol::platform::crypto
