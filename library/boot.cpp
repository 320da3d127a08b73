// The build order of the standard environment. Each step evaluates an embedded library file in
// the global context or does what only system-level code can; a file that is not in the
// executable is skipped, so a file can be added in its place when its functions are written.
#include "library/boot.h"

#include <string>

#include "library/routines.h"
#include "platform/os.h"
#include "runtime/process/console_output.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives_table.h"
#include "runtime/eval/stack.h"
#include "runtime/io/lexer.h"

namespace xol::library {
namespace {

void evaluate(const char* file) { natives_table::run_library(file); }

// The constants, then null-handle, which no literal can write.
void make_constants(const char* file) {
  evaluate(file);
  Cell null_handle;
  handle::make_at(&null_handle, 0, handle::kPlainKind);
  context::set_global(symbol::make("null-handle"), &null_handle);
}

void bind_file(const char* file) { bind_routines(file); }
void make_predicates(const char*) { define_predicates(); }

// A file! of the folder's path, with the "/" that ends a folder's name.
Cell folder(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  Cell made;
  string::load_utf8(&made, path, TYPE_FILE);
  return made;
}

std::string environment(const char* name) {
  const char* value = platform::get_env(name);
  return value ? value : "";
}

void set_field(std::initializer_list<const char*> path, const Cell& value) {
  if (Cell* field = object::system_field(path)) *field = value;
}

// What the system object's own code cannot know: the build date, the option folders, the
// currency codes (kept by the money! type, which stores their positions),
// system/words (an object without class whose context is the global context itself, and the
// global context's own object), and the error catalogue, evaluated into system/catalog.
void finish_system(const char* catalogue) {
  const Cell date = lexer::load(rt::build_date());
  set_field({"build", "date"}, *block::head(&date));
  Cell boot;
  string::load_utf8(&boot, platform::executable_path(), TYPE_FILE);
  set_field({"options", "boot"}, boot);
  const std::string home = environment("HOME");
  set_field({"options", "home"}, folder(home));
  const std::string cache = environment("XDG_CACHE_HOME");
  set_field({"options", "cache"}, folder((cache.empty() ? home + "/.cache" : cache) + "/xol"));

  if (const Cell* list = object::system_field({"locale", "currencies", "list"})) {
    for (int32_t index = 1; index <= money::currency_count(); ++index)
      word::load_in(money::currency_code(index), const_cast<Cell*>(list));
  }

  const NodeId global = context::global();
  Cell words;
  object::make_from(global, -1, kNoNode, &words);
  set_field({"words"}, words);

  const Cell* catalog = object::system_field({"catalog"});
  if (!catalog || !catalog->is(TYPE_OBJECT)) return;
  Cell body = natives_table::load_library_body(catalogue);
  context::bind(&body, object::context_of(catalog), false);
  interpreter::eval_block(&body, false);
  stack::pop(1);
}

struct BootStep {
  const char* file;
  void (*run)(const char* file);
};

constexpr BootStep kBootOrder[] = {
    {"prelude.xol", evaluate},                  // none, true, false
    {"routines.xol", bind_file},                // quit-return .. write-stdout
    {"constants.xol", make_constants},          // yes, no, characters, typesets, colours
    {"core.xol", evaluate},                     // routine, also, attempt, comment, quit ..
    {nullptr, make_predicates},                 // bitset? .. planar?
    {"converters.xol", evaluate},               // to-bitset .. to-point3D
    {"series.xol", evaluate},                   // replace, alter, .. context, charset ..
    {"files.xol", evaluate},                    // to-xol-file .. flip-exe-flag
    {"load-save.xol", evaluate},                // cause-error, load, save
    {"scripts.xol", evaluate},                  // do-file, extract-boot-args
    {"thru.xol", evaluate},                     // path-thru .. do-thru
    {"collect.xol", evaluate},                  // extract, collect, split
    {"math-dates.xol", evaluate},               // math, mod, modulo .. clock
    {"system.xol", evaluate},                   // the system object, transcode-trace
    {"system-routines.xol", bind_file},         // system/state/GC, the float flags' hook
    {"errors.xol", finish_system},
    {"operators.xol", evaluate},                // + .. xor
    {"codecs.xol", evaluate},                   // system/codecs: png .. tiff, xolbin
    {"codec-routines.xol", bind_file},          // their encode and decode routines
    {"reactivity.xol", evaluate},               // reactor! .. system/reactivity
    {"url.xol", evaluate},                      // register-scheme, url-parser
    {"preprocessor.xol", evaluate},             // the preprocessor
    {"tools.xol", evaluate},                    // system/tools, trace, debug, profile
    // Here the GUI engine and its back end's words.
    {"json.xol", evaluate},                     // load-json, to-json
    {"csv.xol", evaluate},                      // load-csv, to-csv
    {"help.xol", evaluate},                     // help-ctx, help, what, source, about
    {"engine.xol", evaluate},                   // system/console
    {"complete.xol", evaluate},                 // xol-complete-ctx
    {"console-routines.xol", bind_file},        // read-console-line, console-size
    {"terminal.xol", evaluate},                 // ask, input, halt, the settings, _save-cfg
    {"shell.xol", evaluate},                    // list-dir, ls, dir, ll, pwd, cd, expand, q
};

}  // namespace

void boot() {
  register_routines();
  for (const BootStep& step : kBootOrder) step.run(step.file);
}

}  // namespace xol::library
