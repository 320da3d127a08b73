// The runtime's own words, made from the lists in the header.
#include "runtime/datatypes/runtime_words.h"

#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/issue.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"

namespace xol::words {

Symbols sym;
Words w;
Refinements refs;
Cell issue_ooo{TYPE_UNSET, 0, 0, 0};

void init_datatype_words() {
  for (int32_t type = 1; type <= datatype::highest_type(); ++type) {
    datatype::TableEntry& named = datatype::entry(type);
    if (named.name) named.word = word::load(named.name);
  }
}

void init_runtime() {
#define XOL_WORDS_MAKE_KEPT(member, spelling) sym.member = symbol::make(spelling);
#define XOL_WORDS_MAKE_ONLY(spelling) symbol::make(spelling);
  XOL_RUNTIME_SYMBOLS(XOL_WORDS_MAKE_KEPT, XOL_WORDS_MAKE_KEPT, XOL_WORDS_MAKE_ONLY)
#undef XOL_WORDS_MAKE_KEPT
#undef XOL_WORDS_MAKE_ONLY

#define XOL_WORDS_FROM_SYMBOL(member, source) w.member = context::load_global(sym.source);
#define XOL_WORDS_FROM_NAME(member, spelling) w.member = word::load(spelling);
  XOL_RUNTIME_WORDS(XOL_WORDS_FROM_SYMBOL, XOL_WORDS_FROM_SYMBOL, XOL_WORDS_FROM_NAME)
#undef XOL_WORDS_FROM_SYMBOL
#undef XOL_WORDS_FROM_NAME
}

void init_extra() {
#define XOL_WORDS_REFINEMENT(member, spelling) \
  refs.member = word::load_refinement(spelling);
  XOL_RUNTIME_REFINEMENTS(XOL_WORDS_REFINEMENT)
#undef XOL_WORDS_REFINEMENT
}

void init_issue() { issue_ooo = issue::load("ooo"); }

}  // namespace xol::words
