// The parse engine (see parse.h): the state machine, its two stacks and the matchers.
//
// Rule stack records, read from the top by the type of their last cell:
//   block frame (2 cells): triple! [return position, input index at entry, previous frame],
//                          then the rule block;
//   command (4 cells):     two argument cells, triple! [input index at the start of this
//                          iteration or attempt, input length left then, position of the
//                          command's rule], then an integer! holding the command code (word 2),
//                          the input index where the command began (word 1) and one more
//                          number of the command's own (word 3).
// A command applies to the one rule after it: when that rule has run (a value matched, a block
// popped, a nested command finished) the command on top finishes, and may run its rule again.
// Positions are absolute cell or unit indexes, never addresses: parens and callbacks run
// between steps and may move, grow or shorten the rule blocks and the input.
#include "runtime/eval/parse.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "runtime/text/case_map.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/eval/call.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/stack.h"
#include "runtime/io/lexer.h"
#include "runtime/memory/memory.h"
#include "runtime/process/process.h"
#include "runtime/datatypes/runtime_words.h"
#include "runtime/text/utf8.h"

namespace xol::parse {
namespace {

using memory::SeriesBuffer;

// ---- keywords, events, command codes ----

#define XOL_PARSE_KEYWORDS(X)                                                               \
  X(ANY, "any") X(BREAK, "break") X(COPY, "copy") X(END, "end") X(FAIL, "fail")             \
  X(INTO, "into") X(OPT, "opt") X(NOT, "not") X(QUOTE, "quote") X(CASE, "case")             \
  X(REJECT, "reject") X(SET, "set") X(SKIP, "skip") X(SOME, "some") X(THRU, "thru")         \
  X(TO, "to") X(NONE, "none") X(BAR, "|") X(IF, "if") X(REMOVE, "remove") X(WHILE, "while") \
  X(INSERT, "insert") X(ONLY, "only") X(COLLECT, "collect") X(KEEP, "keep") X(PICK, "pick") \
  X(AHEAD, "ahead") X(AFTER, "after") X(CHANGE, "change")

enum Keyword : uint8_t {
  KW_NOT_KEYWORD,
#define XOL_PARSE_KEYWORD_ENUM(id, name) KW_##id,
  XOL_PARSE_KEYWORDS(XOL_PARSE_KEYWORD_ENUM)
#undef XOL_PARSE_KEYWORD_ENUM
};
constexpr const char* kKeywordNames[] = {
#define XOL_PARSE_KEYWORD_NAME(id, name) name,
    XOL_PARSE_KEYWORDS(XOL_PARSE_KEYWORD_NAME)
#undef XOL_PARSE_KEYWORD_NAME
};

// Canonical symbol -> keyword; symbols past its end are no keywords.
std::vector<uint8_t> keyword_table;
// Symbol -> keyword, filled as words are met (a word spelled in another case is an alias of the
// canonical symbol), so that telling a keyword costs one load.
std::vector<uint8_t> keyword_cache;
constexpr uint8_t kUnclassified = 0xFF;

Keyword classify(uint32_t symbol) {
  const uint32_t canonical = uint32_t(symbol::resolve(int32_t(symbol)));
  const auto kw = canonical < keyword_table.size() ? Keyword(keyword_table[canonical])
                                                   : KW_NOT_KEYWORD;
  if (symbol >= keyword_cache.size()) keyword_cache.resize(symbol + 1, kUnclassified);
  keyword_cache[symbol] = kw;
  return kw;
}

inline Keyword keyword_of(const Cell& word) {
  const uint32_t symbol = uint32_t(word::symbol_of(&word));
  if (symbol < keyword_cache.size() && keyword_cache[symbol] != kUnclassified)
    return Keyword(keyword_cache[symbol]);
  return classify(symbol);
}

// The trace events, in the bit order of a callback's event mask.
#define XOL_PARSE_EVENTS(X) \
  X(PUSH, "push") X(POP, "pop") X(FETCH, "fetch") X(MATCH, "match") X(ITERATE, "iterate") \
  X(PAREN, "paren") X(END, "end")

enum Event : uint32_t {
#define XOL_PARSE_EVENT_ENUM(id, name) EV_##id,
  XOL_PARSE_EVENTS(XOL_PARSE_EVENT_ENUM)
#undef XOL_PARSE_EVENT_ENUM
};
constexpr const char* kEventNames[] = {
#define XOL_PARSE_EVENT_NAME(id, name) name,
    XOL_PARSE_EVENTS(XOL_PARSE_EVENT_NAME)
#undef XOL_PARSE_EVENT_NAME
};
constexpr int kEventCount = int(std::size(kEventNames));
constexpr uint32_t kAllEvents = (1u << kEventCount) - 1;
Cell event_words[kEventCount];

enum Code : int32_t {
  CMD_REPEAT = -1, CMD_TO = -2, CMD_THRU = -3, CMD_COPY = -4, CMD_SET = -5, CMD_NOT = -6,
  CMD_INTO = -7, CMD_REMOVE = -9, CMD_WHILE = -11, CMD_COLLECT = -12, CMD_KEEP = -13,
  CMD_AHEAD = -16, CMD_CHANGE = -17, CMD_CHANGE_ONLY = -18, CMD_CASE = -19,
};
// What a `collect` gathers into, in word 3 of its code cell (with the previous collect above).
enum CollectKind : uint32_t { COLLECT_PLAIN, COLLECT_SET, COLLECT_INTO, COLLECT_AFTER };
constexpr uint32_t kCollectKindBits = 2;
constexpr uint32_t kCollectKindMask = (1u << kCollectKindBits) - 1;
constexpr int32_t kUnbounded = -1;   // a repeat maximum without limit

constexpr uint32_t kFrameCells = 2;
constexpr uint32_t kNoFrame = 0xFFFFFFFF;   // the frame below a parse's top-level block
constexpr uint32_t kCommandCells = 4;
constexpr int32_t kInitialStackCells = 512;
// The input stack saves, per `into`, the outer input and a pair! [index, limit].
constexpr uint32_t kInputCells = 2;

Cell rule_stack{TYPE_UNSET, 0, 0, 0};
Cell input_stack{TYPE_UNSET, 0, 0, 0};

inline Cell triple_of(uint32_t a, uint32_t b, uint32_t c) { return Cell{TYPE_TRIPLE, a, b, c}; }
// Units from the buffer's start to its tail, and the address of cell `index` of a block: the
// engine reads them at every step, so they are inline here.
inline uint32_t units_in(const Cell& series) { return memory::buffer_of(series.node())->length(); }
inline Cell* cell_at(const Cell& block, uint32_t index) {
  return reinterpret_cast<Cell*>(memory::buffer_of(block.node())->head_ptr()) + index;
}
inline uint32_t stack_count(const Cell& stack) { return units_in(stack); }
inline Cell* stack_at(const Cell& stack, uint32_t index) { return cell_at(stack, index); }
// Room for `count` more cells at a stack's tail: answers the first of them, to be filled before
// anything allocates.
Cell* stack_push(const Cell& stack, uint32_t count) {
  SeriesBuffer* buffer = memory::buffer_of(stack.node());
  const uint32_t bytes = count * sizeof(Cell);
  if (buffer->tail + bytes > buffer->size)
    buffer = memory::grow_series(buffer, (buffer->used_bytes() + bytes) * 2);
  Cell* first = reinterpret_cast<Cell*>(buffer->tail_ptr());
  buffer->tail += bytes;
  return first;
}
// Drops the cells from `index` on.
inline void stack_cut(const Cell& stack, uint32_t index) {
  SeriesBuffer* buffer = memory::buffer_of(stack.node());
  buffer->tail = std::min(buffer->tail, buffer->head + index * uint32_t(sizeof(Cell)));
}

// ---- input access ----

enum InputKind : uint8_t { INPUT_BLOCK, INPUT_TEXT, INPUT_BINARY };

InputKind kind_of(const Cell& input) {
  if (series::any_block(input.type())) return INPUT_BLOCK;
  return input.is(TYPE_BINARY) ? INPUT_BINARY : INPUT_TEXT;
}

// The units of a text or binary buffer, as the series routines index them.
struct Units {
  const uint8_t* data;
  uint32_t unit;
  uint32_t at(uint32_t index) const { return string::get_char(data + index * unit, unit); }
};
inline Units units_of(const Cell& series) {
  SeriesBuffer* buffer = memory::buffer_of(series.node());
  return Units{buffer->head_ptr(), buffer->unit()};
}
inline uint32_t fold(uint32_t cp, bool case_sensitive) {
  return case_sensitive ? cp : case_map::to_upper(cp);
}

bool is_text_value(TypeId type) { return series::any_string(type) && type != TYPE_TAG; }

// Rule items that are rules of their own rather than values to match.
bool is_rule_type(TypeId type) {
  switch (type) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_WORD: case TYPE_SET_WORD: case TYPE_GET_WORD:
    case TYPE_INTEGER: case TYPE_DATATYPE: case TYPE_TYPESET: case TYPE_PATH:
    case TYPE_SET_PATH: case TYPE_GET_PATH:
      return true;
    default:
      return false;
  }
}

// Whether `pattern`'s units (from its head, `count` of them) stand at `at` in `input`.
bool units_at(const Units& input, uint32_t at, const Units& pattern, uint32_t count,
              bool case_sensitive) {
  return string::units_match(input.data + at * input.unit, input.unit, pattern.data,
                             pattern.unit, count, case_sensitive);
}

// The pattern of a text or binary value: its units from its head and their count.
struct Pattern {
  Units units;
  uint32_t count;
};
Pattern pattern_of(const Cell& value) {
  Units units = units_of(value);
  const uint32_t tail = units_in(value);
  const uint32_t head = std::min(value.head_index(), tail);
  units.data += head * units.unit;
  return Pattern{units, tail - head};
}

// The input index after the UTF-8 bytes of `count` code points of `pattern` at `at` in a
// binary input, or -1: text is sought in bytes as UTF-8, as `find` seeks it.
int64_t utf8_at(const Units& input, uint32_t at, uint32_t stop, const Units& pattern,
                uint32_t count) {
  uint8_t bytes[4];
  for (uint32_t i = 0; i < count; ++i) {
    const int length = utf8::encode_char(pattern.at(i), bytes);
    if (uint64_t(at) + uint32_t(length) > stop) return -1;
    for (int k = 0; k < length; ++k)
      if (input.data[at + uint32_t(k)] != bytes[k]) return -1;
    at += uint32_t(length);
  }
  return at;
}

// Whether the character `cp` matches a char!, bitset! or one-unit value under the case mode.
inline bool char_matches(uint32_t cp, const Cell& value, bool case_sensitive) {
  if (value.is(TYPE_BITSET)) return bitset::contains(&value, cp);
  return fold(cp, case_sensitive) == fold(value.data2, case_sensitive);
}

// ---- the state machine ----

enum State : uint8_t {
  S_FETCH,        // the next rule item of the current block
  S_CHECK,        // after a rule: finish the command on top, or go on
  S_FINISH,       // finish the command on top
  S_ALTERNATIVE,  // the current alternative failed
  S_POP,          // leave the current block
  S_END,          // the top-level block is done
  S_DONE,         // the result is set
  S_ABANDON,      // a break, continue, return or exit left a paren or a callback
};

class Run {
 public:
  Run(const Cell& input, const Cell& rules, bool case_sensitive, uint32_t limit,
      const Cell* callback)
      : input_(input), limit_(limit), kind_(kind_of(input)), rules_(rules),
        case_sensitive_(case_sensitive), rule_base_(stack_count(rule_stack)),
        input_base_(stack_count(input_stack)) {
    // A series that began a line in its block would pass the break on to every value that keep
    // and copy take from it.
    cell::clear_new_line(&input_);
    pos_ = series::head_of(&input_);
    head_ = pos_;
    if (callback) {
      callback_ = *callback;
      events_ = event_mask(*callback);
    }
  }
  // Every way out cuts both stacks back to this parse's own section.
  ~Run() {
    stack_cut(rule_stack, rule_base_);
    stack_cut(input_stack, input_base_);
  }

