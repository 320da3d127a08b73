// error!: construction from codes, blocks and strings, the raised error's value, and the
// printed form that the console shows.
#include "runtime/datatypes/error.h"

#include <cstring>
#include <string_view>

#include "runtime/memory/collector.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/evaluator_hooks.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/value_ops.h"
#include "runtime/datatypes/word.h"
#include "runtime/memory/memory.h"
#include "runtime/datatypes/runtime_words.h"

namespace xol::error {
namespace {
int32_t category_index(int32_t symbol);
int32_t id_position(int32_t category, int32_t symbol);

#include "runtime/datatypes/error_catalogue.inc"

static_assert(sizeof kCategories / sizeof kCategories[0] == size_t(kCategoryCount));

constexpr const char* kFieldNames[kFieldCount] = {
    "code", "type", "id", "arg1", "arg2", "arg3", "near", "where", "stack", "files"};
constexpr int32_t kArgumentLimit = 80;   // characters of an argument in a message
constexpr int32_t kNearLimit = 40;       // characters of the Near and Files lines
constexpr uint32_t kScratchCapacity = 64;

Cell last_error{TYPE_UNSET, 0, 0, 0};
bool building = false;

// Keeps the last raised error alive. Its node may belong to a runtime that was brought down
// since (tests bring the value layer up many times), so only a live node is marked.
void mark_last_error() {
  if (last_error.is(TYPE_ERROR) && memory::is_live_node(last_error.data1))
    collector::mark_block(last_error.data1);
}

bool value_layer_ready() {
  return block::root_exists() && symbol::table_exists() && context::global() != kNoNode &&
         actions::find<ACT_MAKE>(TYPE_ERROR) && !collector::in_cycle();
}


bool same_name_caseless(std::string_view name, std::string_view known) {
  if (name.size() != known.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(name[i]) != lower(known[i])) return false;
  }
  return true;
}

// A new error! with every field none: a copy of system/standard/error when the library made
// one of the error's shape (its fields are read by position), else of the built-in shape.
void blank_error(Cell* result) {
  if (const Cell* standard = object::system_field({"standard", "error"});
      standard && standard->is(TYPE_OBJECT) && object::starts_with_fields(standard, kFieldNames)) {
    Cell copied;
    object::copy(const_cast<Cell*>(standard), nullptr, false, nullptr, &copied);
    object::make_from(object::context_of(&copied), object::kErrorClass, kNoNode, result);
  } else {
    Cell made;
    object::make_at(&made, kFieldCount);
    const NodeId context = object::context_of(&made);
    const Cell blank = none::make();
    for (const char* name : kFieldNames) {
      const Cell word = word::unbound(symbol::make(name));
      context::add_value(context, &word, &blank);
    }
    object::make_from(context, object::kErrorClass, kNoNode, result);
  }
  cell::set_type(result, TYPE_ERROR);
  *context::owner_cell(object::context_of(result)) = *result;
}

Cell global_word(const char* name) { return word::load(name); }

void set_kind(const Cell* error, int32_t category_index, int32_t position) {
  const CatalogueCategory& entry = kCategories[category_index];
  *field(error, FIELD_CODE) =
      integer::make(category_index * kCodesPerCategory + position - kFirstIdPosition);
  *field(error, FIELD_TYPE) = global_word(entry.name);
  *field(error, FIELD_ID) = global_word(entry.ids[position - kFirstIdPosition].id);
}

// Sets type, id and code from a category word and an id word, raising as `make error!` does.
void set_from_words(const Cell* error, const Cell* category_word, const Cell* id_word) {
  const Cell type_word = words::w.type;
  if (!category_word->is(TYPE_WORD)) error::raise(CAT_SCRIPT, "invalid-spec-field", &type_word);
  const int32_t category = category_index(word::symbol_of(category_word));
  if (category < 0) error::raise(CAT_SCRIPT, "invalid-spec-field", &type_word);
  if (!id_word->is(TYPE_WORD)) error::raise(CAT_SCRIPT, "invalid-arg", id_word);
  const int32_t position = id_position(category, word::symbol_of(id_word));
  const Cell id_field = words::w.id;
  if (position < 0) error::raise(CAT_SCRIPT, "invalid-spec-field", &id_field);
  set_kind(error, category, position);
}

// Appends at most `limit` characters of `text`; answers the part limit left.
int32_t append_cut(Cell* buffer, std::string_view text, int32_t limit, int32_t part) {
  size_t end = 0;
  for (int32_t characters = 0; end < text.size(); ++end) {
    if ((static_cast<unsigned char>(text[end]) & 0xC0) != 0x80 && characters++ == limit) break;
  }
  return text::append_counted(buffer, text.substr(0, end), part);
}

// The value printed into a scratch buffer, then cut; the limit is given as a /part argument so
// that a large value stops at it.
int32_t append_value(Cell* buffer, const Cell* value, bool formed, bool only, int32_t limit,
                     int32_t part) {
  Cell scratch;
  text::make(&scratch, kScratchCapacity);
  const Cell argument = integer::make(limit);
  if (formed) values::form(value, &scratch, &argument, limit);
  else values::mold(value, &scratch, only, false, true, &argument, limit, 0);
  return append_cut(buffer, text::view(&scratch), limit, part);
}

// The catalogue entry of the error's type and id; a missing category or id turns the error
// into internal invalid-error naming the missing word, as its printed form reports it.
const CatalogueId& resolve_message(const Cell* error, int32_t* category_out) {
  const Cell type = *field(error, FIELD_TYPE);
  const Cell id = *field(error, FIELD_ID);
  int32_t category = word::any_word_type(type.type()) ? category_index(word::symbol_of(&type)) : -1;
  int32_t position = -1;
  if (category < 0) {
    *field(error, FIELD_ARG1) = type;
  } else {
    position = word::any_word_type(id.type()) ? id_position(category, word::symbol_of(&id)) : -1;
    if (position < 0) *field(error, FIELD_ARG1) = id;
  }
  if (category < 0 || position < 0) {
    category = CAT_INTERNAL;
    position = id_position(category, symbol::make("invalid-error"));
    *field(error, FIELD_TYPE) = words::w.cat_internal;
    *field(error, FIELD_ID) = words::w.invalid_error;
  }
  *category_out = category;
  return kCategories[category].ids[position - kFirstIdPosition];
}

int32_t form_message(const Cell* error, const CatalogueId& message, bool syntax, int32_t part,
                     Cell* buffer) {
  for (uint8_t i = 0; i < message.count; ++i) {
    const MessagePart& element = message.parts[i];
    if (element.arg == 0) {
      part = text::append_counted(buffer, element.text, part);
    } else {
      const Cell value = *field(error, Field(FIELD_ARG1 + element.arg - 1));
      part = append_value(buffer, &value, syntax, false, kArgumentLimit, part);
    }
    if (message.block && i + 1 < message.count) part = text::append_counted(buffer, " ", part);
  }
  return part;
}

}  // namespace

