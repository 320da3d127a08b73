// tag!: text written between "<" and ">", nothing inside escaped.
//
// That plain form reads back only when the lexer's tag states take the text whole: a ">"
// outside quotes ends the tag early, an unclosed quote runs on past the ">", an empty text or a
// first character such as a space, "=" or ":" makes the "<" a word, a NUL ends the input and
// the UTF-8 of a surrogate is malformed. Mold writes such a tag as the construction
// #(tag! "text") instead, its text in quotes with the carets of a quoted string (never between
// braces, which the construction cannot hold), a surrogate as ^(hex). Form is for reading, not
// loading, and stays plain.
#include <string_view>

#include "runtime/datatypes/string.h"
#include "runtime/datatypes/text_types.h"
#include "runtime/text/utf16.h"

namespace xol::tag {

namespace {

constexpr int32_t kBrackets = 2;

// The lexer's tag states after the "<", as the plain form meets them: the first character, the
// text, inside "..." and inside '...'. STOP stands for every way out of them before the closing
// ">": the token ended early, became a word, or can no longer end as a tag.
enum TagState : uint8_t { FIRST, TEXT, DOUBLE, SINGLE, STOP, kTagStateCount = STOP };
// Characters by how the tag states treat them. WORDY ones after the "<" make a word, set-word
// or url; DELIMITER ones are spaces, line feeds, control codes and the characters that end a
// word; UNREADABLE ones (NUL, surrogates) the lexer takes in no tag.
enum TagClass : uint8_t { PLAIN, LESS, GREATER, DQ, APOSTROPHE, WORDY, DELIMITER, UNREADABLE,
                          kTagClassCount };

constexpr TagState kTagStates[kTagStateCount][kTagClassCount] = {
    //         PLAIN   LESS    GREATER DQ      APOSTROPHE WORDY  DELIMITER UNREADABLE
    /* FIRST */ {TEXT,   FIRST,  STOP,   STOP,   SINGLE,    STOP,   STOP,     STOP},
    /* TEXT  */ {TEXT,   TEXT,   STOP,   DOUBLE, SINGLE,    TEXT,   TEXT,     STOP},
    /* DOUBLE*/ {DOUBLE, DOUBLE, DOUBLE, TEXT,   DOUBLE,    DOUBLE, DOUBLE,   STOP},
    /* SINGLE*/ {SINGLE, SINGLE, SINGLE, SINGLE, TEXT,      SINGLE, SINGLE,   STOP},
};

TagClass tag_class(uint32_t c) {
  if (utf16::is_surrogate(c)) return UNREADABLE;
  switch (c) {
    case 0: return UNREADABLE;
    case '<': return LESS;
    case '>': return GREATER;
    case '"': return DQ;
    case '\'': return APOSTROPHE;
    case '=': case '-': case ':': return WORDY;
    case '[': case ']': case '(': case ')': case '{': case '}': case ';': return DELIMITER;
    default: return c <= ' ' ? DELIMITER : PLAIN;
  }
}

// True when "<", the text from the head and ">" lex back as this tag: the text leaves the tag
// states in TEXT, where the closing ">" ends the token.
bool reads_back_plain(const Cell* value) {
  uint32_t head = value->head_index();
  uint32_t n = string::length(value);
  TagState state = FIRST;
  for (uint32_t i = 0; i < n && state != STOP; ++i) {
    state = kTagStates[state][tag_class(string::abs_at(value, head + i))];
  }
  return state == TEXT;
}

}  // namespace

int32_t form(const Cell* value, Cell* buffer, const Cell* argument, int32_t part) {
  string::append_char(buffer->node(), '<');
  string::form(value, buffer, argument, part - 1);
  string::append_char(buffer->node(), '>');
  return part - int32_t(string::length(value)) - kBrackets;
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell* argument,
             int32_t part, int32_t) {
  if (reads_back_plain(value)) return form(value, buffer, argument, part);
  return text_construct::mold(value, buffer, all, argument, part);
}

void init() {
  using actions::own;
  datatype::register_type(
      TYPE_TAG, TYPE_STRING, "tag!",
      actions::ActionList()
          .own(own<ACT_FORM>(form))
          .own(own<ACT_MOLD>(mold))
          .inherit({ACT_MAKE, ACT_REFLECT, ACT_TO, ACT_EVAL_PATH, ACT_COMPARE, ACT_APPEND,
                    ACT_AT, ACT_BACK, ACT_CHANGE, ACT_CLEAR, ACT_COPY, ACT_FIND, ACT_HEAD,
                    ACT_HEAD_Q, ACT_INDEX_Q, ACT_INSERT, ACT_LENGTH_Q, ACT_MOVE, ACT_NEXT,
                    ACT_PICK, ACT_POKE, ACT_PUT, ACT_REMOVE, ACT_REVERSE, ACT_SELECT, ACT_SKIP,
                    ACT_SWAP, ACT_TAIL, ACT_TAIL_Q, ACT_TAKE, ACT_MODIFY}));
}

}  // namespace xol::tag
