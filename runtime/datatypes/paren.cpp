// paren!: a block that molds in parentheses; everything else is block!'s.
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/path.h"

namespace xol::paren {

namespace {
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
             const Cell* argument, int32_t part, int32_t indent) {
  return block::mold_bracketed(value, buffer, only, all, flat, argument, part, indent, "(", ")");
}
}  // namespace

void init() {
  using actions::own;
  datatype::register_type(
      TYPE_PAREN, TYPE_BLOCK, "paren!",
      actions::ActionList()
          .own(own<ACT_MOLD>(mold))
          .inherit({ACT_MAKE, ACT_RANDOM, ACT_REFLECT, ACT_TO, ACT_FORM, ACT_EVAL_PATH,
                    ACT_COMPARE, ACT_APPEND, ACT_AT, ACT_BACK, ACT_CHANGE, ACT_CLEAR, ACT_COPY,
                    ACT_FIND, ACT_HEAD, ACT_HEAD_Q, ACT_INDEX_Q, ACT_INSERT, ACT_LENGTH_Q,
                    ACT_MOVE, ACT_NEXT, ACT_PICK, ACT_POKE, ACT_PUT, ACT_REMOVE, ACT_REVERSE,
                    ACT_SELECT, ACT_SORT, ACT_SKIP, ACT_SWAP, ACT_TAIL, ACT_TAIL_Q, ACT_TAKE,
                    ACT_MODIFY}));
}

}  // namespace xol::paren