  bool run(Cell* result);

 private:
  // Engine variables.
  Cell input_;
  uint32_t pos_ = 0;
  uint32_t head_ = 0;      // the input's start: get-words clamp to it
  uint32_t limit_;
  InputKind kind_;
  Cell rules_;
  uint32_t rpos_ = 0;
  uint32_t frame_ = kNoFrame;   // rule stack index of the current block frame
  int32_t collect_ = -1;   // rule stack index of the innermost collect command, -1 for none
  bool matched_ = true;
  bool case_sensitive_;
  uint32_t rule_base_, input_base_;
  Cell callback_{TYPE_NONE, 0, 0, 0};
  uint32_t events_ = 0;
  Cell collected_{TYPE_NONE, 0, 0, 0};   // the block of a top-level plain collect

  static uint32_t event_mask(const Cell& callback);

  // -- positions --
  uint32_t input_tail() const { return units_in(input_); }
  uint32_t end() const { return std::min(input_tail(), limit_); }
  uint32_t rules_tail() const { return units_in(rules_); }
  bool more_rules() const { return rpos_ < rules_tail(); }
  Cell rule_at(uint32_t position) const { return *cell_at(rules_, position); }
  Cell input_at(uint32_t position) const {
    Cell at = input_;
    at.data1 = position;
    return at;
  }
  // After code ran (a paren, a callback, a change of the input): positions back inside.
  void clamp_positions() {
    rpos_ = std::min(rpos_, rules_tail());
    pos_ = std::min(pos_, input_tail());
  }

  // -- stacks --
  uint32_t rule_top() const { return stack_count(rule_stack); }
  Cell* record(uint32_t index) const { return stack_at(rule_stack, index); }
  bool command_on_top() const {
    const uint32_t top = rule_top();
    return top > frame_ + kFrameCells;
  }
  uint32_t command_index() const { return rule_top() - kCommandCells; }
  void make_room(const Cell& stack, uint32_t cells) {
    if (stack_count(stack) + cells > kStackLimit) fail("parse-stack");
  }
  void push_frame(const Cell& block);
  void pop_frame();
  uint32_t push_command(Code code, const Cell& arg1, const Cell& arg2, uint32_t aux);
  void pop_command() { stack_cut(rule_stack, command_index()); }

  // -- errors --
  [[noreturn]] void fail(const char* id, const Cell* arg = nullptr) {
    error::raise(error::CAT_SCRIPT, id, arg);
  }
  Cell next_item(const Cell& keyword);
  Cell resolve_word(const Cell& word);

  // -- events and code --
  // Reports an event to the trace callback when it asked for it; false when it asks to stop.
  bool fire(Event event) { return !(events_ >> event & 1) || report(event); }
  bool report(Event event);
  bool eval_paren(const Cell& paren, Cell* value);
  bool value_operand(const Cell& item, Cell* value);

  // -- states --
  State fetch();
  State dispatch(const Cell& item);
  State check() { return command_on_top() ? S_FINISH : matched_ ? S_FETCH : S_ALTERNATIVE; }
  State matched(bool success) {
    matched_ = success;
    return fire(EV_MATCH) ? check() : S_DONE;
  }
  State keyword(Keyword kw, const Cell& word);
  State run_rule();
  State run_item();
  State finish();
  State alternative();
  State pop();
  State unwind_loop(bool success);
  State count_rule(int32_t min, const Cell& item);
  State start_repeat(int32_t min, int32_t max, Code code, const Cell& word);
  State start_search(Code code, const Cell& word);
  State start_into(const Cell& word);
  State start_collect(const Cell& word);
  State start_keep(const Cell& word);
  State do_insert(const Cell& word);
  State do_remove(const Cell& word);
  State start_change(const Cell& word);
  State start_case(const Cell& word);
  State start_set_copy(Code code, const Cell& word);
  State do_if(const Cell& word);

