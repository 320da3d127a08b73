// vector!: element access by type and size, construction, splicing values in, the printed
// form, comparison, sorting and element-wise arithmetic.
#include "runtime/datatypes/vector.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>
#include <vector>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/compound.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/text/number_text.h"
#include "runtime/datatypes/runtime_words.h"
#include "runtime/tables/sort.h"

namespace xol::vector {
namespace {
uint32_t length_at(const Cell* vector);

using memory::SeriesBuffer;

constexpr uint32_t kBitsPerByte = 8;
// Units of the short printed form: 32-bit integers and chars, 64-bit floats and percents.
constexpr uint32_t kDefaultIntUnit = 4;
constexpr uint32_t kDefaultFloatUnit = 8;
constexpr double kPercentScale = 100.0;
// Sort flags: bit 0 reverses; above it, the offset of the compared element in a record.
constexpr uint32_t kSortReverse = 1;
constexpr uint32_t kSortOffsetShift = 1;

bool is_float_kind(TypeId type) { return type == TYPE_FLOAT || type == TYPE_PERCENT; }
uint32_t default_unit(TypeId type) {
  return is_float_kind(type) ? kDefaultFloatUnit : kDefaultIntUnit;
}

[[noreturn]] void raise_no_memory() { error::raise(error::CAT_INTERNAL, "no-memory"); }
[[noreturn]] void raise_not_same_type() { error::raise(error::CAT_SCRIPT, "not-same-type"); }

uint8_t* address(const Cell* vector, uint32_t position) {
  SeriesBuffer* buffer = buffer_of(vector);
  return buffer->data() + buffer->head + position * buffer->unit();
}

uint32_t head_of(const Cell* vector) { return std::min(vector->head_index(), buffer_length(vector)); }

int32_t read_int(const uint8_t* at, uint32_t size, bool is_char) {
  switch (size) {
    case 1: return is_char ? int32_t(*at) : int32_t(int8_t(*at));
    case 2: {
      uint16_t value;
      std::memcpy(&value, at, sizeof value);
      return is_char ? int32_t(value) : int32_t(int16_t(value));
    }
    default: {
      int32_t value;
      std::memcpy(&value, at, sizeof value);
      return value;
    }
  }
}

double read_float(const uint8_t* at, uint32_t size) {
  if (size == sizeof(float)) {
    float value;
    std::memcpy(&value, at, sizeof value);
    return value;
  }
  double value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// Keeps the low bytes of the value (little-endian).
void write_int(uint8_t* at, uint32_t size, int32_t value) { std::memcpy(at, &value, size); }

void write_float(uint8_t* at, uint32_t size, double value) {
  if (size == sizeof(float)) {
    float narrow = float(value);
    std::memcpy(at, &narrow, sizeof narrow);
  } else {
    std::memcpy(at, &value, sizeof value);
  }
}

void write_value(uint8_t* at, uint32_t size, TypeId type, const Cell* value) {
  if (is_float_kind(type)) write_float(at, size, value->float_value());
  else write_int(at, size, int32_t(value->data2));
}

void check_type(const Cell* vector, const Cell* value) {
  if (!value->is(element_type(vector))) number::raise_invalid_arg(value);
}

// Add, subtract and multiply wrap in 32 bits; the rest is integer!'s (zero-divide raises).
int32_t int_op(MathOp op, int32_t a, int32_t b) {
  switch (op) {
    case OP_ADD: return int32_t(uint32_t(a) + uint32_t(b));
    case OP_SUBTRACT: return int32_t(uint32_t(a) - uint32_t(b));
    case OP_MULTIPLY: return int32_t(uint32_t(a) * uint32_t(b));
    default: return integer::do_checked_op(a, b, op, nullptr);
  }
}

// A result to store in an element of `type` and `size`. Integers keep their low bytes, and so
// do chars of 8 and 16 bits, whose every value is a code point; a 32-bit char holds the whole
// result, which must be a code point as in char! arithmetic, else math `overflow`.
int32_t checked_element(int32_t value, TypeId type, uint32_t size) {
  bool holds_whole = type == TYPE_CHAR && size == sizeof(int32_t);
  if (holds_whole && (value < 0 || value > character::kMaxCodePoint)) number::raise_overflow();
  return value;
}

// Where the values written by append, insert and change come from: one value, the values of a
// block from an index, or the elements of another vector. Values are fetched by position, so
// they survive a buffer move while the target grows.
struct Source {
  enum Kind { SINGLE, BLOCK, VECTOR } kind;
  Cell cell;
  uint32_t start;
  uint32_t count;
  Cell at(uint32_t i) const {
    switch (kind) {
      case BLOCK: return *block::abs_at(&cell, start + i);
      case VECTOR: return element_at(&cell, start + i);
      default: return cell;
    }
  }
};

bool is_block_kind(TypeId type) {
  return type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH;
}
bool is_path_kind(TypeId type) { return type >= TYPE_PATH && type <= TYPE_GET_PATH; }

Source source_of(const Cell* value, bool take_vectors, bool take_paths) {
  TypeId type = value->type();
  if (is_block_kind(type) || (take_paths && is_path_kind(type)))
    return {Source::BLOCK, *value, block::head_position(value), block::length(value)};
  if (take_vectors && type == TYPE_VECTOR)
    return {Source::VECTOR, *value, head_of(value), length_at(value)};
  return {Source::SINGLE, *value, 0, 1};
}

// Puts `dup` copies of the source's values at absolute `position` in place of `replaced`
// elements. Every value is checked before anything moves.
void splice(Cell* vector, uint32_t position, uint32_t replaced, const Source& source,
            uint32_t dup) {
  TypeId type = element_type(vector);
  for (uint32_t i = 0; i < source.count; ++i) {
    Cell value = source.at(i);
    check_type(vector, &value);
  }
  // Elements of the target itself are read before the move shifts them.
  std::vector<Cell> saved;
  if (source.kind == Source::VECTOR && source.cell.node() == vector->node())
    for (uint32_t i = 0; i < source.count; ++i) saved.push_back(source.at(i));
  uint32_t size = unit(vector);
  uint64_t written = uint64_t(source.count) * dup;
  if ((buffer_length(vector) + written) * size > UINT32_MAX) raise_no_memory();
  uint32_t length = buffer_length(vector);
  uint32_t moved = length - position - replaced;
  if (written > replaced) series::reserve_tail(vector->node(), uint32_t(written - replaced) * size);
  uint8_t* at = address(vector, position);
  std::memmove(at + written * size, at + uint64_t(replaced) * size, uint64_t(moved) * size);
  if (written < replaced) buffer_of(vector)->tail -= uint32_t(replaced - written) * size;
  for (uint64_t k = 0; k < written; ++k) {
    uint32_t i = uint32_t(k % source.count);
    Cell value = saved.empty() ? source.at(i) : saved[i];
    write_value(address(vector, position + uint32_t(k)), size, type, &value);
  }
}

// Sort comparators: `count` elements per record (1 unless /all), reversed by the flag.
template <typename T>
int32_t compare_records(const void* a, const void* b, uint32_t count, uint32_t flags) {
  const uint32_t offset = (flags >> kSortOffsetShift) * sizeof(T);
  const uint8_t* x = static_cast<const uint8_t*>(a) + offset;
  const uint8_t* y = static_cast<const uint8_t*>(b) + offset;
  int32_t answer = 0;
  for (uint32_t k = 0; k < count && answer == 0; ++k) {
    T p, q;
    std::memcpy(&p, x + k * sizeof(T), sizeof p);
    std::memcpy(&q, y + k * sizeof(T), sizeof q);
    bool p_nan = p != p, q_nan = q != q;   // NaN sorts after every number
    if (p_nan || q_nan) answer = p_nan == q_nan ? 0 : p_nan ? 1 : -1;
    else answer = p < q ? -1 : q < p ? 1 : 0;
  }
  return flags & kSortReverse ? -answer : answer;
}

sort::Compare comparator_for(TypeId type, uint32_t size) {
  if (is_float_kind(type))
    return size == sizeof(float) ? compare_records<float> : compare_records<double>;
  bool is_char = type == TYPE_CHAR;
  switch (size) {
    case 1: return is_char ? compare_records<uint8_t> : compare_records<int8_t>;
    case 2: return is_char ? compare_records<uint16_t> : compare_records<int16_t>;
    default: return compare_records<int32_t>;
  }
}

// What a comparison function needs beyond the element addresses; saved and restored around
// each sort, so that a comparison that sorts does not disturb the sort that called it.
struct UserSort {
  const Cell* function;
  Cell vector;
  bool records;   // /all with /skip: the function compares whole records, as vectors
  uint32_t end;   // the end of the sorted range, in elements
};
UserSort* user_sort = nullptr;

// Answers the function's order of the elements (or records) at `a` and `b`. The function may
// run the collector, so the buffer is looked up again and the cells made before it runs.
int32_t compare_by_function(const void* a, const void* b, uint32_t, uint32_t flags) {
  const UserSort& sort = *user_sort;
  SeriesBuffer* buffer = buffer_of(&sort.vector);
  auto position = [&](const void* at) {
    return uint32_t((static_cast<const uint8_t*>(at) - buffer->head_ptr()) / buffer->unit());
  };
  auto operand = [&](const void* at) {
    if (!sort.records) return element_at(&sort.vector, position(at) + (flags >> kSortOffsetShift));
    Cell record = sort.vector;
    record.data1 = position(at);
    return record;
  };
  const Cell x = operand(a), y = operand(b);
  int32_t order = series::call_sort_comparison(sort.function, &x, &y, &sort.vector, sort.end);
  return flags & kSortReverse ? -order : order;
}

// A /part or /skip count of a sort (`refinement` names it): an integer! of at least `least`.
uint32_t sort_count(const Cell* argument, const char* refinement, int32_t least) {
  if (!argument->is(TYPE_INTEGER)) series::raise_refine(argument, refinement);
  int32_t value = integer::get(argument);
  if (value < least) number::raise_out_of_range(argument);
  return uint32_t(value);
}

TypeId element_type_named(const Cell* word) {
  int32_t symbol = symbol::resolve(word::symbol_of(word));
  const struct {
    int32_t symbol;
    TypeId type;
  } kTypeWords[] = {{words::sym.integer_type, TYPE_INTEGER},
                    {words::sym.char_type, TYPE_CHAR},
                    {words::sym.float_type, TYPE_FLOAT},
                    {words::sym.percent_type, TYPE_PERCENT}};
  for (const auto& named : kTypeWords)
    if (symbol::resolve(named.symbol) == symbol) return named.type;
  return TypeId(0);
}

// The element size of a typed spec's size in bits, or 0 when the type has no such size.
uint32_t unit_of_bits(TypeId type, int32_t bits) {
  if (type == TYPE_PERCENT) return kDefaultFloatUnit;
  if (bits != 8 && bits != 16 && bits != 32 && bits != 64) return 0;
  uint32_t size = uint32_t(bits) / kBitsPerByte;
  bool fits = is_float_kind(type) ? size >= sizeof(float) : size <= sizeof(int32_t);
  return fits ? size : 0;
}

struct MakeSpec {
  TypeId type = TYPE_INTEGER;
  uint32_t unit = kDefaultIntUnit;
  uint32_t count = 0;
  Cell values{TYPE_NONE, 0, 0, 0};
};

MakeSpec typed_spec(const Cell* spec) {
  const Cell* items = block::head(spec);
  uint32_t length = block::length(spec);
  MakeSpec made;
  made.type = element_type_named(&items[0]);
  if (!made.type || length < 2) number::raise_bad_make_arg(TYPE_VECTOR, spec);
  uint32_t next = 1;
  if (items[1].is(TYPE_INTEGER)) {
    made.unit = unit_of_bits(made.type, integer::get(&items[1]));
    if (!made.unit) number::raise_bad_make_arg(TYPE_VECTOR, spec);
    next = 2;
  } else if (made.type == TYPE_PERCENT) {
    made.unit = kDefaultFloatUnit;
  } else {
    error::raise(error::CAT_SCRIPT, "invalid-spec-field", spec);
  }
  if (next < length && items[next].is(TYPE_INTEGER)) {
    made.count = uint32_t(std::max(0, integer::get(&items[next])));
    ++next;
  }
  if (next < length) {
    if (!items[next].is(TYPE_BLOCK)) error::raise(error::CAT_SCRIPT, "invalid-spec-field", spec);
    made.values = items[next];
  }
  return made;
}

MakeSpec plain_spec(const Cell* spec) {
  MakeSpec made;
  made.type = block::head(spec)->type();
  if (made.type != TYPE_INTEGER && made.type != TYPE_CHAR && !is_float_kind(made.type))
    number::raise_invalid_type(block::head(spec));
  made.unit = default_unit(made.type);
  made.values = *spec;
  return made;
}

}  // namespace

Cell* make_at(Cell* cell, uint32_t count, TypeId type, uint32_t size) {
  if (uint64_t(count) * size > UINT32_MAX) raise_no_memory();
  cell::set_unset(cell);
  NodeId node = memory::alloc_units(std::max<uint32_t>(count, 1), size);
  *cell = Cell{TYPE_VECTOR, 0, node, type};
  return cell;
}

namespace {
// Elements from the head index to the tail.
uint32_t length_at(const Cell* vector) { return buffer_length(vector) - head_of(vector); }
}  // namespace

Cell element_at(const Cell* vector, uint32_t position) {
  TypeId type = element_type(vector);
  const uint8_t* at = address(vector, position);
  uint32_t size = unit(vector);
  switch (type) {
    case TYPE_FLOAT:
    case TYPE_PERCENT:
      return floating::make(read_float(at, size), type);
    case TYPE_CHAR:
      return Cell{TYPE_CHAR, 0, uint32_t(read_int(at, size, true)), 0};
    default:
      return integer::make(read_int(at, size, false));
  }
}

void store_element(const Cell* vector, uint32_t position, const Cell* value) {
  check_type(vector, value);
  write_value(address(vector, position), unit(vector), element_type(vector), value);
}

void append_int32(Cell* vector, int32_t value) {
  uint8_t* at = series::reserve_tail(vector->node(), sizeof value);
  std::memcpy(at, &value, sizeof value);
}

void append_value(Cell* vector, const Cell* value) {
  splice(vector, buffer_length(vector), 0, {Source::SINGLE, *value, 0, 1}, 1);
}

namespace {
// append_value for each value of a block from its head.
void append_block(Cell* vector, const Cell* block) {
  splice(vector, buffer_length(vector), 0, source_of(block, false, false), 1);
}
}  // namespace

Cell* to_block(const Cell* vector, Cell* target) {
  Cell source = *vector;
  uint32_t head = head_of(&source), length = length_at(&source);
  block::make_at(target, int32_t(length));
  for (uint32_t i = 0; i < length; ++i) {
    Cell element = element_at(&source, head + i);
    block::append_cell(target, &element);
  }
  return target;
}

namespace {
// The elements' text, separated by single spaces; chars molded with `mold`.
int32_t form_elements(const Cell* vector, Cell* buffer, bool all, bool has_part, int32_t part,
                      bool mold) {
  TypeId type = element_type(vector);
  uint32_t size = unit(vector);
  uint32_t head = head_of(vector), end = buffer_length(vector);
  for (uint32_t i = head; i < end; ++i) {
    if (has_part && part <= 0) break;
    if (i > head) part = text::append_counted(buffer, " ", part);
    Cell element = element_at(vector, i);
    switch (type) {
      case TYPE_CHAR:
        part = mold ? actions::get<ACT_MOLD>(TYPE_CHAR)(&element, buffer, false, all, false,
                                                        nullptr, part, 0)
                    : actions::get<ACT_FORM>(TYPE_CHAR)(&element, buffer, nullptr, part);
        break;
      case TYPE_INTEGER:
        part = text::append_counted(buffer, integer::to_decimal_text(integer::get(&element)),
                                    part);
        break;
      case TYPE_FLOAT:
        part = text::append_counted(
            buffer,
            float_text::to_text(element.float_value(), size == sizeof(float)
                                                           ? float_text::KIND_FLOAT32
                                                           : float_text::KIND_FLOAT),
            part);
        break;
      default:
        part = text::append_counted(
            buffer,
            float_text::to_text(element.float_value() * kPercentScale, float_text::KIND_PERCENT),
            part);
        break;
    }
  }
  return part;
}
}  // namespace

// With the scalar first nothing is skipped: 0 - v negates and 1 / v inverts. The elements
// change in place, so an owner hears of it as of a change.
void do_math_scalar(MathOp op, const Cell* vector, const Cell* scalar, bool scalar_first,
                    Cell* result) {
  Cell target = *vector;
  TypeId type = element_type(&target);
  uint32_t size = unit(&target);
  uint32_t head = head_of(&target), end = buffer_length(&target);
  if (!scalar->is(TYPE_INTEGER) && !scalar->is(TYPE_FLOAT) && !scalar->is(TYPE_PERCENT))
    error::raise(error::CAT_INTERNAL, "not-done");
  bool additive = op == OP_ADD || op == OP_SUBTRACT;
  bool scaling = op == OP_MULTIPLY || op == OP_DIVIDE;
  if (is_float_kind(type)) {
    double s = floating::to_double(scalar);
    if (!scalar_first && ((additive && s == 0.0) || (scaling && s == 1.0))) {
      *result = target;
      return;
    }
    compound::notifying(&target, words::w.change, words::w.changed, scalar, [&] {
      for (uint32_t i = head; i < end; ++i) {
        uint8_t* at = address(&target, i);
        double e = read_float(at, size);
        write_float(at, size, scalar_first ? floating::apply(op, s, e, TYPE_VECTOR)
                                           : floating::apply(op, e, s, TYPE_VECTOR));
      }
    });
    *result = target;
    return;
  }
  int32_t s = scalar->is(TYPE_INTEGER) ? integer::get(scalar)
                                       : integer::from_double(std::trunc(scalar->float_value()));
  if (!scalar_first && ((additive && s == 0) || (scaling && s == 1))) {
    *result = target;
    return;
  }
  bool is_char = type == TYPE_CHAR;
  auto result_at = [&](uint32_t i) {
    int32_t e = read_int(address(&target, i), size, is_char);
    return checked_element(scalar_first ? int_op(op, s, e) : int_op(op, e, s), type, size);
  };
  // When a result may fail (a zero divisor, the smallest integer divided by -1, a char out of
  // range), every one is worked out before any element changes.
  if (op == OP_DIVIDE || op == OP_REMAINDER || is_char)
    for (uint32_t i = head; i < end; ++i) result_at(i);
  compound::notifying(&target, words::w.change, words::w.changed, scalar, [&] {
    for (uint32_t i = head; i < end; ++i) write_int(address(&target, i), size, result_at(i));
  });
  *result = target;
}

namespace {
// vector op operand: in place with a scalar, a new vector with another vector.
void do_math(MathOp op, const Cell* vector, const Cell* operand, Cell* result) {
  if (!operand->is(TYPE_VECTOR)) {
    do_math_scalar(op, vector, operand, false, result);
    return;
  }
  Cell a = *vector, b = *operand;
  TypeId type = element_type(&a);
  if (element_type(&b) != type) raise_not_same_type();
  uint32_t size = std::max(unit(&a), unit(&b));
  uint32_t count = std::min(length_at(&a), length_at(&b));
  Cell made;
  make_at(&made, count, type, size);
  buffer_of(&made)->tail = buffer_of(&made)->head + count * size;
  uint32_t head_a = head_of(&a), head_b = head_of(&b);
  bool is_char = type == TYPE_CHAR;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t* at = address(&made, i);
    if (is_float_kind(type)) {
      double x = read_float(address(&a, head_a + i), unit(&a));
      double y = read_float(address(&b, head_b + i), unit(&b));
      write_float(at, size, floating::apply(op, x, y, TYPE_VECTOR));
    } else {
      int32_t x = read_int(address(&a, head_a + i), unit(&a), is_char);
      int32_t y = read_int(address(&b, head_b + i), unit(&b), is_char);
      write_int(at, size, checked_element(int_op(op, x, y), type, size));
    }
  }
  *result = made;
}

// ---- actions ----

void make(const Cell*, const Cell* spec, TypeId, Cell* result) {
  MakeSpec made;
  switch (spec->type()) {
    case TYPE_INTEGER:
    case TYPE_FLOAT: {
      double n = floating::to_double(spec);
      if (integer::out_of_range(n)) number::raise_out_of_range(spec);
      made.count = uint32_t(std::max(0, int32_t(n)));
      break;
    }
    case TYPE_BLOCK:
      if (block::length(spec) == 0) break;
      made = block::head(spec)->is(TYPE_WORD) ? typed_spec(spec) : plain_spec(spec);
      break;
    default:
      error::raise(error::CAT_INTERNAL, "not-done");
  }
  uint32_t values = made.values.is(TYPE_BLOCK) ? block::length(&made.values) : 0;
  uint32_t count = std::max(made.count, values);
  Cell vector;
  make_at(&vector, count, made.type, made.unit);
  if (values) append_block(&vector, &made.values);
  if (count > values) {
    uint8_t* at = series::reserve_tail(vector.node(), (count - values) * made.unit);
    std::memset(at, 0, (count - values) * made.unit);
  }
  *result = vector;
}

int32_t form(const Cell* value, Cell* buffer, const Cell* argument, int32_t part) {
  return form_elements(value, buffer, false, argument != nullptr, part, false);
}

// The short form make vector! [1 2 3] for a non-empty vector of the default size; otherwise
// the long form make vector! [integer! 16 [1 2 3]]. With `only` the long form keeps its inner
// brackets, so that it still reads as a spec.
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool, const Cell* argument,
             int32_t part, int32_t) {
  bool has_part = argument != nullptr;
  TypeId type = element_type(value);
  if (!only) part = text::append_counted(buffer, "make vector! [", part);
  if (buffer_length(value) > 0 && unit(value) == default_unit(type)) {
    part = form_elements(value, buffer, all, has_part, part, true);
    return only ? part : text::append_counted(buffer, "]", part);
  }
  const datatype::TableEntry& named = datatype::entry(type);
  part = text::append_counted(buffer, {named.name, size_t(named.name_length + 1)}, part);
  part = text::append_counted(buffer, " ", part);
  part = text::append_counted(buffer, integer::to_decimal_text(int32_t(unit(value) * kBitsPerByte)),
                              part);
  part = text::append_counted(buffer, " [", part);
  part = form_elements(value, buffer, all, has_part, part, true);
  return text::append_counted(buffer, only ? "]" : "]]", part);
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  if (!value2->is(TYPE_VECTOR)) return kNotComparable;
  TypeId type = element_type(value1);
  if (element_type(value2) != type) raise_not_same_type();
  bool same_position = value1->node() == value2->node() && head_of(value1) == head_of(value2);
  if (op == COMP_SAME) return same_position ? 0 : -1;
  bool equality = op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL ||
                  op == COMP_SELECT;
  uint32_t length1 = length_at(value1), length2 = length_at(value2);
  if (equality && same_position) return 0;
  if (equality && length1 != length2) return 1;
  uint32_t head1 = head_of(value1), head2 = head_of(value2);
  for (uint32_t i = 0, n = std::min(length1, length2); i < n; ++i) {
    int32_t answer;
    if (is_float_kind(type)) {
      answer = number::three_way(read_float(address(value1, head1 + i), unit(value1)),
                                 read_float(address(value2, head2 + i), unit(value2)));
    } else {
      bool is_char = type == TYPE_CHAR;
      answer = number::three_way(read_int(address(value1, head1 + i), unit(value1), is_char),
                                 read_int(address(value2, head2 + i), unit(value2), is_char));
    }
    if (answer) return answer;
  }
  return number::three_way(length1, length2);
}

void insert(Cell* series, Cell* value, const InsertOptions& options, bool at_tail, Cell* result) {
  Cell target = *series;
  target.data1 = head_of(&target);
  Source source = source_of(value, false, false);
  if (source.kind == Source::BLOCK && options.part > 0)
    source.count = std::min(source.count, uint32_t(options.part));
  uint32_t dup = uint32_t(std::max(options.dup, 1));
  bool appending = at_tail || target.data1 == buffer_length(&target);
  if (source.count) {
    compound::notifying(&target, words::w.insert, words::w.inserted, value, [&] {
      splice(&target, appending ? buffer_length(&target) : target.data1, 0, source, dup);
    });
    if (!appending) target.data1 += source.count * dup;
  }
  *result = target;
}

void change(Cell* series, Cell* value, const InsertOptions& options, Cell* result) {
  Cell target = *series;
  target.data1 = head_of(&target);
  Source source = source_of(value, true, true);
  uint32_t dup = uint32_t(std::max(options.dup, 1));
  uint32_t written = source.count * dup;
  uint32_t remaining = length_at(&target);
  uint32_t replaced = std::min(options.part >= 0 ? uint32_t(options.part) : written, remaining);
  compound::notifying(&target, words::w.change, words::w.changed, value,
                      [&] { splice(&target, target.data1, replaced, source, dup); });
  target.data1 = std::min(target.data1 + written, buffer_length(&target));
  *result = target;
}

// Orders the elements by their numeric value (signed integers, code points, floats with NaN
// last), in records of /skip elements compared by their first element or, with /all, by all.
void sort(Cell* series, const SortOptions& options, Cell* result) {
  Cell target = *series;
  target.data1 = head_of(&target);
  uint32_t count = length_at(&target);
  if (options.part) count = std::min(count, sort_count(options.part, "part", 0));
  uint32_t skip = options.skip ? sort_count(options.skip, "skip", 1) : 1;
  if (count % skip) series::raise_refine(options.skip, "skip");
  uint32_t size = unit(&target);
  uint32_t compared = options.all ? skip : 1;
  uint32_t flags = options.reverse ? kSortReverse : 0;
  sort::Compare compare_fn = comparator_for(element_type(&target), size);
  UserSort user{nullptr, target, options.all && skip > 1, target.data1 + count};
  const series::SortComparison comparison = series::read_sort_comparison(options, skip);
  flags |= comparison.offset << kSortOffsetShift;
  if (comparison.function) {
    user.function = comparison.function;
    compare_fn = compare_by_function;
  }
  series::ActiveSort active(user_sort, &user);
  compound::notifying(&target, words::w.sort, words::w.sorted, nullptr, [&] {
    // The owner's hook, told before this runs, may have shortened the vector.
    series::require_units(&target, user.end);
    sort::Target where =
        sort::Target::in_series(target.node(), buffer_of(&target)->head + target.data1 * size);
    if (options.stable) sort::stable(where, count / skip, skip * size, compared, flags, compare_fn);
    else sort::unstable(where, count / skip, skip * size, compared, flags, compare_fn);
  });
  *result = target;
}
}  // namespace

