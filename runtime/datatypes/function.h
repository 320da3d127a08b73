// function! and routine!: the values of functions written in the language and of system-level
// C++ functions bound to words.
//
// A function! cell: header (type 24, spec attribute flags kTraceFlag and kNoTraceFlag); word 1
// the function's context (kind 1, values on the argument stack while it runs; its owner cell is
// the function itself); word 2 the spec block's node (the spec starts at its head); word 3 the
// node of the five-cell record:
//   [0] the body, a deep copy bound to the context, or none;
//   [1] unset (reserved);
//   [2] integer! code id of compiled code, unset when there is none;
//   [3] unset, or a copy of the function once an op! was made from it;
//   [4] function!: integer! node of the object context whose body defines the function, else
//       unset; routine!: integer! result type.
//
// A routine! (type 29) has the same shape. Its code is an entry of the routines table: an
// ordinary typed C++ function registered with `routines::add<fn>`, for which a template
// generates the thunk that unpacks the argument cells by the C++ parameter types (int32_t from
// an integer!, bool from a logic!, double from a float!, Cell* for any other value) and boxes
// the result by the return type (void unset, bool logic!, int32_t integer!, double float!,
// Cell* copied from the returned cell). Every call goes through that thunk, never through a
// pointer cast to another signature; making the routine value checks the spec's first type
// words against the parameter types, so a spec that disagrees with its C++ function fails when
// it is made rather than on a call.
#pragma once

#include <cstdint>
#include <type_traits>
#include <vector>

#include "runtime/cell.h"
#include "runtime/memory/memory.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"

namespace xol::function {

// Most refinements a function, native or action may have.
constexpr int32_t kMaxRefinements = 32;

// Cells of the function record.
enum RecordCell : uint32_t {
  RECORD_BODY, RECORD_RESERVED, RECORD_CODE, RECORD_OP, RECORD_OWNER, kRecordCells
};

inline Cell* record(const Cell* function) { return memory::buffer_of(function->data3)->cells(); }
inline Cell spec_block(const Cell* function) { return Cell{TYPE_BLOCK, 0, function->data2, 0}; }
inline NodeId context_of(const Cell* function) { return function->data1; }
inline Cell* body(const Cell* function) { return record(function) + RECORD_BODY; }

// Builds a function! into `result` and answers its context. The spec is copied deeply from its
// index. Without `context` one is made from the spec and the body copy is
// bound to it; a given context is used as it is and nothing is bound. `code` is a compiled-code
// id (0 for none), `owner` an object context node (kNoNode for none).
NodeId make_value(const Cell* spec, const Cell* body, NodeId context, int32_t code, NodeId owner,
                  uint32_t flags, Cell* result);

// Checks a spec block; answers its attribute flags or raises script `bad-func-def`,
// `invalid-type-spec`, `no-value` or `dup-vars`.
uint32_t validate_spec(const Cell* spec);

// Frame cells from /local on: 1 for /local and 1 per word after it; with `require`, -1 when the
// spec has no /local.
int32_t count_locals(const Cell* spec, uint32_t start, bool require);
// Writes the initial values of `count` local cells: false for /local, then none.
void set_nones(Cell* first, int32_t count);

// The words that the `function` native makes local: every set-word of the body and the words
// of repeat, foreach and map-each, minus those of the spec and of /extern. The spec is edited
// in place (/extern removed, /local and the words appended); the words are written into
// `result` as a block.
void collect_locals(Cell* spec, const Cell* body, Cell* result);

// A clone of a method for an object copy: same spec and flags, a copy of the context, and the
// body deep-copied and bound first to `object_context` (self on) and then to the clone's own
// context; no compiled code. A function without a body raises script `bad-func-def`.
void clone_for_object(Cell* function, NodeId object_context);

// ---- actions ----
void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);
void reflect(Cell* value, const Cell* field, Cell* result);

// Registers function! (id 24, parent context!).
void init();

}  // namespace xol::function

