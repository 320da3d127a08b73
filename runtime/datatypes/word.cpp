// Words: constructors, value access and the actions shared by the six word-shaped types.
#include "runtime/datatypes/word.h"

#include <string>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/io/number_converters.h"
#include "runtime/datatypes/runtime_words.h"
#include "runtime/text/utf8.h"

namespace xol::boot {
int32_t flag = 0;
}  // namespace xol::boot

namespace xol::word {
namespace {
Cell* make_in(int32_t symbol, Cell* block);

// The printed marks of each word type: before and after the name.
struct Mark {
  const char* before;
  const char* after;
};
constexpr Mark kMarks[] = {
    {"", ""},    // word!
    {"", ":"},   // set-word!
    {"'", ""},   // lit-word!
    {":", ""},   // get-word!
    {"/", ""},   // refinement!
    {"#", ""},   // issue!
};
const Mark& mark_of(TypeId type) { return kMarks[type - TYPE_WORD]; }

Cell integer(int32_t value) { return Cell{TYPE_INTEGER, 0, uint32_t(value), 0}; }

// The word a text names: the text must load as exactly one value whose type lies between
// word! and `last_kind`, else script `invalid-chars` with the spec the text came from.
Cell load_name(const Cell* text, const Cell* spec, TypeId last_kind) {
  Cell loaded;
  value::load_from_string(text, &loaded);
  if (loaded.type() < TYPE_WORD || loaded.type() > last_kind)
    error::raise(error::CAT_SCRIPT, "invalid-chars", spec);
  return loaded;
}

// The same for a name held as UTF-8 (a char's text, a refinement's or issue's name); the
// name is copied first, as making the string may move the symbol it was read from.
Cell load_name(std::string name, const Cell* spec, TypeId last_kind) {
  Cell text;
  string::load_utf8(&text, name);
  return load_name(&text, spec, last_kind);
}

}  // namespace

Cell keep_in_root(const Cell& cell) { return *block::append_cell(block::root(), &cell); }

Cell load(std::string_view name, TypeId type) {
  Cell word = context::add_global(symbol::make(name), true, true);
  cell::set_type(&word, type);
  return boot::flag ? keep_in_root(word) : word;
}

Cell* load_in(std::string_view name, Cell* block, TypeId type) {
  Cell* made = make_in(symbol::make(name), block);
  cell::set_type(made, type);
  return made;
}

Cell* make_at(int32_t symbol, Cell* cell) {
  Cell word = unbound(symbol);
  int32_t index = context::add_word(context::global(), &word);
  *cell = Cell{TYPE_WORD, context::global(), uint32_t(symbol), uint32_t(index)};
  return cell;
}

namespace {
Cell* make_in(int32_t symbol, Cell* block) {
  Cell word;
  make_at(symbol, &word);
  return block::append_cell(block, &word);
}
}  // namespace

Cell load_refinement(std::string_view name) {
  return keep_in_root(unbound(symbol::make(name), TYPE_REFINEMENT));
}

std::string char_name(const Cell* value) {
  uint8_t bytes[utf8::kMaxSequence];
  const int count = utf8::encode_char(character::get(value), bytes);
  return std::string(reinterpret_cast<const char*>(bytes), size_t(count));
}

Cell* get(const Cell* word) { return context::get_in(word, context_of(word)); }

Cell* set_checked(Cell* word, const Cell* value) {
  if (value->is(TYPE_UNSET)) error::raise(error::CAT_SCRIPT, "need-value", word);
  return context::set(word, value);
}

Cell get_checked(const Cell* word) {
  Cell value = *get(word);
  if (value.is(TYPE_UNSET)) error::raise(error::CAT_SCRIPT, "no-value", word);
  return value;
}

void make(const Cell*, const Cell* spec, TypeId type, Cell* result) {
  Cell made;
  switch (spec->type()) {
    case TYPE_DATATYPE:
      made = datatype::entry(int32_t(spec->data1)).word;
      break;
    case TYPE_LOGIC:
      made = context::load_global(spec->data1 ? words::sym.true_ : words::sym.false_);
      break;
    case TYPE_STRING:
      made = load_name(spec, spec, TYPE_ISSUE);
      break;
    case TYPE_CHAR:
      made = load_name(char_name(spec), spec, TYPE_ISSUE);
      break;
    case TYPE_REFINEMENT:
    case TYPE_ISSUE:
      made = load_name(std::string(symbol::name(symbol_of(spec))), spec, TYPE_GET_WORD);
      context::bind_word(context::global(), &made);
      break;
    default:
      if (!any_word_type(spec->type())) {
        Cell target = datatype::make(type);
        error::raise(error::CAT_SCRIPT, "bad-to-arg", &target, spec);
      }
      made = *spec;
      break;
  }
  cell::set_type(&made, type);
  *result = made;
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
  return text::append_counted(buffer, symbol::name(symbol_of(value)), part);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* argument,
             int32_t part, int32_t) {
  const Mark& mark = mark_of(value->type());
  part = text::append_counted(buffer, mark.before, part);
  part = form(value, buffer, argument, part);
  return text::append_counted(buffer, mark.after, part);
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  TypeId type1 = value1->type();
  TypeId type2 = value2->type();
  if (!any_word_type(type2) || (type2 == TYPE_ISSUE && type1 != TYPE_ISSUE))
    return kNotComparable;
  int32_t symbol1 = symbol_of(value1);
  int32_t symbol2 = symbol_of(value2);
  bool same_type = type1 == type2;
  bool same_canonical = symbol::resolve(symbol1) == symbol::resolve(symbol2);
  bool word_and_lit_word = (type1 == TYPE_WORD && type2 == TYPE_LIT_WORD) ||
                           (type1 == TYPE_LIT_WORD && type2 == TYPE_WORD);
  auto answer = [](bool equal) { return equal ? 0 : 1; };
  switch (op) {
    case COMP_SAME:
      return answer(symbol1 == symbol2 && context_of(value1) == context_of(value2) && same_type);
    case COMP_STRICT_EQUAL:
      return answer(same_type && symbol1 == symbol2);
    case COMP_FIND_STRICT:
      return answer((word_and_lit_word || same_type) && symbol1 == symbol2);
    case COMP_FIND:
      return answer((word_and_lit_word || same_type) && same_canonical);
    case COMP_EQUAL:
    case COMP_NOT_EQUAL:
    case COMP_SELECT:
      return answer(same_canonical);
    default:
      return symbol::compare_names(symbol1, symbol2, op);
  }
}

void index_q(Cell* value, Cell* result) {
  int32_t index = index_of(value);
  *result = index < 0 ? Cell{TYPE_NONE, 0, 0, 0} : integer(index + 1);
}

void init() {
  using actions::own;
  datatype::register_type(TYPE_WORD, TYPE_SYMBOL, "word!",
                          actions::ActionList()
                              .own(own<ACT_MAKE>(make))
                              .own(own<ACT_TO>(make))
                              .own(own<ACT_FORM>(form))
                              .own(own<ACT_MOLD>(mold))
                              .own(own<ACT_COMPARE>(compare))
                              .own(own<ACT_INDEX_Q>(index_q)));
  struct Child {
    TypeId type;
    const char* name;
    bool has_index;
  };
  // In registration order.
  constexpr Child kChildren[] = {
      {TYPE_LIT_WORD, "lit-word!", true},
      {TYPE_SET_WORD, "set-word!", true},
      {TYPE_GET_WORD, "get-word!", true},
      {TYPE_REFINEMENT, "refinement!", false},
  };
  for (const Child& child : kChildren) {
    actions::ActionList list;
    list.own(own<ACT_MOLD>(mold)).inherit({ACT_MAKE, ACT_TO, ACT_FORM, ACT_COMPARE});
    if (child.has_index) list.inherit({ACT_INDEX_Q});
    datatype::register_type(child.type, TYPE_WORD, child.name, list);
  }
}

}  // namespace xol::word
