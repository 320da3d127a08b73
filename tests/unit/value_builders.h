// Building test values from text until the lexer exists, and a fixture with the series types
// registered.
//
// `load` reads a small subset of the language's syntax: integers, decimals (with a "."),
// words, set-words (a:), get-words (:a), lit-words ('a), refinements (/a), paths (a/b, 'a/b,
// :a/b, a/b:), blocks in [ ], parens in ( ), and #none, #true, #false. A line break before a
// value sets its new-line flag, as the lexer does. The fixture also reads raised errors as
// "category/id" and prints values through their action rows.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <string_view>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/hash.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/path.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/error_raise.h"
#include "value_layer_fixture.h"

namespace xol::testing {

class ValueReader {
 public:
  explicit ValueReader(std::string_view text) : text_(text) {}

  // Reads values up to `close` (or the end) into a new block of `type`.
  Cell read_block(TypeId type, char close) {
    Cell block;
    block::make_at(&block, 4);
    cell::set_type(&block, type);
    for (;;) {
      bool new_line = skip_space();
      if (at_ == text_.size() || text_[at_] == close) {
        if (at_ < text_.size()) ++at_;
        return block;
      }
      Cell value = read_value();
      if (new_line) value.header |= kNewLineFlag;
      block::append_cell(&block, &value);
    }
  }

 private:
  bool skip_space() {
    bool new_line = false;
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_])))
      new_line |= text_[at_++] == '\n';
    return new_line;
  }

  Cell read_value() {
    char c = text_[at_];
    if (c == '[') return ++at_, read_block(TYPE_BLOCK, ']');
    if (c == '(') return ++at_, read_block(TYPE_PAREN, ')');
    size_t start = at_;
    while (at_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[at_])) &&
           text_[at_] != ']' && text_[at_] != ')' && text_[at_] != '[' && text_[at_] != '(')
      ++at_;
    return atom(text_.substr(start, at_ - start));
  }

  static Cell atom(std::string_view token) {
    if (token == "#none") return Cell{TYPE_NONE, 0, 0, 0};
    if (token == "#true" || token == "#false") return logic::make(token == "#true");
    bool numeric = std::isdigit(static_cast<unsigned char>(token.back())) &&
                   (std::isdigit(static_cast<unsigned char>(token[0])) ||
                    (token[0] == '-' && token.size() > 1));
    if (numeric) {
      std::string digits(token);
      if (token.find('.') != std::string_view::npos) return floating::make(std::stod(digits));
      return integer::make(std::stoi(digits));
    }
    size_t slash = token.find('/', 1);
    if (slash != std::string_view::npos) return path(token);
    if (token[0] == '\'') return word::load(token.substr(1), TYPE_LIT_WORD);
    if (token[0] == ':') return word::load(token.substr(1), TYPE_GET_WORD);
    if (token[0] == '/') return word::load(token.substr(1), TYPE_REFINEMENT);
    if (token.back() == ':') return word::load(token.substr(0, token.size() - 1), TYPE_SET_WORD);
    return word::load(token);
  }

  static Cell path(std::string_view token) {
    TypeId type = TYPE_PATH;
    if (token[0] == '\'') type = TYPE_LIT_PATH, token.remove_prefix(1);
    else if (token[0] == ':') type = TYPE_GET_PATH, token.remove_prefix(1);
    else if (token.back() == ':') type = TYPE_SET_PATH, token.remove_suffix(1);
    Cell made;
    path::make_at(&made, 2);
    for (size_t from = 0; from <= token.size();) {
      size_t to = token.find('/', from);
      if (to == std::string_view::npos) to = token.size();
      Cell segment = atom(token.substr(from, to - from));
      block::append_cell(&made, &segment);
      from = to + 1;
    }
    cell::set_type(&made, type);
    return made;
  }

  std::string_view text_;
  size_t at_ = 0;
};

// The block of the values in `text`.
inline Cell load(std::string_view text) { return ValueReader(text).read_block(TYPE_BLOCK, 0); }
// The first value in `text`.
inline Cell load_one(std::string_view text) {
  Cell block = load(text);
  return *block::head(&block);
}

class SeriesTest : public ValueLayerTest {
 protected:
  void SetUp() override {
    ValueLayerTest::SetUp();
  }

  struct MoldFlags {
    bool only = false, all = false, flat = false;
    int32_t part = kNoPartLimit;
  };
  static std::string mold_with(const Cell& value, MoldFlags flags) {
    Cell buffer;
    text::make(&buffer, 16);
    actions::get<ACT_MOLD>(value.type())(&value, &buffer, flags.only, flags.all, flags.flat,
                                         nullptr, flags.part, 0);
    return std::string(text::view(&buffer));
  }
  static Cell num(int32_t value) { return integer::make(value); }
  static Cell str(std::string_view chars) {
    Cell made;
    text::make(&made, 4);
    text::append(&made, chars);
    return made;
  }
  // The block of `text` with its head at index i (1-based).
  static Cell at_index(std::string_view text, int32_t i) {
    Cell s = load(text);
    s.data1 = uint32_t(i - 1);
    return s;
  }
  static Cell word(std::string_view name) { return word::load(name); }
  static int32_t index_of(const Cell& series) { return int32_t(series.head_index()) + 1; }
};

}  // namespace xol::testing
