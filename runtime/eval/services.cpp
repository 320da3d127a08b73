// The hooks through which the series sorts and the lexer call function values.
#include "runtime/eval/services.h"

#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/series.h"
#include "runtime/eval/call.h"
#include "runtime/io/lexer.h"
#include "runtime/datatypes/runtime_words.h"

namespace xol::eval_services {
namespace {

constexpr int32_t kComparisonArgs = 2;

void call_comparison(const Cell* function, const Cell* a, const Cell* b, Cell* answer) {
  const Cell args[kComparisonArgs] = {*a, *b};
  call::value(function, &words::w.compare_callback, args, kComparisonArgs, answer);
}

bool call_lexer_callback(const Cell* callback, Cell* args) {
  Cell answer;
  call::value(callback, &words::w.lexer_callback, args, lexer::kCallbackArgs, &answer, {},
              kNoNode, args);
  return logic::cell_true(&answer, false, nullptr);
}

const Cell* callback_body(const Cell* callback) {
  if (!callback->is(TYPE_FUNCTION) && !callback->is(TYPE_ROUTINE)) return nullptr;
  const Cell* body = function::body(callback);
  return body->is(TYPE_BLOCK) ? body : nullptr;
}

}  // namespace

void install() {
  series::set_comparison_caller(call_comparison);
  lexer::set_callback_hooks({call_lexer_callback, callback_body});
}

void release() {
  series::set_comparison_caller(nullptr);
  lexer::set_callback_hooks({});
}

}  // namespace xol::eval_services
