// The DEFLATE compressor against zlib's inflate: inputs shaped to reach every length and
// distance code, the edges of the window and of the longest match, decode to themselves in all
// three framings, and a call with capacity 0 measures exactly what a full call writes.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "platform/inflate.h"
#include "runtime/io/deflate.h"

namespace xol {
namespace {

using Bytes = std::vector<uint8_t>;
using Compressor = deflate::Result (*)(uint8_t*, uint32_t*, const uint8_t*, uint32_t);

class VectorSink final : public platform::inflate::Sink {
 public:
  Bytes bytes;
  uint8_t* grow(size_t used, size_t* capacity) override {
    bytes.resize(std::max<size_t>(used * 2, 64));
    *capacity = bytes.size();
    return bytes.data();
  }
};

// Compressed as the natives do it: asked again at the size each answer reports. A framed
// call below the framing's own size answers input + framing, so it may take three calls.
Bytes compress(Compressor compressor, const Bytes& input) {
  Bytes out;
  uint32_t size = 0;
  for (int call = 0; call < 3; ++call) {
    out.resize(size);
    if (compressor(out.data(), &size, input.data(), uint32_t(input.size())) ==
        deflate::RESULT_DONE) {
      out.resize(size);
      return out;
    }
  }
  ADD_FAILURE() << "no size was enough";
  return out;
}

Bytes inflate(platform::inflate::Framing framing, const Bytes& stream) {
  VectorSink sink;
  size_t produced = 0;
  const auto status = platform::inflate::decode(framing, stream.data(), stream.size(),
                                                size_t(1) << 30, sink, &produced);
  EXPECT_EQ(status, platform::inflate::STATUS_DONE);
  sink.bytes.resize(produced);
  return sink.bytes;
}

std::vector<Bytes> shaped_inputs() {
  std::mt19937 random(26);
  std::vector<Bytes> inputs;
  auto noise = [&](size_t n, int alphabet) {
    Bytes b(n);
    for (uint8_t& x : b) x = uint8_t('a' + random() % alphabet);
    return b;
  };
  inputs.push_back({});
  inputs.push_back({'x'});
  inputs.push_back(noise(100000, 256));   // every literal, few matches
  inputs.push_back(noise(200000, 3));     // short matches everywhere
  // A block repeated at every distance class, up to and past the 32 KiB window.
  for (size_t distance : {1, 2, 3, 4, 5, 256, 257, 1024, 4097, 24577, 32767, 32768, 40000}) {
    Bytes b = noise(distance, 26);
    const Bytes first(b);
    for (int copies = 0; copies < 3; ++copies) b.insert(b.end(), first.begin(), first.end());
    inputs.push_back(b);
  }
  // Runs whose lengths sit on the length codes' edges and on the longest match.
  Bytes runs;
  for (size_t length : {3, 4, 10, 11, 12, 13, 18, 19, 34, 35, 66, 67, 130, 131, 257, 258, 259,
                        516, 517, 1000})
    runs.insert(runs.end(), length, uint8_t(length));
  inputs.push_back(runs);
  return inputs;
}

TEST(DeflateTest, ZlibInflateDecodesEveryFraming) {
  struct Framing {
    Compressor compressor;
    platform::inflate::Framing framing;
  };
  const Framing framings[] = {{deflate::compress, platform::inflate::FRAMING_RAW},
                              {zlib::compress, platform::inflate::FRAMING_ZLIB},
                              {gzip::compress, platform::inflate::FRAMING_GZIP}};
  for (const Bytes& input : shaped_inputs()) {
    for (const Framing& f : framings) {
      const Bytes stream = compress(f.compressor, input);
      EXPECT_EQ(inflate(f.framing, stream), input) << input.size() << " bytes, framing "
                                                   << f.framing;
    }
  }
}

TEST(DeflateTest, CapacityZeroMeasuresTheStream) {
  for (const Bytes& input : shaped_inputs()) {
    uint32_t measured = 0;
    EXPECT_EQ(deflate::compress(nullptr, &measured, input.data(), uint32_t(input.size())),
              deflate::RESULT_TOO_SMALL);
    EXPECT_EQ(measured, compress(deflate::compress, input).size());
  }
}

TEST(DeflateTest, FramingsNeedRoomForTheirHeaderAndTrailer) {
  const Bytes input = {'a', 'b', 'c'};
  uint32_t size = 5;
  uint8_t out[32];
  EXPECT_EQ(zlib::compress(out, &size, input.data(), 3), deflate::RESULT_FRAMING);
  EXPECT_EQ(size, 3u + 6);
  size = 17;
  EXPECT_EQ(gzip::compress(out, &size, input.data(), 3), deflate::RESULT_FRAMING);
  EXPECT_EQ(size, 3u + 18);
  // Room for the framing but not the whole stream: the size needed comes back.
  size = 18;
  EXPECT_EQ(gzip::compress(out, &size, input.data(), 3), deflate::RESULT_TOO_SMALL);
  EXPECT_EQ(size, 23u);
}

}  // namespace
}  // namespace xol
