// Datatype registration, the per-type action rows, and the datatype! type itself.
//
// Every datatype registers once at start-up: its id, its parent's id, its name and an
// `ActionList`, one entry per action. Each entry is the type's own routine, absent (the type
// does not support the action: dispatching it raises a script error) or inherited, which
// registration resolves at once by copying the parent's entry. The copy happens only then, so
// parents register before their children, and a child never sees a parent slot changed
// afterwards.
//
// Routines are typed: each action has one C++ signature (`ActionSignature<A>`), and a row slot
// holds exactly the pointer type of its action. An entry records which action its routine was
// written for, and the list places it by that action, so no routine can reach the slot of
// another action. Routines take their arguments as cells and write their value
// into a result cell, which may be the first argument's own cell: a routine reads its arguments
// before it writes the result.
#pragma once

#include <cstdint>
#include <array>
#include <cstddef>
#include <initializer_list>

#include "runtime/cell.h"

namespace xol {

// ---- the actions, in action order ----

// Options of the actions with many refinements. A refinement with an argument is the address of
// that argument's cell, or null when the refinement was not given.
struct InsertOptions {      // append, insert, change
  int32_t part = -1;        // number of values to take, -1 for all
  bool only = false;
  int32_t dup = 1;          // repetitions
};
struct FindOptions {        // find, select
  const Cell* part = nullptr;
  bool only = false, case_sensitive = false, same = false, any = false;
  const Cell* with = nullptr;
  const Cell* skip = nullptr;
  bool last = false, reverse = false, tail = false, match = false;
};
struct RoundOptions {
  const Cell* to = nullptr;
  bool even = false, down = false, half_down = false, floor = false, ceiling = false,
       half_ceiling = false;
};
struct SortOptions {
  bool case_sensitive = false;
  const Cell* skip = nullptr;
  const Cell* compare = nullptr;
  const Cell* part = nullptr;
  bool all = false, reverse = false, stable = false;
};
struct TrimOptions {
  bool head = false, tail = false, automatic = false, lines = false, all = false;
  const Cell* with = nullptr;
};
struct OpenOptions {
  bool create_new = false, read = false, write = false, seek = false;
  const Cell* allow = nullptr;
};
struct ReadOptions {
  const Cell* part = nullptr;
  const Cell* seek = nullptr;
  bool binary = false, lines = false, info = false;
  const Cell* as = nullptr;
};
struct WriteOptions {
  bool binary = false, lines = false, info = false, append = false;
  const Cell* part = nullptr;
  const Cell* seek = nullptr;
  const Cell* allow = nullptr;
  const Cell* as = nullptr;
};
// Arguments of eval-path and set-path, the internal path-step actions.
struct PathStep {
  Cell* parent;
  Cell* element;
  Cell* value;              // the value to set, or null for a read
  Cell* path;
  Cell* grand_parent;
  Cell* previous_element;
  int32_t index;
  bool case_sensitive, get, last, notify;
};

// Signatures shared by several actions.
using UnaryRoutine = void (*)(Cell* value, Cell* result);
using BinaryRoutine = void (*)(Cell* value1, Cell* value2, Cell* result);
using PredicateRoutine = bool (*)(const Cell* value);
using MakeRoutine = void (*)(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);
// Form and mold append to a text buffer and answer the part limit minus what they appended.
using FormRoutine = int32_t (*)(const Cell* value, Cell* buffer, const Cell* argument,
                                int32_t part);
using MoldRoutine = int32_t (*)(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
                                const Cell* argument, int32_t part, int32_t indent);
// -1, 0, 1 by order, or -2 when the two values are not comparable (see CompareOp).
using CompareRoutine = int32_t (*)(const Cell* value1, const Cell* value2, int32_t op);
using PathRoutine = void (*)(const PathStep& step, Cell* result);
using RandomRoutine = void (*)(Cell* value, bool seed, bool secure, bool only, Cell* result);
using ReflectRoutine = void (*)(Cell* value, const Cell* field, Cell* result);
using RoundRoutine = void (*)(Cell* value, const RoundOptions& options, Cell* result);
using InsertRoutine = void (*)(Cell* series, Cell* value, const InsertOptions& options,
                               bool at_tail, Cell* result);
using ChangeRoutine = void (*)(Cell* series, Cell* value, const InsertOptions& options,
                               Cell* result);
using CopyRoutine = void (*)(Cell* value, const Cell* part, bool deep, const Cell* types,
                             Cell* result);
using FindRoutine = void (*)(Cell* series, Cell* value, const FindOptions& options, Cell* result);
// Answers the length, or -1 for none.
using LengthRoutine = int32_t (*)(const Cell* series);
using MoveRoutine = void (*)(Cell* origin, Cell* target, const Cell* part, Cell* result);
using PickRoutine = void (*)(Cell* series, int32_t index, const Cell* index_cell, Cell* result);
using PokeRoutine = void (*)(Cell* series, int32_t index, const Cell* index_cell, Cell* value,
                             Cell* result);
using PutRoutine = void (*)(Cell* series, Cell* key, Cell* value, bool case_sensitive,
                            Cell* result);
using RemoveRoutine = void (*)(Cell* series, const Cell* part, const Cell* key, Cell* result);
using ReverseRoutine = void (*)(Cell* series, const Cell* part, const Cell* skip, Cell* result);
using SortRoutine = void (*)(Cell* series, const SortOptions& options, Cell* result);
using TakeRoutine = void (*)(Cell* series, const Cell* part, bool deep, bool last, Cell* result);
using TrimRoutine = void (*)(Cell* series, const TrimOptions& options, Cell* result);
using ModifyRoutine = void (*)(Cell* target, Cell* field, Cell* value, bool case_sensitive,
                               Cell* result);
using OpenRoutine = void (*)(Cell* port, const OpenOptions& options, Cell* result);
using ReadRoutine = void (*)(Cell* source, const ReadOptions& options, Cell* result);
using WriteRoutine = void (*)(Cell* destination, Cell* data, const WriteOptions& options,
                              Cell* result);

// X(number, enumerator, member, spelling, signature): one line per action, in action order.
// eval-path, set-path and compare are internal actions without a word.
#define XOL_ACTIONS(X)                                   \
  X(1, ACT_MAKE, make, "make", MakeRoutine)              \
  X(2, ACT_RANDOM, random, "random", RandomRoutine)      \
  X(3, ACT_REFLECT, reflect, "reflect", ReflectRoutine)  \
  X(4, ACT_TO, to, "to", MakeRoutine)                    \
  X(5, ACT_FORM, form, "form", FormRoutine)              \
  X(6, ACT_MOLD, mold, "mold", MoldRoutine)              \
  X(7, ACT_EVAL_PATH, eval_path, nullptr, PathRoutine)   \
  X(8, ACT_SET_PATH, set_path, nullptr, PathRoutine)     \
  X(9, ACT_COMPARE, compare, nullptr, CompareRoutine)    \
  X(10, ACT_ABSOLUTE, absolute, "absolute", UnaryRoutine) \
  X(11, ACT_ADD, add, "add", BinaryRoutine)              \
  X(12, ACT_DIVIDE, divide, "divide", BinaryRoutine)     \
  X(13, ACT_MULTIPLY, multiply, "multiply", BinaryRoutine) \
  X(14, ACT_NEGATE, negate, "negate", UnaryRoutine)      \
  X(15, ACT_POWER, power, "power", BinaryRoutine)        \
  X(16, ACT_REMAINDER, remainder, "remainder", BinaryRoutine) \
  X(17, ACT_ROUND, round, "round", RoundRoutine)         \
  X(18, ACT_SUBTRACT, subtract, "subtract", BinaryRoutine) \
  X(19, ACT_EVEN, even, "even?", PredicateRoutine)       \
  X(20, ACT_ODD, odd, "odd?", PredicateRoutine)          \
  X(21, ACT_AND, and_, "and~", BinaryRoutine)            \
  X(22, ACT_COMPLEMENT, complement, "complement", UnaryRoutine) \
  X(23, ACT_OR, or_, "or~", BinaryRoutine)               \
  X(24, ACT_XOR, xor_, "xor~", BinaryRoutine)            \
  X(25, ACT_APPEND, append, "append", InsertRoutine)     \
  X(26, ACT_AT, at, "at", BinaryRoutine)                 \
  X(27, ACT_BACK, back, "back", UnaryRoutine)            \
  X(28, ACT_CHANGE, change, "change", ChangeRoutine)     \
  X(29, ACT_CLEAR, clear, "clear", UnaryRoutine)         \
  X(30, ACT_COPY, copy, "copy", CopyRoutine)             \
  X(31, ACT_FIND, find, "find", FindRoutine)             \
  X(32, ACT_HEAD, head, "head", UnaryRoutine)            \
  X(33, ACT_HEAD_Q, head_q, "head?", UnaryRoutine)       \
  X(34, ACT_INDEX_Q, index_q, "index?", UnaryRoutine)    \
  X(35, ACT_INSERT, insert, "insert", InsertRoutine)     \
  X(36, ACT_LENGTH_Q, length_q, "length?", LengthRoutine) \
  X(37, ACT_MOVE, move, "move", MoveRoutine)             \
  X(38, ACT_NEXT, next, "next", UnaryRoutine)            \
  X(39, ACT_PICK, pick, "pick", PickRoutine)             \
  X(40, ACT_POKE, poke, "poke", PokeRoutine)             \
  X(41, ACT_PUT, put, "put", PutRoutine)                 \
  X(42, ACT_REMOVE, remove, "remove", RemoveRoutine)     \
  X(43, ACT_REVERSE, reverse, "reverse", ReverseRoutine) \
  X(44, ACT_SELECT, select, "select", FindRoutine)       \
  X(45, ACT_SORT, sort, "sort", SortRoutine)             \
  X(46, ACT_SKIP, skip, "skip", BinaryRoutine)           \
  X(47, ACT_SWAP, swap, "swap", BinaryRoutine)           \
  X(48, ACT_TAIL, tail, "tail", UnaryRoutine)            \
  X(49, ACT_TAIL_Q, tail_q, "tail?", UnaryRoutine)       \
  X(50, ACT_TAKE, take, "take", TakeRoutine)             \
  X(51, ACT_TRIM, trim, "trim", TrimRoutine)             \
  X(52, ACT_CREATE, create, "create", UnaryRoutine)      \
  X(53, ACT_CLOSE, close, "close", UnaryRoutine)         \
  X(54, ACT_DELETE, delete_, "delete", UnaryRoutine)     \
  X(55, ACT_MODIFY, modify, "modify", ModifyRoutine)     \
  X(56, ACT_OPEN, open, "open", OpenRoutine)             \
  X(57, ACT_OPEN_Q, open_q, "open?", UnaryRoutine)       \
  X(58, ACT_QUERY, query, "query", UnaryRoutine)         \
  X(59, ACT_READ, read, "read", ReadRoutine)             \
  X(60, ACT_RENAME, rename, "rename", BinaryRoutine)     \
  X(61, ACT_UPDATE, update, "update", UnaryRoutine)      \
  X(62, ACT_WRITE, write, "write", WriteRoutine)

enum Action : uint8_t {
#define XOL_ACTION_ENUM(n, id, member, word, sig) id = n,
  XOL_ACTIONS(XOL_ACTION_ENUM)
#undef XOL_ACTION_ENUM
};

// Whether the numbers of an X-macro list run 1, 2, 3 ... in list order, as the tables indexed by
// them assume.
template <size_t N>
constexpr bool numbered_from_one(const int (&numbers)[N]) {
  for (size_t i = 0; i < N; ++i)
    if (numbers[i] != int(i) + 1) return false;
  return true;
}
#define XOL_ACTION_NUMBER(n, id, member, word, sig) n,
constexpr int kActionNumbers[] = {XOL_ACTIONS(XOL_ACTION_NUMBER)};
#undef XOL_ACTION_NUMBER
static_assert(numbered_from_one(kActionNumbers), "XOL_ACTIONS numbers its actions 1, 2, 3 ...");
constexpr int kActionCount = int(std::size(kActionNumbers));

// Compare ops passed to every compare routine.
enum CompareOp : int32_t {
  COMP_EQUAL, COMP_NOT_EQUAL, COMP_STRICT_EQUAL, COMP_LESSER, COMP_LESSER_EQUAL, COMP_GREATER,
  COMP_GREATER_EQUAL, COMP_SORT, COMP_CASE_SORT, COMP_SAME,
  COMP_FIND_STRICT,   // parse matching of a lit-word! or lit-path! rule, case-sensitive
  COMP_FIND,          // the same without regard to case
  COMP_SELECT,        // equality of find, select and put: same type, case ignored
};
constexpr int32_t kNotComparable = -2;

// The ops under which the value-less and one-bit types compare at all: the equalities, sorting
// and same?. Under the others (orderings, parse matching) they are not comparable.
inline bool equality_or_sort_op(int32_t op) {
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT:
    case COMP_CASE_SORT: case COMP_SAME: case COMP_SELECT:
      return true;
    default:
      return false;
  }
}
// The part limit of a form or mold that has no /part.
constexpr int32_t kNoPartLimit = 0x7FFFFFFF;

