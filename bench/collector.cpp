// Allocation time against collection time for a heap of a million cells.
//
// Builds 10,000 blocks of 100 cells under one root block, every fourth cell a string, then
// times a collection with everything live, one after half the blocks were dropped (sweeping
// and sliding), and one with nothing left to move.
#include <chrono>
#include <cstdio>
#include <cstring>

#include "runtime/memory/collector.h"
#include "runtime/memory/memory.h"

namespace {

using namespace xol;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kBlocks = 10000;
constexpr uint32_t kCellsPerBlock = 100;
constexpr uint32_t kStringEvery = 4;        // one cell in four is a string
constexpr uint32_t kStringBytes = 24;

NodeId root = kNoNode;

double milliseconds_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void build_heap() {
  root = memory::alloc_cells(kBlocks);
  memory::buffer_of(root)->tail = kBlocks * sizeof(Cell);
  for (uint32_t b = 0; b < kBlocks; ++b) {
    NodeId block = memory::alloc_cells(kCellsPerBlock);
    for (uint32_t c = 0; c < kCellsPerBlock; ++c) {
      Cell cell{TYPE_INTEGER, 0, c, 0};
      if (c % kStringEvery == 0) {
        NodeId string = memory::alloc_bytes(kStringBytes);
        std::memset(memory::buffer_of(string)->data(), 'a' + c % 26, kStringBytes);
        memory::buffer_of(string)->tail = kStringBytes;
        cell = Cell{TYPE_STRING, 0, string, 0};
      }
      memory::buffer_of(block)->cells()[c] = cell;
    }
    memory::buffer_of(block)->tail = kCellsPerBlock * sizeof(Cell);
    memory::buffer_of(root)->cells()[b] = Cell{TYPE_BLOCK, 0, block, 0};
  }
}

void drop_every_other_block() {
  Cell* cells = memory::buffer_of(root)->cells();
  for (uint32_t b = 0; b < kBlocks; b += 2) cells[b] = Cell{TYPE_NONE, 0, 0, 0};
}

double timed_collection() {
  Clock::time_point start = Clock::now();
  collector::collect();
  return milliseconds_since(start);
}

}  // namespace

int main() {
  memory::init();
  collector::register_root_node(&root);
  const uint64_t cells = uint64_t(kBlocks) * kCellsPerBlock + kBlocks;

  Clock::time_point start = Clock::now();
  build_heap();
  const double allocation = milliseconds_since(start);
  const double all_live = timed_collection();
  drop_every_other_block();
  const double half_dead = timed_collection();
  const double nothing_to_move = timed_collection();

  std::printf("heap: %llu cells in %u blocks, %u strings\n", (unsigned long long)cells,
              kBlocks + 1, kBlocks * (kCellsPerBlock / kStringEvery));
  std::printf("%-34s %10s\n", "step", "ms");
  std::printf("%-34s %10.2f\n", "allocate and fill", allocation);
  std::printf("%-34s %10.2f\n", "collect, all live", all_live);
  std::printf("%-34s %10.2f\n", "collect, half the blocks dead", half_dead);
  std::printf("%-34s %10.2f\n", "collect again, nothing to move", nothing_to_move);
  memory::free_all_frames();
  return 0;
}
