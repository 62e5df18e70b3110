#include "driver/options.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>

#include "driver/build_driver.h"
#include "driver/cli.h"
#include "driver/errors.h"
#include "driver/name_hash.h"
#include "util/fs.h"

namespace tesk {
namespace {

using Strings = std::vector<std::string>;

struct Outcome {
  int code = -1;
  bool exited = false;
  std::string out;
  BuildArgsResult result;
};

// Runs parse_build_args with exits turned into exceptions and stdout captured.
Outcome parse(const Strings& args, std::string_view os = "linux", std::string_view arch = "x64") {
  set_exit_throws(true);
  Outcome o;
  testing::internal::CaptureStdout();
  try {
    o.result = parse_build_args(args, os, arch);
    o.code = 0;
  } catch (const ExitRequest& e) {
    o.code = e.code;
    o.exited = true;
  }
  std::fflush(stdout);
  o.out = testing::internal::GetCapturedStdout();
  return o;
}

// A private HOME and a project with two source files and a sub-directory.
class BuildArgsTest : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tesk-options-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    home_ = root_ + "/home";
    proj_ = root_ + "/proj";
    ASSERT_TRUE(make_dir(home_));
    ASSERT_TRUE(make_dir(proj_));
    ASSERT_TRUE(make_dir(proj_ + "/sub"));
    ASSERT_TRUE(write_file(proj_ + "/main.tesk", "fn main() {}\n"));
    ASSERT_TRUE(write_file(proj_ + "/other.tesk", ""));
    ASSERT_TRUE(write_file(proj_ + "/notes.txt", ""));
    old_home_ = getenv("HOME") ? getenv("HOME") : "";
    setenv("HOME", home_.c_str(), 1);
    unsetenv("TERM");
  }
  void TearDown() override {
    setenv("HOME", old_home_.c_str(), 1);
    std::system(("rm -rf '" + root_ + "'").c_str());
  }
  std::string cache_of(const std::string& key) { return home_ + "/.tesk/cache/" + name_hash_text(key); }

  std::string root_, home_, proj_, old_home_;
};

TEST_F(BuildArgsTest, Errors) {
  const std::string main = proj_ + "/main.tesk";
  const std::pair<Strings, std::string> cases[] = {
      {{main, "--nope", "-x"}, "Unknown build argument: --nope"},
      {{main, "--markdown"}, "Unknown build argument: --markdown"},
      {{main, "-o"}, "Missing value for option: -o"},
      {{main, "--target"}, "Missing value for option: --target"},
      {{proj_ + "/missing.tesk"}, "File not found: " + proj_ + "/missing.tesk"},
      {{proj_ + "/sub/../nope"}, "File not found: " + proj_ + "/nope"},
      {{main, proj_ + "/notes.txt"}, "Invalid project directory: " + proj_ + "/notes.txt"},
      {{main, proj_, proj_ + "/sub"},
       "You can only pass 1 project directory in your cli arguments\nDir1: " + proj_ + "\nDir2: " + proj_ + "/sub"},
  };
  for (const auto& [args, error] : cases) {
    SCOPED_TRACE(error);
    Outcome o = parse(args);
    EXPECT_FALSE(o.exited);
    EXPECT_EQ(o.result.build, nullptr);
    EXPECT_EQ(o.result.error, error);
  }
}

