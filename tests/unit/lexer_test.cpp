// The lexer: every literal form loads to the value whose molded form is expected, nesting and
// paths build the right series, new-line flags follow line breaks, and every syntax error
// carries its id, arguments and line.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <vector>
#include <cstring>
#include <string>
#include <string_view>

#include "number_fixture.h"
#include "tests/unit/source_case.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/path.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/text_types.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/url.h"
#include "runtime/datatypes/hash.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/datatypes/evaluator_hooks.h"
#include "runtime/io/lexer.h"
#include "runtime/io/number_converters.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/memory.h"
#include "runtime/text/utf8.h"

namespace xol::testing {
namespace {

using namespace std::literals;

// Datatype names by id, so that errors naming types not registered in this fixture read too.
std::string type_name(int32_t type) {
  static const char* const kNames[] = {
      "", "datatype!", "unset!", "none!", "logic!", "block!", "paren!", "string!", "file!",
      "url!", "char!", "integer!", "float!", "symbol!", "context!", "word!", "set-word!",
      "lit-word!", "get-word!", "refinement!", "issue!", "native!", "action!", "op!",
      "function!", "path!", "lit-path!", "set-path!", "get-path!", "routine!", "bitset!",
      "triple!", "object!", "typeset!", "error!", "vector!", "hash!", "pair!", "percent!",
      "tuple!", "map!", "binary!", "series!", "time!", "tag!", "email!", "handle!", "date!",
      "port!", "money!", "ref!", "point2D!", "point3D!", "image!", "event!",
  };
  return kNames[type];
}

class LexerTest : public NumberTest {
 protected:
  void SetUp() override {
    NumberTest::SetUp();
    lexer::init();
  }
  void TearDown() override {
    lexer::release();
    NumberTest::TearDown();
  }

  // The molded values of a block without its outer brackets.
  static std::string items(const Cell& block) {
    Cell buffer;
    text::make(&buffer, 16);
    actions::get<ACT_MOLD>(block.type())(&block, &buffer, true, false, false, nullptr,
                                         kNoPartLimit, 0);
    return std::string(text::view(&buffer));
  }

  // Loads from a heap copy of exactly the source's bytes, so that a read past its end shows
  // under AddressSanitizer.
  static std::string loaded(std::string_view source) {
    const std::vector<char> exact(source.begin(), source.end());
    try {
      return items(lexer::load(std::string_view(exact.data(), exact.size())));
    } catch (const error::Raised& raised) {
      return std::string("raised ") + raised.id;
    }
  }

  static Cell first(std::string_view source) {
    try {
      Cell block = lexer::load(source);
      return *block::head(&block);
    } catch (const error::Raised& raised) {
      ADD_FAILURE() << source << " raised " << raised.id;
      return Cell{TYPE_NONE, 0, 0, 0};
    }
  }

