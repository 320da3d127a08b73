// The library's routines: the words whose bodies are system-level code, each a typed C++
// function of the routines table bound to its word (or object field) at start-up.
//
// Their specs live in library/routines.xol and system-routines.xol, as `name: [spec]` pairs
// read in the boot order; the entry of a pair is found by the name's spelling. The type
// predicates are the exception: their 62 specs differ only in their docstrings, so they are
// made here from one table.
#include "library/routines.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>

#include "console/terminal.h"
#include "library/csv_scan.h"
#include "library/json_emit.h"
#include "library/json_scan.h"
#include "platform/os.h"
#include "runtime/memory/collector.h"
#include "runtime/process/console_output.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_types.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/value_ops.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/natives_table.h"
#include "runtime/eval/stack.h"
#include "runtime/io/lexer.h"
#include "runtime/io/os_info.h"
#include "runtime/io/xolbin.h"
#include "runtime/text/number_text.h"
#include "runtime/process/tracked_heap.h"
#include "runtime/text/utf8.h"

namespace xol::library {
namespace {

using error::CAT_ACCESS;
using error::CAT_SCRIPT;

constexpr int32_t kExitStatusMask = 0xFF;

// Scratch for the routines that answer a cell: the thunk copies it out at once.
Cell answer;

Cell* answer_with(const Cell& value) {
  answer = value;
  return &answer;
}

// Raises script `expect-arg`: the routine refuses the value's datatype for that argument.
[[noreturn]] void refuse(const char* routine, const Cell* value, const char* argument) {
  const Cell name = word::load(routine);
  const Cell type = datatype::make(value->type());
  const Cell argument_word = word::load(argument);
  error::raise(CAT_SCRIPT, "expect-arg", &name, &type, &argument_word);
}

bool same_symbol(int32_t symbol1, int32_t symbol2) {
  return symbol::resolve(symbol1) == symbol::resolve(symbol2);
}

// ---- the word-bound routines, in their order of definition ----

void quit_return(int32_t status) {
  rt::free_all();
  std::exit(status & kExitStatusMask);
}

Cell* set_quiet(Cell* word, Cell* value) {
  switch (word->type()) {
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD: break;
    default: refuse("set-quiet", word, "word");
  }
  context::set_in(word, value, word::context_of(word), false);
  return value;
}

void set_slot_quiet(Cell* series, Cell* value) {
  switch (series->type()) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
    case TYPE_GET_PATH: break;
    default: refuse("set-slot-quiet", series, "series");
  }
  if (!block::at_tail(series)) copy_cell(value, block::head(series));
}

int32_t shift_right(int32_t data, int32_t bits) {
  return natives::shifted(data, bits, natives::SHIFT_RIGHT);
}
int32_t shift_left(int32_t data, int32_t bits) {
  return natives::shifted(data, bits, natives::SHIFT_LEFT);
}
int32_t shift_logical(int32_t data, int32_t bits) {
  return natives::shifted(data, bits, natives::SHIFT_LOGICAL);
}

bool last_lf_q() { return !console::line_is_open(); }

Cell* get_current_dir() {
  Cell directory = file::current_dir();
  cell::set_type(&directory, TYPE_FILE);
  return answer_with(directory);
}

// Runs the OS call on the path's native form; a path holding a NUL names no file (the OS would
// read only the part before it), so the call is not made and fails.
bool with_os_path(const Cell* path, bool (*call)(const char*)) {
  const std::string native = file::to_os_path(path);
  return native.find('\0') == std::string::npos && call(native.c_str());
}

void set_current_dir(Cell* path) {
  if (!with_os_path(path, platform::set_current_dir)) error::raise(CAT_ACCESS, "cannot-open", path);
}

void create_dir(Cell* path) {
  if (!with_os_path(path, platform::make_dir)) error::raise(CAT_ACCESS, "no-create", path);
}

bool exists_q(Cell* path) { return with_os_path(path, platform::path_exists); }

// A routine's result is copied out of this cell at once.
Cell* os_info() {
  static Cell made;
  os_info::describe(&made);
  return &made;
}

// The first negative component raises script `invalid-arg`.
void check_components(std::initializer_list<int32_t> components) {
  for (int32_t component : components) {
    if (component < 0) {
      const Cell given = integer::make(component);
      error::raise(CAT_SCRIPT, "invalid-arg", &given);
    }
  }
}

Cell* as_color(int32_t r, int32_t g, int32_t b) {
  check_components({r, g, b});
  const uint8_t bytes[] = {uint8_t(r), uint8_t(g), uint8_t(b)};
  return answer_with(tuple::make(3, bytes));
}

// The four values are ORed into one word, each shifted by its byte, with no reduction: a value
// above 255 spills into the following bytes.
Cell* as_ipv4(int32_t a, int32_t b, int32_t c, int32_t d) {
  check_components({a, b, c, d});
  const uint32_t word = uint32_t(a) | uint32_t(b) << 8 | uint32_t(c) << 16 | uint32_t(d) << 24;
  const uint8_t bytes[] = {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16),
                           uint8_t(word >> 24)};
  return answer_with(tuple::make(4, bytes));
}