TEST_F(BuildArgsTest, UsageAndProcessExits) {
  const std::string main = proj_ + "/main.tesk";
  const std::string usage = build_usage_text();
  struct Case {
    Strings args;
    int code;
    std::string out;
  };
  const Case cases[] = {
      {{main, "-h"}, 0, usage},
      {{"--help"}, 0, usage},
      {{proj_}, 1, "You did not mention any *.tesk files in your build command\nNothing to compile\n" + usage},
      {{main, "--docs"}, 1, "Missing project directory in your cli arguments\n" + usage},
      {{main, "-o", "a", "-o", "b"}, 1, "The '-o' argument was passed multiple times\n"},
      {{main, "--target", "win-arm64"},
       1,
       "# Build error\n-----------------------------\nInvalid target: win-arm64\nSupported: win-x64, linux-x64, "
       "linux-arm64, macos-x64, macos-arm64\n-----------------------------\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    Outcome o = parse(c.args);
    EXPECT_TRUE(o.exited);
    EXPECT_EQ(o.code, c.code);
    EXPECT_EQ(o.out, c.out);
  }
}

TEST_F(BuildArgsTest, BuildRecordFromFile) {
  Outcome o = parse({proj_ + "/main.tesk", "-v"});
  ASSERT_NE(o.result.build, nullptr) << o.result.error;
  Build* b = o.result.build.get();
  std::string key = proj_ + "||0.1.8linuxx641000||" + proj_ + "/main.tesk";
  EXPECT_EQ(b->project_dir, proj_);
  EXPECT_EQ(b->files, Strings{proj_ + "/main.tesk"});
  EXPECT_EQ(b->cache_dir, cache_of(key));
  EXPECT_TRUE(is_dir(b->cache_dir));
  EXPECT_EQ(o.out, "> Cache directory: " + b->cache_dir + "\n");
  EXPECT_EQ(b->out_path, b->cache_dir + "/out");
  EXPECT_EQ(b->mode, BUILD_EXECUTABLE);
  EXPECT_EQ(b->target.name, "linux-x64");
  EXPECT_EQ(b->target.host_os, "linux");
  EXPECT_EQ(b->verbose, 1u);
  EXPECT_EQ(b->optimise, 1);
  EXPECT_EQ(b->single_unit, 0);
  EXPECT_EQ(b->run, 0);
  EXPECT_EQ(b->cli.args, Strings{proj_ + "/main.tesk"});
}

TEST_F(BuildArgsTest, FlagsAndModes) {
  const std::string main = proj_ + "/main.tesk";
  Outcome o = parse({main, "-t", "-r", "-c", "-d", "--static", "-nw", "--no-opt", "-vv", "-v", "--release",
                     "-o", root_ + "/app", "--target", "win-x64"});
  ASSERT_NE(o.result.build, nullptr) << o.result.error;
  Build* b = o.result.build.get();
  EXPECT_TRUE(b->test && b->run && b->clean && b->debug && b->static_ && b->no_warn);
  EXPECT_EQ(b->optimise, 0);
  EXPECT_EQ(b->verbose, 2u);
  EXPECT_EQ(b->single_unit, 1);
  EXPECT_EQ(b->out_path, root_ + "/app.exe");
  EXPECT_EQ(b->cache_dir, cache_of(proj_ + "||0.1.8winx640111||" + main));

  o = parse({main, "--ir", "-o", root_ + "/x"});
  ASSERT_NE(o.result.build, nullptr);
  EXPECT_EQ(o.result.build->mode, BUILD_IR);
  EXPECT_EQ(o.result.build->single_unit, 1);
  EXPECT_EQ(o.result.build->out_path, root_ + "/x.ll");
  // "--ir" does not change the key; "--release" does.
  EXPECT_EQ(o.result.build->cache_dir, cache_of(proj_ + "||0.1.8linuxx641000||" + main));

  o = parse({proj_, "--docs", "--ir", "--markdown", "--no-private"});
  ASSERT_NE(o.result.build, nullptr) << o.result.error;
  EXPECT_EQ(o.result.build->mode, BUILD_DOCS);
  EXPECT_TRUE(o.result.build->files.empty());
  EXPECT_EQ(o.result.build->project_dir, proj_);
}

TEST_F(BuildArgsTest, RawOptionsOnlyBeforeSeparator) {
  const std::string main = proj_ + "/main.tesk";
  // After "--" these belong to the program that --run starts.
  Outcome o = parse({main, "--run", "--", "--ir", "--docs", "--watch", "-w", "--lsp"});
  ASSERT_NE(o.result.build, nullptr) << o.result.error;
  EXPECT_EQ(o.result.build->mode, BUILD_EXECUTABLE);
  EXPECT_EQ(o.result.build->cli.rest, (Strings{"--ir", "--docs", "--watch", "-w", "--lsp"}));
  EXPECT_EQ(o.result.build->cache_dir, cache_of(proj_ + "||0.1.8linuxx641000||" + main));

  // The value of -o is no option either.
  o = parse({main, "-o", "--ir"});
  ASSERT_NE(o.result.build, nullptr);
  EXPECT_EQ(o.result.build->mode, BUILD_EXECUTABLE);
  EXPECT_EQ(o.result.build->out_path, "--ir");

  // Before the separator they count: "--lsp" leaves the files out of the key.
  o = parse({main, "--lsp", "--def", "A=1", "--def", "B=2"});
  ASSERT_NE(o.result.build, nullptr);
  EXPECT_EQ(o.result.build->cache_dir, cache_of(proj_ + "||0.1.8linuxx641000|A=1"));
}

TEST_F(BuildArgsTest, ShortcutHandsTheProgramItsArgumentsUnchanged) {
  // tesk app.tesk a "b c" --ir -o x: exactly these five arguments reach the program.
  const std::string main = proj_ + "/main.tesk";
  const Strings program = {"a", "b c", "--ir", "-o", "x"};
  Strings list = shortcut_args(main, program);
  EXPECT_EQ(list, (Strings{main, "--run", "--", "a", "b c", "--ir", "-o", "x"}));
  Outcome o = parse(list);
  ASSERT_NE(o.result.build, nullptr) << o.result.error;
  Build* b = o.result.build.get();
  EXPECT_EQ(b->run, 1);
  EXPECT_EQ(b->mode, BUILD_EXECUTABLE);
  EXPECT_EQ(b->cli.rest, program);
  EXPECT_EQ(b->out_path, b->cache_dir + "/out");
  Strings argv = {b->out_path};
  argv.insert(argv.end(), program.begin(), program.end());
  EXPECT_EQ(run_command_argv(b), argv);
}

TEST_F(BuildArgsTest, ProjectDirectory) {
  // From the first file, from the directory argument, and resolved.
  Outcome o = parse({proj_ + "/sub/../other.tesk", proj_ + "/main.tesk"});
  ASSERT_NE(o.result.build, nullptr) << o.result.error;
  EXPECT_EQ(o.result.build->project_dir, proj_);
  EXPECT_EQ(o.result.build->files, (Strings{proj_ + "/other.tesk", proj_ + "/main.tesk"}));

  o = parse({proj_ + "/main.tesk", proj_ + "/sub/"});
  ASSERT_NE(o.result.build, nullptr) << o.result.error;
  EXPECT_EQ(o.result.build->project_dir, proj_ + "/sub");

  // The same file twice stays twice, in the list and in the key.
  o = parse({proj_ + "/main.tesk", proj_ + "/main.tesk"});
  ASSERT_NE(o.result.build, nullptr);
  EXPECT_EQ(o.result.build->files.size(), 2u);
  EXPECT_EQ(o.result.build->cache_dir,
            cache_of(proj_ + "||0.1.8linuxx641000||" + proj_ + "/main.tesk|" + proj_ + "/main.tesk"));
}

TEST_F(BuildArgsTest, CacheDirectoryErrors) {
  ASSERT_TRUE(write_file(home_ + "/.tesk", "a file in the way"));
  Outcome o = parse({proj_ + "/main.tesk"});
  EXPECT_EQ(o.result.build, nullptr);
  EXPECT_EQ(o.result.error, "Failed to create cache directory: " + home_ + "/.tesk");

  std::string dir;
  EXPECT_EQ(create_cache_dir("k", "", &dir),
            "Cannot find user home directory, so we cannot create the cache directory");
}

// Two keys whose 32-letter names are the same: the second key must not reuse the
// first one's objects.
TEST_F(BuildArgsTest, CacheDirectoryOfAnotherKeyWithTheSameName) {
  // Keys of two programs of one directory, one built for linux-x64, one for linux-arm64.
  const std::string a = "/work/main/tests/e2e/gc/Inputs||0.1.8linuxx640000||/work/main/tests/e2e/gc/Inputs/wide_args.tesk";
  const std::string b = "/work/main/tests/e2e/gc/Inputs||0.1.8linuxarm640000||/work/main/tests/e2e/gc/Inputs/buffers.tesk";
  ASSERT_EQ(name_hash_text(a), name_hash_text(b));
  std::string da, db, da2;
  ASSERT_EQ(create_cache_dir(a, home_, &da), "");
  ASSERT_EQ(create_cache_dir(b, home_, &db), "");
  ASSERT_EQ(create_cache_dir(a, home_, &da2), "");
  EXPECT_EQ(da, home_ + "/.tesk/cache/" + name_hash_text(a));
  EXPECT_EQ(db, da + "-2");
  EXPECT_EQ(da2, da);

  // Another compiler on the same key: the directory stays, its stamps go, as the
  // objects beside them may be that compiler's.
  ASSERT_TRUE(write_file(da + "/cache.key", a + "\nanother compiler"));
  ASSERT_TRUE(write_file(da + "/core_x-prev.ir", "ir"));
  ASSERT_TRUE(write_file(da + "/core_x.o", "object"));
  ASSERT_EQ(create_cache_dir(a, home_, &da2), "");
  EXPECT_EQ(da2, da);
  EXPECT_FALSE(path_exists(da + "/core_x-prev.ir"));
  EXPECT_TRUE(path_exists(da + "/core_x.o"));
  EXPECT_FALSE(file_equals(da + "/cache.key", a + "\nanother compiler"));
}

TEST(CacheKey, KnownProject) {
  Target linux_x64{"linux", "x64", "linux", "x64", "linux-x64", 8};
  Target win_x64{"win", "x64", "win", "x64", "win-x64", 8};
  Strings one = {"/home/u/proj/main.tesk"};
  Strings two = {"/home/u/proj/a.tesk", "/home/u/proj/b.tesk"};
  CacheKeyInput in;
  in.project_dir = "/home/u/proj";
  in.target = &win_x64;
  in.files = &one;
  EXPECT_EQ(build_cache_key(in), "/home/u/proj||0.1.8winx641000||/home/u/proj/main.tesk");

  in.target = &linux_x64;
  const std::string key = "/home/u/proj||0.1.8linuxx641000||/home/u/proj/main.tesk";
  EXPECT_EQ(build_cache_key(in), key);
  EXPECT_EQ(name_hash_text(key), "RKu9kErls87IdFTZ7EJAxsFhrz3r6gQf");

  in.optimise = false;
  in.debug = true;
  in.test = true;
  in.release = true;
  in.first_def = "A=1,B";
  in.files = &two;
  EXPECT_EQ(build_cache_key(in), "/home/u/proj||0.1.8linuxx640111|A=1,B|/home/u/proj/a.tesk|/home/u/proj/b.tesk");
  in.files = nullptr;
  EXPECT_EQ(build_cache_key(in), "/home/u/proj||0.1.8linuxx640111|A=1,B");
}

TEST(OutputPath, Table) {
  struct Case {
    std::optional<std::string> given;
    u64 mode;
    const char* os;
    const char* want;
  };
  const Case cases[] = {
      {std::nullopt, BUILD_EXECUTABLE, "linux", "/c/out"},
      {std::nullopt, BUILD_EXECUTABLE, "win", "/c/out.exe"},
      {"app", BUILD_EXECUTABLE, "win", "app.exe"},
      {"app.exe", BUILD_EXECUTABLE, "win", "app.exe"},
      {"app", BUILD_EXECUTABLE, "linux", "app"},
      {"app", BUILD_EXECUTABLE, "macos", "app"},
      {"app.exe", BUILD_EXECUTABLE, "linux", "app.exe"},
      {std::nullopt, BUILD_IR, "linux", "/c/out.ll"},
      {"out.ir", BUILD_IR, "win", "out.ir"},
      {"out.ll", BUILD_IR, "linux", "out.ll"},
      {"out", BUILD_IR, "win", "out.ll"},
      {"app.exe", BUILD_IR, "win", "app.exe.ll"},
      {"app", BUILD_DOCS, "win", "app"},
      {std::nullopt, BUILD_DOCS, "win", "/c/out"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.want);
    EXPECT_EQ(build_output_path(c.given, "/c", c.mode, c.os), c.want);
  }
}

TEST(ParseTarget, Names) {
  set_exit_throws(true);
  const char* names[] = {"win-x64", "linux-x64", "linux-arm64", "macos-x64", "macos-arm64"};
  for (const char* n : names) {
    CliArgs cli = parse_cli_args({"--target", n}, {"--target"}, {"--target"});
    Target t = parse_target(cli, "linux", "x64");
    EXPECT_EQ(t.name, n);
    EXPECT_EQ(t.os + "-" + t.arch, n);
    EXPECT_EQ(t.host_os, "linux");
    EXPECT_EQ(t.ptr_size, 8u);
  }
  // Without --target the host decides: a Windows host builds for win-x64.
  EXPECT_EQ(parse_target(CliArgs{}, "win", "x64").name, "win-x64");
  EXPECT_EQ(parse_target(CliArgs{}, "linux", "x64").name, "linux-x64");
  EXPECT_EQ(parse_target(CliArgs{}).name, "linux-x64");

  for (const char* bad : {"win-arm64", "linux", "LINUX-X64", "", "linux-x64-"}) {
    CliArgs cli = parse_cli_args({"--target", bad}, {"--target"}, {"--target"});
    testing::internal::CaptureStdout();
    int code = -1;
    try {
      parse_target(cli, "linux", "x64");
    } catch (const ExitRequest& e) {
      code = e.code;
    }
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, 1) << bad;
    EXPECT_NE(out.find(std::string("Invalid target: ") + bad + "\nSupported: win-x64,"), std::string::npos);
  }
}

