// The construction form of text values whose literal cannot hold every text.
//
// A tag!, email!, ref! or url! is written in its own literal form when the lexer reads that
// form back as the same value. Otherwise (a space or a delimiter in an email, a url! without a
// scheme, a tag with an unbalanced ">") mold writes #(type! "text"): the text in quotes with
// the carets of a quoted string, never between braces, which the construction cannot hold.
#include <algorithm>
#include <string>

#include "runtime/datatypes/string.h"
#include "runtime/datatypes/text_types.h"
#include "runtime/io/lexer.h"
#include "runtime/text/utf8.h"

namespace xol::text_construct {

std::string utf8_of(const Cell* text) {
  std::string bytes(size_t(string::length(text)) * utf8::kMaxSequence, '\0');
  bytes.resize(utf8::from_string_into(text, reinterpret_cast<uint8_t*>(bytes.data()), -1, false));
  return bytes;
}

bool reads_back(const Cell* value, std::string_view plain) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(plain.data());
  const auto length = uint32_t(plain.size());
  // A first look that raises nothing: one token of the value's type that takes the whole text.
  lexer::Mode look;
  look.load = false;
  look.one_value = true;
  int32_t consumed = 0;
  Cell ignored;
  if (lexer::scan(nullptr, nullptr, nullptr, &consumed, look, length, bytes, &ignored) !=
          int32_t(value->type()) ||
      uint32_t(consumed) != length) {
    return false;
  }
  // The loaded text may still differ: a Unicode space before the token is skipped, and escapes
  // decode.
  lexer::Mode load;
  load.one_value = true;
  Cell loaded;
  lexer::scan(nullptr, nullptr, nullptr, nullptr, load, length, bytes, &loaded);
  return loaded.type() == value->type() && string::compare(&loaded, value, COMP_STRICT_EQUAL) == 0;
}

int32_t mold(const Cell* value, Cell* buffer, bool all, const Cell* argument, int32_t part) {
  constexpr std::string_view kOpen = "#(", kQuote = " \"", kClose = "\")";
  const datatype::TableEntry& entry = datatype::entry(value->type());
  uint32_t n = string::length(value);
  if (argument) n = part < 0 ? 0 : std::min(n, uint32_t(part));
  uint32_t head = value->head_index();
  string::CharWriter writer(buffer);
  writer.put_ascii(kOpen);
  writer.put_ascii({entry.name, size_t(entry.name_length) + 1});
  writer.put_ascii(kQuote);
  for (uint32_t i = 0; i < n; ++i) string::put_escaped(writer, string::abs_at(value, head + i), all);
  writer.put_ascii(kClose);
  writer.flush();
  return part - int32_t(writer.written());
}

}  // namespace xol::text_construct
