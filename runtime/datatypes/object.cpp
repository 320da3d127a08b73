// object!: construction, copying with method cloning, the change hooks and the actions that
// error! and port! share.
//
// Cells and pointers into buffers are re-read after every call that can allocate (binding,
// copying, evaluating, a hook call): the context's values buffer grows when words are added
// and moves when the collector compacts.
#include "runtime/datatypes/object.h"

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/evaluator_hooks.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/value_ops.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/datatypes/hooks.h"
#include "runtime/memory/memory.h"
#include "runtime/datatypes/owners.h"
#include "runtime/memory/cycles.h"
#include "runtime/datatypes/runtime_words.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string_storage.h"

namespace xol::object {
namespace {
void fire_on_change(const Cell* object, const Cell* word, const Cell* old_value,
                    const Cell* new_value);

constexpr uint32_t kRecordCells = 2;
constexpr uint32_t kIndexShift = 16;
constexpr uint32_t kLocalsMask = 0xFFFF;
constexpr int32_t kNoHook = -1;
constexpr int32_t kBodyCellsPerField = 2;

int32_t class_counter = kPortClass;

Cell shared_none{TYPE_NONE, 0, 0, 0};

int32_t symbol_of_word(const Cell& word) { return word::symbol_of(&word); }

bool is_hook_word(const Cell* word) {
  return word::is_named(word, symbol_of_word(words::w.on_change)) ||
         word::is_named(word, symbol_of_word(words::w.on_deep_change));
}

Cell* record_cells(const Cell* object) { return memory::buffer_of(object->data3)->cells(); }

int32_t entry_index(const Cell& entry) { return int32_t(entry.data2) >> kIndexShift; }

Cell record_entry(int32_t index, int32_t locals, NodeId spec) {
  return Cell{TYPE_PAIR, 0, (uint32_t(index) << kIndexShift) | (uint32_t(locals) & kLocalsMask),
              spec};
}

int32_t locals_of(const Cell* function) {
  Cell spec = function::spec_block(function);
  return function::count_locals(&spec, 0, false);
}

// Recounts the hook's locals when its function's spec is not the one they were counted from.
void refresh_entry(const Cell* object, hooks::Hook hook, const Cell* function) {
  Cell* entry = record_cells(object) + hook;
  if (entry->data3 == function->data2) return;
  *entry = record_entry(entry_index(*entry), locals_of(function), function->data2);
}

// Copies field `index` of a copied object: a function is cloned for the new context; with
// `types`, a value of those types is copied deeply (its own copy passing the types on), else a
// series is copied deeply when asked.
void copy_field(NodeId target, int32_t index, bool deep, const Cell* types) {
  const Cell value = *context::value_at(target, index);
  Cell copied = value;
  if (value.is(TYPE_FUNCTION)) {
    function::clone_for_object(&copied, target);
  } else if (types ? block::type_in(types, value.type())
                   : deep && values::is_copied_series(value.type())) {
    CopyRoutine routine = actions::find<ACT_COPY>(value.type());
    if (!routine) return;
    Cell source = value;
    routine(&source, nullptr, true, types, &copied);
  } else {
    return;
  }
  *context::value_at(target, index) = copied;
}

// A new object with a fresh context of the same words as `source`, a copy of its values
// (methods cloned), its class id and its record.
void clone(const Cell* source, bool deep, const Cell* types, Cell* result) {
  Cell copied = *source;
  const NodeId from = context_of(source);
  const NodeId target = context::clone_for(&copied, context::KIND_OBJECT);
  const int32_t count = context::word_count(from);
  for (int32_t i = 0; i < count; ++i) {
    Cell value = *context::value_at(from, i);
    *buffer::append_unset(context::context_cell(target)->data2) = value;
  }
  *context::owner_cell(target) = copied;
  for (int32_t i = 0; i < count; ++i) copy_field(target, i, deep, types);
  *result = copied;
}

// Adds the words of `source` that `target` lacks and copies every source value in (methods
// cloned); answers whether words were added.
bool merge(const Cell* source, Cell* target) {
  const NodeId from = context_of(source);
  const NodeId into = context_of(target);
  const int32_t before = context::word_count(into);
  for (int32_t i = 0; i < context::word_count(from); ++i) {
    Cell word = *context::word_at(from, i);
    Cell value = *context::value_at(from, i);
    const int32_t index = context::add_word(into, &word);
    *context::value_at(into, index) = value;
    copy_field(into, index, false, nullptr);
  }
  return context::word_count(into) > before;
}

void clear_new_lines(NodeId context) {
  Cell* first = context::values(context);
  for (int32_t i = 0; i < context::word_count(context); ++i) cell::clear_new_line(first + i);
}

void mark_owned(Cell* object) {
  Cell owner = *object;
  Cell blank = none::make();
  ownership::set_deep_flag(&owner, &owner, &blank);
}

// A copy keeps its source's hooks, so it owns the series it holds as a made object does.
void own_if_watched(Cell* object) {
  if (has_deep_hook(object)) mark_owned(object);
}

// Counts and compares fields for `compare`; both contexts are already on the cycles stack.
int32_t compare_fields(NodeId context1, NodeId context2, int32_t op) {
  const int32_t count = context::word_count(context1);
  for (int32_t i = 0; i < count; ++i) {
    const Cell word1 = *context::word_at(context1, i);
    const Cell word2 = *context::word_at(context2, i);
    int32_t symbol1 = symbol::resolve(word::symbol_of(&word1));
    int32_t symbol2 = symbol::resolve(word::symbol_of(&word2));
    if (symbol1 != symbol2) return symbol1 < symbol2 ? -1 : 1;
    const Cell value1 = *context::value_at(context1, i);
    const Cell value2 = *context::value_at(context2, i);
    TypeId type1 = value1.type(), type2 = value2.type();
    auto numeric = [](TypeId type) {
      return type == TYPE_INTEGER || type == TYPE_FLOAT || type == TYPE_PERCENT;
    };
    int32_t result;
    if (type1 == type2 || (word::any_word_type(type1) && word::any_word_type(type2)) ||
        (numeric(type1) && numeric(type2))) {
      result = actions::get<ACT_COMPARE>(type1)(&value1, &value2, op);
    } else {
      result = type1 < type2 ? -1 : 1;
    }
    if (result != 0) return result;
  }
  return 0;
}

// Fields a set-from assigns: all but the hooks when the object has a record.
bool assigned(const Cell* object, int32_t index) {
  return object->data3 == kNoNode || !is_hook_word(context::word_at(context_of(object), index));
}

void store_field(Cell* object, int32_t index, const Cell* value) {
  const NodeId context = context_of(object);
  const Cell new_value = *value;
  context::word_at(context, index)->header |= context::kChangedMark;
  if (object->data3 == kNoNode) {
    *context::value_at(context, index) = new_value;
    return;
  }
  const Cell old_value = *context::value_at(context, index);
  *context::value_at(context, index) = new_value;
  const Cell word = *context::word_at(context, index);
  fire_on_change(object, &word, &old_value, &new_value);
}

bool logic_word(const Cell* value, Cell* result) {
  if (!value->is(TYPE_WORD)) return false;
  int32_t name = symbol::resolve(word::symbol_of(value));
  auto is = [&](int32_t symbol) { return name == symbol::resolve(symbol); };
  if (is(words::sym.true_) || is(words::sym.yes) || is(words::sym.on)) {
    *result = logic::make(true);
  } else if (is(words::sym.false_) || is(words::sym.no) || is(words::sym.off)) {
    *result = logic::make(false);
  } else if (is(words::sym.none)) {
    *result = none::make();
  } else {
    return false;
  }
  return true;
}

void check_key(const Cell* key) {
  if (!word::any_word_type(key->type()) || key->is(TYPE_ISSUE)) {
    Cell type = datatype::make(key->type());
    error::raise(error::CAT_SCRIPT, "invalid-type", &type);
  }
}

int32_t mold_field_value(const Cell* value, Cell* buffer, bool all, bool flat,
                         const Cell* argument, int32_t part, int32_t indent) {
  if (value->is(TYPE_WORD)) part = text::append_counted(buffer, "'", part);
  return values::mold(value, buffer, false, all, flat, argument, part, indent);
}

int32_t new_class_id() { return ++class_counter; }
}  // namespace

Cell* make_at(Cell* cell, int32_t size) {
  NodeId context = context::create(size, false, true, nullptr, context::KIND_OBJECT);
  *cell = Cell{TYPE_OBJECT, context, 0, kNoNode};
  *context::owner_cell(context) = *cell;
  return cell;
}

void make_from(NodeId context, int32_t class_id, NodeId record, Cell* result) {
  const NodeId values_node = context::context_cell(context)->data2;
  while (memory::buffer_of(values_node)->length() < uint32_t(context::word_count(context)))
    buffer::append_unset(values_node);
  Cell object{TYPE_OBJECT, context, uint32_t(class_id), record};
  *context::owner_cell(context) = object;
  *result = object;
}

namespace {
// Gives the object a record made from the four numbers (-1 index: no such hook), marks its
// series owned when it has an on-deep-change* index, and stores it as its context's owner.
NodeId attach_on_set(Cell* object, int32_t change_index, int32_t change_locals,
                     int32_t deep_index, int32_t deep_locals) {
  NodeId record = memory::alloc_cells(kRecordCells);
  memory::SeriesBuffer* buffer = memory::buffer_of(record);
  buffer->cells()[hooks::ON_CHANGE] = record_entry(change_index, change_locals, kNoNode);
  buffer->cells()[hooks::ON_DEEP_CHANGE] = record_entry(deep_index, deep_locals, kNoNode);
  buffer->tail = buffer->head + kRecordCells * uint32_t(sizeof(Cell));
  object->data3 = record;
  *context::owner_cell(context_of(object)) = *object;
  if (deep_index >= 0) mark_owned(object);
  return record;
}
}  // namespace

void init_on_set(Cell* object) {
  const NodeId context = context_of(object);
  int32_t indexes[kRecordCells];
  int32_t locals[kRecordCells] = {0, 0};
  const Cell* names[kRecordCells] = {&words::w.on_change, &words::w.on_deep_change};
  bool any = false;
  for (uint32_t hook = 0; hook < kRecordCells; ++hook) {
    indexes[hook] = context::find_word(context, symbol_of_word(*names[hook]), true);
    if (indexes[hook] < 0) continue;
    any = true;
    const Cell value = *context::value_at(context, indexes[hook]);
    if (!value.is(TYPE_FUNCTION)) {
      Cell type = datatype::make(value.type());
      error::raise(error::CAT_SCRIPT, "bad-field-set", names[hook], &type);
    }
    locals[hook] = locals_of(&value);
  }
  object->data3 = kNoNode;
  if (any) {
    attach_on_set(object, indexes[0] < 0 ? kNoHook : indexes[0], locals[0],
                  indexes[1] < 0 ? kNoHook : indexes[1], locals[1]);
  } else {
    *context::owner_cell(context) = *object;
  }
}

bool has_deep_hook(const Cell* object) {
  return hooks::field_index(object, hooks::ON_DEEP_CHANGE) >= 0;
}

namespace {
void fire_on_change(const Cell* object, const Cell* word, const Cell* old_value,
                    const Cell* new_value) {
  const int32_t index = hooks::field_index(object, hooks::ON_CHANGE);
  if (index < 0) return;
  const Cell function = *context::value_at(context_of(object), index);
  if (!function.is(TYPE_FUNCTION)) error::raise(error::CAT_SCRIPT, "invalid-obj-evt", &function);
  refresh_entry(object, hooks::ON_CHANGE, &function);
  Cell named = *word;
  if (word::context_of(&named) != context_of(object)) {
    cell::set_type(&named, TYPE_WORD);
    context::bind_word(context_of(object), &named);
  }
  hooks::fire_on_change(object, &named, old_value, new_value);
}
}  // namespace

void fire_on_deep_change(const Cell* object, const Cell* word, const Cell* target,
                         const Cell* action, const Cell* new_value, int32_t index,
                         int32_t part) {
  if (object->data3 == kNoNode) error::raise(error::CAT_SCRIPT, "invalid-obj-evt", object);
  const int32_t field = hooks::field_index(object, hooks::ON_DEEP_CHANGE);
  if (field < 0) return;
  const Cell function = *context::value_at(context_of(object), field);
  if (!function.is(TYPE_FUNCTION)) return;
  refresh_entry(object, hooks::ON_DEEP_CHANGE, &function);
  hooks::fire_on_deep_change(object, word, target, action, new_value, index, part);
}

int32_t field_count(const Cell* object) { return context::word_count(context_of(object)); }

int32_t field_index(const Cell* object, const Cell* word) {
  return context::find_word(context_of(object), word::symbol_of(word), true);
}

Cell* select_slot(const Cell* object, const Cell* word) {
  const int32_t index = field_index(object, word);
  if (index < 0) {
    shared_none = none::make();
    return &shared_none;
  }
  return context::value_at(context_of(object), index);
}

Cell* system_field(std::initializer_list<const char*> path) {
  if (context::global() == kNoNode) return nullptr;
  Cell* value = context::global_slot_of(words::sym.system);
  for (const char* name : path) {
    if (!value || !value->is(TYPE_OBJECT)) return nullptr;
    const Cell field = word::unbound(symbol::make(name));
    const int32_t index = field_index(value, &field);
    value = index < 0 ? nullptr : context::value_at(context_of(value), index);
  }
  return value;
}

bool starts_with_fields(const Cell* object, std::span<const char* const> names) {
  const NodeId context = context_of(object);
  if (context::word_count(context) < int32_t(names.size())) return false;
  for (size_t i = 0; i < names.size(); ++i)
    if (!word::is_named(context::word_at(context, int32_t(i)), symbol::make(names[i]))) return false;
  return true;
}

namespace {
// Clears the changed mark of every word.
void clear_changed(NodeId context) {
  Cell list = context::word_list(context);
  for (Cell* word = block::head(&list); word < block::tail(&list); ++word)
    word->header &= ~context::kChangedMark;
}

// Copies every series value of `source` deeply into the same slot of `target` (blocks bound to
// `target` with self); other values only with `copy_all`.
void copy_values(NodeId source, NodeId target, bool copy_all) {
  const int32_t count = context::word_count(source);
  for (int32_t i = 0; i < count; ++i) {
    const Cell value = *context::value_at(source, i);
    if (values::is_copied_series(value.type())) {
      Cell copied;
      values::copy(&value, true, &copied);
      if (series::any_block(copied.type())) context::bind(&copied, target, true);
      *context::value_at(target, i) = copied;
    } else if (copy_all) {
      *context::value_at(target, i) = value;
    }
  }
}
}  // namespace

void set_from(Cell* object, const Cell* source, bool any, bool only, bool some) {
  const NodeId context = context_of(object);
  const int32_t count = context::word_count(context);
  const bool spread = !only && (source->is(TYPE_BLOCK) || source->is(TYPE_OBJECT));
  // The value of field i, or null when the source leaves the field alone.
  auto value_for = [&](int32_t i, Cell* value) {
    if (!spread) {
      *value = *source;
    } else if (source->is(TYPE_BLOCK)) {
      *value = uint32_t(i) < block::length(source) ? *(block::head(source) + i) : none::make();
    } else {
      const Cell word = *context::word_at(context, i);
      const int32_t from = field_index(source, &word);
      if (from < 0) return false;
      *value = *context::value_at(context_of(source), from);
    }
    return true;
  };
  Cell value;
  if (!any) {
    for (int32_t i = 0; i < count; ++i) {
      if (assigned(object, i) && value_for(i, &value) && value.is(TYPE_UNSET)) {
        const Cell word = *context::word_at(context, i);
        error::raise(error::CAT_SCRIPT, "need-value", &word);
      }
    }
  }
  for (int32_t i = 0; i < count; ++i) {
    if (!assigned(object, i) || !value_for(i, &value)) continue;
    if (some && value.is(TYPE_NONE)) continue;
    store_field(object, i, &value);
  }
}

void construct(const Cell* prototype, const Cell* spec, bool only, Cell* result) {
  Cell made;
  if (prototype && prototype->is(TYPE_OBJECT)) {
    clone(prototype, false, nullptr, &made);
  } else {
    make_at(&made, kNewObjectSize);
    made.data2 = uint32_t(new_class_id());
    *context::owner_cell(context_of(&made)) = made;
  }
  const NodeId context = context_of(&made);
  const uint32_t count = block::length(spec);
  uint32_t run_start = 0;
  bool in_run = false;
  for (uint32_t i = 0; i <= count; ++i) {
    const bool at_end = i == count;
    const Cell entry = at_end ? none::make() : *(block::head(spec) + i);
    if (entry.is(TYPE_SET_WORD)) {
      if (!in_run) run_start = i;
      in_run = true;
      context::add_word(context, &entry);
      continue;
    }
    if (!in_run) continue;
    Cell value = entry;
    if (!only) logic_word(&entry, &value);
    for (uint32_t k = run_start; k < i; ++k) {
      const Cell word = *(block::head(spec) + k);
      const int32_t index = context::find_word(context, word::symbol_of(&word), true);
      *context::value_at(context, index) = value;
    }
    in_run = false;
  }
  make_from(context, class_of(&made), made.data3, result);
  own_if_watched(result);
}

int32_t mold_as(const char* prefix, const Cell* object, Cell* buffer, bool only, bool all,
                bool flat, const Cell* argument, int32_t part, int32_t indent) {
  const Cell value = *object;
  if (cycles::detect(value, buffer->node(), part, true)) return part;
  cycles::Visit visit(cycles::key_of(value));
  const bool lines = !flat && !only;
  if (!only) {
    part = text::append_counted(buffer, prefix, part);
    part = text::append_counted(buffer, "[", part);
    if (lines) part = text::append_counted(buffer, "\n", part);
  }
  const NodeId context = context_of(&value);
  bool first = true;
  // Like the block and map walks, stop once the limit is used up: the caller cuts the text
  // there, and a deep object would otherwise be walked to its end (or to too-deep).
  for (int32_t i = 0; i < context::word_count(context) && part > 0; ++i) {
    const Cell word = *context::word_at(context, i);
    if (!all && is_hook_word(&word)) continue;
    if (!first && !lines) part = text::append_counted(buffer, flat ? " " : "\n", part);
    first = false;
    if (lines) part = string::append_indent(buffer->node(), uint32_t(indent + 1), part);
    part = text::append_counted(buffer, symbol::name(word::symbol_of(&word)), part);
    part = text::append_counted(buffer, ": ", part);
    const Cell field = *context::value_at(context, i);
    part = mold_field_value(&field, buffer, all, flat, argument, part, indent + 1);
    if (lines) part = text::append_counted(buffer, "\n", part);
  }
  if (!only) {
    if (lines) part = string::append_indent(buffer->node(), uint32_t(indent), part);
    part = text::append_counted(buffer, "]", part);
  }
  return part;
}

void make(const Cell* prototype, const Cell* spec, TypeId, Cell* result) {
  const bool with_prototype = prototype && prototype->is(TYPE_OBJECT);
  Cell made;
  if (with_prototype) {
    // The copy keeps the prototype's record; it is left out until init_on_set rebuilds it, so
    // the spec's assignments fire nothing.
    clone(prototype, false, nullptr, &made);
    make_from(context_of(&made), class_of(&made), kNoNode, &made);
  } else {
    make_at(&made, kNewObjectSize);
  }
  if (!spec->is(TYPE_BLOCK) && !spec->is(TYPE_OBJECT))
    error::raise(error::CAT_SYNTAX, "malconstruct", spec);
  const NodeId context = context_of(&made);
  bool grew;
  if (spec->is(TYPE_OBJECT)) {
    grew = merge(spec, &made);
  } else {
    Cell body = *spec;
    grew = context::collect_set_words(context, &body);
    context::bind(&body, context, true);
    if (with_prototype) copy_values(context_of(prototype), context, false);
    Cell ignored;
    evaluator_hooks::eval_block(&body, &ignored);
    clear_changed(context);
    clear_new_lines(context);
  }
  const int32_t class_id =
      grew || !with_prototype ? new_class_id() : class_of(prototype);
  make_from(context, class_id, kNoNode, &made);
  init_on_set(&made);
  *result = made;
}

void reflect(Cell* value, const Cell* field, Cell* result) {
  // Only a word names a field; anything else is as unknown as a word that names none.
  if (!word::any_word_type(field->type())) error::raise(error::CAT_INTERNAL, "not-done");
  const Cell object = *value;
  const NodeId context = context_of(&object);
  const int32_t name = symbol::resolve(word::symbol_of(field));
  auto is = [&](int32_t symbol) { return name == symbol::resolve(symbol); };
  const int32_t count = context::word_count(context);
  if (is(words::sym.words) || is(symbol_of_word(words::w.changed))) {
    const bool changed_only = !is(words::sym.words);
    block::make_at(result, count);
    for (int32_t i = 0; i < count; ++i) {
      Cell word = *context::word_at(context, i);
      if (changed_only && !(word.header & context::kChangedMark)) continue;
      word.header &= ~context::kChangedMark;
      block::append_cell(result, &word);
    }
  } else if (is(words::sym.class_)) {
    *result = integer::make(class_of(&object));
  } else if (is(words::sym.values)) {
    block::make_at(result, count);
    for (int32_t i = 0; i < count; ++i) {
      Cell field_value = *context::value_at(context, i);
      block::append_cell(result, &field_value);
    }
  } else if (is(words::sym.body)) {
    block::make_at(result, count * kBodyCellsPerField);
    for (int32_t i = 0; i < count; ++i) {
      Cell word = *context::word_at(context, i);
      word.header = TYPE_SET_WORD | kNewLineFlag;
      Cell field_value = *context::value_at(context, i);
      if (field_value.is(TYPE_WORD)) cell::set_type(&field_value, TYPE_LIT_WORD);
      if (field_value.is(TYPE_PATH)) cell::set_type(&field_value, TYPE_LIT_PATH);
      block::append_cell(result, &word);
      block::append_cell(result, &field_value);
    }
  } else if (is(words::sym.owner)) {
    *result = logic::make(context::flags(&object) & context::kOwnerWalkedFlag);
  } else if (is(words::sym.events_q)) {
    *result = logic::make(object.data3 != kNoNode);
  } else {
    error::raise(error::CAT_INTERNAL, "not-done");
  }
}

namespace {
int32_t form(const Cell* value, Cell* buffer, const Cell* argument, int32_t part) {
  return mold_as("", value, buffer, true, false, false, argument, part, 0);
}
}  // namespace

int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
             const Cell* argument, int32_t part, int32_t indent) {
  return mold_as("make object! ", value, buffer, only, all, flat, argument, part, indent);
}

