// The OS description and the command line: parsing os-release, naming the architecture, and
// joining the arguments so that cutting at spaces outside double quotes gives them back.
#include <gtest/gtest.h>

#include <string>

#include "runtime/io/os_info.h"

namespace xol::os_info {
namespace {

TEST(OsInfo, PrettyNameFromOsRelease) {
  struct Case {
    const char* text;
    const char* name;
  };
  const Case cases[] = {
      {"NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n",
       "Debian GNU/Linux 12 (bookworm)"},
      {"PRETTY_NAME=Alpine", "Alpine"},                         // unquoted, no final newline
      {"PRETTY_NAME='It''s'\n", "It"},                          // single quotes end at the first
      {"PRETTY_NAME=\"A \\\"B\\\" \\\\C\"\n", "A \"B\" \\C"},   // backslash escapes in "..."
      {"X_PRETTY_NAME=\"no\"\nNAME=x\n", ""},                   // only the key at a line start
      {"PRETTY_NAME=\"unterminated\n", "unterminated"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(pretty_name(c.text), c.name) << c.text;
}

TEST(OsInfo, ArchitectureWordFromTheMachineName) {
  struct Case {
    const char* machine;
    const char* word;
  };
  const Case cases[] = {
      {"x86_64", "x86-64"}, {"aarch64", "ARM64"}, {"i686", "x86-32"}, {"armv7l", "ARM"},
      {"ia64", "IA-64"},    {"riscv64", "Unknown"}, {"", "Unknown"},
  };
  for (const Case& c : cases) EXPECT_STREQ(arch_name(c.machine), c.word) << c.machine;
}

TEST(OsInfo, CommandLineQuotesArgumentsWithSpacesOrQuotes) {
  const char* argv[] = {"xol", "a b.xol", "--x", "", "tab\there", "say\"hi", "plain"};
  EXPECT_EQ(join_arguments(7, argv),
            "xol \"a b.xol\" --x \"\" \"tab\there\" \"say\"hi\" plain");
  EXPECT_EQ(join_arguments(0, argv), "");
}

}  // namespace
}  // namespace xol::os_info
