// handle!: printed forms, comparison, and resources released by the collector.
#include "runtime/memory/handle_table.h"
#include "tests/unit/objects_fixture.h"

namespace xol::testing {
namespace {

using HandleTest = ObjectsTest;

TEST_F(HandleTest, PrintedForms) {
  handles::init();
  const int window = handles::register_kind("window", nullptr);
  Cell plain, named;
  handle::make_at(&plain, 255, handle::kPlainKind);
  handle::make_at(&named, 0x12AB, window);
  EXPECT_EQ(molded(plain), "#[handle! 000000FFh]");
  EXPECT_EQ(formed(plain), "000000FFh");
  EXPECT_EQ(molded(named), "#[handle! 000012ABh window]");
  Cell buffer;
  text::make(&buffer, 16);
  EXPECT_EQ(handle::form(&plain, &buffer, nullptr, 4), 4 - 9);
}

TEST_F(HandleTest, ComparesOnlyWithHandles) {
  Cell one, two, number = num(1);
  handle::make_at(&one, 1, handle::kPlainKind);
  handle::make_at(&two, 2, handle::kPlainKind);
  EXPECT_EQ(compared(one, two, COMP_LESSER), -1);
  EXPECT_EQ(compared(two, one, COMP_EQUAL), 1);
  EXPECT_EQ(compared(one, number, COMP_EQUAL), kNotComparable);
}

std::vector<uintptr_t> released;
void record_release(uintptr_t object) { released.push_back(object); }

TEST_F(HandleTest, TheCollectorReleasesUnreachedResources) {
  handles::init();
  released.clear();
  const int kind = handles::register_kind("pixbuf", record_release);
  Cell holder = blk({none(), none()});
  block::append_cell(block::root(), &holder);
  handle::make_resource(block::head(&holder), 0xAAAA, kind);
  handle::make_resource(block::head(&holder) + 1, 0xBBBB, kind);
  collector::collect();
  EXPECT_TRUE(released.empty());
  *(block::head(&holder) + 1) = none();
  collector::collect();
  EXPECT_EQ(released, std::vector<uintptr_t>{0xBBBB});
  EXPECT_TRUE(handles::is_used(handle::slot_of(block::head(&holder))));
}

}  // namespace
}  // namespace xol::testing