template <Action A> struct ActionSignature;
#define XOL_ACTION_SIGNATURE(n, id, member, word, sig) \
  template <> struct ActionSignature<id> { using type = sig; };
XOL_ACTIONS(XOL_ACTION_SIGNATURE)
#undef XOL_ACTION_SIGNATURE

// One slot of a row: the member of action k is the only one ever written into slot k.
union ActionSlot {
#define XOL_ACTION_MEMBER(n, id, member, word, sig) sig member;
  XOL_ACTIONS(XOL_ACTION_MEMBER)
#undef XOL_ACTION_MEMBER
};

// One entry of a registration list.
struct ActionEntry {
  enum Kind : uint8_t { ABSENT, INHERIT, ROUTINE };
  Kind kind;
  Action action;   // for ROUTINE: the action the routine was written for
  ActionSlot routine;
};

constexpr ActionEntry kAbsent{ActionEntry::ABSENT, Action(0), {}};
constexpr ActionEntry kInherit{ActionEntry::INHERIT, Action(0), {}};

namespace actions {

// An entry for routine `fn` of action A; the signature is checked by the compiler.
template <Action A>
ActionEntry own(typename ActionSignature<A>::type fn);

#define XOL_ACTION_OWN(n, id, member, word, sig)              \
  template <> inline ActionEntry own<id>(sig fn) {            \
    ActionEntry entry{ActionEntry::ROUTINE, id, {}};          \
    entry.routine.member = fn;                                \
    return entry;                                             \
  }
XOL_ACTIONS(XOL_ACTION_OWN)
#undef XOL_ACTION_OWN

// A registration list being filled: every action absent until given. `own` places a routine at
// its action's position; `inherit` marks positions to copy from the parent.
class ActionList {
 public:
  ActionList() { entries_.fill(kAbsent); }
  ActionList& own(const ActionEntry& entry) {
    entries_[entry.action - 1] = entry;
    return *this;
  }
  ActionList& inherit(std::initializer_list<Action> inherited) {
    for (Action action : inherited) entries_[action - 1] = kInherit;
    return *this;
  }
  const ActionEntry& entry(Action action) const { return entries_[action - 1]; }

