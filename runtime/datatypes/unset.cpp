// unset!: the value of expressions that return nothing.
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/text_buffer.h"

namespace xol::unset {
namespace {

void make(const Cell*, const Cell*, TypeId, Cell* result) { *result = value; }

int32_t form(const Cell*, Cell*, const Cell*, int32_t part) { return part; }

int32_t mold(const Cell*, Cell* buffer, bool, bool all, bool, const Cell*, int32_t part,
             int32_t) {
  return text::append_constructed(buffer, "unset", all, part);
}

}  // namespace

Cell value{TYPE_UNSET, 0, 0, 0};

Cell* box(Cell* slot) { return copy_cell(&value, slot); }

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  if (value2->type() != value1->type() || !equality_or_sort_op(op)) return kNotComparable;
  return 0;
}

void init() {
  using actions::own;
  value = Cell{TYPE_UNSET, 0, 0, 0};
  datatype::register_type(TYPE_UNSET, 0, "unset!",
                          actions::ActionList()
                              .own(own<ACT_MAKE>(make))
                              .own(own<ACT_TO>(make))
                              .own(own<ACT_FORM>(form))
                              .own(own<ACT_MOLD>(mold))
                              .own(own<ACT_COMPARE>(compare)));
}

}  // namespace xol::unset