const CatalogueCategory& category(int32_t index) { return kCategories[index]; }

namespace {
// Caseless lookups by symbol; -1 when absent.
int32_t category_index(int32_t symbol) {
  const std::string_view name = symbol::name(symbol);
  for (int32_t i = 0; i < kCategoryCount; ++i)
    if (same_name_caseless(name, kCategories[i].name)) return i;
  return -1;
}

int32_t id_position(int32_t category, int32_t symbol) {
  const std::string_view name = symbol::name(symbol);
  const CatalogueCategory& entry = kCategories[category];
  for (int32_t i = 0; i < entry.count; ++i)
    if (same_name_caseless(name, entry.ids[i].id)) return i + kFirstIdPosition;
  return -1;
}
}  // namespace

int32_t code_of(Category category, const char* id) {
  const CatalogueCategory& entry = kCategories[category];
  for (int32_t i = 0; i < entry.count; ++i)
    if (std::strcmp(entry.ids[i].id, id) == 0) return category * kCodesPerCategory + i;
  return -1;
}

Cell* field(const Cell* error, Field which) {
  return context::value_at(object::context_of(error), which);
}

void make_with_args(const Cell* category_word, const Cell* id_word, const Cell* arg1,
                    const Cell* arg2, const Cell* arg3, Cell* result) {
  const Cell args[] = {arg1 ? *arg1 : none::make(), arg2 ? *arg2 : none::make(),
                       arg3 ? *arg3 : none::make()};
  const Cell category = *category_word, id = *id_word;
  Cell made;
  blank_error(&made);
  set_from_words(&made, &category, &id);
  for (int32_t i = 0; i < 3; ++i) *field(&made, Field(FIELD_ARG1 + i)) = args[i];
  *result = made;
}

const Cell& last_raised() { return last_error; }

void build_raised(Raised& raised) {
  if (building || !value_layer_ready()) return;
  building = true;
  struct Done {
    ~Done() { building = false; }
  } done;
  const int32_t code = code_of(raised.category, raised.id);
  Cell made;
  blank_error(&made);
  if (code >= 0) {
    set_kind(&made, raised.category, code % kCodesPerCategory + kFirstIdPosition);
  } else {
    *field(&made, FIELD_TYPE) = global_word(kCategories[raised.category].name);
    *field(&made, FIELD_ID) = global_word(raised.id);
  }
  for (int i = 0; i < raised.arg_count; ++i) *field(&made, Field(FIELD_ARG1 + i)) = raised.args[i];
  if (evaluator_hooks::installed().annotate_error)
    evaluator_hooks::installed().annotate_error(&made);
  last_error = made;
  raised.error = made;
}