void init() {
  using actions::own;
  actions::ActionList list;
  list.inherit({ACT_RANDOM, ACT_REFLECT, ACT_EVAL_PATH, ACT_AT, ACT_BACK, ACT_CLEAR, ACT_COPY,
                ACT_FIND, ACT_HEAD, ACT_HEAD_Q, ACT_INDEX_Q, ACT_LENGTH_Q, ACT_MOVE, ACT_NEXT,
                ACT_PICK, ACT_POKE, ACT_REMOVE, ACT_REVERSE, ACT_SELECT, ACT_SKIP, ACT_TAIL,
                ACT_TAIL_Q, ACT_TAKE, ACT_MODIFY})
      .own(own<ACT_MAKE>(make))
      .own(own<ACT_FORM>(form))
      .own(own<ACT_MOLD>(mold))
      .own(own<ACT_COMPARE>(compare))
      .own(own<ACT_APPEND>(insert))
      .own(own<ACT_CHANGE>(change))
      .own(own<ACT_INSERT>(insert))
      .own(own<ACT_SORT>(sort));
  number::own_arithmetic<do_math>(list);
  number::own_bitwise<do_math>(list);
  datatype::register_type(TYPE_VECTOR, TYPE_STRING, "vector!", list);
}

}  // namespace xol::vector