Cell* as_rgba(int32_t r, int32_t g, int32_t b, int32_t a) { return as_ipv4(r, g, b, a); }

// `pos` is a position in start's buffer, clamped to [start, tail] so that a position of
// another or longer binary never reads past the bytes.
int32_t count_chars(Cell* start, Cell* pos) {
  const std::string_view bytes = binary::bytes(start);
  const int64_t offset = int64_t(pos->head_index()) - int64_t(start->head_index());
  const size_t end = size_t(std::clamp<int64_t>(offset, 0, int64_t(bytes.size())));
  const auto* first = reinterpret_cast<const uint8_t*>(bytes.data());
  return int32_t(utf8::count_chars(first, first + end));
}

int32_t stack_size_q() { return int32_t(stack::top - stack::bottom); }

// Types whose cells only the runtime's own code may hold.
bool internal_only(TypeId type) {
  return type < TYPE_DATATYPE || type > kTypeCount || type == TYPE_SYMBOL ||
         type == TYPE_CONTEXT || type == TYPE_TRIPLE;
}

Cell* pick_stack(int32_t index) {
  if (index <= 0 || index >= stack_size_q()) return answer_with(Cell{TYPE_NONE, 0, 0, 0});
  const Cell& picked = stack::bottom[index - 1];
  return answer_with(internal_only(picked.type()) ? Cell{TYPE_NONE, 0, 0, 0} : picked);
}

int32_t frame_index_q() { return int32_t(stack::arguments - stack::bottom); }

void collect_calls(Cell* block) {
  for (const stack::Frame* frame = stack::ctop - 1; frame >= stack::cbottom; --frame) {
    const Cell name{TYPE_WORD, frame->ctx, uint32_t(frame->symbol()), word::kUnresolvedIndex};
    block::append_cell(block, &name);
    const Cell position = integer::make(int32_t(stack::index_of(stack::base_of(frame))));
    block::append_cell(block, &position);
  }
}

// A trace run is in progress, whether or not its events reach the handler at this moment
// (they do not while the handler or a library function runs).
bool tracing_q() { return interpreter::trace.saved_active; }

// `trace on`/`off`: events flow only inside a traced run; the setting outlives the function
// that made it (see the interpreter's body scope).
void set_tracing(bool on) {
  interpreter::trace.active = on && interpreter::trace.saved_active;
  interpreter::trace.switched_on = interpreter::trace.active;
  ++interpreter::trace.switches;
}

// The clipboard comes with the GUI back end; until then every access fails.
Cell* read_clipboard() { return answer_with(logic::make(false)); }
bool write_clipboard(Cell*) { return false; }

void write_stdout(Cell* data) {
  if (data->is(TYPE_BINARY)) {
    const std::string_view bytes = binary::bytes(data);
    console::write_text(bytes.data(), bytes.size());
    return;
  }
  Cell text = *data;
  if (!text.is(TYPE_STRING)) values::form_value(data, kNoPartLimit, &text);
  memory::SeriesBuffer* buffer = string::buffer_of(&text);
  const uint32_t unit = buffer->unit();
  console::write(buffer->data() + size_t(text.head_index()) * unit,
                 size_t(string::length(&text)) * unit, unit, false);
}

