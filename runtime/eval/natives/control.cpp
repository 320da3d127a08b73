// The control natives: conditionals, loops, do and reduce.
//
// A loop opens a loop frame and evaluates its body in it; a break or continue in the body
// lands on that frame (stack.h) and comes back as the pending code, which the loop clears.
// Return, exit and errors pass through unchanged.
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/logic.h"
#include "runtime/eval/call.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/stack.h"
#include "runtime/io/lexer.h"
#include "runtime/runtime_words.h"

namespace xol::natives {
namespace {

using stack::arguments;

// Evaluates a branch block into the native's result slot. A chained block leaves `top` above
// its own frame's base, so every repeated evaluation starts from the result slot again.
void run_branch(const Cell& branch) {
  stack::keep();
  interpreter::eval_block(&branch, true);
}

void result_none() {
  none::box(stack::arguments);
  stack::keep();
}

// One evaluation of a loop body; answers false when the loop must end (a break, or a code that
// belongs to an outer frame).
bool loop_step(const Cell& body) {
  stack::keep();
  switch (stack::guarded([&] { interpreter::eval_block(&body, true); })) {
    case rt::THROWN_BREAK:
      stack::pending = 0;
      return false;
    case rt::THROWN_CONTINUE:
      stack::pending = 0;
      return true;
    case 0:
      return true;
    default:
      return false;
  }
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

}  // namespace

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
  uint32_t end = block::head_position(&code) + block::length(&code);
  for (uint32_t position = block::head_position(&code); position < end;) {
    position = interpreter::eval_next(&code, position, end);
    if (stack::pending) return;
    const Cell value = *--stack::top;
    if (!value.is(TYPE_NONE) && !(value.is(TYPE_LOGIC) && !logic::get(&value))) {
      stack::set_last(&value);
      return;
    }
  }
  result_none();
}

void all(bool, const int32_t*) {
  const Cell code = arguments[0];
  stack::keep();
  uint32_t end = block::head_position(&code) + block::length(&code);
  if (block::length(&code) == 0) return result_none();
  for (uint32_t position = block::head_position(&code); position < end;) {
    position = interpreter::eval_next(&code, position, end);
    if (stack::pending) return;
    const Cell value = *--stack::top;
    if (logic::false_q(&value)) return result_none();
    stack::set_last(&value);
  }
}

void while_(bool, const int32_t*) {
  const Cell condition = arguments[0], body = arguments[1];
  stack::keep();
  open_loop();
  for (;;) {
    stack::keep();
    const uint32_t code = stack::guarded([&] { interpreter::eval_block(&condition, true); });
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
    stack::keep();
    const uint32_t code = stack::guarded([&] { interpreter::eval_block(&body, true); });
    if (code == rt::THROWN_BREAK) {
      stack::pending = 0;
      break;
    }
    if (code == rt::THROWN_CONTINUE) {
      stack::pending = 0;
      continue;
    }
    if (code) return;
    if (logic::true_q(stack::arguments)) break;
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

void do_(bool, const int32_t*) {
  Cell value = arguments[0];
  stack::keep();
  switch (value.type()) {
    case TYPE_BLOCK: case TYPE_PAREN:
      interpreter::eval_block(&value, true);
      break;
    case TYPE_STRING: {
      Cell loaded;
      lexer::scan_string(&value, nullptr, nullptr, nullptr, lexer::Mode{}, -1, &loaded);
      interpreter::eval_block(&loaded, true);
      break;
    }
    case TYPE_ERROR:
      stack::throw_error(&value);
    case TYPE_WORD:
      stack::set_last(call::get_value(&value));
      break;
    default:
      break;
  }
}

void reduce(bool, const int32_t*) {
  const Cell source = arguments[0];
  if (!source.is(TYPE_BLOCK)) return stack::keep();
  stack::keep();
  Cell* result = stack::push_slot();
  block::make_at(result, int32_t(block::length(&source)));
  const uint32_t end = block::head_position(&source) + block::length(&source);
  for (uint32_t position = block::head_position(&source); position < end;) {
    position = interpreter::eval_next(&source, position, end);
    if (stack::pending) return;
    Cell value = *--stack::top;
    cell::clear_new_line(&value);
    block::append_cell(stack::arguments + 1, &value);
  }
  stack::arguments[0] = stack::arguments[1];
  stack::keep();
}

}  // namespace xol::natives
