// One case of a table of source texts and what each must give (molded, or the error as the
// fixture names it), shared by the tests that run or load source.
#pragma once

namespace xol::testing {

struct SourceCase {
  const char* source;
  const char* expected;
};

}  // namespace xol::testing
