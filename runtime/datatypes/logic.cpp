// logic!: the truth values, and the truth tests that conditionals use.
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/process/random.h"

namespace xol::logic {
namespace {

const char* spelling(const Cell* value) { return get(value) ? "true" : "false"; }

// to logic!: logic! unchanged, none! false, everything else true.
void to(const Cell*, const Cell* spec, TypeId, Cell* result) {
  box(result, spec->is(TYPE_LOGIC) ? get(spec) : !spec->is(TYPE_NONE));
}

// make logic!: numbers are false when zero (a NaN is not zero); anything else as `to`.
void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result) {
  switch (spec->type()) {
    case TYPE_INTEGER:
      box(result, spec->data2 != 0);
      return;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
      box(result, !(spec->float_value() == 0.0));
      return;
    default:
      to(prototype, spec, type, result);
  }
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
  return text::append_counted(buffer, spelling(value), part);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell*, int32_t part,
             int32_t) {
  return text::append_constructed(buffer, spelling(value), all, part);
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  if (!value2->is(TYPE_LOGIC) || !equality_or_sort_op(op)) return kNotComparable;
  return int32_t(value1->data1) - int32_t(value2->data1);
}

void complement(Cell* value, Cell* result) { box(result, !get(value)); }

// and~, or~ and xor~ share one worker; the second argument must be a logic! too.
template <Action A>
void bitwise(Cell* value1, Cell* value2, Cell* result) {
  if (!value2->is(TYPE_LOGIC)) {
    Cell call = word::unbound(symbol::make(actions::action_word(A)));
    Cell type = datatype::make(value2->type());
    Cell argument = word::unbound(symbol::make("value2"));
    error::raise(error::CAT_SCRIPT, "expect-arg", &call, &type, &argument);
  }
  uint32_t a = value1->data1, b = value2->data1;
  box(result, A == ACT_AND ? (a & b) : A == ACT_OR ? (a | b) : (a ^ b));
}

// Draws above this one are true: half of the 31-bit draws.
constexpr int32_t kHalfDraw = 1073741823;   // 2^30 - 1

// random: /seed seeds the generator with 0 or 1; otherwise a fair coin.
void random(Cell* value, bool seed, bool secure, bool, Cell* result) {
  if (seed) {
    xol::random::seed(get(value) ? 1 : 0);
    cell::set_unset(result);
    return;
  }
  box(result, xol::random::draw(secure) > kHalfDraw);
}

}  // namespace

Cell true_value{TYPE_LOGIC, 1, 0, 0};
Cell false_value{TYPE_LOGIC, 0, 0, 0};

Cell* box(Cell* slot, bool truth) {
  *slot = make(truth);
  return slot;
}

bool cell_true(const Cell* cell, bool check, const Cell* argument) {
  if (check && cell->is(TYPE_UNSET)) error::raise(error::CAT_SCRIPT, "no-value", argument);
  return !counts_false(cell);
}

void raise_no_return() { error::raise(error::CAT_SCRIPT, "no-return"); }

void init() {
  using actions::own;
  true_value = make(true);
  false_value = make(false);
  datatype::register_type(TYPE_LOGIC, 0, "logic!",
                          actions::ActionList()
                              .own(own<ACT_MAKE>(make))
                              .own(own<ACT_RANDOM>(random))
                              .own(own<ACT_TO>(to))
                              .own(own<ACT_FORM>(form))
                              .own(own<ACT_MOLD>(mold))
                              .own(own<ACT_COMPARE>(compare))
                              .own(own<ACT_AND>(bitwise<ACT_AND>))
                              .own(own<ACT_COMPLEMENT>(complement))
                              .own(own<ACT_OR>(bitwise<ACT_OR>))
                              .own(own<ACT_XOR>(bitwise<ACT_XOR>)));
}

}  // namespace xol::logic
