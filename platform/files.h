// Files and folders: the POSIX calls behind the runtime's file services.
//
// Paths are the bytes the OS takes, zero-terminated. Every descriptor is opened with
// O_CLOEXEC so that child processes inherit only the standard streams. Sizes and offsets are
// 64-bit. Reads and writes loop over short counts and interruptions, so a call either moves
// all its bytes (a read stops early only at the end of the file) or fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace xol::platform {

enum class OpenMode {
  READ,          // an existing file, never a folder
  WRITE,         // created, or emptied when it exists
  WRITE_KEEP,    // created, contents kept (a write at an offset)
  APPEND,        // created, contents kept, every write at the end
};

// The descriptor, or -1.
int open_file(const char* path, OpenMode mode);
void close_file(int fd);
// The size of a regular file, or -1 for anything else (a pipe, a device, /proc files whose
// size the OS reports as 0 also answer their 0).
int64_t regular_file_size(int fd);
bool seek_file(int fd, int64_t offset);
// Reads up to `count` bytes; answers the bytes read (fewer only at the end) or -1.
int64_t read_data(int fd, void* buffer, size_t count);
// Appends what is left in the file to `contents`, at most `limit` bytes; false on a read
// error.
bool read_rest(int fd, std::string* contents, int64_t limit);
bool write_data(int fd, const void* data, size_t count);

struct FolderEntry {
  std::string name;
  bool folder;     // a folder, or a symbolic link to one
};
// The entries of a folder without "." and "..", sorted by name in byte order; false when the
// folder cannot be read.
bool list_folder(const char* path, std::vector<FolderEntry>* entries);

struct FileTime {
  int64_t seconds;       // since 1970-01-01 UTC
  int32_t nanoseconds;
};
// The last modification time; false when the path cannot be examined, or when `folder_only`
// and it is not a folder.
bool modification_time(const char* path, bool folder_only, FileTime* time);
// The size in bytes of a file that opens for reading (never a folder); -1 when it cannot.
int64_t file_size(const char* path);

// unlink, or rmdir for a folder; true on success.
bool delete_file(const char* path, bool folder);
// Renames without ever replacing an existing target: renameat2 with RENAME_NOREPLACE, or
// where the filesystem refuses the flag, a check for the target followed by rename.
bool rename_file(const char* from, const char* to);

}  // namespace xol::platform
