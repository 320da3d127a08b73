// Raw standard output over POSIX write(2), isatty(3) and the SIGPIPE disposition.
#include "platform/terminal.h"

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace xol::platform {

void write_bytes(int fd, const void* bytes, size_t size) {
  const char* next = static_cast<const char*>(bytes);
  while (size > 0) {
    ssize_t written = ::write(fd, next, size);
    if (written <= 0) {
      if (written < 0 && errno == EINTR) continue;
      return;
    }
    next += written;
    size -= static_cast<size_t>(written);
  }
}

bool is_terminal(int fd) { return ::isatty(fd) == 1; }

void ignore_broken_pipe() { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace xol::platform