// ---- routines held in object fields ----

bool gc_active_q() { return collector::active; }
int32_t gc_series_cycles() { return int32_t(collector::series_cycles); }
int32_t gc_nodes_cycles() { return int32_t(collector::nodes_cycles); }

// Called by system/options/float/on-change* with the field and its new value: `pretty?`
// switches the float printer's pretty mode.
void float_on_change(Cell* field, Cell* value) {
  if (same_symbol(word::symbol_of(field), symbol::make("pretty?")))
    float_text::pretty_print = logic::true_q(value);
}

// ---- type predicates ----

template <TypeId Type>
bool is_type(Cell* value) {
  return value->is(Type);
}

struct TypesetPredicate {
  const char* name;      // the predicate
  const char* typeset;   // the global word it reads at each call
};
constexpr TypesetPredicate kTypesetPredicates[] = {
    {"any-list?", "any-list!"},     {"any-block?", "any-block!"},
    {"any-function?", "any-function!"}, {"any-object?", "any-object!"},
    {"any-path?", "any-path!"},     {"any-string?", "any-string!"},
    {"any-word?", "any-word!"},     {"series?", "series!"},
    {"number?", "number!"},         {"immediate?", "immediate!"},
    {"scalar?", "scalar!"},         {"all-word?", "all-word!"},
    {"any-point?", "any-point!"},   {"planar?", "planar!"},
};
constexpr size_t kTypesetPredicateCount = std::size(kTypesetPredicates);

// The global-context slot index of each typeset word, found once per start-up (words are
// never removed from the global context, so the index stays valid).
int32_t typeset_slots[kTypesetPredicateCount];

template <size_t N>
bool in_typeset(Cell* value) {
  const Cell* set = context::value_at(context::global(), typeset_slots[N]);
  return set->is(TYPE_TYPESET) && typeset::has(set, value->type());
}

struct Predicate {
  const char* name;
  int32_t (*add)(const char*);
};

template <TypeId Type>
constexpr Predicate single(const char* name) {
  return {name, &routines::add<is_type<Type>>};
}

constexpr Predicate kSinglePredicates[] = {
    single<TYPE_BITSET>("bitset?"),       single<TYPE_BINARY>("binary?"),
    single<TYPE_BLOCK>("block?"),         single<TYPE_CHAR>("char?"),
    single<TYPE_EMAIL>("email?"),         single<TYPE_FILE>("file?"),
    single<TYPE_FLOAT>("float?"),         single<TYPE_GET_PATH>("get-path?"),
    single<TYPE_GET_WORD>("get-word?"),   single<TYPE_HASH>("hash?"),
    single<TYPE_INTEGER>("integer?"),     single<TYPE_ISSUE>("issue?"),
    single<TYPE_LIT_PATH>("lit-path?"),   single<TYPE_LIT_WORD>("lit-word?"),
    single<TYPE_LOGIC>("logic?"),         single<TYPE_MAP>("map?"),
    single<TYPE_NONE>("none?"),           single<TYPE_PAIR>("pair?"),
    single<TYPE_PAREN>("paren?"),         single<TYPE_PATH>("path?"),
    single<TYPE_PERCENT>("percent?"),     single<TYPE_REFINEMENT>("refinement?"),
    single<TYPE_SET_PATH>("set-path?"),   single<TYPE_SET_WORD>("set-word?"),
    single<TYPE_STRING>("string?"),       single<TYPE_TAG>("tag?"),
    single<TYPE_TIME>("time?"),           single<TYPE_TYPESET>("typeset?"),
    single<TYPE_TUPLE>("tuple?"),         single<TYPE_UNSET>("unset?"),
    single<TYPE_URL>("url?"),             single<TYPE_WORD>("word?"),
    single<TYPE_IMAGE>("image?"),         single<TYPE_DATE>("date?"),
    single<TYPE_MONEY>("money?"),         single<TYPE_REF>("ref?"),
    single<TYPE_POINT2D>("point2D?"),     single<TYPE_POINT3D>("point3D?"),
    single<TYPE_HANDLE>("handle?"),       single<TYPE_ERROR>("error?"),
    single<TYPE_ACTION>("action?"),       single<TYPE_NATIVE>("native?"),
    single<TYPE_DATATYPE>("datatype?"),   single<TYPE_FUNCTION>("function?"),
    single<TYPE_OBJECT>("object?"),       single<TYPE_OP>("op?"),
    single<TYPE_ROUTINE>("routine?"),     single<TYPE_VECTOR>("vector?"),
};

