// Words: word!, set-word!, lit-word!, get-word! and refinement!, which name values through
// contexts, and the routines issue! shares with them.
//
// All six types share one cell: header type id (15-20); word 1 the context node (0 for an
// unbound word); word 2 the symbol id, which keeps the word's own letter case; word 3 the index
// in the context, -1 until resolved. They differ only in type id, printed mark and how the
// evaluator treats them, so each routine here serves every one of them, the type being set
// afterwards.
//
// While the boot flag is set (from the start of runtime initialisation until the boot code has
// fetched its literals), every global word made here is also appended to the root block and
// the root copy is answered, so that everything made during start-up stays reachable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/cell.h"
#include "runtime/datatypes/symbol.h"

namespace xol::boot {
// Set by runtime initialisation as its first step; cleared by the boot code.
extern int32_t flag;
}  // namespace xol::boot

namespace xol::word {

constexpr uint32_t kUnresolvedIndex = 0xFFFFFFFF;

inline bool any_word_type(TypeId type) { return type >= TYPE_WORD && type <= TYPE_ISSUE; }
inline int32_t symbol_of(const Cell* word) { return int32_t(word->data2); }
// Whether the word is spelled `symbol` up to case (their canonical ids agree).
inline bool is_named(const Cell* word, int32_t symbol) {
  return symbol::resolve(symbol_of(word)) == symbol::resolve(symbol);
}
inline int32_t index_of(const Cell* word) { return int32_t(word->data3); }
inline NodeId context_of(const Cell* word) { return word->data1; }

// A word of `type` for the symbol, bound to nothing.
inline Cell unbound(int32_t symbol, TypeId type = TYPE_WORD) {
  return Cell{type, kNoNode, uint32_t(symbol), kUnresolvedIndex};
}

// Appends a copy of the cell to the root block and answers the copy.
Cell keep_in_root(const Cell& cell);

// The global word of a name (made caselessly in the global context), retyped to `type`; kept
// in the root block while the boot flag is set.
Cell load(std::string_view name, TypeId type = TYPE_WORD);
// Appends to the block a word of `type` bound to the global context.
Cell* load_in(std::string_view name, Cell* block, TypeId type = TYPE_WORD);
// Writes into `cell` a word! bound to the global context, adding the symbol there (with an unset
// value) when absent.
Cell* make_at(int32_t symbol, Cell* cell);
// An unbound refinement! of the name, appended to the root block; answers the root copy.
Cell load_refinement(std::string_view name);

// The UTF-8 text of a char!: the name it gives a word or an issue.
std::string char_name(const Cell* value);

// The word's value slot in its own context (see context::get_in for the errors).
Cell* get(const Cell* word);
// Sets the word's value (hooks fire); an unset value raises script `need-value` with the word.
Cell* set_checked(Cell* word, const Cell* value);
// A copy of the word's value; an unset value raises script `no-value` with the word.
Cell get_checked(const Cell* word);

// ---- actions ----

// make and to: one routine for both slots; the target word type comes in `type`.
void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);
int32_t form(const Cell* value, Cell* buffer, const Cell* argument, int32_t part);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
             const Cell* argument, int32_t part, int32_t indent);
int32_t compare(const Cell* value1, const Cell* value2, int32_t op);
// index?: the index + 1 as integer!, or none when the word is not resolved.
void index_q(Cell* value, Cell* result);

// Registers word!, set-word!, lit-word!, get-word! and refinement!.
void init();

}  // namespace xol::word
