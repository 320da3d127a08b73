// The print-hook lists: arrays on the tracked heap, grown a few entries at a time since only a
// handful of listeners ever register.
#include "runtime/process/print_hooks.h"

#include <cstring>

#include "runtime/process/tracked_heap.h"

namespace xol::dyn_print {

namespace {

template <class Hook>
struct HookList {
  Hook* hooks = nullptr;
  size_t count = 0;
  size_t capacity = 0;

  void grow() {
    auto* larger = static_cast<Hook*>(rt::allocate((capacity + kHookListStep) * sizeof(Hook)));
    if (hooks != nullptr) {
      std::memcpy(larger, hooks, count * sizeof(Hook));
      rt::free(hooks);
    }
    hooks = larger;
    capacity += kHookListStep;
  }

  void add(Hook hook) {
    if (hook == nullptr) return;
    if (count == capacity) grow();
    hooks[count++] = hook;
  }

  void remove(Hook hook) {
    if (hook == nullptr) return;
    for (size_t i = 0; i < count; ++i) {
      if (hooks[i] != hook) continue;
      std::memmove(hooks + i, hooks + i + 1, (count - i - 1) * sizeof(Hook));
      --count;
      return;
    }
  }

  // The array is read afresh at each step: a hook may have grown it.
  template <class... Args>
  void call(Args... args) const {
    const size_t count_at_call = count;
    for (size_t i = 0; i < count_at_call && i < count; ++i) hooks[i](args...);
  }
};

HookList<ValuePrinter> value_printers;
HookList<TextPrinter> text_printers;

}  // namespace

void init() {
  if (value_printers.hooks == nullptr) value_printers.grow();
  if (text_printers.hooks == nullptr) text_printers.grow();
}

void add(ValuePrinter value_printer, TextPrinter text_printer) {
  value_printers.add(value_printer);
  text_printers.add(text_printer);
}

void remove(ValuePrinter value_printer, TextPrinter text_printer) {
  value_printers.remove(value_printer);
  text_printers.remove(text_printer);
}

void call_value_hooks(const Cell* value, int newline) { value_printers.call(value, newline); }

void call_text_hooks(const char* utf8, int size, int newline) {
  text_printers.call(utf8, size, newline);
}

}  // namespace xol::dyn_print
