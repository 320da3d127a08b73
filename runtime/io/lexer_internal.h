// What the lexer's units share: the scan state record, the token numbers, the character flags,
// the value stack and the signatures of scanners and loaders.
//
// The value stack is one C++ array of cells addressed by index, never by pointer, since it is
// reallocated when a scan needs more room; a cell pointer into it is good only until the next
// push. An open block, paren, map, path or point is a marker cell on it, followed by the cells
// of its values; markers chain back to the previous open position, so closing needs no search.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/io/lexer.h"

namespace xol::lexer {

#include "runtime/io/lexer_tables.inc"

constexpr int kClassCount = 40;
constexpr uint32_t kClassMask = 0xFF;
constexpr int kEndClass = 39;

// Character flags ORed over a token's bytes (bits 16 and 18-31 of a class entry), and the
// braced string's note that a line feed came before its brace.
enum CharFlag : uint32_t {
  FLAG_UTF8_CONTINUATION = 0x00010000,  // bytes 0x80-0xBF: a stray one has no lead byte to flag
  FLAG_BRACE_NEW_LINE = 0x00020000,
  FLAG_PERCENT = 0x00040000,
  FLAG_GREATER = 0x00080000,
  FLAG_LESS = 0x00100000,
  FLAG_SIGN = 0x00200000,
  FLAG_NUL = 0x00400000,
  FLAG_SHARP = 0x00800000,
  FLAG_EXPONENT = 0x01000000,
  FLAG_APOSTROPHE = 0x02000000,
  FLAG_COLON = 0x04000000,
  FLAG_COMMA = 0x08000000,
  FLAG_DOT = 0x10000000,
  FLAG_CARET = 0x20000000,
  FLAG_UTF8_WIDE = 0x40000000,   // lead bytes of two- and three-byte sequences
  FLAG_UTF8_ASTRAL = 0x80000000, // lead bytes of four-byte sequences
};
constexpr uint32_t kNonAsciiFlags = FLAG_UTF8_CONTINUATION | FLAG_UTF8_WIDE | FLAG_UTF8_ASTRAL;
constexpr int kUnitFlagShift = 30;

enum Token : uint8_t {
  TOKEN_END, TOKEN_ERROR, TOKEN_BLOCK_OPEN, TOKEN_BLOCK_CLOSE, TOKEN_PAREN_OPEN,
  TOKEN_PAREN_CLOSE, TOKEN_BRACE_OPEN, TOKEN_BRACE_CLOSE, TOKEN_MAP_OPEN, TOKEN_PATH,
  TOKEN_CONSTRUCT, TOKEN_COMMENT, TOKEN_COMMA, TOKEN_STRING, TOKEN_WORD, TOKEN_ISSUE,
  TOKEN_INTEGER, TOKEN_REFINEMENT, TOKEN_CHAR, TOKEN_FILE, TOKEN_BINARY, TOKEN_PERCENT,
  TOKEN_FLOAT, TOKEN_FLOAT_SPECIAL, TOKEN_TUPLE, TOKEN_DATE, TOKEN_PAIR, TOKEN_POINT,
  TOKEN_TIME, TOKEN_MONEY, TOKEN_TAG, TOKEN_URL, TOKEN_EMAIL, TOKEN_HEX_INTEGER,
  TOKEN_RAW_STRING, TOKEN_REF, TOKEN_COUNT,
};
constexpr uint8_t kFirstValueToken = TOKEN_STRING;

// The automaton's start state for the next token.
enum StartState : uint8_t {
  START_DEFAULT = 0,
  START_BRACED = 4,   // inside a braced string, after its `{`
  START_POINT = 35,   // after a `(` that starts a point literal
  START_PATH = 59,    // after a path separator
};

// Error codes of throw_error besides datatype ids (invalid of that datatype).
enum ErrorCode : int32_t {
  ERR_BAD_CHAR = -1,
  ERR_MALCONSTRUCT = -2,
  ERR_MISSING = -3,        // the expected character taken from the byte at the error end
  ERR_MISSING_AT_END = -4,
};

// Loader modes.
enum LoadMode : int { MODE_CHECK = 0, MODE_LOAD = 1 };

// The marker of an open series: a cell of this type (which no loaded value has) with the
// distance back to the previous open position, the opener type (low 16 bits) and the point's
// comma count (high 16 bits), and the opener's byte offset from the input start.
constexpr TypeId kMarkerType = TypeId(31);
constexpr uint32_t kOpenerTypeMask = 0xFFFF;
constexpr int kCommaShift = 16;

// One running scan.
struct State {
  State* parent = nullptr;
  uint32_t head = 0, open = 0, tail = 0;   // value-stack indices
  const uint8_t* input = nullptr;
  const uint8_t* input_end = nullptr;
  const uint8_t* pos = nullptr;
  const uint8_t* token_end = nullptr;
  int32_t line = 1;
  int32_t line_feeds = 0;          // before the current token, since the previous one
  int32_t forced_type = -1;        // read by loaders that serve several datatypes
  int32_t result_type = 0;         // datatype of the last token, 0 for structural ones
  uint8_t start_state = START_DEFAULT;
  uint8_t prev_state = 0;          // the state before the final one: says where errors happened
  int32_t open_type = 0;           // open-series type kept for an error report
  const uint8_t* brace_start = nullptr;
  int32_t brace_depth = 0;
  uint32_t brace_flags = 0;
  Cell callback{};                 // unset when there is none
  uint32_t event_mask = 0;
  Cell source{};                   // unset when the bytes came from no series
  bool source_is_string = false;
  bool raise_errors = true;
  bool load = true;
  bool stopped = false;            // ended quietly (an error in a scan that does not raise)
  const uint8_t* offset_pos = nullptr;   // character-offset cache
  int32_t offset_index = 0;
};

// The innermost running scan.
extern State* current;

// ---- the value stack ----
Cell* stack_at(uint32_t index);
// Pushes a copy of `value` for the scan's current token, with the new-line flag when the token
// came after a line feed.
void push(State& s, const Cell& value);
inline uint32_t opener_type(const Cell* marker) { return marker->data2 & kOpenerTypeMask; }
// The opener type of the innermost open series, 0 when none is open.
uint32_t innermost_type(const State& s);
// Opens a series of `type` at `opener` (open event first); false when the callback refused.
bool open_series(State& s, TypeId type, const uint8_t* opener);
// Closes the innermost series as `type`, turning its cells into one value; `at` is the closer.
// False when the scan ended quietly or the callback abandoned the close.
bool close_series(State& s, TypeId type, const uint8_t* at);
// Closes every series still open, blocks and parens into values, other markers dropped.
void close_all(State& s);
// After an element of a path: a path terminator closes the path (a `:` makes it a set-path),
// anything else must be the next `/`, which is consumed.
bool check_path_element(State& s);

// ---- scanners and loaders ----
using TokenFn = bool (*)(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags,
                         int mode);
struct TokenEntry {
  TokenFn scanner;
  TokenFn loader;
};
extern const TokenEntry kTokenTable[TOKEN_COUNT];

// Scanners (lexer_scanners.cpp).
bool scan_end(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool scan_error(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool scan_block_open(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool scan_block_close(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool scan_paren_open(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool scan_paren_close(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool scan_brace_open(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool scan_brace_close(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool scan_map_open(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool scan_path(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool scan_construct(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool scan_comment(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool scan_comma(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool scan_string(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool scan_word(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool scan_issue(State&, const uint8_t*, const uint8_t*, uint32_t, int);
// True when the bytes after a `(` at `after` make a point literal.
bool point_ahead(const State& s, const uint8_t* after);

// Loaders (lexer_loaders.cpp).
bool load_string(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool load_issue(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool load_word(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool load_integer(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool load_refinement(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool load_char(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool load_file(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool load_binary(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool load_percent(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool load_float(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool load_float_special(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool load_tuple(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool load_date(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool load_pair(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool load_point(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool load_time(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool load_money(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool load_tag(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool load_url(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool load_email(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool load_hex_integer(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool load_raw_string(State&, const uint8_t*, const uint8_t*, uint32_t, int);
bool load_ref(State&, const uint8_t*, const uint8_t*, uint32_t, int);

// Decodes one UTF-8 character at p (p < end) for text values: -1 for an invalid sequence.
int32_t decode_char(const uint8_t*& p, const uint8_t* end);
// True for the 21 Unicode whitespace code points that separate words.
bool unicode_space(int32_t cp);

// Runs the callback through the hooks the evaluator installed.
bool call_callback(const Cell* callback, Cell* args);

// ---- errors and events (lexer_errors.cpp) ----
// Makes the event words and the values events report for structural tokens.
void init_words();
// Raises the syntax error of `code` (see ErrorCode) for the text from `start` (null: the
// innermost opener, else the input start). In a scan that does not raise errors, or when the
// callback's error event declines, ends the scan quietly and answers false.
bool throw_error(State& s, const uint8_t* start, const uint8_t* end, int32_t code);
// Calls the callback for an event when its mask asks for it; answers whether the lexer goes on
// with its default action. `type_code`: a datatype id, 0 for none, -(token + 1) for a
// structural token. `value`: the loaded value of a load event, else null.
bool call_event(State& s, uint32_t event, int32_t type_code, const Cell* value,
                const uint8_t* start, const uint8_t* end);
inline bool fire_event(State& s, uint32_t event, int32_t type_code, const Cell* value,
                       const uint8_t* start, const uint8_t* end) {
  return !s.event_mask || call_event(s, event, type_code, value, start, end);
}
inline bool wants(const State& s, uint32_t event) { return s.event_mask & event; }
// The position of a byte from the input start, in code points for a string! source.
int32_t char_offset(State& s, const uint8_t* position);

}  // namespace xol::lexer
