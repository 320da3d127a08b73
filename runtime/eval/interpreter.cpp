// The interpreter: expressions, calls with their arguments and refinements, paths, function
// bodies, and the trace hook.
#include "runtime/eval/interpreter.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <limits>

#include "runtime/memory/collector.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/evaluator_hooks.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/word.h"
#include "runtime/eval/actions.h"
#include "runtime/eval/call.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/eval/error_stack.h"
#include "runtime/eval/frame_fill.h"
#include "runtime/eval/natives_table.h"
#include "runtime/eval/stack.h"
#include "runtime/memory/memory.h"
#include "runtime/process/process.h"
#include "runtime/datatypes/runtime_words.h"

namespace xol::interpreter {

TraceState trace;
Cell current_code{TYPE_UNSET, 0, 0, 0};

namespace {

constexpr Cell kNone{TYPE_NONE, 0, 0, 0};
constexpr uint32_t kKindMask = 0x3u << kArgKindShift;
// How the argument whose typeset is the cache entry `types` is fetched.
inline uint32_t arg_kind(const Cell& types) { return (types.header & kKindMask) >> kArgKindShift; }
constexpr int32_t kNoPosition = -1;
// An argument cache of two arguments and no refinement: two typeset/word pairs and the totals.
constexpr uint32_t kBinaryCacheCells = 5;

// The comparison natives equal? to greater-or-equal?, in their order in the natives table.
constexpr CompareOp kCompareNatives[] = {COMP_EQUAL,  COMP_NOT_EQUAL,    COMP_STRICT_EQUAL,
                                         COMP_LESSER, COMP_GREATER,      COMP_LESSER_EQUAL,
                                         COMP_GREATER_EQUAL};
static_assert(size_t(natives::NAT_GREATER_OR_EQUAL_Q - natives::NAT_EQUAL_Q + 1) ==
              std::size(kCompareNatives));

const char* const kEventNames[kEventCount] = {
    "init", "end", "prolog", "epilog", "enter", "exit", "open", "return",
    "fetch", "push", "set", "call", "error", "throw", "catch", "expr"};
Cell event_words[kEventCount];

// Where the arguments of a call come from: the rest of a block, and the refinements of a path.
struct CallSite {
  const Cell* code;
  uint32_t position;
  uint32_t end;
  const Cell* path;      // null when the call has no refinements
  uint32_t path_position;
};

// The block accessors of the evaluation loop, inline: a step reads its cell and the block's
// tail afresh, since the block may have moved or changed since the last step.
inline Cell* cells_of(NodeId node) {
  return reinterpret_cast<Cell*>(memory::buffer_of(node)->head_ptr());
}
inline uint32_t cell_count(NodeId node) {
  return memory::buffer_of(node)->used_bytes() / uint32_t(sizeof(Cell));
}
inline const Cell* cell_at(const Cell* code, uint32_t index) {
  return cells_of(code->node()) + index;
}
inline uint32_t clamp_end(const Cell* code, uint32_t end) {
  const uint32_t count = cell_count(code->node());
  return end < count ? end : count;
}
inline uint32_t head_position(const Cell* code) { return clamp_end(code, code->head_index()); }

constexpr uint64_t kCallableTypes =
    types_of({TYPE_NATIVE, TYPE_ACTION, TYPE_FUNCTION, TYPE_ROUTINE});
// A word whose value is of these types is not a plain value: it calls, takes an operand, or fails.
constexpr uint64_t kNotPlainValueTypes = kCallableTypes | types_of({TYPE_OP, TYPE_UNSET});
// The cell types whose steps do more than push the cell: the words, paths, parens, functions and
// issues.
constexpr uint64_t kStepTypes =
    kCallableTypes | types_of({TYPE_OP, TYPE_WORD, TYPE_SET_WORD, TYPE_GET_WORD, TYPE_LIT_WORD,
                               TYPE_ISSUE, TYPE_PATH, TYPE_SET_PATH, TYPE_GET_PATH,
                               TYPE_LIT_PATH, TYPE_PAREN});

inline bool callable(TypeId type) { return in_types(kCallableTypes, type); }


// The word's value slot: the cached slot, else the checked road (unbound, unresolved, a
// function not running).
inline Cell* word_slot(const Cell* word) {
  uint32_t flags;
  if (Cell* slot = context::bound_slot(word, &flags)) return slot;
  if (!word::context_of(word)) error::raise(error::CAT_SCRIPT, "not-defined", word);
  return context::get_in(word, word::context_of(word));
}

inline void set_word(const Cell& target, const Cell& value) {
  if (Cell* slot = context::store_slot(&target)) {
    *slot = value;
    return;
  }
  Cell word = target;
  context::set(&word, &value);
}

// The function an op! stands for: its source type in place of op!.
inline Cell op_function(const Cell* op) {
  Cell function = *op;
  function.header = (function.header & ~(kTypeMask | kTypeMask << natives::kOpSourceShift)) |
                    natives::op_source(op);
  return function;
}

inline bool tracing(Event event) { return trace.active && (trace.mask & event); }

inline void fire(Event event, const Cell* code, uint32_t position, const Cell* value,
                 const Cell* name) {
  if (tracing(event)) fire_event(event, code, int32_t(position), value, name);
}

// ---- argument caches ----

Cell* record_of(const Cell* function) {
  return memory::buffer_of(function->data3)->cells();
}

// The argument cache of a function once it is built: its cells (the typeset/word pairs and
// refinements, then the totals) and, in `count`, their number; null while it is not built.
inline const Cell* built_cache(const Cell* function, uint32_t* count) {
  const Cell* cache = record_of(function) + 1;
  if (!cache->is(TYPE_BLOCK)) return nullptr;
  *count = cell_count(cache->node());
  return cells_of(cache->node());
}

Cell build_cache(const Cell* function) {
  const Cell spec{TYPE_BLOCK, 0, function->data2, 0};
  Cell cache;
  block::make_at(&cache, int32_t(block::length(&spec)) + 1);
  int32_t refinements = 0, frame = 0, before = 0, locals = 0;
  uint32_t open_refinement = 0;   // index + 1 of the integer! of the refinement being filled
  const uint32_t count = block::length(&spec);
  for (uint32_t i = 0; i < count; ++i) {
    const Cell entry = block::head(&spec)[i];
    switch (entry.type()) {
      case TYPE_WORD: case TYPE_GET_WORD: case TYPE_LIT_WORD: {
        const bool typed = i + 1 < count && block::head(&spec)[i + 1].is(TYPE_BLOCK);
        const Cell types = typed ? block::head(&spec)[i + 1] : kNone;
        Cell* set = typed ? typeset::make_from_block(&cache, &types)
                          : typeset::make_default_in(&cache);
        uint32_t kind = entry.is(TYPE_WORD) ? ARG_EVALUATED
                        : entry.is(TYPE_GET_WORD) ? ARG_LITERAL : ARG_QUOTED;
        set->header = (set->header & ~kKindMask) | kind << kArgKindShift;
        block::append_cell(&cache, &entry);
        ++frame;
        if (open_refinement) ++block::abs_at(&cache, open_refinement - 1)->data3;
        else ++before;
        break;
      }
      case TYPE_REFINEMENT: {
        if (symbol::resolve(word::symbol_of(&entry)) ==
            symbol::resolve(word::symbol_of(&words::refs.local))) {
          locals = function::count_locals(&spec, i, false);
          i = count;
          break;
        }
        block::append_cell(&cache, &entry);
        Cell position{TYPE_INTEGER, uint32_t(refinements++), uint32_t(frame++), 0};
        block::append_cell(&cache, &position);
        open_refinement = block::length(&cache);
        break;
      }
      default:
        break;   // docstrings, type blocks (taken with their word), return: and attributes
    }
  }
  Cell totals{TYPE_INTEGER, uint32_t(refinements), uint32_t(locals), uint32_t(before)};
  block::append_cell(&cache, &totals);
  return cache;
}

// ---- calls ----

[[noreturn]] void raise_expect(const Cell* name, TypeId type, const Cell* argument) {
  Cell datatype{TYPE_DATATYPE, uint32_t(type), 0, 0};
  error::raise(error::CAT_SCRIPT, "expect-arg", name, &datatype, argument);
}

inline void check_type(const Cell& types, const Cell& argument_word, const Cell* name,
                       const Cell* value) {
  if (!typeset::has(&types, value->type())) raise_expect(name, value->type(), &argument_word);
}

uint32_t eval_value(const Cell* code, uint32_t position, uint32_t end, bool passive);
void run_body(const Cell* function, const Cell* name);
void eval_code(const Cell& function, const Cell& name, CallSite& site, NodeId parent,
               bool infix);
void eval_path_at(const Cell* path, PathMode mode, const Cell* value, CallSite* site,
                  bool case_sensitive = false);
uint32_t run_infix(const Cell* code, uint32_t position, uint32_t end, Cell* start,
                   const Cell* slot);
inline uint32_t run_pure_head(const Cell& code);
uint32_t eval_operand(const Cell* code, uint32_t position, uint32_t end);
inline uint32_t pure_statement(const Cell* code, uint32_t position, uint32_t end);
uint32_t pure_statement_with_fields(const Cell* cells, uint32_t position, uint32_t end);
constexpr uint32_t kNotPure = std::numeric_limits<uint32_t>::max();
inline uint32_t pure_operation(const Cell* op, const Cell* cells, uint32_t position,
                               uint32_t end, Cell* left, int depth);

// Blocks whose first expression was found not pure (see run_pure_head), so that most
// evaluations of a block that starts with a call do not try again: a small table indexed by
// node. A stale entry (a node reused, a block changed) only costs or saves an attempt.
constexpr uint32_t kImpureHints = 1024;
NodeId impure_hints[kImpureHints];
inline bool known_impure(NodeId node) { return impure_hints[node % kImpureHints] == node; }
inline void note_impure(NodeId node) { impure_hints[node % kImpureHints] = node; }

// Sites (block node and position, folded into a key) found not to have the shape that a fast
// road takes, so that it does not look again each time: small tables, where a stale or shared
// entry only costs or saves a look. Calls that call_plain_native does not take, and set-words
// and set-paths whose value is not pure.
constexpr uint32_t kSiteHints = 1024;
constexpr uint32_t kSiteShift = 6;
uint32_t other_call_shapes[kSiteHints];
uint32_t impure_stores[kSiteHints];
inline uint32_t site_key(const Cell* code, uint32_t position) {
  return code->node() << kSiteShift ^ position;
}
inline uint32_t& site_hint(uint32_t* table, uint32_t site) { return table[site % kSiteHints]; }

// Where a block's evaluation keeps its values: a frame of its own (a traced block's), the
// current frame (as eval_block_in_frame does), or no frame, its value pushed.
enum class BlockBase { own_frame, current_frame, pushed };

// Evaluates a block from `from` on, its values based as `Base` says. Whether events fire is
// decided once: a traced evaluation inside a statement always ends untraced again, and an
// untraced one traced again.
template <bool Traced, BlockBase Base = BlockBase::own_frame>
[[gnu::always_inline]] inline void run_block_as(const Cell& code, bool chain, uint32_t from) {
  // Saved and put back as one block: copied field by field, the compiler reassembles it.
  struct Restore {
    Cell saved;
    Restore() { __builtin_memcpy(&saved, &current_code, sizeof(Cell)); }
    ~Restore() { __builtin_memcpy(&current_code, &saved, sizeof(Cell)); }
  } restore;
  if constexpr (Base == BlockBase::current_frame) stack::reset();
  else if constexpr (Base == BlockBase::own_frame) stack::mark_eval(&words::w.body);
  Cell* const base = stack::top;
  uint32_t end = cell_count(code.node());
  const uint32_t head = std::min(from, end);
  if constexpr (Traced) fire(EVENT_ENTER, &code, head, nullptr, nullptr);
  if (head >= end) {
    stack::push_slot();
  } else {
    current_code = code;
    for (uint32_t position = head; position < end;) {
      current_code.data1 = position;
      Cell* start = stack::top;
      position = eval_operand(&code, position, end);
      if (stack::pending) return;
      if constexpr (Base == BlockBase::pushed) stack::top = base + 1;
      else stack::reset_last(start);
      if constexpr (Traced) fire(EVENT_EXPR, &code, position, stack::arguments, nullptr);
      // Untraced, a statement that ran to the end ends the block, however the block changed
      // meanwhile (traced, the exit event reports the block's end as it is now).
      if constexpr (!Traced) {
        if (position >= end) break;
      }
      end = clamp_end(&code, end);
      if (position < end) stack::top = base;
    }
  }
  if constexpr (Traced) fire(EVENT_EXIT, &code, end, stack::arguments, nullptr);
  if constexpr (Base == BlockBase::current_frame) stack::keep();
  else if constexpr (Base == BlockBase::own_frame) chain ? stack::unwind_last() : stack::unwind();
}
// Traced, a block has a frame of its own, which its events report.
[[gnu::noinline]] void run_traced_block(const Cell& code, bool chain, uint32_t from) {
  run_block_as<true>(code, chain, from);
}

// An untraced block based as `Base` says: its pure head first, unless known to have none.
template <BlockBase Base>
[[gnu::always_inline]] inline void run_untraced_block(const Cell& code) {
  const uint32_t from = known_impure(code.node()) ? code.head_index() : run_pure_head(code);
  if (from != kNotPure) return run_block_as<false, Base>(code, true, from);
  if constexpr (Base == BlockBase::current_frame) stack::keep();
}

// Evaluates a paren (or any block); its value is pushed. Untraced it needs no frame: nothing
// but its own statements uses the cells above where its value goes, and nothing looks for the
// frame (errors name the calls around it, and break, return and throw land on other frames).
[[gnu::always_inline]] inline void run_group(const Cell& group) {
  if (trace.active) return run_traced_block(group, false, group.head_index());
  run_untraced_block<BlockBase::pushed>(group);
}
// The same out of line, for the places that run a paren now and then.
void eval_group(const Cell& group) { run_group(group); }

// The op! that the cell at `position` names, when it is a word the infix loop would take; null
// otherwise. Always inline: a call costs about as much as its test.
[[gnu::always_inline]] inline const Cell* op_of(const Cell* next) {
  uint32_t flags;
  const Cell* slot = next->is(TYPE_WORD) ? context::bound_slot(next, &flags) : nullptr;
  return slot && slot->is(TYPE_OP) ? slot : nullptr;
}
inline const Cell* op_at(const Cell* code, uint32_t position, uint32_t end) {
  return position < end ? op_of(cell_at(code, position)) : nullptr;
}

// The op! after an expression that ended at `position`, as op_at finds it once `end` is clamped
// to the block as it is now. At the end given there is none, however the block changed: most
// expressions end their block, and need not count it.
[[gnu::always_inline]] inline const Cell* op_after(const Cell* code, uint32_t position,
                                                   uint32_t& end) {
  if (position >= end) return nullptr;
  end = clamp_end(code, end);
  return op_at(code, position, end);
}

// Most expressions have no operator after them: that test is always inline, the loop is not.
[[gnu::always_inline]] inline uint32_t eval_infix(const Cell* code, uint32_t position, uint32_t end,
                                                  Cell* start) {
  const Cell* slot = op_after(code, position, end);
  return slot ? run_infix(code, position, end, start, slot) : position;
}

// One expression, operators included, pushed: eval_expression with the prefix and sub flags set
// as an argument's or a set-word's value needs them. A plain first value skips the step.
template <bool Direct>
void call(const Cell& function, const Cell& name, CallSite& site, NodeId parent, bool infix);
uint32_t eval_set(const Cell& target, const Cell* code, uint32_t position, uint32_t end);

// The cell types that a step pushes as they are.
inline bool self_evaluating(TypeId type) { return !in_types(kStepTypes, type); }

// The cell `index` of a block from its head (counting back from -1 before it), as `pick` and
// `poke` count; null past either end.
inline Cell* block_cell(const Cell* block, int32_t index) {
  const int64_t at = int64_t(block->head_index()) + index - (index > 0 ? 1 : 0);
  return index == 0 || at < 0 || at >= int64_t(cell_count(block->node()))
             ? nullptr
             : cells_of(block->node()) + at;
}
// The cell that `pick` answers for a block and an integer: none past either end.
inline const Cell* block_pick(const Cell* block, int32_t index) {
  const Cell* cell = block_cell(block, index);
  return cell ? cell : &kNone;
}

// The cell a path of plain picks reads (`m/:i/2`): its head word's value a block, each element
// an integer or a get-word whose value is one, picked from the block reached so far as `pick`
// picks. With `store`, the cell a set-path of plain picks writes as `poke` does: one that
// exists, in a block that no owner or index watches. Null for every other path: its steps take
// the general road, which also raises any error. Picking runs no code and cannot fail.
[[gnu::noinline]] Cell* picked_cell(const Cell* path, bool store) {
  const uint32_t end = cell_count(path->node());
  uint32_t position = path->head_index();
  if (position + 2 > end) return nullptr;
  const Cell* elements = cells_of(path->node());
  uint32_t flags;
  const Cell* value =
      elements[position].is(TYPE_WORD) ? context::bound_slot(elements + position, &flags) : nullptr;
  for (++position; position < end; ++position) {
    if (!value || !value->is(TYPE_BLOCK)) return nullptr;
    const Cell* element = elements + position;
    if (element->is(TYPE_GET_WORD) && !(element = context::bound_slot(element, &flags)))
      return nullptr;
    if (!element->is(TYPE_INTEGER)) return nullptr;
    if (store && position + 1 == end) {
      const bool watched = memory::buffer_of(value->node())->flags & series::kNoticedFlags;
      return watched ? nullptr : block_cell(value, integer::get(element));
    }
    value = block_pick(value, integer::get(element));
  }
  return const_cast<Cell*>(value);
}

// The first value of an evaluated argument when it needs no evaluation step: a self-evaluating
// cell, or a word whose value is neither a function nor an op nor unset. Null in every other
// case, and always while tracing, whose events follow the steps.
[[gnu::always_inline]] inline const Cell* plain_value(const Cell* value) {
  if (value->is(TYPE_WORD)) {
    uint32_t flags;
    value = context::bound_slot(value, &flags);
    if (!value || in_types(kNotPlainValueTypes, value->type())) return nullptr;
  } else if (!self_evaluating(value->type())) {
    return nullptr;
  }
  return value;
}
// A plain value, or a path of plain picks reaching the same kind of value (pure expressions and
// statements read these).
[[gnu::always_inline]] inline const Cell* plain_or_picked(const Cell* value) {
  if (const Cell* plain = plain_value(value)) return plain;
  if (!value->is(TYPE_PATH) || !(value = picked_cell(value, false))) return nullptr;
  return in_types(kNotPlainValueTypes, value->type()) ? nullptr : value;
}
[[gnu::always_inline]] inline const Cell* plain_argument(const Cell* code, uint32_t position) {
  return trace.active ? nullptr : plain_value(cell_at(code, position));
}

// A call through the word at `position`, whose value is at `slot`, as eval_value makes it,
// untraced, and the operators after it. Out of line, so that eval_operand's plain cases do not
// pay for its registers or for copying the cells.
[[gnu::noinline]] uint32_t call_word(const Cell* slot, const Cell* code, uint32_t position,
                                     uint32_t end) {
  const Cell function = *slot;
  const Cell name = *cell_at(code, position);
  Cell* start = stack::top;
  CallSite site{code, position + 1, end, nullptr, 0};
  call<true>(function, name, site, kNoNode, false);
  if (stack::pending) return site.position;
  return eval_infix(code, site.position, end, start);
}

// A paren or a set-word or set-path at `position`, and the operators after it; each out of
// line for the same reasons as call_word.
[[gnu::noinline]] uint32_t eval_paren_at(const Cell* code, uint32_t position, uint32_t end) {
  stack::check_native_depth();
  const stack::FramelessNesting nesting;
  const Cell group = *cell_at(code, position);   // a copy: the paren may move its block
  Cell* start = stack::top;
  run_group(group);
  if (stack::pending) return position + 1;
  return eval_infix(code, position + 1, end, start);
}
[[gnu::noinline]] uint32_t eval_set_at(const Cell* code, uint32_t position, uint32_t end) {
  const Cell given = *cell_at(code, position);
  Cell* start = stack::top;
  uint32_t next = kNotPure;
  const uint32_t site = site_key(code, position);
  if (uint32_t& hint = site_hint(impure_stores, site); hint != site) {
    next = given.is(TYPE_SET_WORD)
               ? pure_statement(code, position, clamp_end(code, end))
               : pure_statement_with_fields(cells_of(code->node()), position,
                                            clamp_end(code, end));
    if (next == kNotPure) hint = site;
  }
  if (next != kNotPure) {
    position = next;
  } else {
    position = eval_set(given, code, position + 1, end);
    if (stack::pending) return position;
  }
  return eval_infix(code, position, end, start);
}

// The field that a path site (`point/x`) found last: the object's context, the word's symbol
// and the field's index. A context never loses or reorders its words, so the index stays good
// while the context node lives; a node is freed and reused only by a collection, and every
// collection clears the table.
struct FieldHint {
  uint32_t site;
  NodeId context;
  int32_t symbol;
  int32_t index;
};
FieldHint field_hints[kSiteHints];
void forget_field_hints() { std::memset(field_hints, 0, sizeof field_hints); }

// The slot of the field that a path `object/word` names, its word bound to the object's context
// in `field` as the object's path step binds it; null for any other path or a missing field,
// and, with `quiet`, for an object with a change hook (a store must then run it).
inline Cell* object_field_slot(const Cell* path, Cell* field, bool quiet = false) {
  const uint32_t head = path->head_index();
  if (cell_count(path->node()) != head + 2) return nullptr;
  const Cell* elements = cells_of(path->node()) + head;
  if (!elements[0].is(TYPE_WORD) || !elements[1].is(TYPE_WORD)) return nullptr;
  uint32_t flags;
  const Cell* object = context::bound_slot(elements, &flags);
  if (!object || !object->is(TYPE_OBJECT) || (quiet && object->data3 != kNoNode)) return nullptr;
  const NodeId context = object::context_of(object);
  *field = elements[1];
  if (word::context_of(field) != context || word::index_of(field) < 0) {
    const uint32_t site = site_key(path, head);
    FieldHint& hint = field_hints[site % kSiteHints];
    if (hint.site == site && hint.context == context && hint.symbol == word::symbol_of(field)) {
      field->data1 = context;
      field->data3 = uint32_t(hint.index);
    } else {
      if (context::bind_word(context, field) < 0) return nullptr;
      hint = FieldHint{site, context, word::symbol_of(field), word::index_of(field)};
    }
  }
  return context::bound_slot(field, &flags);
}

// `object/field` and `object/method args`, untraced: the field read, or the method called with
// its object's context as parent, as eval_path_at does, without its general walk. The operators
// after it are not taken. kNotPure, having done nothing, for any other path or an unset field,
// which take that walk (and raise its errors).
[[gnu::noinline]] uint32_t object_path(const Cell* code, uint32_t position, uint32_t end) {
  Cell field;
  const Cell* slot = object_field_slot(cell_at(code, position), &field);
  if (!slot || slot->is(TYPE_UNSET)) return kNotPure;
  if (!callable(slot->type())) {
    stack::push(slot);
    return position + 1;
  }
  stack::check_native_depth();
  const Cell method = *slot;
  CallSite site{code, position + 1, end, nullptr, 0};
  call<false>(method, field, site, word::context_of(&field), false);
  return site.position;
}

// A path at `position` (a plain pick read straight, an object's field or method taken by
// object_path, any other evaluated), and the operators after it.
[[gnu::noinline]] uint32_t eval_path_operand(const Cell* code, uint32_t position, uint32_t end) {
  Cell* start = stack::top;
  if (const Cell* value = plain_or_picked(cell_at(code, position))) {
    stack::push(value);
    return eval_infix(code, position + 1, end, start);
  }
  const uint32_t next = object_path(code, position, end);
  if (next == kNotPure) return eval_expression(code, position, end, false, true, false);
  if (stack::pending) return next;
  return eval_infix(code, next, end, start);
}

// The natives `if`, `unless` and `either` are the first three: codes up to NAT_EITHER.
static_assert(natives::NAT_IF == 1 && natives::NAT_UNLESS == 2 && natives::NAT_EITHER == 3);
uint32_t call_branch(const Cell* slot, const Cell* code, uint32_t position, uint32_t end);
uint32_t call_plain_native(const Cell* slot, const Cell* code, uint32_t position, uint32_t end);
[[gnu::noinline]] uint32_t call_word(const Cell* slot, const Cell* code, uint32_t position,
                                     uint32_t end);

// A statement's or an argument's step, untraced: one switch on the cell type sends each kind to
// its road; a plain value is pushed and the operators after it taken here.
uint32_t eval_operand(const Cell* code, uint32_t position, uint32_t end) {
  if (trace.active) return eval_expression(code, position, end, false, true, false);
  const Cell* at = cell_at(code, position);
  const Cell* value = at;
  switch (at->type()) {
    case TYPE_WORD: {
      uint32_t flags;
      const Cell* slot = context::bound_slot(at, &flags);
      if (!slot) return eval_expression(code, position, end, false, true, false);
      switch (slot->type()) {
        case TYPE_FUNCTION: case TYPE_ROUTINE:
          return call_word(slot, code, position, end);
        case TYPE_NATIVE:
          if (natives::code_of(slot) <= natives::NAT_EITHER)
            return call_branch(slot, code, position, end);
          return call_plain_native(slot, code, position, end);
        case TYPE_ACTION:
          return call_plain_native(slot, code, position, end);
        case TYPE_OP: case TYPE_UNSET:
          return eval_expression(code, position, end, false, true, false);
        default:
          value = slot;
          break;
      }
      break;
    }
    case TYPE_PAREN:
      return eval_paren_at(code, position, end);
    case TYPE_SET_WORD: case TYPE_SET_PATH:
      return eval_set_at(code, position, end);
    case TYPE_PATH:
      return eval_path_operand(code, position, end);
    default:
      // The other step types take a statement's step; every other value pushes itself.
      if (!self_evaluating(at->type()))
        return eval_expression(code, position, end, false, true, false);
      break;
  }
  Cell* start = stack::push(value);
  return eval_infix(code, position + 1, end, start);
}

// Pushes one argument of the kind given, fetched from the call site.
void fetch_argument(uint32_t kind, const Cell& types, const Cell& argument_word,
                    const Cell* name, CallSite& site, bool infix) {
  site.end = clamp_end(site.code, site.end);
  if (site.position >= site.end) {
    if (kind == ARG_QUOTED && typeset::has(&types, TYPE_UNSET)) {
      stack::push_slot();
      return;
    }
    error::raise(error::CAT_SCRIPT, "no-arg", name, &argument_word);
  }
  if (kind == ARG_EVALUATED) {
    // A plain first value is pushed as it is and goes straight to the infix loop (which an
    // operator's argument does not take), so `n - 1` costs no expression step.
    if (const Cell* value = plain_argument(site.code, site.position)) {
      Cell* start = stack::push(value);
      ++site.position;
      if (!infix) {
        site.position = eval_infix(site.code, site.position, site.end, start);
        if (stack::pending) return;
      }
    } else {
      // An operator's argument is one value or prefix call; any other takes a statement's step.
      site.position = infix ? eval_expression(site.code, site.position, site.end, true, true, false)
                            : eval_operand(site.code, site.position, site.end);
      if (stack::pending) return;
    }
  } else {
    const Cell value = *cell_at(site.code, site.position++);
    fire(EVENT_FETCH, site.code, site.position - 1, &value, nullptr);
    if (kind == ARG_QUOTED && value.is(TYPE_PAREN)) {
      eval_group(value);
      if (stack::pending) return;
    } else if (kind == ARG_QUOTED && value.is(TYPE_GET_WORD)) {
      stack::push(word_slot(&value));
    } else if (kind == ARG_QUOTED && value.is(TYPE_GET_PATH)) {
      eval_path_at(&value, PATH_GET, nullptr, nullptr);
    } else {
      stack::push(&value);
    }
    fire(EVENT_PUSH, site.code, site.position - 1, stack::top - 1, nullptr);
  }
  check_type(types, argument_word, name, stack::top - 1);
}

// Fetches the arguments of a call whose frame is open: the arguments in spec order, then the
// refinements in path order. Natives get their refinement parameters in `refinements`;
// functions get a logic! cell per refinement with its arguments after it, and their locals.
// `Direct`: an untraced prefix call without a path, whose tests compile away.
template <bool Direct>
void fetch_arguments(const Cell& function, const Cell* name, CallSite& site, bool infix,
                     int32_t* refinements) {
  if constexpr (Direct) infix = false;
  const Cell* cache_slot = record_of(&function) + 1;
  const NodeId cache =
      cache_slot->is(TYPE_BLOCK) ? cache_slot->node() : arg_cache(&function).node();
  const bool is_function = !function.is(TYPE_NATIVE) && !function.is(TYPE_ACTION);
  const uint32_t count = cell_count(cache);
  const Cell totals_cell = cells_of(cache)[count - 1];
  const CacheTotals totals{int32_t(totals_cell.data1), int32_t(totals_cell.data2),
                           int32_t(totals_cell.data3)};
  for (int32_t i = 0; i < totals.refinements; ++i) refinements[i] = -1;

  // Pass 1: the arguments before the first refinement, then, for a function, false for each
  // refinement and none for each of its arguments.
  const uint32_t before_end = 2 * uint32_t(totals.arguments);
  uint32_t i = 0;
  if (infix && before_end) {
    const Cell* entry = cells_of(cache);
    check_type(entry[0], entry[1], name, stack::arguments);
    i = 2;
  }
  // The cache's and the code's cells, read again after anything that may run code (which may
  // move or change either); a plain value runs none.
  const Cell* entries = cells_of(cache);
  const Cell* cells = cells_of(site.code->node());
  site.end = clamp_end(site.code, site.end);
  for (; i < before_end; i += 2) {
    const Cell* entry = entries + i;
    const uint32_t kind = arg_kind(*entry);
    // The common argument, a plain value perhaps followed by operators, is fetched here;
    // every other one takes fetch_argument.
    const Cell* value = kind == ARG_EVALUATED && !infix && site.position < site.end &&
                                !trace.active
                            ? plain_or_picked(cells + site.position)
                            : nullptr;
    if (value) {
      Cell* start = stack::push(value);
      ++site.position;
      if (const Cell* op = site.position < site.end ? op_of(cells + site.position) : nullptr) {
        // One pure operation (`n - 1`) is computed here; the infix loop takes the rest.
        if (const uint32_t next = pure_operation(op, cells, site.position, site.end, start, 0);
            next != kNotPure) {
          site.position = next;
          op = next < site.end ? op_of(cells + next) : nullptr;
        }
        if (op) {
          site.position = run_infix(site.code, site.position, site.end, start, op);
          if (stack::pending) return;
          entries = cells_of(cache);
          cells = cells_of(site.code->node());
          site.end = clamp_end(site.code, site.end);
        }
      }
      if (!typeset::has(entries + i, start->type()))
        raise_expect(name, start->type(), entries + i + 1);
      continue;
    }
    const Cell types = entry[0], argument_word = entry[1];
    fetch_argument(kind, types, argument_word, name, site, infix);
    if (stack::pending) return;
    entries = cells_of(cache);
    cells = cells_of(site.code->node());
    site.end = clamp_end(site.code, site.end);
  }
  if (is_function) {
    for (; i + 1 < count; i += 2) {
      const bool refinement = cells_of(cache)[i].is(TYPE_REFINEMENT);
      *stack::push_slot() = refinement ? logic::make(false) : kNone;
    }
  }

  // Pass 2: the refinements, in path order.
  if (!Direct && site.path) {
    uint64_t seen = 0;
    const uint32_t path_length = block::length(site.path);
    for (uint32_t p = site.path_position; p < path_length; ++p) {
      Cell element = block::head(site.path)[p];
      bool used = true;
      if (element.is(TYPE_GET_WORD)) used = logic::cell_true(word_slot(&element), false, nullptr);
      else if (!element.is(TYPE_WORD)) error::raise(error::CAT_SCRIPT, "bad-refine", &element);
      const uint32_t at = find_refinement(cache, count, element, name, seen, site.path);
      const Cell position = cells_of(cache)[at + 1];
      Cell* first_argument = stack::top;
      for (uint32_t k = 0; k < position.data3; ++k) {
        const Cell* entry = cells_of(cache) + at + 2 + 2 * k;
        const Cell types = entry[0], argument_word = entry[1];
        fetch_argument(arg_kind(types), types, argument_word, name,
                       site, false);
        if (stack::pending) return;
      }
      settle_refinement(position, used, is_function, first_argument, refinements);
    }
  }

  if (is_function) push_locals(totals.locals);
}

// `+`, `-`, `*`, `%` and the comparisons on two integer! values, computed in place of the action
// or native routine (of function type `type` and routine `code`), whose dispatch costs several
// times the operation; the answer goes to `result` (an integer! keeps the cell's header flags,
// as the routine's does). False when the routine must run: another function, an overflow (which
// the routine turns into a float! or an error), a zero divisor.
[[gnu::always_inline]] inline bool integer_op(TypeId type, int32_t code, int32_t a, int32_t b,
                                              Cell* result) {
  int32_t answer;
  if (type == TYPE_ACTION) {
    switch (code) {
      case ACT_ADD:
        if (__builtin_add_overflow(a, b, &answer)) return false;
        break;
      case ACT_SUBTRACT:
        if (__builtin_sub_overflow(a, b, &answer)) return false;
        break;
      case ACT_MULTIPLY:
        if (__builtin_mul_overflow(a, b, &answer)) return false;
        break;
      case ACT_REMAINDER:
        if (b == 0 || (b == -1 && a == std::numeric_limits<int32_t>::min())) return false;
        answer = a % b;
        break;
      default:
        return false;
    }
    integer::make_at(result, answer);
    return true;
  }
  if (type != TYPE_NATIVE || code < natives::NAT_EQUAL_Q ||
      code >= natives::NAT_EQUAL_Q + int32_t(std::size(kCompareNatives)))
    return false;
  bool truth;
  switch (kCompareNatives[code - natives::NAT_EQUAL_Q]) {
    case COMP_EQUAL: case COMP_STRICT_EQUAL: truth = a == b; break;
    case COMP_NOT_EQUAL: truth = a != b; break;
    case COMP_LESSER: truth = a < b; break;
    case COMP_GREATER: truth = a > b; break;
    case COMP_LESSER_EQUAL: truth = a <= b; break;
    case COMP_GREATER_EQUAL: truth = a >= b; break;
    default: return false;
  }
  *result = logic::make(truth);
  return true;
}

// `+`, `-`, `*`, `/` and the comparisons on a float! and a float! or integer!, computed as the
// float routines compute them (none of which can fail on these types); false otherwise.
[[gnu::noinline]] bool float_op(TypeId type, int32_t code, const Cell* left, const Cell* right,
                                Cell* result) {
  const bool left_float = left->is(TYPE_FLOAT), right_float = right->is(TYPE_FLOAT);
  if (!(left_float || left->is(TYPE_INTEGER)) || !(right_float || right->is(TYPE_INTEGER)) ||
      !(left_float || right_float))
    return false;
  const double a = left_float ? floating::get(left) : double(integer::get(left));
  const double b = right_float ? floating::get(right) : double(integer::get(right));
  if (type == TYPE_ACTION) {
    double answer;
    switch (code) {
      case ACT_ADD: answer = a + b; break;
      case ACT_SUBTRACT: answer = a - b; break;
      case ACT_MULTIPLY: answer = a * b; break;
      case ACT_DIVIDE: answer = a / b; break;
      default: return false;
    }
    floating::make_at(result, answer);
    return true;
  }
  if (type != TYPE_NATIVE || code < natives::NAT_EQUAL_Q ||
      code >= natives::NAT_EQUAL_Q + int32_t(std::size(kCompareNatives)))
    return false;
  const CompareOp op = kCompareNatives[code - natives::NAT_EQUAL_Q];
  // Strict equality never holds between an integer! and a float!.
  const int32_t order = op == COMP_STRICT_EQUAL && left_float != right_float
                            ? 1
                            : floating::compare_doubles(a, b, op);
  bool truth;
  switch (op) {
    case COMP_EQUAL: case COMP_STRICT_EQUAL: truth = order == 0; break;
    case COMP_NOT_EQUAL: truth = order != 0; break;
    case COMP_LESSER: truth = order < 0; break;
    case COMP_GREATER: truth = order > 0; break;
    case COMP_LESSER_EQUAL: truth = order <= 0; break;
    case COMP_GREATER_EQUAL: truth = order >= 0; break;
    default: return false;
  }
  *result = logic::make(truth);
  return true;
}

// The integer and float operations above on two cells, the answer in `result`.
[[gnu::always_inline]] inline bool number_op(TypeId type, int32_t code, const Cell* left,
                                             const Cell* right, Cell* result) {
  if (left->is(TYPE_INTEGER) && right->is(TYPE_INTEGER))
    return integer_op(type, code, integer::get(left), integer::get(right), result);
  return float_op(type, code, left, right, result);
}

// The same for a call whose two arguments are in the current frame.
inline bool number_shortcut(const Cell& function) {
  Cell* left = stack::arguments;
  return !function.is(TYPE_FUNCTION) &&
         number_op(function.type(), natives::code_of(&function), left, left + 1, left);
}

// ---- pure expressions ----
//
// An expression made only of plain values (picks through paths included), integer and float
// arithmetic and comparisons on them, and stores into words of contexts that are not objects' or
// of objects without a change hook cannot fail, allocate, run code or be seen by anything but
// its result: untraced, it runs without frames or checks. Each function here
// answers kNotPure when it meets anything else, having changed nothing but the cells above
// `top`, so that the caller takes the general road from the same position.

// How deeply parens nested in a pure expression are followed.
constexpr int kPureParenDepth = 4;
// Most set-words chained before one value (`a: b: c: 0`).
constexpr int kPureTargets = 4;

// The pure evaluation below reads a block's cells through one address taken at its start:
// nothing it does can move or change a block.
inline uint32_t pure_value(const Cell* cells, uint32_t position, uint32_t end, int depth);

// A paren all of whose expressions are pure values, its last value pushed. It may store
// nothing, since its caller may still give up and evaluate it again.
[[gnu::noinline]] bool run_pure_paren(const Cell& group, int depth) {
  Cell* start = stack::top;
  const uint32_t end = cell_count(group.node());
  const uint32_t head = std::min(group.head_index(), end);
  if (head >= end) return false;
  const Cell* cells = cells_of(group.node());
  for (uint32_t position = head; position < end;) {
    stack::top = start;
    const uint32_t next = pure_value(cells, position, end, depth);
    if (next == kNotPure) {
      if (position == head) note_impure(group.node());
      return false;
    }
    position = next;
  }
  return true;
}
// The same, with the test that a known impure paren fails made without a call.
inline bool pure_paren(const Cell& group, int depth) {
  return !known_impure(group.node()) && run_pure_paren(group, depth);
}

// The operator whose op! is `op`, at `position`, on the number at `left` and a pure number
// operand after it (a plain value or a pure paren), computed in place of the call when its
// routine is not needed (see integer_op and float_op): the answer replaces the left operand.
// `top` ends above `left` either way.
[[gnu::always_inline]] inline uint32_t pure_operation(const Cell* op, const Cell* cells,
                                                      uint32_t position, uint32_t end,
                                                      Cell* left, int depth) {
  stack::top = left + 1;
  if (position + 1 >= end) return kNotPure;
  const Cell* at = cells + position + 1;
  const Cell* right = plain_or_picked(at);
  if (!right) {
    if (!at->is(TYPE_PAREN) || depth == 0 || !pure_paren(*at, depth - 1)) return kNotPure;
    right = left + 1;
    stack::top = left + 1;
  }
  const TypeId type = natives::op_source(op);
  const int32_t code = natives::code_of(op);
  if (left->is(TYPE_INTEGER) && right->is(TYPE_INTEGER))
    return integer_op(type, code, integer::get(left), integer::get(right), left) ? position + 2
                                                                                 : kNotPure;
  return float_op(type, code, left, right, left) ? position + 2 : kNotPure;
}

// The operators from `position` on (the first one's op! is `op`) on the value at `start`.
[[gnu::noinline]] uint32_t pure_operators(const Cell* cells, uint32_t position, uint32_t end,
                                          Cell* start, const Cell* op, int depth) {
  do {
    position = pure_operation(op, cells, position, end, start, depth);
    if (position == kNotPure) {
      stack::top = start;
      return kNotPure;
    }
  } while (position < end && (op = op_of(cells + position)));
  return position;
}

// A pure operand and the operators after it, its value pushed. Inline: most are one value.
[[gnu::always_inline]] inline uint32_t pure_value(const Cell* cells, uint32_t position,
                                                  uint32_t end, int depth) {
  if (position >= end) return kNotPure;
  Cell* start = stack::top;
  const Cell* at = cells + position;
  if (const Cell* value = plain_or_picked(at)) {
    stack::push(value);
  } else if (!at->is(TYPE_PAREN) || depth == 0 || !pure_paren(*at, depth - 1)) {
    return kNotPure;
  }
  const Cell* op = ++position < end ? op_of(cells + position) : nullptr;
  if (!op) return position;
  // Most have one operator, computed here; pure_operators takes any after it.
  position = pure_operation(op, cells, position, end, start, depth);
  if (position == kNotPure) {
    stack::top = start;
    return kNotPure;
  }
  op = position < end ? op_of(cells + position) : nullptr;
  return op ? pure_operators(cells, position, end, start, op, depth) : position;
}

// The value of a pure statement, pushed, stored into the `targets` slots (the targets from
// `first` on, those marked in `fields` being objects' fields; `path_field`, when not null, the
// field that the last target, a set-path, stores into).
[[gnu::always_inline]] inline uint32_t store_pure(const Cell* cells, uint32_t first,
                                                  uint32_t position, uint32_t end, Cell** slots,
                                                  int targets, uint32_t fields,
                                                  const Cell* path_field = nullptr) {
  Cell* start = stack::top;
  position = pure_value(cells, position, end, kPureParenDepth);
  if (position == kNotPure) return kNotPure;
  if (targets && start->is(TYPE_UNSET)) {
    stack::top = start;
    return kNotPure;
  }
  while (targets) *slots[--targets] = *start;
  for (uint32_t i = 0; fields; ++i, fields >>= 1)
    if (fields & 1) context::mark_changed(cells + first + i);
  if (path_field) context::mark_changed(path_field);
  return position;
}

// pure_statement for targets that are fields of objects without a change hook, which a store
// takes as set_in does (setting the field's change mark), or, as the last target (a set-word
// after it would be set before the path is read), a set-path of plain picks into a block or one
// into such an object's field (`o/f:`).
[[gnu::noinline]] uint32_t pure_statement_with_fields(const Cell* cells, uint32_t position,
                                                      uint32_t end) {
  Cell* slots[kPureTargets];
  uint32_t fields = 0;
  const uint32_t first = position;
  int targets = 0;
  for (; position < end && cells[position].is(TYPE_SET_WORD); ++position) {
    if (targets == kPureTargets) return kNotPure;
    Cell* slot = context::store_slot(cells + position);
    if (!slot) {
      if (!(slot = context::quiet_field_slot(cells + position))) return kNotPure;
      fields |= 1u << targets;
    }
    slots[targets++] = slot;
  }
  Cell field;
  bool path_field = false;
  if (position < end && cells[position].is(TYPE_SET_PATH)) {
    if (targets == kPureTargets) return kNotPure;
    Cell* slot = picked_cell(cells + position, true);
    if (!slot) {
      if (!(slot = object_field_slot(cells + position, &field, true))) return kNotPure;
      path_field = true;
    }
    slots[targets++] = slot;
    ++position;
  }
  return store_pure(cells, first, position, end, slots, targets, fields,
                    path_field ? &field : nullptr);
}

// A pure value with any set-words before it, whose slots take it straight (objects' fields
// through pure_statement_with_fields, out of line), its value pushed. Nothing is stored unless
// the whole expression is pure.
[[gnu::always_inline]] inline uint32_t pure_statement(const Cell* code, uint32_t position,
                                                      uint32_t end) {
  if (trace.active) return kNotPure;
  const Cell* cells = cells_of(code->node());
  Cell* slots[kPureTargets];
  const uint32_t first = position;
  int targets = 0;
  for (; position < end && cells[position].is(TYPE_SET_WORD); ++position) {
    if (targets == kPureTargets) return kNotPure;
    if (!(slots[targets++] = context::store_slot(cells + position)))
      return pure_statement_with_fields(cells, first, end);
  }
  return store_pure(cells, first, position, end, slots, targets, 0);
}

// Runs the pure statements at the head of a block. Answers the position of the first other
// one, or kNotPure when the whole block was pure, its last value pushed.
[[gnu::always_inline]] inline uint32_t run_pure_head(const Cell& code) {
  const uint32_t end = cell_count(code.node());
  const uint32_t head = std::min(code.head_index(), end);
  if (head >= end) return head;
  Cell* start = stack::top;
  uint32_t position = head;
  for (uint32_t next; (next = pure_statement(&code, position, end)) != kNotPure;
       position = next) {
    if (next >= end) return kNotPure;
    stack::top = start;
  }
  if (position == head) note_impure(code.node());
  return position;
}

// Opens the frame of a native or action called through the word `name`, around the arguments
// already pushed from `start` on; answers the name.
inline Cell open_native_frame(const Cell name, Cell* start) {
  stack::check_native_depth();
  Cell* top = stack::top;
  stack::top = start;
  stack::mark_interp_native(&name);
  stack::top = top;
  return name;
}

// Ends such a call, its routine run: its value is pushed at `start`, and the operators after
// `after` take it.
inline uint32_t end_native_call(const Cell* code, uint32_t after, uint32_t end, Cell* start) {
  if (stack::pending) return after;
  stack::unwind();
  return eval_infix(code, after, end, start);
}


// The refinement parameters of a native or action called with none of its refinements.
constexpr auto kNoRefinements = [] {
  std::array<int32_t, function::kMaxRefinements> none{};
  none.fill(-1);
  return none;
}();

// Runs a call whose arguments are in the current frame. Untraced, a function's body and a
// native's or action's routine run directly; everything else goes through invoke.
inline void run_routine(const Cell& function, NodeId context, const Cell* name,
                        const int32_t* refinements) {
  // A function's call and return events are eval_code's, fired around this.
  if (function.is(TYPE_FUNCTION)) return run_body(&function, name);
  if (!trace.active) {
    const int32_t code = natives::code_of(&function);
    natives::Routine routine = function.is(TYPE_NATIVE)   ? natives::native_at(code)
                               : function.is(TYPE_ACTION) ? natives::action_at(code)
                                                          : nullptr;
    if (routine) return routine(false, refinements);
  }
  invoke(&function, context, name, false, refinements);
}

// Whether the blocks of `if`, `unless` or `either` (`native`) are written out from `after` on,
// with no operator after the last (which would make it an expression; the first of two has a
// block after it), and its `condition` one the routine takes (an unset one `either` rejects).
inline bool branches_written(const Cell* cells, uint32_t after, uint32_t end, int32_t native,
                             const Cell* condition) {
  const uint32_t next = after + (native == natives::NAT_EITHER ? 2 : 1);
  return next <= end && cells[after].is(TYPE_BLOCK) && cells[next - 1].is(TYPE_BLOCK) &&
         !(next < end && op_of(cells + next)) &&
         !(native == natives::NAT_EITHER && condition->is(TYPE_UNSET));
}

// The block of those that the routine runs for `condition`, or null when it runs none (its
// value is then none). Choosing cannot fail.
inline const Cell* taken_branch(const Cell* cells, uint32_t after, int32_t native,
                                const Cell* condition) {
  if (native == natives::NAT_EITHER) return cells + after + !logic::true_q(condition);
  return logic::false_q(condition) == (native == natives::NAT_IF) ? nullptr : cells + after;
}

// The value of a branch that is one plain value (`[n]`), which its run would push; else null.
inline const Cell* one_value_branch(const Cell& branch) {
  const uint32_t head = branch.head_index();
  if (cell_count(branch.node()) != head + 1) return nullptr;
  return plain_value(cells_of(branch.node()) + head);
}

// A call of `if`, `unless` or `either` whose condition is not pure, its blocks perhaps written
// out: its frame opens and the condition is fetched into it as an argument is; then, while the
// blocks are still written out, the branch taken runs in the frame as the routine would run it.
// A condition that changed the code so that they no longer are has the other arguments fetched
// and the routine run. Called as every word is until the argument cache is built.
[[gnu::noinline]] uint32_t call_branch_evaluated(const Cell* slot, const Cell* code,
                                                 uint32_t position, uint32_t end) {
  uint32_t cells_in_cache;
  const Cell* entries = built_cache(slot, &cells_in_cache);
  if (!entries) return call_word(slot, code, position, end);
  const Cell function = *slot;
  const int32_t native = natives::code_of(&function);
  const Cell name = *cell_at(code, position);
  const uint32_t count = entries[cells_in_cache - 1].data3;
  stack::check_native_depth();
  Cell* start = stack::top;
  stack::mark_interp_native(&name);
  CallSite site{code, position + 1, end, nullptr, 0};
  for (uint32_t i = 0; i < count; ++i) {
    if (i == 1) {
      site.end = clamp_end(code, site.end);
      const Cell* cells = cells_of(code->node());
      if (branches_written(cells, site.position, site.end, native, stack::arguments)) {
        const Cell* branch = taken_branch(cells, site.position, native, stack::arguments);
        const uint32_t next = site.position + (native == natives::NAT_EITHER ? 2 : 1);
        if (!branch) {
          none::box(stack::arguments);
          return end_native_call(code, next, end, start);
        }
        const Cell taken = *branch;
        if (const Cell* value = one_value_branch(taken)) {
          *stack::arguments = *value;
          return end_native_call(code, next, end, start);
        }
        stack::reset();
        run_untraced_block<BlockBase::current_frame>(taken);
        return end_native_call(code, next, end, start);
      }
    }
    // The cache read again: fetching runs code.
    const Cell* entry = cells_of(arg_cache(&function).node()) + 2 * i;
    const Cell types = entry[0], argument_word = entry[1];
    fetch_argument(arg_kind(types), types, argument_word, &name, site, false);
    if (stack::pending) return site.position;
  }
  run_routine(function, kNoNode, &name, kNoRefinements.data());
  return end_native_call(code, site.position, end, start);
}

// A call of `if`, `unless` or `either` whose condition is a pure value and whose blocks are
// written out, the commonest shape of control code: its arguments are taken without reading the
// argument cache, as they cannot fail its types (any value, then blocks), and the branch taken
// runs in its frame as the routine would run it. A condition that is not pure takes
// call_branch_evaluated; blocks not written out, the general road.
[[gnu::noinline]] uint32_t call_branch(const Cell* slot, const Cell* code, uint32_t position,
                                       uint32_t end) {
  const int32_t native = natives::code_of(slot);
  end = clamp_end(code, end);
  const Cell* cells = cells_of(code->node());
  Cell* start = stack::top;
  const uint32_t after = pure_value(cells, position + 1, end, kPureParenDepth);
  if (after == kNotPure) return call_branch_evaluated(slot, code, position, end);
  if (!branches_written(cells, after, end, native, start)) {
    // Being pure, the condition may be computed again.
    stack::top = start;
    return call_word(slot, code, position, end);
  }
  const uint32_t next = after + (native == natives::NAT_EITHER ? 2 : 1);
  // The routine's work, done here. Nothing can see whether a branch left untaken or a pure one
  // ran inside the frame: only a branch that may fail or run code needs it.
  const Cell* taken = taken_branch(cells, after, native, start);
  if (!taken) {
    none::box(start);
    stack::top = start + 1;
    return eval_infix(code, next, end, start);
  }
  const Cell branch = *taken;
  stack::top = start;
  if (const Cell* value = one_value_branch(branch)) {
    *start = *value;
    stack::top = start + 1;
    return eval_infix(code, next, end, start);
  }
  if (pure_paren(branch, kPureParenDepth)) return eval_infix(code, next, end, start);
  // The frame opens empty: the branch's run resets it to its base anyway.
  stack::check_native_depth();
  stack::top = start;
  stack::mark_interp_native(cells + position);
  // Not pure as a whole, it is known impure or has its first impure statement after others that
  // run as well without their shortcut: its pure head is not looked for again.
  run_block_as<false, BlockBase::current_frame>(branch, true, branch.head_index());
  return end_native_call(code, next, end, start);
}

// `pick` of a block by an integer, its cell put in place of the block, or `poke` of one that
// exists into a block that no owner or index watches, the value put there; false for any other
// call, and for a poke that raises.
[[gnu::noinline]] bool pick_or_poke_in_place(const Cell& function, Cell* start) {
  if (!start->is(TYPE_BLOCK) || !start[1].is(TYPE_INTEGER)) return false;
  switch (natives::code_of(&function)) {
    case ACT_PICK:
      *start = *block_pick(start, integer::get(start + 1));
      return true;
    case ACT_POKE: {
      if (memory::buffer_of(start->node())->flags & series::kNoticedFlags) return false;
      Cell* cell = block_cell(start, integer::get(start + 1));
      if (!cell) return false;
      *start = *cell = start[2];
      return true;
    }
    default:
      return false;
  }
}

// A native or action whose arguments are all evaluated, called with a pure value for each
// (`append s "abc"`, `put m k v * 2`): the values are computed, pushed and checked straight from
// the call site, in the order a call fetches them (being pure, nothing can see that the frame
// opens after them). Any other shape is called as every word is.
[[gnu::noinline]] uint32_t call_plain_native(const Cell* slot, const Cell* code,
                                             uint32_t position, uint32_t end) {
  const uint32_t site = site_key(code, position);
  uint32_t& hint = site_hint(other_call_shapes, site);
  uint32_t cells_in_cache;
  const Cell* entries = hint == site ? nullptr : built_cache(slot, &cells_in_cache);
  if (!entries) return call_word(slot, code, position, end);
  const uint32_t count = entries[cells_in_cache - 1].data3;
  end = clamp_end(code, end);
  const Cell* cells = cells_of(code->node());
  Cell* start = stack::top;
  uint32_t after = position + 1;
  for (uint32_t i = 0; i < count && after != kNotPure; ++i)
    after = arg_kind(entries[2 * i]) == ARG_EVALUATED
                ? pure_value(cells, after, end, kPureParenDepth)
                : kNotPure;
  if (after == kNotPure) {
    stack::top = start;
    hint = site;
    return call_word(slot, code, position, end);
  }
  const Cell function = *slot;
  // The commonest `append`, and `pick` and `poke` of a block by an integer, are made in place of
  // the call: they run no code and cannot fail, so nothing can see that no frame opened.
  if (function.is(TYPE_ACTION) &&
      (natives::code_of(&function) == ACT_APPEND ? actions::append_in_place(start, start + 1)
                                                 : pick_or_poke_in_place(function, start))) {
    stack::top = start + 1;
    return eval_infix(code, after, end, start);
  }
  const Cell name = open_native_frame(cells[position], start);
  for (uint32_t i = 0; i < count; ++i)
    if (!typeset::has(entries + 2 * i, start[i].type()))
      raise_expect(&name, start[i].type(), entries + 2 * i + 1);
  run_routine(function, kNoNode, &name, kNoRefinements.data());
  return end_native_call(code, after, end, start);
}

// Calls `function` with its arguments taken from the call site; the value is pushed. For an
// infix call the left operand is already the cell below `top`.
template <bool Direct>
[[gnu::noinline]] void call(const Cell& function, const Cell& name_given, CallSite& site,
                            NodeId parent, bool infix) {
  if constexpr (Direct) infix = false, parent = kNoNode;
  stack::check_native_depth();
  // A direct call is always made through a word.
  const Cell name = Direct || word::any_word_type(name_given.type()) ? name_given : words::w.anon;
  if constexpr (!Direct) fire(EVENT_OPEN, site.code, site.position, &name, &name);
  // An infix call's frame starts at its left operand; a prefix call keeps the function value
  // below its frame while it runs, except an untraced native's or action's, which nothing reads
  // there and which outlives the call anyway.
  Cell* function_slot = nullptr;
  Cell operand;
  if (infix) operand = *--stack::top;
  else if (!Direct || !(function.is(TYPE_NATIVE) || function.is(TYPE_ACTION)))
    function_slot = stack::push(&function);

  int32_t refinements[function::kMaxRefinements];
  NodeId context = kNoNode;
  if (function.is(TYPE_FUNCTION)) {
    const Cell owner = record_of(&function)[function::RECORD_OWNER];
    context = parent ? parent
              : owner.is(TYPE_INTEGER) ? NodeId(integer::get(&owner))
                                       : word::context_of(&name);
    stack::mark_interp_func(&name, context);
  } else {
    stack::mark_interp_native(&name);
  }
  if (infix) *stack::top++ = operand;
  fetch_arguments<Direct>(function, &name, site, infix, refinements);
  if (stack::pending) return;
  // An operator's call event shows the op! itself, as its word holds it.
  if constexpr (!Direct)
    fire(EVENT_CALL, site.code, site.position, infix ? word_slot(&name) : &function, &name);
  // Traced, the routine itself computes, so that the traced evaluator checks the shortcuts.
  if ((!Direct && trace.active) || !number_shortcut(function)) {
    run_routine(function, context, &name, refinements);
    if (stack::pending) return;
  }
  stack::unwind();
  if constexpr (!Direct) fire(EVENT_RETURN, site.code, site.position, stack::top - 1, &name);
  if (function_slot) {
    *function_slot = function_slot[1];
    stack::top = function_slot + 1;
  }
}

void eval_code(const Cell& function, const Cell& name, CallSite& site, NodeId parent,
               bool infix) {
  call<false>(function, name, site, parent, infix);
}

// The argument cache of an operator made from a native or action of exactly two evaluated
// arguments and no refinement (every arithmetic and comparison operator): its two typesets and
// argument words, else null.
const Cell* binary_cache(const Cell& function) {
  if (!function.is(TYPE_NATIVE) && !function.is(TYPE_ACTION)) return nullptr;
  uint32_t count;
  const Cell* cache = built_cache(&function, &count);
  if (!cache || count != kBinaryCacheCells) return nullptr;
  const Cell& totals = cache[kBinaryCacheCells - 1];
  const bool binary = totals.data1 == 0 && totals.data3 == 2 &&
                      arg_kind(cache[2]) == ARG_EVALUATED;
  return binary ? cache : nullptr;
}

// What binary_infix needs of such an operator: the types each argument accepts, as bit masks
// decoded once from the argument cache (the specs of natives and actions never change after
// start-up), per native and action code. `decoded` is false until the cache is built.
struct BinarySpec {
  bool decoded;
  bool binary;
  uint64_t left, right;
};
BinarySpec native_binary[natives_table::kNativeCount + 1];
BinarySpec action_binary[kActionCount + 1];

uint64_t type_mask(const Cell& types) {
  uint64_t mask = 0;
  for (int32_t id = 0; id <= kTypeCount; ++id)
    if (typeset::has(&types, id)) mask |= uint64_t(1) << id;
  return mask;
}

// The spec of an operator made from a two-argument native or action, else null.
const BinarySpec* binary_spec(const Cell& function) {
  const int32_t code = natives::code_of(&function);
  BinarySpec* spec = function.is(TYPE_NATIVE) && code <= natives_table::kNativeCount
                         ? &native_binary[code]
                     : function.is(TYPE_ACTION) && code <= kActionCount ? &action_binary[code]
                                                                         : nullptr;
  if (!spec) return nullptr;
  if (!spec->decoded) {
    uint32_t count;
    if (!built_cache(&function, &count)) return nullptr;
    const Cell* cache = binary_cache(function);
    *spec = cache ? BinarySpec{true, true, type_mask(cache[0]), type_mask(cache[2])}
                  : BinarySpec{true, false, 0, 0};
  }
  return spec->binary ? spec : nullptr;
}

// An operand of a binary operator (0 left, 1 right) of a type its spec refuses.
[[noreturn, gnu::noinline]] void raise_operand(const Cell& function, const Cell& name,
                                               int32_t operand, TypeId type) {
  uint32_t count;
  raise_expect(&name, type, built_cache(&function, &count) + 2 * operand + 1);
}

// The value of a word naming a native, action or function all of whose arguments before any
// refinement are evaluated, its number of them in `arity`; else null. Called as an operator's
// operand, its last argument takes every operator after it, so it may be called as a statement
// is; one of no argument takes none.
const Cell* evaluating_call(const Cell* word, uint32_t* arity) {
  uint32_t flags;
  const Cell* slot = word->is(TYPE_WORD) ? context::bound_slot(word, &flags) : nullptr;
  if (!slot || !(slot->is(TYPE_NATIVE) || slot->is(TYPE_ACTION) || slot->is(TYPE_FUNCTION)))
    return nullptr;
  uint32_t cells_in_cache;
  const Cell* entries = built_cache(slot, &cells_in_cache);
  if (!entries) return nullptr;
  *arity = entries[cells_in_cache - 1].data3;
  for (uint32_t i = 0; i < *arity; ++i)
    if (arg_kind(entries[2 * i]) != ARG_EVALUATED) return nullptr;
  return slot;
}

// An operator's right operand that is a call: of arguments, as a statement's call; of none,
// called alone.
uint32_t operand_call(const Cell* slot, uint32_t arity, const Cell* code, uint32_t position,
                      uint32_t end) {
  if (arity == 0) {
    const Cell function = *slot;
    CallSite site{code, position + 1, end, nullptr, 0};
    // Not call<true>, which stays inlined in call_word, its one caller.
    call<false>(function, *cell_at(code, position), site, kNoNode, false);
    return site.position;
  }
  return slot->is(TYPE_FUNCTION) ? call_word(slot, code, position, end)
                                 : call_plain_native(slot, code, position, end);
}

// An untraced infix call of such an operator: what eval_code does, without its general argument
// loop. The left operand is the cell below `top`; false when the call needs eval_code.
bool binary_infix(const Cell& function, const Cell& name, CallSite& site) {
  if (trace.active) return false;
  const BinarySpec* spec = binary_spec(function);
  if (!spec) return false;
  stack::check_native_depth();
  const Cell operand = *--stack::top;
  stack::mark_interp_native(&name);
  *stack::top++ = operand;
  if (!(spec->left >> operand.type() & 1)) raise_operand(function, name, 0, operand.type());
  site.end = clamp_end(site.code, site.end);
  if (site.position >= site.end) {
    uint32_t count;
    error::raise(error::CAT_SCRIPT, "no-arg", &name, built_cache(&function, &count) + 3);
  }
  if (const Cell* value = plain_argument(site.code, site.position)) {
    stack::push(value);
    ++site.position;
  } else if (const Cell operand = *cell_at(site.code, site.position); operand.is(TYPE_PAREN)) {
    run_group(operand);
    ++site.position;
    if (stack::pending) return true;
  } else if (uint32_t arity; const Cell* slot = evaluating_call(&operand, &arity)) {
    site.position = operand_call(slot, arity, site.code, site.position, site.end);
    if (stack::pending) return true;
  } else if (const uint32_t next = operand.is(TYPE_PATH)
                                       ? object_path(site.code, site.position, site.end)
                                       : kNotPure;
             next != kNotPure) {
    site.position = next;
    if (stack::pending) return true;
  } else {
    site.position = eval_expression(site.code, site.position, site.end, true, true, false);
    if (stack::pending) return true;
  }
  const Cell* right = stack::arguments + 1;
  if (!(spec->right >> right->type() & 1)) raise_operand(function, name, 1, right->type());
  if (!number_shortcut(function)) {
    run_routine(function, kNoNode, &name, kNoRefinements.data());
    if (stack::pending) return true;
  }
  stack::unwind();
  return true;
}

// The infix loop: while the next cell is a bound word whose value is an op! (`slot` the first
// one's), the value computed so far at `start` becomes the operator's left operand.
uint32_t run_infix(const Cell* code, uint32_t position, uint32_t end, Cell* start,
                   const Cell* slot) {
  for (;; slot = op_after(code, position, end)) {
    if (!slot) return position;
    stack::top = start + 1;
    if (trace.active) {
      fire(EVENT_FETCH, code, position, cell_at(code, position), nullptr);
    } else if (const uint32_t next =
                   pure_operation(slot, cells_of(code->node()), position, end, start,
                                  kPureParenDepth);
               next != kNotPure) {
      position = next;
      continue;
    }
    const Cell source = op_function(slot);
    const Cell name = *cell_at(code, position);
    CallSite site{code, position + 1, end, nullptr, 0};
    if (!binary_infix(source, name, site)) eval_code(source, name, site, kNoNode, true);
    if (stack::pending) return site.position;
    position = site.position;
  }
}

// A set-word or set-path: the value first, in a frame holding the target, then the store.
uint32_t eval_set(const Cell& target, const Cell* code, uint32_t position, uint32_t end) {
  if (position >= clamp_end(code, end)) error::raise(error::CAT_SCRIPT, "need-value", &target);
  stack::mark_interp_native(&words::w.anon);
  stack::push(&target);
  fire(EVENT_PUSH, code, position - 1, &target, nullptr);
  position = eval_operand(code, position, end);
  if (stack::pending) return position;
  const Cell value = stack::top[-1];
  if (value.is(TYPE_UNSET)) error::raise(error::CAT_SCRIPT, "need-value", &target);
  fire(EVENT_SET, code, position, &value, &target);
  if (target.is(TYPE_SET_WORD)) {
    set_word(target, value);
  } else {
    eval_path_at(&target, PATH_SET, &value, nullptr);
    // A paren in the path may break or return: its frame was left already.
    if (stack::pending) return position;
  }
  *stack::arguments = value;
  stack::unwind();
  return position;
}

uint32_t eval_value(const Cell* code, uint32_t position, uint32_t end, bool passive) {
  const Cell value = *cell_at(code, position);
  fire(EVENT_FETCH, code, position, &value, nullptr);
  ++position;
  switch (value.type()) {
    case TYPE_WORD: {
      const Cell* slot = word_slot(&value);
      switch (slot->type()) {
        case TYPE_UNSET:
          error::raise(error::CAT_SCRIPT, "no-value", &value);
        case TYPE_NATIVE: case TYPE_ACTION: case TYPE_FUNCTION: case TYPE_ROUTINE: {
          const Cell function = *slot;
          CallSite site{code, position, end, nullptr, 0};
          eval_code(function, value, site, kNoNode, false);
          return site.position;
        }
        case TYPE_OP:
          error::raise(error::CAT_SCRIPT, "no-op-arg", &value);
        default:
          stack::push(slot);
          break;
      }
      break;
    }
    case TYPE_SET_WORD: case TYPE_SET_PATH:
      return eval_set(value, code, position, end);
    case TYPE_GET_WORD:
      stack::push(word_slot(&value));
      break;
    case TYPE_LIT_WORD: {
      Cell* pushed = stack::push(&value);
      cell::set_type(pushed, TYPE_WORD);
      break;
    }
    case TYPE_PATH: {
      CallSite site{code, position, end, nullptr, 0};
      eval_path_at(&value, PATH_NORMAL, nullptr, &site);
      return site.position;
    }
    case TYPE_GET_PATH:
      eval_path_at(&value, PATH_GET, nullptr, nullptr);
      return position;
    case TYPE_LIT_PATH: {
      Cell* pushed = stack::push(&value);
      cell::set_type(pushed, TYPE_PATH);
      break;
    }
    case TYPE_PAREN:
      eval_group(value);
      return position;
    case TYPE_OP:
      error::raise(error::CAT_INTERNAL, "not-done");
    case TYPE_NATIVE: case TYPE_ACTION: case TYPE_FUNCTION: case TYPE_ROUTINE: {
      if (passive) {
        stack::push(&value);
        break;
      }
      CallSite site{code, position, end, nullptr, 0};
      eval_code(value, words::w.anon, site, kNoNode, false);
      return site.position;
    }
    case TYPE_ISSUE: {
      const int32_t symbol = word::symbol_of(&value);
      if ((symbol == words::sym.system || symbol == words::sym.system_global) &&
          position < clamp_end(code, end) && cell_at(code, position)->is(TYPE_BLOCK))
        error::raise(error::CAT_INTERNAL, "xol-system");
      stack::push(&value);
      break;
    }
    default:
      stack::push(&value);
      break;
  }
  fire(EVENT_PUSH, code, position - 1, stack::top - 1, nullptr);
  return position;
}

// ---- paths ----

// The grand-parent a head word brings: the owner of a context that is neither the global one
// nor an object's.
Cell head_grand_parent(const Cell& head) {
  NodeId context = word::context_of(&head);
  if (!context || context == context::global()) return kNone;
  const Cell owner = *context::owner_cell(context);
  return owner.is(TYPE_OBJECT) ? kNone : owner;
}

bool notify_step(const Cell& path, const Cell& grand_parent, const Cell& element, bool last,
                 PathMode mode) {
  if (mode != PATH_SET || !last || block::length(&path) < 3) return false;
  switch (grand_parent.type()) {
    case TYPE_OBJECT: return grand_parent.data3 != kNoNode && element.is(TYPE_WORD);
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
    case TYPE_GET_PATH: case TYPE_HASH:
      return true;
    default:
      return false;
  }
}

// `cut` elements of the path led to `parent`, the value that has no path step; the error shows
// them as a plain path.
[[noreturn]] void raise_bad_path_type(const Cell* path, const Cell& parent, uint32_t cut) {
  Cell copy;
  block::clone(path, false, false, &copy);
  block::cut_at(&copy, cut);
  cell::set_type(&copy, TYPE_PATH);
  Cell datatype{TYPE_DATATYPE, uint32_t(parent.type()), 0, 0};
  error::raise(error::CAT_SCRIPT, "bad-path-type", path, &datatype, &copy);
}

// Keeps a series' owner from hearing of changes while it lives (the owned flag is put back on
// every way out).
class SilentOwner {
 public:
  explicit SilentOwner(NodeId node)
      : node_(node), owned_(node && (memory::buffer_of(node)->flags & memory::FLAG_OWNED)) {
    if (owned_) memory::buffer_of(node_)->flags &= ~memory::FLAG_OWNED;
  }
  ~SilentOwner() {
    if (owned_) memory::buffer_of(node_)->flags |= memory::FLAG_OWNED;
  }

