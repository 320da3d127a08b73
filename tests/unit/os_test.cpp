// The small OS services: the packed date and its zone, the clock, sleeping, the current
// directory and the environment.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <thread>

#include "platform/os.h"
#include "runtime/process/os.h"
#include "runtime/process/process.h"
#include "runtime/process/tracked_heap.h"

namespace xol::os {
namespace {

uint32_t zone_of(uint32_t date) { return date & kZoneMask; }

// ---- the packed date ----

TEST(OsZone, SignAndMagnitudeOfTheOffset) {
  struct Case {
    int32_t offset_minutes;
    uint32_t zone;
  };
  const Case cases[] = {
      {0, 0},
      {60, 4},                            // +1:00
      {330, (5 << 2) | 2},                // +5:30 = 22
      {345, (5 << 2) | 3},                // +5:45 = 23
      {-300, kZoneSign | (5 << 2)},       // -5:00 = 84
      {-210, kZoneSign | (3 << 2) | 2},   // -3:30 = 78
      {-225, kZoneSign | (3 << 2) | 3},   // -3:45 keeps its three quarters
      {-30, kZoneSign | 2},               // -0:30 keeps its sign
      {14 * 60, 14 << 2},                 // +14:00, the easternmost zone
      {-(12 * 60), kZoneSign | (12 << 2)},
      {337, (5 << 2) | 2},                // 37 minutes are two whole quarters
  };
  for (const Case& c : cases) EXPECT_EQ(zone_bits(c.offset_minutes), c.zone) << c.offset_minutes;
}

TEST(OsDate, PacksYearMonthDayAndZone) {
  EXPECT_EQ(pack_date(2024, 2, 29, 0), 265301632u);
  EXPECT_EQ(pack_date(2024, 2, 29, 22), 265301632u | 22u);
  EXPECT_EQ(pack_date(2024, 12, 31, 0x7F) >> kDateYearShift, 2024u);
}

TEST(OsDate, TodayInUtcHasNoZone) {
  uint32_t date = now_date(true);
  EXPECT_EQ(zone_of(date), 0u);
  EXPECT_GE(date >> kDateYearShift, 2024u);
  uint32_t month = date >> kDateMonthShift & 0x1F, day = date >> kDateDayShift & 0x1F;
  EXPECT_TRUE(month >= 1 && month <= 12) << month;
  EXPECT_TRUE(day >= 1 && day <= 31) << day;
}

// Runs with the time zone named by TZ, restoring the caller's afterwards.
class OsLocalZone : public testing::Test {
 protected:
  void SetUp() override {
    const char* tz = platform::get_env("TZ");
    had_tz_ = tz != nullptr;
    if (had_tz_) saved_tz_ = tz;
  }
  void TearDown() override { set_env("TZ", had_tz_ ? saved_tz_.c_str() : nullptr); }

