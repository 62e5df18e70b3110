// The record of a build: what makes it stand for the next build, and what never does.
#include "driver/build_stamp.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <memory>

#include "util/fs.h"
#include "util/fs_record.h"

namespace tesk {
namespace {

struct StampTest : ::testing::Test {
  std::string dir;

  void SetUp() override {
    char tmpl[] = "/tmp/tesk-stamp-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir = tmpl;
    ASSERT_TRUE(write_file(dir + "/main.tesk", "fn main() {}\n"));
  }
  void TearDown() override {
    fs_record_to(nullptr);
    std::system(("rm -rf '" + dir + "'").c_str());
  }
  std::unique_ptr<Build> build() {
    auto b = std::make_unique<Build>();
    b->mode = BUILD_EXECUTABLE;
    b->cache_dir = dir;
    b->out_path = dir + "/out";
    b->command_line = {"main.tesk", "-o", "out"};
    return b;
  }
  // A record of a build that read main.tesk and used no unit.
  std::string record() {
    auto b = build();
    stamp_begin(b.get());
    EXPECT_NE(fs_recording(), nullptr);
    read_file(dir + "/main.tesk");
    stamp_write(b.get());
    EXPECT_EQ(fs_recording(), nullptr);
    return read_file(stamp_path(b.get())).value_or("");
  }
};

TEST_F(StampTest, ABuildThatEndsEarlyStopsRecording) {
  auto b = build();
  stamp_begin(b.get());
  EXPECT_NE(fs_recording(), nullptr);
  b.reset();  // an error caught by the caller: the record goes with the build
  EXPECT_EQ(fs_recording(), nullptr);
  read_file(dir + "/main.tesk");  // nothing left to write into
}

TEST_F(StampTest, OnlyPlainExecutableBuildsRecordAndEveryBuildDropsTheOldRecord) {
  std::string text = record();
  ASSERT_NE(text.find(dir + "/main.tesk"), std::string::npos) << text;
  struct Case {
    const char* what;
    void (*set)(Build*);
  };
  const Case cases[] = {
      {"watch", [](Build* b) { b->watch_mode = 1; }},
      {"--ir", [](Build* b) { b->mode = BUILD_IR; }},
      {"--clean", [](Build* b) { b->clean = 1; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(write_file(stamp_path(build().get()), text));
    auto b = build();
    c.set(b.get());
    EXPECT_FALSE(stamp_replay(b.get()));
    stamp_begin(b.get());
    EXPECT_EQ(fs_recording(), nullptr);
    EXPECT_FALSE(path_exists(stamp_path(b.get())));
  }
  // Documentation builds leave the cache directory alone.
  ASSERT_TRUE(write_file(stamp_path(build().get()), text));
  auto docs = build();
  docs->mode = BUILD_DOCS;
  stamp_begin(docs.get());
  EXPECT_TRUE(path_exists(stamp_path(docs.get())));
}

TEST_F(StampTest, ARecordThatNoLongerHoldsIsNotReplayed) {
  std::string text = record();
  const std::string path = stamp_path(build().get());
  // Every cut of the record is no record (a full cut would replay and link).
  for (size_t n = 0; n + 1 < text.size(); n += 7) {
    ASSERT_TRUE(write_file(path, text.substr(0, n)));
    auto b = build();
    EXPECT_FALSE(stamp_replay(b.get())) << n;
    EXPECT_TRUE(b->messages.empty());
  }
  struct Case {
    const char* what;
    void (*change)(Build*, const std::string& dir);
  };
  const Case cases[] = {
      {"source", [](Build*, const std::string& d) { write_file(d + "/main.tesk", "fn main() { }\n"); }},
      {"command line", [](Build* b, const std::string&) { b->command_line.push_back("--no-warn"); }},
      {"verbose", [](Build* b, const std::string&) { b->verbose = 1; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(write_file(dir + "/main.tesk", "fn main() {}\n"));
    ASSERT_TRUE(write_file(path, text));
    auto b = build();
    c.change(b.get(), dir);
    EXPECT_FALSE(stamp_replay(b.get()));
  }
}

}  // namespace
}  // namespace tesk
