// IR files to object files: the five triples, the error texts, the optimisation
// pipeline, and Stage 3.4 with its cache rule and threads.
#include <gtest/gtest.h>
#include <llvm-c/Core.h>

#include "backend/llvm_object.h"
#include "backend/object_files.h"
#include "backend/stage_objects.h"
#include "backend_fixture.h"

namespace tesk {
namespace {

using namespace testing_backend;

std::string readobj_headers(const std::string& path) {
  return run_tool({"llvm-readobj-15", "--file-headers", path});
}

struct TripleCase {
  const char* os;
  const char* arch;
  const char* triple;
  const char* format;  // llvm-readobj "Format:"
  const char* readobj_arch;
};

TEST(ObjectFiles, EveryTargetGetsItsObjectFormat) {
  init_llvm_targets();
  const TripleCase cases[] = {
      {"linux", "x64", "x86_64-pc-linux-gnu", "Format: elf64-x86-64", "Arch: x86_64"},
      {"linux", "arm64", "aarch64-pc-linux-gnu", "Format: elf64-littleaarch64", "Arch: aarch64"},
      {"macos", "x64", "x86_64-apple-darwin", "Format: Mach-O 64-bit x86-64", "Arch: x86_64"},
      {"macos", "arm64", "arm64-apple-darwin", "Format: Mach-O arm64", "Arch: aarch64"},
      {"win", "x64", "x86_64-pc-windows-msvc", "Format: COFF-x86-64", "Arch: x86_64"},
  };
  std::string dir = make_temp_dir();
  for (const TripleCase& c : cases) {
    SCOPED_TRACE(c.triple);
    Target t = target_of("linux", c.os, c.arch);
    EXPECT_EQ(llvm_triple(t), c.triple);
    std::string ir = path_join(dir, t.name + ".ir");
    std::string prev = path_join(dir, t.name + "-prev.ir");
    std::string obj = path_join(dir, t.name + ".o");
    std::string text = hello_ir("hi");
    ASSERT_TRUE(write_file(ir, text));
    auto err = compile_ir_file(ir, prev, obj, t, true);
    ASSERT_FALSE(err) << *err;
    std::string headers = readobj_headers(obj);
    EXPECT_NE(headers.find(c.format), std::string::npos) << headers;
    EXPECT_NE(headers.find(c.readobj_arch), std::string::npos) << headers;
    EXPECT_TRUE(file_equals(prev, text));
  }
  EXPECT_EQ(llvm_triple(target_of("linux", "win", "arm64")), "aarch64-pc-windows-msvc");
  EXPECT_EQ(llvm_triple(target_of("linux", "beos", "x64")), "");
}

TEST(ObjectFiles, OptimisationRunsOnlyWhenAsked) {
  init_llvm_targets();
  // An internal helper vanishes once the level-3 pipeline inlines it.
  std::string text =
      "define internal i32 @helper(i32 %x) {\n"
      "  %y = mul i32 %x, 3\n"
      "  ret i32 %y\n"
      "}\n"
      "define i32 @entry(i32 %a) {\n"
      "  %r = call i32 @helper(i32 %a)\n"
      "  ret i32 %r\n"
      "}\n";
  std::string dir = make_temp_dir();
  std::string ir = path_join(dir, "u.ir");
  ASSERT_TRUE(write_file(ir, text));
  Target t = target_of("linux", "linux", "x64");
  for (bool optimise : {true, false}) {
    std::string obj = path_join(dir, optimise ? "opt.o" : "noopt.o");
    auto err = compile_ir_file(ir, path_join(dir, "u-prev.ir"), obj, t, optimise);
    ASSERT_FALSE(err) << *err;
    std::string syms = run_tool({"llvm-objdump-15", "-t", obj});
    EXPECT_NE(syms.find("entry"), std::string::npos) << syms;
    EXPECT_EQ(syms.find("helper") != std::string::npos, !optimise) << syms;
  }
}

TEST(ObjectFiles, ErrorTexts) {
  init_llvm_targets();
  std::string dir = make_temp_dir();
  Target t = target_of("linux", "linux", "x64");
  std::string prev = path_join(dir, "u-prev.ir");
  std::string obj = path_join(dir, "u.o");

  auto missing = compile_ir_file(path_join(dir, "absent.ir"), prev, obj, t, true);
  ASSERT_TRUE(missing);
  EXPECT_EQ(*missing, "LLVM create buffer error: No such file or directory");

  std::string bad = path_join(dir, "bad.ir");
  ASSERT_TRUE(write_file(bad, "define i32 @f() {\n  ret i32 %nothing\n}\n"));
  auto parse = compile_ir_file(bad, prev, obj, t, true);
  ASSERT_TRUE(parse);
  EXPECT_EQ(parse->rfind("LLVM parse error: ", 0), 0u) << *parse;
  EXPECT_NE(parse->find("use of undefined value '%nothing'"), std::string::npos) << *parse;

  // Parses, but an instruction that uses its own result fails verification.
  std::string invalid = path_join(dir, "invalid.ir");
  ASSERT_TRUE(write_file(invalid, "define i32 @f() {\n  %x = add i32 %x, 1\n  ret i32 %x\n}\n"));
  auto verify = compile_ir_file(invalid, prev, obj, t, true);
  ASSERT_TRUE(verify);
  std::string head = "LLVM error in: " + invalid + "\nLLVM verify error: ";
  EXPECT_EQ(verify->rfind(head, 0), 0u) << *verify;
  EXPECT_NE(verify->find("Only PHI nodes may reference their own value"), std::string::npos) << *verify;

  // A failed unit never refreshes -prev.ir, so the next build compiles it again.
  EXPECT_FALSE(path_exists(prev));
  EXPECT_FALSE(path_exists(obj));
}

TEST(ObjectFiles, UnwritableObjectPathReportsEmitFailure) {
  init_llvm_targets();
  std::string dir = make_temp_dir();
  std::string ir = path_join(dir, "u.ir");
  ASSERT_TRUE(write_file(ir, hello_ir("x")));
  auto err = compile_ir_file(ir, path_join(dir, "u-prev.ir"), path_join(dir, "no/such/dir/u.o"),
                             target_of("linux", "linux", "x64"), false);
  ASSERT_TRUE(err);
  EXPECT_EQ(err->rfind("LLVM failed to create .o file: ", 0), 0u) << *err;
}

TEST(ObjectFiles, TargetMachineForAnUnknownTargetEndsTheProcess) {
  init_llvm_targets();
  ExitThrows exits;
  ScopedUnsetEnv no_term("TERM");
  struct Case {
    const char* os;
    const char* arch;
    const char* line;
  };
  const Case cases[] = {
      {"linux", "riscv", "Unknown architecture (bug)\n"},
      {"beos", "x64", "> Could not figure out the LLVM triple\n"},
      {"beos", "riscv", "Unknown architecture (bug)\n"},  // the architecture is tested first
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.os) + "-" + c.arch);
    LLVMContextRef ctx = LLVMContextCreate();
    LLVMModuleRef mod = LLVMModuleCreateWithNameInContext("m", ctx);
    int code = 0;
    std::string out = capture_stdout([&] { create_target_machine(mod, target_of("linux", c.os, c.arch)); }, &code);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(out, c.line);
    LLVMDisposeModule(mod);
    LLVMContextDispose(ctx);
  }
  // A known target sets triple and data layout on the module.
  LLVMContextRef ctx = LLVMContextCreate();
  LLVMModuleRef mod = LLVMModuleCreateWithNameInContext("m", ctx);
  LLVMTargetMachineRef tm = create_target_machine(mod, target_of("linux", "macos", "arm64"));
  ASSERT_NE(tm, nullptr);
  EXPECT_STREQ(LLVMGetTarget(mod), "arm64-apple-darwin");
  EXPECT_NE(std::string(LLVMGetDataLayoutStr(mod)), "");
  LLVMDisposeTargetMachine(tm);
  LLVMDisposeModule(mod);
  LLVMContextDispose(ctx);
}

