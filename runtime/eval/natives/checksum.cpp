// The `checksum` native: reads a file! argument whole, then hands the bytes, the method word
// and the /with spec to the checksum module, which checks them and computes the answer.
#include <string>

#include "platform/read_file.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/text_types.h"
#include "runtime/io/checksum.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/stack.h"

namespace xol::natives {
namespace {

using stack::arguments;

enum ChecksumRefinement { REF_WITH };

}  // namespace

void checksum(bool, const int32_t* refinements) {
  Cell* data = arguments;
  if (data->is(TYPE_FILE)) {
    std::string contents;
    if (!platform::read_file(file::to_os_path(data).c_str(), &contents))
      error::raise(error::CAT_ACCESS, "cannot-open", data);
    *data = binary::load(contents);
  }
  const Cell* spec = refinements[REF_WITH] >= 0 ? arguments + refinements[REF_WITH] : nullptr;
  Cell result;
  checksum::compute(data, arguments + 1, spec, &result);
  stack::set_last(&result);
  stack::keep();
}

}  // namespace xol::natives
