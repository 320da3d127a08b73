// port!: making a port from a scheme, and forwarding each action to the actor.
//
// Each forwarding routine turns its typed arguments back into the cells the actor's function
// receives: the action's own arguments, then a flag and (for a refinement with an argument)
// its value per refinement, in the order of the action's spec.
#include "runtime/datatypes/port.h"

#include <initializer_list>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/evaluator_hooks.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/datatypes/runtime_words.h"

namespace xol::port {
namespace {
void do_action(const Cell* action, const Cell* args, int32_t count, Cell* result);

constexpr const char* kFieldNames[kFieldCount] = {"spec", "scheme", "actor", "awake",
                                                  "state", "data", "extra"};
constexpr int32_t kMaxForwarded = 24;   // the port, arguments and refinements of `find`

Cell flag(bool given) { return logic::make(given); }
Cell optional(const Cell* argument) { return argument ? *argument : none::make(); }
Cell optional_count(int32_t count, bool given) {
  return given ? integer::make(count) : none::make();
}

Cell field_word(const char* name) { return word::unbound(symbol::make(name)); }

// The field of an object by name, or null.
Cell* named_field(const Cell* object, const char* name) {
  const Cell word = field_word(name);
  const int32_t index = object::field_index(object, &word);
  return index < 0 ? nullptr : context::value_at(object::context_of(object), index);
}

// A new object with the port's fields, all none: a copy of system/standard/port when the
// library made one with those fields.
void blank_port(Cell* result) {
  const Cell* standard = object::system_field({"standard", "port"});
  if (standard && standard->is(TYPE_OBJECT) && object::starts_with_fields(standard, kFieldNames)) {
    object::copy(const_cast<Cell*>(standard), nullptr, false, nullptr, result);
    return;
  }
  object::make_at(result, kFieldCount);
  const Cell blank = none::make();
  for (const char* name : kFieldNames) {
    const Cell word = field_word(name);
    context::add_value(object::context_of(result), &word, &blank);
  }
}

// The spec object: an object as given, or one made from a block with system/standard/url-parts
// as its prototype.
void spec_object(const Cell* spec, Cell* result) {
  if (spec->is(TYPE_OBJECT)) {
    *result = *spec;
    return;
  }
  const Cell* parts = object::system_field({"standard", "url-parts"});
  Cell prototype = parts && parts->is(TYPE_OBJECT) ? *parts : datatype::make(TYPE_OBJECT);
  object::make(&prototype, spec, TYPE_OBJECT, result);
}

// The scheme of that name in system/schemes (an object of schemes, or a block of name/scheme
// pairs), or none.
Cell find_scheme(const Cell* name) {
  const Cell* schemes = object::system_field({"schemes"});
  if (!schemes) return none::make();
  if (schemes->is(TYPE_OBJECT)) {
    const Cell* found = object::select_slot(schemes, name);
    return *found;
  }
  if (schemes->is(TYPE_BLOCK)) {
    const Cell* found = block::select_word(schemes, name, false);
    if (found) return *found;
  }
  return none::make();
}

// Frame cells that the function's spec declares before /local.
int32_t frame_cells(const Cell* function) {
  const Cell spec = function::spec_block(function);
  int32_t cells = 0;
  for (const Cell* entry = block::head(&spec); entry < block::tail(&spec); ++entry) {
    switch (entry->type()) {
      case TYPE_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
        ++cells;
        break;
      case TYPE_REFINEMENT:
        if (word::is_named(entry, word::symbol_of(&words::refs.local))) return cells;
        ++cells;
        break;
      default:
        break;
    }
  }
  return cells;
}

void forward(Cell* port, const Cell& action, std::initializer_list<Cell> arguments,
             Cell* result) {
  Cell cells[kMaxForwarded];
  int32_t count = 0;
  cells[count++] = *port;
  for (const Cell& argument : arguments) cells[count++] = argument;
  do_action(&action, cells, count, result);
}

// ---- the forwarding routines ----

void insert_options(Cell* port, const Cell& action, Cell* value, const InsertOptions& options,
                    Cell* result) {
  forward(port, action,
          {*value, flag(options.part >= 0), optional_count(options.part, options.part >= 0),
           flag(options.only), flag(options.dup != 1), optional_count(options.dup, options.dup != 1)},
          result);
}

void append(Cell* series, Cell* value, const InsertOptions& options, bool at_tail,
            Cell* result) {
  insert_options(series, at_tail ? words::w.append : words::w.insert, value, options, result);
}

void change(Cell* series, Cell* value, const InsertOptions& options, Cell* result) {
  insert_options(series, words::w.change, value, options, result);
}

// The action's word is a member of words::w named by a member pointer: clang 14 takes
// no address inside an object as a template argument.
template <Cell words::Words::*Word>
void unary(Cell* value, Cell* result) {
  forward(value, words::w.*Word, {}, result);
}

template <Cell words::Words::*Word>
void binary(Cell* value1, Cell* value2, Cell* result) {
  forward(value1, words::w.*Word, {*value2}, result);
}

void copy(Cell* value, const Cell* part, bool deep, const Cell* types, Cell* result) {
  forward(value, words::w.copy,
          {flag(part), optional(part), flag(deep), flag(types), optional(types)}, result);
}

void find_or_select(Cell* series, const Cell& action, Cell* value, const FindOptions& o,
                    bool all_refinements, Cell* result) {
  Cell cells[kMaxForwarded];
  int32_t count = 0;
  const Cell listed[] = {*series,           *value,          flag(o.part),
                         optional(o.part),  flag(o.only),    flag(o.case_sensitive),
                         flag(o.same),      flag(o.any),     flag(o.with),
                         optional(o.with),  flag(o.skip),    optional(o.skip),
                         flag(o.last),      flag(o.reverse), flag(o.tail),
                         flag(o.match)};
  constexpr int32_t kSelectCells = 14;   // select has neither /tail nor /match
  const int32_t used = all_refinements ? int32_t(sizeof listed / sizeof listed[0]) : kSelectCells;
  for (int32_t i = 0; i < used; ++i) cells[count++] = listed[i];
  do_action(&action, cells, count, result);
}

void find(Cell* series, Cell* value, const FindOptions& options, Cell* result) {
  find_or_select(series, words::w.find, value, options, true, result);
}

void select(Cell* series, Cell* value, const FindOptions& options, Cell* result) {
  find_or_select(series, words::w.select, value, options, false, result);
}

int32_t length_q(const Cell* series) {
  Cell port = *series;
  Cell result;
  forward(&port, words::w.length_q, {}, &result);
  return result.is(TYPE_INTEGER) ? integer::get(&result) : -1;
}

void move(Cell* origin, Cell* target, const Cell* part, Cell* result) {
  forward(origin, words::w.move, {*target, flag(part), optional(part)}, result);
}

void pick(Cell* series, int32_t, const Cell* index, Cell* result) {
  forward(series, words::w.pick, {*index}, result);
}

void poke(Cell* series, int32_t, const Cell* index, Cell* value, Cell* result) {
  forward(series, words::w.poke, {*index, *value}, result);
}

void put(Cell* series, Cell* key, Cell* value, bool case_sensitive, Cell* result) {
  forward(series, words::w.put, {*key, *value, flag(case_sensitive)}, result);
}

void remove(Cell* series, const Cell* part, const Cell* key, Cell* result) {
  forward(series, words::w.remove, {flag(part), optional(part), flag(key), optional(key)},
          result);
}

void reverse(Cell* series, const Cell* part, const Cell* skip, Cell* result) {
  forward(series, words::w.reverse, {flag(part), optional(part), flag(skip), optional(skip)},
          result);
}

void sort(Cell* series, const SortOptions& o, Cell* result) {
  forward(series, words::w.sort,
          {flag(o.case_sensitive), flag(o.skip), optional(o.skip), flag(o.compare),
           optional(o.compare), flag(o.part), optional(o.part), flag(o.all), flag(o.reverse),
           flag(o.stable)},
          result);
}

void take(Cell* series, const Cell* part, bool deep, bool last, Cell* result) {
  forward(series, words::w.take, {flag(part), optional(part), flag(deep), flag(last)}, result);
}

void trim(Cell* series, const TrimOptions& o, Cell* result) {
  forward(series, words::w.trim,
          {flag(o.head), flag(o.tail), flag(o.automatic), flag(o.lines), flag(o.all),
           flag(o.with), optional(o.with)},
          result);
}

void modify(Cell* target, Cell* field, Cell* value, bool case_sensitive, Cell* result) {
  forward(target, words::w.modify, {*field, *value, flag(case_sensitive)}, result);
}

// open's refinements: /new /read /write /seek /allow access.
void open_with(Cell* port, bool create_new, bool read, bool write, bool seek,
               const Cell* allow, Cell* result) {
  forward(port, words::w.open,
          {flag(create_new), flag(read), flag(write), flag(seek), flag(allow), optional(allow)},
          result);
}

void open(Cell* port, const OpenOptions& options, Cell* result) {
  open_with(port, options.create_new, options.read, options.write, options.seek, options.allow,
            result);
}

// read is open, copy and close: copy's result is read's result. The port is held apart from
// `result`, which may be the very cell the port was passed in.
void read(Cell* source, const ReadOptions& options, Cell* result) {
  Cell port = *source;
  Cell ignored;
  open_with(&port, false, false, false, options.seek != nullptr, nullptr, &ignored);
  copy(&port, options.part, false, nullptr, result);
  const Cell copied = *result;
  forward(&port, words::w.close, {}, &ignored);
  *result = copied;
}

// write is open for writing, insert of the data (limited to an integer part), copy and close.
void write(Cell* destination, Cell* data, const WriteOptions& options, Cell* result) {
  Cell port = *destination;
  Cell ignored;
  open_with(&port, false, false, true, options.seek != nullptr, nullptr, &ignored);
  const bool counted = options.part && options.part->is(TYPE_INTEGER);
  InsertOptions insert_part;
  insert_part.part = counted ? integer::get(options.part) : -1;
  insert_options(&port, words::w.insert, data, insert_part, &ignored);
  copy(&port, options.part, false, nullptr, result);
  const Cell copied = *result;
  forward(&port, words::w.close, {}, &ignored);
  *result = copied;
}

}  // namespace

Cell* field(const Cell* port, Field which) {
  return named_field(port, kFieldNames[which]);
}

namespace {
// The actor object; an actor field that is not an object raises access `invalid-port`.
Cell get_actor(const Cell* port) {
  const Cell* actor = field(port, FIELD_ACTOR);
  if (!actor || !actor->is(TYPE_OBJECT)) error::raise(error::CAT_ACCESS, "invalid-port");
  return *actor;
}

// Calls the actor's function named by `action` with the cells `args[0..count)` (the port
// first); raises access `no-port-action` with the word when the actor has no such function.
void call_actor(const Cell* actor, const Cell* action, const Cell* args, int32_t count,
                Cell* result) {
  const Cell* slot = object::select_slot(actor, action);
  const Cell function = *slot;
  if (!function.is(TYPE_FUNCTION) || frame_cells(&function) != count)
    error::raise(error::CAT_ACCESS, "no-port-action", action);
  evaluator_hooks::call_function(&function, object::context_of(actor), action, args, count,
                                 result);
}

// `port/do-action`: call_actor on the port's own actor.
void do_action(const Cell* action, const Cell* args, int32_t count, Cell* result) {
  const Cell actor = get_actor(&args[0]);
  call_actor(&actor, action, args, count, result);
}
}  // namespace

void make(const Cell*, const Cell* spec, TypeId, Cell* result) {
  Cell spec_value;
  spec_object(spec, &spec_value);
  const Cell* scheme_slot = named_field(&spec_value, kFieldNames[FIELD_SCHEME]);
  if (!scheme_slot || !scheme_slot->is(TYPE_WORD))
    error::raise(error::CAT_ACCESS, "no-scheme", &spec_value);
  const Cell scheme_name = *scheme_slot;

  Cell made;
  blank_port(&made);
  object::make_from(object::context_of(&made), object::kPortClass, kNoNode, &made);
  cell::set_type(&made, TYPE_PORT);
  *context::owner_cell(object::context_of(&made)) = made;
  *field(&made, FIELD_SPEC) = spec_value;
  *field(&made, FIELD_SCHEME) = scheme_name;

  const Cell scheme = find_scheme(&scheme_name);
  if (!scheme.is(TYPE_OBJECT)) error::raise(error::CAT_ACCESS, "unknown-scheme", &spec_value);
  const Cell* actor = named_field(&scheme, kFieldNames[FIELD_ACTOR]);
  if (!actor || !(actor->is(TYPE_OBJECT) || actor->is(TYPE_HANDLE)))
    error::raise(error::CAT_ACCESS, "invalid-actor", &spec_value);
  const Cell actor_value = *actor;
  *field(&made, FIELD_ACTOR) = actor_value;
  *result = made;
}

namespace {
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
             const Cell* argument, int32_t part, int32_t indent) {
  return object::mold_as("make port! ", value, buffer, only, all, flat, argument, part, indent);
}

int32_t form(const Cell* value, Cell* buffer, const Cell* argument, int32_t part) {
  return mold(value, buffer, false, false, false, argument, part, 0);
}
}  // namespace

