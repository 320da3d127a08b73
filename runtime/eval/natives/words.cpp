// The word and context natives: reading and writing words (get, set, unset, value?), binding
// (bind, in, context?), objects and maps (construct, extend), types (type?, as), and apply.
//
// They are thin layers over the context, object and map services of the datatypes; what they
// settle is which argument type goes where. `set_many` is the multi-set routine that `set` on a
// block shares with the loops.
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/value_ops.h"
#include "runtime/datatypes/word.h"
#include "runtime/eval/call.h"
#include "runtime/eval/frame_fill.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/stack.h"
#include "runtime/memory/memory.h"
#include "runtime/datatypes/runtime_words.h"

namespace xol::natives {
namespace {

using stack::arguments;

bool settable_word(TypeId type) { return type >= TYPE_WORD && type <= TYPE_GET_WORD; }

bool is_object_type(TypeId type) {
  return type == TYPE_OBJECT || type == TYPE_ERROR || type == TYPE_PORT;
}
bool is_function_type(TypeId type) {
  return type == TYPE_NATIVE || type == TYPE_ACTION || type == TYPE_OP ||
         type == TYPE_FUNCTION || type == TYPE_ROUTINE;
}

// The word `self` as an object's body binds it: no field, it reads as the object itself.
bool names_owner(const Cell& word) {
  return word::index_of(&word) < 0 && word::symbol_of(&word) == words::sym.self;
}

}  // namespace

void set_word_value(Cell* word, const Cell* value) {
  const NodeId context = word::context_of(word);
  if (!context) error::raise(error::CAT_SCRIPT, "not-defined", word);
  // Stored, it would add a field named self to the object, which the word still reads past.
  if (names_owner(*word) && is_object_type(context::owner_cell(context)->type()) &&
      context::find_word(context, words::sym.self, false) < 0)
    error::raise(error::CAT_SCRIPT, "invalid-arg", word);
  context::set(word, value);
}

namespace {

// Value i (from 1) of a list, none past its tail.
Cell nth_value(const Cell& values, uint32_t i) {
  return i <= block::length(&values) ? block::head(&values)[i - 1] : none::value;
}

// The context a value carries, for bind and in; 0 when it carries none.
NodeId context_carried(const Cell& value) {
  if (word::any_word_type(value.type())) return word::context_of(&value);
  if (is_object_type(value.type())) return object::context_of(&value);
  if (value.is(TYPE_FUNCTION) || value.is(TYPE_ROUTINE)) return function::context_of(&value);
  return kNoNode;
}

// The family `as` retypes within: 1 for the lists, 2 for the strings, 0 for neither.
int32_t coercion_family(TypeId type) {
  if (type == TYPE_BLOCK || type == TYPE_PAREN || series::any_path(type)) return 1;
  return series::any_string(type) ? 2 : 0;
}

}  // namespace

void set_many(Cell* words_block, const Cell& given, bool any, bool only, bool some) {
  Cell values = given;
  if (values.is(TYPE_MAP) && !only) {
    Cell* pairs = stack::push_slot();
    block::make_at(pairs, 2 * map::count(&values));
    Cell walked = values, key, value;
    walked.data1 = 0;
    while (next_map_pair(&walked, &key, &value)) {
      block::append_cell(pairs, &key);
      block::append_cell(pairs, &value);
    }
    values = *pairs;
  }
  const bool list = series::any_block(values.type()) && !only;
  const uint32_t count = block::length(words_block);
  // Every entry is checked before any is set, so that a refused entry sets none of them.
  for (uint32_t i = 1; i <= count; ++i) {
    const Cell* entry = block::head(words_block) + i - 1;
    if (!settable_word(entry->type())) error::raise(error::CAT_SCRIPT, "invalid-arg", entry);
    if (list && !any && nth_value(values, i).is(TYPE_UNSET))
      error::raise(error::CAT_SCRIPT, "need-value", entry);
  }
  // An object's on-change* hook may shorten the block of words: it is read only to its tail.
  for (uint32_t i = 1; i <= count && i <= block::length(words_block); ++i) {
    const Cell value = list ? nth_value(values, i) : values;
    if (some && value.is(TYPE_NONE)) continue;
    Cell* entry = block::head(words_block) + i - 1;
    if (!settable_word(entry->type())) error::raise(error::CAT_SCRIPT, "invalid-arg", entry);
    set_word_value(entry, &value);
  }
}

void get(bool, const int32_t* refinements) {
  const bool any = refinements[0] >= 0;
  const Cell target = arguments[0];
  stack::keep();
  if (series::any_path(target.type())) {
    Cell path = target;
    cell::set_type(&path, TYPE_PATH);
    interpreter::eval_path(&path, interpreter::PATH_GET, nullptr, refinements[1] >= 0);
    // A missing field reads as unset in get mode: without /any that is no value, as for a word.
    if (stack::top[-1].is(TYPE_UNSET) && !any) error::raise(error::CAT_SCRIPT, "no-value", &target);
    stack::set_last(--stack::top);
    return;
  }
  if (is_object_type(target.type())) {
    const Cell field = word::load("values");
    Cell result;
    actions::get<ACT_REFLECT>(target.type())(&arguments[0], &field, &result);
    stack::set_last(&result);
    return;
  }
  const Cell* slot = word::get(&target);
  if (slot->is(TYPE_UNSET) && !any) error::raise(error::CAT_SCRIPT, "no-value", &target);
  stack::set_last(slot);
}

void set(bool, const int32_t* refinements) {
  enum { ANY, CASE, ONLY, SOME };
  const bool any = refinements[ANY] >= 0;
  Cell* target = &arguments[0];
  const Cell value = arguments[1];
  if (value.is(TYPE_UNSET) && !any) error::raise(error::CAT_SCRIPT, "need-value", target);
  if (series::any_path(target->type())) {
    Cell path = *target;
    cell::set_type(&path, TYPE_PATH);
    interpreter::eval_path(&path, interpreter::PATH_SET, &value, refinements[CASE] >= 0);
  } else if (is_object_type(target->type())) {
    object::set_from(target, &value, any, refinements[ONLY] >= 0, refinements[SOME] >= 0);
  } else if (target->is(TYPE_BLOCK)) {
    stack::top = arguments + 2;
    stack::mark_native(&words::w.anon);
    set_many(target, value, any, refinements[ONLY] >= 0, refinements[SOME] >= 0);
    stack::revert();
  } else {
    set_word_value(target, &value);
  }
  stack::set_last(&value);
  stack::keep();
}

void unset_(bool, const int32_t*) {
  Cell* target = &arguments[0];
  if (target->is(TYPE_BLOCK)) {
    for (uint32_t i = 0; i < block::length(target); ++i) {
      Cell* entry = block::head(target) + i;
      if (entry->is(TYPE_WORD)) set_word_value(entry, &unset::value);
    }
  } else {
    set_word_value(target, &unset::value);
  }
  unset::box(arguments);
  stack::keep();
}

void value_q(bool, const int32_t*) {
  const Cell target = arguments[0];
  bool has_value = !target.is(TYPE_UNSET);
  if (settable_word(target.type())) {
    const NodeId context = word::context_of(&target);
    // A word not resolved in its context has no value, except self, which reads the owner.
    has_value = context && (word::index_of(&target) >= 0 || names_owner(target)) &&
                !word::get(&target)->is(TYPE_UNSET);
  }
  logic::box(arguments, has_value);
  stack::keep();
}

void type_q(bool, const int32_t* refinements) {
  const TypeId type = arguments[0].type();
  if (refinements[0] >= 0) *arguments = datatype::entry(type).word;
  else *arguments = Cell{TYPE_DATATYPE, uint32_t(type), 0, 0};
  stack::keep();
}

void bind(bool, const int32_t* refinements) {
  const Cell target = arguments[0];
  const NodeId context = context_carried(arguments[1]);
  if (!context) error::raise(error::CAT_SCRIPT, "not-defined", &arguments[1]);
  const bool object_context = context::kind_of(context) == context::KIND_OBJECT;
  stack::keep();
  if (target.is(TYPE_BLOCK)) {
    // A deep copy as copy/deep makes it: bind reaches into hash! values too.
    if (refinements[0] >= 0) values::copy(&target, true, arguments);
    context::bind(arguments, context, object_context);
    return;
  }
  Cell word = target;
  if (context::bind_word(context, &word) >= 0) *arguments = word;
}

void in(bool, const int32_t*) {
  const NodeId context = context_carried(arguments[0]);
  Cell word = arguments[1];
  stack::keep();
  if (!word::any_word_type(word.type())) return;
  if (!context || context::bind_word(context, &word) < 0) {
    none::box(arguments);
    return;
  }
  if (word.is(TYPE_REFINEMENT)) cell::set_type(&word, TYPE_WORD);
  *arguments = word;
}

void context_q(bool, const int32_t*) {
  const NodeId context = word::context_of(&arguments[0]);
  const Cell owner = context ? *context::owner_cell(context) : none::value;
  if (is_object_type(owner.type()) || owner.is(TYPE_FUNCTION)) *arguments = owner;
  else none::box(arguments);
  stack::keep();
}

void construct(bool, const int32_t* refinements) {
  enum { WITH, ONLY };
  const Cell* prototype = refinements[WITH] >= 0 ? &arguments[refinements[WITH]] : nullptr;
  Cell made;
  object::construct(prototype, &arguments[0], refinements[ONLY] >= 0, &made);
  stack::set_last(&made);
  stack::keep();
}

void extend(bool, const int32_t* refinements) {
  const Cell target = arguments[0], spec = arguments[1];
  const bool case_sensitive = refinements[0] >= 0;
  if (!target.is(TYPE_MAP)) error::raise(error::CAT_INTERNAL, "not-done");
  if (!spec.is(TYPE_MAP)) {
    map::extend_from_block(&target, &spec, case_sensitive);
  } else {
    const Cell pairs{TYPE_BLOCK, 0, spec.data2, 0};
    for (uint32_t at = 0; at + 1 < block::length(&pairs); at += 2) {
      Cell key = *block::abs_at(&pairs, at), value = *block::abs_at(&pairs, at + 1);
      if (value.header == 0) continue;
      Cell map = target, stored;
      actions::get<ACT_PUT>(TYPE_MAP)(&map, &key, &value, case_sensitive, &stored);
    }
  }
  stack::keep();
}

void as(bool, const int32_t*) {
  const Cell type = arguments[0];
  Cell value = arguments[1];
  const TypeId target = type.is(TYPE_DATATYPE) ? TypeId(type.data1) : type.type();
  const int32_t family = coercion_family(value.type());
  if (family == 0 || family != coercion_family(target)) {
    Cell from{TYPE_DATATYPE, uint32_t(value.type()), 0, 0}, to{TYPE_DATATYPE, target, 0, 0};
    error::raise(error::CAT_SCRIPT, "not-same-class", &from, &to);
  }
  cell::set_type(&value, target);
  stack::set_last(&value);
  stack::keep();
}

// ---- apply ----

namespace {

// Whether a quoted argument takes the value of what is written: a paren, a get-word or a
// get-path is evaluated, as in a call written out.
bool quoted_evaluates(TypeId type) {
  return type == TYPE_PAREN || type == TYPE_GET_WORD || type == TYPE_GET_PATH;
}

// Fetches one argument of kind `kind` from the argument list into a new stack cell: the next
// expression (only the next value with `safer`), the next value as it is for a literal or
// quoted argument (a quoted paren, get-word or get-path evaluated alone), none when the list
// has run out.
void apply_argument(uint32_t kind, const Cell& list, uint32_t& position, uint32_t& end,
                    bool safer) {
  if (!walk_left(list, position, end)) {
    stack::push(&none::value);
    return;
  }
  const bool quoted = kind == interpreter::ARG_QUOTED &&
                      quoted_evaluates(block::abs_at(&list, position)->type());
  if (kind != interpreter::ARG_EVALUATED && !quoted) {
    stack::push(block::abs_at(&list, position++));
    return;
  }
  position = interpreter::eval_expression(&list, position, safer || quoted ? position + 1 : end,
                                          false, true, false);
}

void check_applied(const Cell& types, const Cell& argument_word, const Cell* name) {
  const Cell* value = stack::top - 1;
  if (!typeset::has(&types, value->type())) {
    Cell datatype{TYPE_DATATYPE, uint32_t(value->type()), 0, 0};
    error::raise(error::CAT_SCRIPT, "expect-arg", name, &datatype, &argument_word);
  }
}

// Fetches the arguments of `function` from the list into its open frame, as the interpreter
// fetches them from a block, in one of apply's two modes: with `all` every argument and
// refinement in spec order (each refinement a logic! followed by its arguments when true);
// otherwise the arguments, then refinement! values each followed by an expression saying
// whether it is used and then its arguments.
void apply_arguments(const Cell& function, const Cell* name, const Cell& list, bool all,
                     bool safer, int32_t* refinements) {
  const Cell cache = interpreter::arg_cache(&function);
  const interpreter::CacheTotals totals = interpreter::cache_totals(&cache);
  const bool is_function = function.is(TYPE_FUNCTION) || function.is(TYPE_ROUTINE);
  const uint32_t count = block::length(&cache) - 1;
  uint32_t end = block::head_position(&list) + block::length(&list);
  uint32_t position = block::head_position(&list);
  for (int32_t i = 0; i < totals.refinements; ++i) refinements[i] = -1;
  auto kind_of = [](const Cell& types) {
    return (types.header >> interpreter::kArgKindShift) & 0x3u;
  };

  // The arguments; a function's refinements get their false and none cells.
  bool used = true;
  for (uint32_t i = 0; i + 1 < count; i += 2) {
    const Cell entry = *block::abs_at(&cache, i), second = *block::abs_at(&cache, i + 1);
    if (entry.is(TYPE_REFINEMENT)) {
      if (!all) {
        if (!is_function) break;
        stack::push(&logic::false_value);
        used = false;
        continue;
      }
      apply_argument(interpreter::ARG_EVALUATED, list, position, end, safer);
      if (stack::pending) return;
      const Cell flag = stack::top[-1];
      if (!flag.is(TYPE_LOGIC)) {
        Cell datatype{TYPE_DATATYPE, uint32_t(flag.type()), 0, 0};
        error::raise(error::CAT_SCRIPT, "expect-arg", name, &datatype, &entry);
      }
      used = logic::get(&flag);
      if (is_function) continue;
      stack::pop(1);
      if (used) refinements[second.data1] = int32_t(stack::top - stack::arguments);
      continue;
    }
    if (!used) {
      if (is_function) stack::push(&none::value);
      continue;
    }
    apply_argument(kind_of(entry), list, position, end, safer);
    if (stack::pending) return;
    check_applied(entry, second, name);
  }

  // Without /all: the refinements named in the rest of the list, each at most once.
  uint64_t seen = 0;
  while (!all && walk_left(list, position, end)) {
    const Cell element = *block::abs_at(&list, position++);
    if (!element.is(TYPE_REFINEMENT)) error::raise(error::CAT_SCRIPT, "bad-refine", &element);
    const uint32_t at =
        interpreter::find_refinement(cache.node(), count, element, name, seen, &list);
    const Cell refinement = *block::abs_at(&cache, at + 1);
    apply_argument(interpreter::ARG_EVALUATED, list, position, end, safer);
    if (stack::pending) return;
    const bool on = logic::cell_true(--stack::top, false, nullptr);
    Cell* first = stack::top;
    for (uint32_t k = 0; k < refinement.data3; ++k) {
      const Cell types = *block::abs_at(&cache, at + 2 + 2 * k);
      apply_argument(kind_of(types), list, position, end, safer);
      if (stack::pending) return;
      check_applied(types, *block::abs_at(&cache, at + 3 + 2 * k), name);
    }
    interpreter::settle_refinement(refinement, on, is_function, first, refinements);
  }

  if (is_function) interpreter::push_locals(totals.locals);
}

}  // namespace

void apply(bool, const int32_t* refinements) {
  enum { ALL, SAFER };
  Cell name = words::w.anon;
  Cell function = arguments[0];
  if (word::any_word_type(function.type())) {
    name = function;
    cell::set_type(&name, TYPE_WORD);
    function = *word::get(&function);
  } else if (series::any_path(function.type())) {
    Cell path = function;
    cell::set_type(&path, TYPE_PATH);
    interpreter::eval_path(&path, interpreter::PATH_GET, nullptr);
    function = *--stack::top;
  }
  if (function.is(TYPE_OP)) {
    function.header = (function.header & ~(kTypeMask | kTypeMask << natives::kOpSourceShift)) |
                      natives::op_source(&function);
  }
  if (!is_function_type(function.type())) error::raise(error::CAT_SCRIPT, "invalid-arg", &function);
  const Cell list = arguments[1];
  stack::keep();
  stack::push(&function);
  NodeId context = kNoNode;
  if (function.is(TYPE_FUNCTION)) {
    const Cell owner = function::record(&function)[function::RECORD_OWNER];
    context = owner.is(TYPE_INTEGER) ? NodeId(integer::get(&owner)) : word::context_of(&name);
    stack::mark_interp_func(&name, context);
  } else {
    stack::mark_interp_native(&name);
  }
  int32_t used[function::kMaxRefinements];
  apply_arguments(function, &name, list, refinements[ALL] >= 0, refinements[SAFER] >= 0, used);
  if (stack::pending) return;
  interpreter::invoke(&function, context, &name, false, used);
  if (stack::pending) return;
  stack::unwind();
  stack::set_last(stack::top - 1);
  stack::keep();
}

}  // namespace xol::natives
