// Real links: objects of hand-written IR linked natively for linux-x64 and across to
// linux-arm64 (run under qemu), link failures, -vv output and the lld checks.
#include <gtest/gtest.h>

#include <tuple>

#include "backend/linker.h"
#include "backend/stage_objects.h"
#include "backend_fixture.h"

namespace tesk {
namespace {

using namespace testing_backend;


// A program in two units: main calls greet, which prints through libc.
const char* kMainIr =
    "declare void @greet()\n"
    "define i32 @main() {\n"
    "  call void @greet()\n"
    "  ret i32 0\n"
    "}\n";
const char* kGreetIr =
    "@msg = private unnamed_addr constant [17 x i8] c\"hello from tesk!\\00\"\n"
    "declare i32 @puts(ptr)\n"
    "define void @greet() {\n"
    "  %r = call i32 @puts(ptr @msg)\n"
    "  ret void\n"
    "}\n";

struct LinkRun : ::testing::Test {
  ExitThrows exits;
  ScopedUnsetEnv no_term{"TERM"};
  std::string dir = make_temp_dir();
  std::unique_ptr<Build> b = std::make_unique<Build>();
  std::map<Unit*, std::string> ir;

  void setup_program(const std::string& os, const std::string& arch) {
    b->target = target_of("linux", os, arch);
    b->cache_dir = dir;
    b->out_path = path_join(dir, "app");
    add_runtime_package(b.get(), dir);
    Unit* main_unit = add_unit(b.get(), dir, "main");
    Unit* greet = add_unit(b.get(), dir, "greet");
    ir[main_unit] = kMainIr;
    ir[greet] = kGreetIr;
    auto* libc = b->make<LinkLibrary>(LinkLibrary{LINK_DYNAMIC, "c"});
    greet->links.push_back(libc);
    b->links.push_back(libc);
  }

