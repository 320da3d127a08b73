// UTF-8 decoding benchmark: loading text into a string buffer (the strict decoder with its
// ASCII fast path, what every source file and `to string!` goes through) and counting code
// points with the automaton, against glibc's `mbstowcs` under C.UTF-8 and `iconv` to UTF-32.
// Two texts of about 4 MB: English prose with a few accented words (ASCII-heavy), and a mix
// of Latin, Cyrillic, Greek, CJK and emoji (mixed). Throughput is input megabytes a second.
#include <iconv.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/memory/collector.h"
#include "runtime/memory/memory.h"
#include "runtime/text/utf8.h"

namespace {

constexpr size_t kTextBytes = 4 << 20;
constexpr double kMinSeconds = 0.5;   // each measurement repeats until it has run this long
constexpr double kMegabyte = 1 << 20;

using Clock = std::chrono::steady_clock;

const char* const kAsciiHeavy =
    "The quick brown fox jumps over the lazy dog while the caf\xC3\xA9 owner, a na\xC3\xAF"
    "ve man, counts his coins. Programs are meant to be read by humans and only incidentally "
    "for machines to execute; simplicity is prerequisite for reliability.\n";
const char* const kMixed =
    "Stra\xC3\x9F" "e \xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0 \xCE\x91\xCE\xB8\xCE\xAE"
    "\xCE\xBD\xCE\xB1 \xE6\x9D\xB1\xE4\xBA\xAC\xE9\x83\xBD \xEC\x84\x9C\xEC\x9A\xB8 "
    "\xF0\x9F\x98\x80\xF0\x9F\x8E\x89 caf\xC3\xA9 \xE2\x82\xAC 42\n";

std::string repeat(const char* piece) {
  std::string text;
  while (text.size() < kTextBytes) text += piece;
  return text;
}

// Runs `body` over the text until kMinSeconds have passed; answers megabytes a second.
template <class Body>
double throughput(const std::string& text, size_t* sink, Body body) {
  size_t rounds = 0;
  Clock::time_point start = Clock::now();
  double seconds = 0;
  do {
    *sink += body(text);
    ++rounds;
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
  } while (seconds < kMinSeconds);
  return double(text.size()) * double(rounds) / kMegabyte / seconds;
}

void report(const char* what, const char* ours_name, double ours, const char* libc_name,
            double libc) {
  std::printf("%-13s %-22s %8.0f MB/s   %-18s %8.0f MB/s   ratio %5.2fx\n", what, ours_name, ours,
              libc_name, libc, ours / libc);
}

}  // namespace

int main() {
  if (!std::setlocale(LC_ALL, "C.UTF-8")) {
    std::fprintf(stderr, "the C.UTF-8 locale is missing\n");
    return 1;
  }
  xol::collector::active = false;
  xol::memory::init();
  iconv_t to_utf32 = iconv_open("UTF-32LE", "UTF-8");
  if (to_utf32 == iconv_t(-1)) {
    std::perror("iconv_open");
    return 1;
  }

  std::vector<wchar_t> wide(kTextBytes + 1);
  std::vector<char> utf32((kTextBytes + 1) * sizeof(uint32_t));
  xol::NodeId target = xol::memory::alloc_bytes(kTextBytes);
  size_t sink = 0;

  std::printf("ratio = our speed / the C library's (above 1: ours is faster)\n");
  for (const auto& [name, piece] : {std::pair{"ascii-heavy", kAsciiHeavy}, {"mixed", kMixed}}) {
    std::string text = repeat(piece);
    auto* bytes = reinterpret_cast<const uint8_t*>(text.data());

    double load = throughput(text, &sink, [&](const std::string& t) {
      return xol::utf8::load_string(bytes, t.size(), target).tail;
    });
    double count = throughput(text, &sink, [&](const std::string& t) {
      return xol::utf8::count_chars(bytes, bytes + t.size());
    });
    double mbs = throughput(text, &sink, [&](const std::string& t) {
      return std::mbstowcs(wide.data(), t.c_str(), wide.size());
    });
    double iconv_mbs = throughput(text, &sink, [&](const std::string& t) {
      char* in = const_cast<char*>(t.data());
      size_t in_left = t.size();
      char* out = utf32.data();
      size_t out_left = utf32.size();
      iconv(to_utf32, &in, &in_left, &out, &out_left);
      return utf32.size() - out_left;
    });
    report(name, "utf8::load_string", load, "mbstowcs", mbs);
    report(name, "utf8::load_string", load, "iconv UTF-32LE", iconv_mbs);
    report(name, "utf8::count_chars", count, "mbstowcs", mbs);
  }
  std::printf("(checksum %zu)\n", sink);
  iconv_close(to_utf32);
  xol::memory::free_all_frames();
  return 0;
}