template <size_t... N>
constexpr auto typeset_adders(std::index_sequence<N...>) {
  return std::array<int32_t (*)(const char*), sizeof...(N)>{&routines::add<in_typeset<N>>...};
}
constexpr auto kTypesetAdders =
    typeset_adders(std::make_index_sequence<kTypesetPredicateCount>{});

// Makes the routine! of a predicate from its spec text and sets its global word.
void define_predicate(const char* name, int32_t code, const std::string& docstring) {
  const Cell spec = lexer::load("\"" + docstring + "\" value [any-type!] return: [logic!]");
  Cell made;
  routines::make_value(&spec, nullptr, code, 0, &made);
  context::set_global(symbol::make(name), &made);
}

// ---- the image codecs' routines ----

// The encoded bytes of the image in the format of the codec (the image encoder's index); none
// when the format has no encoder. `where` is the caller's business.
template <int32_t Format>
Cell* encode_image(Cell* image, Cell*) {
  answer = none::value;
  image::encode(image, nullptr, Format, &answer);
  return &answer;
}

// A binary! is decoded from memory, a string! from its UTF-8 bytes (never taken as a file
// name), another text (file!, url! ...) names the file to read; other values are refused.
Cell* decode_image(Cell* data) {
  Cell source = *data;
  if (!data->is(TYPE_BINARY) && !series::any_string(data->type()))
    error::raise(CAT_SCRIPT, "invalid-arg", data);
  if (data->is(TYPE_STRING)) {
    binary::make_at(&source, string::length(data));
    string::append_utf8_bytes(source.node(), data);
  }
  image::decode(&source, &answer);
  return &answer;
}

// ---- the table ----

struct Named {
  const char* name;
  int32_t (*add)(const char*);
};
template <auto Fn>
constexpr Named named(const char* name) {
  return {name, &routines::add<Fn>};
}

// Every routine whose spec is in routines.xol or system-routines.xol, by the spelling of its
// key's last word.
constexpr Named kRoutines[] = {
    named<quit_return>("quit-return"),
    named<set_quiet>("set-quiet"),
    named<set_slot_quiet>("set-slot-quiet"),
    named<shift_right>("shift-right"),
    named<shift_left>("shift-left"),
    named<shift_logical>("shift-logical"),
    named<last_lf_q>("last-lf?"),
    named<get_current_dir>("get-current-dir"),
    named<set_current_dir>("set-current-dir"),
    named<create_dir>("create-dir"),
    named<exists_q>("exists?"),
    named<os_info>("os-info"),
    named<as_color>("as-color"),
    named<as_ipv4>("as-ipv4"),
    named<as_rgba>("as-rgba"),
    named<count_chars>("count-chars"),
    named<stack_size_q>("stack-size?"),
    named<pick_stack>("pick-stack"),
    named<frame_index_q>("frame-index?"),
    named<collect_calls>("collect-calls"),
    named<tracing_q>("tracing?"),
    named<set_tracing>("set-tracing"),
    named<read_clipboard>("read-clipboard"),
    named<write_clipboard>("write-clipboard"),
    named<write_stdout>("write-stdout"),
    named<json_scan::scan_json>("scan-json"),
    named<json_emit::emit_json>("emit-json"),
    named<csv_scan::read_csv_records>("read-csv-records"),
    named<gc_active_q>("active?"),
    named<gc_series_cycles>("series-cycles"),
    named<gc_nodes_cycles>("nodes-cycles"),
    named<float_on_change>("on-change*"),
    named<encode_image<1>>("png/encode"),
    named<decode_image>("png/decode"),
    named<encode_image<3>>("jpeg/encode"),
    named<decode_image>("jpeg/decode"),
    named<encode_image<0>>("bmp/encode"),
    named<decode_image>("bmp/decode"),
    named<encode_image<2>>("gif/encode"),
    named<decode_image>("gif/decode"),
    named<encode_image<4>>("tiff/encode"),
    named<decode_image>("tiff/decode"),
    named<xolbin::encode_routine>("xolbin/encode*"),
    named<xolbin::decode_routine>("xolbin/decode"),
    named<console_terminal::read_console_line>("read-console-line"),
    named<console_terminal::console_size>("console-size"),
};