  // "id: arg1 | arg2 | arg3" of the syntax error that loading raises.
  static std::string syntax_error(std::string_view source) {
    try {
      lexer::load(source);
    } catch (const error::Raised& raised) {
      EXPECT_EQ(raised.category, error::CAT_SYNTAX) << source;
      std::string text = raised.id;
      for (int i = 0; i < raised.arg_count; ++i) {
        text += i ? " | " : ": ";
        text += argument(raised.args[i]);
      }
      return text;
    }
    return "no error";
  }
  static std::string argument(const Cell& value) {
    if (value.is(TYPE_STRING)) return std::string(text::view(&value));
    if (value.is(TYPE_DATATYPE)) return type_name(int32_t(value.data1));
    if (value.is(TYPE_NONE)) return "none";
    if (value.is(TYPE_CHAR)) return std::string(1, char(value.data2));
    return "?";
  }
};

TEST_F(LexerTest, WordsOfAllKinds) {
  const SourceCase cases[] = {
      {"a b-c c? <= <> == + - -a", "a b-c c? <= <> == + - -a"},
      {"a: :a 'a /a", "a: :a 'a /a"},
      {"=: <: >: +: -: *: ==:", "=: <: >: +: -: *: ==:"},
      {"#abc #a-b", "#abc #a-b"},
      {"/ // < >", "/ // < >"},
      {"é-été été:", "é-été été:"},
      {"a\xC2\xA0" "b", "a b"},
      {"\xC2\xA0\xC2\xA0", ""},
      {"a\xC2\xA0", "a"},
      // A Unicode space ends a word before a colon and ends a path, as a space does.
      {"a\xC2\xA0" "b: 'c\xC2\xA0" "d:", "a b: 'c d:"},
      {"a/b\xC2\xA0" "c a/b:\xC2\xA0" "1", "a/b c a/b: 1"},
      {"ffh", "ffh"},
  };
  for (const SourceCase& c : cases) EXPECT_EQ(loaded(c.source), c.expected) << c.source;
}

TEST_F(LexerTest, WordTypes) {
  EXPECT_EQ(first("a:").type(), TYPE_SET_WORD);
  EXPECT_EQ(first(":a").type(), TYPE_GET_WORD);
  EXPECT_EQ(first("'a").type(), TYPE_LIT_WORD);
  EXPECT_EQ(first("/a").type(), TYPE_REFINEMENT);
  EXPECT_EQ(first("#a").type(), TYPE_ISSUE);
}

TEST_F(LexerTest, Numbers) {
  const SourceCase cases[] = {
      {"0 1 -1 +5 2147483647 -2147483648", "0 1 -1 5 2147483647 -2147483648"},
      {"2147483648 12345678901", "2147483648.0 12345678901.0"},
      {"1'000'000", "1000000"},
      {"1.5 -0.25 .5 1. 1e3 1.5e-3 1E3 2'500.5", "1.5 -0.25 0.5 1.0 1000.0 0.0015 1000.0 2500.5"},
      {"1.#INF -1.#inf 1.#NaN", "1.#INF -1.#INF 1.#NaN"},
      {"50% 12.5% -1%", "50% 12.5% -1%"},
      {"0FFh FFh 12345678h", "255 255 305419896"},
  };
  for (const SourceCase& c : cases) EXPECT_EQ(loaded(c.source), c.expected) << c.source;
}

TEST_F(LexerTest, TimesDatesMoney) {
  const SourceCase cases[] = {
      {"10:30 1:30.5 -1:00 0:0:1.25", "10:30:00 0:01:30.5 -1:00:00 0:00:01.25"},
      {"1-Jan-2000 1/jan/2000 2000-01-01 1-1-99", "1-Jan-2000 1-Jan-2000 1-Jan-2000 1-Jan-1999"},
      {"29-Feb-2000 5-sept-1999 31-Dec-49", "29-Feb-2000 5-Sep-1999 31-Dec-2049"},
      {"1-Jan-2000/10:00 1-Jan-2000/10:00:30+2:00", "1-Jan-2000/10:00:00 1-Jan-2000/10:00:30+02:00"},
      {"2000-01-01T10:00-0530 20000101T120000Z", "1-Jan-2000/10:00:00-05:30 1-Jan-2000/12:00:00"},
      {"2009-W01-1 2004-W53-7 2000-060", "29-Dec-2008 2-Jan-2005 29-Feb-2000"},
      {"$1'000.50 -$1 USD$10.5 $0.12345", "$1000.50 -$1.00 USD$10.50 $0.12"},
  };
  for (const SourceCase& c : cases) EXPECT_EQ(loaded(c.source), c.expected) << c.source;
}

TEST_F(LexerTest, ConstructionSyntax) {
  EXPECT_EQ(loaded("#(TRUE) #(false) #(none) #(integer!) #(word)"),
            "true false none integer! word!");
  EXPECT_EQ(first("#(unset)").type(), TYPE_UNSET);
  // A keyword is the whole text; the datatypes named like keywords load as written by mold/all.
  EXPECT_EQ(loaded("#(none!) #(UNSET!) #(logic!)"), "none! unset! logic!");
  EXPECT_EQ(loaded("[#(tag! \"a>\") x] #(tag!)"), "[#(tag! \"a>\") x] tag!");
}

TEST_F(LexerTest, BlocksParensAndNewLines) {
  EXPECT_EQ(loaded("[a [b (c d)] ()] []"), "[a [b (c d)] ()] []");
  Cell block = lexer::load("1\n2 [\n3]");
  const Cell* cells = block::head(&block);
  EXPECT_FALSE(cells[0].header & kNewLineFlag);
  EXPECT_TRUE(cells[1].header & kNewLineFlag);
  EXPECT_FALSE(cells[2].header & kNewLineFlag);
  EXPECT_TRUE(block::head(&cells[2])->header & kNewLineFlag);
  EXPECT_EQ(loaded(""), "");
  EXPECT_EQ(loaded("1 ; comment\n2;x"), "1\n2");
  EXPECT_EQ(loaded(std::string_view("1\0 2", 4)), "1");
  Cell braced = lexer::load("x\n{a\nb} {c}");
  EXPECT_TRUE(block::abs_at(&braced, 1)->header & kNewLineFlag);
  EXPECT_FALSE(block::abs_at(&braced, 2)->header & kNewLineFlag);
  // Line feeds inside a token do not put it on a new line; those before Unicode spaces do.
  EXPECT_EQ(loaded("1 #{00\n11} %{a\nb}% <a\nb> #\"\n\" 2"), "1 #{0011} \"a^/b\" <a\nb> #\"^/\" 2");
  EXPECT_EQ(loaded("1\n\xC2\xA0 2"), "1\n2");
}

TEST_F(LexerTest, ScriptInterpreterLineIsSkipped) {
  EXPECT_EQ(loaded("#!/usr/bin/env xol\nprint 1"), "print 1");
  EXPECT_EQ(syntax_error("#!/usr/bin/env xol\n\n1a"), "invalid: (line 3) | integer! | 1a");
  EXPECT_EQ(loaded("#!"), "");
}

TEST_F(LexerTest, ScanStringCountsCodePoints) {
  Cell text;
  string::load_utf8(&text, "\xC3\xA9t\xC3\xA9 [1 2] rest");
  lexer::Mode next;
  next.one_value = true;
  int32_t consumed = 0;
  Cell out;
  EXPECT_EQ(lexer::scan_string(&text, nullptr, nullptr, &consumed, next, -1, &out), TYPE_WORD);
  EXPECT_EQ(molded(out), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(consumed, 3);
  text.data1 = 4;   // from the block on
  lexer::scan_string(&text, nullptr, nullptr, &consumed, next, -1, &out);
  EXPECT_EQ(molded(out), "[1 2]");
  EXPECT_EQ(consumed, 5);
  Cell all;
  lexer::scan_string(&text, nullptr, nullptr, nullptr, lexer::Mode{}, 5, &all);
  EXPECT_EQ(items(all), "[1 2]");
}

TEST_F(LexerTest, Maps) {
  Cell map = first("#[a 1 \"b\" [2] 3 none]");
  EXPECT_EQ(map.type(), TYPE_MAP);
  EXPECT_EQ(map::count(&map), 3);
  EXPECT_EQ(first("#[]").type(), TYPE_MAP);
  EXPECT_EQ(syntax_error("#[a 1 b]"), "invalid: (line 1) | map! | #[a 1 b]");
  EXPECT_EQ(syntax_error("x #[[k] 1]"), "invalid: (line 1) | map! | #[[k] 1]");
}

TEST_F(LexerTest, MoldedLiteralForms) {
  const SourceCase cases[] = {
      {"\"a^\"b^/c\" {x {y} ^}}", "[{a\"b^/c} \"x {y} }\"]"},
      {"%a/b.txt %\"a b\" http://x.org/a user@x.org <b> @ref",
       "[%a/b.txt %\"a b\" http://x.org/a user@x.org <b> @ref]"},
      {"#\"a\" #\"^(line)\" #\"^(41)\" #{0102} 64#{SGVsbG8=} 2#{00000001}",
       "[#\"a\" #\"^/\" #\"A\" #{0102} #{48656C6C6F} #{01}]"},
      {"1x2 -3x4 1.2.3 (1, 2) (1, 2, 3)", "[1x2 -3x4 1.2.3 (1, 2) (1, 2, 3)]"},
      {"#[a 1] a/(b)/c [1 [2]] (3)", "[#[\n    a: 1\n] a/(b)/c [1 [2]] (3)]"},
      {"[\n  a\n  b c\n]", "[[\n    a\n    b c\n]]"},
  };
  for (const SourceCase& c : cases) {
    Cell block = lexer::load(c.source);
    EXPECT_EQ(molded(block), c.expected) << c.source;
  }
}

TEST_F(LexerTest, Paths) {
  const SourceCase cases[] = {
      {"a/b a/b/c 'a/b :a/b", "a/b a/b/c 'a/b :a/b"},
      {"a/1 a/:b a/(b)/c a/(b c) x", "a/1 a/:b a/(b)/c a/(b c) x"},
      {"a/b: 1", "a/b: 1"},
      {"[a/b] (a/b)", "[a/b] (a/b)"},
  };
  for (const SourceCase& c : cases) EXPECT_EQ(loaded(c.source), c.expected) << c.source;
  EXPECT_EQ(first("a/b: ").type(), TYPE_SET_PATH);
  EXPECT_EQ(first("'a/b").type(), TYPE_LIT_PATH);
  Cell path = first("a/(b)/c");
  EXPECT_EQ(block::abs_at(&path, 1)->type(), TYPE_PAREN);
}

// The content of a loaded text value (any unit) as UTF-8, or of a binary! as hexadecimal.
std::string content(const Cell& value) {
  if (value.is(TYPE_NONE)) return "none";
  memory::SeriesBuffer* buffer = memory::buffer_of(value.node());
  const uint8_t* data = buffer->data() + buffer->head;
  uint32_t unit = buffer->unit(), count = buffer->length();
  std::string text;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t cp = 0;
    std::memcpy(&cp, data + i * unit, unit);
    if (value.is(TYPE_BINARY)) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", cp);
      text += hex;
    } else {
      uint8_t bytes[4];
      text.append(reinterpret_cast<char*>(bytes), size_t(utf8::encode_char(cp, bytes)));
    }
  }
  return text;
}

struct TextCase {
  const char* source;
  TypeId type;
  std::string_view content;
  uint32_t unit;
};

TEST_F(LexerTest, TextForms) {
  const TextCase cases[] = {
      {R"t("abc")t", TYPE_STRING, "abc", 1},
      {R"t("a^"b^/c^-d^^e^(41)^(line)^(tab)^@")t", TYPE_STRING, "a\"b\nc\td^eA\n\t\0"sv, 1},
      {R"t("^a^Z^[^~")t", TYPE_STRING, "\x01\x1A\x1B\x7F", 1},
      {R"t("caf^(E9)")t", TYPE_STRING, "caf\xC3\xA9", 1},
      {"\"\xE2\x82\xAC\"", TYPE_STRING, "\xE2\x82\xAC", 2},
      {R"t("^(20AC)^(1F600)")t", TYPE_STRING, "\xE2\x82\xAC\xF0\x9F\x98\x80", 4},
      {"{a {nested} b}", TYPE_STRING, "a {nested} b", 1},
      {"{a ^} b}", TYPE_STRING, "a } b", 1},
      {"{line\nbreak \"q\"}", TYPE_STRING, "line\nbreak \"q\"", 1},
      {"%{a}b}%", TYPE_STRING, "a}b", 1},
      {"%%{x}%%", TYPE_STRING, "x", 1},
      {"%%{a}% b}%%", TYPE_STRING, "a}% b", 1},
      {"%dir/file.txt", TYPE_FILE, "dir/file.txt", 1},
      {"%\"with space.txt\"", TYPE_FILE, "with space.txt", 1},
      {"%a%20b", TYPE_FILE, "a b", 1},
      {"http://example.com/a?b=c", TYPE_URL, "http://example.com/a?b=c", 1},
      {"ftp://x/%41b", TYPE_URL, "ftp://x/Ab", 1},
      {"user@example.com", TYPE_EMAIL, "user@example.com", 1},
      {"<a href=\"x\">", TYPE_TAG, "a href=\"x\"", 1},
      // A tag constructed from a string: `)` and `^"` inside it do not end the construction.
      {"#(tag! \"a>b\")", TYPE_TAG, "a>b", 1},
      {"#(tag! \"x)y\")", TYPE_TAG, "x)y", 1},
      {R"t(#(TAG! "a^"b^(1F)^/^^"))t", TYPE_TAG, "a\"b\x1F\n^", 1},
      {"#(tag \t \"a\"  )", TYPE_TAG, "a", 1},
      {"#(tag! \"\")", TYPE_TAG, "", 1},
      {"#(tag! \"a^@b\")", TYPE_TAG, "a\0b"sv, 1},
      {"#(tag! \"^(1F600)\")", TYPE_TAG, "\xF0\x9F\x98\x80", 4},
      {"@ref-1", TYPE_REF, "ref-1", 1},
      {"#{48656C6c6F}", TYPE_BINARY, "48656C6C6F", 1},
      {"16#{0A 0b ; comment\n FF}", TYPE_BINARY, "0A0BFF", 1},
      {"2#{00000001 11111111}", TYPE_BINARY, "01FF", 1},
      {"64#{SGVsbG8=}", TYPE_BINARY, "48656C6C6F", 1},
      {"64#{SGVsbA==}", TYPE_BINARY, "48656C6C", 1},
      {"#{}", TYPE_BINARY, "", 1},
  };
  for (const TextCase& c : cases) {
    std::string_view source = c.source;
    SCOPED_TRACE(source);
    Cell value = first(source);
    EXPECT_EQ(value.type(), c.type) << source;
    EXPECT_EQ(content(value), c.content) << source;
    EXPECT_EQ(memory::buffer_of(value.node())->unit(), c.unit) << source;
  }
}

