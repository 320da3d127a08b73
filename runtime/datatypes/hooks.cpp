// Calling an object's change hooks.
#include "runtime/datatypes/hooks.h"

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/evaluator_hooks.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/memory/memory.h"
#include "runtime/datatypes/runtime_words.h"

namespace xol::hooks {
namespace {

Caller installed_caller = nullptr;

constexpr uint32_t kIndexShift = 16;

}  // namespace

void set_caller(Caller caller) { installed_caller = caller; }

int32_t argument_count(const Cell* function) {
  if (!function->is(TYPE_FUNCTION)) return -1;
  Cell spec{TYPE_BLOCK, 0, function->data2, 0};
  int32_t count = 0;
  for (Cell* entry = block::head(&spec); entry < block::tail(&spec); ++entry) {
    TypeId type = entry->type();
    if (type == TYPE_REFINEMENT) break;
    if (type == TYPE_WORD || type == TYPE_LIT_WORD || type == TYPE_GET_WORD) ++count;
  }
  return count;
}

namespace {
// Calls `function` when it takes exactly `count` arguments; raises script `invalid-obj-evt`
// with the function otherwise.
void call(const Cell* function, Hook hook, const Cell* args, int32_t count) {
  if (argument_count(function) != count)
    error::raise(error::CAT_SCRIPT, "invalid-obj-evt", function);
  if (installed_caller) {
    installed_caller(function, hook, args, count);
    return;
  }
  const Cell* name = hook == ON_CHANGE ? &words::w.on_change : &words::w.on_deep_change;
  Cell ignored;
  evaluator_hooks::call_function(function, kNoNode, name, args, count, &ignored);
}
}  // namespace

int32_t field_index(const Cell* object, Hook hook) {
  if (object->data3 == kNoNode) return -1;
  const Cell& entry = memory::buffer_of(object->data3)->cells()[hook];
  return int32_t(entry.data2) >> kIndexShift;
}

void fire_on_change(const Cell* object, const Cell* word, const Cell* old_value,
                    const Cell* new_value) {
  int32_t index = field_index(object, ON_CHANGE);
  if (index < 0) return;
  Cell function = *context::value_cell_of(object, index);
  if (!function.is(TYPE_FUNCTION)) error::raise(error::CAT_SCRIPT, "invalid-obj-evt", &function);
  const Cell args[kOnChangeArity] = {*word, *old_value, *new_value};
  call(&function, ON_CHANGE, args, kOnChangeArity);
}

void fire_on_deep_change(const Cell* object, const Cell* word, const Cell* target,
                         const Cell* action, const Cell* new_value, int32_t index,
                         int32_t part) {
  int32_t field = field_index(object, ON_DEEP_CHANGE);
  if (field < 0) return;
  Cell function = *context::value_cell_of(object, field);
  if (!function.is(TYPE_FUNCTION)) return;
  const Cell args[kOnDeepChangeArity] = {
      *object, *word, *target, *action,
      new_value ? *new_value : Cell{TYPE_NONE, 0, 0, 0},
      Cell{TYPE_INTEGER, 0, uint32_t(index), 0},
      Cell{TYPE_INTEGER, 0, uint32_t(part), 0}};
  call(&function, ON_DEEP_CHANGE, args, kOnDeepChangeArity);
}

}  // namespace xol::hooks
