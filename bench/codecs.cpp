// Codec speed beside the references: `decompress` of 100 MB of text in zlib framing beside
// Python's zlib.decompress of the same stream (zlib's own inflate plus Python's buffer
// handling), `compress` throughput and ratio beside zlib at level 1, and XOLBIN encoding and
// decoding (both encodings) of a block of a million values beside mold and load of the same.
// Python is run as a child process on the same files; each figure is the best of a few runs.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "runtime/memory/collector.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/value_ops.h"
#include "runtime/io/compression.h"
#include "runtime/io/lexer.h"
#include "runtime/io/xolbin.h"
#include "runtime/runtime.h"

namespace {

constexpr size_t kTextBytes = 100u << 20;
constexpr size_t kValues = 1000000;
constexpr int kRuns = 3;
constexpr double kMegabyte = 1 << 20;

using Clock = std::chrono::steady_clock;

template <class Body>
double best_seconds(Body body) {
  double best = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    const Clock::time_point start = Clock::now();
    body();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

// Log-like lines: numbers, words and a few repeated phrases, about 3:1 with zlib.
std::string generate_text() {
  std::string text;
  text.reserve(kTextBytes + 256);
  unsigned state = 12345;
  for (size_t n = 0; text.size() < kTextBytes; ++n) {
    state = state * 1103515245u + 12345u;
    text += "2026-12-11 10:" + std::to_string(n % 60) + " request " + std::to_string(state % 100000) +
            (state & 1 ? " served from cache" : " fetched in ") + std::to_string(state % 977) +
            " ms by worker-" + std::to_string(n % 16) + "\n";
  }
  text.resize(kTextBytes);
  return text;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

// Runs Python on the text file: writes the zlib stream (level 6) and prints the seconds of
// zlib.decompress and of zlib.compress at level 1 with its output size.
const char* const kPython = R"(
import sys, time, zlib
text = open(sys.argv[1], 'rb').read()
stream = zlib.compress(text, 6)
open(sys.argv[2], 'wb').write(stream)
def best(f):
    t = 1e30
    for _ in range(3):
        s = time.perf_counter(); r = f(); t = min(t, time.perf_counter() - s)
    return t, r
d, _ = best(lambda: zlib.decompress(stream))
c, out = best(lambda: zlib.compress(text, 1))
print(d, c, len(out))
)";

const uint8_t* bytes_of(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

void compression_bench() {
  using namespace xol;
  const std::string text = generate_text();
  const std::string dir = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
  const std::string text_path = dir + "/xol-bench-text", z_path = dir + "/xol-bench-text.z";
  std::ofstream(text_path, std::ios::binary) << text;
  const std::string script = dir + "/xol-bench-zlib.py";
  std::ofstream(script) << kPython;
  const std::string command = "python3 " + script + " " + text_path + " " + z_path;
  FILE* python = popen(command.c_str(), "r");
  double py_decompress = 0, py_compress = 0, py_size = 0;
  const bool ok = python && std::fscanf(python, "%lf %lf %lf", &py_decompress, &py_compress,
                                        &py_size) == 3;
  if (python) pclose(python);
  if (!ok) {
    std::printf("python3 with zlib is needed for the comparison\n");
    return;
  }
  const std::string stream = read_file(z_path);
  std::remove(text_path.c_str());
  std::remove(z_path.c_str());
  std::remove(script.c_str());

  const Cell none{TYPE_NONE, 0, 0, 0};
  size_t produced = 0;
  const double ours = best_seconds([&] {
    const Cell out = compression::decompress(bytes_of(stream), uint32_t(stream.size()),
                                             compression::METHOD_ZLIB,
                                             compression::default_limit(uint32_t(stream.size())),
                                             &none);
    produced = binary::length(&out);
  });
  std::printf("decompress zlib %5.0f MB   xol %6.3f s   python zlib.decompress %6.3f s   "
              "xol/python %.2f%s\n",
              double(produced) / kMegabyte, ours, py_decompress, ours / py_decompress,
              produced == text.size() ? "" : "  (WRONG LENGTH)");
  size_t packed = 0;
  const double compress_seconds = best_seconds([&] {
    const Cell out =
        compression::compress(bytes_of(text), uint32_t(text.size()), compression::METHOD_ZLIB);
    packed = binary::length(&out);
  });
  std::printf("compress        %5.0f MB   xol %6.1f MB/s ratio %.2f   "
              "zlib level 1 %6.1f MB/s ratio %.2f\n",
              double(text.size()) / kMegabyte, double(text.size()) / kMegabyte / compress_seconds,
              double(text.size()) / double(packed), double(text.size()) / kMegabyte / py_compress,
              double(text.size()) / py_size);
}

// A block of a million values: integers, floats, words, strings, dates, small blocks and more.
std::string values_text() {
  std::string text;
  for (size_t n = 0; n < kValues / 10; ++n) {
    const std::string k = std::to_string(n);
    text += k + " " + k + ".5 word-" + std::to_string(n % 1000) + " \"text " + k + "\" " +
            "1-Jan-2000 [a " + k + "] 'lit-" + std::to_string(n % 100) + " 10:30 $1.25 #i\n";
  }
  return text;
}

void xolbin_bench() {
  using namespace xol;
  const std::string source = values_text();
  Cell block = lexer::load(source);
  Cell molded;
  const double mold_seconds =
      best_seconds([&] { values::mold_value(&block, true, false, false, kNoPartLimit, &molded); });
  const double load_seconds = best_seconds([&] { lexer::load(source); });
  std::printf("block of %u values: mold %.3f s  load %.3f s\n", block::length(&block),
              mold_seconds, load_seconds);
  for (bool compact : {true, false}) {
    Cell stream;
    const double encode_seconds = best_seconds([&] { stream = xolbin::encode(&block, compact); });
    const std::string bytes(binary::bytes(&stream));
    const Cell none{TYPE_NONE, 0, 0, 0};
    const double decode_seconds = best_seconds([&] {
      Cell target;
      block::make_at(&target, 1);
      xolbin::decode(bytes_of(bytes), bytes.size(), &target, &none);
    });
    std::printf("  xolbin %-7s encode %.3f s  decode %.3f s  (%.1f MB; mold/encode %.2f, "
                "load/decode %.2f)\n",
                compact ? "compact" : "fixed", encode_seconds, decode_seconds,
                double(bytes.size()) / kMegabyte, mold_seconds / encode_seconds,
                load_seconds / decode_seconds);
  }
}

}  // namespace

int main() {
  using namespace xol;
  runtime::init();
  boot::flag = 0;
  collector::active = true;
  compression_bench();
  xolbin_bench();
  return 0;
}
