#pragma once
// Shared helpers of the backend tests: temporary directories, hand-written IR,
// builds made without the front end, and running tools.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "driver/build.h"
#include "driver/errors.h"
#include "source/records.h"
#include "util/errors.h"
#include "util/fs.h"
#include "tools/json.h"
#include "util/process.h"

namespace tesk::testing_backend {

// A module that prints one line through libc; valid for every target.
inline std::string hello_ir(const std::string& text) {
  std::string n = std::to_string(text.size() + 1);
  return "@msg = private unnamed_addr constant [" + n + " x i8] c\"" + text +
         "\\00\"\n"
         "declare i32 @puts(ptr)\n"
         "define i32 @main() {\n"
         "  %r = call i32 @puts(ptr @msg)\n"
         "  ret i32 0\n"
         "}\n";
}

inline std::string make_temp_dir() {
  std::string tmpl = (::testing::TempDir().empty() ? std::string("/tmp/") : ::testing::TempDir()) + "tesk-backend-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back(0);
  char* d = ::mkdtemp(buf.data());
  EXPECT_NE(d, nullptr);
  return d ? std::string(d) : std::string();
}

inline Target target_of(const std::string& host_os, const std::string& os, const std::string& arch) {
  Target t;
  t.host_os = host_os;
  t.host_arch = "x64";
  t.os = os;
  t.arch = arch;
  t.name = os + "-" + arch;
  return t;
}

// A unit whose cache files live in dir under the given name.
inline Unit* add_unit(Build* b, const std::string& dir, const std::string& name, bool used = true) {
  Unit* u = b->make<Unit>();
  u->build = b;
  u->name = name;
  u->o_path = path_join(dir, name + ".o");
  u->ir_path = path_join(dir, name + ".ir");
  u->prev_ir_path = path_join(dir, name + "-prev.ir");
  u->used = used ? 1 : 0;
  b->units.push_back(u);
  return u;
}

inline std::string run_tool(const std::vector<std::string>& argv, int* code = nullptr) {
  ProcessResult r = run_process(argv, false);
  if (code) *code = r.exit_code;
  return r.output;
}

// Environment variable set for one scope.
struct ScopedEnv {
  std::string name;
  std::string old;
  bool had = false;
  ScopedEnv(const std::string& n, const std::string& value) : name(n) {
    if (const char* v = ::getenv(n.c_str())) {
      had = true;
      old = v;
    }
    ::setenv(n.c_str(), value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had)
      ::setenv(name.c_str(), old.c_str(), 1);
    else
      ::unsetenv(name.c_str());
  }
};

// Environment variable removed for one scope.
struct ScopedUnsetEnv {
  std::string name, old;
  bool had = false;
  explicit ScopedUnsetEnv(const std::string& n) : name(n) {
    if (const char* v = ::getenv(n.c_str())) {
      had = true;
      old = v;
    }
    ::unsetenv(n.c_str());
  }
  ~ScopedUnsetEnv() {
    if (had) ::setenv(name.c_str(), old.c_str(), 1);
  }
};

// Exits of the compiler become ExitRequest exceptions inside tests.
struct ExitThrows {
  ExitThrows() { set_exit_throws(true); }
  ~ExitThrows() { set_exit_throws(false); }
};

// Runs fn (under ExitThrows) and returns what it printed; *exit_code is the code of an
// exit it asked for, or -1 when it returned.
inline std::string capture_stdout(const std::function<void()>& fn, int* exit_code) {
  ::testing::internal::CaptureStdout();
  *exit_code = -1;
  try {
    fn();
  } catch (const ExitRequest& e) {
    *exit_code = e.code;
  }
  std::fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}

// The runtime package of the source tree (link level 1), which supplies the platform
// files of the Linux links.
// The runtime package as a fresh machine has it: the library's tesk.json in a
// directory of its own under dir, with no libs/ yet.
inline void add_runtime_package(Build* b, const std::string& dir) {
  std::string lib = path_join(dir, "rt");
  ASSERT_TRUE(make_dir(lib));
  auto text = read_file(path_join(path_join(TESK_SOURCE_DIR, "lib"), "tesk.json"));
  ASSERT_TRUE(text);
  ASSERT_TRUE(write_file(path_join(lib, "tesk.json"), *text));
  Package* rt = b->make<Package>();
  rt->build = b;
  rt->name = "tesk";
  rt->dir = lib;
  rt->link_level = 1;
  JsonParseResult r = json_parse(*text);
  ASSERT_TRUE(r.ok()) << r.error;
  rt->config = b->make<PackageConfig>();
  rt->config->json = r.value;
  b->packages.set(lib, rt);
  b->tesk_package = rt;
}

}  // namespace tesk::testing_backend
