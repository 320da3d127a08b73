// The natives table and the loading of the native and action specs.
#include "runtime/eval/natives_table.h"

#include <cstdio>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/stack.h"
#include "runtime/io/lexer.h"
#include "runtime/process/process.h"

namespace xol::natives_table {
namespace {
std::string_view library_source(std::string_view name);

struct Source {
  const char* name;
  const char* text;
};
constexpr Source kSources[] = {
#include "library_sources.inc"
};

// The spelling of native n (1-based); null past the list.
const char* native_word(int32_t n) {
  static constexpr const char* kWords[] = {
#define XOL_NATIVE_WORD(n, id, routine, word) word,
      XOL_NATIVES(XOL_NATIVE_WORD)
#undef XOL_NATIVE_WORD
  };
  return n >= 1 && n <= kNativeCount ? kWords[n - 1] : nullptr;
}

// Makes the value of `type` for each `word: [spec]` pair of a library file's body; `index_of`
// gives the table index of the n-th pair's word.
template <class IndexOf>
void make_values(const Cell& body, TypeId type, IndexOf index_of) {
  int32_t ordinal = 0;
  for (uint32_t i = 0; i + 1 < block::length(&body); i += 2) {
    const Cell name = block::head(&body)[i];
    const Cell spec = block::head(&body)[i + 1];
    Cell definition;
    block::make_at(&definition, 2);
    block::append_cell(&definition, &spec);
    Cell index = integer::make(index_of(name, ++ordinal));
    block::append_cell(&definition, &index);
    Cell made;
    actions::get<ACT_MAKE>(type)(nullptr, &definition, type, &made);
    context::set_global(word::symbol_of(&name), &made);
  }
}

}  // namespace

Cell load_library_body(std::string_view name) {
  Cell loaded = lexer::load(library_source(name));
  if (block::length(&loaded) >= 2 && block::head(&loaded)->is(TYPE_WORD) &&
      block::head(&loaded)[1].is(TYPE_BLOCK))
    loaded.data1 += 2;
  return loaded;
}

namespace {
// The text of an embedded library file ("natives.xol"); empty when there is none.
std::string_view library_source(std::string_view name) {
  for (const Source& source : kSources)
    if (name == source.name) return source.text;
  return {};
}
}  // namespace

void register_natives() {
#define XOL_NATIVE_SET(n, id, routine, word) natives::set_native(natives::id, natives::routine);
  XOL_NATIVES(XOL_NATIVE_SET)
#undef XOL_NATIVE_SET
}

int32_t first_misnamed_native(const Cell& body) {
  for (int32_t n = 1; n <= kNativeCount; ++n) {
    const uint32_t at = uint32_t(n - 1) * 2;
    if (at >= block::length(&body)) return n;
    const Cell& name = block::head(&body)[at];
    if (!name.is(TYPE_SET_WORD) || symbol::name(word::symbol_of(&name)) != native_word(n))
      return n;
  }
  return block::length(&body) > uint32_t(kNativeCount) * 2 ? kNativeCount + 1 : 0;
}

void check_native_specs(const Cell& body) {
  const int32_t n = first_misnamed_native(body);
  if (!n) return;
  const uint32_t at = uint32_t(n - 1) * 2;
  const Cell* name = at < block::length(&body) ? block::head(&body) + at : nullptr;
  const bool named = name && word::any_word_type(name->type());
  const std::string_view found = named ? symbol::name(word::symbol_of(name)) : "nothing";
  std::fprintf(stderr, "*** Native Error: spec %d of natives.xol is named %.*s%s\n", n,
               int(found.size()), found.data(), named && name->is(TYPE_SET_WORD) ? ":" : "");
  if (const char* expected = native_word(n))
    std::fprintf(stderr, "*** Expected: %s:\n", expected);
  else
    std::fprintf(stderr, "*** Expected: no spec after %d\n", kNativeCount);
  rt::runtime_error(rt::RUNTIME_ASSERTION, XOL_CALLER_ADDRESS);
}

void load_specs() {
  for (int32_t type = 1; type <= datatype::highest_type(); ++type) {
    const Cell word = datatype::entry(type).word;
    if (!word.is(TYPE_WORD)) continue;
    const Cell value = datatype::make(type);
    context::set_global(word::symbol_of(&word), &value);
  }
  make_values(load_library_body("actions.xol"), TYPE_ACTION, [](const Cell& name, int32_t) {
    const int32_t symbol = symbol::resolve(word::symbol_of(&name));
    for (int32_t k = 1; k <= kActionCount; ++k) {
      const char* spelling = actions::action_word(Action(k));
      if (spelling && symbol::resolve(symbol::make(spelling)) == symbol) return k;
    }
    return 0;
  });
  const Cell natives_body = load_library_body("natives.xol");
  check_native_specs(natives_body);
  make_values(natives_body, TYPE_NATIVE, [](const Cell&, int32_t ordinal) { return ordinal; });
  run_library("typesets.xol");
}

void run_library(std::string_view name) {
  const Cell body = load_library_body(name);
  interpreter::eval_block(&body, false);
  stack::pop(1);
}

}  // namespace xol::natives_table
