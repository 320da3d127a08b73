// issue!: a word-shaped name written with a leading "#" (#abc). It is stored like a word, always
// in the global context with no value index, so it is a name and never a variable. It shares the
// word routines for form, mold (whose table of marks gives it its "#") and compare; make, to and
// compare check the issue's own rules first.
#pragma once

#include <string_view>

#include "runtime/cell.h"

namespace xol::issue {

// Turns `cell` into the issue of a name.
Cell* make_at(Cell* cell, std::string_view name);
// The loader's constructor: the issue, kept in the root block while the boot flag is set.
Cell load(std::string_view name);

// Registers issue! (id 20, parent word!).
void init();

}  // namespace xol::issue
