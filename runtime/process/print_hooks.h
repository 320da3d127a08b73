// Print hooks: the two lists of callbacks through which everything the runtime prints also
// reaches a listener such as the GUI console.
//
// Value printers receive the value that `print` (newline 1) or `prin` (newline 0) was given;
// text printers receive the UTF-8 text of every string and number the low-level printer writes.
// Hooks run in registration order over the count taken when the call starts, so a hook that
// registers or removes hooks while it runs cannot make the walk read past the list.
#pragma once

#include <cstddef>

#include "runtime/cell.h"

namespace xol::dyn_print {

using ValuePrinter = void (*)(const Cell* value, int newline);
using TextPrinter = void (*)(const char* utf8, int size, int newline);

// Each list starts with room for this many hooks and grows by as many when full.
constexpr size_t kHookListStep = 5;

void init();
// Appends each non-null printer to its list; a printer added twice is called twice.
void add(ValuePrinter value_printer, TextPrinter text_printer);
// Removes the first occurrence of each non-null printer from its list.
void remove(ValuePrinter value_printer, TextPrinter text_printer);
void call_value_hooks(const Cell* value, int newline);
void call_text_hooks(const char* utf8, int size, int newline);

}  // namespace xol::dyn_print