void eval_path(const PathStep& step, Cell* result) {
  const Cell object = *step.parent;
  Cell* element = step.element;
  const NodeId context = context_of(&object);
  const TypeId type = element->type();
  if (type != TYPE_WORD && type != TYPE_SET_WORD && type != TYPE_GET_WORD &&
      type != TYPE_LIT_WORD)
    error::raise(error::CAT_SCRIPT, "invalid-path", step.path, element);
  if (word::context_of(element) != context || word::index_of(element) < 0)
    context::bind_word(context, element);
  const bool bound = word::context_of(element) == context && word::index_of(element) >= 0;
  auto missing = [&] {
    if (step.get && step.last) {
      cell::set_unset(result);
      return;
    }
    error::raise(error::CAT_SCRIPT, step.last ? "invalid-path" : "unset-path", step.path,
                 element);
  };
  if (step.value) {
    if (!bound) {
      if (word::is_named(element, words::sym.self))
        error::raise(error::CAT_SCRIPT, "invalid-path", step.path, element);
      missing();
      return;
    }
    const Cell new_value = *step.value;
    const Cell old_value = *context::value_at(context, word::index_of(element));
    context::set_in(element, &new_value, context, false);
    if (object.data3 != kNoNode) fire_on_change(&object, element, &old_value, &new_value);
    *result = new_value;
    return;
  }
  if (!bound) return missing();
  const Cell found = *context::value_at(context, word::index_of(element));
  if (found.is(TYPE_UNSET)) return missing();
  *result = found;
}

