// date!: the calendar, block construction, printed form, epoch seconds, zones and
// normalisation, comparison as instants, arithmetic, and the fourteen path fields.
#include "number_fixture.h"

namespace xol {
namespace {

using DateTest = testing::NumberTest;

constexpr double kHour = 3600, kMinute = 60;

Cell at(int32_t year, int32_t month, int32_t day, double hours, double minutes, double seconds,
        int32_t zone_minutes = 0) {
  return date::make(year, month, day, hours * kHour + minutes * kMinute + seconds, zone_minutes);
}

TEST_F(DateTest, DayNumbersRoundTripAcrossTheCalendar) {
  EXPECT_EQ(date::to_days(0, 3, 1), 0);
  EXPECT_EQ(date::to_days(1970, 1, 1), 719468);
  for (int64_t days = -800000; days <= 800000; days += 97) {
    date::Ymd ymd = date::from_days(days);
    ASSERT_EQ(date::to_days(ymd.year, ymd.month, ymd.day), days) << days;
    ASSERT_GE(ymd.day, 1);
    ASSERT_LE(ymd.day, 31);
  }
  struct Case {
    int32_t year;
    bool leap;
  } years[] = {{2020, true}, {2021, false}, {1900, false}, {2000, true}, {-4, true}, {0, true}};
  for (const Case& c : years) EXPECT_EQ(date::leap_year(c.year), c.leap) << c.year;
  EXPECT_EQ(date::to_days(2021, 2, 29), date::to_days(2021, 3, 1));
  EXPECT_EQ(date::to_days(2020, 13, 1), date::to_days(2021, 1, 1));
  EXPECT_EQ(date::to_days(2020, 0, 1), date::to_days(2019, 12, 1));
}

TEST_F(DateTest, MakeChecksTheFieldsAndToLetsThemCarry) {
  struct Case {
    Cell block;
    const char* make;   // null: bad-to-arg
    const char* to;
  } cases[] = {
      {block_of({num(1), num(2), num(2020)}), "1-Feb-2020", "1-Feb-2020"},
      {block_of({num(2020), num(2), num(1)}), "1-Feb-2020", "1-Feb-2020"},
      {block_of({num(29), num(2), num(2021)}), nullptr, "1-Mar-2021"},
      {block_of({num(5), num(3), num(10)}), "5-Mar-0010", "5-Mar-0010"},
      {block_of({num(9), num(12), num(2026), tim(10, 26, 12)}), "9-Dec-2026/10:26:12",
       "9-Dec-2026/10:26:12"},
      {block_of({num(9), num(12), num(2026), tim(10, 26, 12), num(1)}),
       "9-Dec-2026/10:26:12+01:00", "9-Dec-2026/10:26:12+01:00"},
      {block_of({num(9), num(12), num(2026), tim(10, 26, 12), num(5), num(45)}),
       "9-Dec-2026/10:26:12+05:45", "9-Dec-2026/10:26:12+05:45"},
      {block_of({num(9), num(12), num(2026), tim(10, 26, 12), tim(-3, -30, 0)}),
       "9-Dec-2026/10:26:12-03:30", "9-Dec-2026/10:26:12-03:30"},
      {block_of({num(1), num(1), num(2020), num(10), num(30), num(0), num(-3), num(30)}),
       "1-Jan-2020/10:30:00-03:30", "1-Jan-2020/10:30:00-03:30"},
      {block_of({num(1), num(1), num(2020), num(10), num(30), flt(15.5)}),
       "1-Jan-2020/10:30:15.5", "1-Jan-2020/10:30:15.5"},
      {block_of({num(1), num(1), num(2020), num(7)}), "1-Jan-2020/7:00:00",
       "1-Jan-2020/7:00:00"},
      {block_of({num(1), num(1), num(2020), num(24), num(0)}), nullptr, "2-Jan-2020/0:00:00"},
      {block_of({num(1), num(1), num(2020), num(10), num(60)}), nullptr, "1-Jan-2020/11:00:00"},
  };
  for (const Case& c : cases) {
    if (c.make)
      EXPECT_EQ(molded(made(TYPE_DATE, c.block)), c.make) << c.to;
    else
      EXPECT_EQ(raised([&] { made(TYPE_DATE, c.block); }), "script/bad-to-arg") << c.to;
    EXPECT_EQ(molded(converted(TYPE_DATE, c.block)), c.to);
  }
}

TEST_F(DateTest, BlocksOfOtherShapesAreRefused) {
  for (const Cell& bad : {
           block_of({num(1), num(2)}),
           block_of({num(1), flt(2), num(2020)}),
           block_of({num(1), num(2), num(2020), num(10), tim(1, 0, 0)}),
           block_of({num(1), num(2), num(2020), tim(1, 0, 0), num(1), num(2), num(3)}),
           block_of({num(1), num(2), num(2020), num(1), num(2), num(3), num(4), num(5), num(6)}),
       })
    EXPECT_EQ(raised([&] { converted(TYPE_DATE, bad); }), "script/bad-to-arg");
  EXPECT_EQ(raised([] { converted(TYPE_DATE, flt(3.5)); }), "script/bad-to-arg");
}

TEST_F(DateTest, PrintedForm) {
  struct Case {
    Cell date;
    const char* text;
  } cases[] = {
      {date::make(2026, 12, 9), "9-Dec-2026"},
      {date::make(999, 3, 5), "5-Mar-999"},
      {date::make(10, 3, 5), "5-Mar-0010"},
      {date::make(-5, 1, 1), "1/Jan/-0005"},
      {at(2026, 12, 9, 10, 26, 12), "9-Dec-2026/10:26:12"},
      {at(2026, 12, 9, 10, 26, 12, 60), "9-Dec-2026/10:26:12+01:00"},
      {at(2026, 12, 9, 10, 26, 12.5, -(9 * 60 + 30)), "9-Dec-2026/10:26:12.5-09:30"},
      {at(2026, 12, 9, 0, 0, 0, 15), "9-Dec-2026/0:00:00+00:15"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(molded(c.date), c.text);
    EXPECT_EQ(formed(c.date), c.text);
  }
}

TEST_F(DateTest, ANegativeZoneAppliesItsSignToTheWholeOffset) {
  // 23:30 local at -03:30 is 03:00 UTC the next day; the local date and time stay as given.
  Cell late = at(2020, 1, 1, 23, 30, 0, -(3 * 60 + 30));
  EXPECT_EQ(molded(late), "1-Jan-2020/23:30:00-03:30");
  EXPECT_TRUE(holds(late, at(2020, 1, 2, 3, 0, 0), COMP_EQUAL));
  EXPECT_EQ(molded(path(late, word::load("zone"))), "-3:30:00");
}

TEST_F(DateTest, EpochSecondsRoundDownFromTheHalfSecond) {
  struct Case {
    Cell date;
    int64_t seconds;
  } cases[] = {
      {at(1970, 1, 1, 0, 0, 0), 0},
      {date::make(1970, 1, 1), 0},
      {at(2020, 1, 1, 0, 30, 0, 60), 1577835000},
      {at(1970, 1, 1, 0, 0, 0.5), 1},
      {at(1970, 1, 1, 0, 0, 0.4), 0},
      {at(1969, 12, 31, 23, 59, 59.5), 0},
      {at(1969, 12, 31, 23, 59, 59), -1},
  };
  for (const Case& c : cases) EXPECT_EQ(date::to_epoch(&c.date), c.seconds) << molded(c.date);
  EXPECT_EQ(molded(converted(TYPE_DATE, num(0))), "1-Jan-1970/0:00:00");
  EXPECT_EQ(molded(converted(TYPE_DATE, num(-1))), "31-Dec-1969/23:59:59");
  EXPECT_EQ(molded(converted(TYPE_DATE, num(1577836800))), "1-Jan-2020/0:00:00");
}

TEST_F(DateTest, DatesCompareAsInstants) {
  Cell eastern = at(2020, 1, 1, 23, 0, 0, -5 * 60);
  EXPECT_TRUE(holds(eastern, at(2020, 1, 2, 4, 0, 0), COMP_EQUAL));
  EXPECT_FALSE(holds(eastern, at(2020, 1, 2, 1, 0, 0), COMP_LESSER));
  EXPECT_TRUE(holds(eastern, at(2020, 1, 2, 1, 0, 0), COMP_GREATER));
  EXPECT_TRUE(holds(eastern, at(2020, 1, 2, 5, 0, 0, 60), COMP_EQUAL));
  EXPECT_FALSE(holds(eastern, at(2020, 1, 2, 4, 0, 0), COMP_SAME));
  EXPECT_TRUE(holds(eastern, eastern, COMP_SAME));
  EXPECT_TRUE(holds(date::make(2020, 1, 1), at(2020, 1, 1, 0, 0, 0), COMP_EQUAL));
  EXPECT_TRUE(holds(date::make(2019, 12, 31), date::make(2020, 1, 1), COMP_LESSER));
  EXPECT_TRUE(holds(date::make(-1, 12, 31), date::make(0, 1, 1), COMP_LESSER));
  EXPECT_EQ(compared(date::make(2020, 1, 1), num(1), COMP_LESSER), kNotComparable);
}

TEST_F(DateTest, Arithmetic) {
  EXPECT_EQ(molded(subtract(date::make(2020, 3, 1), num(1))), "29-Feb-2020");
  EXPECT_EQ(molded(add(date::make(2020, 12, 31), num(1))), "1-Jan-2021");
  EXPECT_EQ(int_of(subtract(date::make(2021, 3, 1), date::make(2020, 3, 1))), 365);
  EXPECT_EQ(int_of(subtract(date::make(2020, 3, 1), date::make(2021, 3, 1))), -365);
  EXPECT_EQ(int_of(subtract(at(2020, 1, 2, 1, 0, 0), at(2020, 1, 1, 23, 0, 0))), 0);
  EXPECT_EQ(int_of(subtract(at(2020, 1, 2, 10, 0, 0, 300), at(2020, 1, 1, 12, 0, 0, 300))), 0);
  EXPECT_EQ(molded(add(date::make(2020, 1, 1), tim(1, 30, 0))), "1-Jan-2020/1:30:00");
  EXPECT_EQ(molded(add(at(2020, 1, 1, 23, 0, 0, 120), tim(2, 0, 0))),
            "2-Jan-2020/1:00:00+02:00");
  EXPECT_EQ(molded(subtract(at(2020, 1, 1, 1, 0, 0, -300), tim(2, 0, 0))),
            "31-Dec-2019/23:00:00-05:00");
  EXPECT_EQ(raised([] { add(date::make(2020, 3, 1), date::make(2020, 3, 1)); }),
            "script/not-related");
  EXPECT_EQ(raised([] { add(date::make(2020, 3, 1), flt(1.5)); }), "script/invalid-type");
  EXPECT_EQ(raised([] { add(date::make(16000, 1, 1), num(1000000)); }), "script/type-limit");
}

TEST_F(DateTest, FieldsOfADateWithTimeAndZone) {
  Cell d = at(2024, 3, 15, 10, 20, 30.5, 120);
  struct Case {
    const char* word;
    int32_t number;
    const char* text;
  } cases[] = {
      {"date", 1, "15-Mar-2024"},   {"year", 2, "2024"},        {"month", 3, "3"},
      {"day", 4, "15"},             {"zone", 5, "2:00:00"},     {"time", 6, "10:20:30.5"},
      {"hour", 7, "10"},            {"minute", 8, "20"},        {"second", 9, "30.5"},
      {"weekday", 10, "5"},         {"yearday", 11, "75"},      {"julian", 11, "75"},
      {"timezone", 12, "2:00:00"},  {"week", 13, "11"},         {"isoweek", 14, "11"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(molded(path(d, word::load(c.word))), c.text) << c.word;
    EXPECT_EQ(molded(path(d, num(c.number))), c.text) << c.word;
    EXPECT_EQ(molded(picked(d, num(c.number))), c.text) << c.word;
  }
  EXPECT_EQ(path(date::make(2024, 3, 15), word::load("time")).type(), TYPE_NONE);
  EXPECT_EQ(path(date::make(2024, 3, 15), word::load("zone")).type(), TYPE_NONE);
  EXPECT_EQ(raised([&] { path(d, num(15)); }), "script/invalid-path");
  EXPECT_EQ(raised([&] { path(d, word::load("age")); }), "script/invalid-path");
  EXPECT_EQ(raised([&] { picked(d, num(0)); }), "script/out-of-range");
}

TEST_F(DateTest, WeekNumbers) {
  struct Case {
    int32_t year, month, day;
    int32_t weekday, week, isoweek;
  } cases[] = {
      {2024, 1, 1, 1, 1, 1},   {2024, 1, 7, 7, 2, 1},     {2021, 1, 1, 5, 1, 53},
      {2022, 1, 1, 6, 1, 52},  {2005, 1, 1, 6, 1, 53},    {2023, 1, 1, 7, 1, 52},
      {2024, 12, 30, 1, 53, 1}, {2020, 12, 31, 4, 53, 53}, {2021, 1, 4, 1, 2, 1},
  };
  for (const Case& c : cases) {
    Cell d = date::make(c.year, c.month, c.day);
    EXPECT_EQ(int_of(date::get_field(&d, date::FIELD_WEEKDAY)), c.weekday) << molded(d);
    EXPECT_EQ(int_of(date::get_field(&d, date::FIELD_WEEK)), c.week) << molded(d);
    EXPECT_EQ(int_of(date::get_field(&d, date::FIELD_ISOWEEK)), c.isoweek) << molded(d);
  }
}

TEST_F(DateTest, SettingFields) {
  Cell d = at(2020, 1, 15, 10, 0, 0, 60);
  Cell none{TYPE_NONE, 0, 0, 0};
  Cell two_hours = tim(2, 0, 0), noon = tim(12, 0, 0), other = date::make(2021, 7, 4);
  struct Case {
    Cell date;
    const char* word;
    Cell value;
    const char* text;
  } cases[] = {
      {date::make(2020, 1, 15), "month", num(13), "15-Jan-2021"},
      {date::make(2020, 1, 15), "month", num(0), "15-Dec-2019"},
      {date::make(2020, 2, 29), "year", num(2021), "1-Mar-2021"},
      {date::make(2020, 1, 1), "day", num(32), "1-Feb-2020"},
      {date::make(2020, 3, 1), "day", num(0), "29-Feb-2020"},
      {d, "zone", num(-5), "15-Jan-2020/10:00:00-05:00"},
      {d, "zone", two_hours, "15-Jan-2020/10:00:00+02:00"},
      {d, "timezone", two_hours, "15-Jan-2020/11:00:00+02:00"},
      {d, "timezone", num(-10), "14-Jan-2020/23:00:00-10:00"},
      {d, "time", none, "15-Jan-2020"},
      {d, "time", noon, "15-Jan-2020/12:00:00+01:00"},
      {date::make(2020, 1, 15), "time", noon, "15-Jan-2020/12:00:00"},
      {d, "hour", num(23), "15-Jan-2020/23:00:00+01:00"},
      {d, "hour", num(25), "16-Jan-2020/1:00:00+01:00"},
      {d, "minute", num(45), "15-Jan-2020/10:45:00+01:00"},
      {d, "second", flt(1.5), "15-Jan-2020/10:00:01.5+01:00"},
      {d, "date", other, "4-Jul-2021/10:00:00+01:00"},
      {d, "weekday", num(7), "19-Jan-2020/10:00:00+01:00"},
      {date::make(2020, 6, 1), "yearday", num(60), "29-Feb-2020"},
      {date::make(2020, 6, 1), "julian", num(1), "1-Jan-2020"},
      {date::make(2024, 6, 1), "week", num(2), "7-Jan-2024"},
      {date::make(2024, 6, 1), "week", num(1), "1-Jan-2024"},
      {date::make(2024, 6, 5), "isoweek", num(1), "3-Jan-2024"},
      {date::make(2021, 6, 5), "isoweek", num(1), "9-Jan-2021"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(molded(path(c.date, word::load(c.word), &c.value)), c.text)
        << c.word << " of " << molded(c.date);
  Cell text_value = flt(1.0);
  EXPECT_EQ(raised([&] { path(d, word::load("year"), &text_value); }), "script/invalid-arg");
  EXPECT_EQ(raised([&] { path(d, word::load("time"), &text_value); }), "script/invalid-arg");
}

TEST_F(DateTest, WritingBackEveryFieldJustReadChangesNothing) {
  for (const Cell& d : {at(2024, 3, 15, 10, 20, 30.5, 120), at(2021, 1, 4, 0, 0, 0, -210),
                        at(2020, 12, 31, 23, 59, 59, 345), date::make(2023, 6, 1)}) {
    for (int32_t field = date::FIELD_DATE; field <= date::kFieldCount; ++field) {
      if (field == date::FIELD_WEEK) continue;   // setting a week moves to its first day
      bool untimed = !date::has_time(date::packed(&d));
      if (untimed && (field == date::FIELD_ZONE || field == date::FIELD_TIMEZONE ||
                      (field >= date::FIELD_HOUR && field <= date::FIELD_SECOND)))
        continue;   // these give a date a time
      Cell value = date::get_field(&d, date::Field(field));
      Cell changed = d;
      date::set_field(&changed, date::Field(field), &value);
      EXPECT_TRUE(same_cell(changed, d)) << molded(d) << " field " << field << " -> "
                                         << molded(changed);
    }
  }
}

}  // namespace
}  // namespace xol
