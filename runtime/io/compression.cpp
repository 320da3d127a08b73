// Method words, the retry of a compressor whose output did not fit, and the growing binary!
// that the inflate decoders write into.
#include "runtime/io/compression.h"

#include <algorithm>

#include "platform/inflate.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/io/deflate.h"
#include "runtime/memory/memory.h"

namespace xol::compression {
namespace {

struct MethodInfo {
  const char* word;
  deflate::Result (*compress)(uint8_t* out, uint32_t* size, const uint8_t* in, uint32_t length);
  platform::inflate::Framing framing;
};
constexpr MethodInfo kMethods[kMethodCount] = {
    {"zlib", zlib::compress, platform::inflate::FRAMING_ZLIB},
    {"deflate", deflate::compress, platform::inflate::FRAMING_RAW},
    {"gzip", gzip::compress, platform::inflate::FRAMING_GZIP},
};
int32_t method_symbols[kMethodCount];

// Room that a first try of the compressor gets beyond the input's length; output that does not
// fit (incompressible data grows by up to an eighth) is made again at the size reported.
constexpr uint32_t kCompressSlack = 32;
constexpr uint64_t kMaxOutput = uint64_t(1) << 30;   // 1 GiB
constexpr uint64_t kMaxRatio = 1024;                 // DEFLATE itself cannot pass about 1032:1
// First room of a decoder's output: a few times the input, at least a page's worth.
constexpr uint64_t kFirstRoomRatio = 4;
constexpr uint64_t kMinFirstRoom = 4096;

// A binary! whose buffer grows, doubling, as the decoder asks for room.
class BinarySink final : public platform::inflate::Sink {
 public:
  explicit BinarySink(uint64_t first_room) : first_room_(first_room) {}
  Cell binary{TYPE_NONE, 0, 0, 0};

  uint8_t* grow(size_t used, size_t* capacity) override {
    if (binary.is(TYPE_NONE)) binary::make_at(&binary, uint32_t(first_room_));
    memory::SeriesBuffer* buffer = memory::buffer_of(binary.node());
    buffer->tail = uint32_t(used);
    if (used == buffer->size) {
      buffer = memory::grow_series(buffer, uint32_t(std::min<uint64_t>(uint64_t(used) * 2,
                                                                         UINT32_MAX & ~15u)));
    }
    *capacity = buffer->size;
    return buffer->data();
  }

  // The binary! holding the first `produced` bytes.
  Cell finish(size_t produced) {
    if (binary.is(TYPE_NONE)) binary::make_at(&binary, 0);
    memory::buffer_of(binary.node())->tail = uint32_t(produced);
    return binary;
  }

 private:
  uint64_t first_room_;
};

}  // namespace

void init_methods() {
  for (int32_t m = 0; m < kMethodCount; ++m)
    method_symbols[m] = symbol::resolve(symbol::make(kMethods[m].word));
}

int32_t method_of(const Cell* word) {
  if (!word::any_word_type(word->type())) return -1;
  const int32_t canonical = symbol::resolve(word::symbol_of(word));
  for (int32_t m = 0; m < kMethodCount; ++m)
    if (method_symbols[m] == canonical) return m;
  return -1;
}

Cell compress(const uint8_t* bytes, uint32_t length, Method method) {
  uint64_t room = uint64_t(length) + kCompressSlack;
  for (;;) {
    if (room > UINT32_MAX) error::raise(error::CAT_INTERNAL, "no-memory");
    Cell out;
    binary::make_at(&out, uint32_t(room));
    memory::SeriesBuffer* buffer = memory::buffer_of(out.node());
    uint32_t size = uint32_t(room);
    const deflate::Result result = kMethods[method].compress(buffer->data(), &size, bytes, length);
    if (result == deflate::RESULT_DONE) {
      buffer->tail = size;
      return out;
    }
    room = size;
  }
}

uint64_t default_limit(uint32_t length) {
  return std::min(kMaxOutput, uint64_t(length) * kMaxRatio);
}

Cell decompress(const uint8_t* bytes, uint32_t length, Method method, uint64_t limit,
                const Cell* data) {
  limit = std::min<uint64_t>(limit, UINT32_MAX & ~15u);
  BinarySink sink(std::min(std::max(uint64_t(length) * kFirstRoomRatio, kMinFirstRoom), limit));
  size_t produced = 0;
  const platform::inflate::Status status =
      platform::inflate::decode(kMethods[method].framing, bytes, length, limit, sink, &produced);
  if (status != platform::inflate::STATUS_DONE) error::raise(error::CAT_SCRIPT, "invalid-data", data);
  return sink.finish(produced);
}

}  // namespace xol::compression
