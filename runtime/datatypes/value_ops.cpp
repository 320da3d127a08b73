// Printing and copying values of any type.
#include "runtime/datatypes/value_ops.h"

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/series.h"
#include "runtime/memory/memory.h"
#include "runtime/memory/cycles.h"

namespace xol::values {
namespace {

constexpr uint32_t kNewStringCapacity = 16;

uint32_t length_of(const Cell* value) {
  const memory::SeriesBuffer* buffer = memory::buffer_of(value->node());
  uint32_t units = buffer->length();
  return value->head_index() < units ? units - value->head_index() : 0;
}

void copy_own(const Cell* value, bool deep, Cell* result) {
  Cell source = *value;
  bool block_like = series::any_block(source.type());
  if (deep && block_like && cycles::find(source.node()))
    error::raise(error::CAT_INTERNAL, "no-cycle");
  uint32_t count = length_of(&source);
  NodeId node = series::copy_part(source.node(), source.head_index(), count);
  Cell copied = source;
  copied.data1 = 0;
  copied.data2 = node;
  if (source.is(TYPE_HASH)) copied.data3 = 0;
  if (deep && block_like) {
    cycles::Visit visit(source.node());
    for (uint32_t i = 0; i < count; ++i) {
      Cell nested = *block::abs_at(&copied, i);
      if (!is_copied_series(nested.type())) continue;
      Cell nested_copy;
      copy(&nested, true, &nested_copy);
      *block::abs_at(&copied, i) = nested_copy;
    }
  }
  *result = copied;
}

}  // namespace

bool is_copied_series(TypeId type) {
  switch (type) {
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF: case TYPE_VECTOR: case TYPE_BINARY: case TYPE_IMAGE:
      return true;
    default:
      return series::any_block(type);
  }
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
             const Cell* argument, int32_t part, int32_t indent) {
  return actions::get<ACT_MOLD>(value->type())(value, buffer, only, all, flat, argument, part,
                                               indent);
}

int32_t form(const Cell* value, Cell* buffer, const Cell* argument, int32_t part) {
  return actions::get<ACT_FORM>(value->type())(value, buffer, argument, part);
}

void form_value(const Cell* value, int32_t part, Cell* result) {
  Cell buffer;
  text::make(&buffer, kNewStringCapacity);
  if (part > 0) {
    const Cell limit = integer::make(part);
    form(value, &buffer, part == kNoPartLimit ? nullptr : &limit, part);
    if (part != kNoPartLimit) string::truncate(buffer.node(), uint32_t(part));
  }
  *result = buffer;
}

void mold_value(const Cell* value, bool only, bool all, bool flat, int32_t part, Cell* result) {
  Cell buffer;
  text::make(&buffer, kNewStringCapacity);
  if (part > 0) {
    const Cell limit = integer::make(part);
    mold(value, &buffer, only, all, flat, part == kNoPartLimit ? nullptr : &limit, part, 0);
    if (part != kNoPartLimit) string::truncate(buffer.node(), uint32_t(part));
  }
  *result = buffer;
}

void copy(const Cell* value, bool deep, Cell* result) {
  if (CopyRoutine own = actions::find<ACT_COPY>(value->type())) {
    Cell source = *value;
    own(&source, nullptr, deep, nullptr, result);
    return;
  }
  copy_own(value, deep, result);
}

}  // namespace xol::values
