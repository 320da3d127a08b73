// Small OS services over POSIX and glibc.
#include "platform/os.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <sys/utsname.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace xol::platform {
namespace {

constexpr int32_t kFirstYear = 1900;   // struct tm counts years from here
constexpr int64_t kNanosecondsPerMillisecond = 1000000;
constexpr int64_t kMillisecondsPerSecond = 1000;

}  // namespace

void write_stderr(const char* text, size_t length) {
  while (length > 0) {
    ssize_t written = write(STDERR_FILENO, text, length);
    if (written < 0) {
      if (errno == EINTR) continue;
      return;
    }
    text += written;
    length -= size_t(written);
  }
}

void exit_now(int status) { _exit(status); }

const char* get_env(const char* name) { return getenv(name); }

bool set_env(const char* name, const char* value) {
  return (value ? setenv(name, value, 1) : unsetenv(name)) == 0;
}

const char* const* environment() { return environ; }

KernelName kernel_name() {
  KernelName name = {};
  utsname info;
  if (uname(&info) != 0) return name;
  snprintf(name.release, sizeof name.release, "%s", info.release);
  snprintf(name.machine, sizeof name.machine, "%s", info.machine);
  return name;
}

bool current_dir(char* buffer, size_t size) { return getcwd(buffer, size) != nullptr; }

std::string executable_path() {
  constexpr size_t kMaxPath = 4096;
  char buffer[kMaxPath];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  return length > 0 ? std::string(buffer, size_t(length)) : std::string();
}

bool make_dir(const char* path) { return mkdir(path, 0777) == 0; }

bool path_exists(const char* path) {
  struct stat status;
  return stat(path, &status) == 0;
}

bool set_current_dir(const char* path) { return chdir(path) == 0; }

WallClock now() {
  timespec time;
  clock_gettime(CLOCK_REALTIME, &time);
  return {int64_t(time.tv_sec), int32_t(time.tv_nsec)};
}

CalendarDay today(bool utc) { return calendar_day(int64_t(time(nullptr)), utc); }

CalendarDay calendar_day(int64_t instant, bool utc) {
  time_t seconds = time_t(instant);
  tm fields;
  if (utc) {
    gmtime_r(&seconds, &fields);
  } else {
    // localtime_r, unlike localtime, need not look at TZ again; a changed zone must show.
    tzset();
    localtime_r(&seconds, &fields);
  }
  return {fields.tm_year + kFirstYear, fields.tm_mon + 1, fields.tm_mday,
          utc ? 0 : int32_t(fields.tm_gmtoff)};
}

void sleep_milliseconds(uint32_t milliseconds) {
  timespec wanted{time_t(milliseconds / kMillisecondsPerSecond),
                  long(milliseconds % kMillisecondsPerSecond * kNanosecondsPerMillisecond)};
  timespec left;
  while (nanosleep(&wanted, &left) != 0 && errno == EINTR) wanted = left;
}

}  // namespace xol::platform
