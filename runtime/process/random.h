// The process's random numbers: one MT19937 generator and a secure source, shared by the
// `random` action of every datatype.
//
// The generator starts from a fixed seed, so every run draws the same sequence until a script
// seeds it. Both sources answer 31-bit values (0 to 2^31 - 1): the generator's tempered output
// and the secure source's four bytes each lose their top bit. The datatypes build on three
// shapes of draw: a raw 31-bit value (`draw`), a uniform integer for a bound (`integer`, by
// rejection sampling, so that every result is equally likely) and a fraction of a float
// (`scale`). Seeding a datatype's value ends in `seed` with a 32-bit word that the type derives
// from its value.
#pragma once

#include <cstdint>

namespace xol::random {

// The seed every run starts from.
constexpr uint32_t kDefaultSeed = 19650218;
// The largest draw of either source.
constexpr int32_t kMaxDraw = 0x7FFFFFFF;

// Seeds the generator with kDefaultSeed.
void init();
// Re-initialises the generator from `seed`; the next draw regenerates the whole state first.
void seed(uint32_t seed);
// The generator's next value, 0 to 2^31 - 1.
int32_t next();
// A value from the secure source, 0 to 2^31 - 1.
int32_t secure();
// `secure()` when `from_secure`, else `next()`.
inline int32_t draw(bool from_secure) { return from_secure ? secure() : next(); }

// A uniform integer for the bound n: 1 to n for n > 0, n to -1 for n < 0, 0 for 0 (without a
// draw). Draws come from the secure source when `from_secure`.
int32_t integer(bool from_secure, int32_t n);
// The same mapping over any source of 31-bit draws.
int32_t integer_from(int32_t n, int32_t (*source)());

// A random float from 0 to v: v × (draw / (2^31 - 1)) from the generator; from the secure
// source two draws a and b give (a / (2^31 - 1) + b) / (2^31 / v), a finer fraction.
double scale(double v, bool from_secure);

}  // namespace xol::random
