// The evaluator services that the datatypes call: evaluating a block, calling a function with
// its arguments, and filling in where an error happened.
//
// The datatypes sit below the evaluator, yet `make object!` evaluates its spec, an error made
// from a block of set-words evaluates it, and a port forwards its actions to functions of its
// actor. The evaluator installs its entry points here once it exists; until then (and in unit
// tests, which install C++ callbacks) a call without an installed service raises the internal
// error `not-done`. Only pointers with these exact signatures are ever stored and called.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::evaluator_hooks {

// Evaluates the block from its head and writes the last value into `result`.
using EvalBlock = void (*)(const Cell* block, Cell* result);
// Calls a function! whose arguments are `args[0..count)`: the evaluator opens a frame named by
// `name`, pushes the arguments and the function's locals (false for /local, none for the rest),
// runs it with `context` as its object context (kNoNode for none) and leaves its result in
// `result`.
using CallFunction = void (*)(const Cell* function, NodeId context, const Cell* name,
                              const Cell* args, int32_t count, Cell* result);
// Fills the `near`, `where` and `stack` fields of a freshly raised error from the current call
// frame.
using AnnotateError = void (*)(Cell* error);
// The trace level that error printing reads (system/state/stack-trace), and the call trace
// printed after "*** Stack: " from a frame position; answers the part limit left.
using TraceLevel = int32_t (*)();
using FormTrace = int32_t (*)(int32_t level, int32_t frame, Cell* buffer, int32_t part);

struct Services {
  EvalBlock eval_block = nullptr;
  CallFunction call_function = nullptr;
  AnnotateError annotate_error = nullptr;
  TraceLevel trace_level = nullptr;
  FormTrace form_trace = nullptr;
};

// Replaces every service at once; a member left null is not available.
void install(const Services& services);
const Services& installed();

void eval_block(const Cell* block, Cell* result);
void call_function(const Cell* function, NodeId context, const Cell* name, const Cell* args,
                   int32_t count, Cell* result);

}  // namespace xol::evaluator_hooks
