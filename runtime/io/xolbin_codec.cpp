// The XOLBIN codec's routines, `encode*` and `decode`, and their temporary binding.
//
// The codec record of system/codecs comes with load and save; until then the two routines are
// reachable from the language as the fields of a global object `xolbin`, made at start-up by
// `bind_codec`, so that scripts can encode and decode values now.
#include "platform/read_file.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_types.h"
#include "runtime/datatypes/word.h"
#include "runtime/eval/error_raise.h"
#include "runtime/io/lexer.h"
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

void bind_codec() {
  struct Field {
    const char* name;
    const char* spec;
    int32_t code;
  };
  const Field fields[] = {
      {"encode*", "data [any-type!] compact? [logic!]",
       routines::add<encode_routine>("encode*")},
      {"decode", "payload [any-type!]", routines::add<decode_routine>("decode")},
  };
  Cell codec;
  object::make_at(&codec, 2);
  for (const Field& field : fields) {
    const Cell spec = lexer::load(field.spec);
    Cell routine;
    routines::make_value(&spec, nullptr, field.code, 0, &routine);
    const Cell name = word::unbound(symbol::make(field.name));
    context::add_value(object::context_of(&codec), &name, &routine);
  }
  context::set_global(symbol::make("xolbin"), &codec);
}

}  // namespace xol::xolbin
