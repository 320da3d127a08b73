// Number text benchmark: the shortest round-trip text of a double (what `mold` prints)
// against the C library's "%.17g", which always reads back but is neither short nor fast,
// and reading that text back against `strtod`. A million random finite doubles drawn from
// random bit patterns, so every exponent and subnormals are represented.
#include "runtime/text/number_text.h"

#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int VALUE_COUNT = 1'000'000;
constexpr unsigned SEED = 12345;
constexpr int TEXT_CAPACITY = 32;

using Clock = std::chrono::steady_clock;

std::vector<double> random_doubles() {
  std::mt19937_64 rng(SEED);
  std::vector<double> values;
  values.reserve(VALUE_COUNT);
  while (values.size() < VALUE_COUNT) {
    double v = std::bit_cast<double>(rng());
    if (std::isfinite(v)) values.push_back(v);
  }
  return values;
}

// Runs `body` over every value and answers the elapsed milliseconds; `sink` collects a result
// of each call so that no call can be optimised away.
template <class Body>
double time_ms(const std::vector<double>& values, size_t* sink, Body body) {
  Clock::time_point start = Clock::now();
  for (double v : values) *sink += body(v);
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void report(const char* what, const char* ours_name, double ours, const char* libc_name,
            double libc) {
  std::printf("%-22s %-24s %9.1f ms   %-20s %9.1f ms   ratio %5.2fx\n", what, ours_name, ours,
              libc_name, libc, libc / ours);
}

}  // namespace

int main() {
  std::vector<double> values = random_doubles();
  size_t sink = 0;
  char buffer[TEXT_CAPACITY];

  double shortest = time_ms(values, &sink, [](double v) {
    return std::strlen(xol::dtoa::to_text(v, 0, true));
  });
  double printf17 = time_ms(values, &sink, [&](double v) {
    return static_cast<size_t>(std::snprintf(buffer, sizeof buffer, "%.17g", v));
  });

  std::vector<char> texts(static_cast<size_t>(VALUE_COUNT) * TEXT_CAPACITY);
  for (size_t i = 0; i < values.size(); ++i) {
    std::strcpy(&texts[i * TEXT_CAPACITY], xol::dtoa::to_text(values[i], 0, true));
  }
  size_t index = 0;
  double from_text = time_ms(values, &sink, [&](double) {
    const char* text = &texts[index++ * TEXT_CAPACITY];
    int left_over = 0;
    double v = xol::dtoa::from_text(text, text + std::strlen(text), 0, &left_over);
    return static_cast<size_t>(v != 0.0) + static_cast<size_t>(left_over);
  });
  index = 0;
  double strtod_ms = time_ms(values, &sink, [&](double) {
    return static_cast<size_t>(std::strtod(&texts[index++ * TEXT_CAPACITY], nullptr) != 0.0);
  });

  std::printf("%d random finite doubles; ratio = C library time / ours\n", VALUE_COUNT);
  report("double -> text", "dtoa::to_text shortest", shortest, "snprintf %.17g", printf17);
  report("text -> double", "dtoa::from_text", from_text, "strtod", strtod_ms);
  std::printf("(checksum %zu)\n", sink);
  return 0;
}
