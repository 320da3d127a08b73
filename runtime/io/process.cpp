// Process launching over the platform's spawn, exchange and wait.
#include "runtime/io/process.h"

#include <string>
#include <vector>

#include "platform/process.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/io/os_info.h"
#include "runtime/text/utf8.h"

namespace xol::process {
namespace {

constexpr const char* kShell = "/bin/sh";

[[noreturn]] void raise_cannot_open(const Cell* what) {
  error::raise(error::CAT_ACCESS, "cannot-open", what);
}

[[noreturn]] void raise_cannot_open(const std::string& name) {
  Cell text;
  utf8::load_os_text(reinterpret_cast<const uint8_t*>(name.data()), name.size(),
                     string::make_at(&text, uint32_t(name.size()))->node());
  raise_cannot_open(&text);
}

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// The words of a command line (see process.h).
std::vector<std::string> split_command(const std::string& line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && is_space(line[i])) ++i;
    if (i == line.size()) break;
    std::string word;
    char quote = 0;
    for (; i < line.size() && (quote || !is_space(line[i])); ++i) {
      const char c = line[i];
      if (quote == c) {
        quote = 0;
      } else if (!quote && (c == '"' || c == '\'')) {
        quote = c;
      } else if (c == '\\' && quote != '\'' && i + 1 < line.size()) {
        word += line[++i];
      } else {
        word += c;
      }
    }
    words.push_back(std::move(word));
  }
  return words;
}

// Where a redirection value sends a stream: a file!, a pipe for a string! or binary!, or
// `absent` without one.
platform::StreamSpec stream_of(const Cell* value, std::string* path, platform::StreamKind absent) {
  if (!value) return {absent, nullptr};
  if (value->is(TYPE_FILE)) {
    *path = os_info::os_text(value);
    return {platform::STREAM_FILE, path->c_str()};
  }
  return {platform::STREAM_PIPE, nullptr};
}

// The bytes that /input sends: a string's UTF-8 or a binary's bytes, from their positions.
std::string input_bytes(const Cell* value) {
  if (!value || value->is(TYPE_FILE)) return {};
  if (value->is(TYPE_BINARY)) return std::string(binary::bytes(value));
  Cell text = *value;
  int32_t length = -1;
  const uint8_t* bytes = utf8::from_string(&text, &length);
  return std::string(reinterpret_cast<const char*>(bytes), size_t(length));
}

// Inserts captured bytes at the target's position: as they are into a binary!, decoded as
// UTF-8 with LF line ends into a string!.
void deliver(const std::string& captured, Cell* target) {
  if (captured.empty() || !target || target->is(TYPE_FILE)) return;
  const auto* bytes = reinterpret_cast<const uint8_t*>(captured.data());
  Cell value;
  if (target->is(TYPE_BINARY)) {
    value = binary::load(captured);
  } else {
    size_t left_over = 0;
    utf8::Loaded loaded = utf8::load_string(bytes, captured.size(), kNoNode, &left_over,
                                            utf8::LineEnds::TO_LF);
    if (left_over > 0) {
      Cell tail = binary::load(captured.substr(captured.size() - left_over));
      error::raise(error::CAT_ACCESS, "invalid-utf8", &tail);
    }
    value = Cell{TYPE_STRING, 0, loaded.node, 0};
  }
  InsertOptions options;
  Cell moved;
  actions::get<ACT_INSERT>(target->type())(target, &value, options, false, &moved);
}

}  // namespace

int32_t call(const Cell* command, const CallOptions& options) {
  const std::string line = os_info::os_text(command);
  std::vector<std::string> words;
  if (options.shell) words = {kShell, "-c", line};
  else if (command->is(TYPE_FILE)) words = {line};
  else words = split_command(line);
  if (words.empty()) raise_cannot_open(command);
  std::vector<const char*> argv;
  for (const std::string& word : words) argv.push_back(word.c_str());
  argv.push_back(nullptr);

  std::string paths[3];
  const platform::StreamSpec streams[3] = {
      stream_of(options.input, &paths[0], platform::STREAM_INHERIT),
      stream_of(options.output, &paths[1], platform::STREAM_NULL),
      stream_of(options.error, &paths[2], platform::STREAM_NULL)};
  const std::string input = input_bytes(options.input);
  platform::Child child;
  switch (platform::spawn(argv.data(), streams, &child)) {
    case platform::SPAWN_OK: break;
    case platform::SPAWN_NOT_FOUND:
      if (command->is(TYPE_FILE)) raise_cannot_open(command);
      raise_cannot_open(words[0]);
    case platform::SPAWN_FILE_INPUT: raise_cannot_open(options.input);
    case platform::SPAWN_FILE_OUTPUT: raise_cannot_open(options.output);
    case platform::SPAWN_FILE_ERROR: raise_cannot_open(options.error);
    case platform::SPAWN_SYSTEM: return -1;
  }
  if (!options.wait && !options.input && !options.output && !options.error) {
    platform::reap_when_done(child.pid);
    return child.pid;
  }
  std::string output, error;
  platform::exchange(&child, input, &output, &error);
  const int status = platform::wait_child(child.pid);
  deliver(output, const_cast<Cell*>(options.output));
  deliver(error, const_cast<Cell*>(options.error));
  return status;
}

void launch_detached(const char* program, const Cell* argument) {
  const std::string text = os_info::os_text(argument);
  const char* argv[] = {program, text.c_str(), nullptr};
  const platform::StreamSpec streams[3] = {{platform::STREAM_NULL, nullptr},
                                           {platform::STREAM_NULL, nullptr},
                                           {platform::STREAM_INHERIT, nullptr}};
  platform::Child child;
  switch (platform::spawn(argv, streams, &child)) {
    case platform::SPAWN_OK: return platform::reap_when_done(child.pid);
    case platform::SPAWN_SYSTEM: raise_cannot_open(argument);
    default: raise_cannot_open(program);
  }
}

}  // namespace xol::process