TEST(ObjectFiles, CopyFailuresArePrintedAndTheBuildGoesOn) {
  init_llvm_targets();
  ExitThrows exits;
  std::string dir = make_temp_dir();
  std::string ir = path_join(dir, "u.ir");
  ASSERT_TRUE(write_file(ir, hello_ir("x")));
  // The object is written; only the -prev.ir copy fails, so the unit still counts.
  std::string prev = path_join(dir, "gone/u-prev.ir");
  std::string obj = path_join(dir, "u.o");
  int code = 0;
  std::optional<std::string> err;
  std::string out = capture_stdout(
      [&] { err = compile_ir_file(ir, prev, obj, target_of("linux", "linux", "x64"), false); }, &code);
  EXPECT_FALSE(err);
  EXPECT_EQ(out, "Failed to update: " + prev + "\n");
  EXPECT_TRUE(is_file(obj));

}

TEST(ObjectFiles, IrOutputThatCannotBeWrittenIsABuildError) {
  init_llvm_targets();
  ExitThrows exits;
  std::string dir = make_temp_dir();
  std::unique_ptr<Build> b = std::make_unique<Build>();
  b->mode = BUILD_IR;
  b->out_path = path_join(dir, "gone/out.ir");
  Unit* u = add_unit(b.get(), dir, "u");
  std::string text = hello_ir("x");
  int code = 0;
  std::string out = capture_stdout([&] { write_ir_output(b.get(), u, text); }, &code);
  EXPECT_EQ(code, 1);
  EXPECT_NE(out.find("# Build error\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Failed to write: " + b->out_path + "\n"), std::string::npos) << out;
  EXPECT_FALSE(path_exists(b->out_path));
}