  // Stage 3.4 and 4; returns what they printed.
  std::string build(bool expect_ok = true) {
    int code = 0;
    std::string out = capture_stdout([this] { objects_and_link(b.get(), [this](Unit* u) { return ir.at(u); }); },
                                     &code);
    EXPECT_EQ(code, expect_ok ? -1 : 1) << out;
    return out;
  }
};

TEST_F(LinkRun, NativeLinuxX64ProgramRunsAndPrints) {
  setup_program("linux", "x64");
  b->verbose = 2;
  std::string out = build();
  EXPECT_NE(out.find("# Link cmd: ld -pie -o \"" + b->out_path + "\" "), std::string::npos) << out;
  EXPECT_NE(out.find("> All libraries found\n"), std::string::npos) << out;
  EXPECT_NE(out.find("> LLVM: Convert IR -> object files: "), std::string::npos) << out;
  EXPECT_NE(out.find("> Linker: "), std::string::npos) << out;
  int code = -1;
  std::string ran = run_tool({b->out_path}, &code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ran, "hello from tesk!\n");
  std::string headers = run_tool({"llvm-readobj-15", "--file-headers", b->out_path});
  EXPECT_NE(headers.find("Type: SharedObject"), std::string::npos) << headers;  // -pie
}

TEST_F(LinkRun, ShellCharactersInPathsRunNothing) {
  // The linker gets an argument vector: an output path made to look like a second
  // command names a file and runs nothing.
  setup_program("linux", "x64");
  // A shell would run `touch` in the current directory.
  std::string marker = "tesk-pwned-" + std::to_string(::getpid());
  b->out_path = path_join(dir, "my app\"; touch " + marker + "; echo \"");
  build();
  EXPECT_FALSE(path_exists(marker));
  EXPECT_TRUE(is_file(b->out_path));
  EXPECT_EQ(run_tool({b->out_path}), "hello from tesk!\n");
}

// ---- the runtime package's Linux files ----

struct SuppliedFiles : ::testing::Test {
  std::string rt = make_temp_dir();
  std::string at(const std::string& target, const std::string& file) {
    return path_join(path_join(path_join(rt, "libs"), target), file);
  }
  std::string arch_of(const std::string& path) {
    std::string headers = run_tool({"llvm-readobj-15", "--file-headers", path});
    size_t at = headers.find("Arch: ");
    return at == std::string::npos ? headers : headers.substr(at + 6, headers.find('\n', at) - at - 6);
  }
};

TEST_F(SuppliedFiles, FreshPackageGetsThisMachinesFiles) {
  const std::tuple<const char*, const char*, bool> cases[] = {{"x64", "x86_64", false}, {"arm64", "aarch64", true}};
  for (auto [arch, machine, sysroot] : cases) {
    SCOPED_TRACE(arch);
    Target t = target_of("linux", "linux", arch);
    supply_linux_files(rt, t);
    for (const char* file : {"crtbeginS.o", "crtendS.o"}) {
      EXPECT_TRUE(is_file(at(t.name, file))) << file;
      EXPECT_EQ(arch_of(at(t.name, file)), machine) << file;
    }
    // Only a cross target needs the C library of its own.
    EXPECT_EQ(is_file(at(t.name, "sysroot/crti.o")), sysroot);
    if (sysroot) {
      EXPECT_EQ(arch_of(at(t.name, "sysroot/crti.o")), machine);
    }
  }
  EXPECT_EQ(list_dir(path_join(rt, "libs")), (std::vector<std::string>{"linux-arm64", "linux-x64"}));
}

TEST_F(SuppliedFiles, BrokenLinksAreRepointedWorkingOnesKept) {
  Target t = target_of("linux", "linux", "arm64");
  ASSERT_TRUE(make_dir(path_join(rt, "libs")) && make_dir(path_join(path_join(rt, "libs"), t.name)));
  // A GCC version this machine does not have, and a file the user put there.
  ASSERT_EQ(::symlink("/usr/lib/gcc-cross/aarch64-linux-gnu/0/crtbeginS.o", at(t.name, "crtbeginS.o").c_str()), 0);
  std::string own = path_join(rt, "own.o");
  ASSERT_TRUE(write_file(own, "mine"));
  ASSERT_EQ(::symlink(own.c_str(), at(t.name, "crtendS.o").c_str()), 0);
  supply_linux_files(rt, t);
  EXPECT_EQ(arch_of(at(t.name, "crtbeginS.o")), "aarch64");
  EXPECT_EQ(read_file(at(t.name, "crtendS.o")), "mine");
  EXPECT_EQ(list_dir(path_join(path_join(rt, "libs"), t.name)),
            (std::vector<std::string>{"crtbeginS.o", "crtendS.o", "sysroot"}));
}

TEST_F(SuppliedFiles, OtherSystemsGetNothing) {
  for (const char* os : {"macos", "win"}) supply_linux_files(rt, target_of("linux", os, "x64"));
  EXPECT_FALSE(path_exists(path_join(rt, "libs")));
}

TEST_F(LinkRun, CrossLinkedLinuxArm64ProgramRunsUnderQemu) {
  // qemu-user and the arm64 C library come from scripts/setup.sh.
  setup_program("linux", "arm64");
  build();
  std::string headers = run_tool({"llvm-readobj-15", "--file-headers", b->out_path});
  EXPECT_NE(headers.find("Format: elf64-littleaarch64"), std::string::npos) << headers;
  int code = -1;
  std::string ran = run_tool({"qemu-aarch64", "-L", "/usr/aarch64-linux-gnu", b->out_path}, &code);
  EXPECT_EQ(code, 0) << ran;
  EXPECT_EQ(ran, "hello from tesk!\n");
}

TEST_F(LinkRun, SecondBuildLinksTheFirstBuildsObjects) {
  setup_program("linux", "x64");
  build();
  ASSERT_EQ(::unlink(b->out_path.c_str()), 0);
  b->verbose = 3;
  std::string out = build();
  EXPECT_EQ(out.find("Generating object file"), std::string::npos) << out;
  EXPECT_EQ(out.find("Waiting for Thread"), std::string::npos) << out;
  EXPECT_NE(out.find("> Stage 4: Link executable\n"), std::string::npos) << out;
  EXPECT_EQ(run_tool({b->out_path}), "hello from tesk!\n");
}

TEST_F(LinkRun, IrModeLinksNothing) {
  setup_program("linux", "x64");
  b->mode = BUILD_IR;
  b->units.pop_back();  // --ir builds have one unit
  b->out_path = path_join(dir, "program.ll");
  b->verbose = 3;
  std::string out = build();
  EXPECT_EQ(out.find("Stage 4"), std::string::npos) << out;
  EXPECT_TRUE(file_equals(b->out_path, kMainIr));
  EXPECT_FALSE(path_exists(path_join(dir, "main.o")));
}

TEST_F(LinkRun, FailingLinkShowsTheCommandAndFails) {
  setup_program("linux", "x64");
  auto* missing = b->make<LinkLibrary>(LinkLibrary{LINK_DYNAMIC, "nosuchlib.so"});
  b->units[0]->links.push_back(missing);
  b->links.push_back(missing);
  b->verbose = 2;
  std::string out = build(false);
  EXPECT_NE(out.find("> Warn: Library not found: nosuchlib.so\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("All libraries found"), std::string::npos) << out;
  size_t block = out.find("-----------------------------\n# Cmd: ld -pie -o ");
  ASSERT_NE(block, std::string::npos) << out;
  EXPECT_NE(out.find("-l\":nosuchlib.so\" -l:crtendS.o -l:crtn.o \n# Exit code: 1\n# Output: ", block),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("# Build error\n-----------------------------\n> Failed to link\n"), std::string::npos) << out;
}

// ---- lld lookup ----

struct LldDirs : ::testing::Test {
  ExitThrows exits;
  ScopedUnsetEnv no_term{"TERM"};
  std::string dir = make_temp_dir();
  std::string which_dir = path_join(dir, "which-only");
  std::string lld_dir = path_join(dir, "lld");  // named like the program: only the program name is cut
  std::unique_ptr<Build> b = std::make_unique<Build>();

  void SetUp() override {
    ASSERT_TRUE(make_dir(which_dir));
    ASSERT_TRUE(make_dir(lld_dir));
    std::string which = run_tool({"sh", "-c", "command -v which | tr -d '\\n'"});
    ASSERT_EQ(::symlink(which.c_str(), path_join(which_dir, "which").c_str()), 0);
    ASSERT_EQ(::symlink("/usr/lib/llvm-15/bin/lld", path_join(lld_dir, "lld").c_str()), 0);
  }
  std::string check(const Target& t, bool expect_ok) {
    int code = 0;
    std::string out = capture_stdout([&] { check_lld(b.get(), t); }, &code);
    EXPECT_EQ(code, expect_ok ? -1 : 1) << out;
    return out;
  }
};

TEST_F(LldDirs, NoLldAsksToInstallIt) {
  ScopedEnv path("PATH", which_dir);
  std::string out = check(target_of("linux", "linux", "arm64"), false);
  EXPECT_NE(out.find("> Please install the 'lld' linker to cross compile\n"), std::string::npos) << out;
}

TEST_F(LldDirs, MissingAliasNamesTheSymlinkCommand) {
  ScopedEnv path("PATH", lld_dir + ":" + which_dir);
  std::string dir_found;
  ASSERT_TRUE(find_lld_dir("linux", &dir_found));
  EXPECT_EQ(dir_found, lld_dir);
  std::string out = check(target_of("linux", "macos", "arm64"), false);
  EXPECT_NE(out.find("\n> Run the following command to generate symlinks to lld in order to cross compile: "
                     "sudo tesk linker-symlinks\n"),
            std::string::npos)
      << out;

  ASSERT_EQ(::symlink("lld", path_join(lld_dir, "ld64.lld").c_str()), 0);
  EXPECT_EQ(check(target_of("linux", "macos", "arm64"), true), "");
}

TEST_F(LldDirs, WhichAnswersThatAreNoInstallation) {
  // A `which` that prints a fixed answer stands for broken installations.
  struct Case {
    std::string answer;
    std::string message;
  };
  std::string fake_dir = path_join(dir, "fake-which");
  ASSERT_TRUE(make_dir(fake_dir));
  const Case cases[] = {
      {"/no/such/dir/lld\n", "> Linker directory not found: /no/such/dir\n"},
      {which_dir + "/lld\n", "> Cannot find linker: " + which_dir + "/lld\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    ASSERT_TRUE(write_file(path_join(fake_dir, "which"), "#!/bin/sh\nprintf '" + c.answer + "'\n"));
    ASSERT_EQ(::chmod(path_join(fake_dir, "which").c_str(), 0755), 0);
    ScopedEnv path("PATH", fake_dir);
    std::string out = check(target_of("linux", "win", "x64"), false);
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
  }
}

}  // namespace
}  // namespace tesk
