// Raising language errors from system-level code.
//
// Every failure below the evaluator is raised as a language error by category and id of the
// error catalogue (`script` `invalid-arg`, `internal` `no-memory`, ...). The raise unwinds with
// the thrown code THROWN_ERROR to the nearest `try`, `catch` or console handler. The `error!`
// value itself is built from the catalogue once it is loaded; until then the raised record
// carries the category, the id and up to three argument cells, and once the value layer is up
// the error! value itself (also kept where the collector sees it: error::last_raised).
#pragma once

#include "runtime/cell.h"
#include "runtime/process/process.h"

namespace xol::error {

// Categories, in catalogue order; an error's code is category x 100 + position of its id.
enum Category : int {
  CAT_THROW, CAT_NOTE, CAT_SYNTAX, CAT_SCRIPT, CAT_MATH, CAT_ACCESS, CAT_RESERVED1,
  CAT_RESERVED2, CAT_USER, CAT_INTERNAL,
};

struct Raised : rt::Thrown {
  Category category;
  const char* id;     // the id word's spelling, e.g. "invalid-arg"
  int arg_count;
  Cell args[3];
  Cell error;         // the error! value, or unset when raised before the value layer exists
};

// Called with every raise once its error! value exists, before it unwinds: the evaluator
// reports the error to an active trace hook there.
using RaiseObserver = void (*)(const Raised& raised);
void set_raise_observer(RaiseObserver observer);

// A stack overflow leaves no room to run a trace callback on its way out: the callback's own
// calls would overflow again, once for every level the error unwinds.
bool is_stack_overflow(const Raised& raised);

[[noreturn]] void raise(Category category, const char* id, const Cell* arg1 = nullptr,
                        const Cell* arg2 = nullptr, const Cell* arg3 = nullptr);

}  // namespace xol::error
