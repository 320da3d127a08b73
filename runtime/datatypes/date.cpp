// date!: the packed word, the day-number calendar, zones and normalisation, the path fields,
// block construction, printed form, arithmetic, comparison and the date! actions.
#include "runtime/datatypes/date.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/compound.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/number.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/time.h"
#include "runtime/process/random.h"

namespace xol::date {
namespace {
int32_t yearday(int64_t days);
int32_t field_of_word(const Cell* word);
void to(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);

constexpr int32_t kMonthsPerYear = 12;
constexpr int32_t kDaysPerWeek = 7;
constexpr int32_t kQuartersPerHour = 4;
constexpr int64_t kHoursPerDay = 24;
constexpr int64_t kMinutesPerHour = 60;
// Zone hours live in four bits.
constexpr int32_t kZoneHourLimit = 16;
constexpr double kZoneSecondsLimit = kZoneHourLimit * time::kSecondsPerHour;
// Years of two digits or fewer print with four, so they never read as a day or month.
constexpr int32_t kPaddedYearLimit = 99;
constexpr int32_t kMonthAbbreviation = 3;
// A block whose first integer is above this and above the third is year month day.
constexpr int64_t kLargestDayFirst = 99;
// Room for a day, month, year, the time text and the zone.
constexpr int kTextSize = 128;
char date_text[kTextSize];

constexpr const char* kMonthNames[kMonthsPerYear] = {
    "January", "February", "March", "April", "May", "June", "July", "August", "September",
    "October", "November", "December",
};

// Field words in field order; `julian`, after them, is another name for `yearday`.
constexpr const char* kFieldWords[] = {
    "date", "year", "month", "day", "zone", "time", "hour", "minute", "second", "weekday",
    "yearday", "timezone", "week", "isoweek", "julian",
};
constexpr int32_t kJulianWord = kFieldCount + 1;

// Times of day are computed from local times and zone offsets of up to a day, so they carry
// the rounding noise of a day's seconds however small the time itself: two counts of seconds
// are the same moment within this many units in the last place of a day, or of the larger
// count when that is longer.
constexpr double kMomentTolerance = 10 * DBL_EPSILON;

bool same_moment(double seconds1, double seconds2) {
  double scale = std::fmax(kSecondsPerDay, std::fmax(std::fabs(seconds1), std::fabs(seconds2)));
  return std::fabs(seconds1 - seconds2) <= scale * kMomentTolerance;
}

int64_t floor_div(int64_t a, int64_t b) {
  int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}
int64_t floor_mod(int64_t a, int64_t b) { return a - floor_div(a, b) * b; }

// Day number of 1 January 1970 (to_days(1970, 1, 1)), the epoch of integer conversion.
constexpr int64_t kEpochDays = 719468;

// Signed quarter hours of a zone given in signed minutes: toward zero to a quarter, hours kept
// modulo 16.
int32_t quarters_of_minutes(int64_t minutes) {
  int64_t quarters = std::llabs(minutes) / kMinutesPerZoneQuarter;
  quarters = floor_mod(quarters / kQuartersPerHour, kZoneHourLimit) * kQuartersPerHour +
             quarters % kQuartersPerHour;
  return int32_t(minutes < 0 ? -quarters : quarters);
}

uint32_t zone_bits(int32_t quarters) {
  uint32_t magnitude = uint32_t(std::abs(quarters));
  uint32_t bits = ((magnitude / kQuartersPerHour) & kZoneHourMask) << kZoneHourShift |
                  (magnitude % kQuartersPerHour);
  return quarters < 0 ? bits | kZoneNegative : bits;
}

// The parts of a date while it is being changed: local day number, stored UTC time of day
// relative to it, zone and time flag.
struct Parts {
  int64_t days;
  double utc;
  int32_t zone;   // quarter hours
  bool timed;
};

Parts parts_of(const Cell* date) {
  uint32_t word = packed(date);
  return {to_days(year_of(word), month_of(word), day_of(word)), utc_time(date),
          zone_quarters(word), has_time(word)};
}

// Writes the parts as a normalised date: whole days of local time move into the day number, so
// the local time of day ends in [0, 86400). A date without time keeps neither time nor zone.
void store(Parts parts, Cell* result) {
  if (!parts.timed) {
    parts.utc = 0;
    parts.zone = 0;
  }
  double local = parts.utc + parts.zone * kSecondsPerZoneQuarter;
  if (!std::isfinite(local)) number::raise_type_limit(TYPE_DATE);
  double shift = std::floor(local / kSecondsPerDay);
  // Beyond this many days every year leaves the packed range anyway.
  constexpr double kDayLimit = 1e9;
  if (std::fabs(shift) > kDayLimit) number::raise_type_limit(TYPE_DATE);
  parts.days += int64_t(shift);
  parts.utc -= shift * kSecondsPerDay;
  // A local time a hair below midnight, moved into the day before, rounds to the whole day.
  if (parts.utc + parts.zone * kSecondsPerZoneQuarter >= kSecondsPerDay) {
    ++parts.days;
    parts.utc -= kSecondsPerDay;
  }
  Ymd ymd = from_days(parts.days);
  if (ymd.year < kMinYear || ymd.year > kMaxYear) number::raise_type_limit(TYPE_DATE);
  cell::set_type(result, TYPE_DATE);
  result->data1 = uint32_t(ymd.year) << kYearShift | (parts.timed ? kTimeFlag : 0) |
                  uint32_t(ymd.month) << kMonthShift | uint32_t(ymd.day) << kDayShift |
                  zone_bits(parts.zone);
  result->set_float_value(parts.utc);
}

Cell stored(const Parts& parts) {
  Cell date{TYPE_DATE, 0, 0, 0};
  store(parts, &date);
  return date;
}

// A date from local fields, months and days carrying; with a time, `local` is the local time
// of day and `zone_minutes` the zone.
Cell from_local(int64_t year, int64_t month, int64_t day, bool timed, double local,
                int64_t zone_minutes) {
  int32_t zone = timed ? quarters_of_minutes(zone_minutes) : 0;
  return stored({to_days(year, month, day), local - zone * kSecondsPerZoneQuarter, zone, timed});
}

int64_t year_start(int64_t days) { return to_days(from_days(days).year, 1, 1); }

// The Monday that starts ISO week 1 of a year: the Monday on or before 1 January, or the next
// one when 1 January is a Friday, Saturday or Sunday.
int64_t iso_week_start(int64_t year) {
  int64_t first = to_days(year, 1, 1);
  int32_t day = weekday(first);
  constexpr int32_t kThursday = 4;
  return day <= kThursday ? first - (day - 1) : first + (kDaysPerWeek + 1 - day);
}

// Sunday-based week of the year; week 1 holds 1 January.
int32_t week_of(int64_t days) {
  int64_t first = year_start(days);
  int32_t sunday_offset = int32_t(floor_mod(first + 3, kDaysPerWeek));
  int32_t day = yearday(days);
  if (kDaysPerWeek - sunday_offset < day) return (day + sunday_offset - 1) / kDaysPerWeek + 1;
  return 1;
}

// The year whose ISO weeks hold the day: days before its week 1 belong to the year before,
// days from the next year's week 1 on to the year after.
int64_t iso_year(int64_t days) {
  int64_t year = from_days(days).year;
  if (days < iso_week_start(year)) return year - 1;
  if (days >= iso_week_start(year + 1)) return year + 1;
  return year;
}

int32_t iso_week_of(int64_t days) {
  return int32_t((days - iso_week_start(iso_year(days))) / kDaysPerWeek + 1);
}

// A zone given as a time!: its seconds modulo 16 hours, NaN for an infinite or NaN time.
double zone_time(const Cell* value) { return std::fmod(time::get(value), kZoneSecondsLimit); }

// Zone quarters of a `zone` or `timezone` value: an integer! of hours or a time!.
int32_t zone_of_value(const Cell* value) {
  if (value->is(TYPE_INTEGER))
    return int32_t(integer::get(value) % kZoneHourLimit) * kQuartersPerHour;
  if (value->is(TYPE_TIME)) {
    double seconds = zone_time(value);
    if (std::isnan(seconds)) number::raise_invalid_arg(value);
    return int32_t(std::trunc(seconds / kSecondsPerZoneQuarter));
  }
  number::raise_invalid_arg(value);
}

int32_t integer_argument(const Cell* value) {
  if (!value->is(TYPE_INTEGER)) number::raise_invalid_arg(value);
  return integer::get(value);
}

int32_t field_index(const Cell* element) {
  return element->is(TYPE_INTEGER) ? integer::get(element) : field_of_word(element);
}

bool is_field(int32_t index) { return index >= 1 && index <= kFieldCount; }

// Reads the items of a date block from the front.
struct ItemReader {
  const Cell* items;
  uint32_t count;
  uint32_t at;
  const Cell* spec;

