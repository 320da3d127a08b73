// A fixture that brings up the value layer as runtime initialisation does, in the same order:
// every datatype, the root block, the symbol table, the global context, the
// runtime's own words and the owners table. The collector stays off unless a test turns it on.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "runtime/memory/collector.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/issue.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/memory/memory.h"
#include "runtime/datatypes/owners.h"
#include "runtime/runtime.h"
#include "runtime/datatypes/runtime_words.h"

namespace xol::testing {

constexpr int32_t kRootCapacity = 9748;
constexpr int32_t kSymbolTableCapacity = 4000;

// Releases what bring_up_value_layer made, so that later tests see none of its roots.
inline void release_value_layer() {
  ownership::release();
  context::release_global();
  symbol::release_table();
  block::release_roots();
  memory::free_all_frames();
}

inline void bring_up_value_layer() {
  collector::active = false;
  memory::init();
  boot::flag = 1;
  runtime::register_datatypes();
  block::make_in_sized(nullptr, kRootCapacity);
  symbol::init_table(block::make_in(block::root(), kSymbolTableCapacity));
  context::create_global();
  words::init_datatype_words();
  words::init_runtime();
  words::init_extra();
  words::init_issue();
  ownership::init();
  boot::flag = 0;
}

class ValueLayerTest : public ::testing::Test {
 protected:
  void SetUp() override { bring_up_value_layer(); }
  void TearDown() override {
    collector::active = false;
    release_value_layer();
  }

  // The form or mold of a value, through its type's action row.
  static std::string formed(const Cell& value) {
    Cell buffer;
    text::make(&buffer, 16);
    actions::get<ACT_FORM>(value.type())(&value, &buffer, nullptr, kNoPartLimit);
    return std::string(text::view(&buffer));
  }
  static std::string molded(const Cell& value, bool all = false) {
    Cell buffer;
    text::make(&buffer, 16);
    actions::get<ACT_MOLD>(value.type())(&value, &buffer, false, all, false, nullptr,
                                         kNoPartLimit, 0);
    return std::string(text::view(&buffer));
  }
  static int32_t compared(const Cell& a, const Cell& b, int32_t op) {
    return actions::get<ACT_COMPARE>(a.type())(&a, &b, op);
  }

  // "category/id" of the error that `body` raises, or "" when it raises none.
  static std::string raised(auto&& body) {
    static const char* const kCategories[] = {"throw", "note", "syntax", "script", "math",
                                              "access", "reserved1", "reserved2", "user",
                                              "internal"};
    try {
      body();
    } catch (const error::Raised& error) {
      return std::string(kCategories[error.category]) + "/" + error.id;
    }
    return "";
  }
  // Only the id of the error that `body` raises, or "".
  static std::string raised_id(auto&& body) {
    std::string full = raised(body);
    return full.substr(full.find('/') + 1);
  }
};

}  // namespace xol::testing
