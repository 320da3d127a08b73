// object!: contexts with an owner value, a class id and optional change hooks.
//
// An object! cell: header (type 32); word 1 the context node (kind 2, object flag; its owner
// cell holds a copy of the object); word 2 the class id; word 3 the node of the on-set record,
// or 0 when the object has no hook field. error! and port! share this cell and these routines.
//
// Class ids come from one counter: objects that share a shape share an id, so compiled code can
// test a shape with one comparison. Ids 1 and 2 are kept for error! and port!, the counter
// hands out the rest.
//
// The on-set record is two pair!-typed cells, 0 for `on-change*` and 1 for `on-deep-change*`;
// each holds in word 2 (hook field index << 16) | the hook function's frame cells from /local
// on (index -1: no such hook), and in word 3 the node of the spec those locals were counted
// from, so a hook function replaced by one with another spec is recounted before its call.
// Hooks never fire while an object is being made; `on-change*` fires after a field is set
// through a word or a path, `on-deep-change*` when the owners table reports a change to a
// series the object owns.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"

namespace xol::object {

constexpr int32_t kErrorClass = 1;
constexpr int32_t kPortClass = 2;
constexpr int32_t kNewObjectSize = 4;   // word slots of a context made without a prototype

inline NodeId context_of(const Cell* object) { return object->data1; }
inline int32_t class_of(const Cell* object) { return int32_t(object->data2); }

// An empty object (class 0, no record) with a new context of `size` words.
Cell* make_at(Cell* cell, int32_t size);
// An object of the context with that class and record; a values buffer shorter than the word
// list is first extended with unset slots. The object becomes the context's owner.
void make_from(NodeId context, int32_t class_id, NodeId record, Cell* result);
// Builds the record from the object's hook fields; a hook field that holds something other
// than a function raises script `bad-field-set`.
void init_on_set(Cell* object);
bool has_deep_hook(const Cell* object);

// A null `new_value` is passed as none.
void fire_on_deep_change(const Cell* object, const Cell* word, const Cell* target,
                         const Cell* action, const Cell* new_value, int32_t index,
                         int32_t part);

// ---- fields ----
int32_t field_count(const Cell* object);
// Caseless; -1 when absent.
int32_t field_index(const Cell* object, const Cell* word);
// The field's slot, or a shared none cell when absent.
Cell* select_slot(const Cell* object, const Cell* word);

// The value at a path of fields below the global `system` object (system/standard/error is
// {"standard", "error"}), or null while the standard library has not made it.
Cell* system_field(std::initializer_list<const char*> path);

// Whether the object's first fields bear these names in this order (caseless): a prototype
// from system/standard is used only when it has the shape the runtime reads by position.
bool starts_with_fields(const Cell* object, std::span<const char* const> names);

// `set obj source`: values spread from a block or an object unless `only`; `any` lets unset
// through, `some` skips none; hooks fire for each field set.
void set_from(Cell* object, const Cell* source, bool any, bool only, bool some);
// `construct`: a new object (or a copy of `prototype`, its hooks kept) from a spec walked once,
// nothing evaluated; unless `only`, the words true/yes/on, false/no/off and none become their
// values.
void construct(const Cell* prototype, const Cell* spec, bool only, Cell* result);

// The fields as mold prints them, wrapped in "<prefix>[" and "]" unless `only`.
int32_t mold_as(const char* prefix, const Cell* object, Cell* buffer, bool only, bool all,
                bool flat, const Cell* argument, int32_t part, int32_t indent);

// ---- actions, shared by error! and port! ----
void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);
void reflect(Cell* value, const Cell* field, Cell* result);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
             const Cell* argument, int32_t part, int32_t indent);
// The element must be a word type. A missing or unset field raises `invalid-path` when
// `step.last` is set and `unset-path` otherwise; with `step.get` as well it reads as unset.
void eval_path(const PathStep& step, Cell* result);
void copy(Cell* value, const Cell* part, bool deep, const Cell* types, Cell* result);
void select(Cell* series, Cell* value, const FindOptions& options, Cell* result);
void modify(Cell* target, Cell* field, Cell* value, bool case_sensitive, Cell* result);

// Registers object! (id 32).
void init();

}  // namespace xol::object
