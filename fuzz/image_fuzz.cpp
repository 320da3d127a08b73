// The libFuzzer target of the image codecs: the input is the bytes of a file, decoded as
// `load` decodes image data (the signature picks the format: PNG, JPEG, BMP, GIF or TIFF), and
// a small picture that decodes is encoded again in every format.
//
// Refusing data (access `bad-media`, a side above 65535) is the runtime's answer; a crash, a
// sanitizer report or an escaping C++ exception is a fault.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/guarded_run.h"
#include "runtime/memory/collector.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/logic.h"
#include "runtime/runtime.h"

namespace xol::fuzz {
namespace {

// Pictures up to this many pixels are encoded again; larger ones would only spend the time.
constexpr uint32_t kMaxEncodedPixels = 256 * 256;

// The decoded picture, kept where the collector sees it while it is encoded.
Cell decoded;
Cell* decoded_first = &decoded;
Cell* decoded_end = &decoded + 1;

void start_runtime() {
  runtime::init();
  collector::register_root_cells(&decoded_first, &decoded_end);
}

void run(std::string_view bytes) {
  guarded_run([&] {
    const Cell data = binary::load(bytes);
    image::load_binary(&data, &decoded);
    if (!decoded.is(TYPE_IMAGE) || image::pixel_count(&decoded) > kMaxEncodedPixels) return;
    Cell encoded;
    for (int32_t format = 0; format < platform::image_codecs::kFormatCount; ++format)
      image::encode(&decoded, nullptr, format, &encoded);
  });
  decoded = none::value;
}

}  // namespace
}  // namespace xol::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace xol::fuzz;
  run(started_input(data, size, start_runtime));
  return 0;
}
