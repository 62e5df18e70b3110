// The linker command of every target, from a Linux and from a Windows host, and the
// rules for link directories and library arguments.
#include <gtest/gtest.h>

#include "backend/linker.h"
#include "backend_fixture.h"
#include "tools/json.h"

namespace tesk {
namespace {

using namespace testing_backend;

JsonPtr parse_json(std::string_view text) {
  JsonParseResult r = json_parse(text);
  EXPECT_TRUE(r.ok()) << r.error;
  return r.value;
}

// One fixed program: a main package with link-dirs, a dependency that the linker
// ignores, the runtime package with link-dirs for linux-x64 only, two objects, one
// library of every kind and the -L / -l options.
struct GoldenInputs {
  JsonPtr main_config = parse_json(
      R"({"targets": {"linux-x64": {"link-dirs": ["a", "Frameworks"]}, "linux-arm64": {"link-dirs": ["a", "Frameworks"]},
          "macos-x64": {"link-dirs": ["a", "Frameworks"]}, "macos-arm64": {"link-dirs": ["a", "Frameworks"]},
          "win-x64": {"link-dirs": ["a", "Frameworks"]}}})");
  JsonPtr runtime_config = parse_json(R"({"targets": {"linux-x64": {"link-dirs": ["gcc"]}}})");
  LinkLibrary m{0, "m"};
  LinkLibrary z{LINK_STATIC, "z"};
  LinkLibrary foo{LINK_DYNAMIC, "foo.so"};
  LinkLibrary cocoa{LINK_FRAMEWORK, "Cocoa"};

  LinkInputs make(const std::string& host, const std::string& os, const std::string& arch) {
    LinkInputs in;
    in.target = target_of(host, os, arch);
    in.out_path = "/home/u/app out";
    in.exe_dir = host == "win" ? "C:/tesk" : "/opt/tesk";
    in.system_root = "C:\\Windows";
    in.packages = {{"/proj", 2, main_config.get()}, {"/dep", 0, nullptr}, {"/opt/tesk/lib", 1, runtime_config.get()}};
    in.cli_dirs = {"/extra"};
    in.cli_libs = {"pthread"};
    in.links = {&m, &z, &foo, &cocoa};
    in.objects = {"/cache/a.o", "/cache/b.o"};
    std::string libz = "/proj/libs/" + in.target.name + "/libz.a";
    in.exists = [libz](const std::string& p) { return p == libz; };
    return in;
  }
};

struct GoldenCase {
  const char* host;
  const char* os;
  const char* arch;
  const char* command;
};

