// The natives table: the routines that native! values name by their 1-based index, and the
// loading of the native and action specs at start-up.
//
// Slot k holds native k of the language's fixed list (`if` is 1, `apply` 107). Every slot is
// filled: a native whose implementation is not built yet raises internal `not-done`, so a
// native! value never reaches an empty slot. The specs (argument names, types, refinements,
// docstrings) are Xol source in library/natives.xol and library/actions.xol, embedded in the
// executable; `load_specs` makes the native! and action! values from them and binds their
// words, in table order.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/datatypes/native.h"

namespace xol::natives_table {

constexpr int32_t kNativeCount = 107;

// Fills the native slots (start-up, after the runtime's words).
void register_natives();
// After the lexer and the interpreter are up: gives the datatype words their datatypes, makes
// the typesets that specs name (library/typesets.xol), then the action! and native! values.
void load_specs();
// Evaluates the values of an embedded library file after its header, in the global context.
void run_library(std::string_view name);
// The values of an embedded library file after its `Xol [...]` header, loaded into the global
// context; an empty block when there is no such file.
Cell load_library_body(std::string_view name);

}  // namespace xol::natives_table
