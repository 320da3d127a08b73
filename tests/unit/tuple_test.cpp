// tuple!: make and to from blocks, binaries and colour issues, saturating arithmetic, the byte
// path, comparison with zero padding, reverse and the printed form.
#include "compound_fixture.h"
#include "runtime/datatypes/compound.h"

namespace xol {
namespace {

using TupleTest = testing::CompoundTest;

TEST_F(TupleTest, MakeAndToFromEveryAcceptedSource) {
  struct Case {
    Cell spec;
    const char* text;
  } cases[] = {
      {block_of({num(1), num(2)}), "1.2.0"},
      {block_of({num(1), chr('A'), flt(3.9), num(4)}), "1.65.3.4"},
      {bin({10, 20}), "10.20.0"},
      {bin({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}), "1.2.3.4.5.6.7.8.9.10.11.12"},
      {iss("F80"), "255.136.0"},
      {iss("11223344"), "17.34.51.68"},
      {iss("ff8800"), "255.136.0"},
      {tup({1, 2, 3}), "1.2.3"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(molded(converted(TYPE_TUPLE, c.spec)), c.text);
    EXPECT_EQ(formed(made(TYPE_TUPLE, c.spec)), c.text);
  }
  struct Failure {
    Cell spec;
    const char* error;
  } failures[] = {
      {block_of({num(256)}), "script/bad-to-arg"},
      {block_of({num(-1)}), "script/bad-to-arg"},
      {block_of({str("a")}), "script/bad-to-arg"},
      {block_of({num(1), num(2), num(3), num(4), num(5), num(6), num(7), num(8), num(9), num(10),
                 num(11), num(12), num(13)}),
       "script/bad-to-arg"},
      {iss("12345"), "script/invalid-data"},
      {iss("GG0"), "script/invalid-data"},
      {pr(1, 2), "script/bad-to-arg"},
  };
  for (const Failure& f : failures) EXPECT_EQ(raised([&] { converted(TYPE_TUPLE, f.spec); }), f.error);
}

TEST_F(TupleTest, ArithmeticSaturatesEachByte) {
  struct Case {
    Action action;
    Cell a, b;
    const char* text;
  } cases[] = {
      {ACT_ADD, tup({1, 2, 3}), num(1), "2.3.4"},
      {ACT_ADD, tup({200, 200, 200}), num(100), "255.255.255"},
      {ACT_SUBTRACT, tup({1, 2, 3}), num(5), "0.0.0"},
      {ACT_MULTIPLY, tup({10, 20, 30}), flt(0.5), "5.10.15"},
      {ACT_MULTIPLY, tup({1, 2, 3}), num(2000000000), "255.255.255"},
      {ACT_ADD, tup({1, 2, 3}), tup({1, 1, 1, 1}), "2.3.4.1"},
      {ACT_DIVIDE, tup({7, 7, 7}), num(2), "3.3.3"},
      {ACT_DIVIDE, tup({8, 6, 4, 9}), tup({2, 2, 2}), "4.3.2.9"},
      {ACT_REMAINDER, tup({8, 7, 4, 9}), tup({3, 3, 3}), "2.1.1.9"},
      {ACT_XOR, tup({255, 0, 15}), num(15), "240.15.0"},
      {ACT_DIVIDE, tup({1, 2, 3}), flt(0.0), "255.255.255"},
  };
  for (const Case& c : cases) EXPECT_EQ(molded(apply(c.action, c.a, c.b)), c.text) << c.text;
  EXPECT_EQ(raised([&] { divide(tup({1, 2, 3}), num(0)); }), "math/zero-divide");
  EXPECT_EQ(raised([&] { divide(tup({1, 2, 3}), tup({1, 0, 1})); }), "math/zero-divide");
  EXPECT_EQ(raised([&] { add(tup({1, 2, 3}), pr(1, 1)); }), "script/invalid-type");
}

TEST_F(TupleTest, NumberFirst) {
  Cell result, two = num(2), seven = num(7), colour = tup({1, 1, 1}), divisors = tup({2, 3, 4});
  ASSERT_TRUE(compound::number_first_math(OP_ADD, &two, &colour, &result));
  EXPECT_EQ(molded(result), "3.3.3");
  ASSERT_TRUE(compound::number_first_math(OP_REMAINDER, &seven, &divisors, &result));
  EXPECT_EQ(molded(result), "1.1.3");
  for (MathOp op : {OP_SUBTRACT, OP_DIVIDE})
    EXPECT_EQ(raised([&] { compound::number_first_math(op, &two, &colour, &result); }),
              "script/not-related");
}

TEST_F(TupleTest, PathAndPickReadAndStoreBytes) {
  Cell none = none::value, big = num(300), five = num(5), half = flt(0.5);
  EXPECT_EQ(molded(path(tup({1, 2, 3, 4}), num(4), &none)), "1.2.3");
  EXPECT_EQ(molded(path(tup({1, 2, 3, 4}), num(2), &none)), "1.0.0");
  EXPECT_EQ(molded(path(tup({1, 2, 3}), num(2), &big)), "1.255.3");
  EXPECT_EQ(molded(path(tup({1, 2, 3}), num(1), &five)), "5.2.3");
  EXPECT_EQ(int_of(path(tup({1, 2, 3}), num(3))), 3);
  EXPECT_EQ(raised([&] { path(tup({1, 2, 3}), wrd("x")); }), "script/invalid-type");
  EXPECT_EQ(raised([&] { path(tup({1, 2, 3}), num(1), &half); }), "script/invalid-type");
  EXPECT_EQ(raised([&] { path(tup({1, 2, 3}), num(4), &five); }), "script/out-of-range");
  EXPECT_EQ(int_of(picked(tup({1, 2, 3}), num(2))), 2);
  EXPECT_EQ(raised([&] { picked(tup({1, 2, 3}), num(4)); }), "script/out-of-range");
  EXPECT_EQ(length_of(tup({1, 2, 3, 4})), 4);
}

TEST_F(TupleTest, ComparisonPadsWithZeros) {
  EXPECT_EQ(compared(tup({1, 2, 3}), tup({1, 2, 3, 0}), COMP_EQUAL), 0);
  EXPECT_EQ(compared(tup({1, 2, 3}), tup({1, 2, 3, 0}), COMP_STRICT_EQUAL), 0);
  EXPECT_EQ(compared(tup({1, 2, 3}), tup({1, 3, 0}), COMP_LESSER), -1);
  EXPECT_EQ(compared(tup({1, 2, 3, 1}), tup({1, 2, 3}), COMP_SORT), 1);
  EXPECT_EQ(compared(tup({1, 2, 3}), num(1), COMP_EQUAL), kNotComparable);
}

TEST_F(TupleTest, ComplementReverseAndConstructors) {
  EXPECT_EQ(molded(unary(ACT_COMPLEMENT, tup({0, 255, 16}))), "255.0.239");
  Cell two = num(2), three = num(3), zero = num(0), minus = num(-1), word = wrd("a");
  EXPECT_EQ(molded(reversed(tup({1, 2, 3, 4}))), "4.3.2.1");
  EXPECT_EQ(molded(reversed(tup({1, 2, 3, 4}), nullptr, &two)), "3.4.1.2");
  EXPECT_EQ(molded(reversed(tup({1, 2, 3, 4}), &two)), "2.1.3.4");
  EXPECT_EQ(molded(reversed(tup({1, 2, 3, 4}), &two, &two)), "1.2.3.4");
  EXPECT_EQ(molded(reversed(tup({1, 2, 3, 4}), &zero)), "1.2.3.4");
  EXPECT_EQ(raised([&] { reversed(tup({1, 2, 3, 4}), nullptr, &three); }), "script/invalid-refine-arg");
  EXPECT_EQ(raised([&] { reversed(tup({1, 2, 3}), nullptr, &zero); }), "script/out-of-range");
  EXPECT_EQ(raised([&] { reversed(tup({1, 2, 3}), &minus); }), "script/out-of-range");
  EXPECT_EQ(raised([&] { reversed(tup({1, 2, 3}), &word); }), "script/invalid-refine-arg");
  EXPECT_EQ(molded(tuple::make_rgba(256 + 1, 2, 3, -1)), "1.2.3");
  EXPECT_EQ(molded(tuple::make_rgba(1, 2, 3, 4)), "1.2.3.4");
  const int32_t values[] = {7};
  EXPECT_EQ(molded(tuple::from_ints(1, values)), "7.0.0");
  Cell zeros = tup({0, 0, 0}), one = tup({0, 0, 1});
  EXPECT_TRUE(tuple::all_zero(&zeros));
  EXPECT_FALSE(tuple::all_zero(&one));
}

}  // namespace
}  // namespace xol
