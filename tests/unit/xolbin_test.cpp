// XOLBIN through its C++ interface: a graph with shared and cyclic parts survives both
// encodings with the collector running in between, and no corruption of a valid stream makes
// the reader do anything but decode or raise a language error.
#include <gtest/gtest.h>

#include <string>

#include "runtime/memory/collector.h"
#include "runtime/datatypes/binary.h"
#include "runtime/io/xolbin.h"
#include "tests/unit/eval_fixture.h"

namespace xol {
namespace {

class XolbinTest : public testing::EvalTest {
 protected:
  static std::string bytes_of(const Cell& binary) { return std::string(binary::bytes(&binary)); }

  // Decodes the bytes into a new block; "" or the error as error_of describes it.
  static std::string decode(const std::string& bytes, Cell* target) {
    block::make_at(target, 1);
    const stack::Mark mark = stack::save();
    try {
      const Cell none{TYPE_NONE, 0, 0, 0};
      xolbin::decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), target, &none);
    } catch (const error::Raised& raised) {
      stack::restore(mark);
      return raised.id;
    }
    return "";
  }
};

// A block holding an object whose method reads its fields, a string twice, a word bound to
// the object, and the block itself.
constexpr const char* kGraph =
    "o: make object! [n: 1 f: func [x] [x + n]] s: \"shared\" "
    "b: reduce [o s s in o 'n make map! [k [1 2]] make hash! [a 1] 1.5 1-Jan-2000/10:00] "
    "append/only b b b";

TEST_F(XolbinTest, SharedAndCyclicGraphsSurviveACollection) {
  for (bool compact : {true, false}) {
    const Cell graph = run(kGraph);
    const std::string stream = bytes_of(xolbin::encode(&graph, compact));
    Cell decoded;
    ASSERT_EQ(decode(stream, &decoded), "") << compact;
    collector::collect();
    const Cell root = *block::head(&decoded);
    context::set_global(symbol::make("c"), &root);
    EXPECT_EQ(eval("reduce [same? c c/9 same? c/2 c/3 get c/4 c/1/f 2 select c/6 'a]"),
              "[true true 1 3 1]")
        << compact;
    // Written again, the decoded graph reads back as itself (objects now of class -1).
    const std::string again = bytes_of(xolbin::encode(&root, compact));
    Cell twice;
    ASSERT_EQ(decode(again, &twice), "");
    EXPECT_EQ(bytes_of(xolbin::encode(block::head(&twice), compact)), again) << compact;
  }
}

TEST_F(XolbinTest, CorruptStreamsDecodeOrRaise) {
  for (bool compact : {true, false}) {
    const Cell graph = run(kGraph);
    const std::string stream = bytes_of(xolbin::encode(&graph, compact));
    for (size_t at = 8; at < stream.size(); ++at) {
      for (uint8_t change : {uint8_t(0x01), uint8_t(0x80), uint8_t(0xFF)}) {
        std::string corrupt = stream;
        corrupt[at] = char(uint8_t(corrupt[at]) ^ change);
        Cell decoded;
        const std::string error = decode(corrupt, &decoded);
        // Any language error is an answer; what decodes must also mold.
        if (error.empty()) molded(decoded);
      }
      // Cut short at every length.
      Cell decoded;
      const std::string error = decode(stream.substr(0, at), &decoded);
      EXPECT_FALSE(error.empty()) << "cut at " << at;
    }
  }
}

}  // namespace
}  // namespace xol
