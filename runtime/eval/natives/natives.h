// The natives: their list in table order, then their routines by family.
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

// X(number, enumerator, routine, spelling): one line per native, in the order of the natives
// table and of the specs in library/natives.xol (start-up checks that the n-th spec there is
// named as native n).
#define XOL_NATIVES(X)                                                      \
  X(1, NAT_IF, if_, "if")                                                   \
  X(2, NAT_UNLESS, unless, "unless")                                        \
  X(3, NAT_EITHER, either, "either")                                        \
  X(4, NAT_ANY, any, "any")                                                 \
  X(5, NAT_ALL, all, "all")                                                 \
  X(6, NAT_WHILE, while_, "while")                                          \
  X(7, NAT_UNTIL, until, "until")                                           \
  X(8, NAT_LOOP, loop, "loop")                                              \
  X(9, NAT_REPEAT, repeat, "repeat")                                        \
  X(10, NAT_FOREVER, forever, "forever")                                    \
  X(11, NAT_FOREACH, foreach, "foreach")                                    \
  X(12, NAT_FORALL, forall, "forall")                                       \
  X(13, NAT_REMOVE_EACH, remove_each, "remove-each")                        \
  X(14, NAT_FUNC, func, "func")                                             \
  X(15, NAT_FUNCTION, function_, "function")                                \
  X(16, NAT_DOES, does, "does")                                             \
  X(17, NAT_HAS, has, "has")                                                \
  X(18, NAT_SWITCH, switch_, "switch")                                      \
  X(19, NAT_CASE, case_, "case")                                            \
  X(20, NAT_DO, do_, "do")                                                  \
  X(21, NAT_GET, get, "get")                                                \
  X(22, NAT_SET, set, "set")                                                \
  X(23, NAT_PRINT, print, "print")                                          \
  X(24, NAT_PRIN, prin, "prin")                                             \
  X(25, NAT_EQUAL_Q, equal_q, "equal?")                                     \
  X(26, NAT_NOT_EQUAL_Q, not_equal_q, "not-equal?")                         \
  X(27, NAT_STRICT_EQUAL_Q, strict_equal_q, "strict-equal?")                \
  X(28, NAT_LESSER_Q, lesser_q, "lesser?")                                  \
  X(29, NAT_GREATER_Q, greater_q, "greater?")                               \
  X(30, NAT_LESSER_OR_EQUAL_Q, lesser_or_equal_q, "lesser-or-equal?")       \
  X(31, NAT_GREATER_OR_EQUAL_Q, greater_or_equal_q, "greater-or-equal?")    \
  X(32, NAT_SAME_Q, same_q, "same?")                                        \
  X(33, NAT_NOT, not_, "not")                                               \
  X(34, NAT_TYPE_Q, type_q, "type?")                                        \
  X(35, NAT_REDUCE, reduce, "reduce")                                       \
  X(36, NAT_COMPOSE, compose, "compose")                                    \
  X(37, NAT_STATS, stats, "stats")                                          \
  X(38, NAT_BIND, bind, "bind")                                             \
  X(39, NAT_IN, in, "in")                                                   \
  X(40, NAT_PARSE, parse, "parse")                                          \
  X(41, NAT_UNION, union_, "union")                                         \
  X(42, NAT_INTERSECT, intersect, "intersect")                              \
  X(43, NAT_UNIQUE, unique, "unique")                                       \
  X(44, NAT_DIFFERENCE, difference, "difference")                           \
  X(45, NAT_EXCLUDE, exclude, "exclude")                                    \
  X(46, NAT_COMPLEMENT_Q, complement_q, "complement?")                      \
  X(47, NAT_DEHEX, dehex, "dehex")                                          \
  X(48, NAT_ENHEX, enhex, "enhex")                                          \
  X(49, NAT_NEGATIVE_Q, negative_q, "negative?")                            \
  X(50, NAT_POSITIVE_Q, positive_q, "positive?")                            \
  X(51, NAT_MAX, max, "max")                                                \
  X(52, NAT_MIN, min, "min")                                                \
  X(53, NAT_SHIFT, shift, "shift")                                          \
  X(54, NAT_TO_HEX, to_hex, "to-hex")                                       \
  X(55, NAT_SINE, sine, "sine")                                             \
  X(56, NAT_COSINE, cosine, "cosine")                                       \
  X(57, NAT_TANGENT, tangent, "tangent")                                    \
  X(58, NAT_ARCSINE, arcsine, "arcsine")                                    \
  X(59, NAT_ARCCOSINE, arccosine, "arccosine")                              \
  X(60, NAT_ARCTANGENT, arctangent, "arctangent")                           \
  X(61, NAT_ARCTANGENT2, arctangent2, "arctangent2")                        \
  X(62, NAT_NAN_Q, nan_q, "NaN?")                                           \
  X(63, NAT_LOG_2, log_2, "log-2")                                          \
  X(64, NAT_LOG_10, log_10, "log-10")                                       \
  X(65, NAT_LOG_E, log_e, "log-e")                                          \
  X(66, NAT_EXP, exp, "exp")                                                \
  X(67, NAT_SQUARE_ROOT, square_root, "square-root")                        \
  X(68, NAT_CONSTRUCT, construct, "construct")                              \
  X(69, NAT_VALUE_Q, value_q, "value?")                                     \
  X(70, NAT_TRY, try_, "try")                                               \
  X(71, NAT_UPPERCASE, uppercase, "uppercase")                              \
  X(72, NAT_LOWERCASE, lowercase, "lowercase")                              \
  X(73, NAT_AS_PAIR, as_pair, "as-pair")                                    \
  X(74, NAT_AS_POINT2D, as_point2d, "as-point2D")                           \
  X(75, NAT_AS_POINT3D, as_point3d, "as-point3D")                           \
  X(76, NAT_AS_MONEY, as_money, "as-money")                                 \
  X(77, NAT_BREAK, break_, "break")                                         \
  X(78, NAT_CONTINUE, continue_, "continue")                                \
  X(79, NAT_EXIT, exit, "exit")                                             \
  X(80, NAT_RETURN, return_, "return")                                      \
  X(81, NAT_THROW, throw_, "throw")                                         \
  X(82, NAT_CATCH, catch_, "catch")                                         \
  X(83, NAT_EXTEND, extend, "extend")                                       \
  X(84, NAT_DEBASE, debase, "debase")                                       \
  X(85, NAT_TO_LOCAL_FILE, to_local_file, "to-local-file")                  \
  X(86, NAT_WAIT, wait, "wait")                                             \
  X(87, NAT_CHECKSUM, checksum, "checksum")                                 \
  X(88, NAT_UNSET, unset_, "unset")                                         \
  X(89, NAT_NEW_LINE, new_line, "new-line")                                 \
  X(90, NAT_NEW_LINE_Q, new_line_q, "new-line?")                            \
  X(91, NAT_ENBASE, enbase, "enbase")                                       \
  X(92, NAT_CONTEXT_Q, context_q, "context?")                               \
  X(93, NAT_SET_ENV, set_env, "set-env")                                    \
  X(94, NAT_GET_ENV, get_env, "get-env")                                    \
  X(95, NAT_LIST_ENV, list_env, "list-env")                                 \
  X(96, NAT_NOW, now, "now")                                                \
  X(97, NAT_SIGN_Q, sign_q, "sign?")                                        \
  X(98, NAT_AS, as, "as")                                                   \
  X(99, NAT_CALL, call, "call")                                             \
  X(100, NAT_ZERO_Q, zero_q, "zero?")                                       \
  X(101, NAT_SIZE_Q, size_q, "size?")                                       \
  X(102, NAT_BROWSE, browse, "browse")                                      \
  X(103, NAT_COMPRESS, compress, "compress")                                \
  X(104, NAT_DECOMPRESS, decompress, "decompress")                          \
  X(105, NAT_RECYCLE, recycle, "recycle")                                   \
  X(106, NAT_TRANSCODE, transcode, "transcode")                             \
  X(107, NAT_APPLY, apply, "apply")


