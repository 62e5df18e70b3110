// The build driver: set-up of a build, the stage task, string ids and running the program.
#include "driver/build_driver.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "driver/options.h"
#include "helpers.h"
#include "model/records.h"
#include "source/packages.h"
#include "util/fs.h"
#include "util/process.h"

namespace tesk {
namespace {

using testutil::catch_error;
using testutil::error_line;
using testutil::TempDir;
using testutil::watch_build;

TEST(BuildDriver, StringIdsInOrderOfFirstRequest) {
  Build b;
  EXPECT_EQ(string_id(&b, "gc_action"), 0u);
  EXPECT_EQ(string_id(&b, "gc_free"), 1u);
  EXPECT_EQ(string_id(&b, "gc_action"), 0u);
  EXPECT_EQ(string_id(&b, "other"), 2u);
  EXPECT_EQ(b.string_counter, 3u);
}

TEST(BuildDriver, CountLines) {
  EXPECT_EQ(count_lines(""), 0u);
  EXPECT_EQ(count_lines("a"), 0u);
  EXPECT_EQ(count_lines("a\nb\n"), 2u);
  EXPECT_EQ(count_lines("\n\n\r\n"), 3u);
}

TEST(BuildDriver, StageTaskEndsOnlyItself) {
  int after = 0;
  EXPECT_FALSE(run_stage_task([] { throw ParseFailure{{0, "parse_error", "x"}}; }));
  EXPECT_FALSE(run_stage_task([] { throw BuildFailure{{0, "build_error", "x"}}; }));
  EXPECT_TRUE(run_stage_task([&] { after++; }));
  EXPECT_EQ(after, 1);
  // Stopping a build is not a task's business.
  EXPECT_THROW(run_stage_task([] { throw StopBuild{{0, "stop_build", "x"}}; }), StopBuild);
}

TEST(BuildDriver, RunCommandArgumentVector) {
  Build b;
  b.cli.rest = {"a", "b c", "$HOME;*", ""};
  b.out_path = "app";
  EXPECT_EQ(run_command_argv(&b), (std::vector<std::string>{"./app", "a", "b c", "$HOME;*", ""}));
  b.out_path = "bin/app";
  EXPECT_EQ(run_command_argv(&b)[0], "bin/app");
  b.out_path = "/abs/app";
  EXPECT_EQ(run_command_argv(&b)[0], "/abs/app");
}

TEST(BuildDriver, RunPassesArgumentsUnchangedAndTheExitCode) {
  TempDir t;
  t.file("prog", "#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\"; done\nexit 3\n", true);
  t.file("path/prog", "#!/bin/sh\necho wrong\nexit 9\n", true);
  std::string cwd = current_dir();
  std::string old_path = std::getenv("PATH") ? std::getenv("PATH") : "";
  ASSERT_EQ(::chdir(t.path.c_str()), 0);
  ::setenv("PATH", (t.path + "/path:" + old_path).c_str(), 1);
  Build b;
  b.out_path = "prog";  // relative: this file, not the one found in PATH
  b.cli.rest = {"a", "b c", "$HOME;*"};
  testing::internal::CaptureStdout();
  int code = run_process_inherit(run_command_argv(&b));
  std::string out = testing::internal::GetCapturedStdout();
  ::setenv("PATH", old_path.c_str(), 1);
  ASSERT_EQ(::chdir(cwd.c_str()), 0);
  EXPECT_EQ(code, 3);
  EXPECT_EQ(out, "[a]\n[b c]\n[$HOME;*]\n");
}

TEST(BuildDriver, ProgramKilledBySignalGivesNonZero) {
  TempDir t;
  Build b;
  b.out_path = t.file("prog", "#!/bin/sh\nkill -9 $$\n", true);
  EXPECT_NE(run_process_inherit(run_command_argv(&b)), 0);
}

std::unique_ptr<Build> project_build(const TempDir& t, std::vector<std::string> files) {
  ::unsetenv("TERM");  // log lines start with "> "
  auto b = watch_build();
  b->project_dir = t.path;
  b->cache_dir = t.path + "/cache";
  ::mkdir(b->cache_dir.c_str(), 0755);
  b->files = std::move(files);
  // The build goes on to objects and the link, which need a real target and output.
  b->target = parse_target(CliArgs{});
  b->out_path = b->cache_dir + "/out";
  return b;
}

TEST(BuildDriver, RunBuildLoadsTheRuntimeAndTheFiles) {
  TempDir t;
  std::string main_file = t.file("main.tesk", "fn main() {\n}\n");
  auto b = project_build(t, {main_file});
  b->test = 1;
  b->verbose = 3;
  b->cli.flags = {"--use-tesk-libs"};
  testing::internal::CaptureStdout();
  run_build(b.get());
  std::string out = testing::internal::GetCapturedStdout();
  std::string lib = compiler_lib_dir();

  std::string want = "> Set package directory: " + t.path + "\n> Load package config: " + t.path +
                     "/tesk.json\n> Creating package for directory: " + lib + "\n> Set package directory: " + lib +
                     "\n> Load package config: " + lib + "/tesk.json\n";
  for (const char* ns : {"core", "gc", "io", "type", "mem"}) {
    want += std::string("> Init namespace: ") + ns + " => " + lib + "/" + ns + "\n# Loading files from: " + lib +
            "/" + ns + "\n";
    for (const std::string& entry : list_dir(lib + "/" + ns))
      if (entry.size() > 5 && entry.substr(entry.size() - 5) == ".tesk")
        want += "> Loading file: " + lib + "/" + ns + "/" + entry + "\n";
  }
  want += "> Loading file: " + lib + "/templates/main.tesk\n> Loading file: " + main_file + "\n";
  ASSERT_GE(out.size(), want.size());
  EXPECT_EQ(out.substr(0, want.size()), want);
  u64 lines = 0;
  for (const auto& entry : b->loaded_files) lines += count_lines(entry.second->text);
  EXPECT_GE(lines, 2u);
  EXPECT_EQ(b->loc_files, lines);
  EXPECT_NE(out.find("> LOC in files: " + std::to_string(lines) + " | LOC parsed: "), std::string::npos);
  EXPECT_NE(out.find("> Compiler memory usage: "), std::string::npos);
  EXPECT_NE(out.find("> Compiled in "), std::string::npos);

  EXPECT_EQ(b->main_namespace->name, "main");
  EXPECT_EQ(b->main_namespace->dir, t.path);
  EXPECT_EQ(*b->packages.find(t.path), b->main_namespace->package);
  EXPECT_EQ(b->main_namespace->package->link_level, 2u);
  EXPECT_EQ(b->tesk_package->link_level, 2u);
  EXPECT_EQ(b->tesk_package->name, "tesk");
  EXPECT_EQ(*b->string_ids.find("gc_free"), 1u);
  // Units in creation order; "coro" and "libc" come last because the runtime's core
  // asks for them during Stage 1.
  std::vector<std::string> units;
  for (Unit* u : b->units) units.push_back(u->name);
  EXPECT_EQ(units, (std::vector<std::string>{"main", "core", "gc", "io", "type", "mem", "tesk_generated", "coro", "libc"}));
  EXPECT_EQ(b->generated_unit->o_path, b->cache_dir + "/tesk_generated_code.o");

  // Stage 1 order: the runtime's files, the template, the command-line files, then the
  // files that Stage 1 itself queued.
  std::vector<std::string> queue;
  for (SourceFile* f : b->stage1_queue) queue.push_back(f->path);
  std::vector<std::string> want_queue;
  for (const char* ns : {"core", "gc", "io", "type", "mem"})
    for (const std::string& entry : list_dir(lib + "/" + ns))
      if (entry.size() > 5 && entry.substr(entry.size() - 5) == ".tesk") want_queue.push_back(lib + "/" + ns + "/" + entry);
  size_t tmpl_at = want_queue.size();
  want_queue.push_back(lib + "/templates/main.tesk");
  want_queue.push_back(main_file);
  ASSERT_GE(queue.size(), want_queue.size());
  EXPECT_EQ(std::vector<std::string>(queue.begin(), queue.begin() + want_queue.size()), want_queue);
  for (size_t i = want_queue.size(); i < queue.size(); i++)
    EXPECT_TRUE(queue[i].rfind(lib + "/coro/", 0) == 0 || queue[i].rfind(lib + "/libc/", 0) == 0) << queue[i];
  SourceFile* tmpl = b->stage1_queue[tmpl_at];
  EXPECT_EQ(tmpl->unit, b->generated_unit);
  EXPECT_EQ(tmpl->ns, b->main_namespace);
  SourceFile* user = b->stage1_queue[tmpl_at + 1];
  EXPECT_EQ(user->unit, b->main_unit);
  EXPECT_EQ(user->ns, b->main_namespace);
  EXPECT_EQ(b->defines.find("TEST") ? *b->defines.find("TEST") : "", "1");
}

TEST(BuildDriver, SingleUnitPutsGeneratedCodeInTheMainUnit) {
  TempDir t;
  auto b = project_build(t, {t.file("main.tesk", "")});
  b->test = 1;
  b->single_unit = 1;
  b->mode = BUILD_IR;
  b->out_path = t.path + "/out.ll";
  testing::internal::CaptureStdout();
  run_build(b.get());
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(b->units.size(), 1u);
  EXPECT_EQ(b->generated_unit, b->main_unit);
  EXPECT_EQ(out, "> IR output: " + t.path + "/out.ll\n");
}

TEST(BuildDriver, RunBuildErrors) {
  TempDir t;
  std::string file = t.file("main.tesk", "");
  {
    auto b = project_build(t, {file});
    auto caught = catch_error([&] { run_build(b.get()); });
    EXPECT_TRUE(caught.build_failure);
    EXPECT_EQ(error_line(caught.out), "Your program has no 'main' function");
  }
  {
    auto b = project_build(t, {file, file});
    b->test = 1;
    auto caught = catch_error([&] { run_build(b.get()); });
    EXPECT_EQ(error_line(caught.out), "Tesk file loaded twice: " + file);
  }
  {
    t.file("tesk.json", "{\"namespaces\": ");
    auto b = project_build(t, {file});
    auto caught = catch_error([&] { run_build(b.get()); });
    EXPECT_EQ(error_line(caught.out), "Invalid json syntax: " + t.path + "/tesk.json");
  }
}

}  // namespace
}  // namespace tesk
