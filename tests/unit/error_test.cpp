// error!: values made from codes, blocks and strings, the raised error's value, and the
// printed form.
#include "tests/unit/objects_fixture.h"

namespace xol::testing {
namespace {

class ErrorTest : public ObjectsTest {
 protected:
  static Cell make_error(const Cell& spec) {
    Cell made, type = datatype::make(TYPE_ERROR);
    error::make(&type, &spec, TYPE_ERROR, &made);
    return made;
  }
  static std::string kind(const Cell& error) {
    return name_of(*error::field(&error, error::FIELD_TYPE)) + " " +
           name_of(*error::field(&error, error::FIELD_ID)) + " " +
           std::to_string(integer::get(error::field(&error, error::FIELD_CODE)));
  }
};

TEST_F(ErrorTest, MadeFromCodesAndBlocks) {
  EXPECT_EQ(kind(make_error(num(300))), "script no-value 300");
  EXPECT_EQ(kind(make_error(num(909))), "internal not-done 909");
  EXPECT_EQ(kind(make_error(blk({w("script"), w("bad-to-arg")}))), "script bad-to-arg 354");
  EXPECT_EQ(kind(make_error(blk({w("access"), w("no-port-action")}))),
            "access no-port-action 510");
  Cell from_fields = make_error(blk({set_w("type"), lit_w("math"), set_w("id"),
                                     lit_w("zero-divide")}));
  EXPECT_EQ(kind(from_fields), "math zero-divide 400");
}

TEST_F(ErrorTest, RefusesBadSpecs) {
  struct Case {
    const char* what;
    Cell spec;
    const char* error;
  };
  const Case cases[] = {
      {"negative code", num(-1), "script out-of-range"},
      {"id past the category", num(399), "script out-of-range"},
      {"category past the last", num(1000), "script out-of-range"},
      {"unknown category", blk({w("nonesuch"), w("x")}), "script invalid-spec-field"},
      {"unknown id", blk({w("script"), w("nonesuch")}), "script invalid-spec-field"},
      {"id not a word", blk({w("script"), num(1)}), "script invalid-arg"},
      {"block of numbers", blk({num(1), num(2)}), "internal invalid-error"},
      {"a logic", logic::make(true), "script bad-make-arg"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(raised([&] { make_error(c.spec); }), c.error) << c.what;
}

TEST_F(ErrorTest, MadeFromAStringIsAUserError) {
  Cell made = make_error(str("boom"));
  EXPECT_EQ(kind(made), "user message 800");
  EXPECT_EQ(text::view(error::field(&made, error::FIELD_ARG1)), "boom");
  EXPECT_EQ(formed(made), "*** User Error: \"boom\"\n*** Where: ???\n*** Near : none");
}

TEST_F(ErrorTest, PrintedForm) {
  Cell made = make_error(blk({w("script"), w("no-value")}));
  *error::field(&made, error::FIELD_ARG1) = w("foo");
  *error::field(&made, error::FIELD_WHERE) = w("print");
  *error::field(&made, error::FIELD_NEAR) = blk({w("foo"), num(1)});
  EXPECT_EQ(formed(made),
            "*** Script Error: foo has no value\n*** Where: print\n*** Near : foo 1");
  EXPECT_EQ(molded(made).rfind("make error! [\n    code: 300\n    type: 'script\n", 0), 0u);
}

TEST_F(ErrorTest, NearIsCutAtFortyCharacters) {
  Cell made = make_error(blk({w("math"), w("zero-divide")}));
  Cell near = blk({});
  for (int32_t i = 0; i < 20; ++i) {
    Cell value = num(1000 + i);
    block::append_cell(&near, &value);
  }
  *error::field(&made, error::FIELD_NEAR) = near;
  const std::string printed = formed(made);
  const std::string line = printed.substr(printed.find("*** Near : ") + 11);
  EXPECT_EQ(line, "1000 1001 1002 1003 1004 1005 1006 1007 ");
}

TEST_F(ErrorTest, AnUnknownIdPrintsAsAnInvalidError) {
  Cell made = make_error(blk({w("script"), w("no-value")}));
  *error::field(&made, error::FIELD_ID) = w("nonesuch");
  EXPECT_EQ(formed(made).substr(0, formed(made).find('\n')),
            "*** Internal Error: invalid error object field value: nonesuch");
  EXPECT_EQ(name_of(*error::field(&made, error::FIELD_ARG1)), "nonesuch");
}

TEST_F(ErrorTest, StackLineOnlyWithATraceLevel) {
  Cell made = make_error(num(300));
  *error::field(&made, error::FIELD_STACK) = blk({w("f"), w("g")});
  EXPECT_EQ(formed(made).find("*** Stack: "), std::string::npos);
  evaluator_hooks::Services services = evaluator_hooks::installed();
  services.trace_level = [] { return int32_t(1); };
  evaluator_hooks::install(services);
  EXPECT_NE(formed(made).find("\n*** Stack: "), std::string::npos);
}

TEST_F(ErrorTest, RaiseBuildsTheErrorValue) {
  Cell argument = w("foo");
  try {
    error::raise(error::CAT_SCRIPT, "no-value", &argument);
    FAIL() << "raise returned";
  } catch (const error::Raised& raised) {
    ASSERT_TRUE(raised.error.is(TYPE_ERROR));
    EXPECT_EQ(kind(raised.error), "script no-value 300");
    EXPECT_EQ(error::last_raised().data1, raised.error.data1);
    EXPECT_EQ(formed(raised.error).substr(0, 34), "*** Script Error: foo has no value");
  }
}

TEST_F(ErrorTest, CatalogueCodesFollowPositions) {
  struct Case {
    error::Category category;
    const char* id;
    int32_t code;
  };
  const Case cases[] = {
      {error::CAT_SCRIPT, "no-value", 300},     {error::CAT_SCRIPT, "bad-make-arg", 353},
      {error::CAT_SCRIPT, "invalid-obj-evt", 364}, {error::CAT_SYNTAX, "malconstruct", 205},
      {error::CAT_ACCESS, "invalid-port", 508},  {error::CAT_INTERNAL, "not-done", 909},
      {error::CAT_ACCESS, "invalid-actor", 507}, {error::CAT_SCRIPT, "nonesuch", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(error::code_of(c.category, c.id), c.code) << c.id;
}

}  // namespace
}  // namespace xol::testing