  // -- rules matched in one step --
  // Without a trace callback, which would see the commands and frames, a rule whose match
  // needs none of its own is matched in place: under keep, not and ahead, and a block of
  // plain alternatives. Each answers SIMPLE_NO, having moved nothing, for any other rule, and
  // for one whose command or frame would not fit on the stack (which the general road reports).
  enum Simple : int8_t { SIMPLE_NO, SIMPLE_FAILED, SIMPLE_MATCHED };
  bool room_for(uint32_t cells) const { return !events_ && rule_top() + cells <= kStackLimit; }
  bool plain_item(const Cell& item, Cell* value) const;
  Simple simple_rule();
  Simple plain_alternatives(const Cell& block);
  State matched(Simple simple) { return matched(simple == SIMPLE_MATCHED); }

  // -- matching --
  bool match_value(const Cell& value);
  bool match_type(const Cell& types);
  int64_t match_at(uint32_t at, const Cell& value);
  bool plain_value(const Cell& value) const;
  // Bytes match exactly; text folds case unless told otherwise.
  bool exact() const { return case_sensitive_ || kind_ == INPUT_BINARY; }
  // A char! or bitset! matched against one unit: any in text, a byte's worth in binary.
  bool single_unit(const Cell& value) const {
    if (value.is(TYPE_BITSET)) return kind_ != INPUT_BLOCK;
    return value.is(TYPE_CHAR) &&
           (kind_ == INPUT_TEXT || (kind_ == INPUT_BINARY && value.data2 < 0x80));
  }
  uint32_t repeat_value(const Cell& value, uint32_t max);
  int64_t search(const Cell& value, bool thru);
  uint32_t rule_extent(uint32_t position);
  bool refers_to_input(const Cell& item, Cell* position);

