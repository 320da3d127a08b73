// The lexer's syntax errors and trace events.
//
// A syntax error names its place twice: "(line N)" and the text from the error start, cut at
// the first line feed or after 30 bytes on a character boundary. Inside a path every error is
// reported as a bad character. A scan that does not raise errors (a check or prescan) ends
// quietly instead, with error! as its result type.
//
// Trace events hand the callback the source series positioned at the token, counted in code
// points for a string! source. Converting byte positions to code points is incremental from
// the last position asked for, so a stream of events over a long text costs time in proportion
// to the distance moved, not to the position.
#include <string>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/io/lexer_internal.h"
#include "runtime/text/utf8.h"

namespace xol::lexer {

namespace {

constexpr ptrdiff_t kErrorTextBytes = 30;
constexpr int kEventCount = 6;
constexpr const char* kEventNames[kEventCount] = {"prescan", "scan", "load",
                                                  "open",    "close", "error"};
Cell event_words[kEventCount];

// What events report for the structural tokens (their entries of system/lexer/exit-states):
// a word for the end, comments and commas, else the datatype the token belongs to.
struct ExitState {
  const char* word;
  TypeId type;
};
constexpr ExitState kExitStates[kFirstValueToken] = {
    {"eof", TypeId(0)},        {nullptr, TYPE_ERROR}, {nullptr, TYPE_BLOCK},
    {nullptr, TYPE_BLOCK},     {nullptr, TYPE_PAREN}, {nullptr, TYPE_PAREN},
    {nullptr, TYPE_STRING},    {nullptr, TYPE_STRING}, {nullptr, TYPE_MAP},
    {nullptr, TYPE_PATH},      {nullptr, TYPE_DATATYPE}, {"comment", TypeId(0)},
    {"comma", TypeId(0)},
};
Cell exit_state_values[kFirstValueToken];

bool is_path_type(int32_t type) { return type >= TYPE_PATH && type <= TYPE_GET_PATH; }

Cell text_value(std::string_view text) {
  Cell value;
  text::make(&value, uint32_t(text.size()));
  text::append(&value, text);
  return value;
}

// The text an error shows: from `start` to the first line feed, the input end (a NUL ends it
// too), or the first character boundary at or beyond 30 bytes.
std::string_view error_text(const State& s, const uint8_t* start) {
  const uint8_t* p = start;
  while (p < s.input_end && *p != '\n' && *p != '\0') {
    if (p - start >= kErrorTextBytes && (*p & 0xC0) != 0x80) break;
    ++p;
  }
  return {reinterpret_cast<const char*>(start), size_t(p - start)};
}

// The bracket a `missing` error expects (a char!), given the opener's type and the byte met;
// none for other openers.
Cell expected_bracket(uint32_t opener, uint8_t met) {
  switch (opener) {
    case TYPE_BLOCK: case TYPE_MAP: return character::make(met == ']' ? '[' : ']');
    case TYPE_PAREN: case TYPE_POINT2D: return character::make(met == ')' ? '(' : ')');
    default: return Cell{TYPE_NONE, 0, 0, 0};
  }
}

Cell type_value(int32_t code) {
  if (code > 0) return datatype::make(code);
  if (code == 0) return Cell{TYPE_NONE, 0, 0, 0};
  return exit_state_values[-code - 1];
}

}  // namespace

void init_words() {
  for (int i = 0; i < kEventCount; ++i) event_words[i] = word::load(kEventNames[i]);
  for (int token = 0; token < kFirstValueToken; ++token) {
    const ExitState& entry = kExitStates[token];
    exit_state_values[token] =
        entry.word ? word::load(entry.word) : datatype::make(entry.type);
  }
}

int32_t char_offset(State& s, const uint8_t* position) {
  if (!s.source_is_string) return int32_t(position - s.input);
  if (position >= s.offset_pos) {
    s.offset_index += int32_t(utf8::count_chars(s.offset_pos, position));
  } else {
    s.offset_index -= int32_t(utf8::count_chars(position, s.offset_pos));
  }
  s.offset_pos = position;
  return s.offset_index;
}

uint32_t event_mask(const Cell* body) {
  if (!body || block::length(body) == 0) return kAllEvents;
  const Cell* first = block::head(body);
  if (!first->is(TYPE_BLOCK)) return kAllEvents;
  uint32_t mask = 0;
  for (const Cell* item = block::head(first); item < block::tail(first); ++item) {
    if (!word::any_word_type(item->type())) continue;
    for (int i = 0; i < kEventCount; ++i) {
      if (symbol::resolve(word::symbol_of(item)) ==
          symbol::resolve(word::symbol_of(&event_words[i]))) {
        mask |= 1u << i;
      }
    }
  }
  return mask;
}

bool call_event(State& s, uint32_t event, int32_t type_code, const Cell* value,
                const uint8_t* start, const uint8_t* end) {
  if (event == EVENT_SCAN && type_code == TYPE_ERROR) event = EVENT_ERROR;
  if (!(s.event_mask & event)) return true;
  if (type_code == TYPE_POINT2D || type_code == TYPE_POINT3D) --start;
  bool structural = type_code < 0;
  if (event == EVENT_PRESCAN && type_code == -(int32_t(TOKEN_PAREN_OPEN) + 1) &&
      point_ahead(s, end)) {
    return true;
  }
  if (event == EVENT_ERROR && s.brace_depth > 0) start = s.brace_start;

  int event_index = __builtin_ctz(event);
  const uint8_t* at = (event == EVENT_OPEN || (event == EVENT_PRESCAN && structural)) ? start
                                                                                      : end;
  int32_t base = int32_t(s.source.head_index());
  int32_t at_index = char_offset(s, at);
  Cell args[kCallbackArgs];
  args[0] = event_words[event_index];
  if (s.source.is(TYPE_UNSET)) {
    args[1] = Cell{TYPE_NONE, 0, 0, 0};
  } else {
    args[1] = s.source;
    args[1].data1 = uint32_t(base + at_index);
  }
  args[2] = type_value(type_code);
  args[3] = integer::make(s.line);
  if (event == EVENT_LOAD && value) {
    args[4] = *value;
  } else {
    int32_t from = char_offset(s, start) + 1;
    int32_t to = char_offset(s, end) + 1;
    args[4] = pair::make(from, to);
  }
  bool result = call_callback(&s.callback, args);
  if (!args[1].is(TYPE_NONE) && int32_t(args[1].data1) != base + at_index) {
    int32_t index = int32_t(args[1].data1) - base;
    if (index < 0) index = 0;
    const uint8_t* moved =
        s.source_is_string
            ? utf8::skip_chars(s.input, s.input_end, size_t(index))
            : (index > s.input_end - s.input ? s.input_end : s.input + index);
    s.pos = moved;
  }
  return result;
}

bool throw_error(State& s, const uint8_t* start, const uint8_t* end, int32_t code) {
  if (!s.raise_errors) {
    s.result_type = TYPE_ERROR;
    s.stopped = true;
    return false;
  }
  if (!start) start = s.open > s.head ? s.input + stack_at(s.open - 1)->data3 : s.input;
  if (wants(s, EVENT_ERROR)) {
    int32_t type = code > 0                ? code
                   : s.open_type            ? s.open_type
                   : s.result_type > 0      ? s.result_type
                   : s.forced_type > 0      ? s.forced_type
                                            : TYPE_ERROR;
    if (s.start_state == START_PATH && is_path_type(int32_t(innermost_type(s)))) {
      close_series(s, TypeId(innermost_type(s)), end);
    }
    if (!fire_event(s, EVENT_ERROR, type, nullptr, start, end)) {
      s.result_type = TYPE_ERROR;
      s.stopped = true;
      return false;
    }
  }
  Cell text = text_value(error_text(s, start));
  Cell line = text_value("(line " + std::to_string(s.line) + ")");
  if (is_path_type(s.open_type)) code = ERR_BAD_CHAR;
  uint32_t opener = innermost_type(s);
  if (!opener) opener = uint32_t(s.open_type);
  close_all(s);
  switch (code) {
    case ERR_BAD_CHAR:
      error::raise(error::CAT_SYNTAX, "bad-char", &line, &text);
    case ERR_MALCONSTRUCT:
      error::raise(error::CAT_SYNTAX, "malconstruct", &line, &text);
    case ERR_MISSING:
    case ERR_MISSING_AT_END: {
      uint8_t met = code == ERR_MISSING_AT_END ? '_'
                    : end < s.input_end         ? *end
                                                : end[-1];
      Cell expected = expected_bracket(opener, met);
      error::raise(error::CAT_SYNTAX, "missing", &line, &expected, &text);
    }
    default: {
      Cell type = datatype::make(code);
      error::raise(error::CAT_SYNTAX, "invalid", &line, &type, &text);
    }
  }
}

}  // namespace xol::lexer