const GoldenCase kGolden[] = {
    {"linux", "linux", "x64",
     "ld -pie -o \"/home/u/app out\" -L\"/proj/Frameworks\" -L\"/proj/a\" -L\"/proj/libs/linux-x64\" "
     "-L\"/lib64\" -L\"/usr/lib64\" -L\"/usr/local/lib64\" -L\"/usr/lib\" -L\"/usr/local/lib\" "
     "-L\"/lib/x86_64-linux-gnu\" -L\"/opt/tesk/lib/libs/linux-x64\" -L\"/opt/tesk/lib/gcc\" -L\"/extra\" "
     "--sysroot=\"/\" -m elf_x86_64 --dynamic-linker /lib64/ld-linux-x86-64.so.2 -l:Scrt1.o -l:crti.o "
     "-l:crtbeginS.o /cache/a.o /cache/b.o -l\"m\" \"/proj/libs/linux-x64/libz.a\" -l\":foo.so\" "
     "-framework \"Cocoa\" -l\"pthread\" -l:crtendS.o -l:crtn.o "},
    {"linux", "linux", "arm64",
     "ld.lld -pie -o \"/home/u/app out\" -L\"/proj/Frameworks\" -L\"/proj/a\" -L\"/proj/libs/linux-arm64\" "
     "-L\"/opt/tesk/lib/libs/linux-arm64\" -L\"/extra\" "
     "--sysroot=\"/\" -m aarch64linux --dynamic-linker /lib/ld-linux-aarch64.so.1 -l:Scrt1.o -l:crti.o "
     "-l:crtbeginS.o /cache/a.o /cache/b.o -l\"m\" \"/proj/libs/linux-arm64/libz.a\" -l\":foo.so\" "
     "-framework \"Cocoa\" -l\"pthread\" -l:crtendS.o -l:crtn.o "},
    {"linux", "macos", "x64",
     "ld64.lld -pie -o \"/home/u/app out\" -F\"/proj/Frameworks\" -L\"/proj/a\" -L\"/proj/libs/macos-x64\" "
     "-L\"/opt/tesk/lib/libs/macos-x64\" -L\"/extra\" "
     "-syslibroot \"/\" -arch x86_64 -platform_version macos 11.0 15.0 /cache/a.o /cache/b.o "
     "-l\"m\" \"/proj/libs/macos-x64/libz.a\" -framework \"Cocoa\" -l\"pthread\" "},
    {"linux", "macos", "arm64",
     "ld64.lld -pie -o \"/home/u/app out\" -F\"/proj/Frameworks\" -L\"/proj/a\" -L\"/proj/libs/macos-arm64\" "
     "-L\"/opt/tesk/lib/libs/macos-arm64\" -L\"/extra\" "
     "-syslibroot \"/\" -arch arm64 -platform_version macos 11.0 15.0 /cache/a.o /cache/b.o "
     "-l\"m\" \"/proj/libs/macos-arm64/libz.a\" -framework \"Cocoa\" -l\"pthread\" "},
    {"linux", "win", "x64",
     "lld-link /stack:8388608,65536 /out:\"/home/u/app out\" /libpath:\"/proj/Frameworks\" /libpath:\"/proj/a\" "
     "/libpath:\"/proj/libs/win-x64\" /libpath:\"/opt/tesk/lib/libs/win-x64\" /libpath:\"/extra\" "
     "/nodefaultlib /guard:ehcont /machine:x64 /cache/a.o /cache/b.o "
     "\"m.lib\" \"z.lib\" \"foo.so\" -framework \"Cocoa\" \"pthread.lib\" "},
    {"win", "linux", "x64",
     "C:/tesk/ld.lld.exe -pie -o \"/home/u/app out\" -L\"/proj/Frameworks\" -L\"/proj/a\" "
     "-L\"/proj/libs/linux-x64\" -L\"/opt/tesk/lib/libs/linux-x64\" -L\"/opt/tesk/lib/gcc\" -L\"/extra\" "
     "--sysroot=\"/\" -m elf_x86_64 --dynamic-linker /lib64/ld-linux-x86-64.so.2 -l:Scrt1.o -l:crti.o "
     "-l:crtbeginS.o /cache/a.o /cache/b.o -l\"m\" \"/proj/libs/linux-x64/libz.a\" -l\":foo.so\" "
     "-framework \"Cocoa\" -l\"pthread\" -l:crtendS.o -l:crtn.o "},
    {"win", "linux", "arm64",
     "C:/tesk/ld.lld.exe -pie -o \"/home/u/app out\" -L\"/proj/Frameworks\" -L\"/proj/a\" "
     "-L\"/proj/libs/linux-arm64\" -L\"/opt/tesk/lib/libs/linux-arm64\" -L\"/extra\" "
     "--sysroot=\"/\" -m aarch64linux --dynamic-linker /lib/ld-linux-aarch64.so.1 -l:Scrt1.o -l:crti.o "
     "-l:crtbeginS.o /cache/a.o /cache/b.o -l\"m\" \"/proj/libs/linux-arm64/libz.a\" -l\":foo.so\" "
     "-framework \"Cocoa\" -l\"pthread\" -l:crtendS.o -l:crtn.o "},
    {"win", "macos", "x64",
     "C:/tesk/ld64.lld.exe -pie -o \"/home/u/app out\" -F\"/proj/Frameworks\" -L\"/proj/a\" "
     "-L\"/proj/libs/macos-x64\" -L\"/opt/tesk/lib/libs/macos-x64\" -L\"/extra\" "
     "-syslibroot \"/\" -arch x86_64 -platform_version macos 11.0 15.0 /cache/a.o /cache/b.o "
     "-l\"m\" \"/proj/libs/macos-x64/libz.a\" -framework \"Cocoa\" -l\"pthread\" "},
    {"win", "macos", "arm64",
     "C:/tesk/ld64.lld.exe -pie -o \"/home/u/app out\" -F\"/proj/Frameworks\" -L\"/proj/a\" "
     "-L\"/proj/libs/macos-arm64\" -L\"/opt/tesk/lib/libs/macos-arm64\" -L\"/extra\" "
     "-syslibroot \"/\" -arch arm64 -platform_version macos 11.0 15.0 /cache/a.o /cache/b.o "
     "-l\"m\" \"/proj/libs/macos-arm64/libz.a\" -framework \"Cocoa\" -l\"pthread\" "},
    {"win", "win", "x64",
     "C:/tesk/lld-link.exe /stack:8388608,65536 /out:\"/home/u/app out\" /libpath:\"/proj/Frameworks\" "
     "/libpath:\"/proj/a\" /libpath:\"/proj/libs/win-x64\" /libpath:\"C:\\Windows\\System32\" "
     "/libpath:\"/opt/tesk/lib/libs/win-x64\" /libpath:\"/extra\" "
     "/nodefaultlib /guard:ehcont /machine:x64 /cache/a.o /cache/b.o "
     "\"m.lib\" \"z.lib\" \"foo.so\" -framework \"Cocoa\" \"pthread.lib\" "},
};