TEST_F(LexerTest, CharsAndCompoundScalars) {
  const SourceCase chars[] = {
      {"#\"a\"", "97"}, {"#\"^(41)\"", "65"}, {"#\"^(line)\"", "10"}, {"#\"^/\"", "10"},
      {"#\"^\"\"", "34"}, {"#\"\xE2\x82\xAC\"", "8364"}, {"#\"^(1F600)\"", "128512"},
  };
  for (const SourceCase& c : chars) {
    Cell value = first(c.source);
    EXPECT_EQ(value.type(), TYPE_CHAR) << c.source;
    EXPECT_EQ(std::to_string(value.data2), c.expected) << c.source;
  }
  Cell pair = first("-10x20");
  EXPECT_EQ(pair.type(), TYPE_PAIR);
  EXPECT_EQ(int32_t(pair.data2), -10);
  EXPECT_EQ(int32_t(pair.data3), 20);
  Cell tuple = first("1.2.255.4");
  EXPECT_EQ(tuple.type(), TYPE_TUPLE);
  EXPECT_EQ((tuple.header >> 19) & 0xF, 4u);
  EXPECT_EQ(tuple.data1, 0x04FF0201u);
  Cell point = first("(1, 2.5)");
  EXPECT_EQ(point.type(), TYPE_POINT2D);
  float xy[2];
  std::memcpy(xy, &point.data1, sizeof xy);
  EXPECT_EQ(xy[0], 1.0f);
  EXPECT_EQ(xy[1], 2.5f);
  EXPECT_EQ(first("( 1 , -2 , 3e2 )").type(), TYPE_POINT3D);
  EXPECT_EQ(first("(1 2)").type(), TYPE_PAREN);
}

