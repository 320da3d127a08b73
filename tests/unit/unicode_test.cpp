// UTF-8 and UTF-16 codecs, the OS-text round trip and the widening of text buffers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/memory/collector.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/memory/memory.h"
#include "runtime/text/string_widening.h"
#include "runtime/text/utf16.h"
#include "runtime/text/utf8.h"

namespace xol {
namespace {

using Bytes = std::vector<uint8_t>;
using CodePoints = std::vector<uint32_t>;
using memory::SeriesBuffer;

class Unicode : public ::testing::Test {
 protected:
  void SetUp() override {
    collector::active = false;
    memory::init();
  }
  void TearDown() override { memory::free_all_frames(); }
};

CodePoints code_points(NodeId node) {
  SeriesBuffer* buffer = memory::buffer_of(node);
  CodePoints out;
  for (uint32_t at = 0; at < buffer->tail; at += buffer->unit())
    out.push_back(string::get_char(buffer->data() + at, buffer->unit()));
  return out;
}

NodeId make_buffer(uint32_t unit, const CodePoints& cps) {
  NodeId node = memory::alloc_units(uint32_t(cps.size()), unit);
  SeriesBuffer* buffer = memory::buffer_of(node);
  for (uint32_t cp : cps) {
    string::put_char(buffer->tail_ptr(), unit, cp);
    buffer->tail += unit;
  }
  return node;
}

Cell make_string(uint32_t unit, const CodePoints& cps) {
  return Cell{TYPE_STRING, 0, make_buffer(unit, cps), 0};
}

Bytes binary_bytes(const Cell& cell) {
  SeriesBuffer* buffer = memory::buffer_of(cell.node());
  return Bytes(buffer->head_ptr(), buffer->tail_ptr());
}

// Runs `body`, which must raise category/id; answers the raised record.
template <typename Body>
error::Raised expect_raise(Body body, error::Category category, const char* id) {
  try {
    body();
  } catch (const error::Raised& raised) {
    EXPECT_EQ(raised.category, category);
    EXPECT_STREQ(raised.id, id);
    return raised;
  }
  ADD_FAILURE() << "nothing raised, expected " << id;
  return {};
}

// ---- the fast decoder ----

TEST(FastDecoder, MalformedSequencesYieldMinusOneAfterTheBreakingByte) {
  struct Case {
    Bytes bytes;
    int32_t cp;
    size_t consumed;
  } cases[] = {
      {{0x41}, 0x41, 1},
      {{0xC3, 0xA9}, 0xE9, 2},
      {{0xE2, 0x82, 0xAC}, 0x20AC, 3},
      {{0xF4, 0x8F, 0xBF, 0xBF}, 0x10FFFF, 4},
      {{0x80}, -1, 1},                    // stray continuation byte
      {{0xF5, 0x80}, -1, 1},              // never a lead byte
      {{0xE2, 0x28, 0xA1}, -1, 2},        // the "(" that broke it is consumed
      {{0xC0, 0x80}, -1, 1},              // overlong
      {{0xED, 0xA0, 0x80}, -1, 2},        // surrogate
      {{0xF4, 0x90, 0x80, 0x80}, -1, 2},  // above U+10FFFF
      {{0xE2, 0x82}, -1, 2},              // cut short by the end of the range
  };
  for (const Case& c : cases) {
    int32_t cp = 0;
    const uint8_t* after = unicode::fast_decode_utf8_char(c.bytes.data(),
                                                          c.bytes.data() + c.bytes.size(), &cp);
    EXPECT_EQ(cp, c.cp) << testing::PrintToString(c.bytes);
    EXPECT_EQ(size_t(after - c.bytes.data()), c.consumed) << testing::PrintToString(c.bytes);
  }
}

TEST(FastDecoder, CountsAndSkipsEverySequenceValidOrNot) {
  std::string text = "plain ascii text, then \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80 and \x80\xE2\x28";
  auto* start = reinterpret_cast<const uint8_t*>(text.data());
  const uint8_t* end = start + text.size();
  EXPECT_EQ(utf8::count_chars(start, end), 23u + 3 + 5 + 2);
  EXPECT_EQ(utf8::skip_chars(start, end, 24), start + 25);   // past "é"
  EXPECT_EQ(utf8::skip_chars(start, end, 26), start + 32);   // past the emoji
  EXPECT_EQ(utf8::skip_chars(start, end, 1000), end);
}

// ---- byte-level primitives ----

TEST(Utf8, SequenceLengthFollowsTheLeadBitsOnly) {
  struct Case {
    uint8_t lead;
    int length;
  } cases[] = {{0x41, 0}, {0x80, 0}, {0xBF, 0}, {0xC0, 2}, {0xDF, 2},
               {0xE0, 3}, {0xEF, 3}, {0xF0, 4}, {0xFF, 4}};
  for (const Case& c : cases) EXPECT_EQ(utf8::sequence_length(c.lead), c.length) << int(c.lead);
}

TEST_F(Unicode, EncoderWritesEveryLengthAndSurrogatesAsIs) {
  struct Case {
    uint32_t cp;
    Bytes bytes;
  } cases[] = {
      {0x00, {0x00}}, {0x7F, {0x7F}}, {0x80, {0xC2, 0x80}}, {0x7FF, {0xDF, 0xBF}},
      {0x800, {0xE0, 0xA0, 0x80}}, {0xD800, {0xED, 0xA0, 0x80}}, {0xFFFF, {0xEF, 0xBF, 0xBF}},
      {0x10000, {0xF0, 0x90, 0x80, 0x80}}, {0x10FFFF, {0xF4, 0x8F, 0xBF, 0xBF}},
  };
  for (const Case& c : cases) {
    uint8_t out[4] = {};
    int n = utf8::encode_char(c.cp, out);
    EXPECT_EQ(Bytes(out, out + n), c.bytes) << std::hex << c.cp;
    EXPECT_EQ(utf8::encoded_length(c.cp), int(c.bytes.size()));
  }
}

TEST_F(Unicode, EncodersRaiseInvalidCharAboveTheLastCodePoint) {
  uint8_t out[4];
  error::Raised raised = expect_raise([&] { utf8::encode_char(0x110000, out); },
                                      error::CAT_SCRIPT, "invalid-char");
  ASSERT_EQ(raised.arg_count, 1);
  EXPECT_EQ(raised.args[0].type(), TYPE_INTEGER);
  EXPECT_EQ(raised.args[0].data2, 0x110000u);
  expect_raise([] { utf8::encoded_length(0xFFFFFFFF); }, error::CAT_SCRIPT, "invalid-char");
  Bytes units = {0x41, 0, 0, 0, 0x00, 0x00, 0x11, 0x00};   // U+0041, 0x110000
  expect_raise([&] { utf8::length_of_units(units.data(), units.data() + units.size(), 4); },
               error::CAT_SCRIPT, "invalid-char");
}

TEST(Utf8, BoundedEncoderWritesAPrefixOfTheSequence) {
  uint8_t out[4] = {};
  EXPECT_EQ(utf8::encode_char_bounded(0x20AC, out, 2), 2);
  EXPECT_EQ(Bytes(out, out + 2), (Bytes{0xE2, 0x82}));
  EXPECT_EQ(utf8::encode_char_bounded(0x20AC, out, 0), 0);
  EXPECT_EQ(utf8::encode_char_bounded(0x41, out, 3), 1);
}

TEST(Utf8, LengthOfUnitsCountsEncodedBytes) {
  Bytes units = {0x41, 0x00, 0xE9, 0x00, 0xAC, 0x20};   // little-endian 16-bit units
  EXPECT_EQ(utf8::length_of_units(units.data(), units.data() + units.size(), 2), 1u + 2 + 3);
}

// ---- the strict decoder ----

struct StrictCase {
  Bytes bytes;
  int32_t cp;         // kIncomplete, or -2 for a raise of invalid-utf8
  size_t consumed;    // bytes consumed, or the argument's byte count on a raise
};
constexpr int32_t kRaises = -2;

TEST_F(Unicode, StrictDecoderAcceptsOverlongsButRejectsDC00AndFFFE) {
  StrictCase cases[] = {
      {{0x41}, 0x41, 1},
      {{0xC3, 0xA9, 0x41}, 0xE9, 2},
      {{0xC0, 0x80}, 0x00, 2},                  // overlong NUL is accepted
      {{0xE0, 0x80, 0xAF}, 0x2F, 3},            // overlong "/" is accepted
      {{0xED, 0xA0, 0x80}, 0xD800, 3},          // high surrogates are accepted
      {{0xED, 0xB4, 0x80}, 0xDD00, 3},
      {{0xF4, 0x8F, 0xBF, 0xBF}, 0x10FFFF, 4},
      {{0xED, 0xB0, 0x80}, kRaises, 3},         // U+DC00
      {{0xED, 0xB3, 0xBF}, kRaises, 3},         // U+DCFF
      {{0xF0, 0x8D, 0xB2, 0x80}, kRaises, 4},   // U+DC80 through a four-byte overlong
      {{0xEF, 0xBF, 0xBE}, kRaises, 3},         // U+FFFE
      {{0xF0, 0x8F, 0xBF, 0xBE}, kRaises, 4},   // U+FFFE overlong
      {{0xF4, 0x90, 0x80, 0x80, 0x41}, kRaises, 4},
      {{0xF8, 0x88, 0x80, 0x80, 0x80}, kRaises, 4},
      {{0x80}, kRaises, 1},
      {{0xE9, 0x41, 0x42}, kRaises, 3},
      {{0xC3}, utf8::kIncomplete, 1},
      {{0xE2, 0x82}, utf8::kIncomplete, 2},
      {{0xF0, 0x9F, 0x98}, utf8::kIncomplete, 3},
  };
  for (const StrictCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    size_t available = c.bytes.size();
    if (c.cp == kRaises) {
      error::Raised raised = expect_raise([&] { utf8::decode_one(c.bytes.data(), &available); },
                                          error::CAT_ACCESS, "invalid-utf8");
      ASSERT_EQ(raised.arg_count, 1);
      EXPECT_EQ(raised.args[0].type(), TYPE_BINARY);
      EXPECT_EQ(binary_bytes(raised.args[0]), Bytes(c.bytes.begin(), c.bytes.begin() + c.consumed));
      continue;
    }
    EXPECT_EQ(utf8::decode_one(c.bytes.data(), &available), c.cp);
    EXPECT_EQ(available, c.consumed);
  }
}

// ---- loading UTF-8 into buffers ----

struct LoadCase {
  std::string name;
  Bytes bytes;
  uint32_t unit;
  CodePoints cps;
  size_t left_over;
};

TEST_F(Unicode, LoadingKeepsLatin1NarrowAndWidensAboveIt) {
  LoadCase cases[] = {
      {"bom alone", {0xEF, 0xBB, 0xBF}, 1, {}, 0},
      {"bom skipped", {0xEF, 0xBB, 0xBF, 0x41}, 1, {0x41}, 0},
      {"e acute stays unit 1", {0xC3, 0xA9}, 1, {0xE9}, 0},
      {"truncated tail left over", {0x41, 0xE9}, 1, {0x41}, 1},
      {"two bytes left over", {0xE2, 0x82}, 1, {}, 2},
      {"euro widens to 2", {0x61, 0xC3, 0xA9, 0xE2, 0x82, 0xAC}, 2, {0x61, 0xE9, 0x20AC}, 0},
      {"emoji widens to 4", {0xC3, 0xA9, 0xF0, 0x9F, 0x98, 0x80}, 4, {0xE9, 0x1F600}, 0},
      {"2 then 4", {0x61, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80, 0x62}, 4,
       {0x61, 0x20AC, 0x1F600, 0x62}, 0},
      {"overlong nul", {0xC0, 0x80}, 1, {0x00}, 0},
      {"lone high surrogate", {0xED, 0xA0, 0x80}, 2, {0xD800}, 0},
      {"CR kept without the flag", {0x61, 0x0D, 0x0A}, 1, {0x61, 0x0D, 0x0A}, 0},
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.name);
    size_t left_over = 99;
    utf8::Loaded loaded = utf8::load_string(c.bytes.data(), c.bytes.size(), kNoNode, &left_over);
    EXPECT_EQ(memory::buffer_of(loaded.node)->unit(), c.unit);
    EXPECT_EQ(code_points(loaded.node), c.cps);
    EXPECT_EQ(loaded.tail, c.cps.size() * c.unit);
    EXPECT_EQ(left_over, c.left_over);
  }
}

TEST_F(Unicode, LoadingInvalidUtf8RaisesWithTheBytesFromTheLead) {
  struct Case {
    Bytes bytes;
    Bytes arg;
  } cases[] = {
      {{0xE9, 0x41, 0x42}, {0xE9, 0x41, 0x42}},
      {{0x41, 0x42, 0xED, 0xB0, 0x80, 0x43, 0x44}, {0xED, 0xB0, 0x80, 0x43}},
      {{0xEF, 0xBF, 0xBE}, {0xEF, 0xBF, 0xBE}},
      {{0x41, 0x80}, {0x80}},
  };
  for (const Case& c : cases) {
    error::Raised raised = expect_raise([&] { utf8::load_string(c.bytes.data(), c.bytes.size()); },
                                        error::CAT_ACCESS, "invalid-utf8");
    ASSERT_EQ(raised.arg_count, 1);
    EXPECT_EQ(binary_bytes(raised.args[0]), c.arg);
  }
}

TEST_F(Unicode, LineEndingFlagTurnsCrLfAndLoneCrIntoLf) {
  Bytes bytes = {'a', '\r', '\n', 'b', '\r', 'c', '\r'};
  utf8::Loaded loaded = utf8::load_string(bytes.data(), bytes.size(), kNoNode, nullptr,
                                          utf8::LineEnds::TO_LF);
  EXPECT_EQ(code_points(loaded.node), (CodePoints{'a', '\n', 'b', '\n', 'c', '\n'}));

  // CRs at every position within the eight-byte words of the ASCII scan.
  std::string text;
  CodePoints expected;
  for (size_t i = 0; i < 20; ++i) {
    std::string line = std::string(i, 'x') + "\r\n" + std::string(i, 'y') + "\r";
    text += line;
    for (char ch : line)
      if (ch != '\r') expected.push_back(uint8_t(ch));   // the CR of CR LF is dropped
    expected.push_back('\n');                              // the lone CR becomes LF
  }
  loaded = utf8::load_string(reinterpret_cast<const uint8_t*>(text.data()), text.size(), kNoNode,
                             nullptr, utf8::LineEnds::TO_LF);
  EXPECT_EQ(code_points(loaded.node), expected);
}

TEST_F(Unicode, LongTextWidensMidwayAndKeepsEveryCharacter) {
  // Long ASCII runs around the wide characters exercise the word-at-a-time path and the
  // growth after each widening.
  std::string text;
  CodePoints expected;
  for (int round = 0; round < 50; ++round) {
    for (char ch : std::string("the quick brown fox\r\n")) {
      text += ch;
      expected.push_back(uint8_t(ch));
    }
    if (round == 10) text += "\xC3\xA9", expected.push_back(0xE9);
    if (round == 20) text += "\xE2\x82\xAC", expected.push_back(0x20AC);
    if (round == 30) text += "\xF0\x9F\x98\x80", expected.push_back(0x1F600);
  }
  auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  utf8::Loaded loaded = utf8::load_string(bytes, text.size());
  EXPECT_EQ(memory::buffer_of(loaded.node)->unit(), 4u);
  EXPECT_EQ(code_points(loaded.node), expected);
}

TEST_F(Unicode, LoadingIntoATargetReplacesItsTextAndKeepsItsUnit) {
  NodeId target = make_buffer(2, {0x100, 0x101, 0x102, 0x103, 0x104, 0x105, 0x106, 0x107});
  Bytes bytes = {'h', 'i', 0xC3, 0xA9};
  utf8::Loaded loaded = utf8::load_string(bytes.data(), bytes.size(), target);
  EXPECT_EQ(loaded.node, target);
  EXPECT_EQ(memory::buffer_of(target)->unit(), 2u);
  EXPECT_EQ(code_points(target), (CodePoints{'h', 'i', 0xE9}));
}

// ---- text from the operating system ----

TEST_F(Unicode, OsTextRoundTripsAnyBytes) {
  struct Case {
    std::string name;
    Bytes bytes;
    CodePoints cps;
  } cases[] = {
      {"valid text", {'o', 'k', 0xC3, 0xA9, 0xF0, 0x9F, 0x98, 0x80}, {'o', 'k', 0xE9, 0x1F600}},
      {"latin-1 name", {'c', 'a', 'f', 0xE9}, {'c', 'a', 'f', 0xDCE9}},
      {"stray bytes", {0xFF, 0xFE, 0x80}, {0xDCFF, 0xDCFE, 0xDC80}},
      {"overlong", {'a', 0xC0, 0x80, 'b'}, {'a', 0xDCC0, 0xDC80, 'b'}},
      {"encoded surrogate", {0xED, 0xA0, 0x80}, {0xDCED, 0xDCA0, 0xDC80}},
      {"broken by ascii", {0xE2, 0x28, 0xA1}, {0xDCE2, '(', 0xDCA1}},
      {"truncated at the end", {'x', 0xE2, 0x82}, {'x', 0xDCE2, 0xDC82}},
      {"above the last code point", {0xF4, 0x90, 0x80, 0x80}, {0xDCF4, 0xDC90, 0xDC80, 0xDC80}},
      {"leading byte order mark kept", {0xEF, 0xBB, 0xBF, 'n'}, {0xFEFF, 'n'}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    utf8::Loaded loaded = utf8::load_os_text(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(code_points(loaded.node), c.cps);
    Cell string{TYPE_STRING, 0, loaded.node, 0};
    int32_t length = -1;
    const uint8_t* out = utf8::from_string(&string, &length, utf8::ENCODE_OS_TEXT);
    EXPECT_EQ(Bytes(out, out + length), c.bytes);
    EXPECT_EQ(out[length], 0);
  }
}

TEST_F(Unicode, PlainEncodingKeepsEscapesAsThreeByteSequences) {
  Cell string = make_string(2, {0xDCE9});
  int32_t length = -1;
  const uint8_t* out = utf8::from_string(&string, &length);
  EXPECT_EQ(Bytes(out, out + length), (Bytes{0xED, 0xB3, 0xA9}));
}

// ---- strings to UTF-8 ----

TEST_F(Unicode, FromStringEncodesFromTheHeadWithinTheLimit) {
  struct Case {
    std::string name;
    uint32_t unit;
    uint32_t head;
    int32_t limit;
    unsigned flags;
    std::string expected;
  } cases[] = {
      {"unit 1 all", 1, 0, -1, utf8::ENCODE_PLAIN, "a\xC3\xA9\nb"},
      {"unit 1 from head", 1, 2, -1, utf8::ENCODE_PLAIN, "\nb"},
      {"unit 1 limit", 1, 0, 2, utf8::ENCODE_PLAIN, "a\xC3\xA9"},
      {"limit above length", 1, 0, 100, utf8::ENCODE_PLAIN, "a\xC3\xA9\nb"},
      {"crlf", 1, 0, -1, utf8::ENCODE_CRLF, "a\xC3\xA9\r\nb"},
      {"unit 4", 4, 0, -1, utf8::ENCODE_CRLF, "a\xC3\xA9\r\nb"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Cell string = make_string(c.unit, {'a', 0xE9, '\n', 'b'});
    string.data1 = c.head;
    int32_t length = c.limit;
    const uint8_t* out = utf8::from_string(&string, &length, c.flags);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out), size_t(length)), c.expected);
    EXPECT_EQ(out[length], 0);
  }
}

TEST_F(Unicode, ConversionBufferIsReusedAndGrown) {
  Cell string = make_string(1, {'a', 'b'});
  int32_t length = -1;
  utf8::from_string(&string, &length);
  NodeId cache = string.data3;
  ASSERT_NE(cache, kNoNode);
  Cell longer = make_string(4, CodePoints(100, 0x1F600));
  longer.data3 = cache;
  length = -1;
  const uint8_t* out = utf8::from_string(&longer, &length);
  EXPECT_EQ(longer.data3, cache);
  EXPECT_EQ(length, 400);
  EXPECT_EQ(out, memory::buffer_of(cache)->data());
  EXPECT_GE(memory::buffer_of(cache)->size, 404u);
}

TEST_F(Unicode, EncodingIntoCallerMemoryStopsAtWholeCharacters) {
  Cell string = make_string(2, {'a', 0x20AC, 'b'});
  uint8_t out[16];
  EXPECT_EQ(utf8::from_string_into(&string, out, -1, true), 5u);
  EXPECT_EQ(out[5], 0);
  EXPECT_EQ(utf8::from_string_into(&string, out, 1, false), 1u);
  struct Case {
    size_t room;
    int32_t limit;
    size_t written;
  } cases[] = {{16, 0, 5}, {3, 0, 1}, {4, 0, 4}, {16, 2, 4}, {16, 3, 5}, {0, 0, 0}};
  for (const Case& c : cases) {
    std::memset(out, 0xAA, sizeof out);
    EXPECT_EQ(utf8::from_string_part(&string, out, c.room, c.limit, true), c.written)
        << c.room << " " << c.limit;
    EXPECT_EQ(out[c.written], 0);
  }
}

// ---- UTF-16 ----

TEST(Utf16, SurrogateBoundsAndPairsRoundTrip) {
  static_assert(!utf16::is_surrogate(0xD7FF) && utf16::is_surrogate(0xD800));
  static_assert(utf16::is_surrogate(0xDFFF) && !utf16::is_surrogate(0xE000));
  static_assert(utf16::is_high_surrogate(0xDBFF) && !utf16::is_high_surrogate(0xDC00));
  static_assert(utf16::is_low_surrogate(0xDC00) && !utf16::is_low_surrogate(0xDBFF));
  for (uint32_t cp : {0x10000u, 0x1F600u, 0x10FFFFu}) {
    uint16_t pair[2];
    ASSERT_EQ(utf16::encode_char(cp, pair), 2);
    EXPECT_TRUE(utf16::is_high_surrogate(pair[0]) && utf16::is_low_surrogate(pair[1]));
    EXPECT_EQ(utf16::join_pair(pair[0], pair[1]), cp);
  }
}

TEST_F(Unicode, Utf16FromStringPairsAndAddsCr) {
  Cell string = make_string(4, {0x1F600, '\n'});
  const uint16_t* out = utf16::from_string(&string);
  EXPECT_EQ(std::vector<uint16_t>(out, out + 5),
            (std::vector<uint16_t>{0xD83D, 0xDE00, 0x000D, 0x000A, 0x0000}));
  int32_t length = -1;
  utf16::from_string_length(&string, &length, true);
  EXPECT_EQ(length, 4);
  length = -1;
  out = utf16::from_string_length(&string, &length, false);
  EXPECT_EQ(length, 3);
  EXPECT_EQ(out[2], 0x000A);
  length = 1;
  utf16::from_string_length(&string, &length, true);
  EXPECT_EQ(length, 2);
}

TEST_F(Unicode, Utf16FromStringOfEveryUnit) {
  for (uint32_t unit : {1u, 2u}) {
    Cell string = make_string(unit, {'a', 0xE9, '\n'});
    int32_t length = -1;
    const uint16_t* out = utf16::from_string_length(&string, &length, true);
    EXPECT_EQ(std::vector<uint16_t>(out, out + length + 1),
              (std::vector<uint16_t>{'a', 0xE9, '\r', '\n', 0}));
  }
}

TEST_F(Unicode, Utf16FromStringAboveTheLastCodePointGivesNothing) {
  Cell string = make_string(4, {'a', 0x110000});
  int32_t length = -1;
  EXPECT_EQ(utf16::from_string_length(&string, &length, false), nullptr);
}

TEST(Utf16, EncodeCharPairsSupplementaryCodePoints) {
  uint16_t out[2] = {};
  EXPECT_EQ(utf16::encode_char(0xFFFF, out), 1);
  EXPECT_EQ(utf16::encode_char(0x10FFFF, out), 2);
  EXPECT_EQ(out[0], 0xDBFF);
  EXPECT_EQ(out[1], 0xDFFF);
  EXPECT_EQ(utf16::encode_char(0x110000, out), 0);
}

Bytes utf16le(const std::vector<uint16_t>& units) {
  Bytes bytes;
  for (uint16_t u : units) bytes.push_back(uint8_t(u)), bytes.push_back(uint8_t(u >> 8));
  return bytes;
}

TEST_F(Unicode, Utf16LoadPicksTheUnitBeforeCopying) {
  struct Case {
    std::string name;
    std::vector<uint16_t> units;
    bool drop_cr;
    uint32_t unit;
    CodePoints cps;
  } cases[] = {
      {"latin-1", {'a', 0xE9}, false, 1, {'a', 0xE9}},
      {"bmp", {'a', 0x20AC}, false, 2, {'a', 0x20AC}},
      {"pair", {0xD83D, 0xDE00, 'a'}, false, 4, {0x1F600, 'a'}},
      {"lone low surrogate", {0xDC00, 'a'}, false, 4, {0xDC00, 'a'}},
      {"every CR dropped", {'a', '\r', '\n', 'b', '\r'}, true, 1, {'a', '\n', 'b'}},
      {"CR kept", {'a', '\r'}, false, 1, {'a', '\r'}},
      {"empty, from no address", {}, false, 1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes bytes = utf16le(c.units);
    NodeId node = utf16::load(bytes.data(), c.units.size(), nullptr, c.drop_cr);
    EXPECT_EQ(memory::buffer_of(node)->unit(), c.unit);
    EXPECT_EQ(code_points(node), c.cps);
  }
}

TEST_F(Unicode, Utf16LoadIntoATargetTakesTheNewUnit) {
  Cell target = make_string(1, {'x'});
  Bytes bytes = utf16le({'a', 0x20AC, 'b'});
  EXPECT_EQ(utf16::load(bytes.data(), 3, &target, false), target.node());
  EXPECT_EQ(memory::buffer_of(target.node())->unit(), 2u);
  EXPECT_EQ(code_points(target.node()), (CodePoints{'a', 0x20AC, 'b'}));
}

TEST_F(Unicode, Utf16LoadReadsTheConversionBufferWhenGivenNoSource) {
  Cell target = make_string(1, {});
  Bytes bytes = utf16le({'o', 'k'});
  std::memcpy(os_buffer::ensure(&target, uint32_t(bytes.size())), bytes.data(), bytes.size());
  utf16::load(nullptr, 2, &target, false);
  EXPECT_EQ(code_points(target.node()), (CodePoints{'o', 'k'}));
}

TEST_F(Unicode, Utf16BrokenPairRaisesInvalidDataAndLeavesTheTarget) {
  for (const std::vector<uint16_t>& units :
       {std::vector<uint16_t>{0xD83D, 0x0041}, std::vector<uint16_t>{'a', 0xD83D}}) {
    Cell target = make_string(1, {'x', 'y'});
    Bytes bytes = utf16le(units);
    error::Raised raised = expect_raise(
        [&] { utf16::load(bytes.data(), units.size(), &target, false); }, error::CAT_SCRIPT,
        "invalid-data");
    ASSERT_EQ(raised.arg_count, 1);
    EXPECT_EQ(raised.args[0].data2, 0xD83Du);
    EXPECT_EQ(code_points(target.node()), (CodePoints{'x', 'y'}));
  }
}

// ---- widening ----

struct WideningCase {
  uint32_t start_unit;
  uint32_t cp;
  uint32_t after_append;
  uint32_t after_store;
};

// Append widens a unit-1 buffer from U+0080, stores at a position from U+0100; unit 2 widens
// above U+FFFF; unit 4 holds everything.
const WideningCase kWidening[] = {
    {1, 0x7F, 1, 1},     {1, 0x80, 2, 1},      {1, 0xFF, 2, 1},     {1, 0x100, 2, 2},
    {1, 0xFFFF, 2, 2},   {1, 0x10000, 4, 4},   {1, 0x10FFFF, 4, 4}, {2, 0x80, 2, 2},
    {2, 0xFFFF, 2, 2},   {2, 0x10000, 4, 4},   {4, 0x41, 4, 4},     {4, 0x10FFFF, 4, 4},
};
const CodePoints kPrefix = {'a', 'b', 0x7F};

TEST_F(Unicode, AppendCharWidensFromU0080) {
  for (const WideningCase& c : kWidening) {
    SCOPED_TRACE(testing::Message() << "unit " << c.start_unit << " cp " << std::hex << c.cp);
    NodeId node = make_buffer(c.start_unit, kPrefix);
    SeriesBuffer* buffer = string::append_char(node, c.cp);
    EXPECT_EQ(buffer, memory::buffer_of(node));
    EXPECT_EQ(buffer->unit(), c.after_append);
    CodePoints expected = kPrefix;
    expected.push_back(c.cp);
    EXPECT_EQ(code_points(node), expected);
  }
}

TEST_F(Unicode, StoresAtAPositionWidenFromU0100) {
  for (const WideningCase& c : kWidening) {
    SCOPED_TRACE(testing::Message() << "unit " << c.start_unit << " cp " << std::hex << c.cp);
    NodeId poked = make_buffer(c.start_unit, kPrefix);
    EXPECT_EQ(string::overwrite_char(poked, 1, c.cp)->unit(), c.after_store);
    EXPECT_EQ(code_points(poked), (CodePoints{'a', c.cp, 0x7F}));

    NodeId extended = make_buffer(c.start_unit, kPrefix);
    EXPECT_EQ(string::overwrite_char(extended, 3, c.cp)->unit(), c.after_store);
    EXPECT_EQ(code_points(extended), (CodePoints{'a', 'b', 0x7F, c.cp}));

    NodeId inserted = make_buffer(c.start_unit, kPrefix);
    EXPECT_EQ(string::insert_char(inserted, 1, c.cp)->unit(), c.after_store);
    EXPECT_EQ(code_points(inserted), (CodePoints{'a', c.cp, 'b', 0x7F}));
  }
}

TEST_F(Unicode, WideningAFullBufferGrowsItOnceAndKeepsTheText) {
  struct Case {
    uint32_t from, to;
  } cases[] = {{1, 2}, {1, 4}, {2, 4}};
  for (const Case& c : cases) {
    CodePoints text;
    for (uint32_t i = 0; i < 32; ++i) text.push_back(0xE0 + i);   // exactly fills 32 bytes
    NodeId node = make_buffer(c.from, CodePoints(text.begin(), text.begin() + 32 / c.from));
    text.resize(32 / c.from);
    SeriesBuffer* buffer = memory::buffer_of(node);
    ASSERT_EQ(buffer->tail, buffer->size);
    buffer = string::widen_to(buffer, c.to);
    EXPECT_EQ(buffer, memory::buffer_of(node));
    EXPECT_EQ(buffer->unit(), c.to);
    EXPECT_GE(buffer->size, buffer->tail + c.to);
    EXPECT_EQ(code_points(node), text);
  }
}

TEST_F(Unicode, WidenToANarrowerUnitChangesNothing) {
  NodeId node = make_buffer(4, {0x41});
  SeriesBuffer* buffer = memory::buffer_of(node);
  EXPECT_EQ(string::widen_to(buffer, 2), buffer);
  EXPECT_EQ(buffer->unit(), 4u);
}

TEST_F(Unicode, ManyAppendsGrowAmortised) {
  NodeId node = memory::alloc_units(0, 1);
  CodePoints expected;
  for (uint32_t i = 0; i < 1000; ++i) {
    uint32_t cp = i == 500 ? 0x20AC : 'a' + i % 26;
    string::append_char(node, cp);
    expected.push_back(cp);
  }
  EXPECT_EQ(memory::buffer_of(node)->unit(), 2u);
  EXPECT_EQ(code_points(node), expected);
}

}  // namespace
}  // namespace xol
