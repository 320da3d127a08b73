// function!, routine!, native!, action! and op!: spec validation, construction, the operator
// check, the routine thunks, reflection and printed forms.
#include "tests/unit/objects_fixture.h"

namespace xol::testing {
namespace {

class FunctionTest : public ObjectsTest {
 protected:
  static std::string make_error(Cell spec) {
    return raised([&] {
      Cell made, definition = blk({spec, blk({})});
      function::make(nullptr, &definition, TYPE_FUNCTION, &made);
    });
  }
};

TEST_F(FunctionTest, SpecValidationRefusesMalformedSpecs) {
  struct Case {
    const char* what;
    Cell spec;
    const char* error;
  };
  const Case cases[] = {
      {"docstring before the type block", blk({w("a"), str("doc"), blk({w("integer!")})}),
       "script bad-func-def"},
      {"argument after return:", blk({set_w("return"), blk({w("integer!")}), w("a")}),
       "script bad-func-def"},
      {"lit-word local", blk({ref("local"), lit_w("x")}), "script bad-func-def"},
      {"refinement after /local", blk({ref("local"), w("x"), ref("ref")}), "script bad-func-def"},
      {"return: twice", blk({set_w("return"), blk({w("integer!")}), set_w("return"),
                             blk({w("integer!")})}), "script bad-func-def"},
      {"a number", blk({num(1)}), "script bad-func-def"},
      {"attribute that is not a word", blk({blk({num(1)}), w("a")}), "script bad-func-def"},
      {"unset type word", blk({w("a"), blk({w("no-such-type")})}), "script no-value"},
      {"number in a type block", blk({w("a"), blk({num(1)})}), "script invalid-type-spec"},
      {"duplicate argument", blk({w("a"), w("b"), w("a")}), "script dup-vars"},
      {"argument and refinement", blk({w("a"), ref("a")}), "script dup-vars"},
      {"duplicate up to case", blk({w("a"), w("A")}), "script dup-vars"},
  };
  for (const Case& c : cases) EXPECT_EQ(make_error(c.spec), c.error) << c.what;
}

TEST_F(FunctionTest, ValidSpecsGiveTheirAttributeFlags) {
  Cell traced = blk({blk({w("trace")}), w("a"), blk({w("integer!")}), str("doc"), ref("only"),
                     ref("local"), w("x")});
  EXPECT_EQ(function::validate_spec(&traced), function::kTraceFlag);
  Cell returning = blk({w("a"), set_w("return"), blk({w("integer!")}), str("doc")});
  EXPECT_EQ(function::validate_spec(&returning), 0u);
}

TEST_F(FunctionTest, TheBodyIsABoundCopy) {
  Cell body = blk({w("a")});
  Cell made, definition = blk({blk({w("a")}), body});
  function::make(nullptr, &definition, TYPE_FUNCTION, &made);
  block::append_cell(&body, &body);
  Cell copied = *function::body(&made);
  ASSERT_EQ(block::length(&copied), 1u);
  EXPECT_EQ(word::context_of(block::head(&copied)), function::context_of(&made));
  EXPECT_EQ(molded(made), "func [a][a]");
  EXPECT_EQ(formed(made), "?function?");
}

TEST_F(FunctionTest, ReflectWordsAreBoundToTheFunction) {
  Cell made = func({w("a"), w("b")}, {});
  Cell field = w("words"), result;
  function::reflect(&made, &field, &result);
  ASSERT_EQ(block::length(&result), 2u);
  for (Cell* word = block::head(&result); word < block::tail(&result); ++word)
    EXPECT_EQ(word::context_of(word), function::context_of(&made));
  Cell other = w("class");
  EXPECT_EQ(raised([&] { function::reflect(&made, &other, &result); }), "internal not-done");
}

TEST_F(FunctionTest, CountsLocalsFromTheLocalRefinement) {
  Cell with_locals = blk({w("a"), ref("local"), w("x"), w("y")});
  EXPECT_EQ(function::count_locals(&with_locals, 0, true), 3);
  Cell without = blk({w("a")});
  EXPECT_EQ(function::count_locals(&without, 0, true), -1);
  EXPECT_EQ(function::count_locals(&without, 0, false), 0);
}

TEST_F(FunctionTest, CollectsSetWordsAndLoopWordsAsLocals) {
  Cell spec = blk({w("a")});
  Cell body = blk({set_w("x"), num(1), w("foreach"), blk({w("k"), w("v")}), w("data"),
                   blk({set_w("a"), set_w("y")}), w("repeat"), w("i"), num(3)});
  Cell result;
  function::collect_locals(&spec, &body, &result);
  Cell expected = blk({w("a"), ref("local"), w("x"), w("k"), w("v"), w("y"), w("i")});
  EXPECT_EQ(molded(spec), molded(expected));
}

TEST_F(FunctionTest, ExternWordsStayGlobal) {
  Cell spec = blk({w("a"), ref("extern"), w("x")});
  Cell body = blk({set_w("x"), num(1), set_w("z"), num(2)});
  Cell result;
  function::collect_locals(&spec, &body, &result);
  EXPECT_EQ(molded(spec), "[a /local z]");
}

// Routines: typed C++ functions behind generated thunks.
int32_t add_integers(int32_t a, int32_t b) { return a + b; }
bool is_block(Cell* value) { return value->is(TYPE_BLOCK); }

TEST_F(FunctionTest, RoutinesCallTypedFunctionsThroughThunks) {
  routines::clear();
  int32_t add = routines::add<add_integers>("add-integers");
  int32_t test = routines::add<is_block>("block?");
  Cell adder, tester;
  Cell add_spec = blk({w("a"), blk({w("integer!")}), w("b"), blk({w("integer!")}), ref("local"),
                       w("c")});
  routines::make_value(&add_spec, nullptr, add, 0, &adder);
  EXPECT_EQ(routines::arity(&adder), 3);
  Cell args[] = {num(2), num(40)};
  Cell result;
  routines::call(&adder, args, &result);
  EXPECT_EQ(integer::get(&result), 42);
  EXPECT_EQ(integer::get(function::record(&adder) + function::RECORD_OWNER),
            routines::RESULT_INTEGER);

  Cell test_spec = blk({w("value"), blk({w("any-type!")})});
  routines::make_value(&test_spec, nullptr, test, 0, &tester);
  Cell block_arg[] = {blk({})};
  routines::call(&tester, block_arg, &result);
  EXPECT_TRUE(result.is(TYPE_LOGIC) && logic::get(&result));

  Cell wrong[] = {num(2), str("x")};
  EXPECT_EQ(raised([&] { routines::call(&adder, wrong, &result); }), "script expect-arg");
  Cell mismatched = blk({w("a"), blk({w("float!")}), w("b"), blk({w("integer!")})});
  EXPECT_EQ(raised([&] { routines::make_value(&mismatched, nullptr, add, 0, &result); }),
            "internal routines");
  EXPECT_EQ(molded(tester), "routine [value [any-type!]] none");
  EXPECT_EQ(formed(tester), "?routine?");
  routines::clear();
}

void no_op(bool, const int32_t*) {}

class NativeTest : public FunctionTest {
 protected:
  void SetUp() override {
    FunctionTest::SetUp();
    natives::clear_tables();
    natives::set_native(5, no_op);
    natives::set_action(11, no_op);
  }
  void TearDown() override {
    natives::clear_tables();
    FunctionTest::TearDown();
  }
  // Natives and actions are made while the runtime starts, as the boot code makes them.
  static Cell make_called(TypeId type, Cell spec, int32_t index) {
    Cell made, definition = blk({spec, num(index)});
    const StartingUp starting;
    actions::get<ACT_MAKE>(type)(nullptr, &definition, type, &made);
    return made;
  }
  struct StartingUp {
    StartingUp() { boot::flag = 1; }
    ~StartingUp() { boot::flag = 0; }
  };
  static Cell make_op(const Cell& source) {
    Cell made;
    natives::make_op(nullptr, &source, TYPE_OP, &made);
    return made;
  }
};

TEST_F(NativeTest, MakeRefusesIndexesOutsideFilledSlots) {
  for (int32_t index : {0, 6, 121})
    EXPECT_EQ(raised([&] { make_called(TYPE_NATIVE, blk({w("a")}), index); }),
              "script bad-make-arg") << index;
  for (int32_t index : {0, 12, 63})
    EXPECT_EQ(raised([&] { make_called(TYPE_ACTION, blk({w("a")}), index); }),
              "script bad-make-arg") << index;
  Cell made, three = blk({blk({}), num(5), num(5)});
  EXPECT_EQ(raised([&] {
              const StartingUp starting;
              natives::make(nullptr, &three, TYPE_NATIVE, &made);
            }),
            "script bad-make-arg");
}

// Once start-up is over a native with another spec would read arguments never pushed.
TEST_F(NativeTest, MakeRefusedAfterStartUp) {
  Cell made, definition = blk({blk({w("value")}), num(5)});
  EXPECT_EQ(raised([&] { natives::make(nullptr, &definition, TYPE_NATIVE, &made); }),
            "script bad-make-arg");
}

TEST_F(NativeTest, ReflectMoldFormAndCompare) {
  Cell native = make_called(TYPE_NATIVE, blk({w("value")}), 5);
  Cell action = make_called(TYPE_ACTION, blk({w("value1"), w("value2")}), 11);
  Cell field = w("body"), result;
  actions::get<ACT_REFLECT>(TYPE_ACTION)(&action, &field, &result);
  EXPECT_EQ(integer::get(&result), 11);
  EXPECT_EQ(molded(native), "make native! [[value]]");
  EXPECT_EQ(formed(native), "?native?");
  EXPECT_EQ(molded(action), "make action! [[value1 value2]]");
  Cell op = make_op(action);
  EXPECT_EQ(molded(op), "make op! [[value1 value2]]");
  EXPECT_EQ(formed(op), "?op?");
  EXPECT_EQ(compared(native, native, COMP_EQUAL), 0);
  EXPECT_EQ(compared(native, action, COMP_EQUAL), kNotComparable);
  EXPECT_EQ(compared(native, native, COMP_LESSER), kNotComparable);
}

TEST_F(NativeTest, OperatorCheck) {
  struct Case {
    const char* what;
    std::initializer_list<Cell> spec;
    bool valid;
  };
  const Case cases[] = {
      {"two words", {w("a"), w("b")}, true},
      {"lit-word on the right", {w("a"), lit_w("b")}, true},
      {"then /local", {w("a"), w("b"), ref("local"), w("x")}, true},
      {"then return:", {w("a"), w("b"), set_w("return"), blk({})}, true},
      {"docstrings and types", {str("doc"), w("a"), blk({}), w("b"), blk({})}, true},
      {"lit-word on the left", {lit_w("a"), w("b")}, false},
      {"three arguments", {w("a"), w("b"), w("c")}, false},
      {"another refinement", {w("a"), w("b"), ref("only")}, false},
  };
  for (const Case& c : cases) {
    Cell source = func(c.spec, {});
    EXPECT_EQ(raised([&] { make_op(source); }), c.valid ? "nothing raised" : "script bad-op-spec")
        << c.what;
  }
  Cell number = num(1);
  EXPECT_EQ(raised([&] { make_op(number); }), "script invalid-type");
}

TEST_F(NativeTest, OperatorFromAFunctionSharesItsRecord) {
  Cell source = func({w("a"), w("b")}, {w("a")});
  Cell op = make_op(source);
  EXPECT_EQ(natives::op_source(&op), TYPE_FUNCTION);
  EXPECT_EQ(function::record(&source)[function::RECORD_OP].data3, source.data3);
  EXPECT_EQ(molded(op), "make op! func [a b][a]");
  Cell field = w("body"), result;
  actions::get<ACT_REFLECT>(TYPE_OP)(&op, &field, &result);
  EXPECT_TRUE(result.is(TYPE_BLOCK));
}

}  // namespace
}  // namespace xol::testing
