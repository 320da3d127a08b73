// The control natives: conditionals, loops, do, reduce and compose.
//
// A loop opens a loop frame and evaluates its body in it; a break or continue in the body
// lands on that frame (stack.h) and comes back as the pending code, which the loop clears.
// Return, exit and errors pass through unchanged. The state of a loop (the word, the series,
// the count) stays in the native's own argument cells below the loop frame, where the
// collector sees it and where the stepping routines update it in place: an iteration neither
// allocates nor binds, it sets a word and evaluates the body.
//
// Blocks under evaluation may move, grow and shrink while they run, so every walk over a block
// keeps cell indexes, re-reads the cell at each step and stops at the tail as it is then.
#include <algorithm>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/word.h"
#include "runtime/eval/call.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/stack.h"
#include "runtime/io/lexer.h"
#include "runtime/datatypes/owners.h"
#include "runtime/process/process.h"
#include "runtime/datatypes/runtime_words.h"

namespace xol::natives {
namespace {

using stack::arguments;

// Evaluates a branch block into the native's result slot, over the arguments it no longer needs.
void run_branch(const Cell& branch) { interpreter::eval_block_in_frame(&branch); }

void result_none() {
  none::box(stack::arguments);
  stack::keep();
}

// The absolute end of a block's cells.
uint32_t end_of(const Cell& block) { return block::head_position(&block) + block::length(&block); }

// The inline falsy test of `any` and `remove-each`: none!, or a logic! false.
bool inline_falsy(const Cell& value) {
  return value.is(TYPE_NONE) || (value.is(TYPE_LOGIC) && !logic::get(&value));
}

// How one evaluation of a loop body ended.
enum class Step { next, continued, ended };

// One evaluation of a loop body into the loop frame's result slot. `ended` is a break (cleared)
// or a code that belongs to an outer frame (left pending).
Step body_step(const Cell& body) {
  if (rt::pending_requests) rt::answer_requests();   // interrupt key, resize: polled every turn
  switch (stack::guarded([&] { interpreter::eval_block_in_frame(&body); })) {
    case rt::THROWN_BREAK:
      stack::pending = 0;
      return Step::ended;
    case rt::THROWN_CONTINUE:
      stack::pending = 0;
      return Step::continued;
    case 0:
      return Step::next;
    default:
      return Step::ended;
  }
}
bool loop_step(const Cell& body) {
  return body_step(body) != Step::ended;
}

// Opens the loop frame with an unset result slot.
void open_loop() {
  stack::mark_loop(&words::w.body);
  stack::push_slot();
}

// Closes the loop frame (unless an outer code is pending), its last value becoming the result.
void close_loop() {
  if (!stack::pending) stack::unwind_last();
}

// ---- the foreach and remove-each steps ----

bool loop_word_type(TypeId type) { return type >= TYPE_WORD && type <= TYPE_GET_WORD; }

// The word block of foreach and remove-each: at least one entry, each a word of the four kinds.
int32_t check_word_block(const Cell& words_given) {
  const int32_t count = int32_t(block::length(&words_given));
  if (count < 1) error::raise(error::CAT_SCRIPT, "invalid-arg", &words_given);
  for (const Cell* entry = block::head(&words_given); entry < block::tail(&words_given); ++entry)
    if (!loop_word_type(entry->type())) error::raise(error::CAT_SCRIPT, "invalid-arg", entry);
  return count;
}

// Sets word `i` (from 1) of the word block. The body may have changed the block since it was
// checked: an entry gone or no longer a word is refused, never set.
void set_block_word(Cell* words_cell, int32_t i, const Cell* value) {
  if (uint32_t(i) > block::length(words_cell))
    error::raise(error::CAT_SCRIPT, "invalid-arg", words_cell);
  Cell* entry = block::head(words_cell) + i - 1;
  if (!loop_word_type(entry->type())) error::raise(error::CAT_SCRIPT, "invalid-arg", entry);
  set_word_value(entry, value);
}

// Whether an element is left at the series' index.
bool series_left(const Cell& series) {
  if (series.is(TYPE_MAP)) {
    const Cell pairs{TYPE_BLOCK, 0, series.data2, 0};
    return series.data1 < block::length(&pairs);
  }
  return series.data1 < series::buffer_units(&series);
}

// Element `i` (from 1) at the series' index, as `pick` answers it (none past the tail).
Cell pick_at(Cell* series, int32_t i) {
  if (series::any_block(series->type())) {
    const uint32_t at = series->data1 + uint32_t(i) - 1;
    return at < series::buffer_units(series) ? *block::abs_at(series, at) : none::value;
  }
  Cell picked;
  actions::get<ACT_PICK>(series->type())(series, i, nullptr, &picked);
  return picked;
}

// One step of foreach over `series` with the word (n = 1, a word) or the block of n words:
// sets them from the next elements and advances the index. False when nothing was left.
bool foreach_next(Cell* words_cell, Cell* series, int32_t n) {
  if (series->is(TYPE_MAP)) {
    Cell key, value;
    if (!next_map_pair(series, &key, &value)) return false;
    set_block_word(words_cell, 1, &key);
    set_block_word(words_cell, 2, &value);
    return true;
  }
  if (!series_left(*series)) return false;
  if (!words_cell->is(TYPE_BLOCK)) {
    const Cell value = pick_at(series, 1);
    set_word_value(words_cell, &value);
  } else {
    for (int32_t i = 1; i <= n; ++i) {
      const Cell value = pick_at(series, i);
      set_block_word(words_cell, i, &value);
    }
  }
  series->data1 += uint32_t(n);
  return true;
}

// The word count of foreach and remove-each, after the checks of the word argument.
int32_t word_count(const Cell& words_given, const Cell& series) {
  if (!words_given.is(TYPE_BLOCK)) {
    if (series.is(TYPE_MAP)) error::raise(error::CAT_SCRIPT, "invalid-arg", &words_given);
    return 1;
  }
  const int32_t count = check_word_block(words_given);
  if (series.is(TYPE_MAP) && count != 2)
    error::raise(error::CAT_SCRIPT, "invalid-arg", &words_given);
  return count;
}

// ---- evaluation helpers ----

// Evaluates one value as an expression (a word gives its value, a function is called) and
// pushes the result.
void eval_one(const Cell& value) {
  Cell* holder = stack::push_slot();
  block::make_at(holder, 1);
  block::append_cell(holder, &value);
  interpreter::eval_block(holder, false);
  if (stack::pending) return;
  *holder = stack::top[-1];
  stack::top = holder + 1;
}

bool is_function_type(TypeId type) {
  return type == TYPE_NATIVE || type == TYPE_ACTION || type == TYPE_OP ||
         type == TYPE_FUNCTION || type == TYPE_ROUTINE;
}

// The output of reduce or compose, a cell on the argument stack. It takes values by appending
// when it is new or an /into output at its tail, else by inserting at its position. Where the
// appended values start and how many there are is what an owner hears of: the evaluated code
// may change the output too, and tells of that itself.
struct Output {
  Cell* block;
  bool append;
  uint32_t appended = 0;
  uint32_t first_appended_at = 0;
};

// Adds a value to the output: appended, or inserted by the insert action (which tells an owner),
// the position moving past it.
void add_to(Output& out, const Cell* value) {
  if (out.append) {
    if (out.appended++ == 0) out.first_appended_at = end_of(*out.block);
    block::append_cell(out.block, value);
    return;
  }
  InsertOptions one_value;
  one_value.only = true;
  Cell item = *value, moved;
  actions::get<ACT_INSERT>(out.block->type())(out.block, &item, one_value, false, &moved);
  *out.block = moved;
}

// The compose worker: walks `source` and adds to `out`.
void compose_into(const Cell source, Output& out, bool deep, bool only) {
  uint32_t end = end_of(source);
  for (uint32_t position = block::head_position(&source); walk_left(source, position, end);
       ++position) {
    const Cell item = *block::abs_at(&source, position);
    if (item.is(TYPE_PAREN)) {
      if (block::length(&item) == 0) continue;
      interpreter::eval_block(&item, false);
      if (stack::pending) return;
      Cell* result = stack::top - 1;
      if (result->is(TYPE_UNSET)) {
        stack::pop(1);
      } else if (result->is(TYPE_BLOCK) && !only) {
        // A block spliced into itself adds the values it holds now, from a copy: each value
        // added would otherwise grow it and shift what is left to splice.
        if (result->node() == out.block->node()) block::clone(result, false, false, result);
        for (uint32_t i = 0; i < block::length(result); ++i) {
          const Cell value = block::head(result)[i];
          add_to(out, &value);
        }
        stack::pop(1);
      } else {
        const Cell value = *result;
        stack::pop(1);
        add_to(out, &value);
      }
    } else if (item.is(TYPE_BLOCK) && deep) {
      Cell* nested = stack::push_slot();
      block::make_at(nested, int32_t(block::length(&item)));
      Output nested_out{nested, true};
      compose_into(item, nested_out, deep, only);
      if (stack::pending) return;
      const Cell made = *nested;
      stack::pop(1);
      add_to(out, &made);
    } else {
      add_to(out, &item);
    }
  }
}

// Whether a `/into` output takes values by appending: it is at its tail.
bool appends(const Cell& out) { return series::at_tail(&out); }

// The values appended to an `/into` output at its tail are told to its owner at once, as one
// insertion where the first of them went (the former tail, unless the evaluated code moved it).
void tell_owner_appended(const Output& out) {
  if (out.appended == 0) return;
  ownership::check(out.block, &words::w.inserted, &none::value, int32_t(out.first_appended_at),
                   int32_t(out.appended));
}

// Runs `fill`, which adds values to the output, and tells an /into output's owner of the values
// appended at its tail however the evaluation ends: an error, a throw, a break or a return in
// the evaluated code leaves the values added so far in the output, and the owner hears of
// them before that passes on. (Values inserted elsewhere the insert action tells one by one.)
template <class Fill>
void filling(Output& out, bool into, Fill&& fill) {
  if (!into || !out.append) return fill();
  try {
    fill();
  } catch (const error::Raised& raised) {
    stack::push(&raised.error);   // kept alive while the owner's code runs
    tell_owner_appended(out);
    throw;
  } catch (const rt::Thrown&) {
    tell_owner_appended(out);
    throw;
  }
  // A break or a return on its way out waits while the owner's code runs, which would
  // otherwise stop at its first step.
  const uint32_t kept = stack::pending;
  stack::pending = 0;
  tell_owner_appended(out);
  stack::pending = kept;
}

}  // namespace

bool walk_left(const Cell& block, uint32_t position, uint32_t& end) {
  end = std::min(end, end_of(block));
  return position < end;
}

// Removed pairs have a value cell whose header is 0. The key is handed out as map keys are.
bool next_map_pair(Cell* map, Cell* key, Cell* value) {
  const Cell pairs{TYPE_BLOCK, 0, map->data2, 0};
  const uint32_t count = block::length(&pairs);
  for (uint32_t at = map->data1; at + 1 < count; at += 2) {
    const Cell* pair = block::abs_at(&pairs, at);
    if (pair[1].header == 0) continue;
    *value = pair[1];
    *key = map::key_given_out(pair);
    map->data1 = at + 2;
    return true;
  }
  map->data1 = count;
  return false;
}

// ---- conditionals ----

void if_(bool, const int32_t*) {
  if (logic::false_q(arguments)) return result_none();
  run_branch(arguments[1]);
}

void unless(bool, const int32_t*) {
  if (!logic::false_q(arguments)) return result_none();
  run_branch(arguments[1]);
}

void either(bool, const int32_t*) {
  run_branch(logic::true_q(arguments) ? arguments[1] : arguments[2]);
}

void any(bool, const int32_t*) {
  const Cell code = arguments[0];
  stack::keep();
  uint32_t end = end_of(code);
  for (uint32_t position = block::head_position(&code); walk_left(code, position, end);) {
    position = interpreter::eval_next(&code, position, end);
    if (stack::pending) return;
    const Cell value = *--stack::top;
    if (!inline_falsy(value)) {
      stack::set_last(&value);
      return;
    }
  }
  result_none();
}

void all(bool, const int32_t*) {
  const Cell code = arguments[0];
  stack::keep();
  uint32_t end = end_of(code);
  if (block::length(&code) == 0) return result_none();
  for (uint32_t position = block::head_position(&code); walk_left(code, position, end);) {
    position = interpreter::eval_next(&code, position, end);
    if (stack::pending) return;
    const Cell value = *--stack::top;
    if (logic::false_q(&value)) return result_none();
    stack::set_last(&value);
  }
}

void switch_(bool, const int32_t* refinements) {
  const Cell value = arguments[0], cases = arguments[1];
  const Cell* found = call::select_case(&value, &cases);
  if (found && found < block::tail(&cases)) return run_branch(*found);
  if (!found && refinements[0] >= 0) return run_branch(arguments[refinements[0]]);
  result_none();
}

void case_(bool, const int32_t* refinements) {
  const bool all = refinements[0] >= 0;
  const Cell cases = arguments[0];
  stack::keep();
  uint32_t end = end_of(cases);
  Cell result = none::value;
  for (uint32_t position = block::head_position(&cases); walk_left(cases, position, end);) {
    result = none::value;
    position = interpreter::eval_next(&cases, position, end);
    if (stack::pending) return;
    const Cell condition = *--stack::top;
    if (!walk_left(cases, position, end))
      error::raise(error::CAT_SCRIPT, "need-value", &words::w.case_);
    if (!logic::true_q(&condition)) {
      ++position;
      continue;
    }
    const Cell branch = *block::abs_at(&cases, position);
    if (branch.is(TYPE_BLOCK)) {
      ++position;
      interpreter::eval_block(&branch, false);
    } else {
      position = interpreter::eval_next(&cases, position, end);
    }
    if (stack::pending) return;
    result = *--stack::top;
    if (!all) break;
  }
  stack::set_last(&result);
}

// ---- loops ----

void while_(bool, const int32_t*) {
  const Cell condition = arguments[0], body = arguments[1];
  stack::keep();
  open_loop();
  for (;;) {
    const uint32_t code = stack::guarded([&] { interpreter::eval_block_in_frame(&condition); });
    if (code == rt::THROWN_BREAK || code == rt::THROWN_CONTINUE) {
      stack::pending = 0;
      error::raise(error::CAT_THROW, "while-cond");
    }
    if (code) return;
    if (!logic::true_q(stack::arguments)) break;
    if (!loop_step(body)) break;
  }
  if (stack::pending) return;
  stack::revert();
  unset::box(stack::arguments);
  stack::keep();
}

void until(bool, const int32_t*) {
  const Cell body = arguments[0];
  stack::keep();
  open_loop();
  for (;;) {
    const Step step = body_step(body);
    if (step == Step::ended) break;
    if (step == Step::next && logic::true_q(stack::arguments)) break;
  }
  close_loop();
}

void loop(bool, const int32_t*) {
  const int32_t count = call::float_to_integer(arguments);
  const Cell body = arguments[1];
  if (count <= 0) return result_none();
  stack::keep();
  open_loop();
  for (int32_t i = 0; i < count && loop_step(body); ++i) {
  }
  close_loop();
}

void repeat(bool, const int32_t*) {
  Cell* word = arguments;
  const int32_t count = call::float_to_integer(arguments + 1);
  const Cell body = arguments[2];
  if (count <= 0) return result_none();
  stack::top = arguments + 3;
  open_loop();
  for (int64_t i = 1; i <= count; ++i) {   // 64 bits: count may be the largest integer
    const Cell counter = integer::make(int32_t(i));
    set_word_value(word, &counter);
    if (!loop_step(body)) break;
  }
  close_loop();
}

void forever(bool, const int32_t*) {
  const Cell body = arguments[0];
  stack::keep();
  open_loop();
  while (loop_step(body)) {
  }
  close_loop();
}

void foreach(bool, const int32_t*) {
  Cell* state = arguments;   // the word(s), the series (advanced in place), the body
  const Cell body = state[2];
  const int32_t n = word_count(state[0], state[1]);
  state[1].data1 = state[1].is(TYPE_MAP) ? 0 : series::head_of(&state[1]);
  stack::top = state + 3;
  open_loop();
  while (foreach_next(&state[0], &state[1], n) && loop_step(body)) {
  }
  close_loop();
}

void forall(bool, const int32_t*) {
  Cell* state = arguments;   // the word, the body, then the starting series
  Cell* value = word::get(&state[0]);
  if (!series::is_series(value->type())) {
    Cell datatype{TYPE_DATATYPE, uint32_t(value->type()), 0, 0};
    Cell argument = word::load("word");
    Cell name = word::load("forall");
    error::raise(error::CAT_SCRIPT, "expect-arg", &name, &datatype, &argument);
  }
  const Cell body = state[1];
  state[2] = *value;
  stack::top = state + 3;
  open_loop();
  bool broken = false;
  while (series_left(*word::get(&state[0]))) {
    if (body_step(body) == Step::ended) {
      if (stack::pending) return;
      broken = true;
      break;
    }
    Cell* now = word::get(&state[0]);
    if (!series::is_series(now->type()) || now->node() != state[2].node())
      error::raise(error::CAT_SCRIPT, "bad-loop-series", now);
    ++now->data1;
  }
  if (!broken) set_word_value(&state[0], &state[2]);
  close_loop();
}

void remove_each(bool, const int32_t*) {
  Cell* state = arguments;   // the word(s), the series (advanced in place), the body, the start
  const Cell body = state[2];
  const int32_t n = word_count(state[0], state[1]);
  state[1].data1 = series::head_of(&state[1]);
  state[3] = state[1];
  stack::top = state + 4;
  open_loop();
  const Cell part = integer::make(n);
  while (foreach_next(&state[0], &state[1], n)) {
    const Step step = body_step(body);
    if (step == Step::ended) break;
    if (step == Step::continued || inline_falsy(*stack::arguments)) continue;
    Cell* series = &state[1];
    // Back to the step's first element: a last step short of n elements still starts there.
    // The body may have shortened the series, so the start is kept within it.
    const uint32_t units = series::buffer_units(series), start = series->data1 - uint32_t(n);
    series->data1 = start > units ? units : start;
    Cell removed;
    actions::get<ACT_REMOVE>(series->type())(series, n == 1 ? nullptr : &part, nullptr, &removed);
    series->data1 = removed.data1;
  }
  if (stack::pending) return;
  stack::revert();
  stack::set_last(&state[3]);
  stack::keep();
}

// ---- evaluation ----

namespace {

enum DoRefinement { DO_EXPAND, DO_ARGS, DO_NEXT, DO_TRACE };

// Evaluates do's value by its type into the native's result slot (unless a code is left
// pending).
void do_value(Cell value, const int32_t* refinements) {
  if (value.is(TYPE_STRING)) {
    Cell* loaded = stack::push_slot();
    lexer::scan_string(&value, nullptr, nullptr, nullptr, lexer::Mode{}, -1, loaded);
    value = *loaded;
  }
  if (refinements[DO_EXPAND] >= 0 && series::any_block(value.type())) {
    const Cell name = word::load("expand-directives");
    Cell expanded;
    call::value(call::get_value(&name), &name, &value, 1, &expanded);
  }
  switch (value.type()) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH:
      if (refinements[DO_NEXT] >= 0) {
        Cell* position_word = arguments + refinements[DO_NEXT];
        value.data1 = block::head_position(&value);
        const uint32_t end = end_of(value);
        if (value.data1 < end) {
          value.data1 = interpreter::eval_next(&value, value.data1, end);
          if (stack::pending) return;
          stack::set_last(--stack::top);
        } else {
          unset::box(stack::arguments);
        }
        set_word_value(position_word, &value);
      } else {
        interpreter::eval_block(&value, true);
      }
      return;
    case TYPE_FILE: case TYPE_URL: {
      // do-file file callback do-args
      const Cell name = word::load("do-file");
      const Cell args[] = {value, none::value,
                           refinements[DO_ARGS] >= 0 ? arguments[refinements[DO_ARGS]]
                                                     : none::value};
      Cell result;
      call::value(call::get_value(&name), &name, args, 3, &result);
      stack::set_last(&result);
      return;
    }
    case TYPE_ERROR:
      stack::throw_error(&value);
    default:
      eval_one(value);
      if (!stack::pending) stack::set_last(--stack::top);
      return;
  }
}

void fire_trace_end(const Cell* value) {
  interpreter::fire_event(interpreter::EVENT_END, nullptr, 0, value, nullptr);
}

}  // namespace

