// Calling an object's change hooks: on-change* after a field is set through a word or a path,
// on-deep-change* when a series the object owns is modified.
//
// An object with hook fields carries (word 3) the node of its on-set record: two pair! cells,
// cell 0 for on-change* and cell 1 for on-deep-change*, whose word 2 holds the hook field's
// index in the object's context in its upper 16 bits (-1: no such hook). A hook is called only
// when its function takes exactly the arguments it is given; any other function raises a
// script error instead of being called with a frame it does not expect. The call goes through
// the evaluator's function-call service, named by the hook's word, its result discarded; unit
// tests install a caller of their own in its place to see the calls.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::hooks {

enum Hook : int32_t { ON_CHANGE = 0, ON_DEEP_CHANGE = 1 };
// Arguments: on-change* (word old new); on-deep-change* (owner word target action new index
// part).
constexpr int32_t kOnChangeArity = 3;
constexpr int32_t kOnDeepChangeArity = 7;

// Calls `function` with `count` argument cells for the hook named by `hook`; null restores the
// evaluator's service.
using Caller = void (*)(const Cell* function, Hook hook, const Cell* args, int32_t count);
void set_caller(Caller caller);

// The number of arguments a function value takes (the argument words of its spec before the
// first refinement), or -1 when the value is not a function.
int32_t argument_count(const Cell* function);

// The hook field's index in the object's context, or -1 when the object has no such hook.
int32_t field_index(const Cell* object, Hook hook);

// Runs the object's on-change* with (word old new). An object without the hook does nothing;
// a hook field that does not hold a function raises script `invalid-obj-evt`.
void fire_on_change(const Cell* object, const Cell* word, const Cell* old_value,
                    const Cell* new_value);
// Runs the object's on-deep-change*; a hook field that does not hold a function is ignored.
// A null new value is passed as none.
void fire_on_deep_change(const Cell* object, const Cell* word, const Cell* target,
                         const Cell* action, const Cell* new_value, int32_t index,
                         int32_t part);

}  // namespace xol::hooks
