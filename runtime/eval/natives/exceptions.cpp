// The exception natives: try, catch, throw, break, continue, return and exit.
//
// try and catch save both stacks before they evaluate; when an error or a throw comes back as a
// C++ exception they put the stacks back to that mark (which also restores the function
// contexts of the frames dropped) and make the error or the thrown value their result.
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/stack.h"
#include "runtime/datatypes/runtime_words.h"

namespace xol::natives {
namespace {

// try/keep records the calls whose names are functions, as an error's printed trace does.
constexpr int32_t kKeptCallsLevel = 1;
constexpr int32_t kKeptCallsCapacity = 8;

// Whether a throw named `thrown` is for a catch/name with `wanted` (a word or a block of words).
bool name_matches(const Cell& wanted, const Cell& thrown) {
  if (wanted.is(TYPE_BLOCK)) {
    bool found = false;
    for (const Cell* entry = block::head(&wanted); entry < block::tail(&wanted); ++entry) {
      if (!entry->is(TYPE_WORD)) {
        Cell name = word::load("name", TYPE_REFINEMENT);
        error::raise(error::CAT_SCRIPT, "invalid-refine-arg", &name, &wanted);
      }
      found = found || (word::any_word_type(thrown.type()) &&
                        word::is_named(entry, word::symbol_of(&thrown)));
    }
    return found;
  }
  return word::any_word_type(thrown.type()) && word::is_named(&wanted, word::symbol_of(&thrown));
}

// Records the names of the calls active at the raise (every frame is still there, since
// nothing is unwound before try restores its mark) in the error's stack field.
void keep_call_stack(const Cell& made) {
  Cell* names = stack::push_slot();
  block::make_at(names, kKeptCallsCapacity);
  stack::collect_frame_words(kKeptCallsLevel, names, int32_t(stack::ctop - stack::cbottom));
  *error::field(&made, error::FIELD_STACK) = *names;
}

}  // namespace

void try_(bool, const int32_t* refinements) {
  const Cell code = stack::arguments[0];
  const bool all = refinements[0] >= 0, keep = refinements[1] >= 0;
  stack::keep();
  const stack::Mark mark = stack::save();
  if (all) stack::mark_try_all(&words::w.try_);
  else stack::mark_try(&words::w.try_);
  try {
    interpreter::eval_block(&code, true);
  } catch (const error::Raised& raised) {
    const Cell made = raised.error;
    if (keep && made.is(TYPE_ERROR)) keep_call_stack(made);
    stack::restore(mark);
    stack::set_last(&made);
    return;
  } catch (const rt::Thrown&) {
    if (!all) throw;
    stack::restore(mark);
    stack::pending = 0;
    unset::box(stack::arguments);
    return;
  }
  if (!stack::pending) stack::unwind_last();
}

void catch_(bool, const int32_t* refinements) {
  const Cell code = stack::arguments[0];
  const bool named = refinements[0] >= 0;
  const Cell wanted = named ? stack::arguments[refinements[0]] : unset::value;
  stack::keep();
  const stack::Mark mark = stack::save();
  stack::mark_catch(named && wanted.is(TYPE_WORD) ? &wanted : &words::w.body);
  try {
    interpreter::eval_block(&code, true);
  } catch (const rt::Thrown& thrown) {
    if (thrown.code != rt::THROWN_THROW) throw;
    const Cell value = stack::arguments[0], name = stack::arguments[1];
    if (named && !name_matches(wanted, name)) {
      // A catch named by one word was passed over by the throw, which lands further out.
      if (wanted.is(TYPE_WORD)) throw;
      stack::throw_throw();
    }
    stack::restore(mark);
    stack::set_last(&value);
    interpreter::fire_event(interpreter::EVENT_CATCH, nullptr, 0, &value, nullptr);
    return;
  }
  if (!stack::pending) stack::unwind_last();
}

void throw_(bool, const int32_t* refinements) {
  if (refinements[0] < 0) {
    stack::keep();
    stack::push_slot();
  }
  interpreter::fire_event(interpreter::EVENT_THROW, nullptr, 0, stack::arguments, nullptr);
  stack::throw_throw();
}

void break_(bool, const int32_t* refinements) { stack::throw_break(refinements[0] >= 0, false); }
void continue_(bool, const int32_t*) { stack::throw_break(false, true); }
void return_(bool, const int32_t*) { stack::throw_return(true); }
void exit(bool, const int32_t*) { stack::throw_return(false); }

}  // namespace xol::natives
