// tag!, email! and ref!: their printed forms and the email fields; a tag's mold reads back as
// the same tag, plain when the lexer takes it so, else as a construction.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "runtime/io/lexer.h"
#include "text_builders.h"

namespace xol::testing {
namespace {

using namespace std::literals;

using TagEmailRefTest = TextTest;

TEST_F(TagEmailRefTest, MoldAndForm) {
  struct Case {
    TypeId type;
    const char* text;
    const char* molded;
    const char* formed;
  };
  const Case cases[] = {
      {TYPE_TAG, "a href=x", "<a href=x>", "<a href=x>"},
      {TYPE_TAG, "\xC3\xA9", "<\xC3\xA9>", "<\xC3\xA9>"},
      {TYPE_EMAIL, "ab@cd", "ab@cd", "ab@cd"},
      {TYPE_REF, "name", "@name", "name"},
  };
  for (const Case& c : cases) {
    for (uint32_t unit : {2u, 4u}) {
      Cell value = str_in(c.text, unit, c.type);
      EXPECT_EQ(molded(value), c.molded);
      EXPECT_EQ(formed(value), c.formed);
    }
  }
}

TEST_F(TagEmailRefTest, TagFormStopsAtThePartBudget) {
  Cell value = str("abcdef", TYPE_TAG), buffer, part = integer::make(3);
  text::make(&buffer, 8);
  int32_t left = tag::form(&value, &buffer, &part, 3);
  EXPECT_EQ(text_of(buffer), "<ab>");
  EXPECT_EQ(left, 3 - 6 - 2);
}

class TagReadBackTest : public TextTest {
 protected:
  void SetUp() override {
    TextTest::SetUp();
    lexer::init();
  }
  void TearDown() override {
    lexer::release();
    TextTest::TearDown();
  }

  static Cell tag_of(std::u32string_view text) {
    Cell made;
    string::make_at_unit(&made, uint32_t(text.size()), 1, TYPE_TAG);
    std::u32string copy(text);
    string::append_chars(made.node(), reinterpret_cast<const uint32_t*>(copy.data()),
                         uint32_t(copy.size()));
    return made;
  }