TEST(LinkCommand, GoldenCommandsForEveryTargetAndHost) {
  GoldenInputs g;
  for (const GoldenCase& c : kGolden) {
    SCOPED_TRACE(std::string(c.host) + " host, " + c.os + "-" + c.arch);
    LinkInputs in = g.make(c.host, c.os, c.arch);
    LinkCommand cmd = build_link_command(in);
    EXPECT_EQ(cmd.text, c.command);
  }
}

TEST(LinkCommand, ArgumentVectorKeepsEveryValueWhole) {
  GoldenInputs g;
  LinkInputs in = g.make("linux", "linux", "arm64");
  in.objects = {"/cache/my unit.o", "/cache/x;rm -rf ~.o"};
  LinkCommand cmd = build_link_command(in);
  std::vector<std::string> expected = {
      "ld.lld", "-pie", "-o", "/home/u/app out", "-L/proj/Frameworks", "-L/proj/a", "-L/proj/libs/linux-arm64",
      "-L/opt/tesk/lib/libs/linux-arm64", "-L/extra", "--sysroot=/", "-m", "aarch64linux", "--dynamic-linker",
      "/lib/ld-linux-aarch64.so.1", "-l:Scrt1.o", "-l:crti.o", "-l:crtbeginS.o", "/cache/my unit.o",
      "/cache/x;rm -rf ~.o", "-lm", "/proj/libs/linux-arm64/libz.a", "-l:foo.so", "-framework", "Cocoa",
      "-lpthread", "-l:crtendS.o", "-l:crtn.o"};
  EXPECT_EQ(cmd.argv, expected);
  // The shown text writes object paths as they stand.
  EXPECT_NE(cmd.text.find(" /cache/my unit.o /cache/x;rm -rf ~.o "), std::string::npos) << cmd.text;

  LinkInputs win = g.make("linux", "win", "x64");
  LinkCommand w = build_link_command(win);
  ASSERT_GE(w.argv.size(), 4u);
  EXPECT_EQ(w.argv[0], "lld-link");
  EXPECT_EQ(w.argv[1], "/stack:8388608,65536");
  EXPECT_EQ(w.argv[2], "/out:/home/u/app out");
  EXPECT_EQ(w.argv[3], "/libpath:/proj/Frameworks");
}

TEST(LinkCommand, MissingListAndDebugFlag) {
  GoldenInputs g;
  LinkInputs in = g.make("linux", "linux", "x64");
  LinkCommand cmd = build_link_command(in);
  EXPECT_EQ(cmd.missing, std::vector<std::string>{"foo.so"});

  LinkInputs win = g.make("win", "win", "x64");
  win.debug = true;
  LinkCommand w = build_link_command(win);
  EXPECT_EQ(w.text.rfind("C:/tesk/lld-link.exe /stack:8388608,65536 /DEBUG /out:\"/home/u/app out\" ", 0), 0u)
      << w.text;
  // /DEBUG belongs to Windows links only.
  in.debug = true;
  EXPECT_EQ(build_link_command(in).text.find("/DEBUG"), std::string::npos);
}

TEST(LinkCommand, NoLinkerForAnUnknownSystem) {
  LinkInputs in;
  in.target = target_of("linux", "beos", "x64");
  LinkCommand cmd = build_link_command(in);
  EXPECT_EQ(cmd.linker, "");
  EXPECT_EQ(cmd.text, "");
}

TEST(LinkCommand, LinkDirectoryOrder) {
  // Cross build for linux-x64 from a Windows host: no system directories, main package
  // directories inserted in front (so reversed), runtime ones appended, then -L.
  JsonPtr main_config = parse_json(R"({"targets": {"linux-x64": {"link-dirs": ["a", "b", 7]}}})");
  JsonPtr runtime_config = parse_json(R"({"targets": {"linux-x64": {"link-dirs": ["rt"]}}})");
  LinkInputs in;
  in.target = target_of("win", "linux", "x64");
  in.packages = {{"/p", 2, main_config.get()}, {"/lib", 1, runtime_config.get()}, {"/dep2", 2, nullptr}};
  in.cli_dirs = {"/l1", "/l2"};
  std::vector<std::string> expected = {"/dep2/libs/linux-x64", "/p", "/p/b", "/p/a", "/p/libs/linux-x64",
                                       "/lib/libs/linux-x64", "/lib/rt", "/l1", "/l2"};
  EXPECT_EQ(link_directories(in), expected);

  // A configuration without the target, or with a bad shape, adds no directory.
  JsonPtr odd = parse_json(R"({"targets": {"linux-x64": {"link-dirs": "notalist"}}})");
  in.packages = {{"/p", 2, odd.get()}};
  in.cli_dirs = {};
  EXPECT_EQ(link_directories(in), std::vector<std::string>{"/p/libs/linux-x64"});
}

