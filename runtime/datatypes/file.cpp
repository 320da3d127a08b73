// file!: mold, the native form of paths, and the actions that hand a path to the file
// services (read, write, query, delete, rename).
//
// Mold writes "%" and the path bare when the lexer reads it back as one file! token, else
// between double quotes. A quoted file cannot hold a double quote or a line break, and the
// lexer takes its text as it is; such a path is written bare instead, every character the
// bare form cannot hold written as its %XX escape, which the lexer decodes in bare files.
#include <algorithm>
#include <string>

#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/text_types.h"
#include "runtime/datatypes/url.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/io/files.h"
#include "runtime/process/os.h"
#include "runtime/process/tracked_heap.h"
#include "runtime/text/utf8.h"

namespace xol::file {

namespace {

constexpr uint32_t kDelete = 0x7F;
constexpr uint32_t kFirstPrintable = 0x20;

// Characters of the file set that still end a bare file token when the lexer reads it.
bool ends_token(uint32_t c) { return c == '(' || c == ')' || c == ':' || c == '@'; }

// Whether a character below DEL may stand in a bare file; the others force quotes. Characters
// from DEL on never do.
bool bare(uint32_t c) {
  return c >= kDelete || (url::keeps(url::SELECTOR_FILE, uint8_t(c)) && !ends_token(c));
}

// A quoted file cannot hold these.
bool unquotable(uint32_t c) { return c == '"' || c < kFirstPrintable; }

}  // namespace

void to_local_path_into(const Cell* path, Cell* target, bool full) {
  bool relative = string::at_tail(path) || string::head_char(path) != '/';
  if (full && relative) {
    Cell directory = current_dir();
    string::concatenate(target, &directory, -1, 0, true, string::CONCAT_APPEND);
  }
  string::concatenate(target, path, -1, 0, true, string::CONCAT_APPEND);
}

std::string to_os_path(const Cell* path) {
  Cell text = *path;
  int32_t length = -1;
  const uint8_t* bytes = utf8::from_string(&text, &length, utf8::ENCODE_OS_TEXT);
  return std::string(reinterpret_cast<const char*>(bytes), size_t(length));
}

Cell current_dir() {
  int32_t length = 0;
  char* directory = os::current_dir(&length);
  Cell made;
  string::make_at(&made, uint32_t(length) + 1);
  if (directory) {
    utf8::load_os_text(reinterpret_cast<const uint8_t*>(directory), size_t(length), made.node());
    rt::free(directory);
  }
  if (string::at_tail(&made) || string::abs_at(&made, string::length(&made) - 1) != '/')
    string::append_char(made.node(), '/');
  return made;
}

namespace {
int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* argument,
             int32_t part, int32_t) {
  string::CharWriter writer(buffer);
  writer.put('%');
  uint32_t n = string::length(value);
  if (argument) n = part < 0 ? 0 : std::min(n, uint32_t(part));
  uint32_t head = value->head_index();
  if (string::at_tail(value)) {
    writer.put_ascii("\"\"");
    writer.flush();
    return part - 3;
  }
  bool quoted = false, escaped = false;
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t c = string::abs_at(value, head + i);
    quoted |= !bare(c);
    escaped |= unquotable(c);
  }
  char escape[3];
  if (quoted && !escaped) writer.put('"');
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t c = string::abs_at(value, head + i);
    if (escaped && !bare(c))
      writer.put_ascii({escape, size_t(url::escape_byte(uint8_t(c), escape))});
    else
      writer.put(c);
  }
  if (quoted && !escaped) writer.put('"');
  writer.flush();
  return part - int32_t(writer.written());
}

void read(Cell* source, const ReadOptions& options, Cell* result) {
  url::refuse(options.as);
  simple_io::read(source, options.part, options.seek, options.binary, options.lines, result);
}

void write(Cell* destination, Cell* data, const WriteOptions& options, Cell* result) {
  url::refuse(options.allow);
  url::refuse(options.as);
  simple_io::write(destination, data, options.part, options.seek, options.append,
                   options.lines);
  cell::set_unset(result);
}

void query(Cell* path, Cell* result) { *result = simple_io::query(path); }

void delete_(Cell* path, Cell* result) { *result = logic::make(simple_io::delete_(path)); }

void rename(Cell* from, Cell* to, Cell* result) {
  if (!string::is_text_type(to->type())) error::raise(error::CAT_SCRIPT, "invalid-arg", to);
  *result = logic::make(simple_io::rename(from, to));
}

}  // namespace

void init() {
  using actions::own;
  datatype::register_type(
      TYPE_FILE, TYPE_URL, "file!",
      actions::ActionList()
          .own(own<ACT_MOLD>(mold))
          .own(own<ACT_DELETE>(delete_))
          .own(own<ACT_QUERY>(query))
          .own(own<ACT_READ>(read))
          .own(own<ACT_RENAME>(rename))
          .own(own<ACT_WRITE>(write))
          .inherit({ACT_MAKE, ACT_TO, ACT_FORM, ACT_EVAL_PATH, ACT_COMPARE, ACT_APPEND, ACT_AT,
                    ACT_BACK, ACT_CHANGE, ACT_CLEAR, ACT_COPY, ACT_FIND, ACT_HEAD, ACT_HEAD_Q,
                    ACT_INDEX_Q, ACT_INSERT, ACT_LENGTH_Q, ACT_MOVE, ACT_NEXT, ACT_PICK,
                    ACT_POKE, ACT_REMOVE, ACT_REVERSE, ACT_SELECT, ACT_SKIP, ACT_SWAP, ACT_TAIL,
                    ACT_TAIL_Q, ACT_TAKE, ACT_MODIFY}));
}

}  // namespace xol::file
