// Raising language errors from system-level code.
#include "runtime/datatypes/error_raise.h"

#include <cstring>
#include <initializer_list>

#include "runtime/datatypes/error.h"

namespace xol::error {

namespace {
RaiseObserver observer = nullptr;
}  // namespace

void set_raise_observer(RaiseObserver given) { observer = given; }

bool is_stack_overflow(const Raised& raised) {
  return raised.id && std::strcmp(raised.id, "stack-overflow") == 0;
}

void raise(Category category, const char* id, const Cell* arg1, const Cell* arg2,
           const Cell* arg3) {
  Raised raised{};
  raised.code = rt::THROWN_ERROR;
  raised.category = category;
  raised.id = id;
  for (const Cell* arg : {arg1, arg2, arg3}) {
    if (!arg) break;
    raised.args[raised.arg_count++] = *arg;
  }
  cell::set_unset(&raised.error);
  build_raised(raised);
  if (observer) observer(raised);
  throw raised;
}

}  // namespace xol::error
