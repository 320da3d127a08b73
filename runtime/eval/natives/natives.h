// The natives built so far, by family; natives_table.cpp places each at its index.
//
// Every native follows one contract: its arguments stand in the current frame from the base
// cell on, `refinements` holds one entry per refinement of its spec (the stack index of the
// refinement's first argument, or -1 when not used; tested only as >= 0 or < 0), and it leaves
// its result in the base cell. Errors are raised; break, continue, return and exit are left
// pending for the frame that owns them (see stack.h).
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::natives {

// Raises script expect-arg naming the current call, the value's datatype and the spec word of
// argument `argument` (0 for the first).
[[noreturn]] void raise_expect_arg(const Cell* value, int32_t argument);

// control.cpp
void if_(bool check, const int32_t* refinements);
void unless(bool check, const int32_t* refinements);
void either(bool check, const int32_t* refinements);
void any(bool check, const int32_t* refinements);
void all(bool check, const int32_t* refinements);
void while_(bool check, const int32_t* refinements);
void until(bool check, const int32_t* refinements);
void loop(bool check, const int32_t* refinements);
void repeat(bool check, const int32_t* refinements);
void forever(bool check, const int32_t* refinements);
void foreach(bool check, const int32_t* refinements);
void forall(bool check, const int32_t* refinements);
void remove_each(bool check, const int32_t* refinements);
void switch_(bool check, const int32_t* refinements);
void case_(bool check, const int32_t* refinements);
void do_(bool check, const int32_t* refinements);
void reduce(bool check, const int32_t* refinements);
void compose(bool check, const int32_t* refinements);
// Whether a walk over `block` has a value left at absolute `position`. What the walk evaluates
// may shorten the block, so `end` follows its tail down; values appended meanwhile are not
// walked.
bool walk_left(const Cell& block, uint32_t position, uint32_t& end);
// The next live key/value pair of a map from its index on, the key as a word!; false when none
// is left. The index moves past the pair.
bool next_map_pair(Cell* map, Cell* key, Cell* value);

// function.cpp
void func(bool check, const int32_t* refinements);
void function_(bool check, const int32_t* refinements);
void does(bool check, const int32_t* refinements);
void has(bool check, const int32_t* refinements);

// words.cpp
void get(bool check, const int32_t* refinements);
void set(bool check, const int32_t* refinements);
void unset_(bool check, const int32_t* refinements);
void value_q(bool check, const int32_t* refinements);
void type_q(bool check, const int32_t* refinements);
void bind(bool check, const int32_t* refinements);
void in(bool check, const int32_t* refinements);
void context_q(bool check, const int32_t* refinements);
void construct(bool check, const int32_t* refinements);
void extend(bool check, const int32_t* refinements);
void as(bool check, const int32_t* refinements);
void apply(bool check, const int32_t* refinements);
// Sets a word (of any word type) in its own context: script not-defined for an unbound word,
// invalid-arg for the word self of an object without such a field (the store would add one).
void set_word_value(Cell* word, const Cell* value);
// Sets the words of the block from `values`: value i for word i when `values` is a list (none
// past its tail; a map! counts as the list of its keys and values, the keys as words) and
// `only` is not given, else `values` itself for every word. Each entry must
// be a word!, set-word!, lit-word! or get-word! (else script `invalid-arg`); an unset value
// raises script `need-value` unless `any`; `some` skips none values.
void set_many(Cell* words_block, const Cell& values, bool any, bool only, bool some);

// exceptions.cpp
void try_(bool check, const int32_t* refinements);
void catch_(bool check, const int32_t* refinements);
void throw_(bool check, const int32_t* refinements);
void break_(bool check, const int32_t* refinements);
void continue_(bool check, const int32_t* refinements);
void exit(bool check, const int32_t* refinements);
void return_(bool check, const int32_t* refinements);

// compare.cpp
void equal_q(bool check, const int32_t* refinements);
void not_equal_q(bool check, const int32_t* refinements);
void strict_equal_q(bool check, const int32_t* refinements);
void lesser_q(bool check, const int32_t* refinements);
void greater_q(bool check, const int32_t* refinements);
void lesser_or_equal_q(bool check, const int32_t* refinements);
void greater_or_equal_q(bool check, const int32_t* refinements);
void not_(bool check, const int32_t* refinements);
void same_q(bool check, const int32_t* refinements);
void max(bool check, const int32_t* refinements);
void min(bool check, const int32_t* refinements);

// sets.cpp
void union_(bool check, const int32_t* refinements);
void intersect(bool check, const int32_t* refinements);
void unique(bool check, const int32_t* refinements);
void difference(bool check, const int32_t* refinements);
void exclude(bool check, const int32_t* refinements);
void complement_q(bool check, const int32_t* refinements);

// math.cpp
void negative_q(bool check, const int32_t* refinements);
void positive_q(bool check, const int32_t* refinements);
void sign_q(bool check, const int32_t* refinements);
void zero_q(bool check, const int32_t* refinements);
void nan_q(bool check, const int32_t* refinements);
void shift(bool check, const int32_t* refinements);
void to_hex(bool check, const int32_t* refinements);
void sine(bool check, const int32_t* refinements);
void cosine(bool check, const int32_t* refinements);
void tangent(bool check, const int32_t* refinements);
void arcsine(bool check, const int32_t* refinements);
void arccosine(bool check, const int32_t* refinements);
void arctangent(bool check, const int32_t* refinements);
void arctangent2(bool check, const int32_t* refinements);
void log_2(bool check, const int32_t* refinements);
void log_10(bool check, const int32_t* refinements);
void log_e(bool check, const int32_t* refinements);
void exp(bool check, const int32_t* refinements);
void square_root(bool check, const int32_t* refinements);
void as_pair(bool check, const int32_t* refinements);
void as_point2d(bool check, const int32_t* refinements);
void as_point3d(bool check, const int32_t* refinements);
void as_money(bool check, const int32_t* refinements);

// checksum.cpp
void checksum(bool check, const int32_t* refinements);

// parse.cpp
void parse(bool check, const int32_t* refinements);

// output.cpp
// Writes a string unchanged, any other value formed, to standard output and the print hooks.
void print_formed(const Cell* value, bool newline);
void print(bool check, const int32_t* refinements);
void prin(bool check, const int32_t* refinements);

}  // namespace xol::natives
