// block!: the actions that blocks fill themselves, which paren!, the path types and hash!
// inherit, and the worker behind the set operations.
//
// The navigation and generic series actions come from series! (series.h); the storage layer
// and the support routines (clone, compare-each, the molding loop) from block_storage.h. Every
// routine reads its arguments before writing its result, which may be the first argument's
// own cell. Searches test a stored cell against the sought value with the sought value's
// compare routine (op 12, 2 with /case, 9 with /same); a hash! answers the same searches
// through its index.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/number.h"

namespace xol::block {

void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);
void to(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
             const Cell* argument, int32_t part, int32_t indent);
// The mold of any bracketed block type: the cycle marker, or `open`, the cells, `close`
// (the brackets left out with `only`).
int32_t mold_bracketed(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
                       const Cell* argument, int32_t part, int32_t indent, const char* open,
                       const char* close);
void eval_path(const PathStep& step, Cell* result);
// The commonest `append`, without /part and /dup: one value that is no any-block, to the tail of
// a block (not a hash!) whose append is block!'s, that no owner watches and whose buffer has
// room. Done in place (the series cell moves to its head), answering true; false, having done
// nothing, for any other case.
bool append_at_tail(Cell* series, const Cell* value);
void copy(Cell* value, const Cell* part, bool deep, const Cell* types, Cell* result);

// The set operations (OP_UNIQUE .. OP_DIFFERENCE) on records of `skip` cells, tested on their
// first cell. The result is a new buffer at head 0 of the first series' type; a hash! result
// keeps the index that rejected the duplicates.
void do_set_op(const Cell* series1, const Cell* series2, bool case_sensitive, int32_t skip,
               MathOp op, Cell* result);

// Registers block! (id 5).
void init();

}  // namespace xol::block
