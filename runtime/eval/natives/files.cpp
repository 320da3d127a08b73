// The file natives: `size?` and `to-local-file`.
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/text_types.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/stack.h"
#include "runtime/io/files.h"

namespace xol::natives {
namespace {

using stack::arguments;

enum ToLocalFileRefinement { REF_FULL };

}  // namespace

void size_q(bool, const int32_t*) {
  const Cell size = simple_io::size_q(arguments);
  stack::set_last(&size);
  stack::keep();
}

void to_local_file(bool, const int32_t* refinements) {
  Cell local;
  string::make_at(&local, string::length(arguments) + 1);
  file::to_local_path_into(arguments, &local, refinements[REF_FULL] >= 0);
  stack::set_last(&local);
  stack::keep();
}

}  // namespace xol::natives
