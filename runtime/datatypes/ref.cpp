// ref!: text written after "@" (as a construction when that would not read back).
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/text_types.h"

namespace xol::ref {

namespace {
// mold: "@" and the text, or the construction #(ref! "text") when that would not read back.
int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell* argument,
             int32_t part, int32_t) {
  if (!text_construct::reads_back(value, "@" + text_construct::utf8_of(value)))
    return text_construct::mold(value, buffer, all, argument, part);
  string::append_char(buffer->node(), '@');
  return string::form(value, buffer, argument, part - 1);
}
}  // namespace

void init() {
  using actions::own;
  datatype::register_type(
      TYPE_REF, TYPE_STRING, "ref!",
      actions::ActionList()
          .own(own<ACT_MOLD>(mold))
          .inherit({ACT_MAKE, ACT_REFLECT, ACT_TO, ACT_FORM, ACT_COMPARE, ACT_AT, ACT_BACK,
                    ACT_CHANGE, ACT_CLEAR, ACT_COPY, ACT_FIND, ACT_HEAD, ACT_HEAD_Q,
                    ACT_INDEX_Q, ACT_INSERT, ACT_LENGTH_Q, ACT_MOVE, ACT_NEXT, ACT_PICK,
                    ACT_POKE, ACT_REMOVE, ACT_REVERSE, ACT_SELECT, ACT_SKIP, ACT_SWAP, ACT_TAIL,
                    ACT_TAIL_Q, ACT_TAKE, ACT_MODIFY}));
}

}  // namespace xol::ref
