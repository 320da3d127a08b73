// Interning and word lookup: one million symbol makes over a vocabulary of mixed-case
// spellings (most of them repeats, as a loader meets them), against a std::unordered_map doing
// the exact-name part of the same work, then one million caseless lookups of words in the
// global context.
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "runtime/datatypes/context.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/runtime.h"

namespace {

constexpr uint32_t kOperations = 1000000;
constexpr uint32_t kBaseNames = 20000;       // distinct names up to letter case
constexpr uint32_t kSpellings = 4;           // letter-case variants of each
constexpr uint32_t kSeed = 2024;

// Spelling v of a name: variant 0 as written, the others with letters raised in a pattern.
std::string spelling(const std::string& base, uint32_t variant) {
  std::string text = base;
  for (size_t i = 0; i < text.size(); ++i)
    if (variant && (i + variant) % (variant + 1) == 0 && text[i] >= 'a' && text[i] <= 'z')
      text[i] = char(text[i] - 'a' + 'A');
  return text;
}

template <class Work>
double seconds(Work&& work) {
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
  using namespace xol;
  runtime::init();
  boot::flag = 0;   // as after start-up: words are no longer kept in the root block

  std::mt19937 random(kSeed);
  const char* const stems[] = {"append", "foo-bar", "x", "on-deep-change*", "make-object",
                               "value?", "data", "to-integer"};
  std::vector<std::string> vocabulary;
  for (uint32_t n = 0; n < kBaseNames; ++n) {
    std::string base = std::string(stems[n % std::size(stems)]) + "-" + std::to_string(n);
    for (uint32_t v = 0; v < kSpellings; ++v) vocabulary.push_back(spelling(base, v));
  }
  std::vector<uint32_t> picks(kOperations);
  for (uint32_t& pick : picks) pick = uint32_t(random() % vocabulary.size());

  int32_t before = symbol::count();
  double interning = seconds([&] {
    for (uint32_t pick : picks) symbol::make(vocabulary[pick]);
  });
  std::printf("symbol::make        %u names (%d new)   %8.1f ms\n", kOperations,
              symbol::count() - before, interning * 1e3);

  std::unordered_map<std::string, int32_t> baseline;
  double baseline_time = seconds([&] {
    for (uint32_t pick : picks) baseline.try_emplace(vocabulary[pick], int32_t(baseline.size()));
  });
  std::printf("std::unordered_map  %u names              %8.1f ms   ratio %.2f\n", kOperations,
              baseline_time * 1e3, interning / baseline_time);

  std::vector<int32_t> ids(vocabulary.size());
  for (size_t i = 0; i < vocabulary.size(); ++i) ids[i] = symbol::make(vocabulary[i]);
  for (size_t i = 0; i < vocabulary.size(); i += kSpellings) context::load_global(ids[i]);
  int64_t found = 0;
  double lookups = seconds([&] {
    for (uint32_t pick : picks) found += context::find_word(context::global(), ids[pick], true) >= 0;
  });
  std::printf("context::find_word  %u caseless lookups in %d words (%lld found)   %8.1f ms\n",
              kOperations, context::word_count(context::global()), static_cast<long long>(found),
              lookups * 1e3);
  return 0;
}
