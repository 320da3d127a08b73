// The JSON encoder's writer: the text of `to-json`.
#pragma once

#include "runtime/cell.h"

namespace xol::library::json_emit {

// The JSON text of the value. `indent` (a string!, or none for compact text) is written once
// per level before each element of a pretty layout; with `ascii`, every character outside
// printable ASCII is escaped. A float that is NaN or infinite raises script `invalid-arg`
// with it, a block, map or object met again inside itself raises it with "cyclic data".
Cell* emit_json(Cell* data, Cell* indent, bool ascii);

}  // namespace xol::library::json_emit
