// date!: a calendar date with an optional time of day and time zone, and the calendar.
//
// Cell: header type 47; payload word 1 the packed date; words 2-3 the time as a double. The
// packed word holds the local year (signed), month and day, a time flag (set when the date
// carries a time and a zone) and the zone in quarter hours. The double is the UTC time of day
// counted from the start of the local day, so the local time of day is the double plus the
// zone offset, and after normalisation that sum lies in [0, 86400).
//
// The calendar is the proleptic Gregorian one, by day numbers: day 0 is 1 March of the year 0,
// so the leap day ends a year and the month lengths follow a simple line. Every division in it
// is a floor division, which keeps years before 0 right.
//
// Two dates compare as instants (day number × 86400 + UTC time), so the same moment in two
// zones is equal. `same?` alone looks at the representation.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"

namespace xol::date {

constexpr int32_t kSecondsPerDay = 86400;
constexpr int32_t kMinutesPerZoneQuarter = 15;
constexpr double kSecondsPerZoneQuarter = 900.0;

// ---- the packed word ----
constexpr int kYearShift = 17;
constexpr uint32_t kTimeFlag = 1u << 16;
constexpr int kMonthShift = 12;
constexpr uint32_t kMonthMask = 0xF;
constexpr int kDayShift = 7;
constexpr uint32_t kDayMask = 0x1F;
constexpr uint32_t kZoneNegative = 1u << 6;
constexpr int kZoneHourShift = 2;
constexpr uint32_t kZoneHourMask = 0xF;
constexpr uint32_t kZoneQuarterMask = 0x3;
constexpr uint32_t kZoneMask = 0x7F;
constexpr int32_t kMinYear = -(1 << 14);
constexpr int32_t kMaxYear = (1 << 14) - 1;

inline int32_t year_of(uint32_t packed) { return int32_t(packed) >> kYearShift; }
inline int32_t month_of(uint32_t packed) { return (packed >> kMonthShift) & kMonthMask; }
inline int32_t day_of(uint32_t packed) { return (packed >> kDayShift) & kDayMask; }
inline bool has_time(uint32_t packed) { return packed & kTimeFlag; }
// The zone offset in signed quarter hours; the sign covers hours and quarters together.
int32_t zone_quarters(uint32_t packed);
// The zone offset in seconds.
inline double zone_seconds(uint32_t packed) {
  return zone_quarters(packed) * kSecondsPerZoneQuarter;
}

inline uint32_t packed(const Cell* date) { return date->data1; }
inline double utc_time(const Cell* date) { return date->float_value(); }
// The local time of day: the stored time plus the zone offset.
inline double local_time(const Cell* date) {
  return utc_time(date) + zone_seconds(packed(date));
}

// ---- the calendar ----
bool leap_year(int32_t year);
// Day number of a date; months and days outside their ranges carry.
int64_t to_days(int64_t year, int64_t month, int64_t day);
struct Ymd {
  int64_t year;
  int32_t month, day;
};
Ymd from_days(int64_t days);
// 1 for Monday to 7 for Sunday.
int32_t weekday(int64_t days);

// ---- construction ----

// A date without time.
Cell make(int32_t year, int32_t month, int32_t day);
// A date with a local time of day and a zone offset in signed minutes (rounded toward zero to
// quarter hours); the date is normalised, so times beyond the day carry into the date.
Cell make(int32_t year, int32_t month, int32_t day, double local_seconds, int32_t zone_minutes);
// The date `seconds` after 1970-01-01 00:00 UTC, zone 0, with time.
Cell from_epoch(int64_t seconds);
// The seconds since 1970-01-01 00:00 UTC, rounded to the nearest second.
int64_t to_epoch(const Cell* date);

// ---- fields ----
enum Field : int32_t {
  FIELD_DATE = 1, FIELD_YEAR, FIELD_MONTH, FIELD_DAY, FIELD_ZONE, FIELD_TIME, FIELD_HOUR,
  FIELD_MINUTE, FIELD_SECOND, FIELD_WEEKDAY, FIELD_YEARDAY, FIELD_TIMEZONE, FIELD_WEEK,
  FIELD_ISOWEEK,
};
constexpr int32_t kFieldCount = 14;
// The field named by a word (`julian` is `yearday`), any letter case, or 0.
Cell get_field(const Cell* date, Field field);
// Writes a field into the date in place; a value of the wrong type raises script
// `invalid-arg`.
void set_field(Cell* date, Field field, const Cell* value);

// ---- arithmetic ----
// The date plus a number of days or a time!, normalised in the date's zone.
void add_days(const Cell* date, int64_t days, Cell* result);
void add_seconds(const Cell* date, double seconds, Cell* result);

// ---- actions ----
void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);

// Registers date! (id 47).
void init();

}  // namespace xol::date
