// Ground shared by the compound scalar types (pair!, tuple!, point2D!, point3D!) and vector!:
// making them from text, setting a field through a path, and arithmetic whose number comes
// first.
//
// A number first and a compound value second (`2 * 3x4`, `10 - v`) computes what it says. The
// operations that do not care about order hand the values over exchanged; subtract and
// remainder spread the number over the compound's shape and run the compound's own arithmetic,
// so that integer and float numbers follow the same rules as on the right-hand side. Divide is
// refused as unrelated for pairs, points and tuples (and subtract for tuples, whose bytes have
// no sign).
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/number.h"
#include "runtime/memory/memory.h"
#include "runtime/datatypes/owners.h"

namespace xol::compound {

// Loads a value from text (string!, file!, url!, tag!, email!, ref!) into `result`. Installed
// by the lexer.
using TextLoader = void (*)(const Cell* text, Cell* result);
void set_text_loader(TextLoader loader);
inline bool is_text(TypeId type) {
  return type == TYPE_STRING || type == TYPE_FILE || type == TYPE_URL || type == TYPE_TAG ||
         type == TYPE_EMAIL || type == TYPE_REF;
}
// The value that `text` loads as, which must be of `type`: else script `bad-to-arg` with the
// type and the loaded value. Before a loader is installed, internal `not-done`.
Cell load_as(const Cell* text, TypeId type);

// The 1-based coordinate that a pick index or path element names: an integer!, or a word x, y
// or z (letter case ignored); 0 when it names none of the first `count`.
int32_t coordinate_index(const Cell* element, int32_t count);
// Raises the error of a pick on a pair or point whose index names no coordinate: script
// `cannot-use` with a word and the value, else script `out-of-range` with the index.
[[noreturn]] void raise_no_coordinate(const Cell* index, const Cell* value);

// After a path stored into a compound value (step.parent, already changed), tells whoever
// watches it: the on-change* of the object whose field it is, with the field word, the old and
// the new value, or else the owner of the series that holds it, with the word `set-path`.
void notify_path_set(const PathStep& step, const Cell& old_value);

// Runs `change` framed by the owners notifications `before` and `after` of a series; the one
// after runs only when the one before found an owner, and an unowned buffer costs one flag
// test.
template <class Change>
void notifying(const Cell* series, const Cell& before, const Cell& after, const Cell* value,
               Change&& change) {
  bool owned = (memory::buffer_of(series->node())->flags & memory::FLAG_OWNED) &&
               ownership::check(series, &before, value, 0, 0);
  change();
  if (owned) ownership::check(series, &after, value, 0, 0);
}

// `number op value` for a compound `value`; false when `value` is not a compound type.
// `number` is an integer!, float!, percent! or time!.
bool number_first_math(MathOp op, const Cell* number, const Cell* value, Cell* result);

}  // namespace xol::compound
