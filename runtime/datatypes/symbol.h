// Symbols: every name the runtime sees, interned once and named by a 1-based id.
//
// Words and context word lists hold symbol ids, never text. The table keeps each name exactly
// as first written and links each name that differs from an earlier one only in ASCII letter
// case to the first of them (its alias), so that the rest of the runtime compares words either
// exactly (raw ids) or without regard to case (canonical ids) at the cost of one integer
// comparison. Ids are never reused: symbols are never removed.
//
// Symbol cell: header type 13; word 1 the alias (the id of the first symbol of the same name up
// to ASCII case, or -1 when this one is the first); word 2 the node of the string form (0 until
// asked for); word 3 the node of the name as UTF-8 bytes followed by a NUL.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/cell.h"

namespace xol::symbol {

constexpr int32_t kNoAlias = -1;

// Takes the symbol-table block (made in the root block at start-up) as the table's cells.
void init_table(const Cell* table_block);
// True once the table exists.
bool table_exists();
// Forgets the table and its collector root (runtime shutdown).
void release_table();

// Find or add by exact name.
int32_t make(std::string_view name);
// The first symbol whose name equals `name` up to ASCII case; added (alias -1) when none.
int32_t make_caseless(std::string_view name);

// The canonical id: the alias when there is one, else the id itself.
int32_t resolve(int32_t id);
int32_t alias_of(int32_t id);
// The name's UTF-8 bytes; valid until the next allocation.
std::string_view name(int32_t id);
// Number of symbols made so far.
int32_t count();

// Orders two names as text (letter case folded unless the op compares strictly); answers -1, 0
// or 1 under `op`.
int32_t compare_names(int32_t id1, int32_t id2, int32_t op);

// Registers symbol! (id 13).
void init();

}  // namespace xol::symbol