// Each step of replacing an object leaves a state the next build can trust: the
// stamp is gone before the old object is touched, the object appears whole, and a
// stamp appears only next to the object of the same IR.
TEST(ObjectFiles, ReplacingAnObjectRemovesTheStampFirstAndLeavesNoTemporaryFiles) {
  init_llvm_targets();
  std::string dir = make_temp_dir();
  Target t = target_of("linux", "linux", "x64");
  std::string ir = path_join(dir, "u.ir");
  std::string prev = path_join(dir, "u-prev.ir");
  std::string obj = path_join(dir, "u.o");
  ASSERT_TRUE(write_file(ir, hello_ir("old")));
  ASSERT_FALSE(compile_ir_file(ir, prev, obj, t, false));
  ASSERT_TRUE(file_equals(prev, hello_ir("old")));

  // The new IR does not compile: the old object stays, but the stamp that vouched
  // for it is gone, so the next build compiles the unit whatever its IR.
  ASSERT_TRUE(write_file(ir, "define i32 @f() {\n  ret i32 %nothing\n}\n"));
  EXPECT_TRUE(compile_ir_file(ir, prev, obj, t, false));
  EXPECT_FALSE(path_exists(prev));
  EXPECT_TRUE(is_file(obj));

  ASSERT_TRUE(write_file(ir, hello_ir("new")));
  ASSERT_FALSE(compile_ir_file(ir, prev, obj, t, false));
  EXPECT_TRUE(file_equals(prev, hello_ir("new")));
  EXPECT_NE(run_tool({"llvm-objdump-15", "-s", obj}).find("new"), std::string::npos);
  EXPECT_FALSE(path_exists(obj + ".tmp"));
  EXPECT_FALSE(path_exists(prev + ".tmp"));

  // A stamp that cannot be removed stops the unit before its object is touched.
  std::string stuck = path_join(dir, "stuck-prev.ir");
  ASSERT_TRUE(make_dir(stuck));
  ASSERT_TRUE(write_file(path_join(stuck, "keep"), "x"));
  auto err = compile_ir_file(ir, stuck, obj, t, false);
  ASSERT_TRUE(err);
  EXPECT_EQ(*err, "Failed to remove: " + stuck);
  EXPECT_NE(run_tool({"llvm-objdump-15", "-s", obj}).find("new"), std::string::npos);
}

// ---- Stage 3.4 over units of a build ----

struct StageFixture : ::testing::Test {
  ExitThrows exits;
  std::string dir = make_temp_dir();
  std::unique_ptr<Build> b = std::make_unique<Build>();
  std::map<Unit*, std::string> ir;

