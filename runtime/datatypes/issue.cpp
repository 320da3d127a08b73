// issue!: word-shaped names written with a leading "#".
#include "runtime/datatypes/issue.h"

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"

namespace xol::issue {

Cell* make_at(Cell* cell, std::string_view name) {
  *cell = Cell{TYPE_ISSUE, context::global(), uint32_t(symbol::make(name)),
               word::kUnresolvedIndex};
  return cell;
}

Cell* make_in(Cell* block, std::string_view name) {
  Cell issue;
  make_at(&issue, name);
  return block::append_cell(block, &issue);
}

Cell load(std::string_view name) {
  Cell issue;
  make_at(&issue, name);
  return boot::flag ? word::keep_in_root(issue) : issue;
}

void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result) {
  if (!word::any_word_type(spec->type())) return word::make(prototype, spec, type, result);
  *result = Cell{TYPE_ISSUE, context::global(), spec->data2, word::kUnresolvedIndex};
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  if (!value2->is(TYPE_ISSUE)) return kNotComparable;
  return word::compare(value1, value2, op);
}

void init() {
  using actions::own;
  datatype::register_type(TYPE_ISSUE, TYPE_WORD, "issue!",
                          actions::ActionList()
                              .own(own<ACT_MAKE>(make))
                              .own(own<ACT_TO>(make))
                              .own(own<ACT_MOLD>(word::mold))   // the mark comes from the word marks
                              .own(own<ACT_COMPARE>(compare))
                              .inherit({ACT_FORM}));
}

}  // namespace xol::issue
