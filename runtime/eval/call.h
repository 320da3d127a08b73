// The calling interface: how system-level C++ (natives, datatypes, the console glue, later the
// GUI back end) calls natives, actions and functions of the language, and reads and sets words.
//
// A call opens a frame named by the given word, pushes the arguments in spec order and the
// arguments of the refinements it uses, checks every argument against the callee's spec (the
// interpreter checks while it fetches; a caller here has not), pushes a function's locals, and
// runs the callee. The value comes back in a cell the caller owns. A break, continue, return
// or exit that leaves the callee is turned into an rt::Thrown here, since the C++ caller is no
// evaluation step that could carry it on; errors and throws pass through unchanged.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "runtime/cell.h"
#include "runtime/datatypes/error_raise.h"

namespace xol::call {

// A refinement a call uses: a refinement! or word! naming it, and its arguments.
struct RefinementUse {
  const Cell* refinement;
  const Cell* args = nullptr;
  int32_t count = 0;
};

// Calls a native!, action!, op!, function! or routine! with `count` arguments and the given
// refinements; `object` is the object context of a method call (kNoNode for none).
// `final_args`, when given, receives what the callee's arguments hold when it ends, except the
// first, whose cell holds the result by then (a callback that moves its input moves the caller).
// With `frame_cells`, the cells of `args` past a function!'s arguments are its refinement cells
// in spec order (each refinement's flag, then its arguments), as a port forwards an action.
void value(const Cell* function, const Cell* name, const Cell* args, int32_t count,
           Cell* result, std::initializer_list<RefinementUse> refinements = {},
           NodeId object = kNoNode, Cell* final_args = nullptr, bool frame_cells = false);

// The word's value; unset raises script `no-value` with the word.
Cell* get_value(const Cell* word);
// Sets the word (firing an object's on-change*); unset raises script `need-value`.
void set_value(Cell* word, const Cell* value);

// An integer! as it is; a float! or percent! truncated toward zero, or script `out-of-range` when
// it has no 32-bit integer (NaN included); any other value raises script `invalid-arg`.
int32_t float_to_integer(const Cell* value);

// The case search of `switch`: steps through `cases` one item at a time for an item of the
// value's type that compares equal (a block! value never matches); answers the first block
// after the hit, the tail when no block follows it, or null when nothing matched.
const Cell* select_case(const Cell* value, const Cell* cases);

// The evaluator service through which the datatypes call functions (hooks, actors); `args`
// are the frame's leading cells, refinement cells included.
void function_service(const Cell* function, NodeId context, const Cell* name, const Cell* args,
                      int32_t count, Cell* result);
// The services through which the series sorts call a `sort/compare` function and the lexer a
// `transcode/trace` callback, and the callback's body block (null when it has none).
void comparison_service(const Cell* function, const Cell* a, const Cell* b, Cell* answer);
bool lexer_callback_service(const Cell* callback, Cell* args);
const Cell* callback_body(const Cell* callback);
// Reports a raise to an active trace hook (its `error` event), once: never for the overflow of
// the stacks and never from inside the hook.
void observe_raise(const error::Raised& raised);

}  // namespace xol::call
