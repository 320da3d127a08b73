// vector!: make from counts and specs, element types and sizes, the two printed forms,
// arithmetic in place and between vectors (scalar first too), comparison, insertion, change,
// pick and poke, and sorting of every element type.
#include "compound_fixture.h"
#include "runtime/datatypes/compound.h"

namespace xol {
namespace {

class VectorTest : public testing::CompoundTest {
 protected:
  static Cell typed(const char* type, int32_t bits, std::initializer_list<Cell> values) {
    return vec(block_of({wrd(type), num(bits), block_of(values)}));
  }
  static Cell inserted(Cell target, Cell value, bool at_tail, InsertOptions options = {}) {
    Cell result;
    actions::get<ACT_INSERT>(TYPE_VECTOR)(&target, &value, options, at_tail, &result);
    return result;
  }
  static Cell changed(Cell target, Cell value, InsertOptions options = {}) {
    Cell result;
    actions::get<ACT_CHANGE>(TYPE_VECTOR)(&target, &value, options, &result);
    return result;
  }
  static Cell sorted(Cell target, SortOptions options = {}) {
    Cell result;
    actions::get<ACT_SORT>(TYPE_VECTOR)(&target, options, &result);
    return result;
  }
  static Cell at_head(Cell vector) {
    vector.data1 = 0;
    return vector;
  }
};

TEST_F(VectorTest, MakeAndMoldForEveryElementTypeAndSize) {
  struct Case {
    Cell spec;
    const char* text;
  } cases[] = {
      {block_of({num(1), num(2), num(3)}), "make vector! [1 2 3]"},
      {num(3), "make vector! [0 0 0]"},
      {flt(2.9), "make vector! [0 0]"},
      {num(0), "make vector! [integer! 32 []]"},
      {block_of({}), "make vector! [integer! 32 []]"},
      {block_of({wrd("integer!"), num(16), block_of({num(1), num(2), num(3)})}),
       "make vector! [integer! 16 [1 2 3]]"},
      {block_of({wrd("integer!"), num(8), block_of({num(127), num(128), num(300)})}),
       "make vector! [integer! 8 [127 -128 44]]"},
      {block_of({wrd("float!"), num(32), num(3)}), "make vector! [float! 32 [0.0 0.0 0.0]]"},
      {block_of({wrd("float!"), num(32), block_of({flt(0.1)})}), "make vector! [float! 32 [0.1]]"},
      {block_of({flt(1.5), flt(2.0)}), "make vector! [1.5 2.0]"},
      {block_of({pct(0.5), pct(0.25)}), "make vector! [50% 25%]"},
      {block_of({wrd("percent!"), block_of({pct(0.5)})}), "make vector! [50%]"},
      {block_of({wrd("integer!"), num(32), num(2), block_of({num(7)})}), "make vector! [7 0]"},
      {block_of({wrd("char!"), num(8), num(0)}), "make vector! [char! 8 []]"},
  };
  for (const Case& c : cases) EXPECT_EQ(molded(vec(c.spec)), c.text);
}

TEST_F(VectorTest, BadSpecs) {
  struct Case {
    Cell spec;
    const char* error;
  } cases[] = {
      {block_of({num(1), flt(2.0)}), "script/invalid-arg"},
      {block_of({str("a")}), "script/invalid-type"},
      {block_of({wrd("integer!"), num(12), block_of({num(1)})}), "script/bad-make-arg"},
      {block_of({wrd("float!"), num(16), num(1)}), "script/bad-make-arg"},
      {block_of({wrd("integer!")}), "script/bad-make-arg"},
      {block_of({wrd("string!"), num(8)}), "script/bad-make-arg"},
      {block_of({wrd("integer!"), block_of({num(1)})}), "script/invalid-spec-field"},
      {block_of({wrd("integer!"), num(8), str("a")}), "script/invalid-spec-field"},
      {str("abc"), "internal/not-done"},
      {flt(1e10), "script/out-of-range"},
  };
  for (const Case& c : cases) EXPECT_EQ(raised([&] { vec(c.spec); }), c.error);
}

TEST_F(VectorTest, ElementsReadBackByTypeAndSize) {
  Cell shorts = typed("integer!", 16, {num(-5), num(40000)});
  EXPECT_EQ(int_of(picked(shorts, num(1))), -5);
  EXPECT_EQ(int_of(picked(shorts, num(2))), 40000 - 65536);
  Cell chars = typed("char!", 8, {chr(233)});
  EXPECT_EQ(picked(chars, num(1)).data2, 233u);
  EXPECT_TRUE(picked(chars, num(1)).is(TYPE_CHAR));
  Cell floats = typed("float!", 32, {flt(0.1)});
  EXPECT_EQ(double_of(picked(floats, num(1))), double(0.1f));
  Cell percents = vec(block_of({pct(0.5)}));
  EXPECT_TRUE(picked(percents, num(1)).is(TYPE_PERCENT));
  EXPECT_TRUE(picked(shorts, num(3)).is(TYPE_NONE));
  EXPECT_TRUE(picked(shorts, num(0)).is(TYPE_NONE));
  EXPECT_EQ(int_of(poked(shorts, num(2), num(7))), 7);
  EXPECT_EQ(molded(shorts), "make vector! [integer! 16 [-5 7]]");
  EXPECT_EQ(raised([&] { poked(shorts, num(3), num(1)); }), "script/out-of-range");
  EXPECT_EQ(raised([&] { poked(shorts, num(1), flt(1.0)); }), "script/invalid-arg");
}

TEST_F(VectorTest, ScalarArithmeticChangesTheVectorInPlace) {
  struct Case {
    Action action;
    Cell vector, scalar;
    const char* text;
  } cases[] = {
      {ACT_ADD, vec(block_of({num(1), num(2), num(3)})), num(1), "make vector! [2 3 4]"},
      {ACT_ADD, vec(block_of({num(2147483647), num(-2147483648)})), num(0),
       "make vector! [2147483647 -2147483648]"},
      {ACT_ADD, vec(block_of({num(2147483647), num(-2147483648)})), num(1),
       "make vector! [-2147483648 -2147483647]"},
      {ACT_DIVIDE, vec(block_of({num(7), num(-7)})), num(2), "make vector! [3 -3]"},
      {ACT_MULTIPLY, vec(block_of({num(3)})), flt(2.9), "make vector! [6]"},
      {ACT_ADD, typed("integer!", 8, {num(127)}), num(1), "make vector! [integer! 8 [-128]]"},
      {ACT_MULTIPLY, vec(block_of({flt(1.5)})), num(2), "make vector! [3.0]"},
      {ACT_SUBTRACT, vec(block_of({pct(0.5)})), pct(0.25), "make vector! [25%]"},
      {ACT_OR, vec(block_of({num(12)})), num(3), "make vector! [15]"},
  };
  for (const Case& c : cases) {
    Cell result = apply(c.action, c.vector, c.scalar);
    EXPECT_EQ(result.node(), c.vector.node());
    EXPECT_EQ(molded(c.vector), c.text);
  }
  EXPECT_EQ(raised([&] { divide(vec(block_of({num(1)})), num(0)); }), "math/zero-divide");
  EXPECT_EQ(raised([&] { add(vec(block_of({num(1)})), str("a")); }), "internal/not-done");
  EXPECT_EQ(raised([&] { apply(ACT_AND, vec(block_of({flt(1.0)})), num(1)); }),
            "script/cannot-use");
}

TEST_F(VectorTest, ScalarFirstComputesWhatItSays) {
  struct Case {
    MathOp op;
    Cell scalar, vector;
    const char* text;
  } cases[] = {
      {OP_SUBTRACT, num(10), vec(block_of({num(1), num(2)})), "make vector! [9 8]"},
      {OP_SUBTRACT, num(0), vec(block_of({num(1), num(-2)})), "make vector! [-1 2]"},
      {OP_DIVIDE, num(100), vec(block_of({num(10), num(3)})), "make vector! [10 33]"},
      {OP_REMAINDER, num(7), vec(block_of({num(4)})), "make vector! [3]"},
      {OP_DIVIDE, flt(1.0), vec(block_of({flt(4.0)})), "make vector! [0.25]"},
      {OP_ADD, num(1), vec(block_of({num(1)})), "make vector! [2]"},
  };
  for (const Case& c : cases) {
    Cell result;
    ASSERT_TRUE(compound::number_first_math(c.op, &c.scalar, &c.vector, &result));
    EXPECT_EQ(molded(c.vector), c.text);
  }
  Cell result, hundred = num(100), with_zero = vec(block_of({num(5), num(0)}));
  EXPECT_EQ(raised([&] { compound::number_first_math(OP_DIVIDE, &hundred, &with_zero, &result); }),
            "math/zero-divide");
  EXPECT_EQ(molded(with_zero), "make vector! [5 0]");
}

TEST_F(VectorTest, VectorOpVectorMakesANewVectorAsLongAsTheShorter) {
  Cell a = vec(block_of({num(1), num(2), num(3)})), b = vec(block_of({num(10), num(20)}));
  Cell sum = add(a, b);
  EXPECT_NE(sum.node(), a.node());
  EXPECT_EQ(molded(sum), "make vector! [11 22]");
  EXPECT_EQ(molded(a), "make vector! [1 2 3]");
  Cell narrow = typed("integer!", 8, {num(100)}), wide = typed("integer!", 16, {num(1000)});
  EXPECT_EQ(molded(add(narrow, wide)), "make vector! [integer! 16 [1100]]");
  EXPECT_EQ(raised([&] { add(a, vec(block_of({flt(1.0)}))); }), "script/not-same-type");
}

TEST_F(VectorTest, Comparison) {
  Cell a = vec(block_of({num(1), num(2)}));
  EXPECT_EQ(raised([&] { compared(a, vec(block_of({flt(1.0), flt(2.0)})), COMP_EQUAL); }),
            "script/not-same-type");
  EXPECT_EQ(compared(a, vec(block_of({num(1), num(3)})), COMP_LESSER), -1);
  EXPECT_EQ(compared(a, vec(block_of({num(1), num(2), num(0)})), COMP_EQUAL), 1);
  EXPECT_EQ(compared(a, vec(block_of({num(1), num(2), num(0)})), COMP_SORT), -1);
  EXPECT_EQ(compared(a, vec(block_of({num(1), num(2)})), COMP_EQUAL), 0);
  EXPECT_EQ(compared(a, a, COMP_SAME), 0);
  EXPECT_EQ(compared(a, vec(block_of({num(1), num(2)})), COMP_SAME), -1);
  EXPECT_EQ(compared(a, num(1), COMP_EQUAL), kNotComparable);
}

TEST_F(VectorTest, AppendInsertAndChange) {
  Cell v = vec(block_of({num(1)}));
  inserted(v, block_of({num(2), num(3), num(4)}), true, InsertOptions{.part = 2});
  EXPECT_EQ(molded(v), "make vector! [1 2 3]");
  EXPECT_EQ(raised([&] { inserted(v, flt(2.0), true); }), "script/invalid-arg");
  EXPECT_EQ(raised([&] { inserted(v, block_of({num(9), flt(2.0)}), true); }), "script/invalid-arg");
  EXPECT_EQ(molded(v), "make vector! [1 2 3]");

  Cell after = inserted(v, num(0), false, InsertOptions{.dup = 2});
  EXPECT_EQ(after.head_index(), 2u);
  EXPECT_EQ(molded(v), "make vector! [0 0 1 2 3]");
  Cell second = v;
  second.data1 = 1;
  Cell moved = changed(second, block_of({num(7), num(8)}));
  EXPECT_EQ(moved.head_index(), 3u);
  EXPECT_EQ(molded(v), "make vector! [0 7 8 2 3]");
  changed(second, vec(block_of({num(5)})), InsertOptions{.part = 3});
  EXPECT_EQ(molded(v), "make vector! [0 5 3]");
  vector::append_int32(&v, 42);
  EXPECT_EQ(molded(v), "make vector! [0 5 3 42]");
  Cell out;
  vector::to_block(&second, &out);
  EXPECT_EQ(block::length(&out), 3u);
}

TEST_F(VectorTest, SortOrdersEveryElementTypeWithNegativesFirst) {
  struct Case {
    Cell vector;
    const char* text;
  } cases[] = {
      {typed("integer!", 8, {num(5), num(-1), num(-128), num(127)}),
       "make vector! [integer! 8 [-128 -1 5 127]]"},
      {typed("integer!", 16, {num(300), num(-300), num(0)}), "make vector! [integer! 16 [-300 0 300]]"},
      {vec(block_of({num(2000000000), num(-2000000000), num(0)})),
       "make vector! [-2000000000 0 2000000000]"},
      {vec(block_of({pct(0.5), pct(-0.1), pct(0.25)})), "make vector! [-10% 25% 50%]"},
      {vec(block_of({flt(2.5), flt(-1.0), flt(0.0)})), "make vector! [-1.0 0.0 2.5]"},
      {typed("float!", 32, {flt(2.5), flt(-1.0)}), "make vector! [float! 32 [-1.0 2.5]]"},
      {typed("char!", 8, {chr(233), chr('a')}), ""},
  };
  for (const Case& c : cases) {
    sorted(c.vector);
    if (*c.text) {
      EXPECT_EQ(molded(c.vector), c.text);
    }
  }
  Cell chars = cases[6].vector;
  EXPECT_EQ(picked(chars, num(1)).data2, uint32_t('a'));
  EXPECT_EQ(picked(chars, num(2)).data2, 233u);

  Cell records = vec(block_of({num(3), num(30), num(1), num(10), num(2), num(20)}));
  Cell two = num(2);
  sorted(records, SortOptions{.skip = &two, .reverse = true});
  EXPECT_EQ(molded(records), "make vector! [3 30 2 20 1 10]");
}

TEST_F(VectorTest, FormPrintsTheElementsOnly) {
  EXPECT_EQ(formed(vec(block_of({num(1), num(-2)}))), "1 -2");
  EXPECT_EQ(formed(vec(block_of({pct(0.5)}))), "50%");
  Cell tail = vec(block_of({num(1), num(2), num(3)}));
  tail.data1 = 2;
  EXPECT_EQ(formed(tail), "3");
  EXPECT_EQ(molded(tail), "make vector! [3]");
}

}  // namespace
}  // namespace xol
