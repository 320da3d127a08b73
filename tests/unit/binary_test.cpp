// binary!: conversions, the inserting actions, the hexadecimal printed form, comparison, the
// bitwise operations, trim, and the base 2, 16, 58 and 64 codecs.
#include <gtest/gtest.h>

#include <string>

#include "runtime/datatypes/base_encoding.h"
#include "text_builders.h"

namespace xol::testing {
namespace {

using BinaryTest = TextTest;
using base_encoding::Base;

// The block [1 "a" #"b"].
Cell mixed_block() {
  Cell block = load("1");
  Cell text;
  string::load_utf8(&text, "a");
  Cell letter = character::make('b');
  block::append_cell(&block, &text);
  block::append_cell(&block, &letter);
  return block;
}

TEST_F(BinaryTest, ToBinaryOfNumbersTextAndIssues) {
  struct Case {
    Cell spec;
    std::string bytes;
  };
  const Case cases[] = {
      {integer::make(1), std::string("\0\0\0\1", 4)},
      {floating::make(1.0), std::string("\x3F\xF0\0\0\0\0\0\0", 8)},
      {str("\xC3\xA9"), "\xC3\xA9"},
      {str_in("\xC3\xA9", 4), "\xC3\xA9"},
      {chr(0x20AC), "\xE2\x82\xAC"},
      {str("ab", TYPE_TAG), "ab"},
      {issue::load("0aFF"), "\x0A\xFF"},
      {mixed_block(), std::string("\x01" "ab", 3)},
  };
  for (const Case& c : cases) {
    Cell result;
    binary::to(nullptr, &c.spec, TYPE_BINARY, &result);
    EXPECT_EQ(binary::bytes(&result), c.bytes);
  }
  Cell bad_issue = issue::load("xyz"), result;
  EXPECT_EQ(raised([&] { binary::to(nullptr, &bad_issue, TYPE_BINARY, &result); }),
            "script/invalid-data");
  Cell none = none_value();
  EXPECT_EQ(raised([&] { binary::to(nullptr, &none, TYPE_BINARY, &result); }),
            "script/bad-to-arg");
}

TEST_F(BinaryTest, AppendTakesBytesInTheByteRangeAndInsertStopsAfterThem) {
  Cell b = bin(""), result;
  for (int32_t n : {255, -1, 0}) {
    Cell value = integer::make(n);
    binary::insert(&b, &value, {}, true, &result);
  }
  EXPECT_EQ(binary::bytes(&b), std::string("\xFF\xFF\0", 3));
  Cell big = integer::make(256);
  EXPECT_EQ(raised([&] { binary::insert(&b, &big, {}, true, &result); }), "script/invalid-arg");
  Cell word = word::load("w");
  EXPECT_EQ(raised([&] { binary::insert(&b, &word, {}, true, &result); }), "script/bad-to-arg");

  Cell c = bin("ad"), text = str("bc");
  c.data1 = 1;
  InsertOptions dup2;
  dup2.dup = 2;
  binary::insert(&c, &text, dup2, false, &result);
  EXPECT_EQ(result.head_index(), 5u);
  c.data1 = 0;
  EXPECT_EQ(binary::bytes(&c), "abcbcd");

  Cell d = bin("abcd");
  binary::change(&d, &word, {}, &result);
  d.data1 = 0;
  EXPECT_EQ(binary::bytes(&d), "wbcd") << "change forms what append refuses";
}

TEST_F(BinaryTest, MoldPutsLongBinariesOnIndentedLinesOf32Bytes) {
  EXPECT_EQ(molded(bin("\x01\xAB")), "#{01AB}");
  EXPECT_EQ(molded(bin(std::string(30, '\0'))), "#{" + std::string(60, '0') + "}");
  EXPECT_EQ(molded(bin(std::string(31, '\0'))), "#{\n    " + std::string(62, '0') + "\n}");
  EXPECT_EQ(molded(bin(std::string(33, '\x11'))),
            "#{\n    " + std::string(64, '1') + "\n    11\n}");
  EXPECT_EQ(formed(bin("\xFF")), "#{FF}");
}

TEST_F(BinaryTest, CompareIsByteOrderWithoutFolding) {
  Cell a = bin("a"), upper = bin("A"), ab = bin("ab");
  EXPECT_EQ(compared(a, upper, COMP_EQUAL), 1);
  EXPECT_EQ(compared(a, upper, COMP_GREATER), 1);
  EXPECT_EQ(compared(a, ab, COMP_LESSER), -1);
  EXPECT_EQ(compared(a, ab, COMP_EQUAL), 1);
  Cell copy = bin("a");
  EXPECT_EQ(compared(a, copy, COMP_STRICT_EQUAL), 0);
  Cell text = str("a");
  EXPECT_EQ(compared(a, text, COMP_EQUAL), kNotComparable);
}

TEST_F(BinaryTest, BitwiseOperationsRunToTheLongerOperand) {
  struct Case {
    Action action;
    const char* expected;
  };
  for (const Case& c : {Case{ACT_AND, "\x0F\0\0"}, Case{ACT_OR, "\xFF\x00\xFF"},
                        Case{ACT_XOR, "\xF0\x00\xFF"}}) {
    Cell a = bin(std::string("\xFF\x00\xFF", 3)), b = bin("\x0F"), result;
    switch (c.action) {
      case ACT_AND: actions::get<ACT_AND>(TYPE_BINARY)(&a, &b, &result); break;
      case ACT_OR: actions::get<ACT_OR>(TYPE_BINARY)(&a, &b, &result); break;
      default: actions::get<ACT_XOR>(TYPE_BINARY)(&a, &b, &result); break;
    }
    EXPECT_EQ(binary::bytes(&result), std::string(c.expected, 3));
  }
  Cell a = bin("\x0F"), result;
  binary::complement(&a, &result);
  EXPECT_EQ(binary::bytes(&a), "\xF0");
}

TEST_F(BinaryTest, TrimRemovesZeroBytes) {
  struct Case {
    TrimOptions options;
    std::string expected;
  };
  TrimOptions head, tail, all;
  head.head = true;
  tail.tail = true;
  all.all = true;
  const Case cases[] = {
      {{}, std::string("\xAB\0\xCD", 3)},
      {head, std::string("\xAB\0\xCD\0\0", 5)},
      {tail, std::string("\0\0\xAB\0\xCD", 5)},
      {all, "\xAB\xCD"},
  };
  for (const Case& c : cases) {
    Cell b = bin(std::string("\0\0\xAB\0\xCD\0\0", 7)), result;
    binary::trim(&b, c.options, &result);
    EXPECT_EQ(binary::bytes(&result), c.expected);
  }
  TrimOptions lines;
  lines.lines = true;
  Cell b = bin("a"), result;
  EXPECT_EQ(raised([&] { binary::trim(&b, lines, &result); }), "internal/not-done");
}

// ---- base encodings ----

struct Vector {
  Base base;
  std::string bytes;
  std::string text;
};

TEST_F(BinaryTest, EncodingsRoundTripOnKnownVectors) {
  const Vector vectors[] = {
      // RFC 4648, section 10.
      {base_encoding::BASE_64, "", ""},
      {base_encoding::BASE_64, "f", "Zg=="},
      {base_encoding::BASE_64, "fo", "Zm8="},
      {base_encoding::BASE_64, "foo", "Zm9v"},
      {base_encoding::BASE_64, "foob", "Zm9vYg=="},
      {base_encoding::BASE_64, "fooba", "Zm9vYmE="},
      {base_encoding::BASE_64, "foobar", "Zm9vYmFy"},
      {base_encoding::BASE_64, "\xFB\xFF", "+/8="},
      {base_encoding::BASE_16, "foobar", "666F6F626172"},
      {base_encoding::BASE_16, "\x0F\xA0", "0FA0"},
      {base_encoding::BASE_2, "\x05\xA0", "0000010110100000"},
      {base_encoding::BASE_58, std::string("\0\0", 2), "11"},
      {base_encoding::BASE_58, "Hello World!", "2NEpo7TZRRrLZSi2U"},
      {base_encoding::BASE_58, std::string("\0\0\x28\x7f\xb4\xcd", 6), "11233QC4"},
      {base_encoding::BASE_58, "\xFF", "5Q"},
  };
  for (const Vector& v : vectors) {
    Cell bytes = bin(v.bytes);
    Cell text = base_encoding::encode_value(&bytes, v.base);
    EXPECT_EQ(text_of(text), v.text) << "base " << v.base;
    for (uint32_t unit : {1u, 2u, 4u}) {
      Cell wide = str_in(v.text, unit), decoded;
      ASSERT_TRUE(base_encoding::decode_value(&wide, v.base, &decoded))
          << v.text << " unit " << unit;
      EXPECT_EQ(binary::bytes(&decoded), v.bytes) << v.text;
    }
  }
}

TEST_F(BinaryTest, DecodersSkipLayoutAndRejectWhatIsNotADigit) {
  struct Case {
    Base base;
    const char* text;
    const char* bytes;   // null: invalid
  };
  const Case cases[] = {
      {base_encoding::BASE_16, "0f 1", "\x0F"},
      {base_encoding::BASE_16, "0g", nullptr},
      {base_encoding::BASE_16, "\xC2\xB1\xC2\xB1", nullptr},   // ± is no digit, whatever its low bits
      {base_encoding::BASE_16, "41 ; a comment\n42", "AB"},
      {base_encoding::BASE_64, "YQ==", "a"},
      {base_encoding::BASE_64, "Y\tQ\n'==", "a"},
      {base_encoding::BASE_64, "Y\x0BQ==", nullptr},
      {base_encoding::BASE_64, "Y===", nullptr},
      {base_encoding::BASE_64, "Y\xC3\xA9Q==", nullptr},
      {base_encoding::BASE_2, "0100 0001", "A"},
      {base_encoding::BASE_2, "0100", nullptr},
      {base_encoding::BASE_2, "0120", nullptr},
      {base_encoding::BASE_58, "5Q", "\xFF"},
      {base_encoding::BASE_58, "0", nullptr},
      {base_encoding::BASE_58, "5Q\xC3\xA9", nullptr},
  };
  for (const Case& c : cases) {
    Cell text = str(c.text), decoded;
    bool valid = base_encoding::decode_value(&text, c.base, &decoded);
    EXPECT_EQ(valid, c.bytes != nullptr) << c.text;
    if (valid && c.bytes) {
      EXPECT_EQ(binary::bytes(&decoded), c.bytes) << c.text;
    }
  }
}

}  // namespace
}  // namespace xol::testing
