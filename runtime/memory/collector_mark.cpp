// Marking: the per-type table of which payload words hold nodes, and the work list that visits
// cell buffers without recursion (a chain of a hundred thousand nested blocks must not use up
// the native stack).
//
// A node is marked by setting FLAG_MARKED on its buffer. A newly marked cell buffer goes on the
// work list; `drain` visits its cells from head to tail, marking by type. Marking never moves or
// allocates a series buffer.
#include <array>
#include <initializer_list>

#include "runtime/memory/collector.h"
#include "runtime/memory/collector_internal.h"
#include "runtime/memory/handle_table.h"
#include "runtime/process/process.h"

namespace xol::collector {

using memory::SeriesBuffer;

namespace {

uint32_t payload(const Cell& cell, int n) {
  return n == 1 ? cell.data1 : n == 2 ? cell.data2 : cell.data3;
}

void mark_context_values(const Cell& cell) {
  if (!(cell.header & context::kOnStackFlag)) mark_block(cell.data2);
}

void mark_op_context(const Cell& cell) {
  uint32_t target = (cell.header & natives::kOpSourceMask) >> natives::kOpSourceShift;
  if (target == TYPE_FUNCTION || target == TYPE_ROUTINE) mark_block(cell.data1);
}

void mark_handle_slot(const Cell& cell) {
  if (int32_t(cell.data3) >= 0) handles::mark(int32_t(cell.data3));
}

void mark_event_block(const Cell& cell) {
  if (cell.header & event::kMadeFlag) mark_block(cell.data2);
}

constexpr uint8_t W1 = payload_word(1), W2 = payload_word(2), W3 = payload_word(3);

struct DefaultRow {
  std::initializer_list<TypeId> types;
  TypeMarking marking;
};

// The cell layouts of the datatypes, as far as marking is concerned. Types not listed hold no
// node. Words holding a context node (words, objects, functions) mark it as a block: the
// context's two cells (the context! cell and its owner) then mark the rest.
const DefaultRow kDefaultRows[] = {
    {{TYPE_BLOCK, TYPE_PAREN, TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH}, {W2, 0, nullptr}},
    {{TYPE_HASH, TYPE_MAP}, {W2, W3, nullptr}},
    {{TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF}, {W2 | W3, 0, nullptr}},
    {{TYPE_SYMBOL}, {W2 | W3, 0, nullptr}},
    {{TYPE_BITSET, TYPE_VECTOR, TYPE_BINARY}, {W2, 0, nullptr}},
    {{TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD, TYPE_REFINEMENT}, {W1, 0, nullptr}},
    {{TYPE_CONTEXT}, {0, W1, mark_context_values}},
    {{TYPE_OBJECT, TYPE_ERROR, TYPE_PORT}, {W1 | W3, 0, nullptr}},
    {{TYPE_FUNCTION, TYPE_ROUTINE}, {W1 | W2 | W3, 0, nullptr}},
    {{TYPE_NATIVE, TYPE_ACTION}, {W2 | W3, 0, nullptr}},
    {{TYPE_OP}, {W2 | W3, 0, mark_op_context}},
    {{TYPE_IMAGE}, {W2, 0, nullptr}},
    {{TYPE_HANDLE}, {0, 0, mark_handle_slot}},
    {{TYPE_EVENT}, {0, 0, mark_event_block}},
};

constexpr size_t kTypeSlots = kTypeMask + 1;

std::array<TypeMarking, kTypeSlots>& type_table() {
  static std::array<TypeMarking, kTypeSlots> table = [] {
    std::array<TypeMarking, kTypeSlots> rows{};
    for (const DefaultRow& row : kDefaultRows)
      for (TypeId type : row.types) rows[type] = row.marking;
    return rows;
  }();
  return table;
}

TableMarker table_marker = nullptr;

// Cell buffers marked but not yet visited. Marking moves no buffer, so they are kept by address.
std::vector<SeriesBuffer*> pending;
// Marked buffers outside the frames; no sweep visits them.
std::vector<SeriesBuffer*> external_marked;

#ifndef NDEBUG
// A cell that names a free node is a bug in the code that built it; stop before marking
// through the free list.
SeriesBuffer* buffer_to_mark(NodeId node) {
  SeriesBuffer* buffer = memory::live_buffer(node);
  if (!buffer) [[unlikely]] rt::runtime_error(rt::RUNTIME_ASSERTION, node);
  return buffer;
}
#else
SeriesBuffer* buffer_to_mark(NodeId node) { return memory::buffer_of(node); }
#endif

// Sets the mark of a node not yet marked; answers its buffer then, else null.
inline SeriesBuffer* set_mark(NodeId node) {
  if (node == kNoNode) return nullptr;
  SeriesBuffer* buffer = buffer_to_mark(node);
  const uint32_t flags = buffer->flags;
  if (flags & memory::FLAG_MARKED) return nullptr;
  buffer->flags = flags | memory::FLAG_MARKED;
  if (flags & memory::FLAG_EXTERNAL) [[unlikely]] external_marked.push_back(buffer);
  return buffer;
}

inline void mark_block_inline(NodeId node) {
  SeriesBuffer* buffer = set_mark(node);
  if (buffer && buffer->unit() == sizeof(Cell)) pending.push_back(buffer);
}

}  // namespace

void set_type_marking(TypeId type, const TypeMarking& marking) { type_table()[type] = marking; }

void set_table_marker(TableMarker marker) { table_marker = marker; }

bool mark_node(NodeId node) { return set_mark(node) != nullptr; }

void mark_block(NodeId node) { mark_block_inline(node); }

namespace {
void mark_table(NodeId table) {
  if (table == kNoNode) return;
  if (table_marker) table_marker(table);
  else mark_node(table);
}
}  // namespace

bool is_marked(NodeId node) {
  return node != kNoNode && (memory::buffer_of(node)->flags & memory::FLAG_MARKED);
}

void mark_cells(const Cell* first, const Cell* end) {
  const std::array<TypeMarking, kTypeSlots>& table = type_table();
  for (const Cell* cell = first; cell < end; ++cell) {
    const TypeMarking& row = table[cell->type()];
    if (row.nodes & W1) mark_block_inline(cell->data1);
    if (row.nodes & W2) mark_block_inline(cell->data2);
    if (row.nodes & W3) mark_block_inline(cell->data3);
    if (row.tables) [[unlikely]] {
      for (int n = 1; n <= 3; ++n)
        if (row.tables & payload_word(n)) mark_table(payload(*cell, n));
    }
    if (row.hook) [[unlikely]] row.hook(*cell);
  }
}

namespace detail {

void drain() {
  while (!pending.empty()) {
    SeriesBuffer* buffer = pending.back();
    pending.pop_back();
    mark_cells(reinterpret_cast<const Cell*>(buffer->head_ptr()),
               reinterpret_cast<const Cell*>(buffer->tail_ptr()));
  }
}

void mark_found(NodeId node) {
  if (memory::buffer_of(node)->flags & memory::FLAG_TABLE) [[unlikely]] mark_table(node);
  else mark_block_inline(node);
}

void pin(SeriesBuffer* buffer) {
  buffer->flags |= memory::FLAG_PINNED;
  NodeId node = buffer->node;
  if (node != kNoNode && memory::buffer_of(node) == buffer) mark_found(node);
}

void clear_external_marks() {
  for (SeriesBuffer* buffer : external_marked) buffer->flags &= ~memory::FLAG_MARKED;
  external_marked.clear();
}

}  // namespace detail

}  // namespace xol::collector
