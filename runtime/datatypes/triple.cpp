// triple!: three signed 32-bit integers in the payload words. No code makes one from the
// language; the type exists so that a triple reaching the printer is shown, as
// make triple! [1 -2 3]. It registers form and mold only.
#include "runtime/datatypes/triple.h"

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/text_buffer.h"

namespace xol::triple {
namespace {

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
  const int32_t numbers[] = {int32_t(value->data1), int32_t(value->data2),
                             int32_t(value->data3)};
  part = text::append_counted(buffer, "make triple! [", part);
  for (int32_t i = 0; i < 3; ++i) {
    if (i) part = text::append_counted(buffer, " ", part);
    part = text::append_counted(buffer, integer::to_decimal_text(numbers[i]), part);
  }
  return text::append_counted(buffer, "]", part);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* argument,
             int32_t part, int32_t) {
  return form(value, buffer, argument, part);
}

}  // namespace

void init() {
  using actions::own;
  datatype::register_type(TYPE_TRIPLE, 0, "triple!",
                          actions::ActionList().own(own<ACT_FORM>(form)).own(own<ACT_MOLD>(mold)));
}

}  // namespace xol::triple