void do_(bool, const int32_t* refinements) {
  const Cell value = arguments[0];
  if (refinements[DO_TRACE] < 0 || interpreter::trace.active) {
    do_value(value, refinements);
    if (!stack::pending) stack::keep();
    return;
  }
  // do starts the trace: its frame takes the body flag, so that a return in the traced code
  // ends here and is raised again from here once the trace is over.
  const Cell callback = arguments[refinements[DO_TRACE]];
  const Cell cache = interpreter::arg_cache(&callback);
  // A trace callback may start a trace of its own (its events are off while it runs): the
  // outer trace, whose callback stays on the stack below, comes back at the end.
  struct TraceEnd {
    interpreter::TraceState outer = interpreter::trace;
    ~TraceEnd() { interpreter::trace = outer; }
  } trace_end;
  interpreter::trace.callback = callback;
  interpreter::trace.mask = interpreter::event_mask(&callback);
  interpreter::trace.locals = interpreter::cache_totals(&cache).locals;
  interpreter::trace.active = interpreter::trace.saved_active = true;
  stack::set_body_flag(true);

  // The trace ends however the evaluation does, the init event's callback included: an error
  // or a throw passes on after the end event, as does a break or continue, which has already
  // left do's frame.
  try {
    interpreter::fire_event(interpreter::EVENT_INIT, nullptr, 0, stack::arguments, nullptr);
    do_value(value, refinements);
  } catch (const error::Raised& raised) {
    if (!error::is_stack_overflow(raised)) fire_trace_end(&raised.error);
    throw;
  } catch (const rt::Thrown&) {
    fire_trace_end(stack::arguments);
    throw;
  }
  const uint32_t code = stack::pending;
  if (code == rt::THROWN_BREAK || code == rt::THROWN_CONTINUE) return fire_trace_end(stack::arguments);
  stack::set_body_flag(false);
  stack::pending = 0;
  stack::keep();
  fire_trace_end(stack::arguments);
  if (code == rt::THROWN_RETURN || code == rt::THROWN_EXIT)
    stack::throw_return(code == rt::THROWN_RETURN);
}

