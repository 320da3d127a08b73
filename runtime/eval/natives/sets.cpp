// The set natives: union, intersect, unique, difference, exclude and complement?.
//
// One worker checks the pairing of the two sets and hands the operation to the first set's
// datatype: blocks and hashes to the block set routine, strings to the string one (both with
// the /case flag and the /skip record size), bitsets and typesets to their own set operations,
// and the difference of two dates to the time between them. Only block! and hash! may be mixed.
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/number.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/time.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/stack.h"

namespace xol::natives {
namespace {

using stack::arguments;

enum SetRefinement { REF_CASE, REF_SKIP };
// The record size when /skip is not given: every value is a record.
constexpr int32_t kDefaultSkip = 1;

bool is_list(TypeId type) { return type == TYPE_BLOCK || type == TYPE_HASH; }

// The time from the second date to the first.
Cell date_difference(const Cell* date1, const Cell* date2) {
  auto day_number = [](const Cell* date) {
    const uint32_t packed = date::packed(date);
    return date::to_days(date::year_of(packed), date::month_of(packed), date::day_of(packed));
  };
  const double days = double(day_number(date1) - day_number(date2));
  return time::make(days * date::kSecondsPerDay + (date::utc_time(date1) - date::utc_time(date2)));
}

// The common worker; `op` OP_UNIQUE takes one set, the others two.
void set_ops(MathOp op, const int32_t* refinements) {
  Cell* set1 = arguments;
  const Cell* set2 = op == OP_UNIQUE ? nullptr : arguments + 1;
  const TypeId type = set1->type();
  if (set2 && set2->type() != type && !(is_list(type) && is_list(set2->type()))) {
    const Cell type1 = datatype::make(type), type2 = datatype::make(set2->type());
    error::raise(error::CAT_SCRIPT, "expect-val", &type1, &type2);
  }
  const bool case_sensitive = refinements[REF_CASE] >= 0;
  const int32_t skip =
      refinements[REF_SKIP] >= 0 ? integer::get(arguments + refinements[REF_SKIP]) : kDefaultSkip;
  Cell result;
  switch (type) {
    case TYPE_BLOCK: case TYPE_HASH:
      block::do_set_op(set1, set2, case_sensitive, skip, op, &result);
      break;
    case TYPE_STRING:
      result = *set1;
      string::set_operation(&result, set2 ? set2 : set1, case_sensitive, skip, op);
      break;
    case TYPE_BITSET: bitset::do_bitwise(op, set1, set2, &result); break;
    case TYPE_TYPESET: typeset::set_operation(op, set1, set2, &result); break;
    case TYPE_DATE:
      if (op != OP_DIFFERENCE) raise_expect_arg(set1, 0);
      result = date_difference(set1, set2);
      break;
    default: raise_expect_arg(set1, 0);
  }
  stack::set_last(&result);
  stack::keep();
}

}  // namespace

void union_(bool, const int32_t* refinements) { set_ops(OP_UNION, refinements); }
void intersect(bool, const int32_t* refinements) { set_ops(OP_INTERSECT, refinements); }
void unique(bool, const int32_t* refinements) { set_ops(OP_UNIQUE, refinements); }
void difference(bool, const int32_t* refinements) { set_ops(OP_DIFFERENCE, refinements); }
void exclude(bool, const int32_t* refinements) { set_ops(OP_EXCLUDE, refinements); }

void complement_q(bool, const int32_t*) {
  if (!arguments->is(TYPE_BITSET)) raise_expect_arg(arguments, 0);
  logic::box(arguments, bitset::complemented(arguments));
  stack::keep();
}

}  // namespace xol::natives
