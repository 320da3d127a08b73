// The evaluator services that the layers below it call.
#include "runtime/datatypes/evaluator_hooks.h"

#include "runtime/datatypes/error_raise.h"

namespace xol::evaluator_hooks {
namespace {

Services services;

[[noreturn]] void missing() { error::raise(error::CAT_INTERNAL, "not-done"); }

}  // namespace

void install(const Services& given) { services = given; }
const Services& installed() { return services; }

void eval_block(const Cell* block, Cell* result) {
  if (!services.eval_block) missing();
  services.eval_block(block, result);
}

void call_function(const Cell* function, NodeId context, const Cell* name, const Cell* args,
                   int32_t count, Cell* result) {
  if (!services.call_function) missing();
  services.call_function(function, context, name, args, count, result);
}

void call_comparison(const Cell* function, const Cell* a, const Cell* b, Cell* answer) {
  if (!services.call_comparison) missing();
  services.call_comparison(function, a, b, answer);
}

}  // namespace xol::evaluator_hooks
