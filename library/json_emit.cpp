// The JSON encoder's writer. Values map to JSON as: none null, logic! true/false, integer!
// and float!/percent! numbers, string! a string, any block an array, map! and object! an
// object (keys: a word's name, a string as it is, anything else molded), other text types
// their formed text, and every other value its molded text as a string.
//
// The arrays and objects being written are kept in a vector, not in the C++ call stack, so
// any depth writes; meeting one of them again inside itself is a cycle, refused.
#include "library/json_emit.h"

#include <charconv>
#include <string_view>
#include <vector>

#include "library/codec_text.h"

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/runtime_words.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/value_ops.h"
#include "runtime/text/number_text.h"
#include "runtime/text/utf8.h"

namespace xol::library::json_emit {
namespace {

using namespace codec_text;

constexpr uint32_t kLowBitsMask = 0x3FF;
constexpr int32_t kInitialCapacity = 4000;

// What an open container's entries are read from.
enum Kind : uint8_t {
  KIND_LIST,     // the cells of a block from its head
  KIND_PAIRS,    // a map's body: key, value, key, value ...
  KIND_FIELDS,   // an object's context: words and values
};

struct Open {
  Kind kind;
  Cell source;     // the block, the map's body, or the object
  uint32_t first;  // the first cell of a list
  uint32_t count;  // entries
  uint32_t next;   // the next entry to write
  NodeId node;     // the container's identity, with `first`
};

// The escape of a character that has one of its own, else null.
const char* short_escape(uint32_t c) {
  switch (c) {
    case '"': return "\\\"";
    case '\\': return "\\\\";
    case '\b': return "\\b";
    case '\f': return "\\f";
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    default: return nullptr;
  }
}

[[noreturn]] void refuse_cycle() {
  Cell text;
  string::load_utf8(&text, "cyclic data");
  error::raise(error::CAT_SCRIPT, "invalid-arg", &text);
}

class Writer {
 public:
  Writer(Cell* output, const Cell* indent, bool ascii)
      : out_(output), ascii_(ascii), pretty_(!indent->is(TYPE_NONE)) {
    if (pretty_) {
      Cell text = *indent;
      const uint32_t head = string::clamp_head(&text);
      for (uint32_t i = 0; i < string::length(&text); ++i)
        indent_.push_back(string::abs_at(&text, head + i));
    }
    block::make_at(&held_, 8);
  }

  void write(const Cell& data) {
    value(data);
    while (!open_.empty()) {
      Open& open = open_.back();
      if (open.next == open.count) {
        close(open.kind == KIND_LIST ? ']' : '}');
        if (open.kind == KIND_PAIRS) block::remove_last(&held_);
        open_.pop_back();
        continue;
      }
      if (open.next > 0) {
        out_.put(',');
        new_line();
      }
      const uint32_t entry = open.next++;
      switch (open.kind) {
        case KIND_LIST:
          value(*block::abs_at(&open.source, open.first + entry));
          break;
        case KIND_PAIRS: {
          const Cell item = *block::abs_at(&open.source, 2 * entry + 1);
          key(*block::abs_at(&open.source, 2 * entry));
          value(item);
          break;
        }
        case KIND_FIELDS: {
          const NodeId context = object::context_of(&open.source);
          const Cell item = *context::value_at(context, int32_t(entry));
          key(*context::word_at(context, int32_t(entry)));
          value(item);
          break;
        }
      }
    }
    out_.flush();
  }

 private:
  void value(const Cell& data) {
    const TypeId type = data.type();
    switch (type) {
      case TYPE_NONE: out_.put_ascii("null"); return;
      case TYPE_LOGIC: out_.put_ascii(logic::get(&data) ? "true" : "false"); return;
      case TYPE_INTEGER: {
        char digits[16];
        const auto written = std::to_chars(digits, digits + sizeof digits, integer::get(&data));
        out_.put_ascii(std::string_view(digits, size_t(written.ptr - digits)));
        return;
      }
      case TYPE_FLOAT:
      case TYPE_PERCENT: {
        const double number = floating::get(&data);
        if (number - number != 0.0) {
          const Cell given = floating::make(number);
          error::raise(error::CAT_SCRIPT, "invalid-arg", &given);
        }
        out_.put_ascii(float_text::to_text(number, float_text::KIND_FLOAT));
        return;
      }
      case TYPE_STRING: text(data); return;
      case TYPE_MAP: {
        if (map::count(&data) == 0) {
          out_.put_ascii("{}");
          return;
        }
        const Cell field = word::unbound(words::sym.body);
        Cell body;
        Cell source = data;
        map::reflect(&source, &field, &body);
        block::append_cell(&held_, &body);
        open(Open{KIND_PAIRS, body, 0, block::length(&body) / 2, 0, data.data2});
        return;
      }
      case TYPE_OBJECT: {
        const NodeId context = object::context_of(&data);
        const int32_t fields = context::word_count(context);
        if (fields == 0) {
          out_.put_ascii("{}");
          return;
        }
        open(Open{KIND_FIELDS, data, 0, uint32_t(fields), 0, context});
        return;
      }
      default:
        break;
    }
    if (series::any_block(type)) {
      Cell list = data;
      const uint32_t first = block::head_position(&list);
      const uint32_t count = block::length(&list);
      if (count == 0) {
        out_.put_ascii("[]");
        return;
      }
      open(Open{KIND_LIST, list, first, count, 0, list.node()});
      return;
    }
    Cell shown;
    if (string::is_text_type(type)) values::form_value(&data, kNoPartLimit, &shown);
    else values::mold_value(&data, false, false, false, kNoPartLimit, &shown);
    text(shown);
  }

