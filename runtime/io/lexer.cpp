// The lexer's scan loop: the automaton run over the bytes, the token dispatch, the value stack
// and the nesting of series on it, and the entry points.
//
// One run of the automaton recognises one token: each byte costs a class lookup, a transition
// lookup and one OR that accumulates the character flags, so scanners and loaders learn what a
// token holds without a second pass. The final state names the token; the byte that led to it
// is not consumed by the automaton, except by the tokens that end on their own closing
// character (quotes, brackets, braces, `>`, `/` of a path), which take it here.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "runtime/memory/collector.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/compound.h"
#include "runtime/datatypes/evaluator_hooks.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/io/lexer_internal.h"
#include "runtime/io/number_converters.h"
#include "runtime/memory/memory.h"
#include "runtime/text/utf8.h"

namespace xol::lexer {

namespace {
bool is_marker(const Cell* cell);
void mark();

constexpr uint32_t kInitialStackCells = 1000;
constexpr uint32_t kConversionBytes = 100000;

Cell* stack = nullptr;
uint32_t stack_capacity = 0;
uint8_t* conversion = nullptr;
uint32_t conversion_used = 0;

// Tokens whose final byte is their own closing character (a file! only when quoted).
constexpr bool kTakesFinalByte[TOKEN_COUNT] = {
    false, false, true,  true,  true,  true,  true,  true,  true,  true,  true,  false,
    true,  true,  false, false, false, false, true,  false, true,  true,  false, false,
    false, false, false, true,  false, false, true,  false, false, false, false, false,
};

bool is_path_type(uint32_t type) { return type >= TYPE_PATH && type <= TYPE_GET_PATH; }

void grow_stack(uint32_t needed) {
  uint32_t capacity = stack_capacity ? stack_capacity : kInitialStackCells;
  while (capacity < needed) capacity *= 2;
  void* grown = std::realloc(stack, size_t(capacity) * sizeof(Cell));
  if (!grown) error::raise(error::CAT_INTERNAL, "no-memory");
  stack = static_cast<Cell*>(grown);
  stack_capacity = capacity;
}

Cell* alloc_slot(State& s) {
  if (s.tail >= stack_capacity) grow_stack(s.tail + 1);
  return &stack[s.tail++];
}

// A new series value of `type` holding copies of `count` cells from the stack.
Cell make_series(TypeId type, uint32_t first, uint32_t count) {
  Cell series;
  block::make_at(&series, int32_t(count));
  memory::SeriesBuffer* buffer = memory::buffer_of(series.node());
  if (count) std::memcpy(buffer->cells(), stack + first, count * sizeof(Cell));
  buffer->tail = buffer->head + count * uint32_t(sizeof(Cell));
  cell::set_type(&series, type);
  return series;
}

// The map! of `count` cells from stack index `first`, keys and values by turns, closed at `at`:
// an odd count or a key of a type that cannot be a key is an invalid map!.
bool make_map(State& s, uint32_t first, uint32_t count, const uint8_t* at, Cell* out) {
  if (count % 2) return throw_error(s, nullptr, at, TYPE_MAP);
  for (uint32_t i = 0; i < count; i += 2) {
    if (!map::valid_key_type(stack[first + i].type())) return throw_error(s, nullptr, at, TYPE_MAP);
  }
  Cell pairs = make_series(TYPE_BLOCK, first, count);
  map::make_at(out, int32_t(count / 2));
  map::extend_from_block(out, &pairs, false);
  return true;
}

// Hands the collected cells to the caller: appended to `into`, or as a new block.
void deliver_block(State& s, Cell* into, Cell* out) {
  uint32_t count = s.tail - s.head;
  if (!into) {
    *out = make_series(TYPE_BLOCK, s.head, count);
    return;
  }
  for (uint32_t i = 0; i < count; ++i) block::append_cell(into, stack + s.head + i);
  *out = *into;
}

// Tokens that a Unicode space ends as a space does; the others (strings, characters, tags,
// files, binaries, constructions, points, comments) may hold one, or end only at their own
// closing character.
constexpr bool kEndsAtUnicodeSpace[TOKEN_COUNT] = {
    false, false, false, false, false, false, false, false, false, true,  false, false,
    false, false, true,  true,  true,  true,  false, false, false, true,  true,  true,
    true,  true,  true,  false, true,  true,  false, true,  true,  true,  false, true,
};

// Where a Unicode space after the first character of the token from `start` to `p` ends it
// early, or null. An invalid token counts the character the automaton failed on, at `p`.
const uint8_t* inner_space(Token token, uint32_t flags, const uint8_t* start, const uint8_t* p,
                           const uint8_t* end) {
  if (token == TOKEN_ERROR) {
    const uint8_t* at = p;
    return p > start && p < end && unicode_space(decode_char(at, end)) ? p : nullptr;
  }
  if (!kEndsAtUnicodeSpace[token] || !(flags & kNonAsciiFlags)) return nullptr;
  for (const uint8_t* q = start; q < p;) {
    const uint8_t* at = q;
    if (unicode_space(decode_char(q, p))) return at > start ? at : nullptr;
  }
  return nullptr;
}

// The innermost scan is unlinked however the scan ends; its cells go with it.
struct Unlink {
  State& s;
  ~Unlink() { current = s.parent; }
};

void scan_tokens(State& s, bool one_value, bool prescan) {
  const bool has_callback = !s.callback.is(TYPE_UNSET);
  // The line before the token; kept over Unicode spaces, so that the token after them still
  // learns of a line break before them.
  int32_t line_before = s.line;
  while (s.pos < s.input_end && !s.stopped) {
    const uint8_t* p = s.pos;
    const uint8_t* end = s.input_end;
    const uint8_t start_state = s.start_state;
    uint32_t flags = 0;
    uint32_t skip = 0;
    uint32_t state = start_state;
    uint32_t previous = state;
    // Only line feeds before the token mark it as written on a new line, not those inside it
    // (a binary or raw string over several lines).
    int32_t start_line = s.line;
    // One run of the automaton from p up to `end`.
    auto run = [&] {
      for (;;) {
        if (p == end) {
          previous = state;
          state = kTransitions[state * kClassCount + kEndClass];
          break;
        }
        uint32_t entry = kCharClass[*p];
        uint32_t byte_class = entry & kClassMask;
        uint32_t next = kTransitions[state * kClassCount + byte_class];
        skip += kSkip[next];
        previous = state;
        state = next;
        if (next >= kFinalBase) break;
        flags |= entry;
        s.line += kLineStep[byte_class];
        if (kSkip[next]) start_line = s.line;
        ++p;
      }
    };
    run();
    const uint8_t* start = s.pos + skip;
    // The automaton reads a Unicode space as a letter; inside a token that cannot hold one it
    // ends the token as a space does, so the automaton runs again over the text before it (a
    // word before U+00A0 and a colon is a word, not a url!).
    if (const uint8_t* space = inner_space(Token(state - kFinalBase), flags, start, p, end)) {
      s.line -= int32_t(std::count(start, p, '\n'));   // the run counts them again
      p = start;
      end = space;
      flags = 0;
      state = start_state;
      run();
    }
    Token token = Token(state - kFinalBase);
    // The byte that ended the token counts as its own only when it is its closing character.
    if (p < end && (kTakesFinalByte[token] || (token == TOKEN_FILE && *p == '"'))) {
      flags |= kCharClass[*p];
      ++p;
    }
    flags &= ~kClassMask;
    s.pos = s.token_end = p;
    // A point literal is whole at its `)`, and like a paren it may be an element of a path.
    if (start_state == START_POINT) {
      s.start_state = is_path_type(innermost_type(s)) ? START_PATH : START_DEFAULT;
    }
    s.line_feeds = start_line - line_before;
    s.prev_state = uint8_t(previous);
    s.forced_type = -1;
    s.result_type = kStateType[state];
    // Unicode spaces separate tokens, but the automaton reads them as letters of a word: a
    // token that starts with them is scanned again from its first other character, so that
    // U+00A0 followed by 1 is the integer 1, not a word "1". In a path, where a space ends the
    // path, they are as invalid as a space where an element should start.
    if ((flags & kNonAsciiFlags) && token != TOKEN_ERROR &&
        (token == TOKEN_WORD || start_state == START_DEFAULT)) {
      const uint8_t* q = start;
      while (q < p) {
        const uint8_t* at = q;
        int32_t cp = decode_char(q, p);
        if (cp < 0) {
          if (!throw_error(s, start, p, TYPE_WORD)) return;
        }
        if (!unicode_space(cp)) {
          q = at;
          break;
        }
      }
      if (q != start && start_state == START_PATH) {
        throw_error(s, start, p, TYPE_PATH);
        return;
      }
      if (q == p) {
        if (p < end) continue;
        token = TOKEN_END;
        s.result_type = 0;
      } else if (q != start) {
        s.pos = q;
        continue;
      }
    }
    // Taken only now: a word of nothing but Unicode spaces at the end of the input became the end.
    const TokenEntry& entry = kTokenTable[token];

    if (prescan && token < kFirstValueToken) {
      if (!entry.scanner(s, start, p, flags, MODE_CHECK)) return;
    }

    bool process = !prescan;
    if (has_callback && start_state != START_BRACED) {
      int32_t type_code = token < kFirstValueToken ? -(int32_t(token) + 1) : s.result_type;
      process = fire_event(s, EVENT_PRESCAN, type_code, nullptr, start, p) && !prescan;
      if (s.stopped) return;
    }
    if (process) {
      if (token >= kFirstValueToken) {
        bool load = !(one_value && !s.raise_errors);
        if (!s.raise_errors || entry.scanner || wants(s, EVENT_SCAN)) {
          bool ok = entry.scanner ? entry.scanner(s, start, s.token_end, flags, s.raise_errors)
                                  : entry.loader(s, start, s.token_end, flags, MODE_CHECK);
          if (!ok) return;
          if (has_callback) {
            load = fire_event(s, EVENT_SCAN, s.result_type, nullptr, start, s.token_end);
            if (s.stopped) return;
          }
        }
        if (load && entry.loader) {
          uint32_t before = s.tail;
          if (!entry.loader(s, start, s.token_end, flags, MODE_LOAD)) return;
          if (has_callback && s.tail > before &&
              !fire_event(s, EVENT_LOAD, s.result_type, stack_at(s.tail - 1), start,
                          s.token_end)) {
            s.tail = before;
          }
          if (s.stopped) return;
        }
      } else if (!prescan) {
        if (!entry.scanner(s, start, p, flags, s.raise_errors)) return;
      }
    }
    if ((start_state == START_PATH || start_state == START_POINT) && token >= kFirstValueToken &&
        s.start_state == START_PATH) {
      if (!check_path_element(s)) return;
    }
    if ((one_value || prescan) && s.result_type != 0 && s.start_state != START_PATH &&
        s.start_state != START_BRACED) {
      uint32_t count = s.tail - s.head;
      if (count == 0 || (count == 1 && !is_marker(stack_at(s.head)))) return;
    }
    line_before = s.line;
  }
  if (s.brace_depth > 0 && !s.stopped) {
    throw_error(s, s.brace_start, s.input_end, TYPE_STRING);
  }
}

}  // namespace

State* current = nullptr;

Cell* stack_at(uint32_t index) { return &stack[index]; }

void push(State& s, const Cell& value) {
  Cell* slot = alloc_slot(s);
  *slot = value;
  slot->header = (slot->header & ~kNewLineFlag) | (s.line_feeds > 0 ? kNewLineFlag : 0);
}

namespace {
bool is_marker(const Cell* cell) { return cell->type() == kMarkerType; }
}  // namespace

uint32_t innermost_type(const State& s) {
  return s.open > s.head ? opener_type(&stack[s.open - 1]) : 0;
}

bool open_series(State& s, TypeId type, const uint8_t* opener) {
  if (innermost_type(s) == TYPE_POINT2D) return throw_error(s, opener, s.pos, TYPE_POINT2D);
  if (!fire_event(s, EVENT_OPEN, type, nullptr, opener, s.pos)) return !s.stopped;
  Cell marker{kMarkerType, s.tail - s.open, type, uint32_t(opener - s.input)};
  push(s, marker);
  s.open = s.tail;
  s.start_state = START_DEFAULT;
  return true;
}

bool close_series(State& s, TypeId type, const uint8_t* at) {
  uint32_t open_type = innermost_type(s);
  bool matches = open_type == type || (type == TYPE_BLOCK && open_type == TYPE_MAP) ||
                 (type == TYPE_SET_PATH && open_type == TYPE_PATH);
  if (!matches) {
    s.open_type = open_type ? int32_t(open_type) : int32_t(type);
    return throw_error(s, nullptr, at, ERR_MISSING);
  }
  TypeId made = type == TYPE_BLOCK ? TypeId(open_type) : type;
  if (!fire_event(s, EVENT_CLOSE, made, nullptr, at, s.pos)) return !s.stopped;
  uint32_t marker_index = s.open - 1;
  Cell* marker = &stack[marker_index];
  uint32_t previous_open = marker_index - marker->data1;
  uint32_t new_line = marker->header & kNewLineFlag;
  Cell value{TYPE_NONE, 0, 0, 0};
  if (s.load) {
    if (made == TYPE_MAP) {
      if (!make_map(s, s.open, s.tail - s.open, at, &value)) return false;
    } else {
      value = make_series(made, s.open, s.tail - s.open);
    }
  }
  value.header = (value.header & ~kNewLineFlag) | new_line;
  stack[marker_index] = value;
  s.tail = marker_index + 1;
  s.open = previous_open;
  s.result_type = made;
  s.start_state = is_path_type(innermost_type(s)) ? START_PATH : START_DEFAULT;
  return true;
}

void close_all(State& s) {
  while (s.open > s.head) {
    uint32_t marker_index = s.open - 1;
    Cell* marker = &stack[marker_index];
    uint32_t type = opener_type(marker);
    uint32_t previous_open = marker_index - marker->data1;
    if (type == TYPE_BLOCK || type == TYPE_PAREN) {
      uint32_t new_line = marker->header & kNewLineFlag;
      Cell value = make_series(TypeId(type), s.open, s.tail - s.open);
      value.header |= new_line;
      stack[marker_index] = value;
      s.tail = marker_index + 1;
    } else {
      std::memmove(&stack[marker_index], &stack[s.open], (s.tail - s.open) * sizeof(Cell));
      s.tail -= 1;
    }
    s.open = previous_open;
  }
}

const TokenEntry kTokenTable[TOKEN_COUNT] = {
    {scan_end, nullptr},           {scan_error, nullptr},       {scan_block_open, nullptr},
    {scan_block_close, nullptr},   {scan_paren_open, nullptr},  {scan_paren_close, nullptr},
    {scan_brace_open, nullptr},    {scan_brace_close, nullptr}, {scan_map_open, nullptr},
    {scan_path, nullptr},          {scan_construct, nullptr},   {scan_comment, nullptr},
    {scan_comma, nullptr},         {scan_string, load_string},  {scan_word, load_word},
    {scan_issue, load_issue},      {nullptr, load_integer},     {nullptr, load_refinement},
    {nullptr, load_char},          {nullptr, load_file},        {nullptr, load_binary},
    {nullptr, load_percent},       {nullptr, load_float},       {nullptr, load_float_special},
    {nullptr, load_tuple},         {nullptr, load_date},        {nullptr, load_pair},
    {nullptr, load_point},         {nullptr, load_time},        {nullptr, load_money},
    {nullptr, load_tag},           {nullptr, load_url},         {nullptr, load_email},
    {nullptr, load_hex_integer},   {nullptr, load_raw_string},  {nullptr, load_ref},
};

bool call_callback(const Cell* callback, Cell* args) {
  const auto call = evaluator_hooks::installed().call_lexer_callback;
  return call ? call(callback, args) : true;
}

void init() {
  if (stack) return;
  grow_stack(kInitialStackCells);
  conversion = static_cast<uint8_t*>(std::malloc(kConversionBytes));
  init_words();
  collector::register_mark(mark, collector::RANK_LEXER_STACKS);
  compound::set_text_loader(value::load_from_string);
}

void release() {
  collector::unregister_mark(mark);
  std::free(stack);
  std::free(conversion);
  stack = nullptr;
  conversion = nullptr;
  stack_capacity = 0;
  conversion_used = 0;
  current = nullptr;
}

namespace {
// Marks the cells of every running scan (collector hook).
void mark() {
  for (State* s = current; s; s = s->parent) {
    collector::mark_cells(stack + s->head, stack + s->tail);
    collector::mark_cell(s->source);
    collector::mark_cell(s->callback);
  }
}
}  // namespace

int32_t scan(Cell* into, const Cell* source, const Cell* callback, int32_t* consumed,
             const Mode& mode, uint32_t length, const uint8_t* bytes, Cell* out) {
  State s;
  s.parent = current;
  s.head = s.open = s.tail = current ? current->tail : 0;
  s.input = s.pos = s.offset_pos = bytes;
  s.input_end = bytes + length;
  s.load = mode.load;
  s.raise_errors = mode.load && !mode.prescan;
  if (source) {
    s.source = *source;
    s.source_is_string = !source->is(TYPE_BINARY);
  }
  if (callback) {
    s.callback = *callback;
    const auto body = evaluator_hooks::installed().callback_body;
    s.event_mask = body ? event_mask(body(callback)) : kAllEvents;
  }
  current = &s;
  Unlink unlink{s};

  scan_tokens(s, mode.one_value, mode.prescan);
  if (!s.stopped) {
    if (mode.prescan && s.start_state == START_PATH && s.result_type != TYPE_ERROR) {
      s.result_type = int32_t(innermost_type(s));
    } else if (s.open > s.head) {
      // The error event names the series left open, so a trace callback can tell unfinished
      // input from wrong input.
      s.open_type = int32_t(innermost_type(s));
      throw_error(s, nullptr, s.input_end, ERR_MISSING_AT_END);
    }
  }
  if (consumed) *consumed = char_offset(s, s.pos);
  if (s.stopped && !s.raise_errors) {
    if (out) none::box(out);
    return TYPE_ERROR;
  }
  // A loading scan that a callback ended still hands over the values made so far.
  if (s.stopped) close_all(s);
  if (mode.load && out) {
    if (mode.one_value && !mode.force_block && s.tail > s.head) {
      *out = stack[s.head];
    } else {
      deliver_block(s, into, out);
    }
  }
  return s.stopped ? TYPE_ERROR : s.result_type;
}

int32_t scan_string(const Cell* string, Cell* into, const Cell* callback, int32_t* consumed,
                    const Mode& mode, int32_t length, Cell* out) {
  memory::SeriesBuffer* buffer = memory::buffer_of(string->node());
  uint32_t unit = buffer->unit();
  int32_t available = int32_t(buffer->length()) - int32_t(string->head_index());
  if (available < 0) available = 0;
  if (length < 0 || length > available) length = available;
  uint32_t room = uint32_t(length) * (unit == 4 ? 4 : unit + 1) + 1;
  std::unique_ptr<uint8_t[]> temporary;
  uint8_t* area;
  uint32_t saved = conversion_used;
  if (conversion_used + room <= kConversionBytes) {
    area = conversion + conversion_used;
    conversion_used += room;
  } else {
    temporary.reset(new uint8_t[room]);
    area = temporary.get();
  }
  struct Restore {
    uint32_t saved;
    ~Restore() { conversion_used = saved; }
  } restore{saved};
  size_t bytes = utf8::from_string_into(string, area, length, false);
  return scan(into, string, callback, consumed, mode, uint32_t(bytes), area, out);
}

Cell load(std::string_view source) {
  // A Unix script's first line ("#!/usr/bin/env xol") is no source; its line feed is kept, so
  // that line numbers stay those of the file.
  constexpr std::string_view kInterpreterLine = "#!";
  if (source.starts_with(kInterpreterLine)) {
    size_t line_end = source.find('\n');
    source.remove_prefix(line_end == std::string_view::npos ? source.size() : line_end);
  }
  Cell out;
  scan(nullptr, nullptr, nullptr, nullptr, Mode{}, uint32_t(source.size()),
       reinterpret_cast<const uint8_t*>(source.data()), &out);
  return out;
}

}  // namespace xol::lexer
