// A fixture with the whole runtime started as `xol` starts it (stacks, interpreter, lexer, the
// native and action values), a few operators bound as the standard library binds them, and
// helpers that evaluate source text and read raised errors.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "runtime/memory/collector.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/value_ops.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/stack.h"
#include "runtime/io/lexer.h"
#include "runtime/runtime.h"
#include "tests/unit/source_case.h"
#include "tests/unit/value_layer_fixture.h"

namespace xol::testing {

class EvalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    try {
      runtime::init();
    } catch (const error::Raised& raised) {
      FAIL() << "start-up raised " << raised.category << " " << raised.id << " "
             << (raised.arg_count ? symbol::name(word::symbol_of(&raised.args[0])) : "");
    } catch (const rt::Thrown& thrown) {
      FAIL() << "start-up threw " << thrown.code;
    }
    collector::active = false;
    boot::flag = 0;
    const char* const operators[][2] = {{"+", "add"}, {"-", "subtract"}, {"*", "multiply"},
                                        {"=", "equal?"}, {"<", "lesser?"},  {">", "greater?"}};
    const Cell truth = logic::make(true), falsehood = logic::make(false);
    context::set_global(symbol::make("true"), &truth);
    context::set_global(symbol::make("false"), &falsehood);
    context::set_global(symbol::make("none"), &none::value);
    for (const auto& pair : operators) {
      const Cell op = run(std::string("make op! :") + pair[1]);
      context::set_global(symbol::make(pair[0]), &op);
    }
  }
  void TearDown() override {
    lexer::release();
    interpreter::release();
    stack::release();
    release_value_layer();
  }

  // Evaluates source text at the top level and answers the last value.
  static Cell run(const std::string& source) {
    const Cell code = lexer::load(source);
    interpreter::eval_block(&code, false);
    const Cell result = *--stack::top;
    EXPECT_EQ(stack::top, stack::bottom) << source;
    EXPECT_EQ(stack::ctop, stack::cbottom) << source;
    return result;
  }
  static std::string molded(const Cell& value) {
    Cell text;
    values::mold_value(&value, false, false, false, kNoPartLimit, &text);
    return std::string(text::view(&text));
  }
  static std::string formed(const Cell& value) {
    Cell text;
    values::form_value(&value, kNoPartLimit, &text);
    return std::string(text::view(&text));
  }
  // The value of the source, molded.
  // An error is answered as error_of describes it, after "error ".
  static std::string eval(const std::string& source) {
    std::string result;
    const std::string error = error_of(source, &result);
    return error.empty() ? result : "error " + error;
  }
  // Evaluates each case's source and expects what it gives.
  static void check(std::initializer_list<SourceCase> cases) {
    for (const SourceCase& c : cases) EXPECT_EQ(eval(c.source), c.expected) << c.source;
  }
  // "category id arg1 arg2 ..." (arguments molded) of the error that the source raises, and
  // the stacks back at their bottoms; "" when it raises none.
  static std::string error_of(const std::string& source, std::string* value = nullptr) {
    const stack::Mark mark = stack::save();
    try {
      const Cell made = run(source);
      if (value) *value = molded(made);
    } catch (const error::Raised& raised) {
      stack::restore(mark);
      if (!raised.error.is(TYPE_ERROR)) return std::string("raised ") + raised.id;
      stack::pending = 0;
      std::string text = formed(*error::field(&raised.error, error::FIELD_TYPE)) + " " +
                         formed(*error::field(&raised.error, error::FIELD_ID));
      for (error::Field f : {error::FIELD_ARG1, error::FIELD_ARG2, error::FIELD_ARG3}) {
        const Cell* arg = error::field(&raised.error, f);
        if (!arg->is(TYPE_NONE)) text += " " + molded(*arg);
      }
      return text;
    } catch (const rt::Thrown& thrown) {
      stack::restore(mark);
      stack::pending = 0;
      return "thrown " + std::to_string(thrown.code);
    }
    return "";
  }
};

}  // namespace xol::testing
