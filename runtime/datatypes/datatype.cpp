// Datatype registration, the action rows and the datatype! type.
#include "runtime/datatypes/datatype.h"

#include <cstring>

#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/process/tracked_heap.h"

namespace xol {

namespace datatype {

Row* rows = nullptr;

namespace {

TableEntry* table = nullptr;
int32_t highest = 0;

// Writes `routine` into slot `action` through that action's own member; a null routine empties
// the slot.
void store(ActionSlot& slot, Action action, const ActionSlot* routine) {
  switch (action) {
#define XOL_ACTION_STORE(n, id, member, word, sig)       \
  case id:                                               \
    slot.member = routine ? routine->member : nullptr;   \
    return;
    XOL_ACTIONS(XOL_ACTION_STORE)
#undef XOL_ACTION_STORE
  }
}

}  // namespace

void init_tables() {
  table = static_cast<TableEntry*>(rt::allocate_zeroed(sizeof(TableEntry) * kTableSize));
  rows = static_cast<Row*>(rt::allocate(sizeof(Row) * kTableSize));
  for (int type = 0; type < kTableSize; ++type) {
    cell::set_unset(&table[type].word);
    for (int action = 1; action <= kActionCount; ++action)
      store(rows[type].slots[action], Action(action), nullptr);
  }
  highest = 0;
}

TableEntry& entry(int32_t type) { return table[type]; }
int32_t highest_type() { return highest; }

void register_type(int32_t type, int32_t parent, const char* name,
                   const actions::ActionList& actions) {
  if (type > highest) highest = type;
  table[type].name = name;
  table[type].name_length = int32_t(std::strlen(name)) - 1;
  if (block::root_exists()) table[type].word = word::load(name);

  Row& target = rows[type];
  for (int action = 1; action <= kActionCount; ++action) {
    const ActionEntry& given = actions.entry(Action(action));
    switch (given.kind) {
      case ActionEntry::ROUTINE:
        store(target.slots[action], Action(action), &given.routine);
        break;
      case ActionEntry::INHERIT:
        if (parent) target.slots[action] = rows[parent].slots[action];
        break;
      case ActionEntry::ABSENT:
        store(target.slots[action], Action(action), nullptr);
        break;
    }
  }
}

namespace {
int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
  const TableEntry& named = table[value->data1];
  return text::append_counted(buffer, {named.name, size_t(named.name_length)}, part);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell*, int32_t part,
             int32_t) {
  return text::append_constructed(buffer, table[value->data1].name, all, part);
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SAME:
    case COMP_SELECT:
      return value2->is(TYPE_DATATYPE) && value2->data1 == value1->data1 ? 0 : 1;
    default:
      return kNotComparable;
  }
}
}  // namespace

void init() {
  register_type(TYPE_DATATYPE, 0, "datatype!",
                actions::ActionList()
                    .own(actions::own<ACT_FORM>(form))
                    .own(actions::own<ACT_MOLD>(mold))
                    .own(actions::own<ACT_COMPARE>(compare)));
}

}  // namespace datatype

namespace actions {

const char* action_word(Action action) {
  switch (action) {
#define XOL_ACTION_WORD(n, id, member, word, sig) \
  case id:                                        \
    return word;
    XOL_ACTIONS(XOL_ACTION_WORD)
#undef XOL_ACTION_WORD
  }
  return nullptr;
}

void raise_unsupported(TypeId type, Action action) {
  const char* spelling = action_word(action);
  Cell name = spelling ? word::unbound(symbol::make(spelling)) : Cell{TYPE_NONE, 0, 0, 0};
  Cell type_value = datatype::make(type);
  error::raise(error::CAT_SCRIPT, "expect-arg", &name, &type_value);
}

}  // namespace actions

}  // namespace xol