enum Native : uint8_t {
#define XOL_NATIVE_ENUM(n, id, routine, word) id = n,
  XOL_NATIVES(XOL_NATIVE_ENUM)
#undef XOL_NATIVE_ENUM
};

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
// The shift native's arithmetic: right (sign-filling), left, or right filling with zeros; a
// negative count is 0 and a count above 31 empties (or sign-fills) every bit.
enum ShiftKind { SHIFT_RIGHT, SHIFT_LEFT, SHIFT_LOGICAL };
int32_t shifted(int32_t data, int32_t bits, ShiftKind kind);
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

// files.cpp
void size_q(bool check, const int32_t* refinements);
void to_local_file(bool check, const int32_t* refinements);
// parse.cpp
void parse(bool check, const int32_t* refinements);
// compress.cpp
void compress(bool check, const int32_t* refinements);
void decompress(bool check, const int32_t* refinements);

// output.cpp
// Writes a string unchanged, any other value formed, to standard output and the print hooks.
void print_formed(const Cell* value, bool newline);
void print(bool check, const int32_t* refinements);
void prin(bool check, const int32_t* refinements);
// Makes print's work block in the root block (runtime start-up).
void init_print();

// text.cpp
void dehex(bool check, const int32_t* refinements);
void enhex(bool check, const int32_t* refinements);
void debase(bool check, const int32_t* refinements);
void enbase(bool check, const int32_t* refinements);
void uppercase(bool check, const int32_t* refinements);
void lowercase(bool check, const int32_t* refinements);
void new_line(bool check, const int32_t* refinements);
void new_line_q(bool check, const int32_t* refinements);
void transcode(bool check, const int32_t* refinements);

// system.cpp
void wait(bool check, const int32_t* refinements);
void set_env(bool check, const int32_t* refinements);
void get_env(bool check, const int32_t* refinements);
void list_env(bool check, const int32_t* refinements);
void now(bool check, const int32_t* refinements);
void recycle(bool check, const int32_t* refinements);
void stats(bool check, const int32_t* refinements);
void call(bool check, const int32_t* refinements);
void browse(bool check, const int32_t* refinements);

}  // namespace xol::natives
