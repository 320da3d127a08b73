// The default sort against std::sort (and the stable sort against std::stable_sort) on one
// million random 32-bit integers, the same input for each, printed side by side. Then the
// default sort of the same integers as cells in a series, its comparisons declared built-in
// (the base address fetched once) against declared to run code (fetched after each).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "runtime/memory/collector.h"
#include "runtime/memory/memory.h"
#include "runtime/tables/sort.h"

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

int32_t compare_cells(const void* a, const void* b, uint32_t, uint32_t) {
  uint32_t x = static_cast<const xol::Cell*>(a)->data2, y = static_cast<const xol::Cell*>(b)->data2;
  return (x > y) - (x < y);
}

// Seconds of the default sort of the input as integer cells in a new series.
double series_seconds(const std::vector<uint32_t>& input, xol::sort::Comparisons comparisons) {
  xol::NodeId node = xol::memory::alloc_cells(uint32_t(input.size()));
  auto* cells = reinterpret_cast<xol::Cell*>(xol::memory::buffer_of(node)->data());
  for (size_t i = 0; i < input.size(); ++i) cells[i] = xol::Cell{xol::TYPE_INTEGER, 0, input[i], 0};
  xol::memory::buffer_of(node)->tail = uint32_t(input.size() * sizeof(xol::Cell));
  auto start = std::chrono::steady_clock::now();
  xol::sort::unstable(xol::sort::Target::in_series(node, 0, comparisons), uint32_t(input.size()),
                      sizeof(xol::Cell), 0, 0, compare_cells);
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  cells = reinterpret_cast<xol::Cell*>(xol::memory::buffer_of(node)->data());
  if (!std::is_sorted(cells, cells + input.size(),
                      [](const xol::Cell& x, const xol::Cell& y) { return x.data2 < y.data2; }))
    std::printf("NOT SORTED\n");
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

  xol::collector::active = false;
  xol::memory::init();
  double built_in = series_seconds(input, xol::sort::Comparisons::BUILT_IN);
  double run_code = series_seconds(input, xol::sort::Comparisons::RUN_CODE);
  report("cells built-in", built_in, "cells run code", run_code);
  xol::memory::free_all_frames();
  return 0;
}