  bool next_is(TypeId type) const { return at < count && items[at].is(type); }
  bool done() const { return at == count; }
  const Cell* take() { return &items[at++]; }
  int64_t take_integer() {
    if (!next_is(TYPE_INTEGER)) number::raise_bad_to_arg(TYPE_DATE, spec);
    return integer::get(take());
  }
};

// The zone of a date block: a time!, or integer! hours and optional minutes; a negative hour
// makes the whole zone negative. Answers signed minutes.
int64_t read_zone(ItemReader& reader) {
  if (reader.next_is(TYPE_TIME)) {
    double seconds = zone_time(reader.take());
    if (std::isnan(seconds)) number::raise_bad_to_arg(TYPE_DATE, reader.spec);
    return int64_t(std::trunc(seconds / time::kSecondsPerMinute));
  }
  int64_t hours = reader.take_integer();
  int64_t minutes = reader.next_is(TYPE_INTEGER) ? integer::get(reader.take()) : 0;
  return hours < 0 ? -(-hours * kMinutesPerHour + std::llabs(minutes))
                   : hours * kMinutesPerHour + minutes;
}

}  // namespace

int32_t zone_quarters(uint32_t word) {
  int32_t quarters = int32_t((word >> kZoneHourShift) & kZoneHourMask) * kQuartersPerHour +
                     int32_t(word & kZoneQuarterMask);
  return word & kZoneNegative ? -quarters : quarters;
}

// ---- the calendar ----

bool leap_year(int32_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int64_t to_days(int64_t year, int64_t month, int64_t day) {
  year += floor_div(month - 1, kMonthsPerYear);
  month = floor_mod(month - 1, kMonthsPerYear) + 1;
  // Years start in March (month index 0), so February and its leap day come last.
  int64_t march_month = (month + 9) % kMonthsPerYear;
  int64_t y = year - march_month / 10;
  return 365 * y + floor_div(y, 4) - floor_div(y, 100) + floor_div(y, 400) +
         (306 * march_month + 5) / 10 + day - 1;
}

Ymd from_days(int64_t days) {
  int64_t y = floor_div(10000 * days + 14780, 3652425);
  auto day_of_year = [&] {
    return days - (365 * y + floor_div(y, 4) - floor_div(y, 100) + floor_div(y, 400));
  };
  int64_t rest = day_of_year();
  if (rest < 0) {
    --y;
    rest = day_of_year();
  }
  int64_t march_month = (100 * rest + 52) / 3060;
  return {y + (march_month + 2) / kMonthsPerYear, int32_t((march_month + 2) % 12 + 1),
          int32_t(rest - (march_month * 306 + 5) / 10 + 1)};
}

int32_t weekday(int64_t days) { return int32_t(floor_mod(days + 2, kDaysPerWeek)) + 1; }

namespace {
// The day of the year, 1 for 1 January.
int32_t yearday(int64_t days) { return int32_t(days - year_start(days)) + 1; }
}  // namespace

// ---- construction ----

Cell make(int32_t year, int32_t month, int32_t day) {
  return from_local(year, month, day, false, 0, 0);
}

Cell make(int32_t year, int32_t month, int32_t day, double local_seconds,
          int32_t zone_minutes) {
  return from_local(year, month, day, true, local_seconds, zone_minutes);
}

Cell from_epoch(int64_t seconds) {
  return stored({kEpochDays + floor_div(seconds, kSecondsPerDay),
                 double(floor_mod(seconds, kSecondsPerDay)), 0, true});
}

int64_t to_epoch(const Cell* date) {
  Parts parts = parts_of(date);
  return (parts.days - kEpochDays) * kSecondsPerDay + int64_t(std::floor(parts.utc + 0.5));
}

namespace {
// The date of a date block (see the date block forms); with `check` the given fields must
// survive normalisation, else script `bad-to-arg`. `spec` is named by the error.
Cell from_items(const Cell* items, uint32_t count, bool check, const Cell* spec) {
  ItemReader reader{items, count, 0, spec};
  int64_t day = reader.take_integer();
  int64_t month = reader.take_integer();
  int64_t year = reader.take_integer();
  if (day > kLargestDayFirst && day > year) std::swap(day, year);

  bool timed = false, zoned = false, hour_minute = false;
  int64_t hour = 0, minute = 0, zone_minutes = 0;
  double local = 0;
  if (reader.next_is(TYPE_TIME)) {
    timed = zoned = true;
    local = time::get(reader.take());
  } else if (reader.next_is(TYPE_INTEGER)) {
    timed = hour_minute = true;
    hour = reader.take_integer();
    double second = 0;
    if (reader.next_is(TYPE_INTEGER)) {
      minute = reader.take_integer();
      if (reader.next_is(TYPE_INTEGER) || reader.next_is(TYPE_FLOAT)) {
        second = floating::to_double(reader.take());
        zoned = true;
      }
    }
    local = hour * time::kSecondsPerHour + minute * time::kSecondsPerMinute + second;
  }
  if (zoned && !reader.done()) zone_minutes = read_zone(reader);
  if (!reader.done()) number::raise_bad_to_arg(TYPE_DATE, spec);

  Cell date = from_local(year, month, day, timed, local, zone_minutes);
  if (check) {
    uint32_t word = packed(&date);
    bool fields_kept = year_of(word) == year && month_of(word) == month && day_of(word) == day;
    bool time_kept = !hour_minute || (hour >= 0 && hour < kHoursPerDay && minute >= 0 &&
                                      minute < kMinutesPerHour);
    if (!fields_kept || !time_kept) number::raise_bad_to_arg(TYPE_DATE, spec);
  }
  return date;
}

// ---- fields ----

int32_t field_of_word(const Cell* word) {
  int32_t index = number::word_index(word, kFieldWords, kJulianWord);
  return index == kJulianWord ? FIELD_YEARDAY : index;
}
}  // namespace

Cell get_field(const Cell* date, Field field) {
  uint32_t word = packed(date);
  Parts parts = parts_of(date);
  double local = local_time(date);
  switch (field) {
    case FIELD_DATE: return make(year_of(word), month_of(word), day_of(word));
    case FIELD_YEAR: return integer::make(year_of(word));
    case FIELD_MONTH: return integer::make(month_of(word));
    case FIELD_DAY: return integer::make(day_of(word));
    case FIELD_ZONE:
    case FIELD_TIMEZONE:
      return parts.timed ? time::make(zone_seconds(word)) : Cell{TYPE_NONE, 0, 0, 0};
    case FIELD_TIME:
      return parts.timed ? time::make(local) : Cell{TYPE_NONE, 0, 0, 0};
    case FIELD_HOUR: return time::get_field(local, time::FIELD_HOUR);
    case FIELD_MINUTE: return time::get_field(local, time::FIELD_MINUTE);
    case FIELD_SECOND: return time::get_field(local, time::FIELD_SECOND);
    case FIELD_WEEKDAY: return integer::make(weekday(parts.days));
    case FIELD_YEARDAY: return integer::make(yearday(parts.days));
    case FIELD_WEEK: return integer::make(week_of(parts.days));
    case FIELD_ISOWEEK: return integer::make(iso_week_of(parts.days));
  }
  return Cell{TYPE_NONE, 0, 0, 0};
}

void set_field(Cell* date, Field field, const Cell* value) {
  uint32_t word = packed(date);
  Parts parts = parts_of(date);
  double zone = parts.zone * kSecondsPerZoneQuarter;
  switch (field) {
    case FIELD_DATE:
      // The other date's day only: this date's time and zone stay, as for the other
      // calendar fields, so writing back the date just read changes nothing.
      if (!value->is(TYPE_DATE)) number::raise_invalid_arg(value);
      parts.days = parts_of(value).days;
      break;
    case FIELD_YEAR:
      parts.days = to_days(integer_argument(value), month_of(word), day_of(word));
      break;
    case FIELD_MONTH:
      parts.days = to_days(year_of(word), integer_argument(value), day_of(word));
      break;
    case FIELD_DAY:
      parts.days = to_days(year_of(word), month_of(word), 0) + integer_argument(value);
      break;
    case FIELD_ZONE:
      parts.zone = zone_of_value(value);
      parts.utc += zone - parts.zone * kSecondsPerZoneQuarter;
      parts.timed = true;
      break;
    case FIELD_TIMEZONE:
      parts.zone = zone_of_value(value);
      parts.timed = true;
      break;
    case FIELD_TIME:
      if (value->is(TYPE_NONE)) {
        parts.timed = false;
      } else {
        if (!value->is(TYPE_TIME)) number::raise_invalid_arg(value);
        parts.utc = time::get(value) - zone;
        parts.timed = true;
      }
      break;
    case FIELD_HOUR:
    case FIELD_MINUTE:
    case FIELD_SECOND: {
      auto time_field = time::Field(field - FIELD_HOUR + time::FIELD_HOUR);
      parts.utc = time::set_field(parts.utc + zone, time_field, value) - zone;
      parts.timed = true;
      break;
    }
    case FIELD_WEEKDAY:
      parts.days += int64_t(integer_argument(value)) - weekday(parts.days);
      break;
    case FIELD_YEARDAY:
      parts.days = year_start(parts.days) + integer_argument(value) - 1;
      break;
    case FIELD_WEEK: {
      int64_t week = integer_argument(value);
      int64_t first = year_start(parts.days);
      parts.days = week > 1 ? first + kDaysPerWeek * week - floor_mod(first + 3, kDaysPerWeek) -
                                  kDaysPerWeek
                            : first;
      break;
    }
    case FIELD_ISOWEEK: {
      int64_t week = integer_argument(value);
      // Counted in the date's own ISO year, so a week written back as read keeps the date.
      parts.days = iso_week_start(iso_year(parts.days)) + (week - 1) * kDaysPerWeek +
                   weekday(parts.days) - 1;
      break;
    }
  }
  store(parts, date);
}

// ---- arithmetic ----

void add_days(const Cell* date, int64_t days, Cell* result) {
  Parts parts = parts_of(date);
  parts.days += days;
  store(parts, result);
}

void add_seconds(const Cell* date, double seconds, Cell* result) {
  Parts parts = parts_of(date);
  parts.utc += seconds;
  parts.timed = true;
  store(parts, result);
}

namespace {
// The whole days from the local time of `date2` to that of `date1` (floor).
int64_t difference_days(const Cell* date1, const Cell* date2) {
  Parts a = parts_of(date1), b = parts_of(date2);
  // Counted between the local times, so a zoned time minus its own day (a date without time
  // is midnight) is 0 days, not -1 just after midnight east of UTC.
  double seconds = double(a.days - b.days) * kSecondsPerDay + (a.utc - b.utc) +
                   (a.zone - b.zone) * kSecondsPerZoneQuarter;
  double days = std::floor(seconds / kSecondsPerDay);
  // A difference a hair below a whole number of days is that number of days.
  if (same_moment(seconds, (days + 1) * kSecondsPerDay)) ++days;
  return int64_t(days);
}

// ---- printed form ----

// Appends the printed form; answers the part limit less the characters written.
int32_t to_text(const Cell* date, Cell* buffer, int32_t part) {
  uint32_t word = packed(date);
  Ymd ymd{year_of(word), month_of(word), day_of(word)};
  double local = time::printed_seconds(local_time(date));
  // A time of day that prints as a whole day more, 23:59:59.9999999 say, is midnight of the
  // next day: "24:00:00" would not read back.
  if (has_time(word) && local >= kSecondsPerDay) {
    ymd = from_days(to_days(ymd.year, ymd.month, ymd.day) + 1);
    local -= kSecondsPerDay;
  }
  int32_t year = int32_t(ymd.year);
  char separator = year < 0 ? '/' : '-';
  int32_t magnitude = std::abs(year);
  int length = std::snprintf(date_text, kTextSize, "%d%c%.*s%c%s%0*d", ymd.day, separator,
                             kMonthAbbreviation, kMonthNames[ymd.month - 1], separator,
                             year < 0 ? "-" : "", magnitude <= kPaddedYearLimit ? 4 : 1,
                             magnitude);
  if (has_time(word)) {
    length += std::snprintf(date_text + length, kTextSize - length, "/%s", time::text_of(local));
    int32_t zone = zone_quarters(word);
    if (zone != 0) {
      int32_t quarters = std::abs(zone);
      std::snprintf(date_text + length, kTextSize - length, "%c%02d:%02d", zone < 0 ? '-' : '+',
                    quarters / kQuartersPerHour,
                    quarters % kQuartersPerHour * kMinutesPerZoneQuarter);
    }
  }
  return text::append_counted(buffer, date_text, part);
}
}  // namespace

// ---- actions ----

void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result) {
  if (spec->is(TYPE_BLOCK) || spec->is(TYPE_PAREN) || spec->is(TYPE_HASH)) {
    *result = from_items(block::head(spec), block::length(spec), true, spec);
    return;
  }
  to(prototype, spec, type, result);
}

namespace {
void to(const Cell*, const Cell* spec, TypeId, Cell* result) {
  switch (spec->type()) {
    case TYPE_DATE:
      copy_cell(spec, result);
      return;
    case TYPE_INTEGER:
      *result = from_epoch(integer::get(spec));
      return;
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH:
      *result = from_items(block::head(spec), block::length(spec), false, spec);
      return;
    default:
      number::raise_bad_to_arg(TYPE_DATE, spec);
  }
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
  return to_text(value, buffer, part);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell*, int32_t part,
             int32_t) {
  return to_text(value, buffer, part);
}

void eval_path(const PathStep& step, Cell* result) {
  int32_t index = field_index(step.element);
  if (!is_field(index)) number::raise_invalid_path(step);
  if (!step.value) {
    *result = get_field(step.parent, Field(index));
    return;
  }
  Cell old = *step.parent;
  set_field(step.parent, Field(index), step.value);
  compound::notify_path_set(step, old);
  copy_cell(step.value, result);
}

void pick(Cell* value, int32_t, const Cell* index_cell, Cell* result) {
  int32_t index = field_index(index_cell);
  if (!is_field(index)) number::raise_out_of_range(index_cell);
  *result = get_field(value, Field(index));
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  if (!value2->is(TYPE_DATE)) return kNotComparable;
  if (op == COMP_SAME) {
    bool same = packed(value1) == packed(value2) &&
                floating::compare_doubles(utc_time(value1), utc_time(value2), COMP_SAME) == 0;
    return same ? 0 : 1;
  }
  // As instants: the first time counted from the second date's day.
  Parts a = parts_of(value1), b = parts_of(value2);
  double first = double(a.days - b.days) * kSecondsPerDay + a.utc;
  if (number::is_ordering_op(op)) return number::three_way(first, b.utc);
  return same_moment(first, b.utc) ? 0 : 1;
}

void add(Cell* value1, Cell* value2, Cell* result) {
  switch (value2->type()) {
    case TYPE_INTEGER:
      add_days(value1, integer::get(value2), result);
      return;
    case TYPE_TIME:
      add_seconds(value1, time::get(value2), result);
      return;
    case TYPE_DATE:
      number::raise_not_related(ACT_ADD, TYPE_DATE);
    default:
      number::raise_invalid_type(value2);
  }
}

void subtract(Cell* value1, Cell* value2, Cell* result) {
  switch (value2->type()) {
    case TYPE_INTEGER:
      add_days(value1, -int64_t(integer::get(value2)), result);
      return;
    case TYPE_TIME:
      add_seconds(value1, -time::get(value2), result);
      return;
    case TYPE_DATE:
      integer::make_at(result, int32_t(difference_days(value1, value2)));
      return;
    default:
      number::raise_invalid_type(value2);
  }
}

// random: /seed seeds the generator with the packed word plus the whole seconds of the time.
// Otherwise the day number d becomes a uniform 1..d, less one. A date with a time also gets a
// random zone (any 7 zone bits) and a random local time of day: a draw x scaled to 0..3600
// stands for the fraction x / 3600 of the day, so the time is a multiple of 24 seconds.
void random(Cell* value, bool seed, bool secure, bool, Cell* result) {
  if (seed) {
    xol::random::seed(packed(value) + uint32_t(int64_t(utc_time(value))));
    cell::set_unset(result);
    return;
  }
  Parts parts = parts_of(value);
  parts.days = xol::random::integer(secure, int32_t(parts.days)) - 1;
  if (parts.timed) {
    parts.zone = zone_quarters(uint32_t(xol::random::draw(secure)) & kZoneMask);
    double x = xol::random::scale(time::kSecondsPerHour, secure);
    double local = std::floor(x) * kHoursPerDay;
    parts.utc = local - parts.zone * kSecondsPerZoneQuarter;
  }
  store(parts, result);
}
}  // namespace

void init() {
  using actions::own;
  datatype::register_type(TYPE_DATE, 0, "date!",
                          actions::ActionList()
                              .own(own<ACT_MAKE>(make))
                              .own(own<ACT_RANDOM>(random))
                              .own(own<ACT_TO>(to))
                              .own(own<ACT_FORM>(form))
                              .own(own<ACT_MOLD>(mold))
                              .own(own<ACT_EVAL_PATH>(eval_path))
                              .own(own<ACT_COMPARE>(compare))
                              .own(own<ACT_ADD>(add))
                              .own(own<ACT_SUBTRACT>(subtract))
                              .own(own<ACT_PICK>(pick)));
}

}  // namespace xol::date
