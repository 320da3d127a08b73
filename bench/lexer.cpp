// Lexer throughput: loads a generated source text of about 8 MB, shaped like library code
// (function definitions with specs and docstrings, set-words, paths, calls with numbers,
// strings, blocks and comments), and a second text of plain data (numbers, dates, times,
// words), and prints input megabytes a second for each. Every load builds all the values, so
// the figures include the allocator and the collector; a prescan of the code text (automaton
// and nesting only, no values) shows the share of the scan itself.
#include <chrono>
#include <cstdio>
#include <string>

#include "runtime/memory/collector.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/word.h"
#include "runtime/io/lexer.h"
#include "runtime/runtime.h"

namespace {

constexpr size_t kTextBytes = 8 << 20;
constexpr double kMinSeconds = 1.0;   // each measurement repeats until it has run this long
constexpr double kMegabyte = 1 << 20;

using Clock = std::chrono::steady_clock;

// One function of library-like code; `n` varies the names so that symbols keep being made.
std::string code_piece(size_t n) {
  std::string id = std::to_string(n % 5000);
  return "make-thing-" + id + ": func [\n"
         "    \"Makes a thing from a spec block; answers none when empty\"\n"
         "    spec [block! none!] \"the spec\"\n"
         "    /deep \"copy nested blocks\"\n"
         "    /local item count\n"
         "][\n"
         "    count: 0  ; how many were taken\n"
         "    foreach item spec [\n"
         "        if all [integer? item item > 10] [count: count + 1]\n"
         "        system/options/float/pretty?: true\n"
         "        append result/(count) either deep [copy/deep item] [item]\n"
         "    ]\n"
         "    print [\"done\" count 3.5 50% #\"a\" {braced ^{text^}} 'done :count]\n"
         "    count\n"
         "]\n";
}

std::string data_piece(size_t n) {
  return std::to_string(n) + " " + std::to_string(n * 7) + ".25 1-Jan-2000 10:30:00 " +
         "$12.50 255.0.128 10x20 name-" + std::to_string(n % 100) + " <tag> %file.txt\n";
}

template <class Piece>
std::string generate(Piece piece) {
  std::string text;
  for (size_t n = 0; text.size() < kTextBytes; ++n) text += piece(n);
  return text;
}

template <class Body>
double throughput(const std::string& text, Body body) {
  size_t rounds = 0;
  Clock::time_point start = Clock::now();
  double seconds = 0;
  do {
    body();
    ++rounds;
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
  } while (seconds < kMinSeconds);
  return double(text.size()) * double(rounds) / kMegabyte / seconds;
}

}  // namespace

int main() {
  using namespace xol;
  runtime::init();
  boot::flag = 0;   // as after start-up: words are no longer kept in the root block
  collector::active = true;   // so that each round's values are reclaimed, as in a long run
  lexer::init();
  std::string code = generate(code_piece);
  std::string data = generate(data_piece);
  size_t values = 0;
  auto load = [&](const std::string& text) {
    return [&] {
      Cell block = lexer::load(text);
      values = block::length(&block);
    };
  };
  double code_rate = throughput(code, load(code));
  std::printf("library-like code  %6.1f MB  %8.1f MB/s  (%zu top-level values)\n",
              double(code.size()) / kMegabyte, code_rate, values);
  double data_rate = throughput(data, load(data));
  std::printf("scalar data        %6.1f MB  %8.1f MB/s  (%zu top-level values)\n",
              double(data.size()) / kMegabyte, data_rate, values);
  lexer::Mode prescan;
  prescan.load = false;
  prescan.prescan = true;
  double scan_rate = throughput(code, [&] {
    // A prescan stops after each top-level value: go on from where it stopped.
    const uint8_t* at = reinterpret_cast<const uint8_t*>(code.data());
    const uint8_t* end = at + code.size();
    while (at < end) {
      int32_t consumed = 0;
      lexer::scan(nullptr, nullptr, nullptr, &consumed, prescan, uint32_t(end - at), at,
                  nullptr);
      at += consumed;
    }
  });
  std::printf("code, prescan only %6.1f MB  %8.1f MB/s\n", double(code.size()) / kMegabyte,
              scan_rate);
  return 0;
}
