// The library's routines: the routines table and the binding of routine! values to words and
// object fields in the boot order.
#pragma once

#include <string_view>

namespace xol::library {

// Fills the routines table (emptied first: start-up may run more than once in a process).
void register_routines();
// Makes the routine! of every `name: [spec]` pair of the embedded file and stores it: a
// set-word name in its global word, a set-path name in the field it names.
void bind_routines(std::string_view file);
// Makes the 62 type predicates and binds them to their global words.
void define_predicates();

}  // namespace xol::library
