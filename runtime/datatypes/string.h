// string!: the actions of text values, which file!, url!, tag!, email! and ref! inherit, and
// binary! and vector! in part.
//
// Two rules shape most of what follows. Comparison and searching fold letter case (both sides to
// upper case) unless asked not to, while char! values compare exactly. And the printed form of a
// string is chosen to read back: short one-line text between double quotes, anything long,
// multi-line or holding a double quote between braces, with carets escaping what the delimiters
// or the reader would otherwise take (string_storage.h holds the storage these work on).
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/number.h"
#include "runtime/datatypes/string_storage.h"

namespace xol::string {

// Writes one code point as mold does inside quotes: control codes, the double quote and the
// caret escaped with a caret, U+001E, U+0080-U+009F and the surrogates (with `all`, everything
// above U+007F) as ^(hex). char! molds through it too.
void put_escaped(CharWriter& writer, uint32_t cp, bool all);

// Appends the form of any value to a text buffer, through its type's form routine; with
// `limit` >= 0 at most that many characters.
void form_value(const Cell* value, Cell* buffer, int32_t limit = -1);

// Writes `count` units of `content` (another buffer) `dup` times at absolute unit position
// `position` of the target, in place of `replaced` units, widening the target to the content's
// unit; a size past 31 bits raises internal `no-memory`. Answers the units written.
uint32_t splice(const Cell* target, uint32_t position, uint32_t replaced, const Cell* content,
                uint32_t count, int32_t dup);

// A new text value of `type` copied from the head of `source` (its unit kept).
Cell copy_text(const Cell* source, TypeId type);

// The worker of unique, union, intersect, exclude and difference (op OP_UNIQUE ..
// OP_DIFFERENCE) on text: records of `skip` units, compared by their first code point. The
// result replaces `first`.
void set_operation(Cell* first, const Cell* second, bool case_sensitive, int32_t skip, MathOp op);

// The commonest `append`, without /part and /dup: text of the series' unit or a char! that the
// unit holds, to the tail of a text value whose append is string!'s, that no owner watches and
// whose buffer has room. Done in place (the series cell moves to its head), answering true;
// false, having done nothing, for any other case.
bool append_at_tail(Cell* series, const Cell* value);

// ---- actions ----
void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);
void to(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);
int32_t form(const Cell* value, Cell* buffer, const Cell* argument, int32_t part);
void eval_path(const PathStep& step, Cell* result);
int32_t compare(const Cell* value1, const Cell* value2, int32_t op);
void insert(Cell* series, Cell* value, const InsertOptions& options, bool at_tail, Cell* result);
void change(Cell* series, Cell* value, const InsertOptions& options, Cell* result);
void find(Cell* series, Cell* value, const FindOptions& options, Cell* result);
void select(Cell* series, Cell* value, const FindOptions& options, Cell* result);
void sort(Cell* series, const SortOptions& options, Cell* result);
void swap(Cell* value1, Cell* value2, Cell* result);
void take(Cell* series, const Cell* part, bool deep, bool last, Cell* result);
void trim(Cell* series, const TrimOptions& options, Cell* result);

// Registers string! (id 7, parent series!).
void init();

}  // namespace xol::string