 private:
  NodeId node_;
  bool owned_;
};

inline bool same_bits(const Cell& a, const Cell& b) {
  return std::memcmp(&a, &b, sizeof(Cell)) == 0;
}

// A set-path whose last step changed a value held in the cell itself (a pair's coordinate, a
// date's field ...) changed a copy: the value goes back into the container it was read from,
// and further up while that container is itself such a value, ending in the head word. The
// last step already notified the owner, so these stores are silent. The walk's containers and
// elements are the `steps` pairs of cells from `chain` on.
void write_back(const Cell& head, Cell* chain, uint32_t steps) {
  for (uint32_t k = steps - 1; k >= 1; --k) {
    const Cell changed = chain[2 * k];
    Cell* container = chain + 2 * (k - 1);
    Cell* element = container + 1;
    if (container->is(TYPE_OBJECT)) {
      Cell field = *element;
      context::set_in(&field, &changed, object::context_of(container), false);
      return;
    }
    Cell to_set = changed, path = kNone, grand_parent = kNone, previous = kNone, result;
    const Cell before = *container;
    PathRoutine step_routine = actions::find<ACT_EVAL_PATH>(container->type());
    PathStep step{container, element, &to_set, &path, &grand_parent, &previous, int32_t(k),
                  false, false, true, false};
    const bool holds_series =
        series::is_series(container->type()) || container->is(TYPE_MAP);
    SilentOwner silent(holds_series ? container->node() : kNoNode);
    step_routine(step, &result);
    if (same_bits(before, *container)) return;
  }
  *word_slot(&head) = chain[0];
}

// A set field of an object, read as the object's own path step reads it, binding the element
// word to the object's context on the way as that step does; false when the step must run (no
// such field, an unset one, another kind of element or parent).
inline bool object_field(const Cell& parent, Cell* element, Cell* result) {
  if (!parent.is(TYPE_OBJECT) || !element->is(TYPE_WORD)) return false;
  const NodeId context = object::context_of(&parent);
  if (word::context_of(element) != context || word::index_of(element) < 0)
    context::bind_word(context, element);
  if (word::context_of(element) != context || word::index_of(element) < 0) return false;
  *result = *context::value_at(context, word::index_of(element));
  return !result->is(TYPE_UNSET);
}

void eval_path_at(const Cell* path_given, PathMode mode, const Cell* value, CallSite* site,
                  bool case_sensitive) {
  // Parens in paths nest paths without a call between them.
  stack::check_native_depth();
  const Cell path = *path_given;
  const uint32_t length = cell_count(path.node()) - head_position(&path);
  if (length == 0) error::raise(error::CAT_SCRIPT, "empty-path");
  Cell* start = stack::top;
  const Cell head = *cell_at(&path, head_position(&path));
  if (!head.is(TYPE_WORD)) error::raise(error::CAT_SCRIPT, "word-first", &path);
  // Traced, a path is a block of its own: entered, its head fetched, each value taken pushed,
  // and left with its value (or, when it calls, with the function, before the call).
  const uint32_t from = block::head_position(&path);
  fire(EVENT_ENTER, &path, from, nullptr, nullptr);
  fire(EVENT_FETCH, &path, from, &head, nullptr);
  Cell parent = *word_slot(&head);
  if (parent.is(TYPE_UNSET)) error::raise(error::CAT_SCRIPT, "unset-path", &path, &head);
  if (callable(parent.type()) && mode != PATH_NORMAL)
    error::raise(error::CAT_SCRIPT, mode == PATH_SET ? "invalid-path-set" : "invalid-path-get",
                 &path);
  fire(EVENT_PUSH, &path, from, &parent, nullptr);
  if (callable(parent.type()) && site) {
    fire(EVENT_EXIT, &path, from + length, &parent, nullptr);
    CallSite call{site->code, site->position, site->end, &path, 1};
    eval_code(parent, head, call, kNoNode, false);
    site->position = call.position;
    return;
  }
  Cell grand_parent = head_grand_parent(head);
  Cell previous = head;
  for (uint32_t i = 1; i < length; ++i) {
    const Cell given = *cell_at(&path, head_position(&path) + i);
    Cell element = given;
    if (given.is(TYPE_GET_WORD)) {
      element = *word_slot(&given);
    } else if (given.is(TYPE_PAREN)) {
      eval_group(given);
      if (stack::pending) return;
      element = *--stack::top;
    }
    if (element.is(TYPE_UNSET)) error::raise(error::CAT_SCRIPT, "unset-path", &path, &given);
    const bool last = i + 1 == length;
    Cell result;
    // Traced, the step runs, so that the traced evaluator checks object_field.
    if (mode == PATH_SET || trace.active || !object_field(parent, &element, &result)) {
      PathRoutine step_routine = actions::find<ACT_EVAL_PATH>(parent.type());
      if (!step_routine) raise_bad_path_type(&path, parent, i);
      Cell to_set = value ? *value : kNone;
      Cell path_cell = path;
      PathStep step{&parent, &element, mode == PATH_SET && last ? &to_set : nullptr, &path_cell,
                    &grand_parent, &previous, int32_t(i), case_sensitive, mode == PATH_GET, last,
                    notify_step(path, grand_parent, previous, last, mode)};
      const Cell before = parent;
      step_routine(step, &result);
      if (mode == PATH_SET) {
        // The containers walked and their elements, for write_back.
        stack::push(&parent);
        stack::push(&element);
        if (last && !same_bits(before, parent)) write_back(head, start, i);
      }
    }
    fire(EVENT_PUSH, &path, from + i, &result, nullptr);
    if (mode == PATH_NORMAL && site && callable(result.type())) {
      fire(EVENT_EXIT, &path, from + length, &result, nullptr);
      stack::top = start;
      CallSite call{site->code, site->position, site->end, &path, i + 1};
      NodeId owner = parent.is(TYPE_OBJECT) ? object::context_of(&parent) : kNoNode;
      eval_code(result, element.is(TYPE_WORD) ? element : words::w.anon, call, owner, false);
      site->position = call.position;
      return;
    }
    grand_parent = parent;
    parent = result;
    previous = element;
  }
  stack::top = start;
  stack::push(mode == PATH_SET ? value : &parent);
  fire(EVENT_EXIT, &path, from + length, stack::top - 1, nullptr);
}

// ---- bodies ----

// Evaluates a block in a frame of its own when traced, else with no frame; with `chain` its
// value then goes to the current frame's result cell.
[[gnu::always_inline]] inline void run_chained_block(const Cell& code, bool chain) {
  if (trace.active) return run_traced_block(code, chain, code.head_index());
  Cell* start = stack::top;
  run_untraced_block<BlockBase::pushed>(code);
  // Copied without copy_cell's test: on an empty frame the value is there already, and a cell
  // copied onto itself stays the same.
  if (chain && !stack::pending) *stack::arguments = *start;
}

// Puts back what a function body changed, on every way out.
struct BodyScope {
  NodeId context;
  uint32_t values_node, values_first;
  stack::Frame* frame;
  bool active;
  uint32_t switches;
  ~BodyScope() {
    context::enter_frame(context, values_node, values_first);
    frame->header &= ~stack::Frame::kBodyFlag;
    trace.active = trace.switches == switches ? active : trace.switched_on;
  }
};

void run_body(const Cell* function, const Cell* name) {
  if (rt::pending_requests) rt::answer_requests();   // interrupt key, resize: polled at every call
  const NodeId context = function::context_of(function);
  const Cell* header = context::context_cell(context);
  BodyScope scope{context, header->data2, header->data3, stack::current(), trace.active,
                  trace.switches};
  context::enter_frame(context, stack::argument_node, stack::index_of(stack::arguments));
  stack::set_body_flag(true);
  // Most functions have neither attribute: one test passes them.
  if (function->header & (function::kNoTraceFlag | function::kTraceFlag)) [[unlikely]] {
    if (function->header & function::kNoTraceFlag) trace.active = false;
    else trace.active = trace.saved_active;
  }
  const Cell body = *function::body(function);
  fire(EVENT_PROLOG, &body, 0, function, name);
  uint32_t code = stack::guarded([&] {
    if (body.is(TYPE_BLOCK)) run_chained_block(body, true);
    else unset::box(stack::arguments);
  });
  if (code == rt::THROWN_RETURN || code == rt::THROWN_EXIT) stack::pending = 0;
  if (!stack::pending) stack::keep();
  fire(EVENT_EPILOG, &body, 0, stack::arguments, name);
}

}  // namespace

// ---- public entry points ----

void eval_block(const Cell* block_given, bool chain) {
  const Cell code = *block_given;   // a copy: the cell given may be overwritten meanwhile
  run_chained_block(code, chain);
}

void eval_block_in_frame(const Cell* block_given) {
  const Cell code = *block_given;
  // Traced, the block keeps the frame its events report.
  if (trace.active) {
    stack::keep();
    return eval_block(&code, true);
  }
  stack::reset();
  run_untraced_block<BlockBase::current_frame>(code);
}

uint32_t eval_expression(const Cell* code, uint32_t position, uint32_t end, bool prefix,
                         bool sub, bool passive) {
  Cell* start = stack::top;
  position = eval_value(code, position, end, passive);
  if (stack::pending) return position;
  if (!prefix) {
    position = eval_infix(code, position, end, start);
    if (stack::pending) return position;
  }
  if (!sub) {
    stack::reset_last(start);
    fire(EVENT_EXPR, code, position, stack::arguments, nullptr);
  }
  return position;
}

uint32_t eval_next(const Cell* code, uint32_t position, uint32_t end) {
  stack::mark_interp_native(&words::w.body);
  // A statement's step: its fast paths untraced, eval_expression traced.
  position = eval_operand(code, position, end);
  if (stack::pending) return position;
  *stack::arguments = stack::top[-1];
  stack::unwind();
  return position;
}

void eval_path(const Cell* path, PathMode mode, const Cell* value, bool case_sensitive) {
  eval_path_at(path, mode, value, nullptr, case_sensitive);
  // The native that asked expects the value pushed: a paren that broke or returned goes on
  // past it as an exception.
  stack::raise_pending();
}

void call_function(const Cell* function, NodeId, const Cell* name) {
  fire(EVENT_CALL, nullptr, 0, function, name);
  run_body(function, name);
  if (!stack::pending) fire(EVENT_RETURN, nullptr, 0, stack::arguments, name);
}

void invoke(const Cell* function_given, NodeId context, const Cell* name, bool check,
            const int32_t* refinements) {
  const Cell function = function_given->is(TYPE_OP) ? op_function(function_given)
                                                     : *function_given;
  switch (function.type()) {
    case TYPE_NATIVE: case TYPE_ACTION: {
      natives::Routine routine = function.is(TYPE_NATIVE)
                                     ? natives::native_at(natives::code_of(&function))
                                     : natives::action_at(natives::code_of(&function));
      if (!routine) error::raise(error::CAT_INTERNAL, "not-done");
      routine(check, refinements);
      break;
    }
    case TYPE_FUNCTION:
      call_function(&function, context, name);
      break;
    case TYPE_ROUTINE:
      routines::call(&function, stack::arguments, stack::arguments);
      break;
    default:
      rt::runtime_error(rt::RUNTIME_NO_SWITCH_MATCH, XOL_CALLER_ADDRESS);
  }
}

Cell arg_cache(const Cell* function) {
  Cell* slot = record_of(function) + 1;
  if (slot->is(TYPE_BLOCK)) return *slot;
  const Cell made = build_cache(function);
  record_of(function)[1] = made;
  return made;
}

CacheTotals cache_totals(const Cell* cache) {
  const Cell totals = block::tail(cache)[-1];
  return CacheTotals{int32_t(totals.data1), int32_t(totals.data2), int32_t(totals.data3)};
}

Cell nth_argument_word(const Cell* function, int32_t index) {
  if (!callable(function->type()) && !function->is(TYPE_OP)) return kNone;
  const Cell spec{TYPE_BLOCK, 0, function->data2, 0};
  int32_t seen = 0;
  for (const Cell* entry = block::head(&spec); entry < block::tail(&spec); ++entry) {
    TypeId type = entry->type();
    if (type == TYPE_WORD || type == TYPE_LIT_WORD || type == TYPE_GET_WORD ||
        type == TYPE_REFINEMENT) {
      if (seen++ == index) return *entry;
    }
  }
  return kNone;
}

// ---- trace ----

void fire_event(Event event, const Cell* code, int32_t position, const Cell* value,
                const Cell* name) {
  if (!tracing(event)) return;
  const stack::Mark mark = stack::save();
  const Cell callback = trace.callback;
  const Cell value_copy = value ? *value : kNone;
  const bool named = event == EVENT_SET || event == EVENT_EPILOG || event == EVENT_PROLOG ||
                     event == EVENT_RETURN || event == EVENT_CALL;
  const Cell name_copy = named && name ? *name : kNone;
  Cell code_copy = code ? *code : kNone;
  int32_t offset = kNoPosition;
  if (code) {
    int32_t from_head = position - int32_t(block::head_position(code));
    if (from_head >= 0 && uint32_t(position) <= block::length(code) + block::head_position(code))
      offset = from_head;
  }
  const Cell frame = pair::make(int32_t(stack::index_of(stack::arguments)),
                                int32_t(stack::index_of(stack::top)));
  stack::push_slot();
  stack::mark_func(&words::w.interp_callback, function::context_of(&callback));
  int bit = __builtin_ctz(event);
  stack::push(&event_words[bit]);
  stack::push(&code_copy);
  *stack::push_slot() = integer::make(offset);
  stack::push(&value_copy);
  stack::push(&name_copy);
  stack::push(&frame);
  for (int32_t i = 0; i < trace.locals; ++i) *stack::push_slot() = kNone;
  // The callback's frame is still there unless a throw, break or continue left the callback:
  // those landed at their frame below it, and the stacks stay as they left them.
  struct Resume {
    stack::Mark mark;
    ~Resume() {
      trace.active = true;
      if (stack::ctop > mark.ctop) stack::restore(mark);
    }
  } resume{mark};
  // A code on its way out (a break through a function's epilog, through the end of a trace)
  // waits while the callback runs, which would otherwise stop at its first step.
  const uint32_t kept = stack::pending;
  stack::pending = 0;
  trace.active = false;
  run_body(&callback, &words::w.interp_callback);
  stack::raise_pending();
  stack::pending = kept;
}

uint32_t event_mask(const Cell* callback) {
  const Cell* body = function::body(callback);
  if (!body->is(TYPE_BLOCK) || block::length(body) == 0 || !block::head(body)->is(TYPE_BLOCK))
    return kAllEvents;
  const Cell events = *block::head(body);
  if (block::length(&events) == 0) return kAllEvents;
  uint32_t mask = 0;
  for (const Cell* entry = block::head(&events); entry < block::tail(&events); ++entry) {
    if (!entry->is(TYPE_WORD)) continue;
    const int32_t symbol = symbol::resolve(word::symbol_of(entry));
    for (int bit = 0; bit < kEventCount; ++bit)
      if (symbol::resolve(word::symbol_of(&event_words[bit])) == symbol) mask |= 1u << bit;
  }
  return mask;
}

// ---- start-up ----

namespace {

void mark_state() {
  collector::mark_cell(current_code);
  collector::mark_cell(trace.callback);
}

void service_eval_block(const Cell* block, Cell* result) {
  eval_block(block, false);
  *result = *--stack::top;
  stack::raise_pending();
}

void annotate(Cell* error_value) {
  if (!stack::cbottom) return;
  Cell* near = error::field(error_value, error::FIELD_NEAR);
  const bool in_code = current_code.is(TYPE_BLOCK) || current_code.is(TYPE_PAREN);
  if (in_code && near->is(TYPE_NONE)) *near = current_code;
  Cell* where = error::field(error_value, error::FIELD_WHERE);
  if (where->is(TYPE_NONE) && stack::ctop > stack::cbottom) *where = stack::get_call();
  Cell* frames = error::field(error_value, error::FIELD_STACK);
  if (frames->is(TYPE_BLOCK)) return;
  *frames = integer::make(int32_t(stack::ctop - stack::cbottom));
  // Whatever handles the error pushes frames over the records above it: a trace that will be
  // printed is taken while they still name the calls that failed.
  if (error::trace_level() > 0) error::capture_stack(error_value);
}

}  // namespace

void init() {
  for (int i = 0; i < kEventCount; ++i) event_words[i] = word::load(kEventNames[i]);
  current_code = unset::value;
  trace = TraceState{};
  collector::register_mark(mark_state, collector::RANK_CURRENT_CELL);
  forget_field_hints();
  collector::register_sweep(forget_field_hints);
  evaluator_hooks::Services services;
  services.eval_block = service_eval_block;
  services.call_function = call::function_service;
  services.annotate_error = annotate;
  services.form_trace = stack::form_trace;
  services.trace_level = error::trace_level;
  services.call_comparison = call::comparison_service;
  services.call_lexer_callback = call::lexer_callback_service;
  services.callback_body = call::callback_body;
  evaluator_hooks::install(services);
  error::set_raise_observer(call::observe_raise);
}

void release() {
  collector::unregister_mark(mark_state);
  collector::unregister_sweep(forget_field_hints);
  evaluator_hooks::install({});
  error::set_raise_observer(nullptr);
  trace = TraceState{};
  current_code = unset::value;
}

}  // namespace xol::interpreter