  // True when lexing the mold of `tag` gives one value, a tag strictly equal to it.
  static ::testing::AssertionResult reads_back(const Cell& tag) {
    std::string source = molded(tag);
    Cell block;
    try {
      block = lexer::load(source);
    } catch (const error::Raised& raised) {
      return ::testing::AssertionFailure() << source << " raised " << raised.id;
    }
    Cell* value = block::head(&block);
    if (block::length(&block) != 1 || !value->is(TYPE_TAG) ||
        compared(*value, tag, COMP_STRICT_EQUAL) != 0) {
      return ::testing::AssertionFailure() << source << " read back as " << molded(block);
    }
    return ::testing::AssertionSuccess();
  }
};

TEST_F(TagReadBackTest, MoldIsPlainWhenTheLexerTakesItSoElseAConstruction) {
  struct Case {
    std::u32string_view text;
    const char* molded;
  };
  const Case cases[] = {
      {U"a href=x"sv, "<a href=x>"},
      {U"a href=\"x>y\""sv, "<a href=\"x>y\">"},
      {U"a 'x>y'"sv, "<a 'x>y'>"},
      {U"'a'"sv, "<'a'>"},
      {U"a)b"sv, "<a)b>"},
      {U"^"sv, "<^>"},
      {U"<a"sv, "<<a>"},
      {U"a\nb"sv, "<a\nb>"},
      {U"a\tb"sv, "<a\tb>"},
      {U"\U0001F600"sv, "<\xF0\x9F\x98\x80>"},
      {U"a>b"sv, "#(tag! \"a>b\")"},
      {U"a\"b"sv, "#(tag! \"a^\"b\")"},
      {U"a'b"sv, "#(tag! \"a'b\")"},
      {U"\"a\""sv, "#(tag! \"^\"a^\"\")"},
      {U""sv, "#(tag! \"\")"},
      {U" a"sv, "#(tag! \" a\")"},
      {U"=a"sv, "#(tag! \"=a\")"},
      {U"-a"sv, "#(tag! \"-a\")"},
      {U">a"sv, "#(tag! \">a\")"},
      {U":a"sv, "#(tag! \":a\")"},
      {U"<"sv, "#(tag! \"<\")"},
      {U")"sv, "#(tag! \")\")"},
      {U"a^\"b"sv, "#(tag! \"a^^^\"b\")"},
      {U"\na"sv, "#(tag! \"^/a\")"},
      {U"\ta\x1F"sv, "#(tag! \"^-a^_\")"},
      {U"a\0b"sv, "#(tag! \"a^@b\")"},
      {U"\U0001F600>"sv, "#(tag! \"\xF0\x9F\x98\x80>\")"},
      {U"a\xD800"sv, "#(tag! \"a^(D800)\")"},
  };
  for (const Case& c : cases) {
    Cell tag = tag_of(c.text);
    EXPECT_EQ(molded(tag), c.molded);
    EXPECT_TRUE(reads_back(tag));
  }
}

TEST_F(TagReadBackTest, EveryShortTextOfTheCharactersThatMatterReadsBack) {
  // The characters the tag states tell apart, and a few that only pass through them.
  const std::u32string alphabet = U"a<>\"'=-: \n\t)(;[{^\0\xE9\U0001F600"s;
  std::u32string text;
  auto each_text = [&](auto& self, size_t length) -> void {
    EXPECT_TRUE(reads_back(tag_of(text)));
    if (length == 0) return;
    for (char32_t c : alphabet) {
      text.push_back(c);
      self(self, length - 1);
      text.pop_back();
    }
  };
  constexpr size_t kLongest = 3;
  each_text(each_text, kLongest);
}

TEST_F(TagReadBackTest, ConstructionMoldAllAndPartBudget) {
  Cell plain = tag_of(U"\xE9"), construct = tag_of(U"\xE9>\x85");
  EXPECT_EQ(molded(plain, true), "<\xC3\xA9>");
  EXPECT_EQ(molded(construct, true), "#(tag! \"^(E9)>^(85)\")");
  EXPECT_EQ(molded(construct), "#(tag! \"\xC3\xA9>^(85)\")");
  EXPECT_TRUE(reads_back(construct));

  // Without a limit both forms give back the budget less what they wrote; with one, the
  // construction writes at most `part` characters of the text.
  constexpr int32_t kBudget = 100;
  for (const Cell& tag : {plain, tag_of(U"abcdef>")}) {
    Cell buffer;
    text::make(&buffer, 8);
    int32_t left = tag::mold(&tag, &buffer, false, false, false, nullptr, kBudget, 0);
    EXPECT_EQ(left, kBudget - int32_t(string::length(&buffer)));
  }
  Cell buffer, part = integer::make(3);
  text::make(&buffer, 8);
  Cell long_tag = tag_of(U"abcdef>");
  int32_t left = tag::mold(&long_tag, &buffer, false, false, false, &part, 3, 0);
  EXPECT_EQ(text_of(buffer), "#(tag! \"abc\")");
  EXPECT_EQ(left, 3 - int32_t(string::length(&buffer)));
}

TEST_F(TagReadBackTest, MoldStartsAtTheHead) {
  Cell tag = tag_of(U">ab");
  tag.data1 = 1;
  EXPECT_EQ(molded(tag), "<ab>");
  tag.data1 = 0;
  EXPECT_EQ(molded(tag), "#(tag! \">ab\")");
}

class EmailTest : public TextTest {
 protected:
  Cell field(Cell& email, const char* name, Cell* value = nullptr) {
    Cell key = word::load(name), path = load_one("e/f"), result;
    PathStep step{&email, &key, value, &path, nullptr, nullptr, 0, false, !value, true, false};
    actions::get<ACT_EVAL_PATH>(TYPE_EMAIL)(step, &result);
    return result;
  }
};

TEST_F(EmailTest, UserAndHostAreTheTextAroundTheFirstAt) {
  struct Case {
    const char* address;
    const char* user;
    const char* host;
  };
  const Case cases[] = {
      {"ab@cd", "ab", "cd"},
      {"abc", "abc", ""},
      {"a@b@c", "a", "b@c"},
      {"@x", "", "x"},
  };
  for (const Case& c : cases) {
    Cell email = str(c.address, TYPE_EMAIL);
    Cell user = field(email, "user"), host = field(email, "host");
    EXPECT_TRUE(user.is(TYPE_STRING));
    EXPECT_EQ(text_of(user), c.user) << c.address;
    EXPECT_EQ(text_of(host), c.host) << c.address;
  }
}

TEST_F(EmailTest, SettingAFieldChangesTheAddressInPlace) {
  struct Case {
    const char* address;
    const char* name;
    const char* value;
    const char* expected;
  };
  const Case cases[] = {
      {"ab@cd", "host", "xy", "ab@xy"},
      {"ab@cd", "user", "\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9@cd"},
      {"ab", "host", "xy", "ab@xy"},
      {"ab", "user", "z", "z"},
  };
  for (const Case& c : cases) {
    Cell email = str(c.address, TYPE_EMAIL), value = str(c.value);
    Cell answer = field(email, c.name, &value);
    EXPECT_EQ(text_of(answer), c.value);
    EXPECT_EQ(text_of(email), c.expected) << c.address << " " << c.name;
  }
  Cell email = str("ab@cd", TYPE_EMAIL);
  EXPECT_EQ(raised([&] { field(email, "foo"); }), "script/invalid-path");
}

TEST_F(TagEmailRefTest, RefHasNoAppendButTagAndEmailDo) {
  EXPECT_EQ(actions::find<ACT_APPEND>(TYPE_REF), nullptr);
  EXPECT_EQ(actions::find<ACT_EVAL_PATH>(TYPE_REF), nullptr);
  EXPECT_NE(actions::find<ACT_INSERT>(TYPE_REF), nullptr);
  EXPECT_NE(actions::find<ACT_APPEND>(TYPE_TAG), nullptr);
  EXPECT_NE(actions::find<ACT_APPEND>(TYPE_EMAIL), nullptr);
}

}  // namespace
}  // namespace xol::testing
