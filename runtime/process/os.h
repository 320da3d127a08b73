// The runtime's small OS services: environment, current directory, clock, calendar, sleeping.
//
// These keep the units and encodings that the natives and datatypes above rely on: a date is one
// packed 32-bit word, the time of day is seconds since midnight UTC as a double, a sleep lasts at
// least a millisecond, and an environment lookup first answers the size it needs. Text is UTF-8.
// The OS calls themselves are in platform/os.h.
#pragma once

#include <cstdint>

namespace xol::os {

// The packed date: bits 17-31 year, 12-16 month, 7-11 day, 0-6 time zone. The zone is a sign
// flag (bit 6, west of UTC), the hours of the offset in bits 2-5 and its quarter hours in 0-1.
constexpr uint32_t kDateYearShift = 17;
constexpr uint32_t kDateMonthShift = 12;
constexpr uint32_t kDateDayShift = 7;
constexpr uint32_t kZoneMask = 0x7F;
constexpr uint32_t kZoneSign = 0x40;
constexpr uint32_t kZoneHoursShift = 2;
constexpr uint32_t kZoneHoursMask = 0xF;
constexpr uint32_t kZoneQuartersMask = 0x3;

// The zone field for an offset from UTC in minutes (east positive); minutes are cut to quarters.
uint32_t zone_bits(int32_t offset_minutes);
uint32_t pack_date(int32_t year, int32_t month, int32_t day, uint32_t zone);
// Today as a packed date, in UTC (zone 0) or in local time with the local zone.
uint32_t now_date(bool utc);
// Seconds since midnight UTC; whole seconds unless `precise`.
double now_time(bool precise);

// The current moment from one reading of the clock, so that a day cannot change between the
// date and the time: the calendar day (local with its offset, or UTC) and the time of day on
// that day's clock in seconds, whole unless `precise`.
struct Moment {
  int32_t year, month, day;
  int32_t utc_offset;     // seconds east of UTC; 0 for UTC
  double seconds;
};
Moment now(bool utc, bool precise);

// The current directory as a new zero-terminated block of the tracked heap (the caller frees it),
// its length in bytes without the terminator stored in `length`; nullptr when it cannot be read.
char* current_dir(int32_t* length);

// Sets a variable; a null value removes it. False when the OS refuses.
bool set_env(const char* name, const char* value);
// Copies the variable's value into `buffer` when it fits with its terminator and answers its
// length; otherwise answers the size needed, terminator included. 0 when the variable is not set,
// so a first call with no buffer tells an empty variable (1) from a missing one (0).
int32_t get_env(const char* name, char* buffer, int32_t size);

// The milliseconds that a sleep of `seconds` lasts: at least 1, at most kMaxSleepMilliseconds,
// truncated; NaN sleeps 1.
constexpr uint32_t kMaxSleepMilliseconds = 0x7FFFFFFF;
uint32_t sleep_duration(double seconds);

}  // namespace xol::os

namespace xol::rt {

// Sleeps `seconds` (see os::sleep_duration), answering the pending requests as it goes: a halt
// ends the sleep, a resize does not.
void sleep(double seconds);

}  // namespace xol::rt
