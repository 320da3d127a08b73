// Files and folders over POSIX calls (see files.h).
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace xol::platform {
namespace {

// Bytes asked of the OS at a time when reading a file of unknown size.
constexpr size_t kReadStep = 65536;
// New files: read and write for all, less the umask.
constexpr mode_t kNewFileMode = 0666;

constexpr int kOpenFlags[] = {
    O_RDONLY,                          // READ
    O_WRONLY | O_CREAT | O_TRUNC,      // WRITE
    O_WRONLY | O_CREAT,                // WRITE_KEEP
    O_WRONLY | O_CREAT | O_APPEND,     // APPEND
};

}  // namespace

int open_file(const char* path, OpenMode mode) {
  int fd;
  do {
    fd = ::open(path, kOpenFlags[int(mode)] | O_CLOEXEC, kNewFileMode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0 || mode != OpenMode::READ) return fd;
  // Linux opens a folder for reading; a file read must refuse it.
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

void close_file(int fd) { ::close(fd); }

int64_t regular_file_size(int fd) {
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  return int64_t(info.st_size);
}

bool seek_file(int fd, int64_t offset) { return ::lseek(fd, off_t(offset), SEEK_SET) >= 0; }

int64_t read_data(int fd, void* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(fd, static_cast<char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += size_t(n);
  }
  return int64_t(done);
}

bool read_rest(int fd, std::string* contents, int64_t limit) {
  for (int64_t left = limit; left > 0;) {
    const size_t step = size_t(std::min<int64_t>(left, kReadStep));
    const size_t used = contents->size();
    contents->resize(used + step);
    const int64_t n = read_data(fd, contents->data() + used, step);
    contents->resize(used + size_t(std::max<int64_t>(n, 0)));
    if (n < 0) return false;
    if (size_t(n) < step) break;
    left -= n;
  }
  return true;
}

bool write_data(int fd, const void* data, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd, static_cast<const char*>(data) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

bool list_folder(const char* path, std::vector<FolderEntry>* entries) {
  const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* folder = ::fdopendir(fd);
  if (!folder) {
    ::close(fd);
    return false;
  }
  entries->clear();
  while (const dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool folder_entry = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      struct stat info;   // follows a link: a link to a folder lists as a folder
      folder_entry = ::fstatat(fd, entry->d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
    }
    entries->push_back({name, folder_entry});
  }
  ::closedir(folder);
  std::sort(entries->begin(), entries->end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return true;
}

bool modification_time(const char* path, bool folder_only, FileTime* time) {
  struct stat info;
  if (::stat(path, &info) != 0 || (folder_only && !S_ISDIR(info.st_mode))) return false;
  *time = {int64_t(info.st_mtim.tv_sec), int32_t(info.st_mtim.tv_nsec)};
  return true;
}

int64_t file_size(const char* path) {
  const int fd = open_file(path, OpenMode::READ);
  if (fd < 0) return -1;
  struct stat info;
  const bool known = ::fstat(fd, &info) == 0;
  ::close(fd);
  return known ? int64_t(info.st_size) : -1;
}

bool delete_file(const char* path, bool folder) {
  return (folder ? ::rmdir(path) : ::unlink(path)) == 0;
}

bool rename_file(const char* from, const char* to) {
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // The filesystem cannot rename without replacing: check first (a race with another process
  // creating the target in between remains possible there).
  struct stat info;
  if (::lstat(to, &info) == 0 || errno != ENOENT) return false;
  return ::rename(from, to) == 0;
}

}  // namespace xol::platform
