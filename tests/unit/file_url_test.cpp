// file! and url!: percent-encoding and decoding, mold, construction from a block, path
// navigation and native paths.
#include <gtest/gtest.h>

#include <string>

#include "text_builders.h"

namespace xol::testing {
namespace {

using FileUrlTest = TextTest;

TEST_F(FileUrlTest, UrlMoldEscapesWhatTheFileSetDoesNotKeep) {
  struct Case {
    const char* text;
    const char* molded;
  };
  const Case cases[] = {
      {"http://a/b c", "http://a/b%20c"},
      {"http://a/\xC3\xA9", "http://a/%C3%A9"},
      {"http://a/x?y#z", "http://a/x?y#z"},
      {"http://a/x;y", "http://a/x%3By"},
      {"x:a%b", "x:a%25b"},
  };
  for (const Case& c : cases)
    for (uint32_t unit : {1u, 2u, 4u}) EXPECT_EQ(molded(str_in(c.text, unit, TYPE_URL)), c.molded);
}

TEST_F(FileUrlTest, PercentEncodingByTheUrlAndTheFileSets) {
  Cell source = str("a b/c\xC3\xA9"), url_set = str(""), file_set = str("");
  url::encode_percent(&source, &url_set, url::SELECTOR_URL);
  url::encode_percent(&source, &file_set, url::SELECTOR_FILE);
  EXPECT_EQ(text_of(url_set), "a%20b%2Fc%C3%A9");
  EXPECT_EQ(text_of(file_set), "a%20b/c%C3%A9");
}

TEST_F(FileUrlTest, PercentDecodingTakesOnlyWholeEscapesAndWholeSequences) {
  struct Case {
    const char* text;
    const char* decoded;
  };
  const Case cases[] = {
      {"%41", "A"},
      {"%C3%A9", "\xC3\xA9"},
      {"%c3%a9x", "\xC3\xA9x"},
      {"%C3x", "%C3x"},
      {"%zz", "%zz"},
      {"%80", "\xC2\x80"},
      {"%", "%"},
      {"a%4", "a%4"},
      {"%E2%82%AC!", "\xE2\x82\xAC!"},
      {"%C3%41", "%C3A"},
      {"\xC3\xA9%20", "\xC3\xA9 "},
  };
  for (const Case& c : cases) {
    Cell source = str(c.text), target = str("");
    url::decode_percent(&source, &target);
    EXPECT_EQ(text_of(target), c.decoded) << c.text;
  }
}

TEST_F(FileUrlTest, ToUrlFromABlock) {
  Cell result;
  Cell with_port = load("http host 8080 dir file");
  url::to(nullptr, &with_port, TYPE_URL, &result);
  EXPECT_EQ(molded(result), "http://host:8080/dir/file");
  Cell anchor = load("http host page");
  Cell top = issue::load("top");
  block::append_cell(&anchor, &top);
  url::to(nullptr, &anchor, TYPE_URL, &result);
  EXPECT_EQ(molded(result), "http://host/page#top");
  Cell port_only = load("http host 80");
  url::to(nullptr, &port_only, TYPE_URL, &result);
  EXPECT_EQ(molded(result), "http://host:80");
  Cell empty = load("");
  EXPECT_EQ(raised([&] { url::to(nullptr, &empty, TYPE_URL, &result); }), "script/bad-to-arg");
  Cell as_file = load("a b");
  actions::get<ACT_TO>(TYPE_FILE)(nullptr, &as_file, TYPE_FILE, &result);
  EXPECT_TRUE(result.is(TYPE_FILE));
  EXPECT_EQ(text_of(result), "ab") << "a file from a block is formed like a string";
}

TEST_F(FileUrlTest, PathNavigationKeepsOneSlashAndLeavesTheUrlAlone) {
  struct Case {
    const char* base;
    Cell element;
    const char* expected;
  };
  const Case cases[] = {
      {"http://host/dir/", word::load("file"), "http://host/dir/file"},
      {"http://host/dir", word::load("file"), "http://host/dir/file"},
      {"http://host/dir/", str("/x"), "http://host/dir/x"},
      {"http://host/dir", str("/x"), "http://host/dir/x"},
  };
  Cell path = load_one("u/file");
  for (const Case& c : cases) {
    Cell base = str(c.base, TYPE_URL), result;
    Cell element = c.element;
    PathStep step{&base, &element, nullptr, &path, nullptr, nullptr, 0, false, true, true, false};
    actions::get<ACT_EVAL_PATH>(TYPE_URL)(step, &result);
    EXPECT_TRUE(result.is(TYPE_URL));
    EXPECT_EQ(text_of(result), c.expected);
    EXPECT_EQ(text_of(base), c.base);
  }
  Cell base = str("http://h/", TYPE_URL), element = word::load("x"), value = str("y"), result;
  PathStep set{&base, &element, &value, &path, nullptr, nullptr, 0, false, false, true, false};
  EXPECT_EQ(raised([&] { actions::get<ACT_EVAL_PATH>(TYPE_URL)(set, &result); }),
            "script/bad-path-set");

  Cell dir = str("dir/", TYPE_FILE), name = word::load("x.txt");
  PathStep file_step{&dir, &name, nullptr, &path, nullptr, nullptr, 0, false, true, true, false};
  actions::get<ACT_EVAL_PATH>(TYPE_FILE)(file_step, &result);
  EXPECT_TRUE(result.is(TYPE_FILE));
  EXPECT_EQ(molded(result), "%dir/x.txt");
}

TEST_F(FileUrlTest, FileMoldIsBareQuotedOrEscapedSoThatItReadsBack) {
  struct Case {
    const char* text;
    const char* molded;
  };
  const Case cases[] = {
      {"dir/x.txt", "%dir/x.txt"},
      {"a b.txt", "%\"a b.txt\""},
      {"", "%\"\""},
      {"\xC3\xA9", "%\xC3\xA9"},
      {"a\x7F", "%a\x7F"},
      {"x;y[z]", "%\"x;y[z]\""},
      {"a:b", "%\"a:b\""},
      {"say \"hi\".txt", "%say%20%22hi%22.txt"},
      {"two\nlines", "%two%0Alines"},
      {"50%", "%\"50%\""},
  };
  for (const Case& c : cases) EXPECT_EQ(molded(str(c.text, TYPE_FILE)), c.molded) << c.text;
  EXPECT_EQ(formed(str("a b", TYPE_FILE)), "a b");
}

TEST_F(FileUrlTest, NativePathsAreTheFilePathsThemselves) {
  Cell absolute = str("/home/u/x.txt", TYPE_FILE), target = str("");
  file::to_local_path_into(&absolute, &target, true);
  EXPECT_EQ(text_of(target), "/home/u/x.txt");
  EXPECT_EQ(file::to_os_path(&absolute), "/home/u/x.txt");

  Cell relative = str("dir/x", TYPE_FILE), full = str(""), plain = str("");
  file::to_local_path_into(&relative, &full, true);
  file::to_local_path_into(&relative, &plain, false);
  EXPECT_EQ(text_of(plain), "dir/x");
  std::string cwd = text_of(file::current_dir());
  ASSERT_FALSE(cwd.empty());
  EXPECT_EQ(cwd.back(), '/');
  EXPECT_EQ(text_of(full), cwd + "dir/x");
}

}  // namespace
}  // namespace xol::testing
