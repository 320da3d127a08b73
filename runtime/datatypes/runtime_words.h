// The runtime's own words: the symbols, words, refinements and issue that system-level code
// recognises, made once at start-up and kept in globals, so that nothing looks a name up at
// run time.
//
// They are made in a fixed order, which decides the symbol ids: the datatype names come first
// (symbol n is the name of datatype n), then the lists below, each in the order written. A
// spelling made a second time yields the symbol already made, so globals that name the same
// spelling agree. `sym` holds the symbol ids, `w` the words, `refs` the refinements. Symbols are kept where only the spelling is compared; words (bound to the
// global context) where a bound word is pushed or compared.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::words {

// KEEP(member, spelling): made and kept; AGAIN(member, spelling): made again into the same
// global; MAKE_ONLY(spelling): made, id not kept.
#define XOL_RUNTIME_SYMBOLS(KEEP, AGAIN, MAKE_ONLY)                                        \
  KEEP(spec, "spec") KEEP(body, "body") KEEP(words, "words") KEEP(class_, "class")         \
  KEEP(logic_type, "logic!") KEEP(integer_type, "integer!") KEEP(char_type, "char!")       \
  KEEP(float_type, "float!") KEEP(percent_type, "percent!") KEEP(any_type, "any-type!")    \
  KEEP(exit, "exit") KEEP(return_, "return")                                               \
  KEEP(windows, "Windows") KEEP(syllable, "Syllable") KEEP(macos, "macOS")                 \
  KEEP(linux, "Linux") KEEP(netbsd, "NetBSD")                                              \
  KEEP(repeat, "repeat") KEEP(foreach, "foreach") KEEP(map_each, "map-each")               \
  KEEP(remove_each, "remove-each")                                                         \
  KEEP(any, "any") KEEP(break_, "break") KEEP(copy, "copy") KEEP(end, "end")               \
  KEEP(fail, "fail") KEEP(into, "into") KEEP(opt, "opt") KEEP(not_, "not")                 \
  KEEP(quote, "quote") KEEP(case_, "case") KEEP(reject, "reject") KEEP(set, "set")         \
  KEEP(skip, "skip") KEEP(some, "some") KEEP(thru, "thru") KEEP(to, "to")                  \
  KEEP(none, "none") KEEP(bar, "|") KEEP(dash, "-") KEEP(if_, "if") KEEP(remove, "remove") \
  KEEP(while_, "while") KEEP(insert, "insert") KEEP(only, "only") KEEP(collect, "collect") \
  KEEP(keep, "keep") KEEP(pick, "pick") KEEP(ahead, "ahead") KEEP(after, "after")          \
  KEEP(x, "x") KEEP(y, "y") KEEP(z, "z")                                                   \
  KEEP(self, "self") KEEP(values, "values") KEEP(owner, "owner") KEEP(owned, "owned")      \
  KEEP(events_q, "events?")                                                                \
  KEEP(true_, "true") KEEP(false_, "false") KEEP(yes, "yes") KEEP(no, "no")                \
  KEEP(on, "on") KEEP(off, "off")                                                          \
  KEEP(type, "type") KEEP(face, "face") KEEP(window, "window") KEEP(offset, "offset")      \
  KEEP(key, "key") KEEP(flag, "flag") KEEP(code, "code") KEEP(picked, "picked")            \
  KEEP(flags, "flags") KEEP(away_q, "away?") KEEP(ctrl_q, "ctrl?") KEEP(shift_q, "shift?") \
  KEEP(down_q, "down?") KEEP(mid_down_q, "mid-down?") KEEP(alt_down_q, "alt-down?")        \
  KEEP(aux_down_q, "aux-down?") KEEP(orientation, "orientation")                           \
  KEEP(get, "get") KEEP(put, "put") KEEP(post, "post") KEEP(head, "head")                  \
  KEEP(size, "size")                                                                       \
  KEEP(rgb, "rgb") KEEP(alpha, "alpha") KEEP(argb, "argb")                                 \
  KEEP(date, "date") KEEP(year, "year") KEEP(month, "month") KEEP(day, "day")              \
  KEEP(zone, "zone") KEEP(isoweek, "isoweek") KEEP(week, "week") KEEP(weekday, "weekday")  \
  KEEP(yearday, "yearday") KEEP(julian, "julian") KEEP(time, "time") KEEP(hour, "hour")    \
  KEEP(minute, "minute") KEEP(second, "second") KEEP(timezone, "timezone")                 \
  AGAIN(code, "code") KEEP(amount, "amount") KEEP(user, "user") KEEP(host, "host")         \
  KEEP(system, "system") KEEP(system_global, "system-global")                              \
  MAKE_ONLY("stack") KEEP(trace, "trace") KEEP(no_trace, "no-trace")

