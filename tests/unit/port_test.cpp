// port!: made from a scheme in system/schemes, forwarding its actions to the actor.
#include "tests/unit/objects_fixture.h"

namespace xol::testing {
namespace {

class PortTest : public ObjectsTest {
 protected:
  void SetUp() override {
    ObjectsTest::SetUp();
    Cell actor = make_object({
        set_w("open"), func({w("port"), ref("new"), ref("read"), ref("write"), ref("seek"),
                             ref("allow"), w("access")}, {}),
        set_w("copy"), func({w("port"), ref("part"), w("length"), ref("deep"), ref("types"),
                             w("kinds")}, {}),
        set_w("close"), func({w("port"), ref("local"), w("x")}, {}),
    });
    Cell demo = make_object({set_w("name"), lit_w("demo"), set_w("title"), str("demo"),
                             set_w("info"), none(), set_w("actor"), actor});
    Cell bad = make_object({set_w("name"), lit_w("bad"), set_w("title"), str("bad"),
                            set_w("info"), none(), set_w("actor"), num(5)});
    Cell schemes = make_object({set_w("demo"), demo, set_w("bad"), bad});
    Cell system = make_object({set_w("schemes"), schemes});
    Cell system_word = w("system");
    context::set_global(word::symbol_of(&system_word), &system);
  }
  static Cell make_port(Cell spec) {
    Cell made, type = datatype::make(TYPE_PORT);
    port::make(&type, &spec, TYPE_PORT, &made);
    return made;
  }
};

TEST_F(PortTest, MakeRefusesBadSchemes) {
  EXPECT_EQ(raised([&] { make_port(blk({set_w("scheme"), lit_w("nosuch")})); }),
            "access unknown-scheme");
  EXPECT_EQ(raised([&] { make_port(blk({set_w("scheme"), str("x")})); }), "access no-scheme");
  EXPECT_EQ(raised([&] { make_port(blk({set_w("scheme"), lit_w("bad")})); }),
            "access invalid-actor");
}

TEST_F(PortTest, OpenCallsTheActorWithThePortAndItsFlags) {
  Cell made = make_port(blk({set_w("scheme"), lit_w("demo")}));
  EXPECT_TRUE(made.is(TYPE_PORT));
  EXPECT_EQ(object::class_of(&made), object::kPortClass);
  EXPECT_EQ(formed(made).rfind("make port! [", 0), 0u);
  Cell result;
  OpenOptions options;
  options.read = true;
  actions::get<ACT_OPEN>(TYPE_PORT)(&made, options, &result);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].name, "open");
  const std::vector<Cell>& args = calls[0].args;
  ASSERT_EQ(args.size(), 7u);
  EXPECT_EQ(object::context_of(&args[0]), object::context_of(&made));
  const bool flags[] = {false, true, false, false, false};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(logic::get(&args[1 + i]), flags[i]) << i;
  EXPECT_TRUE(args[6].is(TYPE_NONE));
  EXPECT_EQ(raised([&] { actions::get<ACT_LENGTH_Q>(TYPE_PORT)(&made); }),
            "access no-port-action");
}

TEST_F(PortTest, ReadIsOpenCopyClose) {
  Cell made = make_port(blk({set_w("scheme"), lit_w("demo")}));
  call_result = num(42);
  Cell result, part = num(3);
  ReadOptions options;
  options.part = &part;
  actions::get<ACT_READ>(TYPE_PORT)(&made, options, &result);
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].name, "open");
  EXPECT_EQ(calls[1].name, "copy");
  EXPECT_EQ(calls[2].name, "close");
  EXPECT_TRUE(logic::get(&calls[1].args[1]));
  EXPECT_EQ(integer::get(&calls[1].args[2]), 3);
  EXPECT_EQ(integer::get(&result), 42);
}

TEST_F(PortTest, AnActorThatIsNotAnObjectIsAnInvalidPort) {
  Cell made = make_port(blk({set_w("scheme"), lit_w("demo")}));
  *port::field(&made, port::FIELD_ACTOR) = num(1);
  Cell result;
  EXPECT_EQ(raised([&] { actions::get<ACT_CLOSE>(TYPE_PORT)(&made, &result); }),
            "access invalid-port");
}

}  // namespace
}  // namespace xol::testing