  void SetUp() override {
    b->target = target_of("linux", "linux", "x64");
    b->cache_dir = dir;
    b->out_path = path_join(dir, "out");
  }
  UnitIrSource source() {
    return [this](Unit* u) { return ir.at(u); };
  }
  size_t run() { return make_object_files(b.get(), source()); }
  // Runs the stage and returns what it printed.
  std::string run_captured(size_t* threads) {
    int code = 0;
    std::string out = capture_stdout([&] { *threads = run(); }, &code);
    EXPECT_EQ(code, -1) << "stage failed: " << out;
    return out;
  }
  // Runs the stage expecting a build error; returns the printed box.
  std::string run_failing() {
    int code = 0;
    std::string out = capture_stdout([&] { run(); }, &code);
    EXPECT_EQ(code, 1) << out;
    return out;
  }
};

TEST_F(StageFixture, UnchangedUnitsStartNoThreadAndChangesRecompileOnlyTheirUnit) {
  Unit* a = add_unit(b.get(), dir, "a");
  Unit* c = add_unit(b.get(), dir, "c");
  Unit* unused = add_unit(b.get(), dir, "unused", false);
  ir[a] = hello_ir("a");
  ir[c] = hello_ir("c");
  ir[unused] = hello_ir("never");

  EXPECT_EQ(run(), 2u);
  for (Unit* u : {a, c}) {
    EXPECT_TRUE(is_file(u->o_path));
    EXPECT_TRUE(file_equals(u->prev_ir_path, ir[u]));
  }
  EXPECT_FALSE(path_exists(unused->ir_path));
  EXPECT_FALSE(path_exists(unused->o_path));

  // Second build: no .ir written, no thread, objects kept.
  ASSERT_EQ(::unlink(a->ir_path.c_str()), 0);
  ASSERT_EQ(::unlink(c->ir_path.c_str()), 0);
  EXPECT_EQ(run(), 0u);
  EXPECT_FALSE(path_exists(a->ir_path));
  EXPECT_FALSE(path_exists(c->ir_path));

  // One unit's IR changes: exactly one thread.
  ir[c] = hello_ir("c changed");
  EXPECT_EQ(run(), 1u);
  EXPECT_TRUE(file_equals(c->prev_ir_path, ir[c]));
  EXPECT_FALSE(path_exists(a->ir_path));

  // --clean compiles every used unit again.
  b->clean = 1;
  EXPECT_EQ(run(), 2u);
}

TEST_F(StageFixture, MissingObjectOrPrevIrForcesRecompile) {
  Unit* a = add_unit(b.get(), dir, "a");
  Unit* c = add_unit(b.get(), dir, "c");
  ir[a] = hello_ir("a");
  ir[c] = hello_ir("c");
  EXPECT_EQ(run(), 2u);

  // The .o is gone while -prev.ir still matches: rebuilt, not reused.
  ASSERT_EQ(::unlink(a->o_path.c_str()), 0);
  EXPECT_EQ(run(), 1u);
  EXPECT_TRUE(is_file(a->o_path));

  ASSERT_EQ(::unlink(c->prev_ir_path.c_str()), 0);
  EXPECT_EQ(run(), 1u);
  EXPECT_TRUE(file_equals(c->prev_ir_path, ir[c]));
  EXPECT_EQ(run(), 0u);

  // An empty object (a write cut short) is made again although the stamp matches.
  ASSERT_TRUE(write_file(a->o_path, ""));
  EXPECT_EQ(run(), 1u);
  EXPECT_GT(file_size(a->o_path).value_or(0), 0u);
  EXPECT_EQ(run(), 0u);
}

