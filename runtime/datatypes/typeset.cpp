// typeset!: constructors from type blocks, the set operations, printing and the actions.
#include "runtime/datatypes/typeset.h"

#include <bit>
#include <string_view>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"

namespace xol::typeset {
namespace {

constexpr uint32_t kAllBits = 0xFFFFFFFFu;
// Room that `to-block` gives its new block before the first append.
constexpr int32_t kToBlockCapacity = 4;
constexpr std::string_view kMoldPrefix = "make typeset! [";

void merge(Cell* set, const Cell* other) {
  set->data1 |= other->data1;
  set->data2 |= other->data2;
  set->data3 |= other->data3;
}

// A word stands for its value; any other value for itself.
Cell value_of(const Cell* value) {
  return value->is(TYPE_WORD) ? word::get_checked(value) : *value;
}

int32_t name_length(int32_t id) { return datatype::entry(id).name_length + 1; }

// Walks visit the ids that name a registered datatype, from 1 to the highest registered.
bool names_type(const Cell* set, int32_t id) {
  return has(set, id) && datatype::entry(id).name != nullptr;
}

}  // namespace

Cell of(std::initializer_list<int32_t> ids) {
  Cell set = make(0, 0, 0);
  for (int32_t id : ids) add_id(&set, id);
  return set;
}

Cell default_set() {
  Cell set = make(kAllBits, kAllBits, kAllBits);
  bytes(&set)[TYPE_UNSET >> 3] &= uint8_t(~mask_of(TYPE_UNSET));
  return set;
}

int32_t count_types(const Cell* set) {
  int32_t count = 0;
  for (int32_t id = 1; id <= datatype::highest_type(); ++id) count += names_type(set, id);
  return count;
}

Cell* make_default_in(Cell* block) {
  Cell set = default_set();
  return block::append_cell(block, &set);
}

Cell* make_from_block(Cell* block, const Cell* spec) {
  Cell set = make(0, 0, 0);
  for (uint32_t i = 0, n = block::length(spec); i < n; ++i) {
    const Cell* item = block::head(spec) + i;
    Cell value = value_of(item);
    switch (value.type()) {
      case TYPE_DATATYPE: add_id(&set, int32_t(value.data1)); break;
      case TYPE_TYPESET: merge(&set, &value); break;
      case TYPE_WORD: add_id(&set, TYPE_OBJECT); break;
      case TYPE_BLOCK: break;
      default: error::raise(error::CAT_SCRIPT, "invalid-type-spec", &value);
    }
  }
  return block::append_cell(block, &set);
}

namespace {
// Adds a datatype, a typeset or the value of a word naming one; anything else raises script
// `invalid-arg`.
void add_type(Cell* set, const Cell* value) {
  Cell type = value_of(value);
  switch (type.type()) {
    case TYPE_DATATYPE: add_id(set, int32_t(type.data1)); break;
    case TYPE_TYPESET: merge(set, &type); break;
    default: number::raise_invalid_arg(&type);
  }
}
}  // namespace

void set_operation(MathOp op, const Cell* set, const Cell* other, Cell* result) {
  if (op == OP_UNIQUE) {
    copy_cell(set, result);
    return;
  }
  Cell second;
  switch (other->type()) {
    case TYPE_TYPESET: second = *other; break;
    case TYPE_DATATYPE: second = of({int32_t(other->data1)}); break;
    default: number::raise_invalid_arg(other);
  }
  *result = make(number::combine_bits(op, set->data1, second.data1),
                 number::combine_bits(op, set->data2, second.data2),
                 number::combine_bits(op, set->data3, second.data3));
}

Cell* to_block(const Cell* set, Cell* target) {
  Cell copy = *set;
  block::make_at(target, kToBlockCapacity);
  for (int32_t id = 1; id <= datatype::highest_type(); ++id)
    if (names_type(&copy, id)) block::append_cell(target, &datatype::entry(id).word);
  return target;
}

int32_t form_mold(const Cell* set, Cell* buffer, bool only, bool has_part, int32_t part) {
  if (!only) part = text::append_counted(buffer, kMoldPrefix, part);
  // Each name is followed by a space, written only once the next name (or a cut) needs it, so
  // the last one can become the closing bracket.
  bool space_owed = false;
  for (int32_t id = 1; id <= datatype::highest_type(); ++id) {
    if (!names_type(set, id)) continue;
    if (space_owed) part = text::append_counted(buffer, " ", part);
    if (has_part && part < 0) return part;
    const datatype::TableEntry& named = datatype::entry(id);
    part = text::append_counted(buffer, {named.name, size_t(name_length(id))}, part);
    space_owed = true;
  }
  if (!only) part = text::append_counted(buffer, "]", part);
  return part;
}

// ---- actions ----

void make(const Cell*, const Cell* spec, TypeId, Cell* result) {
  switch (spec->type()) {
    case TYPE_TYPESET:
      copy_cell(spec, result);
      return;
    case TYPE_BLOCK: {
      Cell set = make(0, 0, 0);
      for (uint32_t i = 0, n = block::length(spec); i < n; ++i)
        add_type(&set, block::head(spec) + i);
      *result = set;
      return;
    }
    default:
      number::raise_bad_to_arg(TYPE_TYPESET, spec);
  }
}

namespace {
int32_t form(const Cell* value, Cell* buffer, const Cell* argument, int32_t part) {
  return form_mold(value, buffer, false, argument != nullptr, part);
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool, bool, const Cell* argument,
             int32_t part, int32_t) {
  return form_mold(value, buffer, only, argument != nullptr, part);
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  if (!value2->is(TYPE_TYPESET)) return kNotComparable;
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SAME:
    case COMP_SELECT:
      return value1->data1 == value2->data1 && value1->data2 == value2->data2 &&
                     value1->data3 == value2->data3
                 ? 0
                 : 1;
    case COMP_SORT: case COMP_CASE_SORT:
      return number::three_way(count_types(value1), count_types(value2));
    default:
      return kNotComparable;
  }
}

void complement(Cell* value, Cell* result) {
  *result = make(~value->data1, ~value->data2, ~value->data3);
}

void find(Cell* series, Cell* value, const FindOptions&, Cell* result) {
  if (!value->is(TYPE_DATATYPE)) number::raise_invalid_arg(value);
  *result = logic::make(has(series, int32_t(value->data1)));
}
}  // namespace

void init() {
  using actions::own;
  datatype::register_type(TYPE_TYPESET, 0, "typeset!",
                          actions::ActionList()
                              .own(own<ACT_MAKE>(make))
                              .own(own<ACT_TO>(make))
                              .own(own<ACT_FORM>(form))
                              .own(own<ACT_MOLD>(mold))
                              .own(own<ACT_COMPARE>(compare))
                              .own(own<ACT_AND>(number::op_action<set_operation, OP_AND>))
                              .own(own<ACT_COMPLEMENT>(complement))
                              .own(own<ACT_OR>(number::op_action<set_operation, OP_OR>))
                              .own(own<ACT_XOR>(number::op_action<set_operation, OP_XOR>))
                              .own(own<ACT_FIND>(find)));
}

}  // namespace xol::typeset
