// The libFuzzer targets of the decoders that read data from anyone, one source built once per
// decoder: xol_fuzz_xolbin (XOLBIN streams, which may carry LZ bodies), xol_fuzz_lz (LZ
// containers), and xol_fuzz_zlib, xol_fuzz_deflate and xol_fuzz_gzip (`decompress`).
//
// A language error is the decoder refusing bad input and ends the run quietly; a crash, a
// sanitizer report, an escaping C++ exception, a hang or an allocation past libFuzzer's
// -rss_limit_mb is a fault. A decoded XOLBIN value is also molded and encoded again in both
// encodings, and that stream decoded, so the writer meets every graph the reader can build.
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/value_ops.h"
#include "runtime/eval/stack.h"
#include "runtime/io/compression.h"
#include "runtime/io/lz.h"
#include "runtime/io/xolbin.h"
#include "runtime/process/process.h"
#include "runtime/runtime.h"
#include "runtime/datatypes/binary.h"

#ifndef XOL_FUZZ_CODEC
#error "XOL_FUZZ_CODEC must name the decoder: 0 xolbin, 1 lz, 2 zlib, 3 deflate, 4 gzip"
#endif

namespace xol::fuzz {
namespace {

enum Codec { CODEC_XOLBIN, CODEC_LZ, CODEC_ZLIB, CODEC_DEFLATE, CODEC_GZIP };
constexpr Codec kCodec = Codec(XOL_FUZZ_CODEC);
// Output bound for the LZ target; the runtime's own callers use the same kind of limit.
constexpr uint64_t kLzLimit = uint64_t(64) << 20;

void decode_xolbin(const uint8_t* data, size_t size) {
  const Cell none{TYPE_NONE, 0, 0, 0};
  Cell target;
  block::make_at(&target, 1);
  xolbin::decode(data, size, &target, &none);
  Cell molded;
  values::mold_value(&target, false, true, false, kNoPartLimit, &molded);
  for (bool compact : {true, false}) {
    const Cell stream = xolbin::encode(&target, compact);
    const std::string_view bytes = binary::bytes(&stream);
    Cell again;
    block::make_at(&again, 1);
    xolbin::decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &again, &none);
  }
}

void run(const uint8_t* data, size_t size) {
  const stack::Mark mark = stack::save();
  try {
    switch (kCodec) {
      case CODEC_XOLBIN:
        decode_xolbin(data, size);
        break;
      case CODEC_LZ: {
        std::string out;
        lz::decompress(data, size, kLzLimit, out);
        break;
      }
      case CODEC_ZLIB:
      case CODEC_DEFLATE:
      case CODEC_GZIP: {
        const compression::Method method =
            kCodec == CODEC_ZLIB    ? compression::METHOD_ZLIB
            : kCodec == CODEC_GZIP ? compression::METHOD_GZIP
                                   : compression::METHOD_DEFLATE;
        const Cell none{TYPE_NONE, 0, 0, 0};
        compression::decompress(data, uint32_t(size), method,
                                compression::default_limit(uint32_t(size)), &none);
        break;
      }
    }
  } catch (const rt::Thrown&) {
    // The decoder's answer to bad input.
  }
  stack::restore(mark);
  stack::pending = 0;
}

}  // namespace
}  // namespace xol::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = (xol::runtime::init(), true);
  (void)started;
  xol::fuzz::run(data, size);
  return 0;
}
