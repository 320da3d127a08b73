// issue!: word-shaped names written with a leading "#".
#include "runtime/datatypes/issue.h"

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/text/utf8.h"

namespace xol::issue {

Cell* make_at(Cell* cell, std::string_view name) {
  *cell = Cell{TYPE_ISSUE, context::global(), uint32_t(symbol::make(name)),
               word::kUnresolvedIndex};
  return cell;
}

Cell load(std::string_view name) {
  Cell issue;
  make_at(&issue, name);
  return boot::flag ? word::keep_in_root(issue) : issue;
}

namespace {
// A string's text from its position, or a char's, is taken as the name without loading it.
void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result) {
  if (spec->is(TYPE_STRING)) {
    Cell text = *spec;
    int32_t length = -1;
    const uint8_t* bytes = utf8::from_string(&text, &length);
    make_at(result, std::string_view(reinterpret_cast<const char*>(bytes), size_t(length)));
  } else if (spec->is(TYPE_CHAR)) {
    make_at(result, word::char_name(spec));
  } else if (word::any_word_type(spec->type())) {
    *result = Cell{TYPE_ISSUE, context::global(), spec->data2, word::kUnresolvedIndex};
  } else {
    word::make(prototype, spec, type, result);
  }
}

// Only against another issue (otherwise not comparable), then as words.
int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  if (!value2->is(TYPE_ISSUE)) return kNotComparable;
  return word::compare(value1, value2, op);
}
}  // namespace

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