// FROM_SYMBOL(member, symbol member): a global-context word made from a symbol above (AGAIN:
// into the same global); FROM_NAME(member, spelling): a word made from its name.
#define XOL_RUNTIME_WORDS(FROM_SYMBOL, AGAIN, FROM_NAME)                                     \
  FROM_SYMBOL(windows, windows) FROM_SYMBOL(syllable, syllable) FROM_SYMBOL(macos, macos)    \
  FROM_SYMBOL(linux, linux) FROM_SYMBOL(netbsd, netbsd) FROM_SYMBOL(to, to)                  \
  FROM_SYMBOL(thru, thru) FROM_SYMBOL(not_, not_) FROM_SYMBOL(remove, remove)                \
  FROM_SYMBOL(while_, while_) FROM_SYMBOL(collect, collect) FROM_SYMBOL(keep, keep)          \
  FROM_SYMBOL(ahead, ahead) FROM_SYMBOL(bar, bar) FROM_SYMBOL(any, any)                      \
  FROM_SYMBOL(some, some) FROM_SYMBOL(copy, copy) FROM_SYMBOL(opt, opt)                      \
  FROM_SYMBOL(into, into) FROM_SYMBOL(insert, insert) FROM_SYMBOL(if_, if_)                  \
  FROM_SYMBOL(quote, quote) AGAIN(collect, collect) FROM_SYMBOL(set, set)                    \
  FROM_SYMBOL(case_, case_)                                                                  \
  FROM_NAME(at, "at") FROM_NAME(back, "back") FROM_NAME(find, "find")                        \
  FROM_NAME(head, "head") FROM_NAME(head_q, "head?") FROM_NAME(index_q, "index?")            \
  FROM_NAME(length_q, "length?") FROM_NAME(next, "next") FROM_NAME(pick, "pick")             \
  FROM_NAME(skip, "skip") FROM_NAME(select, "select") FROM_NAME(tail, "tail")                \
  FROM_NAME(tail_q, "tail?")                                                                 \
  FROM_NAME(change, "change") FROM_NAME(changed, "changed") FROM_NAME(clear, "clear")        \
  FROM_NAME(cleared, "cleared") FROM_NAME(set_path, "set-path") FROM_NAME(append, "append")  \
  FROM_NAME(appended, "appended") FROM_NAME(move, "move") FROM_NAME(moved, "moved")          \
  FROM_NAME(poke, "poke") FROM_NAME(poked, "poked") FROM_NAME(put, "put")                    \
  FROM_NAME(put_ed, "put-ed") FROM_NAME(removed, "removed") FROM_NAME(random, "random")      \
  FROM_NAME(randomized, "randomized") FROM_NAME(reverse, "reverse")                          \
  FROM_NAME(reversed, "reversed") FROM_NAME(sort, "sort") FROM_NAME(sorted, "sorted")        \
  FROM_NAME(swap, "swap") FROM_NAME(swaped, "swaped") FROM_NAME(take, "take")                \
  FROM_NAME(taken, "taken") FROM_NAME(trim, "trim") FROM_NAME(trimmed, "trimmed")            \
  FROM_NAME(inserted, "inserted") FROM_NAME(uppercase, "uppercase")                          \
  FROM_NAME(lowercase, "lowercase") FROM_NAME(checksum, "checksum")                          \
  FROM_NAME(push, "push") FROM_NAME(pop, "pop") FROM_NAME(fetch, "fetch")                    \
  FROM_NAME(match, "match") FROM_NAME(iterate, "iterate") FROM_NAME(paren, "paren")          \
  FROM_NAME(anon, "<anon>") FROM_NAME(body, "<body>") FROM_NAME(not_found, "<not-found>")    \
  FROM_SYMBOL(end, end)                                                                      \
  FROM_NAME(add, "add") FROM_NAME(subtract, "subtract") FROM_NAME(divide, "divide")          \
  FROM_NAME(on_parse_event, "on-parse-event") FROM_NAME(on_change, "on-change*")             \
  FROM_NAME(on_deep_change, "on-deep-change*")                                               \
  FROM_NAME(type, "type") FROM_NAME(id, "id") FROM_NAME(try_, "try")                         \
  FROM_NAME(catch_, "catch") FROM_NAME(name, "name") FROM_NAME(multiply, "multiply")         \
  FROM_NAME(browse, "browse") FROM_NAME(open, "open") FROM_NAME(create, "create")            \
  FROM_NAME(close, "close") FROM_NAME(delete_, "delete") FROM_NAME(modify, "modify")         \
  FROM_NAME(query, "query") FROM_NAME(read, "read") FROM_NAME(rename, "rename")              \
  FROM_NAME(update, "update") FROM_NAME(write, "write")                                      \
  FROM_NAME(prescan, "prescan") FROM_NAME(scan, "scan") FROM_NAME(load, "load")              \
  FROM_NAME(error, "error") FROM_NAME(comment, "comment")                                    \
  FROM_NAME(trace_init, "init") FROM_NAME(trace_exec, "exec") FROM_NAME(trace_call, "call")  \
  FROM_NAME(trace_return, "return") FROM_NAME(trace_enter, "enter")                          \
  FROM_NAME(trace_exit, "exit") FROM_NAME(trace_prolog, "prolog")                            \
  FROM_NAME(trace_epilog, "epilog") FROM_NAME(trace_throw, "throw")                          \
  FROM_NAME(trace_expr, "expr")                                                              \
  FROM_NAME(interp_callback, "<interp-callback>")                                            \
  FROM_NAME(lexer_callback, "<lexer-callback>")                                              \
  FROM_NAME(parse_callback, "<parse-callback>")                                              \
  FROM_NAME(compare_callback, "<compare-callback>")                                          \
  FROM_NAME(cat_throw, "throw") FROM_NAME(cat_note, "note") FROM_NAME(cat_syntax, "syntax")  \
  FROM_NAME(cat_script, "script") FROM_NAME(cat_math, "math")                                \
  FROM_NAME(cat_access, "access") FROM_NAME(cat_user, "user")                                \
  FROM_NAME(cat_internal, "internal") FROM_NAME(invalid_error, "invalid-error")              \
  FROM_NAME(local, "local") FROM_NAME(applied, "<applied>")

