// The natives table: the routines that native! values name by their 1-based index, and the
// loading of the native and action specs at start-up.
//
// Slot k holds native k of the language's fixed list, XOL_NATIVES (`if` is 1, `apply` 107).
// The specs (argument names, types, refinements, docstrings) are Xol source in
// library/natives.xol and library/actions.xol, embedded in the executable; `load_specs` makes
// the native! and action! values from them and binds their words, in table order, once it has
// checked that the natives' specs stand in that order.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/native.h"
#include "runtime/eval/natives/natives.h"

namespace xol::natives_table {

#define XOL_NATIVE_NUMBER(n, id, routine, word) n,
constexpr int kNativeNumbers[] = {XOL_NATIVES(XOL_NATIVE_NUMBER)};
#undef XOL_NATIVE_NUMBER
static_assert(numbered_from_one(kNativeNumbers), "XOL_NATIVES numbers its natives 1, 2, 3 ...");
constexpr int32_t kNativeCount = int32_t(std::size(kNativeNumbers));
static_assert(kNativeCount <= natives::kNativeSlots, "the natives table has a slot per native");

// The 1-based number of the first spec of `body` (the values of natives.xol after its header:
// set-word, spec block, and so on) that is not a set-word spelled as the native of that number;
// a spec missing at the end or one too many counts. 0 when every spec is named as its native.
int32_t first_misnamed_native(const Cell& body);
// Ends the process as a fatal runtime error, naming that spec and the expected name, when there
// is one: the natives would be bound to the wrong words.
void check_native_specs(const Cell& body);

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