  // -- series changes --
  void replace_part(uint32_t start, uint32_t count, const Cell& value, bool only);
  void keep_value(const Cell& value, bool only);
  void keep_part(uint32_t start, uint32_t stop, bool pick);
  void end_collect(uint32_t index);
  void leave_into();
};

uint32_t Run::event_mask(const Cell& callback) {
  const Cell* body = function::body(&callback);
  if (!body->is(TYPE_BLOCK) || block::length(body) == 0) return kAllEvents;
  const Cell first = *block::head(body);
  if (!first.is(TYPE_BLOCK)) return kAllEvents;
  uint32_t mask = 0;
  for (uint32_t i = 0; i < block::length(&first); ++i) {
    const Cell entry = block::head(&first)[i];
    if (!entry.is(TYPE_WORD)) continue;
    const int32_t symbol = symbol::resolve(word::symbol_of(&entry));
    for (int e = 0; e < kEventCount; ++e)
      if (symbol::resolve(word::symbol_of(&event_words[e])) == symbol) mask |= 1u << e;
  }
  return mask;
}

// ---- stacks ----

void Run::push_frame(const Cell& block) {
  if (rule_top() + kFrameCells > kStackLimit) {
    // The stack is full: a block entered again at the same input index without anything
    // consumed in between recurses for ever.
    for (uint32_t f = frame_; f != kNoFrame; f = record(f)->data3) {
      const Cell* entered = record(f + 1);
      if (entered->node() == block.node() && entered->head_index() == block.head_index() &&
          record(f)->data2 == pos_) {
        // Named by the word that entered it again, when a word did.
        const Cell entry = rpos_ > 0 ? rule_at(rpos_ - 1) : block;
        fail("parse-infinite", entry.is(TYPE_WORD) ? &entry : &block);
      }
    }
    fail("parse-stack");
  }
  const uint32_t index = rule_top();
  const Cell position = triple_of(rpos_, pos_, frame_);
  Cell* cells = stack_push(rule_stack, kFrameCells);
  cells[0] = position;
  cells[1] = block;
  frame_ = index;
  rules_ = block;
  rpos_ = std::min(block.head_index(), units_in(block));
  matched_ = true;
}

void Run::pop_frame() {
  const Cell position = *record(frame_);
  stack_cut(rule_stack, frame_);
  frame_ = position.data3;
  rpos_ = position.data1;
  if (rule_top() > rule_base_) {
    rules_ = *record(frame_ + 1);
    clamp_positions();
  }
}

uint32_t Run::push_command(Code code, const Cell& arg1, const Cell& arg2, uint32_t aux) {
  make_room(rule_stack, kCommandCells);
  const uint32_t index = rule_top();
  const Cell input = triple_of(pos_, end() - pos_, rpos_);
  const Cell command{TYPE_INTEGER, pos_, uint32_t(code), aux};
  Cell* cells = stack_push(rule_stack, kCommandCells);
  cells[0] = arg1;
  cells[1] = arg2;
  cells[2] = input;
  cells[3] = command;
  return index;
}

// The rule item after a keyword that needs one; at the block's end, parse-end.
Cell Run::next_item(const Cell& keyword) {
  if (!more_rules()) fail("parse-end", &keyword);
  return rule_at(rpos_++);
}

// The value of a word used as a rule: unset or another word is no rule.
Cell Run::resolve_word(const Cell& word) {
  const Cell value = *word::get(&word);
  if (value.is(TYPE_UNSET) || word::any_word_type(value.type()) || value.is(TYPE_PATH))
    fail("parse-rule", &word);
  return value;
}

// ---- events and code ----

bool Run::report(Event event) {
  Cell args[5];
  args[0] = event_words[event];
  args[1] = logic::make(matched_);
  args[2] = rules_;
  args[2].data1 = rpos_;
  args[3] = input_at(pos_);
  // A copy of this parse's section: the callback may change what it is given.
  series::copy_units(&rule_stack, rule_base_, rule_top() - rule_base_, &args[4]);
  Cell answer;
  call::value(&callback_, &words::w.parse_callback, args, 5, &answer);
  clamp_positions();
  return !logic::counts_false(&answer);
}

// Evaluates a paren into `value`; false when a break, continue, return or exit left it.
bool Run::eval_paren(const Cell& paren, Cell* value) {
  Cell* start = stack::top;
  interpreter::eval_block(&paren, false);
  if (stack::pending) return false;
  *value = *start;
  stack::top = start;
  clamp_positions();
  return true;
}

// The value operand of insert and change: a paren's result, a word's value, or the item.
bool Run::value_operand(const Cell& item, Cell* value) {
  switch (item.type()) {
    case TYPE_PAREN:
      return eval_paren(item, value);
    case TYPE_WORD:
      *value = *call::get_value(&item);
      return true;
    case TYPE_PATH:
      fail("parse-rule", &item);
    default:
      *value = item;
      return true;
  }
}

// ---- the main loop ----

bool Run::run(Cell* result) {
  push_frame(rules_);
  State state = fire(EV_PUSH) ? S_FETCH : S_DONE;
  for (;;) {
    switch (state) {
      case S_FETCH: state = fetch(); break;
      case S_CHECK: state = check(); break;
      case S_FINISH: state = finish(); break;
      case S_ALTERNATIVE: state = alternative(); break;
      case S_POP: state = pop(); break;
      case S_END:
        matched_ = matched_ && pos_ >= end();
        fire(EV_END);
        state = S_DONE;
        break;
      case S_DONE:
        *result = collected_.is(TYPE_BLOCK) ? collected_ : logic::make(matched_);
        return true;
      case S_ABANDON:
        return false;
    }
  }
}

State Run::fetch() {
  if (!more_rules()) return command_on_top() ? S_FINISH : S_POP;
  // The callback sees the rule at the item fetched, and may change the rules.
  if (events_) {
    if (!fire(EV_FETCH)) return S_DONE;
    if (!more_rules()) return S_FETCH;
  }
  return dispatch(rule_at(rpos_++));
}

State Run::dispatch(const Cell& item) {
  switch (item.type()) {
    case TYPE_BLOCK:
      if (room_for(kFrameCells))
        if (const Simple simple = plain_alternatives(item)) return matched(simple);
      push_frame(item);
      return fire(EV_PUSH) ? S_FETCH : S_DONE;
    case TYPE_PAREN: {
      Cell value;
      if (!eval_paren(item, &value)) return S_ABANDON;
      matched_ = true;
      return fire(EV_PAREN) ? check() : S_DONE;
    }
    case TYPE_SET_WORD: {
      Cell word = item;
      const Cell here = input_at(pos_);
      call::set_value(&word, &here);
      matched_ = true;
      return check();
    }
    case TYPE_GET_WORD: {
      const Cell value = *call::get_value(&item);
      if (value.type() != input_.type() || value.node() != input_.node())
        fail("parse-invalid-ref", &item);
      pos_ = std::clamp(value.head_index(), head_, std::max(head_, end()));
      matched_ = true;
      return check();
    }
    case TYPE_INTEGER:
      return count_rule(integer::get(&item), item);
    case TYPE_DATATYPE: case TYPE_TYPESET:
      return matched(match_type(item));
    case TYPE_WORD: {
      const Keyword kw = keyword_of(item);
      if (kw != KW_NOT_KEYWORD) return keyword(kw, item);
      const Cell value = resolve_word(item);
      switch (value.type()) {
        case TYPE_BLOCK:
          if (room_for(kFrameCells))
            if (const Simple simple = plain_alternatives(value)) return matched(simple);
          push_frame(value);
          return fire(EV_PUSH) ? S_FETCH : S_DONE;
        case TYPE_INTEGER:
          return count_rule(integer::get(&value), item);
        case TYPE_DATATYPE: case TYPE_TYPESET:
          return matched(match_type(value));
        default:
          return matched(match_value(value));
      }
    }
    case TYPE_PATH: case TYPE_SET_PATH: case TYPE_GET_PATH:
      fail("parse-rule", &item);
    default:
      return matched(match_value(item));
  }
}

// ---- keywords ----

State Run::keyword(Keyword kw, const Cell& word) {
  switch (kw) {
    case KW_BAR:
      rpos_ = rules_tail();
      matched_ = true;
      return S_FETCH;
    case KW_ANY: return start_repeat(0, kUnbounded, CMD_REPEAT, word);
    case KW_SOME: return start_repeat(1, kUnbounded, CMD_REPEAT, word);
    case KW_OPT: return start_repeat(0, 1, CMD_REPEAT, word);
    case KW_WHILE: return start_repeat(0, kUnbounded, CMD_WHILE, word);
    case KW_TO: return start_search(CMD_TO, word);
    case KW_THRU: return start_search(CMD_THRU, word);
    case KW_SKIP:
      if (pos_ >= end()) return matched(false);
      ++pos_;
      return matched(true);
    case KW_END: return matched(pos_ >= end());
    case KW_NONE: return matched(true);
    case KW_FAIL: return matched(false);
    case KW_BREAK: return unwind_loop(true);
    case KW_REJECT: return unwind_loop(false);
    case KW_IF: return do_if(word);
    case KW_QUOTE: return matched(match_value(next_item(word)));
    case KW_NOT:
    case KW_AHEAD:
      if (room_for(kCommandCells)) {
        // Both put the input back; a simple rule that failed moved nothing.
        const uint32_t start = pos_;
        if (const Simple simple = simple_rule()) {
          pos_ = start;
          return matched((simple == SIMPLE_MATCHED) == (kw == KW_AHEAD));
        }
      }
      next_item(word);
      --rpos_;
      push_command(kw == KW_NOT ? CMD_NOT : CMD_AHEAD, word, word, 0);
      return run_rule();
    case KW_CASE: return start_case(word);
    case KW_SET: return start_set_copy(CMD_SET, word);
    case KW_COPY: return start_set_copy(CMD_COPY, word);
    case KW_INTO: return start_into(word);
    case KW_REMOVE: return do_remove(word);
    case KW_INSERT: return do_insert(word);
    case KW_CHANGE: return start_change(word);
    case KW_COLLECT: return start_collect(word);
    case KW_KEEP: return start_keep(word);
    case KW_ONLY: case KW_PICK: case KW_AFTER: case KW_NOT_KEYWORD:
      break;
  }
  fail("parse-rule", &word);
}

// Runs the rule of the command just pushed: the item at the current position.
State Run::run_rule() {
  if (!fire(EV_PUSH)) return S_DONE;
  return run_item();
}

// Dispatches the command's rule at the current position; a callback or a paren that cut the
// rule block short took the rule away.
State Run::run_item() {
  if (!more_rules()) fail("parse-end", &rules_);
  return dispatch(rule_at(rpos_++));
}

// A count: n, or a range n m (a word after the count whose value is an integer gives m).
State Run::count_rule(int32_t min, const Cell& item) {
  if (min < 0) fail("out-of-range", &item);
  int32_t max = min;
  if (more_rules()) {
    Cell next = rule_at(rpos_);
    if (next.is(TYPE_WORD) && keyword_of(next) == KW_NOT_KEYWORD &&
        word::get(&next)->is(TYPE_INTEGER))
      next = *word::get(&next);
    if (next.is(TYPE_INTEGER)) {
      max = integer::get(&next);
      ++rpos_;
    }
  }
  if (max < min || !more_rules()) fail("parse-rule", &item);
  if (max == 0) {
    rpos_ = rule_extent(rpos_);
    return matched(true);
  }
  return start_repeat(min, max, CMD_REPEAT, item);
}

// any, some, opt, while and counts. A plain value repeats in one loop over the input.
State Run::start_repeat(int32_t min, int32_t max, Code code, const Cell& word) {
  if (!more_rules()) fail("parse-end", &word);
  Cell item = rule_at(rpos_);
  if (item.is(TYPE_WORD)) {
    const Keyword kw = keyword_of(item);
    if (kw == KW_NOT_KEYWORD) {
      item = resolve_word(item);
    } else if (kw == KW_SKIP && code == CMD_REPEAT) {
      // Repeated skips are one move.
      ++rpos_;
      const uint32_t left = end() - std::min(pos_, end());
      const uint32_t count = max < 0 ? left : std::min(left, uint32_t(max));
      if (count < uint32_t(min)) return matched(false);
      pos_ += count;
      return matched(true);
    }
  }
  if (code == CMD_REPEAT && plain_value(item)) {
    ++rpos_;
    const uint32_t start = pos_;
    const uint32_t count = repeat_value(item, max < 0 ? UINT32_MAX : uint32_t(max));
    if (count < uint32_t(min)) pos_ = start;
    return matched(count >= uint32_t(min));
  }
  const Cell counts = triple_of(uint32_t(min), uint32_t(max), 0);
  push_command(code, counts, counts, 0);
  return run_rule();
}

// to and thru: `end`, a plain value searched for directly, or any rule tried at each position.
State Run::start_search(Code code, const Cell& word) {
  if (!more_rules()) fail("parse-end", &word);
  Cell item = rule_at(rpos_);
  if (item.is(TYPE_WORD)) {
    const Keyword kw = keyword_of(item);
    if (kw == KW_END) {
      ++rpos_;
      pos_ = std::max(pos_, end());
      return matched(true);
    }
    if (kw == KW_NOT_KEYWORD) item = resolve_word(item);
  }
  if (!plain_value(item) && kind_ != INPUT_BLOCK && !item.is(TYPE_TAG) &&
      !is_rule_type(item.type()))
    fail("parse-rule", &item);
  if (plain_value(item)) {
    ++rpos_;
    const int64_t found = search(item, code == CMD_THRU);
    if (found < 0) return matched(false);
    pos_ = uint32_t(found);
    return matched(true);
  }
  const Cell none{TYPE_NONE, 0, 0, 0};
  push_command(code, none, none, 0);
  return run_rule();
}

// into: the value at the position becomes the input of a block rule.
State Run::start_into(const Cell& word) {
  if (kind_ != INPUT_BLOCK) fail("parse-block", &input_);
  Cell rule = next_item(word);
  if (rule.is(TYPE_WORD)) rule = resolve_word(rule);
  if (!rule.is(TYPE_BLOCK)) fail("parse-end", &word);
  if (pos_ >= end()) return matched(false);
  const Cell value = *cell_at(input_, pos_);
  if (!series::any_block(value.type()) && !series::any_string(value.type()) &&
      !value.is(TYPE_BINARY))
    return matched(false);
  push_command(CMD_INTO, word, word, 0);
  make_room(input_stack, kInputCells);
  // The pair's spare first word keeps the outer head.
  const Cell saved_at = Cell{TYPE_PAIR, head_, pos_, limit_};
  Cell* cells = stack_push(input_stack, kInputCells);
  cells[0] = input_;
  cells[1] = saved_at;
  input_ = value;
  cell::clear_new_line(&input_);
  kind_ = kind_of(value);
  limit_ = kNoLimit;
  pos_ = series::head_of(&input_);
  head_ = pos_;
  if (!fire(EV_PUSH)) return S_DONE;
  push_frame(rule);
  return fire(EV_PUSH) ? S_FETCH : S_DONE;
}

// case word rule: the word's value sets the case mode for the rule.
State Run::start_case(const Cell& word) {
  const Cell mode_word = next_item(word);
  if (!mode_word.is(TYPE_WORD)) fail("parse-end", &word);
  next_item(word);
  --rpos_;
  const Cell mode = *call::get_value(&mode_word);
  push_command(CMD_CASE, logic::make(case_sensitive_), mode_word, 0);
  case_sensitive_ = !logic::counts_false(&mode);
  return run_rule();
}

State Run::start_set_copy(Code code, const Cell& word) {
  const Cell target = next_item(word);
  if (!target.is(TYPE_WORD)) fail("parse-end", &word);
  next_item(word);
  --rpos_;
  push_command(code, target, target, 0);
  return run_rule();
}

State Run::do_if(const Cell& word) {
  const Cell condition = next_item(word);
  if (!condition.is(TYPE_PAREN)) fail("parse-end", &word);
  Cell value;
  if (!eval_paren(condition, &value)) return S_ABANDON;
  if (!fire(EV_PAREN)) return S_DONE;
  return matched(!logic::counts_false(&value));
}

// Whether the item is a word whose value is a position in the input series, given there.
bool Run::refers_to_input(const Cell& item, Cell* position) {
  if (!item.is(TYPE_WORD) || keyword_of(item) != KW_NOT_KEYWORD) return false;
  const Cell value = *word::get(&item);
  if (value.type() != input_.type() || value.node() != input_.node()) return false;
  *position = value;
  return true;
}

// remove word: from the word's position to the current one; remove rule: what the rule matched.
State Run::do_remove(const Cell& word) {
  const Cell item = next_item(word);
  Cell position;
  if (refers_to_input(item, &position)) {
    const uint32_t from = std::min(position.head_index(), input_tail());
    const uint32_t low = std::min(from, pos_), high = std::max(from, pos_);
    replace_part(low, high - low, Cell{TYPE_NONE, 0, 0, 0}, false);
    pos_ = low;
    return matched(true);
  }
  if (item.is(TYPE_PATH)) fail("parse-rule", &item);
  --rpos_;
  push_command(CMD_REMOVE, word, word, 0);
  return run_rule();
}

// insert [only] [position word] value
State Run::do_insert(const Cell& word) {
  Cell item = next_item(word);
  const bool only = item.is(TYPE_WORD) && keyword_of(item) == KW_ONLY;
  if (only) item = next_item(word);
  Cell position;
  uint32_t at = pos_;
  if (more_rules() && refers_to_input(item, &position)) {
    at = std::min(position.head_index(), input_tail());
    item = next_item(word);
  }
  Cell value;
  if (!value_operand(item, &value)) return S_ABANDON;
  const uint32_t before = input_tail();
  at = std::min(at, before);
  Cell series = input_at(at);
  Cell after;
  InsertOptions options;
  options.only = only;
  actions::get<ACT_INSERT>(series.type())(&series, &value, options, false, &after);
  if (at <= pos_) pos_ += input_tail() - before;
  clamp_positions();
  return matched(true);
}

// change [only] [position word value | rule value]
State Run::start_change(const Cell& word) {
  Cell item = next_item(word);
  const bool only = item.is(TYPE_WORD) && keyword_of(item) == KW_ONLY;
  if (only) item = next_item(word);
  Cell position;
  if (more_rules() && refers_to_input(item, &position)) {
    Cell value;
    if (!value_operand(next_item(word), &value)) return S_ABANDON;
    const uint32_t from = std::min(position.head_index(), input_tail());
    const uint32_t low = std::min(from, pos_), high = std::max(from, pos_);
    replace_part(low, high - low, value, only);
    return matched(true);
  }
  --rpos_;
  push_command(only ? CMD_CHANGE_ONLY : CMD_CHANGE, word, word, 0);
  return run_rule();
}

// collect [set word | into word | after word] rule
State Run::start_collect(const Cell& word) {
  Cell item = next_item(word);
  CollectKind kind = COLLECT_PLAIN;
  Cell target{TYPE_NONE, 0, 0, 0};
  if (item.is(TYPE_WORD)) {
    const Keyword kw = keyword_of(item);
    if (kw == KW_SET || kw == KW_INTO || kw == KW_AFTER) {
      kind = kw == KW_SET ? COLLECT_SET : kw == KW_INTO ? COLLECT_INTO : COLLECT_AFTER;
      target = next_item(word);
      if (!target.is(TYPE_WORD)) fail("parse-end", &word);
      next_item(word);
    }
  }
  --rpos_;
  Cell gathered;
  if (kind == COLLECT_INTO || kind == COLLECT_AFTER) {
    gathered = *call::get_value(&target);
    const TypeId type = gathered.type();
    if (!series::is_series(type) || type == TYPE_IMAGE || type == TYPE_VECTOR)
      fail("parse-into-type", &target);
    if (gathered.node() == input_.node()) fail("parse-into-bad", &target);
    const bool fits = series::any_block(type) ||
                      (series::any_string(type) && kind_ == INPUT_TEXT) ||
                      (type == TYPE_BINARY && kind_ == INPUT_BINARY);
    if (!fits) fail("parse-into-type", &target);
    gathered.data1 = series::head_of(&gathered);
  } else {
    block::make_at(&gathered, 8);
  }
  const uint32_t previous = uint32_t(collect_ + 1);
  const uint32_t index = push_command(CMD_COLLECT, gathered, target,
                                      previous << kCollectKindBits | kind);
  // The target's index when the collect began, given back to its word at the end.
  record(index + 3)->data1 = gathered.data1;
  collect_ = int32_t(index);
  return run_rule();
}

// keep (paren) | keep [pick] rule
State Run::start_keep(const Cell& word) {
  if (collect_ < 0) fail("parse-keep", &word);
  Cell item = next_item(word);
  if (item.is(TYPE_PAREN)) {
    Cell value;
    if (!eval_paren(item, &value)) return S_ABANDON;
    keep_value(value, true);
    return fire(EV_PAREN) ? matched(true) : S_DONE;
  }
  const bool pick = item.is(TYPE_WORD) && keyword_of(item) == KW_PICK;
  if (pick) next_item(word);
  --rpos_;
  if (room_for(kCommandCells)) {
    const uint32_t start = pos_;
    if (const Simple simple = simple_rule()) {
      if (simple == SIMPLE_MATCHED) keep_part(start, pos_, pick);
      return matched(simple);
    }
  }
  push_command(CMD_KEEP, word, word, pick);
  return run_rule();
}

// break and reject: the innermost loop ends, with success or failure; without a loop, the
// whole rule.
State Run::unwind_loop(bool success) {
  for (;;) {
    if (!command_on_top()) {
      if (frame_ == rule_base_) {
        matched_ = success;
        return S_END;
      }
      pop_frame();
      continue;
    }
    const uint32_t index = command_index();
    const Cell code = *record(index + 3);
    const int32_t kind = int32_t(code.data2);
    if (kind == CMD_REPEAT || kind == CMD_WHILE) {
      if (!success) pos_ = code.data1;
      pop_command();
      return matched(success);
    }
    // Commands left on the way put back what they changed.
    if (kind == CMD_INTO) {
      matched_ = false;
      leave_into();
    }
    if (kind == CMD_CASE) case_sensitive_ = logic::get(record(index));
    if (kind == CMD_COLLECT) end_collect(index);
    pop_command();
  }
}

// ---- finishing commands ----

// The input of an `into` ends: the outer input comes back, one value further on a match.
void Run::leave_into() {
  const uint32_t saved = stack_count(input_stack) - kInputCells;
  const Cell outer = *stack_at(input_stack, saved);
  const Cell saved_at = *stack_at(input_stack, saved + 1);
  stack_cut(input_stack, saved);
  input_ = outer;
  kind_ = kind_of(outer);
  head_ = saved_at.data1;
  limit_ = saved_at.data3;
  pos_ = saved_at.data2 + (matched_ ? 1 : 0);
  clamp_positions();
}

State Run::finish() {
  const uint32_t index = command_index();
  const Cell args = *record(index);
  const Cell at = *record(index + 2);
  const Cell code = *record(index + 3);
  const uint32_t start = code.data1;
  switch (int32_t(code.data2)) {
    case CMD_REPEAT: case CMD_WHILE: {
      const int32_t min = int32_t(args.data1), max = int32_t(args.data2);
      int32_t count = int32_t(args.data3);
      bool again = false;
      if (matched_) {
        ++count;
        const bool progress = pos_ != at.data1 || end() - std::min(pos_, end()) < at.data2;
        again = (max == kUnbounded || count < max) &&
                (progress || int32_t(code.data2) == CMD_WHILE);
      } else {
        pos_ = at.data1;
      }
      if (again) {
        // A get-word can send the input round in a cycle that always moves: every loop polls.
        if (rt::pending_requests) rt::answer_requests();
        record(index)->data3 = uint32_t(count);
        *record(index + 2) = triple_of(pos_, end() - std::min(pos_, end()), at.data3);
        rpos_ = at.data3;
        if (!fire(EV_ITERATE)) return S_DONE;
        return run_item();
      }
      matched_ = count >= min;
      if (!matched_) pos_ = start;
      break;
    }
    case CMD_TO: case CMD_THRU:
      if (matched_) {
        if (int32_t(code.data2) == CMD_TO) pos_ = at.data1;
      } else if (at.data1 < end()) {
        pos_ = at.data1 + 1;
        *record(index + 2) = triple_of(pos_, end() - pos_, at.data3);
        rpos_ = at.data3;
        return run_item();
      } else {
        pos_ = start;
      }
      break;
    case CMD_COPY: case CMD_SET:
      if (matched_) {
        Cell value{TYPE_NONE, 0, 0, 0};
        // A get-word may have moved the input back before the start: nothing was matched.
        const uint32_t from = std::min(start, input_tail());
        const uint32_t to = std::max(from, std::min(pos_, input_tail()));
        if (int32_t(code.data2) == CMD_COPY) series::copy_units(&input_, from, to - from, &value);
        else if (to > from) value = series::element_at(&input_, from);
        Cell target = args;
        call::set_value(&target, &value);
      }
      break;
    case CMD_NOT:
      matched_ = !matched_;
      pos_ = start;
      break;
    case CMD_AHEAD:
      if (matched_) pos_ = start;
      break;
    case CMD_CASE:
      case_sensitive_ = logic::get(&args);
      break;
    case CMD_INTO:
      matched_ = matched_ && pos_ >= end();
      leave_into();
      break;
    case CMD_REMOVE:
      if (matched_) {
        replace_part(start, pos_ - std::min(start, pos_), Cell{TYPE_NONE, 0, 0, 0}, false);
        pos_ = start;
      }
      break;
    case CMD_CHANGE: case CMD_CHANGE_ONLY: {
      const Cell item = next_item(*record(index));
      if (matched_) {
        Cell value;
        if (!value_operand(item, &value)) return S_ABANDON;
        replace_part(start, pos_ - std::min(start, pos_), value,
                     int32_t(code.data2) == CMD_CHANGE_ONLY);
      }
      break;
    }
    case CMD_KEEP:
      if (matched_) keep_part(start, pos_, code.data3 != 0);
      break;
    case CMD_COLLECT:
      end_collect(index);
      break;
  }
  pop_command();
  if (!fire(EV_POP)) return S_DONE;
  return check();
}

// The current alternative failed: the input goes back to where the block was entered and the
// rule goes on after the next `|` of the block, or the block fails.
State Run::alternative() {
  pos_ = std::min(record(frame_)->data2, input_tail());
  const uint32_t tail = rules_tail();
  for (uint32_t i = rpos_; i < tail; ++i) {
    const Cell item = rule_at(i);
    if (item.is(TYPE_WORD) && keyword_of(item) == KW_BAR) {
      rpos_ = i + 1;
      matched_ = true;
      return S_FETCH;
    }
  }
  rpos_ = tail;
  return S_POP;
}

State Run::pop() {
  const bool success = matched_;
  if (!success) pos_ = std::min(record(frame_)->data2, input_tail());
  pop_frame();
  if (!fire(EV_POP)) return S_DONE;
  if (rule_top() <= rule_base_) return S_END;
  matched_ = success;
  return check();
}

// ---- rules matched in one step ----

// A rule item that is a plain value, or a word (no keyword) whose value is one: the value to
// match, in `value`. False for any other item, and for a word that reads no value or one that
// resolve_word refuses, which take the general road (and its errors).
bool Run::plain_item(const Cell& item, Cell* value) const {
  if (item.is(TYPE_WORD)) {
    if (keyword_of(item) != KW_NOT_KEYWORD) return false;
    uint32_t flags;
    const Cell* slot = context::bound_slot(&item, &flags);
    if (!slot || slot->is(TYPE_UNSET) || word::any_word_type(slot->type()) ||
        slot->is(TYPE_PATH))
      return false;
    *value = *slot;
  } else {
    *value = item;
  }
  return plain_value(*value);
}

// The rule of a command (keep, not, ahead) at the rule position when it needs no command or frame:
// a plain item, `skip`, `end`, a block of plain alternatives, or any, some, opt or a count of a
// plain item or of skip, matched as the general road matches them (the input moves past the
// match and stays on a failure), the rule position past it.
Run::Simple Run::simple_rule() {
  if (!more_rules()) return SIMPLE_NO;
  const Cell item = rule_at(rpos_);
  Cell value;
  if (plain_item(item, &value)) {
    ++rpos_;
    return match_value(value) ? SIMPLE_MATCHED : SIMPLE_FAILED;
  }
  // A block of plain alternatives, whose frame would go above the command's.
  if (item.is(TYPE_BLOCK) && room_for(kCommandCells + kFrameCells)) {
    const Simple simple = plain_alternatives(item);
    if (simple) ++rpos_;
    return simple;
  }
  int32_t min, max;
  if (item.is(TYPE_INTEGER)) {
    min = max = integer::get(&item);
    if (min < 1) return SIMPLE_NO;
  } else if (!item.is(TYPE_WORD)) {
    return SIMPLE_NO;
  } else {
    switch (keyword_of(item)) {
      case KW_SKIP:
        ++rpos_;
        if (pos_ >= end()) return SIMPLE_FAILED;
        ++pos_;
        return SIMPLE_MATCHED;
      case KW_END:
        ++rpos_;
        return pos_ >= end() ? SIMPLE_MATCHED : SIMPLE_FAILED;
      case KW_ANY: min = 0, max = kUnbounded; break;
      case KW_SOME: min = 1, max = kUnbounded; break;
      case KW_OPT: min = 0, max = 1; break;
      default: return SIMPLE_NO;
    }
  }
  if (rpos_ + 1 >= rules_tail()) return SIMPLE_NO;
  const Cell repeated = rule_at(rpos_ + 1);
  const uint32_t limit = max == kUnbounded ? UINT32_MAX : uint32_t(max);
  if (repeated.is(TYPE_WORD) && keyword_of(repeated) == KW_SKIP) {
    rpos_ += 2;
    const uint32_t left = end() - std::min(pos_, end());
    const uint32_t count = std::min(left, limit);
    if (count < uint32_t(min)) return SIMPLE_FAILED;
    pos_ += count;
    return SIMPLE_MATCHED;
  }
  // A count before an integer, or a word whose value is one, is a range: no plain item.
  if (!plain_item(repeated, &value)) return SIMPLE_NO;
  rpos_ += 2;
  const uint32_t start = pos_;
  if (repeat_value(value, limit) >= uint32_t(min)) return SIMPLE_MATCHED;
  pos_ = start;
  return SIMPLE_FAILED;
}

// A block whose alternatives, up to the first that matches, are each one plain item
// (`[#"," | #"^/"]`), tried in place of entering it: a failed one moved nothing, and the rest
// after a match are never read.
Run::Simple Run::plain_alternatives(const Cell& block) {
  const uint32_t tail = units_in(block);
  for (uint32_t i = std::min(block.head_index(), tail); i < tail; i += 2) {
    Cell value;
    if (!plain_item(*cell_at(block, i), &value)) return SIMPLE_NO;
    const bool last = i + 1 == tail;
    if (!last && !(cell_at(block, i + 1)->is(TYPE_WORD) &&
                   keyword_of(*cell_at(block, i + 1)) == KW_BAR))
      return SIMPLE_NO;
    if (match_value(value)) return SIMPLE_MATCHED;
    if (last) return SIMPLE_FAILED;
  }
  return SIMPLE_NO;   // empty, or a bar last: an empty alternative
}

// ---- matching ----

// Values that repeat and search loops take as they are: for text and binary input the ones
// matched against characters, for block input anything that is no rule of its own.
bool Run::plain_value(const Cell& value) const {
  const TypeId type = value.type();
  if (kind_ != INPUT_BLOCK)
    return is_text_value(type) || type == TYPE_BINARY || type == TYPE_CHAR ||
           type == TYPE_BITSET;
  return !is_rule_type(type);
}

// The input index after `value` matched at `at`, or -1. Never past the end (the /part limit).
int64_t Run::match_at(uint32_t at, const Cell& value) {
  const uint32_t stop = end();
  if (kind_ == INPUT_BLOCK) {
    if (at >= stop) return -1;
    const bool lit = value.is(TYPE_LIT_WORD) || value.is(TYPE_LIT_PATH);
    const int32_t op = lit ? (case_sensitive_ ? COMP_FIND_STRICT : COMP_FIND)
                           : (case_sensitive_ ? COMP_STRICT_EQUAL : COMP_EQUAL);
    return block::values_match(cell_at(input_, at), &value, op) ? int64_t(at) + 1 : -1;
  }
  const TypeId type = value.type();
  if (single_unit(value)) {
    if (at >= stop) return -1;
    return char_matches(units_of(input_).at(at), value, exact()) ? int64_t(at) + 1 : -1;
  }
  // Bytes compare exactly, text in bytes as its UTF-8; text against text folds case unless
  // told otherwise.
  if (kind_ == INPUT_BINARY && (is_text_value(type) || type == TYPE_CHAR)) {
    if (type == TYPE_CHAR) {
      const Units one{reinterpret_cast<const uint8_t*>(&value.data2), sizeof(uint32_t)};
      return utf8_at(units_of(input_), at, stop, one, 1);
    }
    const Pattern pattern = pattern_of(value);
    return utf8_at(units_of(input_), at, stop, pattern.units, pattern.count);
  }
  if (is_text_value(type) || type == TYPE_BINARY) {
    const Pattern pattern = pattern_of(value);
    if (uint64_t(at) + pattern.count > stop) return -1;
    return units_at(units_of(input_), at, pattern.units, pattern.count, exact())
               ? int64_t(at) + pattern.count
               : -1;
  }
  if (type == TYPE_TAG && kind_ == INPUT_TEXT) {
    const Pattern pattern = pattern_of(value);
    if (uint64_t(at) + pattern.count + 2 > stop) return -1;
    const Units input = units_of(input_);
    if (input.at(at) != '<' || input.at(at + pattern.count + 1) != '>') return -1;
    return units_at(input, at + 1, pattern.units, pattern.count, case_sensitive_)
               ? int64_t(at) + pattern.count + 2
               : -1;
  }
  return -1;
}

bool Run::match_value(const Cell& value) {
  const int64_t next = match_at(pos_, value);
  if (next < 0) return false;
  pos_ = uint32_t(next);
  return true;
}

// A datatype or typeset: the type of the value at the position (for binary input, of the
// value the lexer scans from the bytes there).
bool Run::match_type(const Cell& types) {
  if (kind_ == INPUT_TEXT) fail("parse-unsupported");
  const uint32_t stop = end();
  if (pos_ >= stop) return false;
  if (kind_ == INPUT_BLOCK) {
    if (!block::type_in(&types, cell_at(input_, pos_)->type())) return false;
    ++pos_;
    return true;
  }
  lexer::Mode mode;
  mode.load = false;
  mode.one_value = true;
  int32_t consumed = 0;
  Cell out;
  const int32_t type = lexer::scan(nullptr, nullptr, nullptr, &consumed, mode, stop - pos_,
                                   units_of(input_).data + pos_, &out);
  if (type <= 0 || type == TYPE_ERROR || consumed <= 0 ||
      !block::type_in(&types, TypeId(type)))
    return false;
  pos_ = std::min(pos_ + uint32_t(consumed), stop);
  return true;
}

// How many times in a row the plain value matches from the position, at most `max`; the
// position moves past them.
uint32_t Run::repeat_value(const Cell& value, uint32_t max) {
  const uint32_t stop = end();
  uint32_t count = 0;
  if (value.is(TYPE_BITSET) && kind_ != INPUT_BLOCK) {
    // One tight loop: the set's bits and the input's units are read once.
    const memory::SeriesBuffer* set = bitset::buffer_of(&value);
    const uint8_t* bits = set->data() + set->head;
    const uint32_t bytes = set->used_bytes();
    const bool outside = set->flags & bitset::kComplemented;
    const Units input = units_of(input_);
    const uint32_t from = std::min(pos_, stop);
    const uint32_t last = stop - from > max ? from + max : stop;
    auto in_set = [&](uint32_t cp) {
      return (cp >> 3) < bytes ? (bits[cp >> 3] & (0x80u >> (cp & 7))) != 0 : outside;
    };
    uint32_t at = from;
    if (input.unit == 1) {
      while (at < last && in_set(input.data[at])) ++at;
    } else {
      while (at < last && in_set(input.at(at))) ++at;
    }
    count = at - from;
    pos_ += count;
    return count;
  }
  if (single_unit(value)) {
    const Units input = units_of(input_);
    while (count < max && pos_ < stop && char_matches(input.at(pos_), value, exact())) {
      ++pos_;
      ++count;
    }
    return count;
  }
  while (count < max) {
    const int64_t next = match_at(pos_, value);
    // An empty match would repeat for ever in place: it counts once.
    if (next < 0) break;
    ++count;
    if (uint32_t(next) == pos_) break;
    pos_ = uint32_t(next);
  }
  return count;
}

// The index where the plain value is first found from the position (after it with `thru`),
// or -1.
int64_t Run::search(const Cell& value, bool thru) {
  const uint32_t stop = end();
  if (single_unit(value)) {
    const Units input = units_of(input_);
    for (uint32_t i = pos_; i < stop; ++i)
      if (char_matches(input.at(i), value, exact())) return thru ? i + 1 : i;
    return -1;
  }
  if (kind_ == INPUT_TEXT) {
    const Pattern pattern = pattern_of(value);
    if (pattern.count == 0) return pos_;
    const Units input = units_of(input_);
    const bool exact = case_sensitive_;
    const uint32_t first = fold(pattern.units.at(0), exact);
    for (uint32_t i = pos_; uint64_t(i) + pattern.count <= stop; ++i) {
      if (fold(input.at(i), exact) != first) continue;
      if (units_at(input, i, pattern.units, pattern.count, exact))
        return thru ? int64_t(i) + pattern.count : i;
    }
    return -1;
  }
  for (uint32_t i = pos_; i < stop; ++i) {
    const int64_t next = match_at(i, value);
    if (next >= 0) return thru ? next : i;
  }
  return -1;
}

// The position after the one rule that starts at `position` (a zero count skips it): the
// prefixes before it are walked over, and a `change` adds its value after the rule.
uint32_t Run::rule_extent(uint32_t position) {
  const uint32_t tail = rules_tail();
  auto keyword_at = [&](uint32_t at) {
    return at < tail && rule_at(at).is(TYPE_WORD) ? keyword_of(rule_at(at)) : KW_NOT_KEYWORD;
  };
  uint32_t values_after = 0;
  Cell position_word;
  for (;;) {
    if (position >= tail) return tail;
    const Cell item = rule_at(position);
    const uint32_t next = position + 1;
    if (item.is(TYPE_INTEGER)) {
      position = next < tail && rule_at(next).is(TYPE_INTEGER) ? next + 1 : next;
      continue;
    }
    switch (item.is(TYPE_WORD) ? keyword_of(item) : KW_NOT_KEYWORD) {
      case KW_ANY: case KW_SOME: case KW_OPT: case KW_WHILE: case KW_NOT: case KW_AHEAD:
      case KW_TO: case KW_THRU: case KW_REMOVE:
        position = next;
        continue;
      case KW_SET: case KW_COPY: case KW_CASE:
        position = next + 1;
        continue;
      case KW_KEEP:
        position = keyword_at(next) == KW_PICK ? next + 1 : next;
        continue;
      case KW_COLLECT: {
        const Keyword kw = keyword_at(next);
        position = kw == KW_SET || kw == KW_INTO || kw == KW_AFTER ? next + 2 : next;
        continue;
      }
      case KW_INTO: case KW_QUOTE: case KW_IF:
        return std::min(next + 1 + values_after, tail);
      case KW_INSERT: case KW_CHANGE: {
        uint32_t after = keyword_at(next) == KW_ONLY ? next + 1 : next;
        const bool positional = after + 1 < tail && refers_to_input(rule_at(after), &position_word);
        if (positional || keyword_of(item) == KW_INSERT)
          return std::min(after + 1 + (positional ? 1 : 0) + values_after, tail);
        ++values_after;
        position = after;
        continue;
      }
      default:
        return std::min(next + values_after, tail);
    }
  }
}

// ---- series changes ----

// Replaces `count` units of the input from `start` by the value (none: removes them); the
// position goes after what was put there.
void Run::replace_part(uint32_t start, uint32_t count, const Cell& value, bool only) {
  start = std::min(start, input_tail());
  Cell series = input_at(start);
  Cell after;
  if (value.is(TYPE_NONE)) {
    const Cell part = integer::make(int32_t(count));
    actions::get<ACT_REMOVE>(series.type())(&series, &part, nullptr, &after);
    pos_ = start;
  } else {
    InsertOptions options;
    options.only = only;
    options.part = int32_t(count);
    Cell put = value;
    actions::get<ACT_CHANGE>(series.type())(&series, &put, options, &after);
    pos_ = after.head_index();
  }
  clamp_positions();
}

// Appends a kept value to the innermost collection (one value with `only`, else a block's
// values one by one into a block target, as insert does).
void Run::keep_value(const Cell& value, bool only) {
  const uint32_t index = uint32_t(collect_);
  const auto kind = CollectKind(record(index + 3)->data3 & kCollectKindMask);
  Cell target = *record(index);
  if (only && kind != COLLECT_INTO && target.is(TYPE_BLOCK)) {
    block::append_cell(&target, &value);
    return;
  }
  Cell put = value;
  Cell after;
  InsertOptions options;
  options.only = only;
  // into inserts at the target's index and goes on after what it put there; the others append.
  const bool at_tail = kind != COLLECT_INTO;
  actions::get<ACT_INSERT>(target.type())(&target, &put, options, at_tail, &after);
  if (!at_tail) record(index)->data1 = after.head_index();
}

// keep rule: what the rule matched, one value as itself, several as one series; with pick,
// each value on its own.
void Run::keep_part(uint32_t start, uint32_t stop, bool pick) {
  stop = std::min(stop, input_tail());
  start = std::min(start, stop);
  if (pick) {
    for (uint32_t i = start; i < stop; ++i) keep_value(series::element_at(&input_, i), true);
    return;
  }
  Cell value;
  if (stop - start == 1) value = series::element_at(&input_, start);
  else series::copy_units(&input_, start, stop - start, &value);
  keep_value(value, true);
}

// A collect ends: its block goes to its word, to the enclosing collection, or becomes the
// result; an into or after target's word gets back the index it had.
void Run::end_collect(uint32_t index) {
  const Cell gathered = *record(index);
  const Cell target = *record(index + 1);
  const Cell code = *record(index + 3);
  const auto kind = CollectKind(code.data3 & kCollectKindMask);
  collect_ = int32_t(code.data3 >> kCollectKindBits) - 1;
  switch (kind) {
    case COLLECT_PLAIN:
      if (collect_ >= 0) keep_value(gathered, true);
      else collected_ = Cell{TYPE_BLOCK, 0, gathered.node(), 0};
      break;
    case COLLECT_SET: {
      Cell word = target;
      Cell block{TYPE_BLOCK, 0, gathered.node(), 0};
      call::set_value(&word, &block);
      break;
    }
    case COLLECT_INTO: case COLLECT_AFTER: {
      Cell word = target;
      Cell series = *call::get_value(&word);
      if (series.node() == gathered.node()) {
        series.data1 = code.data1;
        call::set_value(&word, &series);
      }
      break;
    }
  }
}

}  // namespace

void init() {
  rule_stack = *block::make_in(block::root(), kInitialStackCells);
  input_stack = *block::make_in(block::root(), kInitialStackCells);
  keyword_table.clear();
  keyword_cache.clear();
  for (size_t k = 0; k < std::size(kKeywordNames); ++k) {
    const Cell word = word::load(kKeywordNames[k]);
    const uint32_t symbol = uint32_t(symbol::resolve(word::symbol_of(&word)));
    if (symbol >= keyword_table.size()) keyword_table.resize(symbol + 1, KW_NOT_KEYWORD);
    keyword_table[symbol] = uint8_t(k + 1);
  }
  for (int e = 0; e < kEventCount; ++e) event_words[e] = word::load(kEventNames[e]);
}

bool process(const Cell* input, const Cell* rules, bool case_sensitive, uint32_t limit,
             const Cell* callback, Cell* result) {
  Run run(*input, *rules, case_sensitive, limit, callback);
  return run.run(result);
}

}  // namespace xol::parse
