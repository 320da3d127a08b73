// The `parse` native: the front end of the parse engine. It turns /part into the absolute input
// index where matching stops, answers an empty range without running the rules, and hands the
// rest to the engine. A break, continue, return or exit that leaves a paren of the rules goes
// on to its own frame: the native then returns at once without a result.
#include <algorithm>

#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/series.h"
#include "runtime/eval/call.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/parse.h"
#include "runtime/eval/stack.h"
#include "runtime/datatypes/runtime_words.h"

namespace xol::natives {
namespace {

using stack::arguments;

enum ParseRefinement { REF_CASE, REF_PART, REF_TRACE };

// The absolute index that /part names: a count from the input's position, or a position in
// the input series itself.
int64_t part_limit(const Cell& input, const Cell& part) {
  if (part.is(TYPE_INTEGER) || part.is(TYPE_FLOAT) || part.is(TYPE_PERCENT))
    return int64_t(series::head_of(&input)) + call::float_to_integer(&part);
  if (part.type() != input.type() || part.node() != input.node())
    error::raise(error::CAT_SCRIPT, "invalid-refine-arg", &words::refs.part, &part);
  return std::min(part.head_index(), series::buffer_units(&input));
}

}  // namespace

void parse(bool, const int32_t* refinements) {
  const Cell input = arguments[0];
  const Cell rules = arguments[1];
  uint32_t limit = parse::kNoLimit;
  if (refinements[REF_PART] >= 0) {
    const int64_t stop = part_limit(input, arguments[refinements[REF_PART]]);
    if (stop <= int64_t(series::head_of(&input))) {
      const Cell empty = logic::make(series::at_tail(&input));
      stack::set_last(&empty);
      stack::keep();
      return;
    }
    limit = uint32_t(std::min<int64_t>(stop, parse::kNoLimit - 1));
  }
  const Cell* callback = refinements[REF_TRACE] >= 0 ? arguments + refinements[REF_TRACE] : nullptr;
  Cell result;
  if (!parse::process(&input, &rules, refinements[REF_CASE] >= 0, limit, callback, &result))
    return;
  stack::set_last(&result);
  stack::keep();
}

}  // namespace xol::natives
