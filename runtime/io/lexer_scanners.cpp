// The lexer's scanners: the structural tokens (brackets, parens, braces, paths, construction
// syntax, comments, commas) that keep the nesting on the value stack, and the checks that run
// before a string, word or issue is loaded.
//
// Construction syntax is one token from `#(` to its `)`: a keyword, a datatype name, or a
// datatype name, spaces and a string literal (`#(tag! "a>b")`), which the automaton reads as a
// string so that a `)` or `^"` inside it does not end the token.
//
// Paths are scanned element by element: the path token opens the path and loads its first
// word, then each element is an ordinary token started in the path state, after which
// `check_path_element` either consumes the next `/` or closes the path. A paren element closes
// back into the path state, so `a/(b)/c` goes on after its `)` the same way.
#include <cstring>
#include <string_view>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/logic.h"
#include "runtime/io/lexer_internal.h"

namespace xol::lexer {

namespace {

// Bytes allowed between `(` and `,` in a point literal.
bool point_byte(uint8_t byte) {
  if (byte >= '0' && byte <= '9') return true;
  switch (byte) {
    case '\t': case ' ': case '#': case '+': case '-': case '.':
    case 'A': case 'E': case 'F': case 'I': case 'N':
    case 'a': case 'e': case 'f': case 'i': case 'n':
      return true;
    default:
      return false;
  }
}
constexpr ptrdiff_t kPointMinBytes = 4;

// Classes after which a path element (or its trailing colon) ends the path: ws LF [ ] ( ) {
// dq : < ; bad end. The class `other` is left out, so `a/b:g` is as invalid as `a/b:c`.
constexpr bool kEndsPath[kClassCount] = {
    true,  true,  false, false, true,  true,  true,  true,  true,  false,   // 0-9
    true,  false, false, true,  false, false, false, false, false, false,   // 10-19
    false, false, false, true,  false, false, false, false, true,  false,   // 20-29
    false, false, false, false, false, false, false, false, true,  true,    // 30-39
};

bool ends_path(const State& s, const uint8_t* at) {
  if (at >= s.input_end || kEndsPath[kCharClass[*at] & kClassMask]) return true;
  // A Unicode space ends a path as a space does.
  return *at >= 0x80 && unicode_space(decode_char(at, s.input_end));
}

// The construction keywords, with the values they give.
struct Keyword {
  std::string_view name;
  Cell value;
};
const Keyword kKeywords[] = {
    {"true", Cell{TYPE_LOGIC, 1, 0, 0}},
    {"false", Cell{TYPE_LOGIC, 0, 0, 0}},
    {"none", Cell{TYPE_NONE, 0, 0, 0}},
    {"unset", Cell{TYPE_UNSET, 0, 0, 0}},
};

bool same_letters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  }
  return true;
}

// The datatype id that construction text names ("integer!" or "integer"), 0 for none.
int32_t datatype_named(std::string_view text) {
  for (int32_t type = 1; type <= datatype::highest_type(); ++type) {
    const datatype::TableEntry& entry = datatype::entry(type);
    if (!entry.name) continue;
    std::string_view name(entry.name, size_t(entry.name_length));
    std::string_view body = text;
    if (body.size() == name.size() + 1 && body.back() == '!') body.remove_suffix(1);
    if (same_letters(body, name)) return type;
  }
  return 0;
}

// The automaton reaches `#` after digits too, for the base of a binary (`64#{`); a map or an
// issue has no such prefix.
bool sharp_first(const uint8_t* start) { return *start == '#'; }

constexpr uint32_t kSpaceClass = 0;   // tab, CR and space

bool is_space(uint8_t byte) { return (kCharClass[byte] & kClassMask) == kSpaceClass; }

const uint8_t* skip_spaces(const uint8_t* p, const uint8_t* end) {
  while (p < end && is_space(*p)) ++p;
  return p;
}

// The text types whose literal form cannot hold every text, so that mold writes some of their
// values as constructions.
bool construct_from_text(int32_t type) {
  return type == TYPE_TAG || type == TYPE_EMAIL || type == TYPE_REF || type == TYPE_URL;
}

// The construction of a value from text, `#(tag! "text")`: `name` must name a datatype whose
// literal cannot hold every text, and the rest, from `p` to `body_end` (the `)`), must be one
// string literal between spaces. The string ends where the automaton's string states end it:
// at the first `"` not after a `^`.
bool scan_text_construct(State& s, const uint8_t* start, const uint8_t* end,
                         std::string_view name, const uint8_t* p, const uint8_t* body_end,
                         uint32_t flags) {
  p = skip_spaces(p, body_end);
  const TypeId type = TypeId(datatype_named(name));
  if (!construct_from_text(type) || p == body_end || *p != '"') {
    return throw_error(s, start, end, ERR_MALCONSTRUCT);
  }
  const uint8_t* quote = p;
  for (++p; p < body_end && *p != '"'; ++p) {
    if (*p == '^') ++p;
  }
  if (p >= body_end || skip_spaces(p + 1, body_end) != body_end) {
    return throw_error(s, start, end, ERR_MALCONSTRUCT);
  }
  s.result_type = type;
  if (!load_string(s, quote, p + 1, flags, s.load ? MODE_LOAD : MODE_CHECK)) return false;
  if (s.load) cell::set_type(stack_at(s.tail - 1), type);
  return true;
}

}  // namespace