void reduce(bool, const int32_t* refinements) {
  const Cell source = arguments[0];
  const bool into = refinements[0] >= 0;
  const Cell given = into ? arguments[refinements[0]] : none::value;
  stack::keep();
  Cell* out = stack::push_slot();
  if (into) *out = given;
  else block::make_at(out, int32_t(source.is(TYPE_BLOCK) ? block::length(&source) : 1));
  Output output{out, !into || appends(*out)};
  if (!source.is(TYPE_BLOCK) && !into) {
    if (is_function_type(source.type())) return stack::keep();
    eval_one(source);
    if (stack::pending) return;
    stack::set_last(stack::top - 1);
    return stack::keep();
  }
  filling(output, into, [&] {
    if (!source.is(TYPE_BLOCK)) {
      if (is_function_type(source.type())) {
        stack::push(&source);
      } else {
        eval_one(source);
        if (stack::pending) return;
      }
      const Cell value = *--stack::top;
      add_to(output, &value);
      return;
    }
    uint32_t end = end_of(source);
    for (uint32_t position = block::head_position(&source); walk_left(source, position, end);) {
      position = interpreter::eval_next(&source, position, end);
      if (stack::pending) return;
      Cell value = *--stack::top;
      cell::clear_new_line(&value);
      add_to(output, &value);
    }
  });
  if (stack::pending) return;
  stack::set_last(out);
  stack::keep();
}

void compose(bool, const int32_t* refinements) {
  enum { DEEP, ONLY, INTO };
  const Cell source = arguments[0];
  if (!source.is(TYPE_BLOCK)) {
    Cell expected{TYPE_DATATYPE, TYPE_BLOCK, 0, 0}, given{TYPE_DATATYPE, source.type(), 0, 0};
    error::raise(error::CAT_SCRIPT, "expect-val", &expected, &given);
  }
  const bool into = refinements[INTO] >= 0;
  const Cell given = into ? arguments[refinements[INTO]] : none::value;
  stack::keep();
  Cell* out = stack::push_slot();
  if (into) *out = given;
  else block::make_at(out, int32_t(block::length(&source)));
  Output output{out, !into || appends(*out)};
  filling(output, into,
          [&] { compose_into(source, output, refinements[DEEP] >= 0, refinements[ONLY] >= 0); });
  if (stack::pending) return;
  stack::set_last(out);
  stack::keep();
}

}  // namespace xol::natives
