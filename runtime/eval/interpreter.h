// The interpreter: evaluates blocks of values directly, one expression after another.
//
// An expression is a value, a word or path with its kind of access, a call with its arguments
// fetched from the block, and any number of infix operators after it. Operators group from
// left to right with no precedence: the right operand of an operator is one value or one
// prefix call, while the arguments of a prefix call are whole expressions, operators included.
// So `1 + 2 * 3` is 9 and `f 1 + 2` passes 3 to f.
//
// Every expression pushes its value at the `top` it started from. Positions in a block are cell
// indexes, never pointers, because the block may move while it runs. The loop dispatches on the
// value's type with one switch; a word reads its value straight from its context's slot through
// the index the word caches. Calls fetch their arguments through an argument cache built once
// per function from its spec (the types of each argument, its kind, the refinements), kept in
// cell 1 of the function's hidden record. Nothing is allocated per step or per call: function
// arguments and locals are cells of the argument stack.
//
// A pending break, continue, return or exit (stack::pending) makes every step return at once;
// see stack.h. The trace hook (`do/trace`) receives 16 kinds of events, filtered by a mask.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::interpreter {

// Trace events and their bits in a callback's mask.
enum Event : uint32_t {
  EVENT_INIT = 0x0001, EVENT_END = 0x0002, EVENT_PROLOG = 0x0004, EVENT_EPILOG = 0x0008,
  EVENT_ENTER = 0x0010, EVENT_EXIT = 0x0020, EVENT_OPEN = 0x0040, EVENT_RETURN = 0x0080,
  EVENT_FETCH = 0x0100, EVENT_PUSH = 0x0200, EVENT_SET = 0x0400, EVENT_CALL = 0x0800,
  EVENT_ERROR = 0x1000, EVENT_THROW = 0x2000, EVENT_CATCH = 0x4000, EVENT_EXPR = 0x8000,
};
constexpr uint32_t kAllEvents = 0xFFFF;
constexpr int32_t kEventCount = 16;

struct TraceState {
  bool active = false;
  Cell callback{TYPE_NONE, 0, 0, 0};
  uint32_t mask = 0;
  int32_t locals = 0;         // local cells the callback has, pushed as none for every event
  bool saved_active = false;  // what functions flagged for tracing restore
  // `trace on`/`off` inside a traced run: how often the switch was set, and its last setting,
  // which a body left after a switch keeps in place of the state it found.
  uint32_t switches = 0;
  bool switched_on = false;
};
extern TraceState trace;
// The block under evaluation, its index on the expression being evaluated (an error's `near`).
extern Cell current_code;

// Argument kinds, in the kArgKindMask bits of the typeset cells of an argument cache.
enum ArgKind : uint32_t { ARG_EVALUATED = 0, ARG_LITERAL = 1, ARG_QUOTED = 2 };

// Start-up (after the stacks): the event words, the current-code root, the evaluator services
// the lower layers call (evaluator_hooks). `release` undoes it.
void init();
void release();

// Evaluates a whole block; its last value (unset for an empty block) goes to the caller's
// result slot with `chain` (`top` is left above the cell it was computed in), else to the
// caller's `top`.
void eval_block(const Cell* block, bool chain);
// Evaluates a whole block in the current frame, whose cells it may overwrite from the first on:
// the last value becomes the frame's result, as a chained eval_block's does, without the cost of
// a frame of its own. For natives whose arguments are spent once the block runs.
void eval_block_in_frame(const Cell* block);
// Evaluates one expression from `position` (absolute cell index) of the block; answers the
// position after it. With `sub` the value is pushed, else it becomes the frame's result.
// `prefix` stops before infix operators; with `passive` a function written literally is a
// value rather than a call.
uint32_t eval_expression(const Cell* code, uint32_t position, uint32_t end, bool prefix,
                         bool sub, bool passive);
// One expression in a frame named <body>, its value pushed; `any`, `all`, `case`, `reduce`.
uint32_t eval_next(const Cell* code, uint32_t position, uint32_t end);

enum PathMode { PATH_NORMAL, PATH_GET, PATH_SET };
// Evaluates a path and pushes its value; in set mode stores `value` at its last element
// (and pushes that value). With `case_sensitive` keys are looked up case-sensitively.
void eval_path(const Cell* path, PathMode mode, const Cell* value, bool case_sensitive = false);

// Runs a function whose arguments and locals are already in the current frame.
void call_function(const Cell* function, NodeId context, const Cell* name);
// Calls a native!, action!, function! or routine! (an op! as its source) whose arguments,
// refinement cells and locals are in the current frame; `refinements` as natives take them.
void invoke(const Cell* function, NodeId context, const Cell* name, bool check,
            const int32_t* refinements);

// ---- argument caches ----

// The argument cache of a function value, built on first use: per argument a typeset! (the
// accepted types, the kind in bits 20-21) followed by the argument's spec word; per refinement
// a refinement! followed by an integer! (word 1 its position among the refinements, word 2 its
// frame cell, word 3 its argument count); last an integer! (word 1 the refinement count, word 2
// the local cells from /local on, word 3 the arguments before the first refinement).
Cell arg_cache(const Cell* function);
struct CacheTotals {
  int32_t refinements;
  int32_t locals;
  int32_t arguments;
};
CacheTotals cache_totals(const Cell* cache);
// The spec word of argument `index` (counting every argument and refinement from 0), or none.
Cell nth_argument_word(const Cell* function, int32_t index);

// ---- trace ----

// Calls the trace callback for the event when the trace asks for it. A code left pending
// before the event is pending again after it, unless the callback leaves by an exit of its own.
void fire_event(Event event, const Cell* code, int32_t position, const Cell* value,
                const Cell* name);
// The events a callback asked for: the event words of the block that opens its spec, else all.
uint32_t event_mask(const Cell* callback);

}  // namespace xol::interpreter
