// The runtime's small OS services, in the runtime's units and encodings.
//
// The zone field is sign and magnitude: the sign comes from the offset itself and the hours and
// quarters from its absolute value, so an offset such as -0:30 keeps its sign and -3:45 keeps its
// three quarters, which a split of the signed offset into hours and a remainder would lose.
#include "runtime/process/os.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>

#include "platform/os.h"
#include "runtime/process/process.h"
#include "runtime/process/tracked_heap.h"

namespace xol::os {
namespace {

constexpr int32_t kMinutesPerHour = 60;
constexpr int32_t kMinutesPerQuarter = 15;
constexpr int32_t kSecondsPerMinute = 60;
constexpr int64_t kSecondsPerDay = 86400;
constexpr double kNanosecondsPerSecond = 1e9;
constexpr double kMillisecondsPerSecond = 1000.0;
// First try for the current directory; the buffer doubles while the path does not fit, up to
// the limit (Linux itself sets none).
constexpr size_t kFirstDirSize = 256;
constexpr size_t kMaxDirSize = size_t(1) << 20;

}  // namespace

uint32_t zone_bits(int32_t offset_minutes) {
  uint32_t magnitude = offset_minutes < 0 ? uint32_t(-int64_t(offset_minutes)) : offset_minutes;
  uint32_t hours = (magnitude / kMinutesPerHour) & kZoneHoursMask;
  uint32_t quarters = (magnitude % kMinutesPerHour / kMinutesPerQuarter) & kZoneQuartersMask;
  uint32_t sign = offset_minutes < 0 ? kZoneSign : 0;
  return sign | hours << kZoneHoursShift | quarters;
}

uint32_t pack_date(int32_t year, int32_t month, int32_t day, uint32_t zone) {
  return uint32_t(year) << kDateYearShift | uint32_t(month) << kDateMonthShift |
         uint32_t(day) << kDateDayShift | (zone & kZoneMask);
}

uint32_t now_date(bool utc) {
  platform::CalendarDay today = platform::today(utc);
  uint32_t zone = utc ? 0 : zone_bits(today.utc_offset / kSecondsPerMinute);
  return pack_date(today.year, today.month, today.day, zone);
}

double now_time(bool precise) {
  platform::WallClock clock = platform::now();
  double seconds = double(clock.seconds % kSecondsPerDay);
  return precise ? seconds + clock.nanoseconds / kNanosecondsPerSecond : seconds;
}

Moment now(bool utc, bool precise) {
  const platform::WallClock clock = platform::now();
  const platform::CalendarDay day = platform::calendar_day(clock.seconds, utc);
  const int64_t local = clock.seconds + day.utc_offset;
  double seconds = double((local % kSecondsPerDay + kSecondsPerDay) % kSecondsPerDay);
  if (precise) seconds += clock.nanoseconds / kNanosecondsPerSecond;
  return {day.year, day.month, day.day, day.utc_offset, seconds};
}

char* current_dir(int32_t* length) {
  for (size_t size = kFirstDirSize; size <= kMaxDirSize; size *= 2) {
    auto* buffer = static_cast<char*>(rt::allocate(size));
    if (platform::current_dir(buffer, size)) {
      *length = int32_t(strlen(buffer));
      return buffer;
    }
    rt::free(buffer);
  }
  *length = 0;
  return nullptr;
}

bool set_env(const char* name, const char* value) { return platform::set_env(name, value); }

int32_t get_env(const char* name, char* buffer, int32_t size) {
  const char* value = platform::get_env(name);
  if (!value) return 0;
  size_t length = strlen(value);
  if (!buffer || size < 0 || length >= size_t(size)) return int32_t(length + 1);
  memcpy(buffer, value, length + 1);
  return int32_t(length);
}

uint32_t sleep_duration(double seconds) {
  double milliseconds = seconds * kMillisecondsPerSecond;
  if (!(milliseconds >= 1.0)) return 1;
  if (milliseconds >= double(kMaxSleepMilliseconds)) return kMaxSleepMilliseconds;
  return uint32_t(milliseconds);
}

}  // namespace xol::os

namespace xol::rt {

namespace {
// A sleep answers the interrupt key and the other requests this often: the signal may land on
// another thread, where it cannot cut the sleep short.
constexpr int64_t kSleepSliceMilliseconds = 50;
}  // namespace

void sleep(double seconds) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(os::sleep_duration(seconds));
  for (;;) {
    const int64_t left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return;
    platform::sleep_milliseconds(uint32_t(std::min(left, kSleepSliceMilliseconds)));
    if (pending_requests) answer_requests();
  }
}

}  // namespace xol::rt
