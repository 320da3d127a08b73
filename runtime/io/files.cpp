// simple-io over the platform's file calls (see files.h).
//
// A read trusts the size the OS reports for a regular file and asks for exactly that many
// bytes; anything else (a pipe, a device, /proc files that report 0) is read in one pass to
// its end, so nothing is read twice and a stream is never rewound. Sizes stay 64-bit until a
// value must hold them: more than a series can take raises an error instead of wrapping.
#include "runtime/io/files.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/files.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/text_types.h"
#include "runtime/datatypes/value_ops.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/text/utf8.h"

namespace xol::simple_io {
namespace {

// The most bytes one series holds.
constexpr int64_t kMaxSeriesBytes = 0x7FFFFFFF;
constexpr int64_t kMaxInteger = 0x7FFFFFFF;
constexpr int32_t kNanosecondsPerMillisecond = 1000000;
constexpr double kMillisecondsPerSecond = 1000.0;

// Closes the descriptor however the call ends.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) platform::close_file(fd);
  }
};

[[noreturn]] void cannot_open(const Cell* path) {
  error::raise(error::CAT_ACCESS, "cannot-open", path);
}

// An optional integer argument: -1 when not given.
int64_t integer_arg(const Cell* cell) {
  if (!cell) return -1;
  if (!cell->is(TYPE_INTEGER)) error::raise(error::CAT_SCRIPT, "invalid-arg", cell);
  return integer::get(cell);
}

uint32_t char_at(const Cell* path, uint32_t back) {
  return string::abs_at(path, path->head_index() + string::length(path) - back);
}

// The content from `seek` for `part` bytes (both -1 when not given).
bool read_content(int fd, int64_t part, int64_t seek, std::string* bytes) {
  int64_t size = platform::regular_file_size(fd);
  const int64_t skip = std::max<int64_t>(seek, 0);
  if (size > 0) {
    size = std::max<int64_t>(size - skip, 0);
    if (part >= 0) size = std::min(size, part);
    if (size > kMaxSeriesBytes) error::raise(error::CAT_SCRIPT, "too-long");
    if (size == 0) return true;
    if (skip && !platform::seek_file(fd, skip)) return false;
    bytes->resize(size_t(size));
    const int64_t got = platform::read_data(fd, bytes->data(), size_t(size));
    bytes->resize(size_t(std::max<int64_t>(got, 0)));
    return got >= 0;
  }
  // Stop one byte past what a series holds, so an endless source ends too.
  const int64_t limit = skip + (part >= 0 ? std::min(part, kMaxSeriesBytes + 1)
                                          : kMaxSeriesBytes + 1);
  if (!platform::read_rest(fd, bytes, limit)) return false;
  bytes->erase(0, size_t(std::min<int64_t>(skip, int64_t(bytes->size()))));
  if (int64_t(bytes->size()) > kMaxSeriesBytes) error::raise(error::CAT_SCRIPT, "too-long");
  return true;
}

void read_dir(const Cell* path, Cell* result) {
  std::vector<platform::FolderEntry> entries;
  if (!platform::list_folder(file::to_os_path(path).c_str(), &entries)) cannot_open(path);
  block::make_at(result, int32_t(entries.size()));
  for (const platform::FolderEntry& entry : entries) {
    Cell name;
    string::make_at(&name, uint32_t(entry.name.size()) + 1, TYPE_FILE);
    utf8::load_os_text(reinterpret_cast<const uint8_t*>(entry.name.data()), entry.name.size(),
                       name.node());
    if (entry.folder) string::append_char(name.node(), '/');
    block::append_cell(result, &name);
  }
}

// The bytes a value writes: a string! as UTF-8 (a part counts characters), a binary! as
// itself (a part counts bytes), anything else molded.
std::string value_to_bytes(const Cell* value, int64_t part) {
  const int32_t units = part < 0 ? -1 : int32_t(std::min(part, kMaxSeriesBytes));
  if (value->is(TYPE_BINARY)) {
    const std::string_view bytes = binary::bytes(value);
    return std::string(units < 0 ? bytes : bytes.substr(0, size_t(units)));
  }
  Cell text = *value;
  int32_t length = units;
  if (!value->is(TYPE_STRING)) {
    values::mold_value(value, false, false, false, kNoPartLimit, &text);
    length = -1;
  } else if (units == 0) {
    return {};
  }
  const uint8_t* bytes = utf8::from_string(&text, &length);
  return std::string(reinterpret_cast<const char*>(bytes), size_t(length));
}

