// string!: storage widths and widening, mold and form, comparison, find and select, the
// inserting actions, trim, sort, take and the set operations. Cases that must not depend on the
// storage width run over the widths that can hold their text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/datatypes/evaluator_hooks.h"
#include "runtime/memory/collector.h"
#include "runtime/datatypes/string.h"
#include "text_builders.h"

namespace xol::testing {
namespace {

constexpr uint32_t kUnits[] = {1, 2, 4};

// The narrowest unit that holds every character of the text.
uint32_t narrowest(std::string_view utf8) {
  uint32_t unit = 1;
  for (char32_t c : code_points(utf8)) unit = std::max(unit, string::unit_for_store(c));
  return unit;
}

using StringTest = TextTest;

// ---- storage ----

TEST_F(StringTest, AppendingACharWidensFromU0080ButStoringAndLoadingOnlyFromU0100) {
  struct Case {
    const char* what;
    bool append;   // append_char, else poke at the tail
    uint32_t cp;
    uint32_t unit;
  };
  const Case cases[] = {
      {"append 7F", true, 0x7F, 1},    {"append 80", true, 0x80, 2},
      {"append 10000", true, 0x10000, 4}, {"poke FF", false, 0xFF, 1},
      {"poke 100", false, 0x100, 2},   {"poke 10000", false, 0x10000, 4},
  };
  for (const Case& c : cases) {
    Cell s = str("ab");
    if (c.append)
      string::append_char(s.node(), c.cp);
    else
      string::poke_char(&s, 2, c.cp);
    EXPECT_EQ(unit_of(s), c.unit) << c.what;
    EXPECT_EQ(string::abs_at(&s, 2), c.cp) << c.what;
    EXPECT_EQ(string::abs_at(&s, 0), uint32_t('a')) << c.what;
  }
  EXPECT_EQ(unit_of(str("\xC3\xA9")), 1u) << "loading UTF-8 keeps U+00E9 in unit 1";
}

// A text buffer of any other unit, however wide, ends the process with runtime error 101.
TEST_F(StringTest, ABufferOfAnotherUnitIsRuntimeError101) {
  for (uint32_t unit : {3u, 16u, 40u, 255u}) {
    const NodeId node = memory::alloc_units(1, unit);
    EXPECT_EXIT(string::unit_of(memory::buffer_of(node)), ::testing::ExitedWithCode(101),
                "no value matched in SWITCH")
        << unit;
  }
}

TEST_F(StringTest, AHeadPastTheTailReadsAsEmptyAndClampsBackToTheTail) {
  Cell s = str("abc");
  s.data1 = 10;
  EXPECT_EQ(string::length(&s), 0u);
  EXPECT_EQ(string::clamp_head(&s), 3u);
  EXPECT_EQ(s.head_index(), 3u);
}

TEST_F(StringTest, HexDigitsWithAndWithoutLeadingZeros) {
  EXPECT_EQ(string::to_hex(0, true), "00");
  EXPECT_EQ(string::to_hex(0x1E, true), "1E");
  EXPECT_EQ(string::to_hex(0x100, true), "100");
  EXPECT_EQ(string::to_hex(-1, false), "FFFFFFFF");
  EXPECT_EQ(string::to_hex(0x2A, false), "0000002A");
}

TEST_F(StringTest, UndecodableBytesOfABinaryRaiseInvalidUtf8WithTheRest) {
  Cell good = bin("\xC3\xA9"), result;
  string::to(nullptr, &good, TYPE_STRING, &result);
  EXPECT_EQ(text_of(result), "\xC3\xA9");
  Cell bad = bin("a\xFF");
  try {
    string::to(nullptr, &bad, TYPE_STRING, &result);
    FAIL() << "no error";
  } catch (const error::Raised& e) {
    EXPECT_STREQ(e.id, "invalid-utf8");
    EXPECT_EQ(binary::bytes(&e.args[0]), "\xFF");
  }
}

// ---- mold and form ----

struct MoldCase {
  std::string text;
  std::string molded;
  bool all;
};

class StringMold : public TextTest, public ::testing::WithParamInterface<MoldCase> {};

TEST_P(StringMold, MoldsAlikeInEveryUnitThatHoldsTheText) {
  const MoldCase& c = GetParam();
  for (uint32_t unit : kUnits) {
    if (unit < narrowest(c.text)) continue;
    EXPECT_EQ(molded(str_in(c.text, unit), c.all), c.molded) << "unit " << unit;
  }
}

INSTANTIATE_TEST_SUITE_P(
    EscapesAndBraces, StringMold,
    ::testing::Values(
        MoldCase{std::string(49, 'a'), "\"" + std::string(49, 'a') + "\"", false},
        MoldCase{std::string(50, 'a'), "{" + std::string(50, 'a') + "}", false},
        MoldCase{"\"", "{\"}", false},
        MoldCase{"a\nb\nc", "\"a^/b^/c\"", false},
        MoldCase{"a\nb\nc\n", "{a^/b^/c^/}", false},
        MoldCase{"a{b\"c", "{a^{b\"c}", false},
        MoldCase{"a{b}\"c", "{a{b}\"c}", false},
        MoldCase{"\"}{", "{\"^}^{}", false},
        MoldCase{"{{a}\"", "{^{^{a^}\"}", false},
        MoldCase{"a^b\"", "{a^^b\"}", false},
        MoldCase{"a^b", "\"a^^b\"", false},
        MoldCase{"say \"hi\"", "{say \"hi\"}", false},
        MoldCase{"{}", "\"{}\"", false},
        MoldCase{"\t", "\"^-\"", false},
        MoldCase{std::string("\t\0\x1B", 3), "\"^-^@^[\"", false},
        MoldCase{"\x7F", "\"^~\"", false},
        MoldCase{"\x1E", "\"^(1E)\"", false},
        MoldCase{"\xC2\x85", "\"^(85)\"", false},
        MoldCase{"\xC3\xA9", "\"\xC3\xA9\"", false},
        MoldCase{"\xC3\xA9", "\"^(E9)\"", true},
        MoldCase{"\xE2\x82\xAC", "\"^(20AC)\"", true},
        MoldCase{"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\"", false},
        MoldCase{"", "\"\"", false}));

TEST_F(StringTest, LoneSurrogateMoldsAsHexEscapeInEveryWideUnit) {
  // No UTF-8 form of a surrogate reads back, so mold always writes it as ^(hex).
  for (uint32_t unit : {2u, 4u}) {
    Cell s = str_in("a", unit);
    string::append_char(s.node(), 0xD800);
    string::append_char(s.node(), 0xDFFF);
    EXPECT_EQ(molded(s, false), "\"a^(D800)^(DFFF)\"") << "unit " << unit;
  }
}

TEST_F(StringTest, LongTextMoldsInBracesWithLineFeedsStillEscaped) {
  std::string text = std::string(60, 'x') + "\n{y}";
  EXPECT_EQ(molded(str(text)), "{" + std::string(60, 'x') + "^/{y}}");
}

TEST_F(StringTest, FormAppendsTheTextAndKeepsAUnit1BufferNarrowForLatin1) {
  Cell buffer;
  text::make(&buffer, 4);
  Cell value = str("\xC3\xA9t\xC3\xA9");
  string::form(&value, &buffer, nullptr, kNoPartLimit);
  EXPECT_EQ(text_of(buffer), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(unit_of(buffer), 1u);
  Cell part = integer::make(2);
  string::form(&value, &buffer, &part, 2);
  EXPECT_EQ(text_of(buffer), "\xC3\xA9t\xC3\xA9\xC3\xA9t");
}

TEST_F(StringTest, TextBufferAppendsWidenByTheCharacters) {
  Cell buffer;
  text::make(&buffer, 4);
  text::append(&buffer, "ab");
  EXPECT_EQ(unit_of(buffer), 1u);
  text::append(&buffer, "\xE2\x82\xAC");
  EXPECT_EQ(unit_of(buffer), 2u);
  text::append(&buffer, "c\xF0\x9F\x98\x80");
  EXPECT_EQ(unit_of(buffer), 4u);
  EXPECT_EQ(text::view(&buffer), "ab\xE2\x82\xAC" "c\xF0\x9F\x98\x80");
}

// ---- comparison ----

TEST_F(StringTest, OrdinaryComparisonFoldsCaseAndStrictComparisonDoesNotInEveryUnit) {
  struct Case {
    const char* a;
    const char* b;
    int32_t op;
    int32_t expected;
  };
  const Case cases[] = {
      {"abc", "ABC", COMP_EQUAL, 0},          {"abc", "ABC", COMP_STRICT_EQUAL, 1},
      {"ab", "abc", COMP_LESSER, -1},         {"abd", "ABC", COMP_GREATER, 1},
      {"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89", COMP_EQUAL, 0},
      {"stra\xC3\x9F" "e", "STRASE", COMP_EQUAL, 0},
      {"abc", "abd", COMP_CASE_SORT, -1},     {"a", "B", COMP_CASE_SORT, 1},
      {"", "", COMP_EQUAL, 0},                {"a", "", COMP_LESSER, 1},
  };
  for (const Case& c : cases) {
    for (uint32_t ua : kUnits) {
      for (uint32_t ub : kUnits) {
        if (ua < narrowest(c.a) || ub < narrowest(c.b)) continue;
        Cell a = str_in(c.a, ua), b = str_in(c.b, ub);
        EXPECT_EQ(string::compare(&a, &b, c.op), c.expected)
            << c.a << " vs " << c.b << " op " << c.op << " units " << ua << "," << ub;
      }
    }
  }
}

TEST_F(StringTest, OtherTextTypesCompareOnlyForEquality) {
  Cell s = str("a"), f = str("A", TYPE_FILE);
  EXPECT_EQ(compared(s, f, COMP_EQUAL), 0);
  EXPECT_EQ(compared(s, f, COMP_STRICT_EQUAL), kNotComparable);
  EXPECT_EQ(compared(s, f, COMP_LESSER), kNotComparable);
  Cell n = integer::make(1);
  EXPECT_EQ(compared(s, n, COMP_EQUAL), kNotComparable);
}

// ---- find and select ----

struct FindCase {
  const char* what;
  const char* text;
  Cell (*pattern)();
  FindOptions options;
  int32_t skip;           // 0: no /skip
  int32_t expected;       // 1-based index of the result, 0 for none
};

Cell letter_b() { return character::make('B'); }
Cell text_bc() {
  Cell made;
  return *string::load_utf8(&made, "bc");
}
Cell text_ab() {
  Cell made;
  return *string::load_utf8(&made, "AB");
}
Cell e_acute() { return character::make(0xC9); }

FindOptions with(auto&& set) {
  FindOptions options;
  set(options);
  return options;
}

TEST_F(StringTest, FindRefinementsGiveTheSamePositionsInEveryUnit) {
  const FindCase cases[] = {
      {"char folded", "abcabc", letter_b, {}, 0, 2},
      {"char /case", "abcabc", letter_b, with([](FindOptions& o) { o.case_sensitive = true; }), 0, 0},
      {"text", "abcabc", text_bc, {}, 0, 2},
      {"/tail", "abcabc", text_bc, with([](FindOptions& o) { o.tail = true; }), 0, 4},
      {"/last", "abcabc", text_bc, with([](FindOptions& o) { o.last = true; }), 0, 5},
      {"/last /tail", "abcabc", text_bc,
       with([](FindOptions& o) { o.last = o.tail = true; }), 0, 7},
      {"/match at head", "abcabc", text_ab, with([](FindOptions& o) { o.match = true; }), 0, 1},
      {"/match elsewhere", "abcabc", text_bc, with([](FindOptions& o) { o.match = true; }), 0, 0},
      {"/match /tail", "abcabc", text_ab,
       with([](FindOptions& o) { o.match = o.tail = true; }), 0, 3},
      {"/skip 2", "abcabc", letter_b, {}, 2, 5},
      {"/skip 3", "abcabc", letter_b, {}, 3, 0},
      {"latin-1 folded", "x\xC3\xA9", e_acute, {}, 0, 2},
      {"pattern longer than text", "ab", text_bc, {}, 0, 0},
  };
  for (const FindCase& c : cases) {
    for (uint32_t unit : kUnits) {
      if (unit < narrowest(c.text)) continue;
      Cell s = str_in(c.text, unit);
      Cell pattern = c.pattern();
      FindOptions options = c.options;
      Cell skip = integer::make(c.skip);
      if (c.skip) options.skip = &skip;
      Cell result;
      string::find(&s, &pattern, options, &result);
      int32_t index = result.is(TYPE_NONE) ? 0 : int32_t(result.head_index()) + 1;
      EXPECT_EQ(index, c.expected) << c.what << " unit " << unit;
    }
  }
}

TEST_F(StringTest, FindReverseSearchesBeforeTheHeadAndPartLimitsTheRange) {
  Cell s = str("abcabc");
  s.data1 = 4;
  Cell pattern = text_bc();
  Cell result;
  FindOptions reverse;
  reverse.reverse = true;
  string::find(&s, &pattern, reverse, &result);
  EXPECT_EQ(result.head_index(), 1u);
  s.data1 = 0;
  string::find(&s, &pattern, reverse, &result);
  EXPECT_TRUE(result.is(TYPE_NONE)) << "nothing precedes the head";

  Cell part = integer::make(2);
  FindOptions limited;
  limited.part = &part;
  string::find(&s, &pattern, limited, &result);
  EXPECT_TRUE(result.is(TYPE_NONE)) << "bc ends past the part";
  part = integer::make(3);
  string::find(&s, &pattern, limited, &result);
  EXPECT_EQ(result.head_index(), 1u);
}

TEST_F(StringTest, FindErrorsAndSelect) {
  Cell s = str("abc"), pattern = str("b");
  FindOptions any;
  any.any = true;
  Cell result;
  EXPECT_EQ(raised([&] { string::find(&s, &pattern, any, &result); }), "internal/not-done");
  Cell zero = integer::make(0);
  FindOptions skip;
  skip.skip = &zero;
  EXPECT_EQ(raised([&] { string::find(&s, &pattern, skip, &result); }), "script/out-of-range");
  Cell bytes = bin("b");
  EXPECT_EQ(raised([&] { string::find(&s, &bytes, {}, &result); }), "script/invalid-arg");

  string::select(&s, &pattern, {}, &result);
  ASSERT_TRUE(result.is(TYPE_CHAR));
  EXPECT_EQ(character::get(&result), uint32_t('c'));
  Cell last = str("c");
  string::select(&s, &last, {}, &result);
  EXPECT_TRUE(result.is(TYPE_NONE));
}

TEST_F(StringTest, FindsTheFormOfOtherValuesAndTheTextOfWords) {
  Cell s = str("x<a>y 12");
  Cell tag_value = str("a", TYPE_TAG), number = integer::make(12), word = word::load("Y");
  Cell result;
  string::find(&s, &tag_value, {}, &result);
  EXPECT_EQ(result.head_index(), 1u);
  string::find(&s, &number, {}, &result);
  EXPECT_EQ(result.head_index(), 6u);
  string::find(&s, &word, {}, &result);
  EXPECT_EQ(result.head_index(), 4u);
}

// ---- append, insert, change ----

TEST_F(StringTest, AppendFormsValuesRepeatsWithDupAndReturnsTheHead) {
  InsertOptions dup3;
  dup3.dup = 3;
  Cell s = str(""), value = str("ab"), result;
  string::insert(&s, &value, dup3, true, &result);
  EXPECT_EQ(text_of(result), "ababab");

  Cell t = str("x");
  t.data1 = 1;
  Cell word = word::load("abc");
  string::insert(&t, &word, {}, true, &result);
  EXPECT_EQ(result.head_index(), 0u);
  EXPECT_EQ(text_of(result), "xabc");

  Cell block = load("a 1 [b 2]");
  Cell u = str("");
  string::insert(&u, &block, {}, true, &result);
  EXPECT_EQ(text_of(result), "a1b 2");
  InsertOptions part1;
  part1.part = 1;
  string::insert(&u, &block, part1, true, &result);
  EXPECT_EQ(text_of(result), "a1b 2a");

  Cell tag_value = str("p", TYPE_TAG);
  string::insert(&u, &tag_value, {}, true, &result);
  EXPECT_EQ(text_of(result), "a1b 2a<p>");
}

TEST_F(StringTest, AppendingACharWidensAtU0080WhileAppendingTextKeepsItsUnit) {
  Cell s = str("ab"), result;
  Cell e = chr(0xE9);
  string::insert(&s, &e, {}, true, &result);
  EXPECT_EQ(unit_of(s), 2u);
  Cell t = str("ab"), latin = str("\xC3\xA9");
  string::insert(&t, &latin, {}, true, &result);
  EXPECT_EQ(unit_of(t), 1u);
  EXPECT_EQ(text_of(t), "ab\xC3\xA9");
}

TEST_F(StringTest, AppendingNarrowerTextLeavesTheSourceAsItIs) {
  Cell wide = str_in("x", 2), narrow = str("ab"), result;
  string::insert(&wide, &narrow, {}, true, &result);
  EXPECT_EQ(text_of(wide), "xab");
  EXPECT_EQ(unit_of(narrow), 1u) << "the source keeps its unit";
  EXPECT_EQ(text_of(narrow), "ab");
}

TEST_F(StringTest, AppendingACharKeepsAUnitThatHoldsItAndWidensOneThatDoesNot) {
  struct Case {
    uint32_t cp;
    uint32_t unit;       // the target's
    uint32_t widened;    // after the append
  };
  const Case cases[] = {
      {'c', 1, 1},     {'c', 2, 2},     {'c', 4, 4},       {0xE9, 1, 2},  {0xE9, 2, 2},
      {0xE9, 4, 4},    {0x20AC, 2, 2},  {0x1F600, 2, 4},   {0x1F600, 4, 4},
  };
  for (const Case& c : cases) {
    Cell target = str_in("ab", c.unit), value = chr(c.cp), result;
    string::insert(&target, &value, {}, true, &result);
    EXPECT_EQ(unit_of(target), c.widened) << std::hex << c.cp << " into unit " << c.unit;
    EXPECT_EQ(string::length_abs(&target), 3u);
    EXPECT_EQ(string::abs_at(&target, 2), c.cp);
    EXPECT_EQ(string::abs_at(&target, 1), uint32_t('b'));
  }
}

// Appending text once, without an owner, goes straight to the tail; the rest takes the general
// route. Every route gives the same text and head, and leaves both sides at the wider unit of
// the two.
TEST_F(StringTest, AppendInsertAndChangeGiveTheSameTextInEveryPairOfUnits) {
  enum Kind { APPEND, INSERT, CHANGE };
  struct Case {
    const char* what;
    Kind kind;
    const char* target;
    uint32_t head;
    const char* value;
    uint32_t value_head;
    int32_t part;
    int32_t dup;
    const char* expected;
    uint32_t result_index;   // 1-based
  };
  const Case cases[] = {
      {"append", APPEND, "ab", 0, "cd\xE2\x82\xAC", 0, -1, 1, "abcd\xE2\x82\xAC", 1},
      {"append from the value's head", APPEND, "ab", 1, "xcd", 1, -1, 1, "abcd", 1},
      {"append /part", APPEND, "ab", 0, "cde", 0, 2, 1, "abcd", 1},
      {"append /part past the tail", APPEND, "ab", 0, "c", 0, 5, 1, "abc", 1},
      {"append /dup", APPEND, "ab", 0, "cd", 0, -1, 3, "abcdcdcd", 1},
      {"append nothing", APPEND, "ab", 1, "", 0, -1, 1, "ab", 2},
      {"append nothing past the tail", APPEND, "ab", 7, "", 0, -1, 1, "ab", 3},
      {"append a value past its tail", APPEND, "ab", 7, "cd", 9, -1, 1, "ab", 3},
      {"append past the tail", APPEND, "ab", 7, "cd", 0, -1, 1, "abcd", 1},
      {"insert", INSERT, "abcd", 2, "\xE2\x82\xAC", 0, -1, 1, "ab\xE2\x82\xAC" "cd", 4},
      {"insert /dup", INSERT, "abcd", 1, "xy", 0, -1, 2, "axyxybcd", 6},
      {"insert /part", INSERT, "abcd", 0, "xyz", 0, 2, 1, "xyabcd", 3},
      {"insert at tail", INSERT, "ab", 2, "\xF0\x9F\x98\x80", 0, -1, 1,
       "ab\xF0\x9F\x98\x80", 4},
      {"change", CHANGE, "abcdef", 1, "XY", 0, -1, 1, "aXYdef", 4},
      {"change /part", CHANGE, "abcdef", 1, "XY", 0, 4, 1, "aXYf", 4},
      {"change /part 0", CHANGE, "abcdef", 1, "XY", 0, 0, 1, "aXYbcdef", 4},
      {"change longer", CHANGE, "abc", 1, "\xC3\xA9\xC3\xA9\xC3\xA9", 0, -1, 1,
       "a\xC3\xA9\xC3\xA9\xC3\xA9", 5},
      {"change /dup", CHANGE, "abcdef", 0, "x", 0, -1, 3, "xxxdef", 4},
      {"change at tail", CHANGE, "ab", 2, "cd", 0, -1, 1, "abcd", 5},
  };
  for (const Case& c : cases) {
    for (uint32_t ut : kUnits) {
      for (uint32_t uv : kUnits) {
        if (ut < narrowest(c.target) || uv < narrowest(c.value)) continue;
        Cell target = str_in(c.target, ut), value = str_in(c.value, uv), result;
        target.data1 = c.head;
        value.data1 = c.value_head;
        InsertOptions options;
        options.part = c.part;
        options.dup = c.dup;
        if (c.kind == CHANGE)
          string::change(&target, &value, options, &result);
        else
          string::insert(&target, &value, options, c.kind == APPEND, &result);
        Cell whole = result;
        whole.data1 = 0;
        std::string where = std::string(c.what) + " units " + std::to_string(ut) + "," +
                            std::to_string(uv);
        EXPECT_EQ(text_of(whole), c.expected) << where;
        EXPECT_EQ(result.head_index() + 1, c.result_index) << where;
        EXPECT_EQ(unit_of(target), std::max(ut, uv)) << where;
        EXPECT_EQ(unit_of(value), uv) << where;
      }
    }
  }
}

// Runs of every length the direct append copies its own way (none, one byte, two, four and
// eight bytes from both ends, and longer ones whole), in every unit, one after another while the
// buffer grows, when every allocation collects and moves buffers.
TEST_F(StringTest, AppendingRunsOfEveryLengthGivesTheirTextInEveryUnit) {
  constexpr uint32_t kLongestRun = 40;
  std::vector<std::string> texts, expected;
  collector::active = true;
  collector::set_torture_period(1);
  for (uint32_t unit : kUnits) {
    Cell target = str_in("", unit), result;
    std::string all;
    for (uint32_t n = 0; n <= kLongestRun; ++n) {
      std::string run;
      for (uint32_t i = 0; i < n; ++i) run += char('a' + (n + i) % 26);
      Cell value = str_in(run, unit);
      string::insert(&target, &value, {}, true, &result);
      all += run;
    }
    texts.push_back(text_of(target));
    expected.push_back(all);
  }
  collector::set_torture_period(0);
  collector::active = false;
  EXPECT_EQ(texts, expected);
}

// The dispatcher's road declines, leaving both values as they were, whatever needs the general
// one: another series type, a full buffer, widening either side, a string into itself, a tag!
// or a value to form.
TEST_F(StringTest, TheAppendAtTheTailDeclinesWhatTheGeneralRoadDoes) {
  Cell full = str("0123456789abcdef");
  ASSERT_EQ(string::buffer_of(&full)->tail, string::buffer_of(&full)->size);
  Cell same = str("ab");
  struct Case {
    const char* what;
    Cell target;
    Cell value;
  };
  const Case cases[] = {
      {"binary target", bin("ab"), str("c")},
      {"full buffer, text", full, str("x")},
      {"full buffer, char", full, chr('x')},
      {"wider text", str("ab"), str_in("c", 2)},
      {"narrower text", str_in("ab", 2), str("c")},
      {"wider char", str("ab"), chr(0xE9)},
      {"itself", same, same},
      {"tag", str("ab"), str("c", TYPE_TAG)},
      {"integer", str("ab"), integer::make(1)},
  };
  for (const Case& c : cases) {
    Cell target = c.target, value = c.value;
    memory::SeriesBuffer before = *string::buffer_of(&target);
    bool text = string::is_text_type(value.type());
    uint32_t value_unit = text ? unit_of(value) : 0;
    EXPECT_FALSE(string::append_at_tail(&target, &value)) << c.what;
    EXPECT_EQ(string::buffer_of(&target)->tail, before.tail) << c.what;
    EXPECT_EQ(string::buffer_of(&target)->flags, before.flags) << c.what;
    if (text) {
      EXPECT_EQ(unit_of(value), value_unit) << c.what;
    }
  }
}

TEST_F(StringTest, InsertingAStringIntoItselfCopiesItFirst) {
  Cell s = str("abc"), result;
  Cell at_b = s;
  at_b.data1 = 1;
  string::insert(&at_b, &s, {}, false, &result);
  s.data1 = 0;
  EXPECT_EQ(text_of(s), "aabcbc");
}

// ---- trim ----

TEST_F(StringTest, TrimTable) {
  struct Case {
    const char* what;
    const char* text;
    TrimOptions options;
    const char* expected;
  };
  auto opts = [](auto&& set) {
    TrimOptions o;
    set(o);
    return o;
  };
  Cell with = str("ab");
  const Case cases[] = {
      {"default", "  a  \n  b  \n ", {}, "a\nb\n"},
      {"default keeps inner runs", " a  b\t\n", {}, "a  b\n"},
      {"lines", " a \n b ", opts([](TrimOptions& o) { o.lines = true; }), "a b"},
      {"head", "  a  ", opts([](TrimOptions& o) { o.head = true; }), "a  "},
      {"tail", "  a  ", opts([](TrimOptions& o) { o.tail = true; }), "  a"},
      {"all", " a\tb\nc\r ", opts([](TrimOptions& o) { o.all = true; }), "abc"},
      {"with", "abcabd", opts([&](TrimOptions& o) { o.with = &with; }), "cd"},
      {"unicode spaces", "\xE3\x80\x80" "a\xC2\xA0", {}, "a"},
  };
  for (const Case& c : cases) {
    for (uint32_t unit : kUnits) {
      if (unit < narrowest(c.text)) continue;
      Cell s = str_in(c.text, unit), result;
      string::trim(&s, c.options, &result);
      EXPECT_EQ(text_of(result), c.expected) << c.what << " unit " << unit;
    }
  }
  TrimOptions automatic;
  automatic.automatic = true;
  Cell s = str("a"), result;
  EXPECT_EQ(raised([&] { string::trim(&s, automatic, &result); }), "internal/not-done");
}

// ---- sort ----

TEST_F(StringTest, SortFoldsOnlyAsciiLettersToLowerCaseInUnit1AndEverythingUpInWiderUnits) {
  Cell narrow = str("Ba_"), wide = str_in("Ba_", 2), result;
  string::sort(&narrow, {}, &result);
  EXPECT_EQ(text_of(narrow), "_aB");
  string::sort(&wide, {}, &result);
  EXPECT_EQ(text_of(wide), "aB_");
  Cell latin = str("\xC3\xA9\xC3\x89" "a");   // é É a: unit 1 does not fold them together
  string::sort(&latin, {}, &result);
  EXPECT_EQ(text_of(latin), "a\xC3\x89\xC3\xA9");
}

TEST_F(StringTest, SortRefinements) {
  SortOptions reverse_case;
  reverse_case.reverse = true;
  reverse_case.case_sensitive = true;
  Cell s = str("aBcA"), result;
  string::sort(&s, reverse_case, &result);
  EXPECT_EQ(text_of(s), "caBA");

  Cell two = integer::make(2);
  SortOptions records;
  records.skip = &two;
  Cell r = str("b2a1c0");
  string::sort(&r, records, &result);
  EXPECT_EQ(text_of(r), "a1b2c0");
  Cell offset = integer::make(2);
  records.compare = &offset;
  string::sort(&r, records, &result);
  EXPECT_EQ(text_of(r), "c0a1b2");

  Cell three = integer::make(3);
  SortOptions bad_skip;
  bad_skip.skip = &three;
  Cell t = str("abcd");
  EXPECT_EQ(raised([&] { string::sort(&t, bad_skip, &result); }), "script/invalid-refine-arg");
  SortOptions all_alone;
  all_alone.all = true;
  EXPECT_EQ(raised([&] { string::sort(&t, all_alone, &result); }), "script/bad-refines");

  Cell back = integer::make(-2);
  SortOptions before;
  before.part = &back;
  Cell u = str("dcba");
  u.data1 = 2;
  string::sort(&u, before, &result);
  EXPECT_EQ(result.head_index(), 0u);
  EXPECT_EQ(text_of(result), "cdba");
}

// The comparator of the next test: true (the first argument first) when a comes after b, so
// the text sorts backwards; with records, by the second unit of each.
void backwards(const Cell*, const Cell* a, const Cell* b, Cell* answer) {
  auto key = [](const Cell* v) {
    return v->is(TYPE_CHAR) ? character::get(v) : string::abs_at(v, v->head_index() + 1);
  };
  *answer = logic::make(key(a) > key(b));
}

TEST_F(StringTest, SortCompareCallsTheFunctionWithCharsOrRecords) {
  const evaluator_hooks::Services kept = evaluator_hooks::installed();
  evaluator_hooks::Services services = kept;
  services.call_comparison = backwards;
  evaluator_hooks::install(services);
  Cell function{TYPE_FUNCTION, 0, 0, 0}, result;
  SortOptions by_function;
  by_function.compare = &function;
  for (uint32_t unit : kUnits) {
    Cell s = str_in("bdac", unit);
    string::sort(&s, by_function, &result);
    EXPECT_EQ(text_of(s), "dcba") << "unit " << unit;
  }
  Cell two = integer::make(2);
  SortOptions records = by_function;
  records.skip = &two;
  records.all = true;
  Cell r = str("a1b3c2");
  string::sort(&r, records, &result);
  EXPECT_EQ(text_of(r), "b3c2a1");
  evaluator_hooks::install(kept);

  Cell word = word::load("w");
  SortOptions bad;
  bad.compare = &word;
  EXPECT_EQ(raised([&] { string::sort(&r, bad, &result); }), "script/invalid-refine-arg");
}

// ---- take, swap, set operations, paths ----

TEST_F(StringTest, TakeAnswersACharWithoutPart) {
  Cell s = str("abc"), result;
  string::take(&s, nullptr, false, false, &result);
  ASSERT_TRUE(result.is(TYPE_CHAR));
  EXPECT_EQ(character::get(&result), uint32_t('a'));
  EXPECT_EQ(text_of(s), "bc");
}

TEST_F(StringTest, SwapExchangesTheHeadCharactersWideningWhereNeeded) {
  Cell a = str("ab"), b = str_in("\xE2\x82\xAC", 2), result;
  string::swap(&a, &b, &result);
  EXPECT_EQ(text_of(a), "\xE2\x82\xAC" "b");
  EXPECT_EQ(text_of(b), "a");
  Cell n = integer::make(1);
  EXPECT_EQ(raised([&] { string::swap(&a, &n, &result); }), "script/invalid-arg");
}

TEST_F(StringTest, SetOperationsCompareRecordsByTheirFirstCharacter) {
  struct Case {
    MathOp op;
    const char* a;
    const char* b;
    bool case_sensitive;
    const char* expected;
  };
  const Case cases[] = {
      {OP_UNIQUE, "aAbBa", "", false, "ab"},  {OP_UNIQUE, "aAbBa", "", true, "aAbB"},
      {OP_UNION, "abc", "cde", false, "abcde"}, {OP_INTERSECT, "abcd", "DB", false, "bd"},
      {OP_EXCLUDE, "abcd", "db", false, "ac"},  {OP_DIFFERENCE, "abc", "bcd", false, "ad"},
  };
  for (const Case& c : cases) {
    Cell a = str(c.a), b = str(c.b);
    string::set_operation(&a, &b, c.case_sensitive, 1, c.op);
    EXPECT_EQ(text_of(a), c.expected) << c.a << " op " << c.op;
  }
  Cell pairs = str("a1a2b3"), none = str("");
  string::set_operation(&pairs, &none, false, 2, OP_UNIQUE);
  EXPECT_EQ(text_of(pairs), "a1b3");
}

TEST_F(StringTest, MakeToAndPaths) {
  Cell spec = integer::make(-1), result;
  EXPECT_EQ(raised([&] { string::make(nullptr, &spec, TYPE_STRING, &result); }),
            "script/out-of-range");
  spec = integer::make(100);
  string::make(nullptr, &spec, TYPE_STRING, &result);
  EXPECT_TRUE(string::at_tail(&result));
  Cell none = none_value();
  EXPECT_EQ(raised([&] { string::to(nullptr, &none, TYPE_STRING, &result); }),
            "script/bad-to-arg");
  Cell tag_value = str("b", TYPE_TAG);
  string::to(nullptr, &tag_value, TYPE_STRING, &result);
  EXPECT_EQ(molded(result), "\"b\"") << "a tag converts without its brackets";
  Cell number = integer::make(42);
  string::to(nullptr, &number, TYPE_FILE, &result);
  EXPECT_TRUE(result.is(TYPE_FILE));
  EXPECT_EQ(text_of(result), "42");

  Cell s = str("abc");
  Cell key = str("a");
  Cell path = load_one("s/a");
  PathStep get{&s, &key, nullptr, &path, nullptr, nullptr, 0, false, true, true, false};
  string::eval_path(get, &result);
  EXPECT_EQ(character::get(&result), uint32_t('b'));
  Cell word = word::load("x");
  PathStep by_word = get;
  by_word.element = &word;
  EXPECT_EQ(raised([&] { string::eval_path(by_word, &result); }), "script/invalid-path");
}

// Every allocation collects and moves every buffer it can: what the text routines hold across
// allocations must be nodes and cells, never buffer addresses.
TEST_F(StringTest, WorksWhenEveryAllocationCollectsAndMovesBuffers) {
  collector::active = true;
  collector::set_torture_period(1);
  Cell s = str("abc"), wide = str_in("\xE2\x82\xAC\xF0\x9F\x98\x80", 4), result;
  InsertOptions dup;
  dup.dup = 40;
  string::insert(&s, &wide, dup, true, &result);
  Cell e = chr(0xE9);
  string::insert(&s, &e, {}, false, &result);
  Cell block = load("x 1 [y]");
  string::change(&s, &block, {}, &result);
  std::string expected = "x1yc";
  for (int i = 0; i < 40; ++i) expected += "\xE2\x82\xAC\xF0\x9F\x98\x80";
  Cell whole = s;
  whole.data1 = 0;
  std::string text = text_of(whole);
  std::string mold_text = molded(whole);
  Cell found;
  Cell pattern = str("\xF0\x9F\x98\x80\xE2\x82\xAC");
  FindOptions last;
  last.last = true;
  string::find(&whole, &pattern, last, &found);
  collector::set_torture_period(0);
  collector::active = false;
  EXPECT_EQ(text, expected);
  EXPECT_EQ(mold_text, "{" + expected + "}");
  EXPECT_EQ(found.head_index(), 4u + 2 * 39 - 1);
}

// The direct append grows the target while every allocation collects and moves buffers.
TEST_F(StringTest, AppendingTextWorksWhenEveryAllocationCollectsAndMovesBuffers) {
  collector::active = true;
  collector::set_torture_period(1);
  Cell s = str("ab"), result;
  const std::string piece = "0123456789abcdefghij";
  std::string expected = "ab";
  for (int i = 0; i < 8; ++i) {
    Cell value = str(piece);
    string::insert(&s, &value, {}, true, &result);
    Cell c = chr('!');
    string::insert(&s, &c, {}, true, &result);
    expected += piece + "!";
  }
  std::string text = text_of(result);
  collector::set_torture_period(0);
  collector::active = false;
  EXPECT_EQ(text, expected);
}

}  // namespace
}  // namespace xol::testing
