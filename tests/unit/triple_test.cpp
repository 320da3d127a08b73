// triple!: the one printed form, and no other action.
#include "compound_fixture.h"

namespace xol {
namespace {

using TripleTest = testing::CompoundTest;

TEST_F(TripleTest, FormAndMoldPrintTheThreeIntegers) {
  struct Case {
    Cell triple;
    const char* text;
  } cases[] = {
      {Cell{TYPE_TRIPLE, 1, uint32_t(-2), 3}, "make triple! [1 -2 3]"},
      {Cell{TYPE_TRIPLE, 0x80000000u, 0, 0}, "make triple! [-2147483648 0 0]"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(formed(c.triple), c.text);
    EXPECT_EQ(molded(c.triple), c.text);
  }
  Cell buffer, triple{TYPE_TRIPLE, 1, uint32_t(-2), 3};
  text::make(&buffer, 16);
  EXPECT_EQ(actions::get<ACT_FORM>(TYPE_TRIPLE)(&triple, &buffer, nullptr, 100), 100 - 21);
}

TEST_F(TripleTest, EveryOtherActionIsUnsupported) {
  EXPECT_EQ(actions::find<ACT_COMPARE>(TYPE_TRIPLE), nullptr);
  EXPECT_EQ(raised([&] { actions::get<ACT_LENGTH_Q>(TYPE_TRIPLE); }), "script/expect-arg");
}

}  // namespace
}  // namespace xol
