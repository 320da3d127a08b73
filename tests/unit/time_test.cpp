// time!: printed form (with the carry of rounded seconds), block construction, fields read and
// written through paths and pick, arithmetic, round and parity.
#include <cmath>

#include "number_fixture.h"

namespace xol {
namespace {

using TimeTest = testing::NumberTest;

TEST_F(TimeTest, PrintedForm) {
  struct Case {
    double seconds;
    const char* text;
  } cases[] = {
      {3725.5, "1:02:05.5"},
      {0, "0:00:00"},
      {-90, "-0:01:30"},
      {-5400, "-1:30:00"},
      {36009, "10:00:09"},
      {0.0000001, "0:00:00"},
      {5.1234567, "0:00:05.12346"},
      {12.25, "0:00:12.25"},
      {0.5, "0:00:00.5"},
      {90000, "25:00:00"},
      {59.9999999, "0:01:00"},
      {3599.9999999, "1:00:00"},
      {-59.9999999, "-0:01:00"},
      {59.99994, "0:00:59.9999"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(formed(time::make(c.seconds)), c.text) << c.seconds;
    EXPECT_EQ(molded(time::make(c.seconds)), c.text) << c.seconds;
  }
}

TEST_F(TimeTest, FromABlockOfHoursMinutesSeconds) {
  struct Case {
    Cell block;
    double seconds;
  } cases[] = {
      {block_of({num(1), num(2), flt(3.5)}), 3723.5},
      {block_of({num(-1), num(30)}), -5400},
      {block_of({num(2)}), 7200},
      {block_of({num(0), num(90)}), 5400},
  };
  for (const Case& c : cases) {
    Cell result = converted(TYPE_TIME, c.block);
    ASSERT_EQ(result.type(), TYPE_TIME);
    EXPECT_EQ(time::get(&result), c.seconds);
  }
  for (const Cell& bad : {block_of({num(1), num(-30)}), block_of({flt(1.5)}),
                          block_of({num(1), num(2), num(3), num(4)}), block_of({})})
    EXPECT_EQ(raised([&] { converted(TYPE_TIME, bad); }), "script/bad-to-arg");
  EXPECT_EQ(double_of(converted(TYPE_TIME, num(90))), 90);
  EXPECT_EQ(double_of(made(TYPE_TIME, flt(1.5))), 1.5);
  EXPECT_EQ(raised([] { converted(TYPE_TIME, Cell{TYPE_NONE, 0, 0, 0}); }), "script/bad-to-arg");
}

TEST_F(TimeTest, FieldsThroughPathsAndPick) {
  Cell t = tim(1, 2, 3);
  EXPECT_EQ(int_of(path(t, word::load("minute"))), 2);
  EXPECT_EQ(int_of(path(t, word::load("Hour"))), 1);
  Cell second = path(t, num(3));
  ASSERT_EQ(second.type(), TYPE_FLOAT);
  EXPECT_EQ(double_of(second), 3.0);
  Cell five = num(5);
  EXPECT_EQ(molded(path(t, word::load("hour"), &five)), "5:02:03");
  Cell seconds = flt(7.25);
  EXPECT_EQ(molded(path(t, word::load("second"), &seconds)), "1:02:07.25");
  EXPECT_EQ(int_of(picked(t, num(2))), 2);
  EXPECT_EQ(int_of(picked(t, word::load("hour"))), 1);

  EXPECT_EQ(raised([&] { path(t, num(4)); }), "script/invalid-path");
  EXPECT_EQ(raised([&] { path(t, word::load("day")); }), "script/invalid-path");
  EXPECT_EQ(raised([&] { picked(t, num(4)); }), "script/out-of-range");
  EXPECT_EQ(raised([&] { path(t, word::load("minute"), &seconds); }), "script/invalid-arg");
}

TEST_F(TimeTest, WritingBackAFieldJustReadChangesNothing) {
  const double times[] = {-5400, -1815.5, 9910, -90001, 0.25, -0.25, 86399.999};
  for (double seconds : times) {
    for (time::Field field : {time::FIELD_HOUR, time::FIELD_MINUTE, time::FIELD_SECOND}) {
      Cell value = time::get_field(seconds, field);
      EXPECT_EQ(time::set_field(seconds, field, &value), seconds)
          << seconds << " field " << int(field);
    }
  }
  // The hour of -1:30:00 is -1 and its minute 30: setting them moves away from zero.
  Cell two = num(2), forty_five = num(45);
  EXPECT_EQ(time::set_field(-5400, time::FIELD_HOUR, &two), 2 * 3600 - 1800);
  EXPECT_EQ(time::set_field(-5400, time::FIELD_MINUTE, &forty_five), -(3600 + 45 * 60));
}

TEST_F(TimeTest, Arithmetic) {
  Cell ratio = divide(tim(1, 0, 0), tim(0, 30, 0));
  EXPECT_EQ(ratio.type(), TYPE_FLOAT);
  EXPECT_EQ(double_of(ratio), 2.0);
  EXPECT_EQ(molded(multiply(tim(1, 0, 0), num(2))), "2:00:00");
  EXPECT_EQ(molded(divide(tim(1, 0, 0), num(4))), "0:15:00");
  EXPECT_EQ(molded(subtract(tim(1, 0, 0), num(30))), "0:59:30");
  EXPECT_EQ(molded(remainder(tim(1, 0, 10), tim(0, 1, 0))), "0:00:10");
  EXPECT_TRUE(std::isinf(double_of(divide(tim(1, 0, 0), num(0)))));
  EXPECT_EQ(molded(add(tim(1, 0, 0), date::make(2020, 1, 1, 23 * 3600.0, 0))),
            "2-Jan-2020/0:00:00");
  EXPECT_EQ(raised([] { multiply(tim(1, 0, 0), tim(1, 0, 0)); }), "script/not-related");
  EXPECT_EQ(raised([] { subtract(tim(1, 0, 0), date::make(2020, 1, 1)); }),
            "script/not-related");
  EXPECT_TRUE(holds(tim(0, 0, 90), num(90), COMP_EQUAL));
  EXPECT_TRUE(holds(tim(0, 1, 0), tim(0, 0, 61), COMP_LESSER));
}

TEST_F(TimeTest, RoundIsAlwaysATime) {
  Cell minute = num(60), quarter = tim(0, 15, 0), dollar = money_of("$1");
  EXPECT_EQ(molded(rounded(time::make(3723.6))), "1:02:04");
  EXPECT_EQ(molded(rounded(time::make(3723.5), {.even = true})), "1:02:04");
  EXPECT_EQ(molded(rounded(time::make(3723.6), {.down = true})), "1:02:03");
  Cell by_minute = rounded(time::make(3723.6), {.to = &minute});
  EXPECT_EQ(by_minute.type(), TYPE_TIME);
  EXPECT_EQ(molded(by_minute), "1:02:00");
  EXPECT_EQ(molded(rounded(time::make(3723.6), {.to = &quarter})), "1:00:00");
  EXPECT_EQ(raised([&] { rounded(time::make(1), {.to = &dollar}); }), "script/not-related");
}

TEST_F(TimeTest, ParityOfTheSecondsWithinTheMinute) {
  struct Case {
    double seconds;
    bool even;
  } cases[] = {{2, true}, {3, false}, {62, true}, {2.9999999999, false}, {-3, false},
               {-2.5, true}};
  for (const Case& c : cases) {
    Cell value = time::make(c.seconds);
    EXPECT_EQ(time::even(&value), c.even) << c.seconds;
    EXPECT_EQ(time::odd(&value), !c.even) << c.seconds;
  }
}

}  // namespace
}  // namespace xol
