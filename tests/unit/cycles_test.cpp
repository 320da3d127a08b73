// The cycles stack (with its restore after an error) and the cycle markers of mold and form.
#include "runtime/memory/cycles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "runtime/datatypes/error_raise.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/memory.h"

namespace xol {
namespace {

class CyclesTest : public ::testing::Test {
 protected:
  void SetUp() override { cycles::reset(); }
  void TearDown() override { cycles::reset(); }
};

bool raises(const char* id, void (*body)()) {
  try {
    body();
  } catch (const error::Raised& raised) {
    return raised.category == error::CAT_INTERNAL && std::string(raised.id) == id;
  }
  return false;
}

TEST_F(CyclesTest, PushPopFindAndPopN) {
  cycles::push(7);
  cycles::push(8);
  cycles::push(9);
  EXPECT_TRUE(cycles::find(8));
  EXPECT_FALSE(cycles::find(10));
  cycles::pop_n(2);
  EXPECT_EQ(cycles::depth(), 1u);
  EXPECT_FALSE(cycles::find(8));
  cycles::pop();
  cycles::pop();   // nothing to pop: stays empty
  EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(CyclesTest, NineHundredNinetyNineEntriesFitAndTheNextRaisesTooDeepAndEmpties) {
  for (uint32_t i = 1; i < cycles::kCapacity; ++i) cycles::push(i);
  EXPECT_EQ(cycles::depth(), cycles::kCapacity - 1);
  EXPECT_TRUE(raises("too-deep", [] { cycles::push(1); }));
  EXPECT_EQ(cycles::depth(), 0u);
}

// A visit that ends in an error must not leave its node on the stack: a later mold of the
// same series would take it for a cycle.
TEST_F(CyclesTest, VisitRestoresTheStackWhenAnErrorUnwindsThroughIt) {
  cycles::push(1);
  EXPECT_TRUE(raises("no-cycle", [] {
    cycles::Visit outer(2);
    cycles::Visit inner(3);
    error::raise(error::CAT_INTERNAL, "no-cycle");
  }));
  EXPECT_EQ(cycles::depth(), 1u);
  EXPECT_FALSE(cycles::find(2));
  EXPECT_FALSE(cycles::find(3));
}

TEST_F(CyclesTest, VisitsInsideATooDeepRaiseLeaveTheStackEmpty) {
  cycles::push(1);
  EXPECT_TRUE(raises("too-deep", [] {
    cycles::Visit first(2);
    for (uint32_t i = 0; i < cycles::kCapacity; ++i) cycles::push(i + 10);
  }));
  EXPECT_EQ(cycles::depth(), 0u);
}

class CycleMarkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    collector::active = false;
    memory::init();
  }
  void TearDown() override { memory::free_all_frames(); }
};

std::string text_of(NodeId string) {
  memory::SeriesBuffer* buffer = memory::buffer_of(string);
  std::string text;
  for (uint32_t i = 0; i < buffer->length(); ++i) {
    uint32_t code = 0;
    std::memcpy(&code, buffer->head_ptr() + i * buffer->unit(), buffer->unit());
    text += char(code);
  }
  return text;
}

TEST_F(CycleMarkerTest, MarkersByTypeWhenMoldingAndDotsWhenForming) {
  struct Case {
    TypeId type;
    const char* mold;
  } cases[] = {
      {TYPE_BLOCK, "[...]"},   {TYPE_HASH, "[...]"}, {TYPE_PAREN, "(...)"},
      {TYPE_MAP, "#[...]"},    {TYPE_PATH, "..."},   {TYPE_SET_PATH, "..."},
      {TYPE_OBJECT, "make object! [...]"},
  };
  constexpr NodeId kSeries = 40;
  for (const Case& c : cases) {
    // Objects stand on the stack by their context node, the others by their series node.
    Cell value = c.type == TYPE_OBJECT ? Cell{c.type, kSeries, 0, 0} : Cell{c.type, 0, kSeries, 0};
    for (bool mold : {true, false}) {
      NodeId out = memory::alloc_units(0, 1);
      int32_t remaining = 100;
      EXPECT_FALSE(cycles::detect(value, out, remaining, mold));
      cycles::Visit visit(kSeries);
      EXPECT_TRUE(cycles::detect(value, out, remaining, mold));
      std::string expected = mold ? c.mold : "...";
      EXPECT_EQ(text_of(out), expected) << int(c.type);
      EXPECT_EQ(remaining, 100 - int32_t(expected.size()));
    }
  }
}

TEST_F(CycleMarkerTest, MarkerAndIndentAppendInTheStringsUnitWidth) {
  for (uint32_t unit : {1u, 2u, 4u}) {
    NodeId out = memory::alloc_units(0, unit);
    int32_t remaining = 50;
    cycles::Visit visit(5);
    remaining = string::append_indent(out, 2, remaining);
    EXPECT_EQ(remaining, 42);
    cycles::detect(Cell{TYPE_BLOCK, 0, 5, 0}, out, remaining, true);
    EXPECT_EQ(text_of(out), "        [...]") << unit;
    EXPECT_EQ(memory::buffer_of(out)->used_bytes(), 13 * unit);
  }
}

}  // namespace
}  // namespace xol