  void open(const Open& opened) {
    for (const Open& open : open_)
      if (open.node == opened.node && open.first == opened.first) refuse_cycle();
    open_.push_back(opened);
    out_.put(opened.kind == KIND_LIST ? '[' : '{');
    ++level_;
    new_line();
  }

  void close(char bracket) {
    --level_;
    new_line();
    out_.put(uint8_t(bracket));
  }

  // A line break and the indentation of the level, in a pretty layout.
  void new_line() {
    if (!pretty_) return;
    out_.put('\n');
    for (int32_t i = 0; i < level_; ++i)
      for (uint32_t c : indent_) out_.put(c);
  }

  void key(const Cell& name) {
    const TypeId type = name.type();
    if (type == TYPE_WORD || type == TYPE_SET_WORD) {
      name_text(symbol::name(word::symbol_of(&name)));
    } else if (type == TYPE_STRING) {
      text(name);
    } else {
      Cell shown;
      if (word::any_word_type(type)) values::form_value(&name, kNoPartLimit, &shown);
      else values::mold_value(&name, false, false, false, kNoPartLimit, &shown);
      text(shown);
    }
    out_.put(':');
    if (pretty_) out_.put(' ');
  }

  // A word's name (UTF-8) as a JSON string.
  void name_text(std::string_view name) {
    out_.put('"');
    const auto* p = reinterpret_cast<const uint8_t*>(name.data());
    const auto* end = p + name.size();
    while (p < end) {
      int32_t c;
      p = unicode::fast_decode_utf8_char(p, end, &c);
      character(uint32_t(c));
    }
    out_.put('"');
  }

  void text(const Cell& string) {
    Cell from = string;
    const uint32_t head = string::clamp_head(&from);
    const uint32_t length = string::length(&from);
    out_.put('"');
    switch (string::buffer_of(&from)->unit()) {
      case string::UNIT_1: units<uint8_t>(&from, head, length); break;
      case string::UNIT_2: units<uint16_t>(&from, head, length); break;
      default: units<uint32_t>(&from, head, length); break;
    }
    out_.put('"');
  }

  // The characters are read again from the buffer after each put, which may collect.
  template <typename Unit>
  void units(const Cell* string, uint32_t head, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) {
      const auto* data = reinterpret_cast<const Unit*>(string::buffer_of(string)->data());
      character(data[head + i]);
    }
  }

  void character(uint32_t c) {
    const bool plain = ascii_ ? c >= ' ' && c < 0x80 && c != '"' && c != '\\'
                              : c >= ' ' && c != '"' && c != '\\';
    if (plain) {
      out_.put(c);
    } else if (const char* escape = short_escape(c)) {
      out_.put_ascii(escape);
    } else if (c >= kSupplementary) {
      code(((c - kSupplementary) >> kSurrogateBits) + kHighSurrogates);
      code(((c - kSupplementary) & kLowBitsMask) + kLowSurrogates);
    } else {
      code(c);
    }
  }

  // "\u" and the code as 4 upper-case hexadecimal digits.
  void code(uint32_t c) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const char escaped[] = {'\\', 'u', kHex[c >> 12 & 15], kHex[c >> 8 & 15], kHex[c >> 4 & 15],
                            kHex[c & 15]};
    out_.put_ascii(std::string_view(escaped, sizeof escaped));
  }

  string::CharWriter out_;
  const bool ascii_;
  const bool pretty_;
  std::vector<uint32_t> indent_;
  int32_t level_ = 0;
  Cell held_;   // the map bodies being written, kept from the collector
  std::vector<Open> open_;
};

// The routine's result, copied out by its caller at once.
Cell answer;

}  // namespace

Cell* emit_json(Cell* data, Cell* indent, bool ascii) {
  Cell output;
  string::make_at(&output, kInitialCapacity);
  Writer writer(&output, indent, ascii);
  writer.write(*data);
  answer = output;
  return &answer;
}

}  // namespace xol::library::json_emit
