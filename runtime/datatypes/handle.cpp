// handle!: construction, printed forms and comparison.
#include "runtime/datatypes/handle.h"

#include <cstdio>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/memory/handle_table.h"

namespace xol::handle {
namespace {

constexpr size_t kFormCapacity = 16;   // eight hex digits, "h" and the terminator

}  // namespace

Cell* make_at(Cell* cell, uint32_t value, int32_t kind) {
  *cell = Cell{TYPE_HANDLE, uint32_t(kind), value, uint32_t(kNoSlot)};
  return cell;
}

Cell* make_resource(Cell* cell, uintptr_t object, int32_t kind) {
  make_at(cell, 0, kind);
  const int32_t slot = handles::alloc(object, kind);
  cell->data2 = uint32_t(slot);
  cell->data3 = uint32_t(slot);
  return cell;
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
  char text[kFormCapacity];
  std::snprintf(text, sizeof text, "%08Xh", value_of(value));
  return text::append_counted(buffer, text, part);
}

namespace {
int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell*, int32_t part,
             int32_t) {
  part = text::append_counted(buffer, "#[handle! ", part);
  part = form(value, buffer, nullptr, part);
  if (const char* name = handles::kind_name(kind_of(value))) {
    part = text::append_counted(buffer, " ", part);
    part = text::append_counted(buffer, name, part);
  }
  return text::append_counted(buffer, "]", part);
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t) {
  if (!value2->is(TYPE_HANDLE)) return kNotComparable;
  const int32_t a = int32_t(value_of(value1)), b = int32_t(value_of(value2));
  return a < b ? -1 : a > b ? 1 : 0;
}
}  // namespace

void init() {
  datatype::register_type(TYPE_HANDLE, TYPE_INTEGER, "handle!",
                          actions::ActionList()
                              .own(actions::own<ACT_FORM>(form))
                              .own(actions::own<ACT_MOLD>(mold))
                              .own(actions::own<ACT_COMPARE>(compare)));
}

}  // namespace xol::handle
