// Raw standard output over POSIX write(2), isatty(3) and the SIGPIPE disposition.
#include "platform/terminal.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

#include "platform/signals.h"

namespace xol::platform {

int write_bytes(int fd, const void* bytes, size_t size) {
  const char* next = static_cast<const char*>(bytes);
  while (size > 0) {
    ssize_t written = ::write(fd, next, size);
    if (written <= 0) {
      if (written < 0 && errno == EINTR) continue;
      return written < 0 ? errno : EIO;
    }
    next += written;
    size -= static_cast<size_t>(written);
  }
  return 0;
}

bool is_broken_pipe(int error) { return error == EPIPE; }

int broken_pipe_status() { return kSignalledStatusBase + SIGPIPE; }

int interrupt_status() { return kSignalledStatusBase + SIGINT; }

const char* error_text(int error) { return strerror(error); }

bool is_terminal(int fd) { return ::isatty(fd) == 1; }

void ignore_broken_pipe() { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace xol::platform