// Trace callbacks run as C++ here: the callback cell is an integer naming no function, the
// body hook answers the event block the test chose, and the call hook records each event.
class LexerTraceTest : public LexerTest {
 protected:
  void SetUp() override {
    LexerTest::SetUp();
    active = this;
    kept = evaluator_hooks::installed();
    evaluator_hooks::Services services = kept;
    services.call_lexer_callback = call;
    services.callback_body = body;
    evaluator_hooks::install(services);
    event_block = Cell{TYPE_UNSET, 0, 0, 0};
  }
  void TearDown() override {
    evaluator_hooks::install(kept);
    active = nullptr;
    LexerTest::TearDown();
  }

  static bool call(const Cell*, Cell* args) {
    std::string line = word_name(args[0]);
    line += " " + (args[2].is(TYPE_DATATYPE) ? type_name(int32_t(args[2].data1))
                                             : args[2].is(TYPE_NONE) ? "none" : word_name(args[2]));
    if (args[4].is(TYPE_PAIR)) {
      line += " " + std::to_string(args[4].data2) + "x" + std::to_string(args[4].data3);
    } else {
      line += " value " + molded(args[4]);
    }
    active->events.push_back(line);
    return active->answer ? active->answer(line) : true;
  }
  static const Cell* body(const Cell*) {
    return active->event_block.is(TYPE_UNSET) ? nullptr : &active->event_block;
  }
  static std::string word_name(const Cell& word) {
    return std::string(symbol::name(word::symbol_of(&word)));
  }

