// none!: the "no value" answer of searches and lookups; the series actions on it answer none.
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/text_buffer.h"

namespace xol::none {
namespace {

constexpr char kName[] = "none";

void make(const Cell*, const Cell*, TypeId, Cell* result) { *result = value; }

int32_t form(const Cell*, Cell* buffer, const Cell*, int32_t part) {
  return text::append_counted(buffer, kName, part);
}

int32_t mold(const Cell*, Cell* buffer, bool, bool all, bool, const Cell*, int32_t part,
             int32_t) {
  return text::append_constructed(buffer, kName, all, part);
}

// clear, find, remove, select and take of none answer none, whatever their arguments.
void clear(Cell*, Cell* result) { *result = value; }
void find(Cell*, Cell*, const FindOptions&, Cell* result) { *result = value; }
void remove(Cell*, const Cell*, const Cell*, Cell* result) { *result = value; }
void take(Cell*, const Cell*, bool, bool, Cell* result) { *result = value; }
// -1: the length? dispatcher answers none.
int32_t length_q(const Cell*) { return -1; }

}  // namespace

Cell value{TYPE_NONE, 0, 0, 0};

Cell* box(Cell* slot) { return copy_cell(&value, slot); }

void init() {
  using actions::own;
  value = Cell{TYPE_NONE, 0, 0, 0};
  datatype::register_type(TYPE_NONE, 0, "none!",
                          actions::ActionList()
                              .own(own<ACT_MAKE>(make))
                              .own(own<ACT_TO>(make))
                              .own(own<ACT_FORM>(form))
                              .own(own<ACT_MOLD>(mold))
                              .own(own<ACT_COMPARE>(unset::compare))
                              .own(own<ACT_CLEAR>(clear))
                              .own(own<ACT_FIND>(find))
                              .own(own<ACT_LENGTH_Q>(length_q))
                              .own(own<ACT_REMOVE>(remove))
                              .own(own<ACT_SELECT>(find))
                              .own(own<ACT_TAKE>(take)));
}

}  // namespace xol::none