 private:
  bool had_tz_ = false;
  std::string saved_tz_;
};

TEST_F(OsLocalZone, TheZoneFieldFollowsTheLocalOffset) {
  struct Case {
    const char* tz;   // POSIX form: the offset is west of UTC
    uint32_t zone;
  };
  const Case cases[] = {
      {"UTC0", 0},     {"IST-5:30", 22},       {"NPT-5:45", 23},
      {"CET-1", 4},    {"EST5", 84},           {"<-0330>3:30", 78},
      {"<-0030>0:30", kZoneSign | 2},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(set_env("TZ", c.tz));
    EXPECT_EQ(zone_of(now_date(false)), c.zone) << c.tz;
    EXPECT_EQ(zone_of(now_date(true)), 0u) << c.tz;
  }
}

// The local moment is the UTC one moved by the zone's offset, the time of day taken on the
// local day's clock (a zone far east or west of UTC often lies on another day).
TEST_F(OsLocalZone, TheLocalMomentIsTheUtcMomentMovedByTheOffset) {
  const struct {
    const char* tz;
    int32_t offset;
  } cases[] = {{"LINT-14", 14 * 3600}, {"XST-5:30", 19800}, {"BIT12", -12 * 3600}};
  for (const auto& c : cases) {
    ASSERT_TRUE(set_env("TZ", c.tz));
    const Moment utc = now(true, false);
    const Moment local = now(false, false);
    EXPECT_EQ(utc.utc_offset, 0);
    EXPECT_EQ(local.utc_offset, c.offset) << c.tz;
    EXPECT_EQ(local.seconds, std::floor(local.seconds));
    EXPECT_GE(local.seconds, 0.0);
    EXPECT_LT(local.seconds, 86400.0);
    double gap = std::fmod(local.seconds - c.offset - utc.seconds + 2 * 86400.0, 86400.0);
    EXPECT_TRUE(gap <= 1.0 || gap >= 86399.0) << c.tz << " " << gap;
    const int64_t utc_day = int64_t(utc.year) * 10000 + utc.month * 100 + utc.day;
    const int64_t local_day = int64_t(local.year) * 10000 + local.month * 100 + local.day;
    // Within a second of midnight the two readings may straddle it; the days then agree with
    // the later reading, so only a day before or after can differ from the UTC one.
    if (local.seconds - c.offset >= 0 && local.seconds - c.offset < 86400)
      EXPECT_EQ(local_day, utc_day) << c.tz;
    else
      EXPECT_NE(local_day, utc_day) << c.tz;
  }
}

// ---- clock and sleep ----

TEST(OsClock, SecondsSinceMidnight) {
  double whole = now_time(false);
  EXPECT_EQ(whole, std::floor(whole));
  EXPECT_GE(whole, 0.0);
  EXPECT_LT(whole, 86400.0);
  double precise = now_time(true);
  EXPECT_GE(precise, 0.0);
  EXPECT_LT(precise, 86400.0);
}

TEST(OsSleep, DurationIsAtLeastOneMillisecondAndBounded) {
  struct Case {
    double seconds;
    uint32_t milliseconds;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {0.0, 1},    {0.0001, 1},  {0.0015, 1},  {0.0025, 2},
      {1.5, 1500}, {-3.0, 1},    {nan, 1},     {-inf, 1},
      {1e12, kMaxSleepMilliseconds}, {inf, kMaxSleepMilliseconds},
  };
  for (const Case& c : cases) EXPECT_EQ(sleep_duration(c.seconds), c.milliseconds) << c.seconds;
}

TEST(OsSleep, SleepsAtLeastTheTimeAsked) {
  auto start = std::chrono::steady_clock::now();
  rt::sleep(0.02);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
}

// A request made from another thread, as a signal handler makes it, is answered within a slice
// of the sleep: a halt ends the sleep, a resize is answered and the sleep goes on.
TEST(OsSleep, AnswersRequestsAsItGoes) {
  static int resizes;
  resizes = 0;
  rt::resize_handler = [] { ++resizes; };
  const auto start = std::chrono::steady_clock::now();
  std::thread resize([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    rt::request(rt::kResizeRequest);
  });
  rt::sleep(0.2);
  resize.join();
  EXPECT_EQ(resizes, 1);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  rt::resize_handler = nullptr;

  std::thread halt([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    rt::request(rt::kHaltRequest);
  });
  const auto halted_at = std::chrono::steady_clock::now();
  uint32_t code = 0;
  try {
    rt::sleep(600);
  } catch (const rt::Thrown& thrown) {
    code = thrown.code;
  }
  halt.join();
  EXPECT_EQ(code, rt::THROWN_NORMAL_END);
  EXPECT_LT(std::chrono::steady_clock::now() - halted_at, std::chrono::seconds(10));
  EXPECT_EQ(rt::pending_requests.load(), 0);
}

// ---- current directory ----

class OsCurrentDir : public testing::Test {
 protected:
  void SetUp() override { saved_ = std::filesystem::current_path(); }
  void TearDown() override { std::filesystem::current_path(saved_); }

  // The current directory as the runtime reads it, with its length checked.
  static std::string read() {
    int32_t length = -1;
    char* dir = current_dir(&length);
    EXPECT_NE(dir, nullptr);
    if (!dir) return {};
    std::string text(dir);
    EXPECT_EQ(size_t(length), text.size());
    rt::free(dir);
    return text;
  }

  std::filesystem::path saved_;
};

TEST_F(OsCurrentDir, RoundTrip) {
  EXPECT_EQ(read(), saved_.string());
  auto temp = std::filesystem::canonical(std::filesystem::temp_directory_path());
  // A path longer than the first buffer that current_dir tries.
  const std::string segment(100, 'd');
  auto top = temp / "xol-os-test";
  auto deep = top / segment / segment / segment;
  std::filesystem::create_directories(deep);
  ASSERT_TRUE(platform::set_current_dir(deep.c_str()));
  EXPECT_EQ(read(), deep.string());
  ASSERT_TRUE(platform::set_current_dir(saved_.c_str()));
  EXPECT_EQ(read(), saved_.string());
  std::filesystem::remove_all(top);
}

TEST_F(OsCurrentDir, RefusedChangeKeepsTheDirectory) {
  EXPECT_FALSE(platform::set_current_dir("/nonexistent/xol-os-test"));
  EXPECT_EQ(read(), saved_.string());
}

// ---- environment ----

TEST(OsEnv, RoundTrip) {
  const char* name = "XOL_OS_TEST_VARIABLE";
  const char* values[] = {"plain", "välue with ünicode", "a=b;c", ""};
  for (const char* value : values) {
    ASSERT_TRUE(set_env(name, value));
    const int32_t length = int32_t(strlen(value));
    EXPECT_EQ(get_env(name, nullptr, 0), length + 1) << value;   // the size pass
    char buffer[64];
    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(get_env(name, buffer, length + 1), length) << value;
    EXPECT_STREQ(buffer, value);
    if (length > 0) {
      EXPECT_EQ(get_env(name, buffer, length), length + 1) << value;   // too small
    }
  }
  ASSERT_TRUE(set_env(name, nullptr));
  EXPECT_EQ(get_env(name, nullptr, 0), 0);
  char buffer[8];
  EXPECT_EQ(get_env(name, buffer, sizeof buffer), 0);
}

}  // namespace
}  // namespace xol::os