// Strict UTF-8 into the string; a sequence cut off by the end raises unless `cut_allowed`.
void load_text(const uint8_t* bytes, size_t count, Cell* string, utf8::LineEnds line_ends,
               bool cut_allowed) {
  size_t left_over = 0;
  utf8::load_string(bytes, count, string->node(), &left_over, line_ends);
  if (left_over && !cut_allowed) {
    Cell tail = binary::load({reinterpret_cast<const char*>(bytes) + count - left_over,
                              left_over});
    error::raise(error::CAT_ACCESS, "invalid-utf8", &tail);
  }
}

// Whether the path names a folder by its form: it ends in "/", or it is "." or ".." alone or
// ends in "/." or "/..".
bool dir_q(const Cell* path) {
  const uint32_t n = string::length(path);
  if (n == 0) return false;
  if (char_at(path, 1) == '/') return true;
  // "." or ".." alone or after a "/".
  for (uint32_t dots = 1; dots <= 2 && dots <= n && char_at(path, dots) == '.'; ++dots)
    if (n == dots || char_at(path, dots + 1) == '/') return true;
  return false;
}
}  // namespace

Cell string_from_bytes(const uint8_t* bytes, size_t count, bool cut_allowed) {
  Cell made;
  string::make_at(&made, uint32_t(count));
  load_text(bytes, count, &made, utf8::LineEnds::TO_LF, cut_allowed);
  return made;
}

Cell split_lines(const uint8_t* bytes, size_t count) {
  Cell lines;
  block::make_at(&lines, 0);
  size_t start = 0;
  while (start < count) {
    const uint8_t* found = std::find(bytes + start, bytes + count, '\n');
    size_t end = size_t(found - bytes);
    const size_t next = end + 1;
    if (end > start && end < count && bytes[end - 1] == '\r') --end;
    Cell line;
    string::make_at(&line, uint32_t(end - start));
    load_text(bytes + start, end - start, &line, utf8::LineEnds::KEEP, false);
    block::append_cell(&lines, &line);
    start = next;
  }
  return lines;
}

void read(const Cell* path, const Cell* part, const Cell* seek, bool binary, bool lines,
          Cell* result) {
  const int64_t part_bytes = integer_arg(part);
  const int64_t seek_bytes = integer_arg(seek);
  if (dir_q(path)) return read_dir(path, result);
  std::string bytes;
  {
    Descriptor file{platform::open_file(file::to_os_path(path).c_str(),
                                        platform::OpenMode::READ)};
    if (file.fd < 0 || !read_content(file.fd, part_bytes, seek_bytes, &bytes))
      cannot_open(path);
  }
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  if (binary)
    *result = binary::load(bytes);
  else if (lines)
    *result = split_lines(data, bytes.size());
  else
    *result = string_from_bytes(data, bytes.size(), part_bytes >= 0);
}

void write(const Cell* path, const Cell* value, const Cell* part, const Cell* seek,
           bool append, bool lines) {
  const int64_t part_count = integer_arg(part);
  const int64_t offset = integer_arg(seek);
  if (part && part_count < 0) return;
  std::string bytes;
  if (lines && value->is(TYPE_BLOCK)) {
    for (uint32_t i = 0, n = block::length(value); i < n; ++i)
      bytes += value_to_bytes(block::head(value) + i, -1) + '\n';
  } else {
    bytes = value_to_bytes(value, part_count);
    if (lines) bytes += '\n';
  }
  const platform::OpenMode mode = append ? platform::OpenMode::APPEND
                                  : seek ? platform::OpenMode::WRITE_KEEP
                                         : platform::OpenMode::WRITE;
  Descriptor file{platform::open_file(file::to_os_path(path).c_str(), mode)};
  if (file.fd < 0 || (!append && offset > 0 && !platform::seek_file(file.fd, offset)) ||
      !platform::write_data(file.fd, bytes.data(), bytes.size()))
    cannot_open(path);
}

Cell query(const Cell* path) {
  const bool folder_only = string::length(path) && char_at(path, 1) == '/';
  platform::FileTime time;
  if (!platform::modification_time(file::to_os_path(path).c_str(), folder_only, &time))
    return none::value;
  Cell date = date::from_epoch(time.seconds);
  const int32_t milliseconds = time.nanoseconds / kNanosecondsPerMillisecond;
  if (milliseconds) date::add_seconds(&date, milliseconds / kMillisecondsPerSecond, &date);
  return date;
}

bool delete_(const Cell* path) {
  return platform::delete_file(file::to_os_path(path).c_str(), dir_q(path));
}

bool rename(const Cell* from, const Cell* to) {
  return platform::rename_file(file::to_os_path(from).c_str(), file::to_os_path(to).c_str());
}

Cell size_q(const Cell* path) {
  const int64_t size = platform::file_size(file::to_os_path(path).c_str());
  if (size < 0) return none::value;
  if (size > kMaxInteger) error::raise(error::CAT_MATH, "overflow");
  return integer::make(int32_t(size));
}

}  // namespace xol::simple_io
