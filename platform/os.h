// Small OS services: standard error, process exit, environment, current directory, clock,
// calendar and sleeping.
//
// Narrow wrappers over POSIX and glibc, in the shapes the runtime's own services need (those
// keep the runtime's units and encodings, see runtime/process/os.h). Text is UTF-8, as on every Linux
// interface. `write_stderr` and `exit_now` are async-signal-safe: the fault handler uses them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace xol::platform {

// Writes all of `text` to the standard error stream, retrying partial writes.
void write_stderr(const char* text, size_t length);
// Ends the process at once: no exit handlers, no stream flushing.
[[noreturn]] void exit_now(int status);

// The value of an environment variable, or nullptr when it is not set.
const char* get_env(const char* name);
// Sets the variable, or removes it when `value` is null; false when the OS refuses.
bool set_env(const char* name, const char* value);
// The environment: "NAME=value" entries, ended by a null pointer.
const char* const* environment();

// The kernel's release ("6.1.0-18-amd64") and machine ("x86_64"), from uname(2); empty texts
// when it fails.
struct KernelName {
  char release[65];
  char machine[65];
};
KernelName kernel_name();

// Writes the current directory, zero-terminated, into `buffer`; false when it does not fit or
// cannot be read.
bool current_dir(char* buffer, size_t size);
bool set_current_dir(const char* path);
// The path of the running executable, or an empty text when the OS does not tell it.
std::string executable_path();
// Creates one directory (mode 0777 before the umask); false when the OS refuses.
bool make_dir(const char* path);
// True when something exists at the path (a dangling symbolic link counts as absent).
bool path_exists(const char* path);

struct WallClock {
  int64_t seconds;        // since 1970-01-01 UTC
  int32_t nanoseconds;
};
WallClock now();

struct CalendarDay {
  int32_t year;
  int32_t month;          // 1-12
  int32_t day;            // 1-31
  int32_t utc_offset;     // seconds east of UTC, daylight saving time included
};
// Today in UTC, or in the local time zone as the TZ variable currently names it.
CalendarDay today(bool utc);
// The day of the instant `seconds` after 1970-01-01 UTC, in UTC or in the local time zone.
CalendarDay calendar_day(int64_t seconds, bool utc);

// Sleeps `milliseconds`, resuming after interruptions until the whole time has passed.
void sleep_milliseconds(uint32_t milliseconds);

}  // namespace xol::platform