TEST_F(StageFixture, VerboseThreeAnnouncesThreadsAndJoins) {
  Unit* a = add_unit(b.get(), dir, "a");
  Unit* c = add_unit(b.get(), dir, "c");
  ir[a] = hello_ir("a");
  ir[c] = hello_ir("c");
  b->verbose = 3;
  size_t threads = 0;
  std::string out = run_captured(&threads);
  EXPECT_EQ(threads, 2u);
  EXPECT_NE(out.find("> Stage 3.4: Generating object file: " + a->o_path + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("> Stage 3.4: Generating object file: " + c->o_path + "\n"), std::string::npos) << out;
  size_t first = out.find("> Waiting for Thread: 0/2\n");
  size_t second = out.find("> Waiting for Thread: 1/2\n");
  EXPECT_NE(first, std::string::npos) << out;
  EXPECT_NE(second, std::string::npos) << out;
  EXPECT_LT(first, second);

  out = run_captured(&threads);
  EXPECT_EQ(threads, 0u);
  EXPECT_EQ(out, "");
}

TEST_F(StageFixture, ParseErrorOfAUnitIsReportedInTheBuildErrorBox) {
  Unit* good = add_unit(b.get(), dir, "good");
  Unit* bad = add_unit(b.get(), dir, "bad");
  ir[good] = hello_ir("good");
  ir[bad] = "define i32 @f() {\n  ret i32 %nothing\n}\n";
  b->messages.push_back(BuildMessage{MSG_WARNING, "an earlier warning"});
  std::string out = run_failing();
  EXPECT_NE(out.find("# Build error\n-----------------------------\nLLVM parse error: "), std::string::npos)
      << out;
  EXPECT_NE(out.find("use of undefined value '%nothing'"), std::string::npos) << out;
  // LLVM parses the text in memory, yet its message names the unit's .ir file.
  EXPECT_NE(out.find(bad->ir_path + ":2:"), std::string::npos) << out;
  // The list is emptied with the error, warnings included.
  EXPECT_TRUE(b->messages.empty());
  // The good unit was still compiled; the bad one is tried again next time.
  EXPECT_TRUE(is_file(good->o_path));
  EXPECT_FALSE(path_exists(bad->prev_ir_path));
  EXPECT_TRUE(file_equals(bad->ir_path, ir[bad]));
}

TEST_F(StageFixture, TwoFailingUnitsReportOnlyTheFirstRecorded) {
  Unit* x = add_unit(b.get(), dir, "x");
  Unit* y = add_unit(b.get(), dir, "y");
  ir[x] = "this is not IR\n";
  ir[y] = "neither is this\n";
  std::string out = run_failing();
  size_t count = 0;
  for (size_t at = out.find("LLVM parse error: "); at != std::string::npos;
       at = out.find("LLVM parse error: ", at + 1)) {
    count++;
  }
  EXPECT_EQ(count, 1u) << out;
}

TEST_F(StageFixture, IrModeWritesOutputAndStartsNoThread) {
  b->mode = BUILD_IR;
  b->out_path = path_join(dir, "program.ir");
  Unit* all = add_unit(b.get(), dir, "all");
  ir[all] = hello_ir("ir only");
  // Even an unchanged -prev.ir does not skip the output.
  ASSERT_TRUE(write_file(all->prev_ir_path, ir[all]));
  EXPECT_EQ(run(), 0u);
  EXPECT_TRUE(file_equals(b->out_path, ir[all]));
  EXPECT_TRUE(file_equals(all->ir_path, ir[all]));
  EXPECT_TRUE(file_equals(all->prev_ir_path, ir[all]));
  EXPECT_FALSE(path_exists(all->o_path));

  // Changed IR: the stamp still names the IR of the existing object, not the new
  // text, or the next build would link that object for the new source.
  ir[all] = hello_ir("changed");
  EXPECT_EQ(run(), 0u);
  EXPECT_TRUE(file_equals(b->out_path, ir[all]));
  EXPECT_TRUE(file_equals(all->prev_ir_path, hello_ir("ir only")));
}

TEST_F(StageFixture, IrModeParseErrorPrintsThePlainLineAndExits) {
  b->mode = BUILD_IR;
  b->out_path = path_join(dir, "program.ir");
  Unit* all = add_unit(b.get(), dir, "all");
  ir[all] = "define i32 @f() {\n  ret i32 %nothing\n}\n";
  std::string out = run_failing();
  EXPECT_EQ(out.rfind("LLVM parse error: ", 0), 0u) << out;
  EXPECT_EQ(out.find("# Build error"), std::string::npos) << out;
  EXPECT_FALSE(path_exists(b->out_path));
}

TEST_F(StageFixture, UnwritableIrPathIsABuildErrorAfterRunningThreadsFinish) {
  Unit* a = add_unit(b.get(), dir, "a");
  Unit* broken = add_unit(b.get(), path_join(dir, "missing-dir"), "b");
  ir[a] = hello_ir("a");
  ir[broken] = hello_ir("b");
  std::string out = run_failing();
  EXPECT_NE(out.find("Failed to write IR to file: " + broken->ir_path), std::string::npos) << out;
  // The thread of the first unit was joined before the error left the stage.
  EXPECT_TRUE(is_file(a->o_path));
}

}  // namespace
}  // namespace tesk
