// port!: an object shaped like system/standard/port that stands for an external resource
// reached through a scheme, and forwards every series and port action to its actor.
//
// A port! cell is an object! cell (class id 2). Its fields, in order: spec, scheme, actor,
// awake, state, data, extra. The actor is an object whose fields are functions named after the
// actions; each action applied to the port calls the function of the same name with the port,
// the action's arguments, then for each refinement in spec order its flag (logic!) followed by
// its argument when it takes one (none when absent). The actor's function must declare the
// same arguments and refinements in the same order, optionally followed by /local: a function
// whose frame has another shape is refused as not supporting the action, so it never reads a
// cell that was not passed. An actor that is a handle! is served by the action dispatcher
// before these routines are reached.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"

namespace xol::port {

enum Field : int32_t {
  FIELD_SPEC, FIELD_SCHEME, FIELD_ACTOR, FIELD_AWAKE, FIELD_STATE, FIELD_DATA, FIELD_EXTRA,
  kFieldCount
};

Cell* field(const Cell* port, Field which);
// The actor object; an actor field that is not an object raises access `invalid-port`.
Cell get_actor(const Cell* port);
// Calls the actor's function named by `action` with the cells `args[0..count)` (the port
// first); raises access `no-port-action` with the word when the actor has no such function.
void call_actor(const Cell* actor, const Cell* action, const Cell* args, int32_t count,
                Cell* result);
// `port/do-action`: call_actor on the port's own actor.
void do_action(const Cell* action, const Cell* args, int32_t count, Cell* result);

void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
             const Cell* argument, int32_t part, int32_t indent);
int32_t form(const Cell* value, Cell* buffer, const Cell* argument, int32_t part);

// Registers port! (id 48, parent object!).
void init();

}  // namespace xol::port
