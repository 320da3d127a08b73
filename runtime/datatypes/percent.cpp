// percent!: a child of float! with its own printed form. The stored double is a fraction (0.5
// is 50%): it is scaled by 100 and printed with thirteen significant digits and a "%", the
// same text for `form` and `mold`.
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/text/number_text.h"

namespace xol::percent {
namespace {
constexpr double kPercentScale = 100.0;

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
  const char* text = float_text::to_text(floating::get(value) * kPercentScale,
                                         float_text::KIND_PERCENT);
  return text::append_counted(buffer, text, part);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* argument,
             int32_t part, int32_t) {
  return form(value, buffer, argument, part);
}
}  // namespace

void init() {
  using actions::own;
  datatype::register_type(TYPE_PERCENT, TYPE_FLOAT, "percent!", {
      kInherit, kInherit, kAbsent, kInherit,                        // make random reflect to
      own<ACT_FORM>(form), own<ACT_MOLD>(mold), kAbsent, kAbsent,   // form mold eval/set-path
      kInherit,                                                     // compare
      kInherit, kInherit, kInherit, kInherit, kInherit, kInherit,   // absolute .. power
      kInherit, kInherit, kInherit, kInherit, kInherit,             // remainder .. odd?
      kAbsent, kAbsent, kAbsent, kAbsent,                                               // 21-24
      kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent,  // 25-33
      kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent,  // 34-42
      kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent,  // 43-51
      kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent,  // 52-60
      kAbsent, kAbsent});                                                               // 61-62
}

}  // namespace xol::percent
