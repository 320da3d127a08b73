// A fixture for the compound types: the numeric types and char!, then typeset!, bitset!, vector!, pair!,
// tuple!, point2D!, point3D! and triple! registered, with builders for the values the lexer
// would make (strings, binaries, issues, chars, words).
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "number_fixture.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/issue.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/triple.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/vector.h"
#include "runtime/datatypes/word.h"
#include "runtime/memory/memory.h"

namespace xol::testing {

class CompoundTest : public NumberTest {
 protected:
  void SetUp() override {
    NumberTest::SetUp();
  }

  static Cell str(std::string_view text) {
    Cell cell;
    text::make(&cell, uint32_t(text.size()));
    text::append(&cell, text);
    return cell;
  }
  static Cell bin(std::initializer_list<uint8_t> bytes) {
    NodeId node = memory::alloc_bytes(uint32_t(bytes.size()));
    uint8_t* at = series::reserve_tail(node, uint32_t(bytes.size()));
    for (uint8_t byte : bytes) *at++ = byte;
    return Cell{TYPE_BINARY, 0, node, 0};
  }
  static Cell chr(uint32_t cp) { return Cell{TYPE_CHAR, 0, cp, 0}; }
  static Cell wrd(std::string_view name) { return word::load(name); }
  static Cell iss(std::string_view name) {
    Cell cell;
    issue::make_at(&cell, name);
    return cell;
  }
  static Cell pr(int32_t x, int32_t y) { return pair::make(x, y); }
  static Cell p2(float x, float y) { return point2d::make(x, y); }
  static Cell p3(float x, float y, float z) { return point3d::make(x, y, z); }
  static Cell tup(std::initializer_list<uint8_t> bytes) {
    return tuple::make(int32_t(bytes.size()), bytes.begin());
  }
  static Cell vec(Cell spec) { return made(TYPE_VECTOR, spec); }

  static Cell unary(Action action, Cell value) {
    Cell result;
    switch (action) {
      case ACT_NEGATE: actions::get<ACT_NEGATE>(value.type())(&value, &result); break;
      case ACT_ABSOLUTE: actions::get<ACT_ABSOLUTE>(value.type())(&value, &result); break;
      case ACT_COMPLEMENT: actions::get<ACT_COMPLEMENT>(value.type())(&value, &result); break;
      case ACT_CLEAR: actions::get<ACT_CLEAR>(value.type())(&value, &result); break;
      default: ADD_FAILURE() << "not a unary action"; break;
    }
    return result;
  }
  static Cell reversed(Cell value, const Cell* part = nullptr, const Cell* skip = nullptr) {
    Cell result;
    actions::get<ACT_REVERSE>(value.type())(&value, part, skip, &result);
    return result;
  }
  static Cell poked(Cell target, Cell index, Cell value) {
    Cell result;
    actions::get<ACT_POKE>(target.type())(&target, index_number(index), &index, &value, &result);
    return result;
  }
  static Cell found(Cell target, Cell value) {
    Cell result;
    actions::get<ACT_FIND>(target.type())(&target, &value, FindOptions{}, &result);
    return result;
  }
  static int32_t length_of(Cell value) { return actions::get<ACT_LENGTH_Q>(value.type())(&value); }
  static bool is_true(const Cell& value) { return value.is(TYPE_LOGIC) && value.data1 != 0; }
};

}  // namespace xol::testing
