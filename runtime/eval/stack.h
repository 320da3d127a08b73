// The argument stack and the call-frame stack: where every evaluation keeps its values.
//
// The argument stack is one fixed array of cells holding the arguments, locals and results of
// every active call; `arguments` is the base of the current frame (its first argument, which
// is also its result slot) and `top` the next free cell. The call-frame stack is a parallel
// array of small records saying which call owns which stretch of the argument stack and what
// kind of call it is (a function, a native, a loop, a try ...). Both live in buffers outside
// the collected frames, made once at start-up, so they never move: code may keep pointers into
// them. The collector marks the cells from the bottom to `top` and the contexts the records
// name.
//
// Non-local exits. Errors and `throw` travel as C++ exceptions (error::Raised, rt::Thrown); the
// catching native restores both stacks to what it saved. `break`, `continue`, `return` and
// `exit` are far more frequent, so they never throw: the operation that starts them walks the
// frames, makes the target frame current with the value in its result slot, and leaves the
// code in `pending`. Every evaluation step returns at once while a code is pending, and the
// loop or function body that owns the code clears it. Nothing on the way pops frames again.
// Where a pending code must cross C++ code that is not an evaluation step (a function called
// from a native or a datatype), `raise_pending` turns it into an rt::Thrown, and `guarded`
// turns it back at the next loop or function body.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/process/process.h"

namespace xol::stack {

constexpr int32_t kArgumentCells = 20000;
constexpr int32_t kFrameStorageCells = 15000;   // raw storage for the call-frame records
constexpr int32_t kFrameRecords = 12000;
// Cells given back when the argument stack overflows, so that the error can be made.
constexpr int32_t kOverflowHeadroom = 5;

enum FrameType : uint32_t {
  FRAME_FUNCTION = 1,   // a function called from system-level code, with its context
  FRAME_NATIVE = 2,     // a native, action, op or routine
  FRAME_TRY = 4,
  FRAME_TRY_ALL = 5,    // try/all and the guarded evaluations of the console and GUI
  FRAME_CATCH = 6,
  FRAME_EVAL = 7,       // a block being evaluated
  FRAME_LOOP = 8,
};

// A call-frame record: five 32-bit words, so that 12,000 fit the 15,000-cell storage.
struct Frame {
  uint32_t header;   // symbol << 8 | flags (type in bits 0-3)
  uint32_t prev;     // the caller's `arguments`, as a cell index from the bottom
  NodeId ctx;        // the context of the frame's name word
  NodeId fctx;       // the function context whose values this frame saved, or 0
  uint32_t saved;    // that context's values (first cell index + 1), 0 when it was not running

  static constexpr uint32_t kTypeMask = 0x0F;
  static constexpr uint32_t kBodyFlag = 0x10;     // return and exit end here
  static constexpr uint32_t kInterpFlag = 0x80;   // pushed by the interpreter
  static constexpr uint32_t kSymbolShift = 8;

  FrameType type() const { return FrameType(header & kTypeMask); }
  int32_t symbol() const { return int32_t(header >> kSymbolShift); }
  bool body() const { return header & kBodyFlag; }
  bool interpreted() const { return header & kInterpFlag; }
};
static_assert(sizeof(Frame) == 20);
static_assert(kFrameRecords * sizeof(Frame) <= kFrameStorageCells * sizeof(Cell));

// ---- state ----
extern Cell* bottom;
extern Cell* stack_end;
extern Cell* arguments;
extern Cell* top;
extern Frame* cbottom;
extern Frame* cstack_end;
extern Frame* ctop;
// The node of the argument stack's buffer (function contexts name it while they run).
extern NodeId argument_node;
// The code of a break, continue, return or exit on its way to its frame; 0 when none.
extern uint32_t pending;
// The lowest native stack address evaluation may reach: every call checks it, so that deep
// recursion in the language ends in `stack-overflow` even where the native stack is smaller
// than the language's own limits need.
extern uintptr_t native_limit;

// Makes the two stack blocks in the root block (start-up, after the root block).
void make_blocks();
// Takes the two blocks made by make_blocks, registers the collector roots, empties both.
void init();
// Forgets the roots (runtime shutdown and tests).
void release();

[[noreturn]] void overflow();

inline void check_native_depth() {
  if (reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) < native_limit) overflow();
}

// ---- cells ----
inline Cell* push_slot() {
  Cell* slot = top++;
  if (top >= stack_end) overflow();
  cell::set_unset(slot);
  return slot;
}
// The value is copied as one 16-byte block: copied field by field, the compiler reassembles
// the fields it already read for tests around the push.
inline Cell* push(const Cell* value) {
  Cell copy;
  __builtin_memcpy(&copy, value, sizeof(Cell));
  Cell* slot = top++;
  if (top >= stack_end) overflow();
  __builtin_memcpy(slot, &copy, sizeof(Cell));
  return slot;
}
// Drops n cells, never below the bottom.
inline void pop(int32_t n) { top = top - bottom < n ? bottom : top - n; }
inline Cell* reset() { return top = arguments; }
inline void keep() { top = arguments + 1; }
inline void set_last(const Cell* value) { copy_cell(value, arguments); }
inline void reset_last(const Cell* value) {
  Cell copy = *value;
  top = arguments + 1;
  *arguments = copy;
}
inline uint32_t index_of(const Cell* cell) { return uint32_t(cell - bottom); }