bool point_ahead(const State& s, const uint8_t* after) {
  if (s.input_end - after < kPointMinBytes) return false;
  for (const uint8_t* p = after; p < s.input_end; ++p) {
    if (!point_byte(*p)) return *p == ',';
  }
  return true;
}

bool check_path_element(State& s) {
  const uint8_t* at = s.pos;
  if (at < s.input_end && *at == ':') {
    if (!ends_path(s, at + 1) || (at + 1 < s.input_end && at[1] == '/')) {
      return throw_error(s, nullptr, at + 1, TYPE_PATH);
    }
    s.pos = at + 1;
    return close_series(s, TYPE_SET_PATH, at);
  }
  if (ends_path(s, at)) return close_series(s, TypeId(innermost_type(s)), at);
  if (*at != '/') return throw_error(s, nullptr, at, TYPE_PATH);
  s.pos = at + 1;
  if (s.pos == s.input_end) return throw_error(s, nullptr, s.pos, TYPE_PATH);
  return true;
}

bool scan_end(State& s, const uint8_t*, const uint8_t*, uint32_t, int) {
  s.pos = s.input_end;
  return true;
}

bool scan_error(State& s, const uint8_t* start, const uint8_t* end, uint32_t, int) {
  int32_t type = kStateType[s.prev_state];
  // A point literal's text starts at its `(`, as the point loader reports it.
  if (s.prev_state == START_POINT) --start;
  if (s.start_state == START_PATH) type = TYPE_PATH;
  if (s.start_state == START_BRACED) {
    start = s.brace_start;
    type = TYPE_STRING;
  }
  return throw_error(s, start, end, type ? type : ERR_BAD_CHAR);
}

bool scan_block_open(State& s, const uint8_t* start, const uint8_t*, uint32_t, int) {
  return open_series(s, TYPE_BLOCK, start);
}

bool scan_block_close(State& s, const uint8_t* start, const uint8_t*, uint32_t, int) {
  return close_series(s, TYPE_BLOCK, start);
}

bool scan_paren_open(State& s, const uint8_t* start, const uint8_t*, uint32_t, int) {
  if (point_ahead(s, s.pos)) {
    s.start_state = START_POINT;
    return true;
  }
  return open_series(s, TYPE_PAREN, start);
}

bool scan_paren_close(State& s, const uint8_t* start, const uint8_t*, uint32_t, int) {
  if (!close_series(s, TYPE_PAREN, start)) return false;
  return s.start_state != START_PATH || check_path_element(s);
}

bool scan_brace_open(State& s, const uint8_t* start, const uint8_t*, uint32_t flags, int) {
  if (s.brace_depth == 0) {
    if (!fire_event(s, EVENT_OPEN, TYPE_STRING, nullptr, start, s.pos)) return !s.stopped;
    s.brace_start = start;
    s.brace_flags = s.line_feeds > 0 ? uint32_t(FLAG_BRACE_NEW_LINE) : 0u;
  }
  ++s.brace_depth;
  s.brace_flags |= flags;
  s.start_state = START_BRACED;
  return true;
}

bool scan_brace_close(State& s, const uint8_t*, const uint8_t* end, uint32_t flags, int) {
  s.brace_flags |= flags;
  if (--s.brace_depth > 0) return true;
  const uint8_t* from = s.brace_start;
  uint32_t string_flags = s.brace_flags;
  s.brace_start = nullptr;
  s.brace_flags = 0;
  s.start_state = START_DEFAULT;
  s.result_type = TYPE_STRING;
  if (!fire_event(s, EVENT_CLOSE, TYPE_STRING, nullptr, from, end)) return !s.stopped;
  if (!s.load) {
    if (!load_string(s, from, end, string_flags, MODE_CHECK)) return false;
    return fire_event(s, EVENT_SCAN, TYPE_STRING, nullptr, from, end) || !s.stopped;
  }
  if (!fire_event(s, EVENT_SCAN, TYPE_STRING, nullptr, from, end)) return !s.stopped;
  // The value is marked as starting a line when its opening brace did.
  int32_t line_feeds = s.line_feeds;
  s.line_feeds = (string_flags & FLAG_BRACE_NEW_LINE) ? 1 : 0;
  uint32_t before = s.tail;
  bool loaded = load_string(s, from, end, string_flags, MODE_LOAD);
  s.line_feeds = line_feeds;
  if (!loaded) return false;
  if (!fire_event(s, EVENT_LOAD, TYPE_STRING, stack_at(s.tail - 1), from, end)) {
    s.tail = before;
  }
  return !s.stopped;
}

