// tag!: text written between "<" and ">", nothing inside escaped.
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/text_types.h"

namespace xol::tag {

namespace {
constexpr int32_t kBrackets = 2;
}  // namespace

int32_t form(const Cell* value, Cell* buffer, const Cell* argument, int32_t part) {
  string::append_char(buffer->node(), '<');
  string::form(value, buffer, argument, part - 1);
  string::append_char(buffer->node(), '>');
  return part - int32_t(string::length(value)) - kBrackets;
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* argument,
             int32_t part, int32_t) {
  return form(value, buffer, argument, part);
}

void init() {
  using actions::own;
  datatype::register_type(
      TYPE_TAG, TYPE_STRING, "tag!",
      actions::ActionList()
          .own(own<ACT_FORM>(form))
          .own(own<ACT_MOLD>(mold))
          .inherit({ACT_MAKE, ACT_REFLECT, ACT_TO, ACT_EVAL_PATH, ACT_COMPARE, ACT_APPEND,
                    ACT_AT, ACT_BACK, ACT_CHANGE, ACT_CLEAR, ACT_COPY, ACT_FIND, ACT_HEAD,
                    ACT_HEAD_Q, ACT_INDEX_Q, ACT_INSERT, ACT_LENGTH_Q, ACT_MOVE, ACT_NEXT,
                    ACT_PICK, ACT_POKE, ACT_PUT, ACT_REMOVE, ACT_REVERSE, ACT_SELECT, ACT_SKIP,
                    ACT_SWAP, ACT_TAIL, ACT_TAIL_Q, ACT_TAKE, ACT_MODIFY}));
}

}  // namespace xol::tag
