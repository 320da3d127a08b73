// The default sort against std::sort (and the stable sort against std::stable_sort) on one
// million random 32-bit integers, the same input for each, printed side by side.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "runtime/sort.h"

namespace {

constexpr uint32_t kCount = 1000000;
constexpr uint32_t kSeed = 12345;

int32_t compare_ints(const void* a, const void* b, uint32_t, uint32_t) {
  uint32_t x = *static_cast<const uint32_t*>(a), y = *static_cast<const uint32_t*>(b);
  return (x > y) - (x < y);
}

template <class Sort>
double seconds(std::vector<uint32_t> data, Sort&& sort) {
  auto start = std::chrono::steady_clock::now();
  sort(data);
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!std::is_sorted(data.begin(), data.end())) std::printf("NOT SORTED\n");
  return elapsed;
}

void report(const char* ours_name, double ours, const char* theirs_name, double theirs) {
  std::printf("%-14s %8.1f ms   %-17s %8.1f ms   ratio %.2f\n", ours_name, ours * 1e3, theirs_name,
              theirs * 1e3, ours / theirs);
}

}  // namespace

int main() {
  std::mt19937 random(kSeed);
  std::vector<uint32_t> input(kCount);
  for (uint32_t& x : input) x = uint32_t(random());
  std::printf("%u random 32-bit integers\n", kCount);

  double unstable = seconds(input, [](std::vector<uint32_t>& v) {
    xol::sort::unstable(xol::sort::Target::at(v.data()), uint32_t(v.size()), 4, 0, 0, compare_ints);
  });
  double std_sort = seconds(input, [](std::vector<uint32_t>& v) { std::sort(v.begin(), v.end()); });
  report("sort/unstable", unstable, "std::sort", std_sort);

  double stable = seconds(input, [](std::vector<uint32_t>& v) {
    xol::sort::stable(xol::sort::Target::at(v.data()), uint32_t(v.size()), 4, 0, 0, compare_ints);
  });
  double std_stable = seconds(input, [](std::vector<uint32_t>& v) { std::stable_sort(v.begin(), v.end()); });
  report("sort/stable", stable, "std::stable_sort", std_stable);
  return 0;
}
