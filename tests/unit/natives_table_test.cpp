// The natives table's list against the specs of library/natives.xol: the n-th spec must be
// named as native n, or start-up stops.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "runtime/eval/natives_table.h"
#include "tests/unit/eval_fixture.h"

namespace xol::testing {
namespace {

using NativesTable = EvalTest;

// The set-words of a natives file written in list order, one per native.
std::vector<std::string> names_in_list_order() {
  return {
#define XOL_NATIVE_SET_WORD(n, id, routine, word) std::string(word) + ":",
      XOL_NATIVES(XOL_NATIVE_SET_WORD)
#undef XOL_NATIVE_SET_WORD
  };
}

// A natives file body with an empty spec after each name.
Cell body_of(const std::vector<std::string>& names) {
  std::string source;
  for (const std::string& name : names) source += name + " [] ";
  return lexer::load(source);
}

TEST_F(NativesTable, TheEmbeddedSpecsAreInListOrder) {
  EXPECT_EQ(natives_table::first_misnamed_native(
                natives_table::load_library_body("natives.xol")),
            0);
  EXPECT_EQ(natives_table::first_misnamed_native(body_of(names_in_list_order())), 0);
}

TEST_F(NativesTable, TheFirstSpecOutOfPlaceIsNamed) {
  using Names = std::vector<std::string>;
  struct Case {
    const char* what;
    void (*change)(Names&);
    int32_t misnamed;
  };
  const Case cases[] = {
      {"two specs swapped", [](Names& n) { std::swap(n[natives::NAT_EQUAL_Q - 1],
                                                     n[natives::NAT_NOT_EQUAL_Q - 1]); },
       natives::NAT_EQUAL_Q},
      {"a spec missing inside", [](Names& n) { n.erase(n.begin() + natives::NAT_PARSE - 1); },
       natives::NAT_PARSE},
      {"the last spec missing", [](Names& n) { n.pop_back(); }, natives::NAT_APPLY},
      {"no spec at all", [](Names& n) { n.clear(); }, natives::NAT_IF},
      {"one spec too many", [](Names& n) { n.push_back("extra:"); },
       natives_table::kNativeCount + 1},
      {"a plain word", [](Names& n) { n[natives::NAT_FOREACH - 1] = "foreach"; },
       natives::NAT_FOREACH},
      {"a name differing only in case", [](Names& n) { n[natives::NAT_NAN_Q - 1] = "nan?:"; },
       natives::NAT_NAN_Q},
  };
  for (const Case& c : cases) {
    Names names = names_in_list_order();
    c.change(names);
    EXPECT_EQ(natives_table::first_misnamed_native(body_of(names)), c.misnamed) << c.what;
  }
}

using NativesTableDeathTest = NativesTable;

TEST_F(NativesTableDeathTest, AMisnamedSpecStopsStartUpNamingIt) {
  std::vector<std::string> names = names_in_list_order();
  std::swap(names[natives::NAT_EQUAL_Q - 1], names[natives::NAT_NOT_EQUAL_Q - 1]);
  EXPECT_EXIT(natives_table::check_native_specs(body_of(names)),
              ::testing::ExitedWithCode(rt::RUNTIME_ASSERTION),
              "\\*\\*\\* Native Error: spec 25 of natives.xol is named not-equal\\?:\n"
              "\\*\\*\\* Expected: equal\\?:");
  names = names_in_list_order();
  names.pop_back();
  EXPECT_EXIT(natives_table::check_native_specs(body_of(names)),
              ::testing::ExitedWithCode(rt::RUNTIME_ASSERTION),
              "spec 107 of natives.xol is named nothing\n\\*\\*\\* Expected: apply:");
}

}  // namespace
}  // namespace xol::testing
