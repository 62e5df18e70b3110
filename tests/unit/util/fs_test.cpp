// Paths, directory listing and whole-file reads of the host.
#include "util/fs.h"

#include "util/fs_record.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <unordered_set>

namespace tesk {
namespace {

TEST(Paths, JoinResolveDirBase) {
  const std::pair<std::pair<const char*, const char*>, const char*> joins[] = {
      {{"/a", "b"}, "/a/b"}, {{"/a/", "b"}, "/a/b"}, {{"/a", "/b"}, "/a/b"},
      {{"", "b"}, "b"},      {{"/a", ""}, "/a"},     {{"/", "tesk.json"}, "/tesk.json"},
  };
  for (auto [in, want] : joins) EXPECT_EQ(path_join(in.first, in.second), want) << in.first << " + " << in.second;

  const std::pair<const char*, const char*> resolved[] = {
      {"/a/./b/../c", "/a/c"}, {"/a//b/", "/a/b"}, {"/..", "/"}, {"/", "/"}, {"/a/b/../../..", "/"},
  };
  for (auto [in, want] : resolved) EXPECT_EQ(path_resolve(in), want) << in;
  // Relative paths are taken from the current directory.
  EXPECT_EQ(path_resolve("x/../y"), path_join(current_dir(), "y"));
  EXPECT_EQ(path_resolve(""), current_dir());

  EXPECT_EQ(path_dir("/a/b.tesk"), "/a");
  EXPECT_EQ(path_dir("b.tesk"), "");
  EXPECT_EQ(path_base("/a/b.tesk"), "b.tesk");
  EXPECT_EQ(path_base("b.tesk"), "b.tesk");
}

TEST(Files, ListReadAndRealPaths) {
  char tmpl[] = "/tmp/tesk-util-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  // Entries come in byte order whatever order the file system keeps them in.
  for (const char* name : {"b.tesk", "B.tesk", "a.tesk", "_x", "a.tesk.txt"})
    ASSERT_TRUE(write_file(dir + "/" + name, name));
  ASSERT_TRUE(make_dir(dir + "/sub"));
  EXPECT_TRUE(make_dir(dir + "/sub"));  // already there
  EXPECT_EQ(list_dir(dir), (std::vector<std::string>{"B.tesk", "_x", "a.tesk", "a.tesk.txt", "b.tesk", "sub"}));
  EXPECT_TRUE(list_dir(dir + "/none").empty());

  EXPECT_EQ(read_file(dir + "/a.tesk"), std::optional<std::string>("a.tesk"));
  EXPECT_EQ(read_file(dir + "/none"), std::nullopt);
  EXPECT_EQ(read_file(dir + "/sub"), std::nullopt);  // a directory is no file
  EXPECT_TRUE(is_dir(dir + "/sub"));
  EXPECT_FALSE(is_file(dir + "/sub"));
  EXPECT_TRUE(is_file(dir + "/_x"));
  EXPECT_FALSE(path_exists(dir + "/none"));

  // A link and the directory it names have one real path.
  ASSERT_EQ(::symlink((dir + "/sub").c_str(), (dir + "/link").c_str()), 0);
  EXPECT_EQ(path_real(dir + "/link/"), path_real(dir + "/sub"));
  EXPECT_EQ(path_real(dir + "/none/../x"), dir + "/x");  // missing: resolved only
  std::system(("rm -rf '" + dir + "'").c_str());
}

TEST(Files, AtomicWriteReplacesWholeOrLeavesTheOldFile) {
  char tmpl[] = "/tmp/tesk-util-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  const std::string path = dir + "/u-prev.ir";
  ASSERT_TRUE(write_file(path, "old text, longer than the new one"));
  EXPECT_TRUE(write_file_atomic(path, "new"));
  EXPECT_EQ(read_file(path), std::optional<std::string>("new"));
  EXPECT_FALSE(path_exists(path + ".tmp"));
  // A target that cannot be replaced keeps what it was and leaves no temporary file.
  ASSERT_TRUE(make_dir(dir + "/stuck"));
  ASSERT_TRUE(write_file(dir + "/stuck/keep", "x"));
  EXPECT_FALSE(write_file_atomic(dir + "/stuck", "text"));
  EXPECT_TRUE(is_dir(dir + "/stuck"));
  EXPECT_FALSE(path_exists(dir + "/stuck.tmp"));
  EXPECT_FALSE(write_file_atomic(dir + "/none/u-prev.ir", "text"));
  std::system(("rm -rf '" + dir + "'").c_str());
}

TEST(Home, FromTheEnvironmentThenThePasswordDatabase) {
  std::string old = std::getenv("HOME") ? std::getenv("HOME") : "";
  ::setenv("HOME", "/some/home", 1);
  EXPECT_EQ(home_dir(), "/some/home");
  ::unsetenv("HOME");
  EXPECT_FALSE(home_dir().empty());
  ::setenv("HOME", "", 1);
  EXPECT_FALSE(home_dir().empty());
  ::setenv("HOME", old.c_str(), 1);
}

// Every probe of a build goes to the record once, with the answer it got; asking
// again later tells whether the answer is still the same.
TEST(FsRecord, ProbesAreRecordedOnceAndAnsweredAgain) {
  char tmpl[] = "/tmp/tesk-util-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  ASSERT_TRUE(write_file(dir + "/a.tesk", "fn main() {}\n"));
  FsRecord record;
  fs_record_to(&record);
  EXPECT_EQ(fs_recording(), &record);
  read_file(dir + "/a.tesk");
  read_file(dir + "/a.tesk");
  read_file(dir + "/none.tesk");
  list_dir(dir);
  is_dir(dir + "/a.tesk");
  is_file(dir + "/a.tesk");
  path_exists(dir + "/none.tesk");
  path_real(dir + "/./a.tesk");
  fs_record_to(nullptr);
  read_file(dir + "/after.tesk");  // not recorded

  const std::vector<FsProbe>& probes = record.probes();
  std::string kinds;
  for (const FsProbe& p : probes) kinds += p.kind;
  EXPECT_EQ(kinds, "rrldfep");
  EXPECT_EQ(probes[1].answer, "-");
  EXPECT_EQ(probes[3].answer, "0");
  EXPECT_EQ(probes[4].answer, "1");
  EXPECT_EQ(probes[6].path, dir + "/a.tesk");
  for (const FsProbe& p : probes) EXPECT_EQ(fs_probe_answer(p.kind, p.path), p.answer) << p.kind << p.path;

  // Each kind of change gives its probe another answer.
  ASSERT_TRUE(write_file(dir + "/a.tesk", "fn main() {}\r"));  // same size
  EXPECT_NE(fs_probe_answer(FS_READ, dir + "/a.tesk"), probes[0].answer);
  ASSERT_TRUE(write_file(dir + "/none.tesk", ""));
  EXPECT_NE(fs_probe_answer(FS_READ, dir + "/none.tesk"), probes[1].answer);
  EXPECT_NE(fs_probe_answer(FS_LIST, dir), probes[2].answer);
  EXPECT_NE(fs_probe_answer(FS_EXISTS, dir + "/none.tesk"), probes[5].answer);
  EXPECT_EQ(fs_probe_answer('?', dir), "?");
  std::system(("rm -rf '" + dir + "'").c_str());
}

TEST(FsRecord, DigestTellsContentsApart) {
  const std::string base(1000, 'x');
  std::vector<std::string> texts = {"", "a", "b", "ab", "ba", std::string(1, '\0'), std::string(2, '\0'), base};
  // One byte changed anywhere, including the tail after the last whole word.
  for (size_t at : {0, 7, 8, 500, 995, 999}) {
    std::string t = base;
    t[at] = 'y';
    texts.push_back(t);
  }
  std::unordered_set<std::string> seen;
  for (const std::string& t : texts) EXPECT_TRUE(seen.insert(content_digest(t)).second) << t.size();
  EXPECT_EQ(content_digest(base), content_digest(std::string(1000, 'x')));
  EXPECT_EQ(content_digest("ab").rfind("2:", 0), 0u);  // the size leads
}

}  // namespace
}  // namespace tesk