bool scan_map_open(State& s, const uint8_t* start, const uint8_t* end, uint32_t, int) {
  if (!sharp_first(start)) return throw_error(s, start, end, TYPE_MAP);
  return open_series(s, TYPE_MAP, start);
}

bool scan_path(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags, int) {
  TypeId type = *start == '\'' ? TYPE_LIT_PATH : *start == ':' ? TYPE_GET_PATH : TYPE_PATH;
  if (!open_series(s, type, start)) return false;
  const uint8_t* word_start = type == TYPE_PATH ? start : start + 1;
  const uint8_t* word_end = end - 1;   // before the separator
  if (s.load && fire_event(s, EVENT_SCAN, TYPE_WORD, nullptr, word_start, word_end)) {
    s.forced_type = TYPE_WORD;
    uint32_t before = s.tail;
    if (!load_word(s, word_start, word_end, flags & ~FLAG_COLON, MODE_LOAD)) return false;
    if (!fire_event(s, EVENT_LOAD, TYPE_WORD, stack_at(s.tail - 1), word_start, word_end)) {
      s.tail = before;
    }
    s.forced_type = -1;
  }
  if (s.stopped) return false;
  s.start_state = START_PATH;
  if (s.pos == s.input_end) return throw_error(s, nullptr, s.pos, TYPE_PATH);
  return true;
}

bool scan_construct(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags, int) {
  constexpr size_t kOpenerLength = 2;   // "#("
  const uint8_t* body = start + kOpenerLength;
  const uint8_t* body_end = end - 1;    // the ")"
  const uint8_t* name_end = body;
  while (name_end < body_end && !is_space(*name_end)) ++name_end;
  std::string_view text(reinterpret_cast<const char*>(body), size_t(name_end - body));
  if (name_end < body_end) {
    return scan_text_construct(s, start, end, text, name_end, body_end, flags);
  }
  // A keyword is the whole text: `#(none!)` and `#(unset!)` name datatypes, as mold/all
  // writes them.
  Cell value;
  bool found = false;
  for (const Keyword& keyword : kKeywords) {
    if (same_letters(text, keyword.name)) {
      value = keyword.value;
      found = true;
      break;
    }
  }
  if (!found) {
    int32_t type = datatype_named(text);
    if (!type) return throw_error(s, start, end, ERR_MALCONSTRUCT);
    value = datatype::make(type);
  }
  s.result_type = value.type();
  if (s.load) push(s, value);
  return true;
}

bool scan_comment(State& s, const uint8_t* start, const uint8_t* end, uint32_t, int) {
  return fire_event(s, EVENT_SCAN, -(int32_t(TOKEN_COMMENT) + 1), nullptr, start, end) ||
         !s.stopped;
}

bool scan_comma(State& s, const uint8_t* start, const uint8_t* end, uint32_t, int) {
  uint32_t type = innermost_type(s);
  if (s.open > s.head) {
    Cell* marker = stack_at(s.open - 1);
    uint32_t commas = marker->data2 >> kCommaShift;
    if (type == TYPE_PAREN || (type == TYPE_POINT2D && commas == 1)) {
      marker->data2 = TYPE_POINT2D | ((commas + 1) << kCommaShift);
      return true;
    }
  }
  return throw_error(s, start, end, TYPE_POINT2D);
}

bool scan_string(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags, int) {
  return load_string(s, start, end, flags, MODE_CHECK);
}

bool scan_word(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags, int) {
  TypeId type = TYPE_WORD;
  if (*start == '\'') {
    if (flags & FLAG_COLON) return throw_error(s, start, end, TYPE_LIT_WORD);
    type = TYPE_LIT_WORD;
  } else if (flags & FLAG_COLON) {
    bool leading = *start == ':';
    bool trailing = end[-1] == ':';
    const uint8_t* inner_start = start + leading;
    const uint8_t* inner_end = end - trailing;
    bool inner_colon =
        inner_end > inner_start && std::memchr(inner_start, ':', size_t(inner_end - inner_start));
    if (inner_colon || leading == trailing) return throw_error(s, start, end, TYPE_WORD);
    type = leading ? TYPE_GET_WORD : TYPE_SET_WORD;
  }
  s.result_type = type;
  return true;
}

bool scan_issue(State& s, const uint8_t* start, const uint8_t* end, uint32_t, int) {
  if (end - start < 2 || !sharp_first(start)) return throw_error(s, start, end, TYPE_ISSUE);
  return true;
}

}  // namespace xol::lexer
