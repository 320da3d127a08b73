// native!, action! and op!: construction from a table index or a source value, reflection,
// printed forms and comparison.
#include "runtime/datatypes/native.h"

#include <array>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/value_ops.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/memory/memory.h"
#include "runtime/datatypes/runtime_words.h"

namespace xol::natives {

std::array<Routine, kNativeSlots + 1> native_table{};
std::array<Routine, kActionSlots + 1> action_table{};

namespace {

constexpr uint32_t kRecordCells = 2;        // the spec's context! cell, then none
constexpr uint32_t kMakeSpecLength = 2;     // [spec index]
constexpr uint32_t kHeaderKeptByOp = ~(kTypeMask | kOpSourceMask);


struct Printed {
  TypeId type;
  const char* formed;
  const char* mold_prefix;
};
constexpr Printed kPrinted[] = {
    {TYPE_NATIVE, "?native?", "make native! ["},
    {TYPE_ACTION, "?action?", "make action! ["},
    {TYPE_OP, "?op?", "make op! "},
};

const Printed& printed(TypeId type) {
  for (const Printed& entry : kPrinted)
    if (entry.type == type) return entry;
  return kPrinted[0];
}

bool from_function(TypeId source) { return source == TYPE_FUNCTION || source == TYPE_ROUTINE; }

Cell spec_of(const Cell* value) { return Cell{TYPE_BLOCK, 0, value->data2, 0}; }

}  // namespace

void set_native(int32_t index, Routine routine) { native_table.at(size_t(index)) = routine; }
void set_action(int32_t index, Routine routine) { action_table.at(size_t(index)) = routine; }


void clear_tables() {
  native_table.fill(nullptr);
  action_table.fill(nullptr);
}

namespace {
// The operator check of a source's spec: exactly two arguments, the left one a plain word.
bool valid_op_spec(const Cell* spec) {
  int32_t arguments = 0;
  bool word_seen = false;
  for (const Cell* entry = block::head(spec); entry < block::tail(spec); ++entry) {
    switch (entry->type()) {
      case TYPE_WORD:
        word_seen = true;
        ++arguments;
        break;
      case TYPE_LIT_WORD: case TYPE_GET_WORD:
        if (!word_seen) return false;
        ++arguments;
        break;
      case TYPE_SET_WORD:
        return arguments == 2;
      case TYPE_REFINEMENT:
        return arguments == 2 && (word::is_named(entry, word::symbol_of(&words::refs.local)) ||
                                  word::is_named(entry, word::symbol_of(&words::refs.extern_)));
      default:
        break;
    }
  }
  return arguments == 2;
}
}  // namespace

void make(const Cell*, const Cell* spec, TypeId type, Cell* result) {
  auto refuse = [&] {
    Cell datatype = datatype::make(type);
    error::raise(error::CAT_SCRIPT, "bad-make-arg", &datatype, spec);
  };
  // A native reads its arguments where its own spec lays them out: one made with another spec
  // would read cells never pushed, so natives and actions are made only while the runtime
  // starts.
  if (!boot::flag) refuse();
  if (!spec->is(TYPE_BLOCK) || block::length(spec) != kMakeSpecLength) refuse();
  const Cell given_spec = *block::head(spec);
  const Cell index = *(block::head(spec) + 1);
  if (!given_spec.is(TYPE_BLOCK) || !index.is(TYPE_INTEGER)) refuse();
  int32_t code = integer::get(&index);
  if (!(type == TYPE_NATIVE ? native_at(code) : action_at(code))) refuse();

  NodeId spec_context = context::make_function_context(&given_spec, true, false,
                                                       context::KIND_FUNCTION);
  NodeId record = memory::alloc_cells(kRecordCells);
  memory::SeriesBuffer* buffer = memory::buffer_of(record);
  buffer->cells()[0] = *context::context_cell(spec_context);
  buffer->cells()[1] = Cell{TYPE_NONE, 0, 0, 0};
  buffer->tail = buffer->head + kRecordCells * uint32_t(sizeof(Cell));
  *result = Cell{type, uint32_t(code), given_spec.node(), record};
}

void make_op(const Cell*, const Cell* spec, TypeId, Cell* result) {
  const Cell source = *spec;
  const TypeId type = source.type();
  if (type != TYPE_NATIVE && type != TYPE_ACTION && !from_function(type)) {
    Cell datatype = datatype::make(type);
    error::raise(error::CAT_SCRIPT, "invalid-type", &datatype);
  }
  Cell source_spec = spec_of(&source);
  if (!valid_op_spec(&source_spec)) error::raise(error::CAT_SCRIPT, "bad-op-spec");
  Cell op = source;
  op.header = (source.header & kHeaderKeptByOp) | TYPE_OP | (uint32_t(type) << kOpSourceShift);
  if (from_function(type)) function::record(&source)[function::RECORD_OP] = source;
  *result = op;
}

namespace {
void reflect(Cell* value, const Cell* field, Cell* result) {
  // Only a word names a field; anything else is as unknown as a word that names none.
  if (!word::any_word_type(field->type())) error::raise(error::CAT_INTERNAL, "not-done");
  const Cell called = *value;
  if (word::is_named(field, words::sym.spec)) {
    // A copy: the argument layout is read from the spec, which nothing may change.
    const Cell spec = spec_of(&called);
    values::copy(&spec, true, result);
  } else if (word::is_named(field, words::sym.body)) {
    TypeId source = called.is(TYPE_OP) ? op_source(&called) : called.type();
    *result = from_function(source) ? *function::body(&called) : integer::make(code_of(&called));
  } else {
    error::raise(error::CAT_INTERNAL, "not-done");
  }
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
  return text::append_counted(buffer, printed(value->type()).formed, part);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool flat, const Cell* argument,
             int32_t part, int32_t indent) {
  const Cell called = *value;
  part = text::append_counted(buffer, printed(called.type()).mold_prefix, part);
  Cell spec = spec_of(&called);
  if (called.is(TYPE_OP) && op_source(&called) == TYPE_FUNCTION) {
    part = text::append_counted(buffer, "func ", part);
    part = values::mold(&spec, buffer, false, all, flat, argument, part, indent);
    Cell body = *function::body(&called);
    return values::mold(&body, buffer, false, all, flat, argument, part, indent);
  }
  if (called.is(TYPE_OP)) part = text::append_counted(buffer, "[", part);
  part = values::mold(&spec, buffer, false, all, flat, argument, part, indent);
  return text::append_counted(buffer, "]", part);
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  if (value2->type() != value1->type() || !equality_or_sort_op(op)) return kNotComparable;
  auto key = [](const Cell* value) {
    return (int64_t(op_source(value)) << 32) + int64_t(int32_t(value->data1));
  };
  int64_t a = key(value1), b = key(value2);
  return a < b ? -1 : a > b ? 1 : 0;
}
}  // namespace

void init_native() {
  datatype::register_type(TYPE_NATIVE, 0, "native!",
                          actions::ActionList()
                              .own(actions::own<ACT_MAKE>(make))
                              .own(actions::own<ACT_REFLECT>(reflect))
                              .own(actions::own<ACT_FORM>(form))
                              .own(actions::own<ACT_MOLD>(mold))
                              .own(actions::own<ACT_COMPARE>(compare)));
}

void init_action() {
  datatype::register_type(TYPE_ACTION, TYPE_NATIVE, "action!",
                          actions::ActionList()
                              .own(actions::own<ACT_MAKE>(make))
                              .inherit({ACT_REFLECT})
                              .own(actions::own<ACT_FORM>(form))
                              .own(actions::own<ACT_MOLD>(mold))
                              .own(actions::own<ACT_COMPARE>(compare)));
}

void init_op() {
  datatype::register_type(TYPE_OP, TYPE_NATIVE, "op!",
                          actions::ActionList()
                              .own(actions::own<ACT_MAKE>(make_op))
                              .inherit({ACT_REFLECT})
                              .own(actions::own<ACT_FORM>(form))
                              .own(actions::own<ACT_MOLD>(mold))
                              .own(actions::own<ACT_COMPARE>(compare)));
}

}  // namespace xol::natives
