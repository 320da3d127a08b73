// The stable run-merging sort and the default partition sort.
//
// Both work on element positions through `Sorter`, which holds the base address and fetches it
// again after every comparison that may move the elements, so no stale address survives one. The
// stable sort finds natural runs (a strictly descending run is reversed, so equal neighbours never
// trade places), pads short runs to 24 elements by insertion, and merges runs in the order their
// boundaries' "powers" give, which keeps merges balanced. Each merge copies the shorter run out to
// a scratch buffer; the gap it leaves always holds exactly as many places as scratch elements
// remain, so a guard that copies those back into the gap ends every merge, normally or by an
// exception.
//
// The default sort first measures the leading run and samples the rest for order; nearly
// ordered input gets its ordered stretches gathered into the sorted prefix. What is left goes
// to a three-way partition sort that knows which end of its range is already sorted and
// builds its pivot from that run.
#include "runtime/tables/sort.h"

#include <algorithm>
#include <cstring>

#include "runtime/memory/collector.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/process/tracked_heap.h"

namespace xol::sort {

namespace {
void swap(uint8_t* a, uint8_t* b, uint32_t bytes, bool by_bytes);

// Stable sort.
constexpr uint32_t kMinMergeRun = 24;        // shorter natural runs are padded by insertion
constexpr uint32_t kRunStackEntries = 34;    // floor(log2 n) + 1 for any 32-bit n, plus a spare
constexpr uint64_t kMaxScratchBytes = 0x7FFFFFFF;

// Default sort.
constexpr uint32_t kOrderSampleStep = 97;    // gap between the order samples after the prefix
constexpr uint32_t kNearOrderDivisor = 512;  // |score| above n / 512 counts as nearly ordered
constexpr uint32_t kProbeStep = 10;          // distance between near-order probes
constexpr uint32_t kMinProbedRun = 4;        // shorter runs found by a probe stay put
constexpr uint32_t kOverlapDivisor = 4;      // a run may push back at most last / 4 elements
constexpr uint32_t kInsertionLimit = 7;      // ranges this short are sorted by insertion
constexpr uint32_t kMinKnownRun = 3;         // a sorted run shorter than this is ignored
constexpr uint32_t kSampledRange = 512;      // from this length a pivot sample is taken
constexpr uint32_t kPivotSample = 63;        // elements of that sample
constexpr uint32_t kRunSampleFactor = 16;    // a known run seeds a sample 16 times its length
constexpr uint32_t kRunSampleDivisor = 256;  // when the run is at most 1/256 of the range

int sign(int32_t r) { return (r > 0) - (r < 0); }

struct Sorter {
  Sorter(Target target, uint32_t size, uint32_t op, uint32_t flags, Compare compare)
      : target(target), size(size), op(op), flags(flags), compare(compare),
        by_bytes(size % sizeof(uint32_t) != 0), base(target.base()) {}

  Target target;
  uint32_t size;
  uint32_t op;
  uint32_t flags;
  Compare compare;
  bool by_bytes;
  // The elements' address: a cache of target.base() kept in step by compare_elements, and by
  // refresh where a comparison may have thrown.
  mutable uint8_t* base;

