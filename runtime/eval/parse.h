// The parse engine: matches an input series against a rule block of the parse dialect.
//
// The engine is one iterative state machine. It never recurses on the native stack: entering a
// sub-rule block or applying a command (`any`, `copy`, `into` ...) pushes a record on the rule
// stack, and `into` saves the outer input on the input stack. Both stacks are blocks kept in the
// root block for the whole process. A parse called from a paren, an actor or a trace callback
// of another parse works in its own section above the outer parse's cells, and every way out of
// a parse (its end, an error, a throw) cuts both stacks back to where its section began, so an
// outer parse that catches the error goes on unharmed. The stacks together bound the nesting of
// rules: a push beyond kStackLimit cells raises script `parse-stack`.
//
// Matching a value never throws and never allocates: failure is the match flag, and the common
// repetitions (`any`, `some`, `opt` or a count over a char, a bitset, a string or a value) and
// searches (`to`, `thru` with such a value) run as tight loops over the buffer.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::parse {

// Cells that each of the two stacks may hold, all running parses together.
constexpr uint32_t kStackLimit = 10000;
// The input index of a parse without a /part limit.
constexpr uint32_t kNoLimit = 0xFFFFFFFF;

// Makes the two stacks and the keyword table (start-up, after the root block and the words).
void init();

// Matches `input` from its index against `rules`. `limit` is the absolute input index where
// matching stops (kNoLimit for the tail); `callback` is the trace function or null. The result
// (true, false, or the block of a top-level `collect`) goes to `result`. Answers false, with
// the result untouched, when a break, continue, return or exit left a paren: the caller then
// returns at once and lets the code go on to its frame.
bool process(const Cell* input, const Cell* rules, bool case_sensitive, uint32_t limit,
             const Cell* callback, Cell* result);

}  // namespace xol::parse