struct LibraryCase {
  const char* os;
  const char* name;
  bool static_;
  bool file_present;  // the searched file lies in /libs
  const char* fragment;
  const char* missing;  // "" when nothing is missing
};

TEST(LinkCommand, LibraryArgumentRules) {
  const LibraryCase cases[] = {
      {"linux", "z", true, true, "\"/libs/libz.a\" ", ""},
      {"linux", "z", true, false, "-l\"z\" ", "libz.a"},
      {"linux", "m", false, false, "-l\"m\" ", ""},
      {"linux", ":m", false, false, "-l\"m\" ", ""},
      {"linux", "foo.so", false, false, "-l\":foo.so\" ", "foo.so"},
      {"linux", "foo.so", false, true, "\"/libs/foo.so\" ", ""},
      {"linux", ":foo.so", true, false, "-l\":foo.so\" ", "foo.so"},
      {"linux", "/opt/x/libq.a", true, false, "\"/opt/x/libq.a\" ", ""},
      {"linux", "sub\\q", false, false, "\"sub\\q\" ", ""},
      {"macos", "foo.so", false, false, "", "foo.so"},
      {"macos", "z", true, false, "-l\"z\" ", "libz.a"},
      {"win", "x.lib", false, false, "\"x.lib\" ", ""},
      {"win", "x", true, false, "\"x.lib\" ", ""},
  };
  for (const LibraryCase& c : cases) {
    SCOPED_TRACE(std::string(c.os) + " " + c.name + (c.static_ ? " static" : ""));
    LinkInputs in;
    in.target = target_of("linux", c.os, "x64");
    bool present = c.file_present;
    in.exists = [present](const std::string& p) { return present && p.rfind("/libs/", 0) == 0; };
    LinkCommand cmd;
    cmd.link_dirs = {"/libs"};
    add_link_library(in, &cmd, c.name, c.static_);
    EXPECT_EQ(cmd.text, c.fragment);
    std::vector<std::string> missing;
    if (*c.missing) missing.push_back(c.missing);
    EXPECT_EQ(cmd.missing, missing);
  }
}

TEST(LinkCommand, DefaultKindFollowsStaticOption) {
  LinkLibrary plain{0, "m"};
  LinkInputs in;
  in.target = target_of("linux", "linux", "arm64");
  in.links = {&plain};
  in.exists = [](const std::string&) { return false; };
  LinkCommand dynamic_cmd;
  add_link_libraries(in, &dynamic_cmd);
  EXPECT_EQ(dynamic_cmd.text, "-l\"m\" ");
  EXPECT_TRUE(dynamic_cmd.missing.empty());

  in.static_ = true;
  LinkCommand static_cmd;
  add_link_libraries(in, &static_cmd);
  EXPECT_EQ(static_cmd.text, "-l\"m\" ");
  EXPECT_EQ(static_cmd.missing, std::vector<std::string>{"libm.a"});
}

TEST(LinkCommand, InputsComeFromUsedUnitsOnly) {
  std::unique_ptr<Build> b = std::make_unique<Build>();
  b->target = target_of("linux", "linux", "arm64");
  b->out_path = "/tmp/out";
  Unit* used = add_unit(b.get(), "/cache", "used");
  Unit* unused = add_unit(b.get(), "/cache", "unused", false);
  Unit* also = add_unit(b.get(), "/cache", "also");
  auto* a = b->make<LinkLibrary>(LinkLibrary{LINK_DYNAMIC, "a"});
  auto* skipped = b->make<LinkLibrary>(LinkLibrary{LINK_DYNAMIC, "skipped"});
  auto* c = b->make<LinkLibrary>(LinkLibrary{LINK_DYNAMIC, "c"});
  // Declaration order decides, and a library shared by two units comes once.
  b->links = {c, skipped, a};
  used->links = {a, c};
  unused->links = {skipped};
  also->links = {c};
  b->cli.values["-L"] = {"/x"};
  b->cli.values["-l"] = {"q", "r"};
  LinkInputs in = link_inputs(b.get());
  EXPECT_EQ(in.objects, (std::vector<std::string>{"/cache/used.o", "/cache/also.o"}));
  ASSERT_EQ(in.links.size(), 2u);
  EXPECT_EQ(in.links[0], c);
  EXPECT_EQ(in.links[1], a);
  EXPECT_EQ(in.cli_dirs, std::vector<std::string>{"/x"});
  EXPECT_EQ(in.cli_libs, (std::vector<std::string>{"q", "r"}));
}

}  // namespace
}  // namespace tesk
