// The XOLBIN codec's routines, `encode*` and `decode`, the fields of system/codecs/xolbin
// (bound by the library's routines table).
#include "platform/read_file.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/text_types.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/io/http.h"
#include "runtime/io/xolbin.h"

namespace xol::xolbin {
namespace {

// The smallest stream that can hold a value: the header and a one-byte record need more.
constexpr uint32_t kMinPayload = 11;

// Where a routine's answer waits to be copied out; nothing allocates in between.
Cell answer;

}  // namespace

Cell* encode_routine(Cell* data, bool compact) {
  answer = encode(data, compact);
  return &answer;
}

Cell* decode_routine(Cell* payload) {
  Cell bytes = *payload;
  if (payload->is(TYPE_FILE)) {
    std::string contents;
    if (!platform::read_file(file::to_os_path(payload).c_str(), &contents))
      error::raise(error::CAT_ACCESS, "cannot-open", payload);
    bytes = binary::load(contents);
  } else if (payload->is(TYPE_URL)) {
    http::request("GET", payload, nullptr, nullptr, true, false, false, &bytes);
  }
  if (!bytes.is(TYPE_BINARY) || binary::length(&bytes) < kMinPayload)
    error::raise(error::CAT_SCRIPT, "invalid-data", payload);
  Cell target;
  block::make_at(&target, 1);
  const std::string_view view = binary::bytes(&bytes);
  decode(reinterpret_cast<const uint8_t*>(view.data()), view.size(), &target, payload);
  answer = block::length(&target) == 1 ? *block::head(&target) : target;
  return &answer;
}

}  // namespace xol::xolbin