 private:
  std::array<ActionEntry, kActionCount> entries_;
};

// The word of action `action` ("make", "even?" ...), or null for the internal ones.
const char* action_word(Action action);

// The routine of action A for `type`, or null when the type does not support it.
template <Action A>
typename ActionSignature<A>::type find(TypeId type);

// The routine of action A for `type`; a type without it raises script `expect-arg`.
template <Action A>
typename ActionSignature<A>::type get(TypeId type);

// Raises script `expect-arg` for a type that lacks an action.
[[noreturn]] void raise_unsupported(TypeId type, Action action);

}  // namespace actions

namespace datatype {

constexpr int kTableSize = 57;       // room for type ids 0-56; entry 0 stays empty

struct TableEntry {
  const char* name;     // "block!"
  int32_t name_length;  // length without the trailing "!"
  Cell word;            // the word of the name, or unset until the datatype words are made
};

struct Row {
  ActionSlot slots[kActionCount + 1];   // indexed by action number; slot 0 unused
};

// Allocates both tables from the tracked heap, every slot empty. Called once before the first
// registration.
void init_tables();
TableEntry& entry(int32_t type);
// Every action dispatch reads a row: inline.
extern Row* rows;
inline const Row& row(int32_t type) { return rows[type]; }
int32_t highest_type();

// Registers a type: its name, and its row filled from `actions` (see the top of this file).
void register_type(int32_t type, int32_t parent, const char* name,
                   const actions::ActionList& actions);

// The datatype! cell for a type id.
inline Cell make(int32_t type) { return Cell{TYPE_DATATYPE, uint32_t(type), 0, 0}; }

// Registers datatype! (id 1).
void init();

}  // namespace datatype

namespace actions {

#define XOL_ACTION_FIND(n, id, member, word, sig)                         \
  template <> inline sig find<id>(TypeId type) {                          \
    return datatype::row(type).slots[id].member;                          \
  }                                                                       \
  template <> inline sig get<id>(TypeId type) {                           \
    sig routine = datatype::row(type).slots[id].member;                   \
    if (!routine) raise_unsupported(type, id);                            \
    return routine;                                                       \
  }
XOL_ACTIONS(XOL_ACTION_FIND)
#undef XOL_ACTION_FIND

}  // namespace actions

}  // namespace xol
