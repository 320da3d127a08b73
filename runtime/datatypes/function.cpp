// function! and routine!: spec validation, construction, local collection, and their actions.
//
// Validation is a single walk over the spec with two states (`return:` seen, `/local` seen),
// then a caseless duplicate check; every failure names the whole spec except where the error
// is about one entry. All symbol comparisons are caseless (canonical ids).
#include "runtime/datatypes/function.h"

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/value_ops.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/memory/memory.h"
#include "runtime/memory/cycles.h"
#include "runtime/datatypes/runtime_words.h"

namespace xol {
namespace {

constexpr int32_t kCollectCapacity = 8;   // room of the block of collected locals

bool is_argument_word(TypeId type) {
  return type == TYPE_WORD || type == TYPE_LIT_WORD || type == TYPE_GET_WORD;
}

// The entries that name frame cells: arguments, refinements and locals.
bool is_frame_entry(TypeId type) { return is_argument_word(type) || type == TYPE_REFINEMENT; }


// A new record of `count` unset cells.
NodeId make_record(uint32_t count) {
  NodeId node = memory::alloc_unset_cells(count);
  memory::SeriesBuffer* buffer = memory::buffer_of(node);
  buffer->tail = buffer->head + count * uint32_t(sizeof(Cell));
  return node;
}

[[noreturn]] void bad_spec(const Cell* spec) {
  error::raise(error::CAT_SCRIPT, "bad-func-def", spec);
}

// Each element of a type block, or the value of a word element, must be a datatype!, a
// typeset! or a word!.
void check_type_block(const Cell* types) {
  Cell block = *types;
  for (uint32_t i = 0, n = block::length(&block); i < n; ++i) {
    Cell element = *(block::head(&block) + i);
    Cell value = element;
    if (element.is(TYPE_WORD)) {
      if (word::context_of(&element) == kNoNode)
        error::raise(error::CAT_SCRIPT, "no-value", &element);
      value = word::get_checked(&element);
    }
    TypeId type = value.type();
    if (type != TYPE_DATATYPE && type != TYPE_TYPESET && type != TYPE_WORD)
      error::raise(error::CAT_SCRIPT, "invalid-type-spec", &element);
  }
}

uint32_t attribute_flags(const Cell* spec, const Cell* attributes) {
  uint32_t flags = 0;
  Cell block = *attributes;
  for (uint32_t i = 0, n = block::length(&block); i < n; ++i) {
    const Cell* attribute = block::head(&block) + i;
    if (!attribute->is(TYPE_WORD)) bad_spec(spec);
    if (word::is_named(attribute, words::sym.trace)) flags |= function::kTraceFlag;
    if (word::is_named(attribute, words::sym.no_trace)) flags |= function::kNoTraceFlag;
  }
  return flags;
}

void check_duplicates(const Cell* spec) {
  uint32_t count = block::length(spec);
  for (uint32_t i = 0; i < count; ++i) {
    const Cell* entry = block::head(spec) + i;
    if (!is_frame_entry(entry->type())) continue;
    int32_t name = word::symbol_of(entry);
    for (uint32_t j = i + 1; j < count; ++j) {
      Cell later = *(block::head(spec) + j);
      if (is_frame_entry(later.type()) && word::is_named(&later, name))
        error::raise(error::CAT_SCRIPT, "dup-vars", &later);
    }
  }
}

// The walk of the spec after the attribute block.
void check_entries(const Cell* spec, uint32_t first) {
  const uint32_t count = block::length(spec);
  auto at = [&](uint32_t i) { return block::head(spec) + i; };
  auto type_at = [&](uint32_t i) { return i < count ? at(i)->type() : TYPE_UNSET; };
  bool return_seen = false, local_seen = false;
  int32_t refinements = 0;
  uint32_t i = first;
  while (i < count) {
    const Cell entry = *at(i);
    switch (entry.type()) {
      case TYPE_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
        if (local_seen && !entry.is(TYPE_WORD)) bad_spec(spec);
        if (return_seen && !local_seen) bad_spec(spec);
        if (type_at(i + 1) == TYPE_STRING && type_at(i + 2) == TYPE_BLOCK) bad_spec(spec);
        if (type_at(i + 1) == TYPE_BLOCK) {
          check_type_block(at(i + 1));
          i += 2;
        } else {
          ++i;
        }
        break;
      case TYPE_STRING:
        ++i;
        break;
      case TYPE_SET_WORD: {
        if (return_seen || local_seen || !word::is_named(&entry, words::sym.return_)) bad_spec(spec);
        if (type_at(i + 1) != TYPE_BLOCK) bad_spec(spec);
        TypeId after = type_at(i + 2);
        if (i + 2 < count && after != TYPE_REFINEMENT && after != TYPE_STRING) bad_spec(spec);
        check_type_block(at(i + 1));
        return_seen = true;
        i += 2;
        break;
      }
      case TYPE_REFINEMENT: {
        if (word::is_named(&entry, word::symbol_of(&words::refs.local))) local_seen = true;
        else if (return_seen || local_seen) bad_spec(spec);
        // A call holds the refinements it is given in arrays of that bound.
        else if (++refinements > function::kMaxRefinements) bad_spec(spec);
        if (i + 1 < count) {
          TypeId next = type_at(i + 1);
          if (!is_frame_entry(next) && next != TYPE_SET_WORD && next != TYPE_STRING)
            bad_spec(spec);
        }
        ++i;
        break;
      }
      default:
        bad_spec(spec);
    }
  }
}

// ---- local collection ----

bool holds_name(const Cell* block, const Cell* word) {
  for (Cell* entry = block::head(block); entry < block::tail(block); ++entry)
    if (entry->is(TYPE_WORD) && word::is_named(entry, word::symbol_of(word))) return true;
  return false;
}

void collect_word(const Cell* word, Cell* ignore, Cell* result) {
  if (holds_name(ignore, word)) return;
  Cell plain = *word;
  cell::set_type(&plain, TYPE_WORD);
  cell::clear_new_line(&plain);
  block::append_cell(ignore, &plain);
  block::append_cell(result, &plain);
}

bool is_loop_word(const Cell* word) {
  if (!word->is(TYPE_WORD)) return false;
  int32_t name = symbol::resolve(word::symbol_of(word));
  return name == symbol::resolve(words::sym.repeat) ||
         name == symbol::resolve(words::sym.foreach) ||
         name == symbol::resolve(words::sym.map_each);
}

void collect_body(const Cell* body, Cell* ignore, Cell* result) {
  const Cell block = *body;
  // A body that holds itself is walked once.
  if (cycles::find(block.node())) return;
  cycles::Visit visit(block.node());
  const uint32_t count = block::length(&block);
  for (uint32_t i = 0; i < count; ++i) {
    const Cell entry = *(block::head(&block) + i);
    if (entry.is(TYPE_SET_WORD)) {
      collect_word(&entry, ignore, result);
    } else if (entry.is(TYPE_BLOCK) || entry.is(TYPE_PAREN)) {
      collect_body(&entry, ignore, result);
    } else if (is_loop_word(&entry) && i + 1 < count) {
      const Cell next = *(block::head(&block) + i + 1);
      if (next.is(TYPE_WORD) || next.is(TYPE_SET_WORD)) {
        collect_word(&next, ignore, result);
      } else if (next.is(TYPE_BLOCK) && !word::is_named(&entry, words::sym.repeat)) {
        for (uint32_t j = 0, n = block::length(&next); j < n; ++j) {
          const Cell named = *(block::head(&next) + j);
          if (is_argument_word(named.type())) collect_word(&named, ignore, result);
        }
      }
    }
  }
}

int32_t find_refinement(const Cell* spec, const Cell& refinement) {
  const uint32_t count = block::length(spec);
  for (uint32_t i = 0; i < count; ++i) {
    const Cell* entry = block::head(spec) + i;
    if (entry->is(TYPE_REFINEMENT) && word::is_named(entry, word::symbol_of(&refinement)))
      return int32_t(i);
  }
  return -1;
}

}  // namespace

namespace function {


NodeId make_value(const Cell* spec, const Cell* given_body, NodeId context, int32_t code,
                  NodeId owner, uint32_t flags, Cell* result) {
  // The function owns its spec, type blocks included: the frame layout and the argument checks
  // are read from it, so a later change to the caller's block must not reach them.
  Cell spec_block;
  values::copy(spec, true, &spec_block);
  NodeId made = context != kNoNode ? context
                                   : context::make_function_context(
                                         &spec_block, true, false, context::KIND_FUNCTION);
  Cell body_copy = none::make();
  if (given_body) {
    values::copy(given_body, true, &body_copy);
    if (context == kNoNode) context::bind(&body_copy, made, false);
  }
  NodeId record_node = make_record(kRecordCells);
  Cell* cells = memory::buffer_of(record_node)->cells();
  cells[RECORD_BODY] = body_copy;
  if (code) cells[RECORD_CODE] = integer::make(code);
  if (owner != kNoNode) cells[RECORD_OWNER] = integer::make(int32_t(owner));
  // A function made while the standard library is built is the library's own: tracing skips
  // its insides, so that tools see the user's code.
  if (boot::flag) flags |= kNoTraceFlag;
  Cell value{uint32_t(TYPE_FUNCTION) | flags, made, spec_block.node(), record_node};
  *context::owner_cell(made) = value;
  *result = value;
  return made;
}

uint32_t validate_spec(const Cell* spec) {
  uint32_t flags = 0;
  uint32_t first = 0;
  if (block::length(spec) > 0 && block::head(spec)->is(TYPE_BLOCK)) {
    Cell attributes = *block::head(spec);
    flags = attribute_flags(spec, &attributes);
    first = 1;
  }
  check_entries(spec, first);
  check_duplicates(spec);
  return flags;
}

int32_t count_locals(const Cell* spec, uint32_t start, bool require) {
  const uint32_t count = block::length(spec);
  int32_t locals = 0;
  for (uint32_t i = start; i < count; ++i) {
    const Cell* entry = block::head(spec) + i;
    if (locals == 0) {
      if (entry->is(TYPE_REFINEMENT) && word::is_named(entry, word::symbol_of(&words::refs.local)))
        locals = 1;
    } else if (entry->is(TYPE_WORD)) {
      ++locals;
    }
  }
  return locals == 0 && require ? -1 : locals;
}

void set_nones(Cell* first, int32_t count) {
  for (int32_t i = 0; i < count; ++i) first[i] = i == 0 ? logic::make(false) : none::make();
}

void collect_locals(Cell* spec, const Cell* body, Cell* result) {
  block::make_at(result, kCollectCapacity);
  Cell ignore;
  values::copy(spec, false, &ignore);
  const int32_t extern_at = find_refinement(spec, words::refs.extern_);
  if (extern_at >= 0) {
    const uint32_t count = block::length(spec);
    bool after_local = false;
    for (uint32_t i = uint32_t(extern_at) + 1; i < count; ++i) {
      const Cell entry = *(block::head(spec) + i);
      if (entry.is(TYPE_REFINEMENT))
        after_local = word::is_named(&entry, word::symbol_of(&words::refs.local));
      else if (after_local && entry.is(TYPE_WORD))
        block::append_cell(result, &entry);
    }
    block::cut_at(spec, block::head_position(spec) + uint32_t(extern_at));
  }
  for (Cell* entry = block::head(&ignore); entry < block::tail(&ignore); ++entry) {
    switch (entry->type()) {
      case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD: case TYPE_REFINEMENT:
        cell::set_type(entry, TYPE_WORD);
        break;
      case TYPE_BLOCK: case TYPE_STRING: case TYPE_WORD:
        break;
      default:
        if (extern_at >= 0) error::raise(error::CAT_SCRIPT, "bad-func-extern", entry);
    }
  }
  collect_body(body, &ignore, result);
  if (block::length(result) == 0) return;
  if (count_locals(spec, 0, true) < 0) block::append_cell(spec, &words::refs.local);
  uint32_t kept = 0;
  const uint32_t collected = block::length(result);
  for (uint32_t i = 0; i < collected; ++i) {
    Cell entry = *(block::head(result) + i);
    if (word::is_named(&entry, word::symbol_of(&words::w.local))) continue;
    *(block::head(result) + kept++) = entry;
    block::append_cell(spec, &entry);
  }
  block::cut_at(result, kept);
}

void clone_for_object(Cell* function, NodeId object_context) {
  Cell old_record_body = *body(function);
  if (old_record_body.is(TYPE_NONE)) error::raise(error::CAT_SCRIPT, "bad-func-def", function);
  const NodeId old_record = function->data3;
  NodeId clone_context = context::clone_for(function, context::KIND_FUNCTION);
  Cell body_copy;
  values::copy(&old_record_body, true, &body_copy);
  context::bind(&body_copy, object_context, true);
  context::bind(&body_copy, clone_context, false);
  NodeId record_node = make_record(kRecordCells);
  Cell* cells = memory::buffer_of(record_node)->cells();
  const Cell* old_cells = memory::buffer_of(old_record)->cells();
  cells[RECORD_BODY] = body_copy;
  cells[RECORD_OWNER] = old_cells[RECORD_OWNER];
  function->data3 = record_node;
  *context::owner_cell(clone_context) = *function;
}

void make(const Cell*, const Cell* spec, TypeId, Cell* result) {
  if (!spec->is(TYPE_BLOCK) || block::length(spec) < 2) bad_spec(spec);
  Cell given_spec = *block::head(spec);
  Cell given_body = *(block::head(spec) + 1);
  if (!given_spec.is(TYPE_BLOCK) || !given_body.is(TYPE_BLOCK)) bad_spec(spec);
  uint32_t flags = validate_spec(&given_spec);
  make_value(&given_spec, &given_body, kNoNode, 0, kNoNode, flags, result);
}

void reflect(Cell* value, const Cell* field, Cell* result) {
  // Only a word names a field; anything else is as unknown as a word that names none.
  if (!word::any_word_type(field->type())) error::raise(error::CAT_INTERNAL, "not-done");
  const Cell function = *value;
  if (word::is_named(field, words::sym.spec)) {
    // A copy: the frame layout and the argument checks are read from the spec.
    const Cell spec = spec_block(&function);
    values::copy(&spec, true, result);
  } else if (word::is_named(field, words::sym.body)) {
    *result = *body(&function);
  } else if (word::is_named(field, words::sym.words)) {
    Cell list = context::word_list(context_of(&function));
    values::copy(&list, false, result);
    for (Cell* word = block::head(result); word < block::tail(result); ++word)
      word->data1 = context_of(&function);
  } else {
    error::raise(error::CAT_INTERNAL, "not-done");
  }
}

namespace {
int32_t form(const Cell*, Cell* buffer, const Cell*, int32_t part) {
  return text::append_counted(buffer, "?function?", part);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool flat, const Cell* argument,
             int32_t part, int32_t indent) {
  const Cell function = *value;
  part = text::append_counted(buffer, "func ", part);
  Cell spec = spec_block(&function);
  part = values::mold(&spec, buffer, false, all, flat, argument, part, indent);
  Cell code = *body(&function);
  if (code.is(TYPE_NONE)) return text::append_counted(buffer, " none", part);
  return values::mold(&code, buffer, false, all, flat, argument, part, indent);
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  if (value2->type() != value1->type() || !equality_or_sort_op(op)) return kNotComparable;
  return value1->data3 < value2->data3 ? -1 : value1->data3 > value2->data3 ? 1 : 0;
}
}  // namespace

void init() {
  datatype::register_type(TYPE_FUNCTION, TYPE_CONTEXT, "function!",
                          actions::ActionList()
                              .own(actions::own<ACT_MAKE>(make))
                              .own(actions::own<ACT_REFLECT>(reflect))
                              .own(actions::own<ACT_FORM>(form))
                              .own(actions::own<ACT_MOLD>(mold))
                              .own(actions::own<ACT_COMPARE>(compare)));
}

}  // namespace function

namespace routines {
namespace {

// The table of routines; code ids count from 1.
std::vector<Entry>& table() {
  static std::vector<Entry> entries;
  return entries;
}

// The datatype a spec entry's type block names first: the type of its first word's symbol, or
// TYPE_UNSET (a cell is passed) when it names another type or has no type block.
TypeId declared_type(const Cell* spec, uint32_t index) {
  if (index + 1 >= block::length(spec)) return TYPE_UNSET;
  const Cell* types = block::head(spec) + index + 1;
  if (!types->is(TYPE_BLOCK) || block::length(types) == 0) return TYPE_UNSET;
  const Cell* first = block::head(types);
  if (!first->is(TYPE_WORD)) return TYPE_UNSET;
  const struct {
    TypeId type;
    int32_t symbol;
  } passed_by_value[] = {{TYPE_LOGIC, words::sym.logic_type},
                         {TYPE_INTEGER, words::sym.integer_type},
                         {TYPE_FLOAT, words::sym.float_type}};
  for (const auto& entry : passed_by_value)
    if (word::is_named(first, entry.symbol)) return entry.type;
  return TYPE_UNSET;
}

void check_signature(const Cell* spec, const Entry& entry) {
  int32_t arguments = 0;
  const uint32_t count = block::length(spec);
  for (uint32_t i = 0; i < count; ++i) {
    const Cell* item = block::head(spec) + i;
    if (item->is(TYPE_REFINEMENT)) break;
    if (!is_argument_word(item->type())) continue;
    if (arguments >= entry.arity || declared_type(spec, i) != entry.params[arguments])
      error::raise(error::CAT_INTERNAL, "routines");
    ++arguments;
  }
  if (arguments != entry.arity) error::raise(error::CAT_INTERNAL, "routines");
}

}  // namespace

namespace detail {
int32_t add_entry(const Entry& entry) {
  table().push_back(entry);
  return int32_t(table().size());
}
}  // namespace detail

const Entry& entry(int32_t code) { return table()[size_t(code - 1)]; }

namespace {
int32_t count() { return int32_t(table().size()); }
}  // namespace

void clear() { table().clear(); }

void make_value(const Cell* spec, const Cell* given_body, int32_t code, uint32_t flags,
                Cell* result) {
  if (code < 1 || code > count()) error::raise(error::CAT_INTERNAL, "routines");
  Cell spec_block = *spec;
  int32_t words_in_spec = 0;
  for (Cell* item = block::head(&spec_block); item < block::tail(&spec_block); ++item)
    if (item->is(TYPE_WORD)) ++words_in_spec;
  if (words_in_spec > kMaxArity) bad_spec(spec);
  check_signature(&spec_block, entry(code));
  NodeId made = context::make_function_context(&spec_block, true, false, context::KIND_FUNCTION);
  NodeId record_node = make_record(function::kRecordCells);
  Cell* cells = memory::buffer_of(record_node)->cells();
  cells[function::RECORD_BODY] = given_body ? *given_body : none::make();
  cells[function::RECORD_CODE] = integer::make(code);
  cells[function::RECORD_OWNER] = integer::make(entry(code).result);
  uint32_t header = uint32_t(TYPE_ROUTINE) | (flags & kPassCellsFlag) |
                    (uint32_t(words_in_spec) << kArityShift);
  Cell value{header, made, spec_block.node(), record_node};
  *context::owner_cell(made) = value;
  *result = value;
}

int32_t arity(const Cell* routine) {
  return int32_t((routine->header >> kArityShift) & kArityMask);
}

void call(const Cell* routine, Cell* args, Cell* result) {
  const Entry& called = entry(integer::get(function::record(routine) + function::RECORD_CODE));
  for (int32_t i = 0; i < called.arity; ++i) {
    TypeId wanted = called.params[i];
    if (wanted != TYPE_UNSET && !args[i].is(wanted)) {
      Cell type = datatype::make(args[i].type());
      error::raise(error::CAT_SCRIPT, "expect-arg", routine, &type);
    }
  }
  called.thunk(args, result);
}

namespace {
int32_t form(const Cell*, Cell* buffer, const Cell*, int32_t part) {
  return text::append_counted(buffer, "?routine?", part);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool flat, const Cell* argument,
             int32_t part, int32_t indent) {
  const Cell routine = *value;
  part = text::append_counted(buffer, "routine ", part);
  Cell spec = function::spec_block(&routine);
  part = values::mold(&spec, buffer, false, all, flat, argument, part, indent);
  Cell code = *function::body(&routine);
  if (!code.is(TYPE_BLOCK)) part = text::append_counted(buffer, " ", part);
  return values::mold(&code, buffer, false, all, flat, argument, part, indent);
}
}  // namespace

void init() {
  datatype::register_type(TYPE_ROUTINE, TYPE_FUNCTION, "routine!",
                          actions::ActionList()
                              .inherit({ACT_REFLECT})
                              .own(actions::own<ACT_FORM>(form))
                              .own(actions::own<ACT_MOLD>(mold))
                              .own(actions::own<ACT_COMPARE>(function::compare)));
}

}  // namespace routines

}  // namespace xol