namespace {
int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  // error! and port! share this routine: only values of one type compare, so that equality
  // reads the same from both sides.
  if (!value2->is(value1->type())) return kNotComparable;
  const NodeId context1 = context_of(value1), context2 = context_of(value2);
  if (context1 == context2) return 0;
  if (op == COMP_SAME) return -1;
  if (cycles::find(context1)) return cycles::find(context2) ? 0 : -1;
  const int32_t count1 = context::word_count(context1);
  const int32_t count2 = context::word_count(context2);
  if (count1 != count2) return count1 < count2 ? -1 : 1;
  if (count1 == 0) return 0;
  cycles::Visit first(context1);
  cycles::Visit second(context2);
  return compare_fields(context1, context2, op);
}
}  // namespace

void copy(Cell* value, const Cell* part, bool deep, const Cell* types, Cell* result) {
  if (part) {
    Cell word = words::refs.part;
    cell::set_type(&word, TYPE_WORD);
    error::raise(error::CAT_SCRIPT, "invalid-refine-arg", &word, part);
  }
  const Cell source = *value;
  if (types && cycles::find(context_of(&source))) error::raise(error::CAT_INTERNAL, "no-cycle");
  cycles::Visit visit(context_of(&source));
  clone(&source, deep, types, result);
  own_if_watched(result);
}