// The code ids of kRoutines, filled by register_routines.
int32_t codes[std::size(kRoutines)];

// The word a key names: itself, or the last word of a set-path.
const Cell* last_word(const Cell* key) {
  if (key->is(TYPE_SET_WORD)) return key;
  return block::tail(key) - 1;
}

// The code of a key's routine: a set-path's last two words ("png/decode") name it when the
// table has them (fields of the same name in several records), else its last word alone.
int32_t code_of(const Cell* key) {
  std::string name(symbol::name(word::symbol_of(last_word(key))));
  if (key->is(TYPE_SET_PATH) && block::length(key) >= 2)
    name = std::string(symbol::name(word::symbol_of(last_word(key) - 1))) + "/" + name;
  for (const bool whole : {true, false}) {
    for (size_t i = 0; i < std::size(kRoutines); ++i) {
      const std::string_view entry = kRoutines[i].name;
      const size_t slash = entry.find('/');
      if (whole ? entry == name : slash == std::string_view::npos && same_symbol(
              symbol::make(kRoutines[i].name), word::symbol_of(last_word(key))))
        return codes[i];
    }
  }
  return 0;
}

// Sets the target of a key: a set-word its global word; a set-path the field it names, from
// the global word of its first element through the objects of the others. A field that holds
// a function! (a change hook, which must be a function) keeps it: the routine becomes the
// first value of its body, which calls it.
void store(const Cell* key, const Cell* value) {
  if (key->is(TYPE_SET_WORD)) {
    context::set_global(word::symbol_of(key), value);
    return;
  }
  Cell* slot = context::global_slot_of(word::symbol_of(block::head(key)));
  Cell found;
  for (const Cell* step = block::head(key) + 1; step < block::tail(key); ++step) {
    // A map's value is an object cell, which the next step goes into.
    if (slot && slot->is(TYPE_MAP)) {
      Cell key_word = word::unbound(word::symbol_of(step));
      map::select(slot, &key_word, {}, &found);
      slot = &found;
      continue;
    }
    const int32_t index = slot && slot->is(TYPE_OBJECT) ? object::field_index(slot, step) : -1;
    if (index < 0) error::raise(error::CAT_SCRIPT, "invalid-path", key, step);
    slot = context::value_at(object::context_of(slot), index);
  }
  if (slot->is(TYPE_FUNCTION) && !block::at_tail(function::body(slot)))
    *block::head(function::body(slot)) = *value;
  else
    *slot = *value;
}

}  // namespace

void register_routines() {
  routines::clear();
  for (size_t i = 0; i < std::size(kRoutines); ++i) codes[i] = kRoutines[i].add(kRoutines[i].name);
}

void bind_routines(std::string_view file) {
  const Cell body = natives_table::load_library_body(file);
  for (uint32_t i = 0; i + 1 < block::length(&body); i += 2) {
    const Cell* key = block::head(&body) + i;
    const int32_t code = code_of(key);
    Cell made;
    routines::make_value(block::head(&body) + i + 1, nullptr, code, 0, &made);
    store(key, &made);
  }
}

void define_predicates() {
  const std::string single_doc = "Returns true if the value is this type";
  for (const Predicate& predicate : kSinglePredicates)
    define_predicate(predicate.name, predicate.add(predicate.name), single_doc);
  const NodeId global = context::global();
  for (size_t n = 0; n < kTypesetPredicateCount; ++n) {
    const TypesetPredicate& predicate = kTypesetPredicates[n];
    word::load(predicate.typeset);
    typeset_slots[n] = context::find_word(global, symbol::make(predicate.typeset), true);
    std::string family(predicate.typeset);
    family.pop_back();
    define_predicate(predicate.name, kTypesetAdders[n](predicate.name),
                     "Returns true if the value is any type of " + family);
  }
}

}  // namespace xol::library