void init() {
  using actions::own;
  datatype::register_type(
      TYPE_PORT, TYPE_OBJECT, "port!",
      actions::ActionList()
          .own(own<ACT_MAKE>(make))
          .inherit({ACT_REFLECT, ACT_EVAL_PATH, ACT_COMPARE})
          .own(own<ACT_FORM>(form))
          .own(own<ACT_MOLD>(mold))
          .own(own<ACT_APPEND>(append))
          .own(own<ACT_AT>(binary<&words::Words::at>))
          .own(own<ACT_BACK>(unary<&words::Words::back>))
          .own(own<ACT_CHANGE>(change))
          .own(own<ACT_CLEAR>(unary<&words::Words::clear>))
          .own(own<ACT_COPY>(copy))
          .own(own<ACT_FIND>(find))
          .own(own<ACT_HEAD>(unary<&words::Words::head>))
          .own(own<ACT_HEAD_Q>(unary<&words::Words::head_q>))
          .own(own<ACT_INDEX_Q>(unary<&words::Words::index_q>))
          .own(own<ACT_INSERT>(append))
          .own(own<ACT_LENGTH_Q>(length_q))
          .own(own<ACT_MOVE>(move))
          .own(own<ACT_NEXT>(unary<&words::Words::next>))
          .own(own<ACT_PICK>(pick))
          .own(own<ACT_POKE>(poke))
          .own(own<ACT_PUT>(put))
          .own(own<ACT_REMOVE>(remove))
          .own(own<ACT_REVERSE>(reverse))
          .own(own<ACT_SELECT>(select))
          .own(own<ACT_SORT>(sort))
          .own(own<ACT_SKIP>(binary<&words::Words::skip>))
          .own(own<ACT_SWAP>(binary<&words::Words::swap>))
          .own(own<ACT_TAIL>(unary<&words::Words::tail>))
          .own(own<ACT_TAIL_Q>(unary<&words::Words::tail_q>))
          .own(own<ACT_TAKE>(take))
          .own(own<ACT_TRIM>(trim))
          .own(own<ACT_CREATE>(unary<&words::Words::create>))
          .own(own<ACT_CLOSE>(unary<&words::Words::close>))
          .own(own<ACT_DELETE>(unary<&words::Words::delete_>))
          .own(own<ACT_MODIFY>(modify))
          .own(own<ACT_OPEN>(open))
          .own(own<ACT_QUERY>(unary<&words::Words::query>))
          .own(own<ACT_READ>(read))
          .own(own<ACT_RENAME>(binary<&words::Words::rename>))
          .own(own<ACT_UPDATE>(unary<&words::Words::update>))
          .own(own<ACT_WRITE>(write)));
}

}  // namespace xol::port
