// The symbol table.
//
// The symbol cells live in the symbol-table block, in id order. Finding a name goes through two
// maps: the exact name to its id, and the ASCII-folded name to the first symbol made with that
// fold. A new case variant takes the latter as its alias, which is canonical by construction (it
// is the first of its name), so aliases never chain however the index is reorganised.
#include "runtime/datatypes/symbol.h"

#include <cstring>
#include <string>
#include <unordered_map>

#include "runtime/collector.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/memory.h"

namespace xol::symbol {
namespace {

NodeId table_node = kNoNode;
std::unordered_map<std::string, int32_t> by_name;
std::unordered_map<std::string, int32_t> by_folded_name;

// ASCII-only folding: bytes "A"-"Z" become "a"-"z"; every other byte, including each byte of a
// multi-byte UTF-8 sequence, stays as it is. This is what makes two names case twins.
std::string fold(std::string_view name) {
  std::string folded(name);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = char(c | 0x20);
  return folded;
}

// Text comparison folds both sides to upper case.
std::string fold_upper(std::string_view name) {
  std::string folded(name);
  for (char& c : folded)
    if (c >= 'a' && c <= 'z') c = char(c & ~0x20);
  return folded;
}

Cell table_cell() { return Cell{TYPE_BLOCK, 0, table_node, 0}; }

int32_t add(std::string_view name, int32_t alias) {
  NodeId name_node = memory::alloc_bytes(uint32_t(name.size()) + 1);
  memory::SeriesBuffer* bytes = memory::buffer_of(name_node);
  std::memcpy(bytes->data(), name.data(), name.size());
  bytes->data()[name.size()] = 0;
  bytes->tail = uint32_t(name.size()) + 1;

  Cell symbol{TYPE_SYMBOL, uint32_t(alias), kNoNode, name_node};
  Cell table = table_cell();
  block::append_cell(&table, &symbol);
  return count();
}

// Text order of two folded or exact bytes, as -1, 0 or 1.
int32_t order(std::string_view a, std::string_view b) {
  int result = a.compare(b);
  return result < 0 ? -1 : result > 0;
}

}  // namespace

void init_table(const Cell* table_block) {
  table_node = table_block->node();
  collector::register_root_node(&table_node, collector::RANK_SYMBOL_TABLE);
  by_name.clear();
  by_folded_name.clear();
}

bool table_exists() { return table_node != kNoNode; }

void release_table() {
  collector::unregister_root(&table_node);
  table_node = kNoNode;
  by_name.clear();
  by_folded_name.clear();
}

int32_t make(std::string_view name) {
  std::string exact(name);
  if (auto found = by_name.find(exact); found != by_name.end()) return found->second;
  std::string folded = fold(name);
  auto twin = by_folded_name.find(folded);
  int32_t id = add(name, twin == by_folded_name.end() ? kNoAlias : twin->second);
  by_name.emplace(std::move(exact), id);
  if (twin == by_folded_name.end()) by_folded_name.emplace(std::move(folded), id);
  return id;
}

int32_t make_caseless(std::string_view name) {
  std::string folded = fold(name);
  if (auto twin = by_folded_name.find(folded); twin != by_folded_name.end()) return twin->second;
  return make(name);
}

Cell* get(int32_t id) {
  Cell table = table_cell();
  return block::abs_at(&table, uint32_t(id - 1));
}

int32_t alias_of(int32_t id) { return int32_t(get(id)->data1); }

int32_t resolve(int32_t id) {
  int32_t alias = alias_of(id);
  return alias > 0 ? alias : id;
}

std::string_view name(int32_t id) {
  memory::SeriesBuffer* bytes = memory::buffer_of(get(id)->data3);
  return {reinterpret_cast<const char*>(bytes->data()), bytes->tail - 1};
}

int32_t count() {
  Cell table = table_cell();
  return int32_t(block::length(&table));
}

int32_t compare_names(int32_t id1, int32_t id2, int32_t op) {
  bool exact = op == COMP_STRICT_EQUAL || op == COMP_CASE_SORT || op == COMP_FIND_STRICT;
  if (exact) return order(name(id1), name(id2));
  return order(fold_upper(name(id1)), fold_upper(name(id2)));
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
  if (!value2->is(TYPE_SYMBOL)) return kNotComparable;
  Cell table = table_cell();
  Cell* first = block::abs_at(&table, 0);
  return compare_names(int32_t(value1 - first) + 1, int32_t(value2 - first) + 1, op);
}

void init() {
  datatype::register_type(TYPE_SYMBOL, 0, "symbol!",
                          actions::ActionList().own(actions::own<ACT_COMPARE>(compare)));
}

}  // namespace xol::symbol
