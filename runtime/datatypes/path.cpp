// The path types: construction and the printed forms. Every other action is block!'s.
#include "runtime/datatypes/path.h"

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/number.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/memory/cycles.h"

namespace xol::path {

namespace {

constexpr char kSeparator[] = "/";

// The mark a path type prints before and after its segments.
struct Marks {
  TypeId type;
  const char* before;
  const char* after;
};
constexpr Marks kMarks[] = {
    {TYPE_PATH, "", ""},
    {TYPE_LIT_PATH, "'", ""},
    {TYPE_SET_PATH, "", ":"},
    {TYPE_GET_PATH, ":", ""},
};

const Marks& marks_of(TypeId type) {
  for (const Marks& marks : kMarks)
    if (marks.type == type) return marks;
  return kMarks[0];
}

// Prints the segments joined by "/", each through `print`; the limit is tested after each
// segment, so the first one is always printed whole.
template <class Print>
int32_t print_segments(const Cell* value, Cell* buffer, int32_t part, Print&& print) {
  cycles::Visit visit(value->node());
  uint32_t first = block::head_position(value);
  for (uint32_t i = 0, count = block::length(value); i < count; ++i) {
    if (i > 0) part = text::append_counted(buffer, kSeparator, part);
    Cell segment = *block::abs_at(value, first + i);
    part = print(segment, part);
    if (part < 1) break;
  }
  return part;
}

}  // namespace

Cell* make_at(Cell* cell, int32_t capacity) {
  block::make_at(cell, capacity);
  cell::set_type(cell, TYPE_PATH);
  return cell;
}

namespace {
void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result) {
  Cell source = *spec;
  switch (source.type()) {
    case TYPE_INTEGER:
    case TYPE_FLOAT:
    case TYPE_PERCENT: {
      int32_t capacity = source.is(TYPE_INTEGER) ? integer::get(&source)
                                                 : integer::from_double(source.float_value());
      make_at(result, capacity);
      break;
    }
    default:
      if (!series::any_block(source.type())) number::raise_bad_make_arg(type, &source);
      block::to(prototype, &source, TYPE_BLOCK, result);
      break;
  }
  cell::set_type(result, type);
}

void to(const Cell* prototype, const Cell* spec, TypeId type, Cell* result) {
  Cell source = *spec;
  if (source.is(TYPE_OBJECT) || source.is(TYPE_TYPESET) || source.is(TYPE_MAP)) {
    Cell made;
    make_at(&made, 1);
    block::append_cell(&made, &source);
    *result = made;
  } else {
    block::to(prototype, &source, TYPE_BLOCK, result);
  }
  cell::set_type(result, type);
}

int32_t form(const Cell* value, Cell* buffer, const Cell* argument, int32_t part) {
  if (cycles::detect(*value, buffer->node(), part, false)) return part;
  return print_segments(value, buffer, part, [&](const Cell& segment, int32_t left) {
    return actions::get<ACT_FORM>(segment.type())(&segment, buffer, argument, left);
  });
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool flat, const Cell* argument,
             int32_t part, int32_t) {
  if (cycles::detect(*value, buffer->node(), part, true)) return part;
  const Marks& marks = marks_of(value->type());
  part = text::append_counted(buffer, marks.before, part);
  part = print_segments(value, buffer, part, [&](const Cell& segment, int32_t left) {
    return actions::get<ACT_MOLD>(segment.type())(&segment, buffer, false, all, flat, argument,
                                                 left, 0);
  });
  return text::append_counted(buffer, marks.after, part);
}
}  // namespace

void init() {
  using actions::own;
  datatype::register_type(
      TYPE_PATH, TYPE_BLOCK, "path!",
      actions::ActionList()
          .own(own<ACT_MAKE>(make))
          .own(own<ACT_TO>(to))
          .own(own<ACT_FORM>(form))
          .own(own<ACT_MOLD>(mold))
          .own(own<ACT_COPY>(block::copy))
          .inherit({ACT_REFLECT, ACT_EVAL_PATH, ACT_COMPARE, ACT_APPEND, ACT_AT, ACT_BACK,
                    ACT_CHANGE, ACT_CLEAR, ACT_FIND, ACT_HEAD, ACT_HEAD_Q, ACT_INDEX_Q,
                    ACT_INSERT, ACT_LENGTH_Q, ACT_MOVE, ACT_NEXT, ACT_PICK, ACT_POKE, ACT_PUT,
                    ACT_REMOVE, ACT_REVERSE, ACT_SELECT, ACT_SKIP, ACT_SWAP, ACT_TAIL,
                    ACT_TAIL_Q, ACT_TAKE, ACT_MODIFY}));
  static constexpr struct {
    TypeId type;
    const char* name;
  } kChildren[] = {
      {TYPE_LIT_PATH, "lit-path!"}, {TYPE_SET_PATH, "set-path!"}, {TYPE_GET_PATH, "get-path!"}};
  for (const auto& child : kChildren) {
    datatype::register_type(
        child.type, TYPE_PATH, child.name,
        actions::ActionList()
            .own(own<ACT_MOLD>(mold))
            .inherit({ACT_MAKE, ACT_REFLECT, ACT_TO, ACT_FORM, ACT_EVAL_PATH, ACT_COMPARE,
                      ACT_APPEND, ACT_AT, ACT_BACK, ACT_CHANGE, ACT_CLEAR, ACT_COPY, ACT_FIND,
                      ACT_HEAD, ACT_HEAD_Q, ACT_INDEX_Q, ACT_INSERT, ACT_LENGTH_Q, ACT_MOVE,
                      ACT_NEXT, ACT_PICK, ACT_POKE, ACT_PUT, ACT_REMOVE, ACT_REVERSE,
                      ACT_SELECT, ACT_SKIP, ACT_SWAP, ACT_TAIL, ACT_TAIL_Q, ACT_TAKE,
                      ACT_MODIFY}));
  }
}

}  // namespace xol::path
