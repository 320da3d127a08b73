// The command line, the environment and the OS description as values.
#include "runtime/io/os_info.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "platform/os.h"
#include "platform/read_file.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_types.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/process/process.h"
#include "runtime/text/utf8.h"

namespace xol::os_info {
namespace {

constexpr const char* kOsReleasePath = "/etc/os-release";
constexpr const char* kDefaultName = "Linux";
constexpr std::string_view kPrettyNameKey = "PRETTY_NAME=";
constexpr int32_t kEnvironmentCapacity = 100;
constexpr int32_t kVersionParts = 3;
constexpr int32_t kInfoFields = 4;

struct Arch {
  const char* machine;
  const char* word;
};
constexpr Arch kArchs[] = {
    {"x86_64", "x86-64"}, {"aarch64", "ARM64"}, {"arm64", "ARM64"}, {"i386", "x86-32"},
    {"i486", "x86-32"},   {"i586", "x86-32"},   {"i686", "x86-32"}, {"ia64", "IA-64"},
};
constexpr std::string_view kArmPrefix = "arm";

Cell text_of(std::string_view bytes) {
  Cell text;
  string::make_at(&text, uint32_t(bytes.size()));
  utf8::load_os_text(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), text.node());
  return text;
}

bool needs_quotes(std::string_view argument) {
  if (argument.empty()) return true;
  for (char c : argument)
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '"') return true;
  return false;
}

// The first three numbers of a kernel release ("6.1.0-18-amd64" gives 6.1.0), missing ones 0,
// each cut to a byte.
Cell kernel_version(const char* release) {
  int32_t parts[kVersionParts] = {};
  const char* p = release;
  for (int32_t& part : parts) {
    int32_t value = 0;
    while (*p >= '0' && *p <= '9') value = std::min(value * 10 + (*p++ - '0'), 255);
    part = value;
    if (*p != '.') break;
    ++p;
  }
  return tuple::from_ints(kVersionParts, parts);
}

void add_field(Cell* object, const char* name, const Cell& value) {
  const Cell word = word::load(name);
  context::add_value(object::context_of(object), &word, &value);
}

}  // namespace

std::string os_text(const Cell* text) {
  std::string bytes = file::to_os_path(text);
  if (bytes.find('\0') != std::string::npos) error::raise(error::CAT_SCRIPT, "invalid-arg", text);
  return bytes;
}

std::string join_arguments(int argc, const char* const* argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (i > 0) line += ' ';
    if (needs_quotes(argument)) line.append("\"").append(argument).append("\"");
    else line += argument;
  }
  return line;
}

void command_line(Cell* result) {
  *result = text_of(join_arguments(rt::state.argc, rt::state.argv));
}

void environment(Cell* result) {
  Cell pairs;
  block::make_at(&pairs, kEnvironmentCapacity);
  for (const char* const* entry = platform::environment(); entry && *entry; ++entry) {
    // A name may not be empty, so an "=" in the first place belongs to the name.
    const char* split = strchr(*entry + (**entry == '=' ? 1 : 0), '=');
    const std::string_view name(*entry, split ? size_t(split - *entry) : strlen(*entry));
    const Cell key = text_of(name);
    block::append_cell(&pairs, &key);
    const Cell value = text_of(split ? std::string_view(split + 1) : std::string_view());
    block::append_cell(&pairs, &value);
  }
  map::make_at(result, int32_t(block::length(&pairs) / 2));
  map::extend_from_block(result, &pairs, true);
}

std::string pretty_name(std::string_view os_release) {
  while (!os_release.empty()) {
    const size_t end = os_release.find('\n');
    std::string_view line = os_release.substr(0, end);
    os_release = end == std::string_view::npos ? std::string_view() : os_release.substr(end + 1);
    if (!line.starts_with(kPrettyNameKey)) continue;
    line.remove_prefix(kPrettyNameKey.size());
    const char quote = !line.empty() && (line[0] == '"' || line[0] == '\'') ? line[0] : 0;
    if (quote) line.remove_prefix(1);
    std::string name;
    for (size_t i = 0; i < line.size() && line[i] != quote; ++i) {
      if (line[i] == '\\' && quote != '\'' && i + 1 < line.size()) ++i;
      name += line[i];
    }
    return name;
  }
  return {};
}

const char* arch_name(std::string_view machine) {
  for (const Arch& arch : kArchs)
    if (machine == arch.machine) return arch.word;
  return machine.starts_with(kArmPrefix) ? "ARM" : "Unknown";
}

void describe(Cell* result) {
  std::string release;
  std::string name = platform::read_file(kOsReleasePath, &release) ? pretty_name(release) : "";
  if (name.empty()) name = kDefaultName;
  const platform::KernelName kernel = platform::kernel_name();
  // Built in a local, where the collector's scan of the native stack sees it: `result` may be
  // a cell it does not scan.
  Cell info;
  object::make_at(&info, kInfoFields);
  add_field(&info, "name", text_of(name));
  add_field(&info, "arch", word::load(arch_name(kernel.machine)));
  add_field(&info, "version", kernel_version(kernel.release));
  add_field(&info, "build", integer::make(0));
  *result = info;
}


}  // namespace xol::os_info