void make(const Cell*, const Cell* spec, TypeId, Cell* result) {
  Cell made;
  switch (spec->type()) {
    case TYPE_INTEGER: {
      const int32_t code = integer::get(spec);
      const int32_t category = code / kCodesPerCategory;
      const int32_t position = code % kCodesPerCategory + kFirstIdPosition;
      if (code < 0 || category >= kCategoryCount ||
          position >= kCategories[category].count + kFirstIdPosition)
        raise(CAT_SCRIPT, "out-of-range", spec);
      blank_error(&made);
      set_kind(&made, category, position);
      break;
    }
    case TYPE_BLOCK: {
      const Cell block = *spec;
      const Cell first = block::length(&block) ? *block::head(&block) : none::make();
      if (first.is(TYPE_WORD)) {
        const Cell second = block::length(&block) > 1 ? *(block::head(&block) + 1) : none::make();
        blank_error(&made);
        set_from_words(&made, &first, &second);
      } else if (first.is(TYPE_SET_WORD)) {
        blank_error(&made);
        Cell body = block;
        context::bind(&body, object::context_of(&made), true);
        Cell ignored;
        evaluator_hooks::eval_block(&body, &ignored);
        const Cell type = *field(&made, FIELD_TYPE), id = *field(&made, FIELD_ID);
        set_from_words(&made, &type, &id);
      } else {
        raise(CAT_INTERNAL, "invalid-error");
      }
      break;
    }
    case TYPE_STRING: {
      const Cell text = *spec;
      const Cell user = words::w.cat_user;
      const Cell id = global_word(kCategories[CAT_USER].ids[0].id);
      make_with_args(&user, &id, &text, nullptr, nullptr, &made);
      break;
    }
    default: {
      const Cell type = datatype::make(TYPE_ERROR);
      raise(CAT_SCRIPT, "bad-make-arg", &type, spec);
    }
  }
  *result = made;
}

namespace {
int32_t form(const Cell* value, Cell* buffer, const Cell* argument, int32_t part) {
  const Cell error = *value;
  int32_t category = 0;
  const CatalogueId& message = resolve_message(&error, &category);
  part = text::append_counted(buffer, "*** ", part);
  part = text::append_counted(buffer, kCategories[category].title, part);
  part = text::append_counted(buffer, ": ", part);
  part = form_message(&error, message, category == CAT_SYNTAX, part, buffer);

  part = text::append_counted(buffer, "\n*** Where: ", part);
  const Cell where = *field(&error, FIELD_WHERE);
  if (word::any_word_type(where.type()))
    part = text::append_counted(buffer, symbol::name(word::symbol_of(&where)), part);
  else if (where.is(TYPE_STRING))
    part = values::form(&where, buffer, argument, part);
  else
    part = text::append_counted(buffer, "???", part);

  part = text::append_counted(buffer, "\n*** Near : ", part);
  const Cell near = *field(&error, FIELD_NEAR);
  part = append_value(buffer, &near, false, true, kNearLimit, part);

  const evaluator_hooks::Services& services = evaluator_hooks::installed();
  const int32_t level = services.trace_level ? services.trace_level() : 0;
  const Cell stack = *field(&error, FIELD_STACK);
  if (level > 0 && stack.is(TYPE_INTEGER) && services.form_trace) {
    part = text::append_counted(buffer, "\n*** Stack: ", part);
    part = services.form_trace(level, integer::get(&stack), buffer, part);
  } else if (level > 0 && stack.is(TYPE_BLOCK)) {
    part = text::append_counted(buffer, "\n*** Stack: ", part);
    part = values::form(&stack, buffer, argument, part);
  }
  const Cell files = *field(&error, FIELD_FILES);
  if (files.is(TYPE_BLOCK)) {
    part = text::append_counted(buffer, "\n*** Files: ", part);
    part = append_value(buffer, &files, false, true, kNearLimit, part);
  }
  return part;
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
             const Cell* argument, int32_t part, int32_t indent) {
  return object::mold_as("make error! ", value, buffer, only, all, flat, argument, part, indent);
}

// As for objects; setting the `stack` field raises script `invalid-path-set`.
void eval_path(const PathStep& step, Cell* result) {
  if (step.value && step.element->is(TYPE_WORD) &&
      same_name_caseless(symbol::name(word::symbol_of(step.element)), kFieldNames[FIELD_STACK]))
    raise(CAT_SCRIPT, "invalid-path-set", step.path);
  object::eval_path(step, result);
}
}  // namespace

void init() {
  // Registered afresh: a runtime brought up again must not mark twice.
  collector::unregister_mark(mark_last_error);
  collector::register_mark(mark_last_error);
  datatype::register_type(TYPE_ERROR, TYPE_OBJECT, "error!",
                          actions::ActionList()
                              .own(actions::own<ACT_MAKE>(make))
                              .inherit({ACT_REFLECT, ACT_COMPARE, ACT_COPY, ACT_SELECT})
                              .own(actions::own<ACT_FORM>(form))
                              .own(actions::own<ACT_MOLD>(mold))
                              .own(actions::own<ACT_EVAL_PATH>(eval_path)));
}

}  // namespace xol::error
