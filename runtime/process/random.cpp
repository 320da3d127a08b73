// The MT19937 generator, the secure source and the range mapping.
#include "runtime/process/random.h"

#include "platform/crypto.h"
#include "runtime/process/process.h"

namespace xol::random {
namespace {

// MT19937's parameters.
constexpr int kStateWords = 624;
constexpr int kShift = 397;                      // the word each regeneration step mixes in
constexpr uint32_t kInitMultiplier = 1812433253;
constexpr int kInitShift = 30;
constexpr uint32_t kMatrix = 0x9908B0DF;
constexpr uint32_t kUpperBit = 0x80000000;
constexpr uint32_t kLowerBits = 0x7FFFFFFF;
// Tempering: shifts u, s, t, l and masks b, c.
constexpr int kTemperU = 11, kTemperS = 7, kTemperT = 15, kTemperL = 18;
constexpr uint32_t kTemperB = 0x9D2C5680;
constexpr uint32_t kTemperC = 0xEFC60000;

// Both sources keep 31 bits: the datatypes scale a draw by 2^31 - 1.
constexpr uint32_t kDrawMask = uint32_t(kMaxDraw);
constexpr double kDrawScale = 2147483647.0;     // 2^31 - 1
constexpr double kSecureScale = 2147483648.0;   // 2^31

uint32_t state[kStateWords];
int index = kStateWords;

void regenerate() {
  for (int i = 0; i < kStateWords; ++i) {
    uint32_t y = (state[i] & kUpperBit) | (state[(i + 1) % kStateWords] & kLowerBits);
    state[i] = state[(i + kShift) % kStateWords] ^ (y >> 1) ^ ((y & 1) ? kMatrix : 0);
  }
  index = 0;
}

}  // namespace

void init() { seed(kDefaultSeed); }

void seed(uint32_t seed) {
  state[0] = seed;
  for (int i = 1; i < kStateWords; ++i)
    state[i] = kInitMultiplier * (state[i - 1] ^ (state[i - 1] >> kInitShift)) + uint32_t(i);
  index = kStateWords;
}

int32_t next() {
  if (index >= kStateWords) regenerate();
  uint32_t y = state[index++];
  y ^= y >> kTemperU;
  y ^= (y << kTemperS) & kTemperB;
  y ^= (y << kTemperT) & kTemperC;
  y ^= y >> kTemperL;
  return int32_t(y & kDrawMask);
}

int32_t secure() {
  uint32_t word;
  // The kernel's source does not fail once the system is up; a process that cannot read it
  // must not go on with predictable "secure" values.
  if (!platform::crypto::random_bytes(&word, sizeof word))
    rt::runtime_error(rt::RUNTIME_ASSERTION, 0);
  return int32_t(word & kDrawMask);
}

int32_t integer_from(int32_t n, int32_t (*source)()) {
  if (n == 0) return 0;
  if (n == INT32_MIN) return -1 - source();
  int32_t bound = n < 0 ? -n : n;
  // Draws at or above the largest multiple of the bound would favour the low results.
  int32_t limit = kMaxDraw / bound * bound;
  int32_t value;
  do {
    value = source();
  } while (value >= limit);
  int32_t result = value % bound + 1;
  return n < 0 ? -result : result;
}

int32_t integer(bool from_secure, int32_t n) {
  return integer_from(n, from_secure ? secure : next);
}

double scale(double v, bool from_secure) {
  if (!from_secure) return v * (next() / kDrawScale);
  double first = secure();
  double second = secure();
  return (first / kDrawScale + second) / (kSecureScale / v);
}

}  // namespace xol::random