TEST(CompileConditions, Table) {
  using Defines = std::vector<std::pair<std::string, std::string>>;
  struct Case {
    const char* target;
    bool test, static_, debug;
    Strings defs;
    Defines want;
  };
  const Case cases[] = {
      {"linux-x64", false, false, false, {},
       {{"OS", "linux"}, {"ARCH", "x64"}, {"TEST", "0"}, {"STATIC", "0"}, {"GC_DEBUG", "0"}, {"DEBUG", "0"}}},
      {"macos-arm64", true, true, true, {},
       {{"OS", "macos"}, {"ARCH", "arm64"}, {"TEST", "1"}, {"STATIC", "1"}, {"GC_DEBUG", "0"}, {"DEBUG", "1"}}},
      {"win-x64", false, false, false, {"A=1,B"},
       {{"OS", "win"}, {"ARCH", "x64"}, {"TEST", "0"}, {"STATIC", "0"}, {"GC_DEBUG", "0"}, {"DEBUG", "0"},
        {"A", "1"}, {"B", "1"}}},
      // OS=x overrides the variable (in its first place), not the target.
      {"linux-x64", false, false, false, {"OS=x"},
       {{"OS", "x"}, {"ARCH", "x64"}, {"TEST", "0"}, {"STATIC", "0"}, {"GC_DEBUG", "0"}, {"DEBUG", "0"}}},
      // Every --def applies, in order; blanks around a piece go, text after a second "=" too.
      {"linux-x64", false, false, false, {" X=1=2 , Y ", "X=3,Z=", "GC_DEBUG"},
       {{"OS", "linux"}, {"ARCH", "x64"}, {"TEST", "0"}, {"STATIC", "0"}, {"GC_DEBUG", "1"}, {"DEBUG", "0"},
        {"X", "3"}, {"Y", "1"}, {"Z", ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    Build b;
    Strings list = {"--target", c.target};
    for (auto& d : c.defs) {
      list.push_back("--def");
      list.push_back(d);
    }
    CliArgs cli = parse_cli_args(list, {"--target", "--def"}, {"--target", "--def"});
    b.target = parse_target(cli, "linux", "x64");
    b.test = c.test;
    b.static_ = c.static_;
    b.debug = c.debug;
    set_compile_conditions(&b, cli);
    Defines got;
    for (auto& [k, v] : b.defines) got.emplace_back(k, v);
    EXPECT_EQ(got, c.want);
    EXPECT_EQ(b.target.os, std::string(c.target).substr(0, std::string(c.target).find('-')));
  }
}

TEST(RawOptions, SeparatorIndex) {
  EXPECT_EQ(separator_index({"a", "--", "b"}), 1u);
  EXPECT_EQ(separator_index({"-o", "--", "--"}), 2u);
  EXPECT_EQ(separator_index({"--def", "--"}), 2u);
  EXPECT_EQ(separator_index({}), 0u);
  EXPECT_TRUE(raw_has_option({"a", "--ir", "--"}, "--ir"));
  EXPECT_FALSE(raw_has_option({"a", "--", "--ir"}, "--ir"));
  EXPECT_FALSE(raw_has_option({"-l", "--ir"}, "--ir"));
}

}  // namespace
}  // namespace tesk