namespace xol::routines {

// The routine's result as the datatype id of the value made from it.
enum ResultType : int32_t {
  RESULT_NONE = -1, RESULT_LOGIC = TYPE_LOGIC, RESULT_INTEGER = TYPE_INTEGER,
  RESULT_FLOAT = TYPE_FLOAT, RESULT_CELL = 0,
};
constexpr int32_t kMaxArity = int32_t(kArityMask);

using Thunk = void (*)(Cell* args, Cell* result);

struct Entry {
  const char* name;
  Thunk thunk;
  ResultType result;
  int32_t arity;
  TypeId params[kMaxArity];   // TYPE_LOGIC, TYPE_INTEGER, TYPE_FLOAT, or TYPE_UNSET for a cell
};

namespace detail {

template <class T> struct Param;
template <> struct Param<int32_t> {
  static constexpr TypeId type = TYPE_INTEGER;
  static int32_t get(Cell* cell) { return integer::get(cell); }
};
template <> struct Param<bool> {
  static constexpr TypeId type = TYPE_LOGIC;
  static bool get(Cell* cell) { return logic::get(cell); }
};
template <> struct Param<double> {
  static constexpr TypeId type = TYPE_FLOAT;
  static double get(Cell* cell) { return floating::get(cell); }
};
template <> struct Param<Cell*> {
  static constexpr TypeId type = TYPE_UNSET;
  static Cell* get(Cell* cell) { return cell; }
};

template <class R> struct Result;
template <> struct Result<void> { static constexpr ResultType type = RESULT_NONE; };
template <> struct Result<bool> {
  static constexpr ResultType type = RESULT_LOGIC;
  static void box(bool value, Cell* result) { *result = logic::make(value); }
};
template <> struct Result<int32_t> {
  static constexpr ResultType type = RESULT_INTEGER;
  static void box(int32_t value, Cell* result) { *result = integer::make(value); }
};
template <> struct Result<double> {
  static constexpr ResultType type = RESULT_FLOAT;
  static void box(double value, Cell* result) { *result = floating::make(value); }
};
template <> struct Result<Cell*> {
  static constexpr ResultType type = RESULT_CELL;
  static void box(Cell* value, Cell* result) { copy_cell(value, result); }
};

template <auto Fn> struct Bind;
template <class R, class... Args, R (*Fn)(Args...)>
struct Bind<Fn> {
  static_assert(sizeof...(Args) <= size_t(kMaxArity), "a routine takes at most 31 arguments");
  template <size_t... I>
  static void call(Cell* args, Cell* result, std::index_sequence<I...>) {
    if constexpr (std::is_void_v<R>) {
      Fn(Param<Args>::get(args + I)...);
      cell::set_unset(result);
    } else {
      Result<R>::box(Fn(Param<Args>::get(args + I)...), result);
    }
  }
  static void thunk(Cell* args, Cell* result) {
    call(args, result, std::index_sequence_for<Args...>{});
  }
  static Entry entry(const char* name) {
    Entry made{name, thunk, Result<R>::type, int32_t(sizeof...(Args)), {}};
    TypeId types[] = {Param<Args>::type..., TYPE_UNSET};
    for (size_t i = 0; i < sizeof...(Args); ++i) made.params[i] = types[i];
    return made;
  }
};

int32_t add_entry(const Entry& entry);

}  // namespace detail

// Adds a typed C++ function to the table; answers its code id (from 1).
template <auto Fn>
int32_t add(const char* name) {
  return detail::add_entry(detail::Bind<Fn>::entry(name));
}

const Entry& entry(int32_t code);
// Forgets every entry (tests, shutdown).
void clear();

// Builds a routine! into `result`: its context made from the spec, the spec's node, a record
// holding `body` itself (none when null), the code id and the result type; `flags` may carry
// kPassCellsFlag. The spec's word! count becomes the arity (more than 31 raise script
// `bad-func-def`); a spec whose argument types disagree with the C++ parameters raises internal
// `routines`.
void make_value(const Cell* spec, const Cell* body, int32_t code, uint32_t flags, Cell* result);
int32_t arity(const Cell* routine);
// Runs the routine with its `arity` argument cells; writes the result (when it has one).
void call(const Cell* routine, Cell* args, Cell* result);

// Registers routine! (id 29, parent function!).
void init();

}  // namespace xol::routines
