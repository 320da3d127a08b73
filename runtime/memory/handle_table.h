// The handle table: external resources (bitmaps, fonts, GObjects, curl handles) kept in one
// numbered table of slots, so that they live and die like series.
//
// A `handle!` value, or a record such as an image's bitmap record, holds a slot index, never
// the resource itself. The collector marks the slots that live values reach; after marking,
// `sweep` releases every used slot that was not marked, through the release function of the
// slot's kind. The slots live in the tracked heap and never hold values, so the collector does
// not move them; the array does move when it doubles, which is why callers keep indexes.
//
// Slots sit on one of two singly linked lists: the used list and the free list (LIFO, so the
// slot freed last is handed out first). The free list is never left empty: taking its last
// slot doubles the table first.
#pragma once

#include <cstdint>
#include <type_traits>

namespace xol::handles {

// Releases the resource an object word names. Runs inside a collection when a slot dies, so it
// must not allocate series or run language code.
using ReleaseFn = void (*)(uintptr_t object);

constexpr int kMaxKinds = 20;              // three are used: image, font, native object
constexpr uint32_t kInitialSlots = 1000;   // doubled whenever the last free slot is taken
constexpr int32_t kNoSlot = -1;            // end of a list

// Kind-and-flags word of a slot.
enum SlotWord : uint32_t {
  KIND_MASK = 0xFF,
  SLOT_FREE = 0x40000000,   // the whole word of a free slot
  SLOT_MARK = 0x80000000,   // collector mark
};

// Makes the kind table and a table of kInitialSlots free slots; a second call starts afresh
// (kinds included) after freeing the old tables.
void init();
// Answers the new kind's number, counted from 1 in registration order. `release` may be null.
int register_kind(const char* name, ReleaseFn release);
const char* kind_name(int kind);

// Takes a free slot for `object` of `kind` and answers its index. Only cells mark slots (the
// native-stack scan does not), so store the index in a reachable cell before the next series
// allocation: reserve the cell first, then take the slot.
int32_t alloc(uintptr_t object, int kind);
// Replaces the slot's object; the old one is released through the slot's kind unless it is the
// same object.
void set_object(int32_t index, uintptr_t object);
uintptr_t object_of(int32_t index);
int kind_of(int32_t index);
bool is_used(int32_t index);
// Frees the slot, releasing its object first when `release` is set.
void free(int32_t index, bool release);
uint32_t capacity();

// Collector: marks a used slot and answers whether it was newly marked; a non-zero `object`
// also replaces the slot's object (an image's record refreshing its native bitmap). Indexes
// that name no used slot are ignored.
bool mark(int32_t index, uintptr_t object = 0);
// Collector, after marking: clears the marks of the marked slots and releases the others.
void sweep();

// Calls `visit(object, context)` for every used slot of `kind`, in used-list order (newest
// first).
void for_each_of_kind(int kind, void (*visit)(uintptr_t object, void* context), void* context);

template <class Visit>
void for_each_of_kind(int kind, Visit&& visit) {
  using Callable = std::remove_reference_t<Visit>;
  for_each_of_kind(
      kind, [](uintptr_t object, void* context) { (*static_cast<Callable*>(context))(object); },
      &visit);
}

}  // namespace xol::handles
