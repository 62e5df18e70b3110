// The file watcher: what it watches, what a poll decides, and the loop driven by a
// fake file system and a fake clock (the count of 500 ms sleeps).
#include "driver/watch.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <functional>
#include <map>
#include <regex>

#include "driver/errors.h"
#include "util/errors.h"
#include "util/fs.h"

namespace tesk {
namespace {

using Strings = std::vector<std::string>;

// Thrown by the fake clock to leave the loop, which never returns by itself.
struct StopLoop {};

struct FakeHost : WatchHost {
  std::map<std::string, u64> fs;  // path -> modification time; a directory lists the paths below it
  std::string out;                // what the watcher printed, with "[build]" per build
  int sleeps = 0;
  int max_sleeps = 40;
  std::vector<Strings> build_args;
  std::vector<int> build_at;  // the count of sleeps before each build
  // What a build loads: its files and namespace directories.
  Strings loads;
  Strings load_dirs;
  // The fake clock: runs after sleep number `sleeps`.
  std::function<void(FakeHost&)> on_sleep;

  bool mtime(const std::string& path, u64* t) override {
    auto it = fs.find(path);
    if (it == fs.end()) return false;
    *t = it->second;
    return true;
  }
  std::vector<std::string> list(const std::string& dir) override {
    std::vector<std::string> names;
    for (const auto& [path, t] : fs)
      if (path_dir(path) == dir) names.push_back(path_base(path));
    return names;
  }
  void print(std::string_view text) override { out += text; }
  void sleep_ms(u64 ms) override {
    EXPECT_EQ(ms, 500u);
    sleeps++;
    if (sleeps > max_sleeps) throw StopLoop{};
    if (on_sleep) on_sleep(*this);
  }
  void build(WatchState& st, const Strings& args) override {
    out += "[build]\n";
    build_args.push_back(args);
    build_at.push_back(sleeps);
    Build b;
    for (const std::string& d : load_dirs) b.namespace_dirs.set(d, nullptr);
    for (const std::string& f : loads)
      if (fs.count(f)) b.loaded_files.set(f, nullptr);  // a missing file cannot be loaded
    watch_record_build(st, b, *this);
  }
};

// Runs the loop until the fake clock stops it or the process would end.
struct LoopEnd {
  bool stopped = false;
  int exit_code = -1;
};
LoopEnd run_loop(FakeHost& host, const Strings& args, const Strings& files, std::optional<std::string> dir) {
  set_exit_throws(true);
  LoopEnd end;
  try {
    watch_run(host, args, files, dir);
  } catch (const StopLoop&) {
    end.stopped = true;
  } catch (const ExitRequest& e) {
    end.exit_code = e.code;
  }
  return end;
}

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
  return n;
}

TEST(WatchState, StartsWithTheCommandLine) {
  WatchState st = watch_start({"/p/a.tesk", "-o", "x"}, {"/p/a.tesk", "/p/b.tesk", "/p/a.tesk"}, std::nullopt);
  EXPECT_EQ(st.files, (Strings{"/p/a.tesk", "/p/b.tesk"}));
  EXPECT_TRUE(st.dirs.empty());
  EXPECT_TRUE(st.times.empty());

  st = watch_start({}, {"/p/a.tesk"}, std::string("/p"));
  EXPECT_EQ(st.dirs, (Strings{"/p"}));
}

TEST(WatchState, VerboseSwitch) {
  struct Case {
    Strings args;
    bool verbose;
  } cases[] = {
      {{"a.tesk"}, false},
      {{"a.tesk", "-v"}, true},
      {{"-vv", "a.tesk"}, true},
      {{"a.tesk", "-vvv"}, true},
      {{"a.tesk", "-o", "-v"}, false},        // the value of -o
      {{"a.tesk", "--", "-v"}, false},        // an argument of the program
      {{"a.tesk", "-V", "--verbose"}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(watch_start(c.args, {}, std::nullopt).verbose, c.verbose) << c.args.back();
}

TEST(WatchState, RecordBuildAddsLoadedFilesAndDirectoriesOnce) {
  FakeHost host;
  host.fs = {{"/p/a.tesk", 11}, {"/lib/core/c.tesk", 22}};
  WatchState st = watch_start({}, {"/p/a.tesk"}, std::string("/p"));
  Build b;
  b.namespace_dirs.set("/lib/core", nullptr);
  b.namespace_dirs.set("/p", nullptr);
  b.loaded_files.set("/lib/core/c.tesk", nullptr);
  b.loaded_files.set("/p/a.tesk", nullptr);
  b.loaded_files.set("/p/gone.tesk", nullptr);  // deleted after it was loaded
  watch_record_build(st, b, host);
  watch_record_build(st, b, host);
  EXPECT_EQ(st.dirs, (Strings{"/p", "/lib/core"}));
  EXPECT_EQ(st.files, (Strings{"/p/a.tesk", "/lib/core/c.tesk", "/p/gone.tesk"}));
  EXPECT_EQ(st.times["/p/a.tesk"], 11u);
  EXPECT_EQ(st.times["/lib/core/c.tesk"], 22u);
  EXPECT_EQ(st.times["/p/gone.tesk"], 0u);
  EXPECT_TRUE(host.out.empty());
}

// One poll on a watched state: a.tesk and b.tesk recorded at time 1, directory /p.
TEST(WatchPoll, Decisions) {
  struct Case {
    const char* name;
    std::function<void(FakeHost&, WatchState&)> change;
    u64 t;
    WatchEvent event;
    std::string out;
    Strings files_after;
    WatchEvent again = WatchEvent::none;  // the next poll: what was seen is not seen again
  } cases[] = {
      {"nothing", [](FakeHost&, WatchState&) {}, 0, WatchEvent::none, "", {"/p/a.tesk", "/p/b.tesk"}},
      {"touched", [](FakeHost& h, WatchState&) { h.fs["/p/b.tesk"] = 2; }, 1, WatchEvent::changed, "",
       {"/p/a.tesk", "/p/b.tesk"}},
      {"older time counts too", [](FakeHost& h, WatchState&) { h.fs["/p/a.tesk"] = 0; }, 1, WatchEvent::changed, "",
       {"/p/a.tesk", "/p/b.tesk"}},
      {"removed", [](FakeHost& h, WatchState&) { h.fs.erase("/p/a.tesk"); }, 1, WatchEvent::removed,
       "> File removed: /p/a.tesk\n", {"/p/b.tesk"}},
      {"first removed in list order", [](FakeHost& h, WatchState&) { h.fs.erase("/p/a.tesk"), h.fs.erase("/p/b.tesk"); },
       2, WatchEvent::removed, "> File removed: /p/a.tesk\n", {"/p/b.tesk"}, WatchEvent::removed},
      {"new file on a scan poll", [](FakeHost& h, WatchState&) { h.fs["/p/c.tesk"] = 5; }, 3, WatchEvent::new_file,
       "> New file: /p/c.tesk\n", {"/p/a.tesk", "/p/b.tesk", "/p/c.tesk"}},
      {"new file between scans", [](FakeHost& h, WatchState&) { h.fs["/p/c.tesk"] = 5; }, 4, WatchEvent::none, "",
       {"/p/a.tesk", "/p/b.tesk"}},
      {"other files are not watched", [](FakeHost& h, WatchState&) { h.fs["/p/notes.txt"] = 5; }, 0,
       WatchEvent::none, "", {"/p/a.tesk", "/p/b.tesk"}},
      {"subdirectories are not listed", [](FakeHost& h, WatchState&) { h.fs["/p/sub/d.tesk"] = 5; }, 0,
       WatchEvent::none, "", {"/p/a.tesk", "/p/b.tesk"}},
      {"a file without a recorded time", [](FakeHost&, WatchState& st) { st.times.erase("/p/b.tesk"); }, 1,
       WatchEvent::changed, "", {"/p/a.tesk", "/p/b.tesk"}},
  };
  for (const Case& c : cases) {
    FakeHost host;
    host.fs = {{"/p/a.tesk", 1}, {"/p/b.tesk", 1}};
    WatchState st = watch_start({}, {"/p/a.tesk", "/p/b.tesk"}, std::string("/p"));
    st.times = {{"/p/a.tesk", 1}, {"/p/b.tesk", 1}};
    c.change(host, st);
    EXPECT_EQ(watch_poll(st, c.t, host), c.event) << c.name;
    EXPECT_EQ(host.out, c.out) << c.name;
    EXPECT_EQ(st.files, c.files_after) << c.name;
    EXPECT_EQ(watch_poll(st, c.t, host), c.again) << c.name;
  }
}

TEST(WatchPoll, NewFileTimeIsRecorded) {
  FakeHost host;
  host.fs = {{"/p/a.tesk", 1}, {"/p/new.tesk", 9}};
  WatchState st = watch_start({}, {"/p/a.tesk"}, std::string("/p"));
  st.times["/p/a.tesk"] = 1;
  EXPECT_TRUE(watch_scan_dirs(st, host));
  EXPECT_EQ(st.times["/p/new.tesk"], 9u);
  EXPECT_FALSE(watch_scan_dirs(st, host));
  EXPECT_EQ(watch_poll(st, 1, host), WatchEvent::none);
}

TEST(WatchLoop, RebuildsOnTouchAndPollsEvery500ms) {
  FakeHost host;
  host.fs = {{"/p/a.tesk", 1}, {"/lib/t.tesk", 1}};
  host.loads = {"/lib/t.tesk", "/p/a.tesk"};
  host.max_sleeps = 6;
  host.on_sleep = [](FakeHost& h) {
    if (h.sleeps == 2) h.fs["/p/a.tesk"] = 2;  // same content, new time
  };
  Strings args = {"/p/a.tesk", "-o", "app"};
  LoopEnd end = run_loop(host, args, {"/p/a.tesk"}, std::nullopt);
  EXPECT_TRUE(end.stopped);
  // Build, two quiet polls, the poll after the touch rebuilds, then quiet polls.
  EXPECT_EQ(host.out, "> Files changed - build\n[build]\n> Files changed - build\n[build]\n");
  ASSERT_EQ(host.build_args.size(), 2u);
  EXPECT_EQ(host.build_at, (std::vector<int>{0, 2}));  // seen by the first poll after the touch
  EXPECT_EQ(host.build_args[0], args);
  EXPECT_EQ(host.build_args[1], args);
}

TEST(WatchLoop, NewFileInProjectDirectoryStartsABuild) {
  FakeHost host;
  host.fs = {{"/p/a.tesk", 1}, {"/p/old.tesk", 1}};
  host.loads = {"/p/a.tesk"};
  host.max_sleeps = 8;
  host.on_sleep = [](FakeHost& h) {
    if (h.sleeps == 1) h.fs["/p/b.tesk"] = 3;
  };
  LoopEnd end = run_loop(host, {"/p/a.tesk", "/p"}, {"/p/a.tesk"}, std::string("/p"));
  EXPECT_TRUE(end.stopped);
  // The scan after the first build finds old.tesk and builds again at once; b.tesk
  // appears after the first sleep and is found by the scan of poll 3.
  EXPECT_EQ(host.out,
            "> Files changed - build\n[build]\n> New file: /p/old.tesk\n"
            "> Files changed - build\n[build]\n"
            "> New file: /p/b.tesk\n> Files changed - build\n[build]\n");
  EXPECT_EQ(host.build_at, (std::vector<int>{0, 0, 3}));  // b.tesk waits for the scan of poll 3
}

TEST(WatchLoop, AllFilesRemovedEndsWithNothingToWatch) {
  FakeHost host;
  host.fs = {{"/p/a.tesk", 1}, {"/p/b.tesk", 1}};
  host.loads = {"/p/a.tesk", "/p/b.tesk"};
  host.on_sleep = [](FakeHost& h) {
    if (h.sleeps == 1) h.fs.clear();
  };
  LoopEnd end = run_loop(host, {"/p/a.tesk", "/p/b.tesk"}, {"/p/a.tesk", "/p/b.tesk"}, std::nullopt);
  EXPECT_EQ(end.exit_code, 1);
  EXPECT_EQ(host.out,
            "> Files changed - build\n[build]\n"
            "> File removed: /p/a.tesk\n> Files changed - build\n[build]\n"
            "> File removed: /p/b.tesk\n> Files changed - build\n[build]\n"
            "# No files to watch\n");
  EXPECT_EQ(host.sleeps, 1);
}

TEST(WatchLoop, RemovedFileThatComesBackIsWatchedAgain) {
  FakeHost host;
  host.fs = {{"/p/a.tesk", 1}, {"/lib/t.tesk", 1}};
  host.loads = {"/p/a.tesk", "/lib/t.tesk"};
  host.max_sleeps = 12;
  host.on_sleep = [](FakeHost& h) {
    if (h.sleeps == 1) h.fs.erase("/p/a.tesk");
    if (h.sleeps == 4) h.fs["/p/a.tesk"] = 5;
    if (h.sleeps == 8) h.fs["/p/a.tesk"] = 6;
  };
  // No watched directory holds a.tesk: only its own return brings it back, and it is
  // then watched as before (the change after sleep 8 builds again).
  LoopEnd end = run_loop(host, {"/p/a.tesk"}, {"/p/a.tesk"}, std::nullopt);
  EXPECT_TRUE(end.stopped);
  EXPECT_EQ(host.out,
            "> Files changed - build\n[build]\n"
            "> File removed: /p/a.tesk\n> Files changed - build\n[build]\n"
            "> New file: /p/a.tesk\n> Files changed - build\n[build]\n"
            "> Files changed - build\n[build]\n");
  EXPECT_EQ(host.build_at, (std::vector<int>{0, 1, 4, 8}));
}

TEST(WatchLoop, VerboseMemoryLineBeforeEachBuild) {
  FakeHost host;
  host.fs = {{"/p/a.tesk", 1}};
  host.loads = {"/p/a.tesk"};
  host.max_sleeps = 1;
  LoopEnd end = run_loop(host, {"/p/a.tesk", "-vv"}, {"/p/a.tesk"}, std::nullopt);
  EXPECT_TRUE(end.stopped);
  EXPECT_TRUE(std::regex_match(host.out, std::regex("> Files changed - build\n> Watcher memory usage: [0-9]+mb\n"
                                                    "\\[build\\]\n")))
      << host.out;
}

// The real build step: parse the options, build in watch mode, record what it loaded.
class RealBuild : public testing::Test {
 protected:
  std::string dir;
  std::string old_home;
  bool had_home = false;
  std::string cwd;

  void SetUp() override {
    char tmpl[] = "/tmp/tesk-watch-XXXXXX";
    dir = path_real(::mkdtemp(tmpl));
    ::mkdir((dir + "/home").c_str(), 0755);
    const char* h = std::getenv("HOME");
    had_home = h != nullptr;
    if (h) old_home = h;
    ::setenv("HOME", (dir + "/home").c_str(), 1);
    ::unsetenv("TERM");
    set_exit_throws(true);
  }
  void TearDown() override {
    if (had_home) ::setenv("HOME", old_home.c_str(), 1);
    std::system(("rm -rf '" + dir + "'").c_str());
  }
  std::string file(const std::string& name, const std::string& text) {
    std::string path = dir + "/" + name;
    write_file(path, text);
    return path;
  }
  // Runs f with standard output captured.
  template <typename F>
  std::string captured(F&& f) {
    testing::internal::CaptureStdout();
    f();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
  }
};

TEST_F(RealBuild, RecordsTheLoadedFilesAndTheirTimes) {
  std::string x = file("x.tesk", "fn main() {\n}\n");
  WatchHost host;
  WatchState st = watch_start({x}, {x}, std::nullopt);
  std::string out = captured([&] { host.build(st, {x}); });
  EXPECT_NE(out.find("> Compiled in "), std::string::npos) << out;
  std::string lib = compiler_lib_dir();
  EXPECT_EQ(st.files.front(), x);
  EXPECT_EQ(st.file_set.count(lib + "/templates/main.tesk"), 1u);
  EXPECT_EQ(st.dir_set.count(lib + "/core"), 1u);
  for (const std::string& f : st.files) {
    u64 t = 0;
    ASSERT_TRUE(file_mtime_ns(f, &t)) << f;
    EXPECT_EQ(st.times[f], t) << f;
  }
  // Nothing changed since: the next poll is quiet.
  EXPECT_EQ(watch_poll(st, 1, host), WatchEvent::none);
}

TEST_F(RealBuild, ErrorsOfTheBuildDoNotEndTheWatcher) {
  std::string x = file("x.tesk", "fn main( {\n");
  WatchHost host;
  WatchState st = watch_start({x}, {x}, std::nullopt);
  std::string out = captured([&] { host.build(st, {x}); });
  // The parse report, then the box of the driver's own error; both only printed.
  EXPECT_NE(out.find("# Parser error\n# File: " + x + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("# Build error\n-----------------------------\nYour program has no 'main' function\n"),
            std::string::npos)
      << out;
  EXPECT_NE(st.times[x], 0u);  // the broken file is watched for its fix
}

TEST_F(RealBuild, OptionErrorIsAPlainLineAndKeepsTheLists) {
  std::string x = file("x.tesk", "fn main() {\n}\n");
  WatchHost host;
  WatchState st = watch_start({x}, {x}, std::string(dir));
  ::unlink(x.c_str());
  std::string out = captured([&] { host.build(st, {x, dir}); });
  EXPECT_EQ(out, "File not found: " + x + "\n");
  EXPECT_EQ(st.files, (Strings{x}));
  EXPECT_EQ(st.dirs, (Strings{dir}));
  EXPECT_TRUE(st.times.empty());
}

// With --run the first build that reaches its end runs the program and ends the
// process: no poll ever happens.
TEST_F(RealBuild, RunEndsTheWatcherAfterTheFirstBuild) {
  std::string x = file("x.tesk", "fn main() {\n}\n");
  struct CountingHost : WatchHost {
    int sleeps = 0;
    void sleep_ms(u64) override {
      if (++sleeps > 3) throw StopLoop{};
    }
  } host;
  LoopEnd end;
  std::string out = captured([&] {
    try {
      watch_run(host, {x, "--run"}, {x}, std::nullopt);
    } catch (const StopLoop&) {
      end.stopped = true;
    } catch (const ExitRequest& e) {
      end.exit_code = e.code;
    }
  });
  EXPECT_FALSE(end.stopped) << out;
  EXPECT_GE(end.exit_code, 0);
  EXPECT_EQ(host.sleeps, 0);
  EXPECT_EQ(count(out, "> Files changed - build\n"), 1) << out;
  EXPECT_EQ(out.find("Compiled in"), std::string::npos) << out;

  // Without --run, or with --run and a build that fails, the build is followed by polling.
  for (bool broken : {false, true}) {
    if (broken) file("x.tesk", "fn main( {\n");
    Strings args = broken ? Strings{x, "--run"} : Strings{x};
    host.sleeps = 0;
    end = LoopEnd{};
    out = captured([&] {
      try {
        watch_run(host, args, {x}, std::nullopt);
      } catch (const StopLoop&) {
        end.stopped = true;
      }
    });
    EXPECT_TRUE(end.stopped) << broken;
    EXPECT_EQ(count(out, "> Files changed - build\n"), 1) << out;
    EXPECT_EQ(count(out, "# Parser error\n"), broken ? 1 : 0) << out;
  }
}

}  // namespace
}  // namespace tesk