  void refresh() const { base = target.base(); }
  uint8_t* at(uint32_t i) const { return base + size_t(i) * size; }
  int32_t compare_elements(const uint8_t* a, const uint8_t* b) const {
    int32_t r = compare(a, b, op, flags);
    if (target.may_move()) refresh();
    return r;
  }
  int32_t cmp(uint32_t i, uint32_t j) const { return compare_elements(at(i), at(j)); }
  void exchange(uint32_t i, uint32_t j) const { swap(at(i), at(j), size, by_bytes); }
  void reverse(uint32_t first, uint32_t last) const {
    while (first < last) exchange(first++, last--);
  }
  // Straight insertion of the elements from `from` to `to` into the sorted run at `start`.
  void insert(uint32_t start, uint32_t from, uint32_t to) const {
    for (uint32_t i = from; i < to; ++i)
      for (uint32_t j = i; j > start && cmp(j - 1, j) > 0; --j) exchange(j - 1, j);
  }
};

// ---- stable sort ----

// While a merge runs, an element may live in the scratch buffer alone, and a comparison that
// runs code may collect: a scratch of cells is therefore a root. It starts zeroed (type 0 marks
// nothing), and every cell ever copied into it stays marked until the sort ends. Such scratches
// form a stack, since a comparison may sort again.
struct Scratch;
Scratch* cell_scratches = nullptr;
void mark_cell_scratches();

struct Scratch {
  uint8_t* bytes;
  size_t size;
  Scratch* outer = nullptr;
  bool cells;
  Scratch(size_t size, bool cells) : size(size), cells(cells) {
    bytes = static_cast<uint8_t*>(cells ? rt::allocate_zeroed(size) : rt::allocate(size));
    if (!cells) return;
    if (!cell_scratches) collector::register_mark(mark_cell_scratches);
    outer = cell_scratches;
    cell_scratches = this;
  }
  ~Scratch() {
    if (cells) {
      cell_scratches = outer;
      if (!cell_scratches) collector::unregister_mark(mark_cell_scratches);
    }
    rt::free(bytes);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
};

void mark_cell_scratches() {
  for (const Scratch* scratch = cell_scratches; scratch; scratch = scratch->outer) {
    const Cell* first = reinterpret_cast<const Cell*>(scratch->bytes);
    collector::mark_cells(first, first + scratch->size / sizeof(Cell));
  }
}

// The end of the natural run at `start`; a strictly descending run is reversed first.
uint32_t find_run(const Sorter& s, uint32_t start, uint32_t n) {
  uint32_t end = start + 1;
  if (end >= n) return n;
  if (s.cmp(start, end) <= 0) {
    while (++end < n && s.cmp(end - 1, end) <= 0) {}
  } else {
    while (++end < n && s.cmp(end - 1, end) > 0) {}
    s.reverse(start, end - 1);
  }
  return end;
}

// The next run from `start`, padded by insertion to the minimum length.
uint32_t next_run(const Sorter& s, uint32_t start, uint32_t n) {
  uint32_t end = find_run(s, start, n);
  uint32_t padded = std::min<uint64_t>(uint64_t(start) + kMinMergeRun, n);
  if (end < padded) {
    s.insert(start, end, padded);
    end = padded;
  }
  return end;
}

// The depth in the merge tree of the boundary between [s1, e1) and [s2, e2): one more than the
// number of leading bits that the runs' midpoints, as fractions of n, share.
uint32_t power(uint64_t s1, uint64_t e1, uint64_t s2, uint64_t e2, uint64_t n) {
  uint64_t a = s1 + e1, b = s2 + e2;
  uint32_t p = 0;
  while ((a < n) == (b < n)) {
    ++p;
    if (a >= n) {
      a -= n;
      b -= n;
    }
    a *= 2;
    b *= 2;
  }
  return p + 1;
}

// Copies `count` scratch elements from scratch index `from` into the array at `to` when it
// goes out of scope: the merge's cursors say what is left, so this both finishes a merge and
// restores the array when a comparison throws.
class GapFiller {
 public:
  GapFiller(const Sorter& s, const uint8_t* scratch, const uint32_t& from, const uint32_t& count,
            const uint32_t& to)
      : s_(s), scratch_(scratch), from_(from), count_(count), to_(to) {}
  ~GapFiller() {
    if (!count_) return;
    s_.refresh();
    std::memcpy(s_.at(to_), scratch_ + size_t(from_) * s_.size, size_t(count_) * s_.size);
  }
  GapFiller(const GapFiller&) = delete;
  GapFiller& operator=(const GapFiller&) = delete;

