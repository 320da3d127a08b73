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
  datatype::register_type(
      TYPE_PERCENT, TYPE_FLOAT, "percent!",
      actions::ActionList()
          .own(own<ACT_FORM>(form))
          .own(own<ACT_MOLD>(mold))
          .inherit({ACT_MAKE, ACT_RANDOM, ACT_TO, ACT_COMPARE, ACT_ABSOLUTE, ACT_ADD, ACT_DIVIDE,
                    ACT_MULTIPLY, ACT_NEGATE, ACT_POWER, ACT_REMAINDER, ACT_ROUND, ACT_SUBTRACT,
                    ACT_EVEN, ACT_ODD}));
}

}  // namespace xol::percent