#define XOL_RUNTIME_REFINEMENTS(X) \
  X(local, "local") X(extern_, "extern") X(compare, "compare") X(part, "part") \
  X(skip, "skip") X(with, "with")

#define XOL_WORDS_KEEP(member, spelling) int32_t member = 0;
#define XOL_WORDS_SKIP(...)
struct Symbols {
  XOL_RUNTIME_SYMBOLS(XOL_WORDS_KEEP, XOL_WORDS_SKIP, XOL_WORDS_SKIP)
};
#undef XOL_WORDS_KEEP

#define XOL_WORDS_CELL(member, source) Cell member{TYPE_UNSET, 0, 0, 0};
struct Words {
  XOL_RUNTIME_WORDS(XOL_WORDS_CELL, XOL_WORDS_SKIP, XOL_WORDS_CELL)
};
struct Refinements {
  XOL_RUNTIME_REFINEMENTS(XOL_WORDS_CELL)
};
#undef XOL_WORDS_CELL
#undef XOL_WORDS_SKIP

extern Symbols sym;
extern Words w;
extern Refinements refs;
extern Cell issue_ooo;

// In this order, once the global context and the symbol table exist:
// the word of every datatype name, from id 1 to the highest id registered so far;
void init_datatype_words();
// the symbols and words listed above;
void init_runtime();
// the refinements;
void init_extra();
// the issue #ooo.
void init_issue();

}  // namespace xol::words
