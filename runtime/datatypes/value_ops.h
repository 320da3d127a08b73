// Small services on values of any type that functions, objects, errors and ports share:
// printing a value through its type's action row, and copying series shallowly or deeply.
//
// Copies prefer the type's own `copy` action once that type has registered one; until then a
// series is copied here unit for unit from its head, which is what every series copy does.
// Deep copies go through the cycles stack, so a block that contains itself raises the internal
// error `no-cycle` instead of recursing without end.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::values {

// The series types whose values object copies and method clones copy deeply.
bool is_copied_series(TypeId type);

// `argument` is the /part refinement's argument, null when none was given: a value that holds
// much more than the limit stops at the limit only when it is there.
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
             const Cell* argument, int32_t part, int32_t indent);
int32_t form(const Cell* value, Cell* buffer, const Cell* argument, int32_t part);
// Form and mold into a new string!, as the `form` and `mold` actions do: a `part` of 0 or less
// gives an empty string, kNoPartLimit none.
void form_value(const Cell* value, int32_t part, Cell* result);
void mold_value(const Cell* value, bool only, bool all, bool flat, int32_t part, Cell* result);

// A new series holding the units of `value` from its head to its tail; with `deep`, every
// nested series of a block-like value is copied the same way.
void copy(const Cell* value, bool deep, Cell* result);

}  // namespace xol::values