  // Chooses the events through a body whose first value is a block of these words.
  void choose(std::initializer_list<const char*> names) {
    Cell words;
    block::make_at(&words, 4);
    for (const char* name : names) {
      Cell event = word::load(name);
      block::append_cell(&words, &event);
    }
    block::make_at(&event_block, 1);
    block::append_cell(&event_block, &words);
  }

  std::string traced(std::string_view source) {
    Cell callback = integer::make(1), out;
    lexer::scan(nullptr, nullptr, &callback, nullptr, lexer::Mode{}, uint32_t(source.size()),
                reinterpret_cast<const uint8_t*>(source.data()), &out);
    return out.is(TYPE_BLOCK) ? items(out) : molded(out);
  }

  static inline LexerTraceTest* active = nullptr;
  evaluator_hooks::Services kept;
  Cell event_block;
  std::vector<std::string> events;
  std::function<bool(const std::string&)> answer;
};

TEST_F(LexerTraceTest, EventsInOrder) {
  EXPECT_EQ(traced("[a]"), "[a]");
  std::vector<std::string> expected = {
      "prescan block! 1x2", "open block! 1x2",  "prescan word! 2x3", "scan word! 2x3",
      "load word! value a", "prescan block! 3x4", "close block! 3x4",
  };
  EXPECT_EQ(events, expected);
}

