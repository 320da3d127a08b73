// The JSON decoder's scanner: one pass over the text that builds the values of `load-json`.
#pragma once

#include "runtime/cell.h"

namespace xol::library::json_scan {

// The deepest nesting of arrays and objects a document may have.
constexpr int32_t kMaxDepth = 10000;

// Reads the JSON text from the string's head. Answers a block holding the value when the text
// is one valid document; else a block of three integers for the error `load-json` makes: the
// line reached, and the offsets from the head of the last position the scan settled on (after
// a value, a bracket, a name's colon or a line feed) and of the last line start.
Cell* scan_json(Cell* text);

}  // namespace xol::library::json_scan
