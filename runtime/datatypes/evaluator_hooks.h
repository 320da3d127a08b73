// The one interface by which the layers below the evaluator call it: evaluating a block, calling
// a function with its arguments, filling in where an error happened, and calling the function
// values that `sort/compare` and a `transcode/trace` callback hand to the series sorts and the
// lexer.
//
// The datatypes sit below the evaluator, yet `make object!` evaluates its spec, an error made
// from a block of set-words evaluates it, and a port forwards its actions to functions of its
// actor. The evaluator installs its entry points here once it exists; until then (and in unit
// tests, which install C++ callbacks) a call without an installed service raises the internal
// error `not-done`. Only pointers with these exact signatures are ever stored and called.
//
// The comparison and lexer calls go through the calling interface, so they check their
// arguments as any call does and carry break, return and the rest out as rt::Thrown.
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
// Calls a comparison function value of `sort/compare` on two values, writing its answer
// (series.h says how the sorts read it).
using CallComparison = void (*)(const Cell* function, const Cell* a, const Cell* b, Cell* answer);
// Runs a `transcode/trace` callback on its lexer::kCallbackArgs arguments and answers its result
// as a logic; writes the final value of the `input` argument back into args[1], so that a
// callback that moves the input moves the lexer. The lexer treats a missing one as a callback
// that answers true and a missing body service as one that chooses every event.
using CallLexerCallback = bool (*)(const Cell* callback, Cell* args);
// The body block of a lexer callback (null when it has none), whose first value may choose the
// events.
using CallbackBody = const Cell* (*)(const Cell* callback);

struct Services {
  EvalBlock eval_block = nullptr;
  CallFunction call_function = nullptr;
  AnnotateError annotate_error = nullptr;
  TraceLevel trace_level = nullptr;
  FormTrace form_trace = nullptr;
  CallComparison call_comparison = nullptr;
  CallLexerCallback call_lexer_callback = nullptr;
  CallbackBody callback_body = nullptr;
};

// Replaces every service at once; a member left null is not available.
void install(const Services& services);
const Services& installed();

void eval_block(const Cell* block, Cell* result);
void call_function(const Cell* function, NodeId context, const Cell* name, const Cell* args,
                   int32_t count, Cell* result);
void call_comparison(const Cell* function, const Cell* a, const Cell* b, Cell* answer);

}  // namespace xol::evaluator_hooks