TEST_F(LexerTraceTest, LoadEventFalseDropsTheValue) {
  choose({"load"});
  answer = [](const std::string& line) { return line != "load integer! value 1"; };
  EXPECT_EQ(traced("1 2"), "2");
  EXPECT_EQ(events.size(), 2u);
}

TEST_F(LexerTraceTest, ScanEventFalseSkipsLoading) {
  choose({"scan"});
  answer = [](const std::string& line) { return line.rfind("scan word!", 0) != 0; };
  EXPECT_EQ(traced("1 a 2"), "1 2");
}

TEST_F(LexerTraceTest, ErrorEventFalseEndsQuietly) {
  choose({"error"});
  answer = [](const std::string&) { return false; };
  EXPECT_EQ(traced("1 2a 3"), "1");
  EXPECT_EQ(events, std::vector<std::string>{"error integer! 3x4"});
}

TEST_F(LexerTraceTest, UnchosenEventsStaySilentAndErrorsRaise) {
  choose({"load"});
  EXPECT_THROW(traced("1 2a"), error::Raised);
  EXPECT_EQ(events, std::vector<std::string>{"load integer! value 1"});
}

TEST_F(LexerTest, LoadsUnderCollectorTorture) {
  std::string source = "[\"text\" #{0102} [nested \"strings\" 1.5] a/b/(c d) %file 1-Jan-2000]";
  std::string expected = loaded(source);
  collector::active = true;
  uint32_t saved = collector::torture_period();
  collector::set_torture_period(1);
  for (int round = 0; round < 3; ++round) {
    Cell block = lexer::load(source);
    Cell inner = *block::head(&block);
    EXPECT_EQ(block::length(&inner), 6u);
    EXPECT_EQ(content(*block::head(&inner)), "text");
    Cell nested = *block::abs_at(&inner, 2);
    EXPECT_EQ(content(*block::abs_at(&nested, 1)), "strings");
  }
  collector::set_torture_period(saved);
  collector::active = false;
  EXPECT_EQ(loaded(source), expected);
}

struct ErrorCase {
  std::string_view source;
  const char* expected;
};

