// tag!, email! and ref!: their printed forms and the email fields.
#include <gtest/gtest.h>

#include "text_builders.h"

namespace xol::testing {
namespace {

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