 private:
  const Sorter& s_;
  const uint8_t* scratch_;
  const uint32_t& from_;
  const uint32_t& count_;
  const uint32_t& to_;
};

// Merges the adjacent runs [start, middle) and [middle, end), left elements first among
// equals, copying the shorter run out.
void merge(const Sorter& s, uint32_t start, uint32_t middle, uint32_t end, uint8_t* scratch) {
  const size_t size = s.size;
  if (end - middle < middle - start) {
    // Right run out; merge from the back. The gap is [left, left + remaining).
    uint32_t remaining = end - middle;
    std::memcpy(scratch, s.at(middle), remaining * size);
    uint32_t left = middle, to = end, zero = 0;
    GapFiller filler(s, scratch, zero, remaining, left);
    while (left > start && remaining > 0) {
      int32_t r = s.compare_elements(s.at(left - 1), scratch + (remaining - 1) * size);
      --to;
      if (r <= 0) {
        std::memcpy(s.at(to), scratch + --remaining * size, size);
      } else {
        --left;
        std::memcpy(s.at(to), s.at(left), size);
      }
    }
  } else {
    // Left run out; merge from the front. The gap is [to, right).
    uint32_t count = middle - start;
    std::memcpy(scratch, s.at(start), count * size);
    uint32_t next = 0, remaining = count, right = middle, to = start;
    GapFiller filler(s, scratch, next, remaining, to);
    while (remaining > 0 && right < end) {
      int32_t r = s.compare_elements(scratch + next * size, s.at(right));
      if (r <= 0) {
        std::memcpy(s.at(to), scratch + next * size, size);
        ++next;
        --remaining;
      } else {
        std::memcpy(s.at(to), s.at(right), size);
        ++right;
      }
      ++to;
    }
  }
}

// ---- default sort ----

// Partition sort of the range of n elements at `first`. h > 0: its first h elements are
// sorted; h < 0: its last -h are; a run shorter than 3 counts as none.
void partition(const Sorter& s, uint32_t first, int64_t h, uint32_t n) {
  auto cmp = [&](uint32_t i, uint32_t j) { return s.cmp(first + i, first + j); };
  auto exchange = [&](uint32_t i, uint32_t j) { s.exchange(first + i, first + j); };
  auto exchange_block = [&](uint32_t i, uint32_t j, uint32_t count) {
    for (uint32_t t = 0; t < count; ++t) exchange(i + t, j + t);
  };
  while (n > kInsertionLimit) {
    uint32_t run = uint32_t(h < 0 ? -h : h);
    uint32_t l, pivot, above;  // sample length, pivot position, sorted elements at its end
    if (run < kMinKnownRun) {
      l = n >= kSampledRange ? kPivotSample : n;
      exchange(1, l / 2);
      if (cmp(0, 1) > 0) exchange(0, 1);
      if (cmp(1, l - 1) > 0) {
        exchange(1, l - 1);
        if (cmp(0, 1) > 0) exchange(0, 1);
      }
      pivot = 1;
      above = 1;
    } else {
      l = run <= n / kRunSampleDivisor ? kRunSampleFactor * run - 1 : n;
      if (h < 0 && l < n) {
        exchange_block(0, n - run, run);  // the run moves to the front
        h = run;
      }
      if (h < 0) {
        exchange_block(0, n - run, (run + 1) / 2);  // its lower half moves to the front
        pivot = (run + 1) / 2 - 1;
      } else {
        if (l < n)  // gather a sample spread through the range behind the run
          for (uint32_t t = 0; t < l - run; ++t) exchange(run + t, run + t * (n / l));
        for (uint32_t t = 1; t <= run / 2; ++t) exchange(run - t, l - t);
        pivot = (run - 1) / 2;
      }
      above = run / 2;
    }

    // Three-way partition of the sample between the known ends: elements equal to the pivot
    // gather at [pivot, eq), smaller ones at [eq, lo), greater ones from lo on.
    int64_t lo = pivot + 1, eq = lo, hi = int64_t(l) - above - 1;
    for (;;) {
      int32_t r = cmp(uint32_t(lo), pivot);
      while (r < 0 && lo <= hi) r = cmp(uint32_t(++lo), pivot);
      if (lo >= hi) break;
      if (r == 0) {
        if (lo != eq) exchange(uint32_t(lo), uint32_t(eq));
        ++eq;
        ++lo;
        continue;
      }
      r = cmp(uint32_t(hi), pivot);
      while (r > 0 && lo <= hi) r = cmp(uint32_t(--hi), pivot);
      if (lo >= hi) break;
      exchange(uint32_t(lo), uint32_t(hi));
      if (r == 0) {
        if (lo != eq) exchange(uint32_t(lo), uint32_t(eq));
        ++eq;
      }
      ++lo;
      --hi;
      if (lo > hi) break;
    }
    uint32_t equal = uint32_t(eq) - pivot, less = uint32_t(lo - eq);
    for (uint32_t t = 1; t <= std::min(equal, less); ++t)
      exchange(pivot + t - 1, uint32_t(lo) - t);

    uint32_t upper = l - uint32_t(lo);
    if (above < upper) partition(s, first + uint32_t(lo), -int64_t(above), upper);
    uint32_t lower = uint32_t(lo) - equal;
    if (l < n) {
      if (pivot < lower) partition(s, first, pivot, lower);
      h = l;
    } else {
      if (lower <= pivot) return;
      h = pivot;
      n = lower;
    }
  }
  for (uint32_t i = 1; i < n; ++i)
    for (uint32_t j = i; j > 0 && cmp(j - 1, j) > 0; --j) exchange(j - 1, j);
}

// Gathers runs found by probes every 10 elements into the sorted prefix [0, last] of
// direction d; answers the prefix's new last position.
int64_t gather_runs(const Sorter& s, uint32_t n, int64_t last, int d) {
  auto ordered = [&](int64_t i, int64_t j) { return d * sign(s.cmp(uint32_t(i), uint32_t(j))) <= 0; };
  int64_t p = last;
  for (;;) {
    p += kProbeStep;
    int64_t q = p - 1;
    if (p >= n) return last;
    while (p < n && ordered(p - 1, p)) ++p;
    while (q > last && ordered(q - 1, q)) --q;
    if (p - q < kMinProbedRun) continue;
    // A run that reaches back to the prefix's last element simply extends the prefix.
    if (last > 0 && q > last) {
      // Push back the prefix's last elements that sort after the run's first ones.
      int64_t m = std::min((p - q) / 2, last / int64_t(kOverlapDivisor)), k = 0;
      while (k < m && !ordered(last - k, q + k)) ++k;
      if (k == m) continue;
      last = last - k + 1;
      q += k;
    }
    if (q == last) {
      last = p;
    } else {
      for (int64_t x = q; x < p; ++x) s.exchange(uint32_t(last++), uint32_t(x));
    }
    --last;
  }
}

// Exchanges as many whole Units as `bytes` holds; answers the bytes they cover.
template <class Unit>
uint32_t swap_units(uint8_t* a, uint8_t* b, uint32_t bytes) {
  uint32_t done = bytes - bytes % sizeof(Unit);
  for (uint32_t i = 0; i < done; i += sizeof(Unit)) {
    Unit x, y;
    std::memcpy(&x, a + i, sizeof x);
    std::memcpy(&y, b + i, sizeof y);
    std::memcpy(a + i, &y, sizeof y);
    std::memcpy(b + i, &x, sizeof x);
  }
  return done;
}

// Exchanges two ranges of `bytes` bytes: a 32-bit word at a time unless `by_bytes`.
void swap(uint8_t* a, uint8_t* b, uint32_t bytes, bool by_bytes) {
  if (by_bytes) {
    for (uint32_t i = 0; i < bytes; ++i) std::swap(a[i], b[i]);
    return;
  }
  // Whole cells first, then the 32-bit words left over.
  uint32_t done = swap_units<Cell>(a, b, bytes);
  swap_units<uint32_t>(a + done, b + done, bytes - done);
}
}  // namespace

void stable(Target target, uint32_t n, uint32_t size, uint32_t op, uint32_t flags,
            Compare compare) {
  if (n < 2) return;
  uint64_t scratch_bytes = uint64_t(n / 2) * size;
  if (scratch_bytes > kMaxScratchBytes) error::raise(error::CAT_SCRIPT, "too-long");
  Scratch scratch(scratch_bytes, target.holds_cells());
  const Sorter s(target, size, op, flags, compare);

  struct Entry {
    uint32_t start, power;
  } stack[kRunStackEntries] = {};
  uint32_t top = 0;  // entry 0 is a floor of power 0
  uint32_t start = 0, end = next_run(s, 0, n);
  while (end < n) {
    uint32_t next_end = next_run(s, end, n);
    uint32_t p = power(start, end, end, next_end, n);
    for (; stack[top].power > p; --top) {
      merge(s, stack[top].start, start, end, scratch.bytes);
      start = stack[top].start;
    }
    stack[++top] = Entry{start, p};
    start = end;
    end = next_end;
  }
  for (; top > 0; --top) {
    merge(s, stack[top].start, start, n, scratch.bytes);
    start = stack[top].start;
  }
}

void unstable(Target target, uint32_t n, uint32_t size, uint32_t op, uint32_t flags,
              Compare compare) {
  if (n < 2) return;
  const Sorter s(target, size, op, flags, compare);

  // The leading run, ascending (d = 1) or descending (d = -1); equal neighbours never end it.
  int d = 0;
  uint32_t i = 1;
  for (; i < n; ++i) {
    int r = sign(s.cmp(i - 1, i));
    if (r == 0) continue;
    if (d == 0) d = -r;
    else if (r * d > 0) break;
  }
  // Order score: the run's length plus a vote of samples from the rest.
  int64_t score = int64_t(d) * i;
  for (uint64_t j = uint64_t(i) + 1; j < n; j += kOrderSampleStep)
    score -= sign(s.cmp(uint32_t(j - 1), uint32_t(j)));

  int64_t last = int64_t(i) - 1;
  if ((score < 0 ? -score : score) > n / kNearOrderDivisor) {
    if (d * score < 0) {  // the rest runs the other way: follow it
      last = 0;
      d = -d;
    }
    last = gather_runs(s, n, last, d);
  }
  if (d < 0) s.reverse(0, uint32_t(last));
  uint32_t h = uint32_t(last) + 1;
  if (h < n) partition(s, 0, h, n);
}

}  // namespace xol::sort