TEST_F(LexerTest, SyntaxErrors) {
  const ErrorCase cases[] = {
      {"1a"sv, "invalid: (line 1) | integer! | 1a"},
      {"[1 2"sv, "missing: (line 1) | ] | [1 2"},
      {"1 2]"sv, "missing: (line 1) | [ | 1 2]"},
      {"[1 (2]"sv, "missing: (line 1) | ) | (2]"},
      {"(1]"sv, "missing: (line 1) | ) | (1]"},
      {"1''0"sv, "invalid: (line 1) | integer! | 1''0"},
      {"Fh"sv, "invalid: (line 1) | word! | Fh"},
      {"1.2.3.4.5.6.7.8.9.10.11.12.13"sv, "invalid: (line 1) | tuple! | 1.2.3.4.5.6.7.8.9.10.11.12.13"},
      {"1-Jan/2000"sv, "invalid: (line 1) | date! | 1-Jan/2000"},
      {"29-Feb-2001"sv, "invalid: (line 1) | date! | 29-Feb-2001"},
      {"$1.123456"sv, "invalid: (line 1) | money! | $1.123456"},
      {"#(foo)"sv, "malconstruct: (line 1) | #(foo)"},
      {"#(truex)"sv, "malconstruct: (line 1) | #(truex)"},
      {"a/b:c"sv, "invalid: (line 1) | path! | a/b:c"},
      {"'a:"sv, "invalid: (line 1) | lit-word! | 'a:"},
      {"\"a\0b\""sv, "invalid: (line 1) | string! | \"a"},
      {"}"sv, "bad-char: (line 1) | }"},
      {"#"sv, "invalid: (line 1) | issue! | #"},
      {"{abc"sv, "invalid: (line 1) | string! | {abc"},
      {"a/"sv, "invalid: (line 1) | path! | a/"},
      {"1x2.5"sv, "invalid: (line 1) | pair! | 1x2.5"},
      {"#\"ab\""sv, "invalid: (line 1) | char! | #\"ab\""},
      {"3#{00}"sv, "invalid: (line 1) | binary! | 3#{00}"},
      {"#{0}"sv, "invalid: (line 1) | binary! | #{0}"},
      // Digits before `#` are the base of a binary; an issue or a map has none.
      {"2#abc"sv, "invalid: (line 1) | issue! | 2#abc"},
      {"1#"sv, "invalid: (line 1) | issue! | 1#"},
      {"a/\xC2\xA0" "b"sv, "invalid: (line 1) | path! | \xC2\xA0" "b"},
      {"2#[a 1]"sv, "invalid: (line 1) | map! | 2#[a 1]"},
      {"'a/b: 1"sv, "bad-char: (line 1) | 'a/b: 1"},
      {"[1, 2]"sv, "invalid: (line 1) | point2D! | , 2]"},
      {"(a, b)"sv, "invalid: (line 1) | point2D! | (a, b)"},
      {"(1, 2 x)"sv, "invalid: (line 1) | point2D! | (1, 2 x)"},
      {"x (1, 2"sv, "invalid: (line 1) | point2D! | (1, 2"},
      {"x\n#(true"sv, "bad-char: (line 2) | #(true"},
      {"#(tag! 1)"sv, "malconstruct: (line 1) | #(tag! 1)"},
      {"#(tag! \"a\" \"b\")"sv, "malconstruct: (line 1) | #(tag! \"a\" \"b\")"},
      {"#(tag! \"a\" x)"sv, "malconstruct: (line 1) | #(tag! \"a\" x)"},
      {"#(tag! x \"a\")"sv, "malconstruct: (line 1) | #(tag! x \"a\")"},
      {"#(integer! \"1\")"sv, "malconstruct: (line 1) | #(integer! \"1\")"},
      {"#(true \"a\")"sv, "malconstruct: (line 1) | #(true \"a\")"},
      {"#(tag! \"a\""sv, "bad-char: (line 1) | #(tag! \"a\""},
      {"#(tag! \"a)"sv, "invalid: (line 1) | string! | #(tag! \"a)"},
      {"#(tag! \"a^\")"sv, "invalid: (line 1) | string! | #(tag! \"a^\")"},
      {"#(tag! \"a\nb\")"sv, "invalid: (line 1) | string! | #(tag! \"a"},
      {"#(tag! \"a^(zz)\")"sv, "invalid: (line 1) | string! | \"a^(zz)\")"},
      {"[\n\n(1 2"sv, "missing: (line 3) | ) | (1 2"},
  };
  for (const ErrorCase& c : cases) {
    EXPECT_EQ(syntax_error(c.source), c.expected) << c.source;
  }
}

// A continuation byte without its lead byte is invalid UTF-8 in every text-bearing token, as a
// lone lead byte is; it was stored as the Latin-1 character of that byte.
TEST_F(LexerTest, StrayContinuationByteIsInvalid) {
  const SourceCase cases[] = {
      {"\"a\xA0\"", "string!"}, {"{a\xA0}", "string!"},  {"%{a\xA0}%", "string!"},
      {"<a\xA0>", "tag!"},       {"%a\xA0", "file!"},     {"%\"a\xA0\"", "file!"},
      {"a@b\xA0", "email!"},     {"@a\xA0", "ref!"},      {"http://\xA0", "url!"},
      {"a\xA0", "word!"},        {"a\xA0:", "set-word!"}, {":a\xA0", "get-word!"},
      {"'a\xA0", "lit-word!"},   {"/a\xA0", "refinement!"}, {"#a\xA0", "issue!"},
      {"\"\xC3\xA9\xBF\"", "string!"},
  };
  for (const SourceCase& c : cases) {
    EXPECT_EQ(syntax_error(c.source).rfind("invalid: (line 1) | "s + c.expected + " | ", 0), 0u)
        << c.source << ": " << syntax_error(c.source);
  }
  EXPECT_EQ(loaded("\"\xC3\xA9\" a\xC2\xBF"), "\"\u00E9\" a\u00BF");
}