void select(Cell* series, Cell* value, const FindOptions&, Cell* result) {
  check_key(value);
  *result = *select_slot(series, value);
}

namespace {
void put(Cell* series, Cell* key, Cell* value, bool case_sensitive, Cell* result) {
  check_key(key);
  Cell element = *key;
  Cell path = *series;
  PathStep step{series, &element, value, &path, nullptr, nullptr, 0, case_sensitive,
                false, true, true};
  eval_path(step, result);
}
}  // namespace

void modify(Cell* target, Cell* field, Cell* value, bool, Cell* result) {
  if (!word::any_word_type(field->type())) error::raise(error::CAT_SCRIPT, "invalid-arg", field);
  const int32_t name = symbol::resolve(word::symbol_of(field));
  auto is = [&](int32_t symbol) { return name == symbol::resolve(symbol); };
  if (is(symbol_of_word(words::w.changed))) {
    if (!value->is(TYPE_NONE)) error::raise(error::CAT_SCRIPT, "invalid-arg", value);
    clear_changed(context_of(target));
  } else if (is(words::sym.owner)) {
    mark_owned(target);
  } else if (is(words::sym.owned)) {
    if (value->is(TYPE_NONE)) {
      ownership::unbind(target);
    } else if (value->is(TYPE_BLOCK) && block::length(value) >= 2 &&
               block::head(value)->is(TYPE_OBJECT) &&
               word::any_word_type((block::head(value) + 1)->type())) {
      // The owner is told of changes through its hook record: it must be an object.
      Cell owner = *block::head(value);
      Cell word = *(block::head(value) + 1);
      ownership::set_deep(target, &owner, &word);
    } else {
      error::raise(error::CAT_SCRIPT, "invalid-arg", value);
    }
  } else {
    error::raise(error::CAT_SCRIPT, "invalid-arg", field);
  }
  *result = *target;
}

void init() {
  datatype::register_type(TYPE_OBJECT, 0, "object!",
                          actions::ActionList()
                              .own(actions::own<ACT_MAKE>(make))
                              .own(actions::own<ACT_REFLECT>(reflect))
                              .own(actions::own<ACT_FORM>(form))
                              .own(actions::own<ACT_MOLD>(mold))
                              .own(actions::own<ACT_EVAL_PATH>(eval_path))
                              .own(actions::own<ACT_COMPARE>(compare))
                              .own(actions::own<ACT_COPY>(copy))
                              .own(actions::own<ACT_PUT>(put))
                              .own(actions::own<ACT_SELECT>(select))
                              .own(actions::own<ACT_MODIFY>(modify)));
}

}  // namespace xol::object
