// Reading a whole file with POSIX calls, retrying interrupted and partial reads.
#include "platform/read_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace xol::platform {
namespace {

// Bytes read at a time when the file's size is not known in advance (a pipe, /proc).
constexpr size_t kReadStep = 65536;

}  // namespace

bool read_file(const char* path, std::string* contents) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    return false;
  }
  contents->clear();
  contents->reserve(info.st_size > 0 ? size_t(info.st_size) : kReadStep);
  size_t used = 0;
  for (;;) {
    if (contents->size() - used < kReadStep) contents->resize(used + kReadStep);
    const ssize_t count = ::read(fd, contents->data() + used, contents->size() - used);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      ::close(fd);
      contents->resize(used);
      return count == 0;
    }
    used += size_t(count);
  }
}

}  // namespace xol::platform