TEST_F(LexerTest, ErrorLineAndTextLength) {
  std::string source(39, '\n');
  source += "1a" + std::string(40, 'b');
  EXPECT_EQ(syntax_error(source),
            "invalid: (line 40) | integer! | 1a" + std::string(28, 'b'));
}

TEST_F(LexerTest, QuietScanAnswersErrorType) {
  lexer::Mode scan_mode;
  scan_mode.load = false;
  scan_mode.one_value = true;
  Cell out;
  auto type_of = [&](std::string_view text) {
    return lexer::scan(nullptr, nullptr, nullptr, nullptr, scan_mode, uint32_t(text.size()),
                       reinterpret_cast<const uint8_t*>(text.data()), &out);
  };
  EXPECT_EQ(type_of("1a"), TYPE_ERROR);
  EXPECT_EQ(type_of("12 abc"), TYPE_INTEGER);
  EXPECT_EQ(type_of("[1 2] x"), TYPE_BLOCK);
  EXPECT_EQ(type_of("a/b c"), TYPE_PATH);
  EXPECT_EQ(type_of("{a}"), TYPE_STRING);
  EXPECT_EQ(type_of("#(tag! \"a>\") x"), TYPE_TAG);
  EXPECT_EQ(type_of("#(tag! 1)"), TYPE_ERROR);
}

TEST_F(LexerTest, NextStopsAfterOneValue) {
  lexer::Mode next;
  next.one_value = true;
  Cell out;
  int32_t consumed = 0;
  std::string_view text = "[1 2] 3";
  lexer::scan(nullptr, nullptr, nullptr, &consumed, next, uint32_t(text.size()),
              reinterpret_cast<const uint8_t*>(text.data()), &out);
  EXPECT_EQ(molded(out), "[1 2]");
  EXPECT_EQ(consumed, 5);
}

TEST_F(LexerTest, AppendsIntoAGivenBlock) {
  Cell into = lexer::load("a");
  Cell out;
  std::string_view text = "b [c]";
  lexer::scan(&into, nullptr, nullptr, nullptr, lexer::Mode{}, uint32_t(text.size()),
              reinterpret_cast<const uint8_t*>(text.data()), &out);
  EXPECT_EQ(molded(into), "[a b [c]]");
  EXPECT_EQ(out.node(), into.node());
}

TEST_F(LexerTest, OneValueFromAString) {
  const SourceCase cases[] = {
      {"10:30", "10:30:00"}, {" 50% ", "50%"}, {"1 2", "1"}, {"", "unset"}, {"[1]", "[1]"},
  };
  for (const SourceCase& c : cases) {
    Cell text, value;
    string::load_utf8(&text, c.source);
    value::load_from_string(&text, &value);
    std::string shown = value.is(TYPE_UNSET) ? "unset" : molded(value);
    EXPECT_EQ(shown, c.expected) << c.source;
  }
}

TEST_F(LexerTest, ConvertersBehindTo) {
  auto units = [](std::string_view text) { return reinterpret_cast<const uint8_t*>(text.data()); };
  int32_t error = 0;
  EXPECT_EQ(string::to_integer(units("-2147483648"), 1, 11, &error), INT32_MIN);
  EXPECT_EQ(error, 0);
  string::to_integer(units("2147483648"), 1, 10, &error);
  EXPECT_EQ(error, -2);
  EXPECT_EQ(string::to_integer(units("1'000"), 1, 5, &error), 1000);
  string::to_integer(units("12a"), 1, 3, &error);
  EXPECT_EQ(error, -1);
  EXPECT_EQ(string::to_float(units("1,5"), 1, 3, &error), 1.5);
  EXPECT_EQ(error, 0);
  string::to_float(units("1.5x"), 1, 4, &error);
  EXPECT_EQ(error, -1);
  Cell money = string::to_money(units("USD$1'000.5"), 1, 11, &error);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(molded(money), "USD$1000.50");
  string::to_money(units("$1''0"), 1, 5, &error);
  EXPECT_EQ(error, -1);
  uint16_t wide[] = {'4', '2'};
  EXPECT_EQ(string::to_integer(reinterpret_cast<const uint8_t*>(wide), 2, 2, &error), 42);
}

}  // namespace
}  // namespace xol::testing
