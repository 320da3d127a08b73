// The handle table: numbered slots for external resources, released by kind when the collector
// finds them unreachable.
//
// Each slot is a kind-and-flags word, the next index of the list it is on, and the object
// (64 bits: a pointer or an OS handle). The table and the kind table come from the tracked heap.
#include "runtime/memory/handle_table.h"

#include "runtime/process/tracked_heap.h"

namespace xol::handles {

namespace {

struct Slot {
  uint32_t word;      // kind in bits 0-7, SLOT_MARK; exactly SLOT_FREE when free
  int32_t next;       // next slot of the list this slot is on
  uintptr_t object;
};

struct Kind {
  const char* name;
  ReleaseFn release;
};

struct Table {
  Slot* slots = nullptr;
  uint32_t capacity = 0;
  int32_t free_head = kNoSlot;
  int32_t used_head = kNoSlot;
  Kind* kinds = nullptr;
  int kind_count = 0;
};

Table table;

// Chains slots [first, end) as free in index order; the last one ends the list.
void chain_free(uint32_t first, uint32_t end) {
  for (uint32_t i = first; i < end; ++i)
    table.slots[i] = Slot{SLOT_FREE, i + 1 < end ? int32_t(i + 1) : kNoSlot, 0};
}

void release(uint32_t word, uintptr_t object) {
  int kind = int(word & KIND_MASK);
  if (kind >= 1 && kind <= table.kind_count && table.kinds[kind - 1].release)
    table.kinds[kind - 1].release(object);
}

void make_free(int32_t index) {
  table.slots[index] = Slot{SLOT_FREE, table.free_head, 0};
  table.free_head = index;
}

bool names_used_slot(int32_t index) {
  return index >= 0 && uint32_t(index) < table.capacity && table.slots[index].word != SLOT_FREE;
}

}  // namespace

void init() {
  rt::free(table.slots);
  rt::free(table.kinds);
  table = Table{};
  table.kinds = static_cast<Kind*>(rt::allocate_zeroed(kMaxKinds * sizeof(Kind)));
  table.slots = static_cast<Slot*>(rt::allocate(kInitialSlots * sizeof(Slot)));
  table.capacity = kInitialSlots;
  chain_free(0, kInitialSlots);
  table.free_head = 0;
}

int register_kind(const char* name, ReleaseFn release) {
  table.kinds[table.kind_count] = Kind{name, release};
  return ++table.kind_count;
}

const char* kind_name(int kind) {
  return kind >= 1 && kind <= table.kind_count ? table.kinds[kind - 1].name : nullptr;
}

int32_t alloc(uintptr_t object, int kind) {
  Slot* head = &table.slots[table.free_head];
  if (head->next == kNoSlot) {
    // Taking the last free slot: double first, so the free list never runs dry.
    uint32_t old_capacity = table.capacity;
    int32_t head_index = table.free_head;
    table.capacity *= 2;
    table.slots = static_cast<Slot*>(rt::resize(table.slots, table.capacity * sizeof(Slot)));
    chain_free(old_capacity, table.capacity);
    table.slots[head_index].next = int32_t(old_capacity);
    head = &table.slots[head_index];
  }
  int32_t index = table.free_head;
  table.free_head = head->next;
  *head = Slot{uint32_t(kind) & KIND_MASK, table.used_head, object};
  table.used_head = index;
  return index;
}

void set_object(int32_t index, uintptr_t object) {
  Slot& slot = table.slots[index];
  uintptr_t old = slot.object;
  slot.object = object;
  if (old != object) release(slot.word, old);
}

uintptr_t object_of(int32_t index) { return table.slots[index].object; }

int kind_of(int32_t index) { return int(table.slots[index].word & KIND_MASK); }

bool is_used(int32_t index) { return names_used_slot(index); }

uint32_t capacity() { return table.capacity; }

void free(int32_t index, bool release_object) {
  Slot& slot = table.slots[index];
  if (release_object) release(slot.word, slot.object);
  int32_t* link = &table.used_head;
  while (*link != kNoSlot && *link != index) link = &table.slots[*link].next;
  if (*link == index) *link = slot.next;
  make_free(index);
}

bool mark(int32_t index, uintptr_t object) {
  if (!names_used_slot(index)) return false;
  Slot& slot = table.slots[index];
  if (object) slot.object = object;
  if (slot.word & SLOT_MARK) return false;
  slot.word |= SLOT_MARK;
  return true;
}

void sweep() {
  int32_t* link = &table.used_head;
  while (*link != kNoSlot) {
    int32_t index = *link;
    Slot& slot = table.slots[index];
    if (slot.word & SLOT_MARK) {
      slot.word &= ~SLOT_MARK;
      link = &slot.next;
      continue;
    }
    release(slot.word, slot.object);
    *link = slot.next;
    make_free(index);
  }
}

void for_each_of_kind(int kind, void (*visit)(uintptr_t object, void* context), void* context) {
  for (int32_t i = table.used_head; i != kNoSlot; i = table.slots[i].next)
    if (int(table.slots[i].word & KIND_MASK) == kind) visit(table.slots[i].object, context);
}

}  // namespace xol::handles
