// `tesk linker-symlinks` against an lld in a temporary directory on PATH.
#include <gtest/gtest.h>

#include "backend/linker_symlinks.h"
#include "backend_fixture.h"

namespace tesk {
namespace {

using namespace testing_backend;

struct Symlinks : ::testing::Test {
  ExitThrows exits;
  std::string dir = make_temp_dir();
  std::string lld_dir = path_join(dir, "bin");
  std::string lld = path_join(lld_dir, "lld");

  void SetUp() override {
    ASSERT_TRUE(make_dir(lld_dir));
    ASSERT_EQ(::symlink("/usr/lib/llvm-15/bin/lld", lld.c_str()), 0);
  }
  // Runs the command; returns its output and whether it ended with exit code 1.
  std::string run(bool* failed) {
    int code = 0;
    std::string out = capture_stdout([] { create_linker_symlinks("linux"); }, &code);
    *failed = code == 1;
    return out;
  }
};

TEST_F(Symlinks, CreatesTheAliasesThenSkipsThem) {
  ScopedEnv path("PATH", lld_dir + ":/usr/bin:/bin");
  ScopedUnsetEnv no_term("TERM");
  bool failed = false;
  std::string out = run(&failed);
  EXPECT_FALSE(failed) << out;
  std::string expected;
  for (const char* alias : {"ld.lld", "ld64.lld", "lld-link"}) {
    expected += "> Create linker symlink: ln -s \"" + lld + "\" \"" + path_join(lld_dir, alias) + "\"\n";
  }
  expected += "> Done\n";
  EXPECT_EQ(out, expected);
  for (const char* alias : {"ld.lld", "ld64.lld", "lld-link"}) {
    std::string p = path_join(lld_dir, alias);
    EXPECT_EQ(path_real(p), path_real("/usr/lib/llvm-15/bin/lld")) << p;
  }
  // lld picks its flavour from the alias name.
  EXPECT_NE(run_tool({path_join(lld_dir, "ld.lld"), "--version"}).find("LLD"), std::string::npos);

  out = run(&failed);
  EXPECT_FALSE(failed) << out;
  expected.clear();
  for (const char* alias : {"ld.lld", "ld64.lld", "lld-link"}) {
    expected += "> Skip - Symlink already exists: " + path_join(lld_dir, alias) + "\n";
  }
  expected += "> Done\n";
  EXPECT_EQ(out, expected);
}

TEST_F(Symlinks, AliasNotMadeStopsAtThatAlias) {
  // An `ln` that does nothing: the first alias is missing afterwards.
  std::string fake = path_join(dir, "fake");
  ASSERT_TRUE(make_dir(fake));
  ASSERT_TRUE(write_file(path_join(fake, "ln"), "#!/bin/sh\nexit 0\n"));
  ASSERT_EQ(::chmod(path_join(fake, "ln").c_str(), 0755), 0);
  ASSERT_EQ(::symlink("lld", path_join(lld_dir, "ld.lld").c_str()), 0);  // made earlier
  ScopedEnv path("PATH", lld_dir + ":" + fake + ":/usr/bin:/bin");
  bool failed = false;
  std::string out = run(&failed);
  EXPECT_TRUE(failed) << out;
  EXPECT_NE(out.find("> Skip - Symlink already exists: " + path_join(lld_dir, "ld.lld") + "\n"), std::string::npos);
  EXPECT_NE(out.find("#Error: > Failed to create linker symlink: " + path_join(lld_dir, "ld64.lld") + "\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("lld-link"), std::string::npos) << out;
  EXPECT_TRUE(path_exists(path_join(lld_dir, "ld.lld")));
}

TEST_F(Symlinks, NoLldFails) {
  std::string which_only = path_join(dir, "which-only");
  ASSERT_TRUE(make_dir(which_only));
  std::string which = run_tool({"sh", "-c", "command -v which | tr -d '\\n'"});
  ASSERT_EQ(::symlink(which.c_str(), path_join(which_only, "which").c_str()), 0);
  ScopedEnv path("PATH", which_only);
  bool failed = false;
  std::string out = run(&failed);
  EXPECT_TRUE(failed);
  EXPECT_EQ(out, "#Error: Please install the 'lld' linker\n");
}

TEST(SymlinkCommand, TextsPerHost) {
  SymlinkCommand linux_cmd = linker_symlink_command("linux", "/usr/bin/lld", "/usr/bin/ld.lld");
  EXPECT_EQ(linux_cmd.text, "ln -s \"/usr/bin/lld\" \"/usr/bin/ld.lld\"");
  EXPECT_EQ(linux_cmd.argv, (std::vector<std::string>{"ln", "-s", "/usr/bin/lld", "/usr/bin/ld.lld"}));
  SymlinkCommand win = linker_symlink_command("win", "C:/tesk/lld-link.exe", "C:/tesk/ld.lld.exe");
  EXPECT_EQ(win.text, "mklink \"C:/tesk/ld.lld.exe\" \"C:/tesk/lld-link.exe\"");
}

}  // namespace
}  // namespace tesk
