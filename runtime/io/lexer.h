// The lexer: UTF-8 source text becomes values.
//
// A table-driven automaton over byte classes finds where each token ends and which of 36 kinds
// it is (the tables are generated into lexer_tables.inc); the token's scanner keeps the nesting
// of blocks, parens, maps, paths, points and braced strings, and its loader builds the value.
// Values are collected on one process-wide value stack and handed over once, as a new block,
// appended to a given block, or as a single value. Every road from text to values goes through
// `scan` (bytes) or `scan_string` (a string! value): `transcode`, `load`, `do` of a string,
// `to block!` of a string, the console's delimiter counting and colouring.
//
// Scans nest without threads: a trace callback or a loader may scan again, and the inner scan
// works above the outer one's cells on the same value stack. Each running scan is a `State`
// record on its caller's native stack, chained from the innermost one, so that the collector
// can mark every collected cell (the stack is registered as a mark callback).
//
// A scan either raises errors (a loading scan that is not a prescan) or does not: then invalid
// input ends it quietly and the result type is error!. Syntax errors are language errors of the
// category syntax (invalid, missing, malconstruct, bad-char) with "(line N)" as first argument.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/cell.h"

namespace xol::lexer {

// Trace events and their bits in a callback's event mask.
enum Event : uint32_t {
  EVENT_PRESCAN = 1,
  EVENT_SCAN = 2,
  EVENT_LOAD = 4,
  EVENT_OPEN = 8,
  EVENT_CLOSE = 16,
  EVENT_ERROR = 32,
};
constexpr uint32_t kAllEvents = 63;
// The arguments of a trace callback, a function! value that evaluator_hooks calls.
constexpr int kCallbackArgs = 5;   // event, input, type, line, token

// Sets up the value stack, the UTF-8 conversion buffer, the event words and the collector
// hook. Called once by runtime initialisation, after the words exist.
void init();
// Gives back what init took (runtime shutdown and test teardown).
void release();

// The flags of a scan, as `transcode` combines them:
// plain: load; /next and /one: load + one_value; /scan: one_value (build nothing, answer the
// type of the first token); /prescan: one_value + prescan (value tokens recognised by the
// automaton alone).
struct Mode {
  bool load = true;
  bool prescan = false;
  bool one_value = false;
  bool force_block = false;
};

// Scans `length` bytes from `bytes`. `into`: a block to append to, or null for a new block.
// `source`: the series the bytes came from (string! or binary!; positions given to callbacks
// and `consumed` count code points for a string!, bytes otherwise), or null. `callback`: a
// trace function or null. `consumed` (may be null): how much input was used. `out` receives the
// block (or, in one-value mode, the first value; none when a quiet scan met invalid input).
// Answers the result type: the datatype id of the last token (for a structural token the series
// it closed, 0 when none), or TYPE_ERROR for invalid input in a scan that does not raise.
int32_t scan(Cell* into, const Cell* source, const Cell* callback, int32_t* consumed,
             const Mode& mode, uint32_t length, const uint8_t* bytes, Cell* out);
// Scans a string! from its head: all of it, or `length` code points (-1: all). Converts it to
// UTF-8 in the conversion area first.
int32_t scan_string(const Cell* string, Cell* into, const Cell* callback, int32_t* consumed,
                    const Mode& mode, int32_t length, Cell* out);

// The convenience for system code and tests: the block of the values of UTF-8 source text.
// A first line starting with "#!" (a Unix script's interpreter line) is skipped. Syntax errors
// are raised.
Cell load(std::string_view source);

// The trace events a callback asked for: the first value of its body when that is a block of
// event words (other words count nothing), else all of them.
uint32_t event_mask(const Cell* body);

}  // namespace xol::lexer
