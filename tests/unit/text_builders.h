// Building text values for tests until the lexer exists, and a fixture with the text types
// registered on top of the series types.
//
// `str` loads UTF-8 as the lexer will (U+0080-U+00FF stay in 1-byte units); `str_in` stores
// the same text in units of a chosen width, so that a test can run one case over the three
// widths and check that the width does not show where it must not.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/text_types.h"
#include "runtime/datatypes/url.h"
#include "runtime/text/utf8.h"
#include "value_builders.h"

namespace xol::testing {

// The code points of UTF-8 text (well-formed in tests).
inline std::u32string code_points(std::string_view utf8) {
  std::u32string out;
  const auto* p = reinterpret_cast<const uint8_t*>(utf8.data());
  const uint8_t* end = p + utf8.size();
  while (p < end) {
    int32_t cp;
    p = unicode::fast_decode_utf8_char(p, end, &cp);
    out.push_back(char32_t(cp));
  }
  return out;
}

class TextTest : public SeriesTest {
 protected:
  void SetUp() override {
    SeriesTest::SetUp();
  }

  static Cell str(std::string_view utf8, TypeId type = TYPE_STRING) {
    Cell made;
    return *string::load_utf8(&made, utf8, type);
  }
  // The text stored in units of `unit` bytes (wide enough for every character of it).
  static Cell str_in(std::string_view utf8, uint32_t unit, TypeId type = TYPE_STRING) {
    std::u32string cps = code_points(utf8);
    Cell made;
    string::make_at_unit(&made, uint32_t(cps.size()), unit, type);
    memory::SeriesBuffer* buffer = string::buffer_of(&made);
    for (size_t i = 0; i < cps.size(); ++i)
      string::put_char(buffer->data() + i * unit, unit, cps[i]);
    buffer->tail = uint32_t(cps.size()) * unit;
    return made;
  }
  static Cell bin(std::string_view bytes) { return binary::load(bytes); }
  static Cell chr(uint32_t cp) { return character::make(cp); }
  static Cell none_value() { return Cell{TYPE_NONE, 0, 0, 0}; }

  // The text from the head as UTF-8.
  static std::string text_of(const Cell& value) { return std::string(text::view(&value)); }
  static uint32_t unit_of(const Cell& value) { return string::buffer_of(&value)->unit(); }
};

}  // namespace xol::testing
