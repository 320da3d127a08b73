// The `compress` and `decompress` natives: argument checks, then the compression module.
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/stack.h"
#include "runtime/io/compression.h"

namespace xol::natives {
namespace {

using stack::arguments;

enum DecompressRefinement { REF_SIZE };

compression::Method method_arg(const Cell* word) {
  const int32_t method = compression::method_of(word);
  if (method < 0) error::raise(error::CAT_SCRIPT, "invalid-arg", word);
  return compression::Method(method);
}

const uint8_t* bytes_of(const Cell* binary) {
  return reinterpret_cast<const uint8_t*>(binary::bytes(binary).data());
}

void answer(const Cell& result) {
  stack::set_last(&result);
  stack::keep();
}

}  // namespace

void compress(bool, const int32_t*) {
  Cell* data = arguments;
  const compression::Method method = method_arg(arguments + 1);
  if (!data->is(TYPE_BINARY)) {
    // Text is compressed as its UTF-8 from the head.
    Cell utf8;
    binary::make_at(&utf8, string::length(data));
    string::append_utf8_bytes(utf8.node(), data);
    *data = utf8;
  }
  answer(compression::compress(bytes_of(data), binary::length(data), method));
}

void decompress(bool, const int32_t* refinements) {
  const Cell* data = arguments;
  const compression::Method method = method_arg(arguments + 1);
  const uint32_t length = binary::length(data);
  uint64_t limit = compression::default_limit(length);
  if (refinements[REF_SIZE] >= 0) {
    const int32_t size = integer::get(arguments + refinements[REF_SIZE]);
    if (size < 0) error::raise(error::CAT_SCRIPT, "invalid-arg", arguments + refinements[REF_SIZE]);
    limit = uint64_t(size);
  }
  answer(compression::decompress(bytes_of(data), length, method, limit, data));
}

}  // namespace xol::natives
