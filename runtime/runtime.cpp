// Runtime initialisation and shutdown, and the life of the process around them.
//
// `init` brings the runtime up in a fixed order: each step relies on what the steps before it
// made, so a new subsystem's start-up goes into its own place in the sequence, never at the end
// by convenience. `shutdown` is the matching release; the normal exit path does not need it
// (the process ends and the OS takes the frames back) but a host that keeps running does.
#include "runtime/runtime.h"


#include "library/boot.h"
#include "runtime/memory/collector.h"
#include "runtime/process/console_output.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/issue.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/hash.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/path.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/port.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_types.h"
#include "runtime/datatypes/time.h"
#include "runtime/datatypes/triple.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/url.h"
#include "runtime/datatypes/vector.h"
#include "runtime/datatypes/word.h"
#include "runtime/eval/actions.h"
#include "runtime/io/checksum.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/natives_table.h"
#include "runtime/eval/parse.h"
#include "runtime/process/random.h"
#include "runtime/eval/stack.h"
#include "runtime/memory/handle_table.h"
#include "runtime/io/compression.h"
#include "runtime/io/http.h"
#include "runtime/io/lexer.h"
#include "runtime/memory/memory.h"
#include "runtime/datatypes/owners.h"
#include "runtime/process/print_hooks.h"
#include "runtime/process/process.h"
#include "runtime/datatypes/runtime_words.h"
#include "runtime/script.h"
#include "runtime/process/tracked_heap.h"

namespace xol::runtime {

namespace {
constexpr int32_t kRootBlockCapacity = 9748;     // what start-up keeps there, with room to spare
constexpr int32_t kSymbolTableCapacity = 4000;   // the standard environment's names
}  // namespace

void register_datatypes() {
  // The handle table first: datatypes register the kinds of the resources they hold.
  handles::init();
  datatype::init_tables();
  datatype::init();
  unset::init();
  none::init();
  logic::init();
  series::init();
  block::init();
  string::init();
  binary::init();
  integer::init();
  symbol::init();
  context::init();
  word::init();
  character::init();
  natives::init_native();
  natives::init_action();
  natives::init_op();
  path::init();
  function::init();
  routines::init();
  paren::init();
  issue::init();
  url::init();
  file::init();
  object::init();
  bitset::init();
  triple::init();
  floating::init();
  typeset::init();
  error::init();
  vector::init();
  map::init();
  hash::init();
  pair::init();
  percent::init();
  tuple::init();
  time::init();
  tag::init();
  email::init();
  handle::init();
  date::init();
  port::init();
  money::init();
  ref::init();
  point::init();
  image::init();
}

void init() {
  // Everything made from here until the boot code has fetched its literals is kept in the root
  // block.
  boot::flag = 1;
  // The print-hook lists, before anything can print.
  dyn_print::init();
  // Platform services: console output (which also keeps a closed pipe from ending the process).
  console::init();
  // The HTTP client's transport, before any other thread exists.
  http::init();
  // The random generator, at its fixed start-up seed.
  random::init();
  // The memory manager: its node range and frame lists.
  memory::init();
  // The first node frame and the first series frame.
  memory::alloc_node_frame(memory::kNodesPerFrame);
  memory::alloc_series_frame();
  // The datatype table and the action rows, then every datatype, parents before children.
  register_datatypes();
  // The action dispatchers, once every type has its row.
  actions::register_dispatchers();
  // The root block, the symbol table's block and the global context.
  block::make_in_sized(nullptr, kRootBlockCapacity);
  stack::make_blocks();
  symbol::init_table(block::make_in(block::root(), kSymbolTableCapacity));
  context::create_global();
  // The runtime's own words: the datatype names first, so that symbol n names datatype n.
  words::init_datatype_words();
  words::init_runtime();
  words::init_extra();
  words::init_issue();
  natives_table::register_natives();
  parse::init();
  ownership::init();
  checksum::init();
  compression::init_methods();
  // The stacks, the interpreter, the lexer; then the native and action values from their
  // embedded specs, where the boot payload will later be decoded.
  stack::init();
  interpreter::init();
  lexer::init();
  natives_table::load_specs();
  natives::init_print();
  // The standard environment, in its build order.
  library::boot();
  // Start-up is over: values made from here on live only as long as something refers to them.
  boot::flag = 0;
  collector::active = true;
  collector::init_stats();
}

namespace {

// The runtime thread's body: start-up, then the command line's script, the console or both.
void start() {
  init();
  script::run_command_line();
}

}  // namespace

void run_process(int argc, char** argv) {
  rt::init_process(argc, argv);
  rt::run_runtime_thread(start);
}

}  // namespace xol::runtime