// ---- frames ----
inline Frame* current() { return ctop - 1; }
inline Cell* base_of(const Frame* frame) {
  return frame + 1 < ctop ? bottom + frame[1].prev : arguments;
}

void bad_frame_push [[noreturn]] ();
inline Cell* mark(const Cell* name, uint32_t flags, NodeId fctx = kNoNode, uint32_t saved = 0) {
  if (ctop >= cstack_end) bad_frame_push();
  *ctop++ = Frame{uint32_t(name->data2) << Frame::kSymbolShift | flags, index_of(arguments),
                  name->data1, fctx, saved};
  return arguments = top;
}
// A function called from system-level code: `fctx`'s values are saved and restored.
Cell* mark_func(const Cell* name, NodeId fctx);
inline Cell* mark_native(const Cell* name) { return mark(name, FRAME_NATIVE); }
inline Cell* mark_try(const Cell* name) { return mark(name, FRAME_TRY); }
inline Cell* mark_try_all(const Cell* name) { return mark(name, FRAME_TRY_ALL); }
inline Cell* mark_catch(const Cell* name) { return mark(name, FRAME_CATCH); }
inline Cell* mark_loop(const Cell* name) { return mark(name, FRAME_LOOP); }
inline Cell* mark_eval(const Cell* name) { return mark(name, FRAME_EVAL | Frame::kInterpFlag); }
inline Cell* mark_interp_native(const Cell* name) {
  return mark(name, FRAME_NATIVE | Frame::kInterpFlag);
}
inline Cell* mark_interp_func(const Cell* name, NodeId ctx) {
  Cell* base = mark(name, FRAME_FUNCTION | Frame::kInterpFlag);
  current()->ctx = ctx;
  return base;
}

// Parens run as statements open no frame: their nesting counts against the frame stack's room
// instead, so that nested parens end in `stack-overflow` as soon as nested calls would, long
// before they use up the native stack.
extern int32_t frameless_depth;
class FramelessNesting {
 public:
  FramelessNesting() {
    if (++frameless_depth + (ctop - cbottom) >= kFrameRecords) {
      --frameless_depth;
      bad_frame_push();
    }
  }
  ~FramelessNesting() { --frameless_depth; }
  FramelessNesting(const FramelessNesting&) = delete;
  FramelessNesting& operator=(const FramelessNesting&) = delete;
};

inline void set_body_flag(bool on) {
  if (on) current()->header |= Frame::kBodyFlag;
  else current()->header &= ~Frame::kBodyFlag;
}

// Writes a saved values pointer back into the frame's function context.
void restore_values(const Frame* frame);

// Pops the current frame; the result stays at the old base, one cell above the caller's last.
inline void unwind() {
  Frame* frame = --ctop;
  top = arguments + 1;
  arguments = bottom + frame->prev;
}
// Pops the current frame and moves its result into the caller's result slot.
inline void unwind_last() {
  Cell* old_base = arguments;
  unwind();
  copy_cell(old_base, arguments);
  top = old_base + 1;
}
// Pops the current frame, dropping its cells and its result.
inline void revert() {
  Frame* frame = --ctop;
  top = arguments = bottom + frame->prev;
}
inline void revert_func() {
  restore_values(ctop - 1);
  revert();
}

// A saved position of both stacks, for the natives that catch errors and throws.
struct Mark {
  Frame* ctop;
  Cell* arguments;
  Cell* top;
};
inline Mark save() { return Mark{ctop, arguments, top}; }
// Pops every frame above the mark (restoring the function contexts of function frames) and
// puts both positions back.
void restore(const Mark& mark);

// ---- non-local exits ----

inline bool soft_code(uint32_t code) {
  return code >= rt::THROWN_EXIT && code <= rt::THROWN_BREAK;
}
// `break` (/return with `with_value`) and `continue`: the nearest loop frame becomes current.
// A try/all frame met first, or no loop, raises throw `break` / `continue`.
void throw_break(bool with_value, bool is_continue);
// `return` (with a value) and `exit`: the nearest frame with the body flag becomes current.
void throw_return(bool with_value);
// `throw`: the value (and the name, or unset, in the cell after it) go to the nearest catch
// frame, then rt::Thrown{THROWN_THROW} unwinds the native stack.
[[noreturn]] void throw_throw();
// Raises the error! value as the language error it holds.
[[noreturn]] void throw_error(const Cell* error);

// Turns a pending code into an rt::Thrown (when system-level code called the language).
inline void raise_pending() {
  if (pending) {
    uint32_t code = pending;
    pending = 0;
    throw rt::Thrown{code};
  }
}
// Runs `body` and answers the code left pending (0 for a normal end), whether it came back
// soft or as an rt::Thrown: the frame operations already placed everything.
template <class Body>
uint32_t guarded(Body&& body) {
  try {
    body();
  } catch (const rt::Thrown& thrown) {
    if (!soft_code(thrown.code)) throw;
    pending = thrown.code;
  }
  return pending;
}

// ---- queries ----

// The name of the nearest frame that is neither <body> nor <anon>, bound in its context; the
// word <not-found> when there is none.
Cell get_call();
// Appends to the block the name words of the frames below `end` (exclusive), skipping <body>
// and <anon>: every name with `level` above 1, else only those whose value is a function.
void collect_frame_words(int32_t level, Cell* block, int32_t end);
// Forms those names, each followed by a space, for an error's "*** Stack:" line.
int32_t form_trace(int32_t level, int32_t frame, Cell* buffer, int32_t part);

}  // namespace xol::stack
