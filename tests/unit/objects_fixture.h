// A fixture for the tests of functions, objects, errors, handles and ports: the value layer
// with those types registered, datatype words holding their datatypes (as the boot code
// leaves them), and C++ stand-ins for the evaluator services: a spec evaluator that handles
// `set-word: value` runs and words, and a function caller that records each call.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "runtime/datatypes/error.h"
#include "runtime/datatypes/evaluator_hooks.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/port.h"
#include "runtime/datatypes/value_ops.h"
#include "runtime/datatypes/hooks.h"
#include "tests/unit/value_layer_fixture.h"

namespace xol::testing {

struct RecordedCall {
  std::string name;          // the hook or action word
  std::vector<Cell> args;
};

class ObjectsTest : public ValueLayerTest {
 protected:
  static inline std::vector<RecordedCall> calls;
  static inline Cell call_result{TYPE_NONE, 0, 0, 0};

  void SetUp() override {
    ValueLayerTest::SetUp();
    for (int32_t type = 1; type <= kTypeCount; ++type) {
      Cell word = datatype::entry(type).word;
      if (word.is(TYPE_WORD)) {
        Cell value = datatype::make(type);
        context::set_global(word::symbol_of(&word), &value);
      }
    }
    calls.clear();
    call_result = Cell{TYPE_NONE, 0, 0, 0};
    evaluator_hooks::Services services;
    services.eval_block = eval_spec;
    services.call_function = record_call;
    evaluator_hooks::install(services);
    hooks::set_caller(record_hook);
  }
  void TearDown() override {
    evaluator_hooks::install({});
    hooks::set_caller(nullptr);
    ValueLayerTest::TearDown();
  }

  // ---- values ----
  static Cell w(const char* name) { return word::load(name); }
  static Cell set_w(const char* name) { return word::load(name, TYPE_SET_WORD); }
  static Cell lit_w(const char* name) { return word::load(name, TYPE_LIT_WORD); }
  static Cell get_w(const char* name) { return word::load(name, TYPE_GET_WORD); }
  static Cell ref(const char* name) { return word::load(name, TYPE_REFINEMENT); }
  static Cell num(int32_t value) { return integer::make(value); }
  static Cell none() { return Cell{TYPE_NONE, 0, 0, 0}; }
  static Cell str(const char* text) {
    Cell made;
    text::make(&made, 16);
    text::append(&made, text);
    return made;
  }
  static Cell blk(std::initializer_list<Cell> cells) {
    Cell made;
    block::make_at(&made, int32_t(cells.size()));
    for (const Cell& cell : cells) block::append_cell(&made, &cell);
    return made;
  }
  static Cell func(std::initializer_list<Cell> spec, std::initializer_list<Cell> body) {
    Cell made;
    Cell spec_block = blk(spec), body_block = blk(body);
    function::make_value(&spec_block, &body_block, kNoNode, 0, kNoNode, 0, &made);
    return made;
  }
  static Cell make_object(std::initializer_list<Cell> spec, const Cell* prototype = nullptr) {
    Cell made, spec_block = blk(spec);
    Cell type = datatype::make(TYPE_OBJECT);
    object::make(prototype ? prototype : &type, &spec_block, TYPE_OBJECT, &made);
    return made;
  }
  static Cell field_of(const Cell& object, const char* name) {
    Cell word = w(name);
    return *object::select_slot(&object, &word);
  }
  // Sets a field as a path assignment does.
  static void set_path(Cell object, const char* name, Cell value) {
    Cell element = w(name), path = object, result;
    PathStep step{&object, &element, &value, &path, nullptr, nullptr, 0, false, false, true, true};
    actions::get<ACT_EVAL_PATH>(object.type())(step, &result);
  }
  static std::string name_of(const Cell& word) {
    return std::string(symbol::name(word::symbol_of(&word)));
  }

  // The error a call raises, as "category id".
  template <class Body>
  static std::string raised(Body&& body) {
    try {
      body();
    } catch (const error::Raised& error) {
      return std::string(error::category(error.category).name) + " " + error.id;
    }
    return "nothing raised";
  }

 private:
  // Evaluates `a: b: value` runs; a word reads its value, a lit-word gives the word.
  static void eval_spec(const Cell* block, Cell* result) {
    Cell body = *block;
    std::vector<Cell> targets;
    for (uint32_t i = 0; i < block::length(&body); ++i) {
      Cell entry = *(block::head(&body) + i);
      if (entry.is(TYPE_SET_WORD)) {
        targets.push_back(entry);
        continue;
      }
      Cell value = entry.is(TYPE_WORD) ? word::get_checked(&entry) : entry;
      if (value.is(TYPE_LIT_WORD)) cell::set_type(&value, TYPE_WORD);
      for (Cell& target : targets) context::set(&target, &value);
      targets.clear();
      *result = value;
    }
  }
  static void record_call(const Cell*, NodeId, const Cell* name, const Cell* args,
                          int32_t count, Cell* result) {
    calls.push_back({name_of(*name), std::vector<Cell>(args, args + count)});
    *result = call_result;
  }
  static void record_hook(const Cell*, hooks::Hook hook, const Cell* args, int32_t count) {
    calls.push_back({hook == hooks::ON_CHANGE ? "on-change*" : "on-deep-change*",
                     std::vector<Cell>(args, args + count)});
  }
};

}  // namespace xol::testing
