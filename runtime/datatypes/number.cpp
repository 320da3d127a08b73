// Operation codes, compare-op helpers and the errors of the numeric datatypes.
#include "runtime/datatypes/number.h"

#include <algorithm>
#include <string_view>

#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"

namespace xol::number {
namespace {

constexpr Action kActionOfOp[] = {
    ACT_ADD, ACT_SUBTRACT, ACT_MULTIPLY, ACT_DIVIDE, ACT_REMAINDER, ACT_OR, ACT_AND, ACT_XOR,
};

Cell word_of(const char* spelling) { return word::unbound(symbol::make(spelling)); }
Cell word_of(Action action) { return word_of(actions::action_word(action)); }
Cell datatype_of(const Cell* value) { return datatype::make(value->type()); }

}  // namespace

int32_t word_index(const Cell* value, const char* const* names, int32_t count) {
  if (!word::any_word_type(value->type())) return 0;
  std::string_view name = symbol::name(word::symbol_of(value));
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  for (int32_t i = 0; i < count; ++i) {
    std::string_view candidate = names[i];
    if (std::equal(name.begin(), name.end(), candidate.begin(), candidate.end(),
                   [&](char a, char b) { return lower(a) == lower(b); }))
      return i + 1;
  }
  return 0;
}

uint64_t binary_prefix(const Cell* binary, int32_t max_bytes) {
  uint32_t count = std::min(string::length(binary), uint32_t(max_bytes));
  const uint8_t* bytes = string::head_address(binary, string::buffer_of(binary));
  uint64_t value = 0;
  for (uint32_t i = 0; i < count; ++i) value = value << 8 | bytes[i];
  return value;
}

Action action_of(MathOp op) { return kActionOfOp[op]; }

int32_t swapped_op(int32_t op) {
  switch (op) {
    case COMP_LESSER: return COMP_GREATER;
    case COMP_LESSER_EQUAL: return COMP_GREATER_EQUAL;
    case COMP_GREATER: return COMP_LESSER;
    case COMP_GREATER_EQUAL: return COMP_LESSER_EQUAL;
    default: return op;
  }
}

void raise_zero_divide() { error::raise(error::CAT_MATH, "zero-divide"); }
void raise_overflow() { error::raise(error::CAT_MATH, "overflow"); }

void raise_invalid_type(const Cell* value) {
  Cell type = datatype_of(value);
  error::raise(error::CAT_SCRIPT, "invalid-type", &type);
}

void raise_not_related(Action action, TypeId type) {
  Cell word = word_of(action);
  Cell datatype = datatype::make(type);
  error::raise(error::CAT_SCRIPT, "not-related", &word, &datatype);
}

void raise_cannot_use(Action action, TypeId type) {
  Cell word = word_of(action);
  Cell datatype = datatype::make(type);
  error::raise(error::CAT_SCRIPT, "cannot-use", &word, &datatype);
}

void raise_expect_arg(Action action, const Cell* argument, const char* name) {
  Cell word = word_of(action);
  Cell type = datatype_of(argument);
  Cell argument_word = word_of(name);
  error::raise(error::CAT_SCRIPT, "expect-arg", &word, &type, &argument_word);
}

void raise_bad_to_arg(TypeId target, const Cell* value) {
  Cell type = datatype::make(target);
  error::raise(error::CAT_SCRIPT, "bad-to-arg", &type, value);
}

void raise_bad_make_arg(TypeId target, const Cell* value) {
  Cell type = datatype::make(target);
  error::raise(error::CAT_SCRIPT, "bad-make-arg", &type, value);
}

void raise_type_limit(TypeId type) {
  Cell datatype = datatype::make(type);
  error::raise(error::CAT_SCRIPT, "type-limit", &datatype);
}

void raise_invalid_arg(const Cell* value) { error::raise(error::CAT_SCRIPT, "invalid-arg", value); }

void raise_invalid_path(const PathStep& step) {
  error::raise(error::CAT_SCRIPT, "invalid-path", step.path, step.element);
}

void raise_out_of_range(const Cell* index) {
  error::raise(error::CAT_SCRIPT, "out-of-range", index);
}

}  // namespace xol::number
