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

void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);

// Registers port! (id 48, parent object!).
void init();

}  // namespace xol::port
