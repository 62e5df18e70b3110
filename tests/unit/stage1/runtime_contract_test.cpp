// The real runtime package (lib/) through Stage 1 and Stage 2 with a minimal program,
// and every item the compiler looks up in it by name, with the shape its callers use.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "driver/build.h"
#include "fixture.h"
#include "model/class_reading.h"
#include "model/runtime.h"
#include "model/signatures.h"
#include "source/packages.h"
#include "source/stage1.h"
#include "source/units.h"

namespace tesk::s1test {
namespace {

const std::string kLibDir = std::string(TESK_SOURCE_DIR) + "/lib";

// A build of `fn main() {}` with the runtime package read from lib/, stopped after
// Stage 2.4 (a documentation build parses no bodies).
struct RuntimeWorld {
  std::unique_ptr<Build> owner = std::make_unique<Build>();
  Build* b = owner.get();
  Outcome stages;
  std::string dir;

  RuntimeWorld() { setup(); }
  ~RuntimeWorld() {
    std::error_code ec;
    if (!dir.empty()) std::filesystem::remove_all(dir, ec);
  }

  void setup() {
    b->watch_mode = 1;
    b->mode = BUILD_DOCS;
    b->ptr_size = 8;
    b->target.os = "linux";
    b->target.arch = "x64";
    b->defines.set("OS", "linux");
    b->defines.set("ARCH", "x64");
    b->defines.set("TEST", "0");
    b->defines.set("GC_DEBUG", "0");
    // Each test runs in its own process under ctest, in parallel: a shared directory
    // would let one truncate main.tesk while another reads it.
    char tmpl[] = "/tmp/tesk-contract-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    std::string main_file = dir + "/main.tesk";
    std::ofstream(main_file) << "fn main() {}\n";

    stages = run([&] {
      Unit* unit = main_unit(b);
      Package* main_pkg = new_package(b, "main");
      set_package_dir(main_pkg, dir, false);
      Namespace* main_ns = new_namespace(main_pkg, "main", dir, unit);
      main_pkg->namespaces.set("main", main_ns);
      b->main_namespace = main_ns;
      Package* tesk = new_package(b, "tesk");
      set_package_dir(tesk, kLibDir, true);
      b->tesk_package = tesk;
      for (const char* ns : {"core", "gc", "io", "type", "mem"}) EXPECT_NE(get_namespace(tesk, ns), nullptr) << ns;
      b->generated_unit = unit;
      load_template_file(main_ns, "main.tesk", unit);
      load_namespace_file(main_ns, main_file, unit);
      stage_1_all(b);
    });
  }
};

u64 arg_count(Func* f) { return f ? f->args.size() : 999; }

TEST(RuntimeContract, StagesOneAndTwoPassWithoutErrors) {
  RuntimeWorld w;
  EXPECT_FALSE(w.stages.failed) << w.stages.out;
  EXPECT_EQ(w.stages.out.find("Error"), std::string::npos) << w.stages.out;
  ASSERT_NE(w.b->main_func, nullptr);
  // `exit` keeps its flag; the C binding it ends the process with lives in `libc`,
  // bodiless and without a result.
  Func* exit_fn = runtime_func(w.b, "core", "exit");
  EXPECT_EQ(exit_fn->is_exit, 1);
  EXPECT_EQ(runtime_func(w.b, "core", "panic")->is_exit, 1);
  EXPECT_EQ(runtime_func(w.b, "libc", "_exit")->no_body, 1);
  EXPECT_EQ(runtime_func(w.b, "libc", "_exit")->return_type_chunk, nullptr);
}

TEST(RuntimeContract, ClassesAndTheirMembers) {
  RuntimeWorld w;
  ASSERT_FALSE(w.stages.failed) << w.stages.out;
  struct Row {
    const char* ns;
    const char* cls;
    std::vector<const char*> props;
  };
  const Row rows[] = {
      {"type", "String", {"bytes"}},
      {"type", "u8", {}},
      {"type", "u32", {}},
      {"type", "i32", {}},
      {"type", "int", {}},
      {"type", "uint", {}},
      {"type", "bool", {}},
      {"type", "ptr", {}},
      {"type", "f64", {}},
      {"type", "Array", {}},
      {"type", "HashMap", {}},
      {"core", "Closure", {"outer_func", "data"}},
      {"core", "TestEntry", {}},
      {"core", "TestResults", {}},
      {"coro", "Coro", {"handler", "args", "gc_args", "error_code", "error_msg"}},
      {"gc", "GcPtr", {}},
      {"gc", "Pool", {}},
      {"gc", "Lifo", {}},
  };
  for (const Row& r : rows) {
    Class* c = nullptr;
    Outcome o = run([&] { c = runtime_class(w.b, r.ns, r.cls); });
    ASSERT_FALSE(o.failed) << r.ns << ":" << r.cls << " " << o.error;
    for (const char* prop : r.props) EXPECT_NE(c->get_prop(prop), nullptr) << r.cls << "." << prop;
  }
  // String literals and interpolation read `data` as the address of the inline bytes.
  Func* data = runtime_class(w.b, "type", "String")->get_function("data");
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(runtime_class(w.b, "type", "String")->get_prop("data"), nullptr);
  // The types the coroutine texts give its members.
  Class* coro = runtime_class(w.b, "coro", "Coro");
  EXPECT_EQ(coro->get_prop("error_code")->type->class_, runtime_class(w.b, "type", "u32"));
  EXPECT_EQ(coro->get_prop("error_msg")->type->get_class(), runtime_class(w.b, "type", "String"));
  Class* gc_args = coro->get_prop("gc_args")->type->get_class();
  ASSERT_NE(gc_args, nullptr);
  for (const char* fn : {"append", "pop_first", "get"}) EXPECT_NE(gc_args->get_function(fn), nullptr) << fn;
}

TEST(RuntimeContract, FunctionsAndTheArgumentsTheirCallersPass) {
  RuntimeWorld w;
  ASSERT_FALSE(w.stages.failed) << w.stages.out;
  struct Row {
    const char* ns;
    const char* cls;  // "" for a function of the namespace
    const char* name;
    u64 args;  // with `this` for a method
  };
  const Row rows[] = {
      {"type", "String", "make_empty", 1},
      {"type", "String", "data", 1},
      {"core", "", "cli_args", 2},
      {"core", "", "panic", 1},
      {"core", "", "exit", 1},
      {"core", "TestEntry", "init", 3},
      {"core", "TestEntry", "assert_test", 5},
      {"core", "TestEntry", "assert_panic", 4},
      {"core", "TestResults", "submit_entry", 2},
      {"coro", "Coro", "new", 3},
      {"coro", "Coro", "complete", 1},
      {"coro", "", "await_last", 0},
      {"coro", "", "await_coro", 1},
      {"coro", "", "throw", 2},
      {"gc", "Pool", "get", 1},
      {"gc", "Pool", "get_vtable", 1},
      {"gc", "Pool", "init", 3},
      {"gc", "", "property_set", 3},
      {"gc", "", "property_update", 3},
      {"gc", "", "property_get", 1},
      {"gc", "", "property_remove", 2},
      {"gc", "", "share_null_check", 1},
      {"mem", "", "alloc_ob", 1},
      {"mem", "", "copy", 3},
      {"io", "", "print", 1},
      {"io", "", "println", 1},
  };
  for (const Row& r : rows) {
    Func* f = nullptr;
    Outcome o =
        run([&] { f = *r.cls ? runtime_class_func(w.b, r.ns, r.cls, r.name) : runtime_func(w.b, r.ns, r.name); });
    ASSERT_FALSE(o.failed) << r.ns << ":" << r.cls << "." << r.name << " " << o.error;
    EXPECT_EQ(f->types_read, 1) << r.name;
    EXPECT_EQ(arg_count(f), r.args) << r.ns << ":" << r.cls << "." << r.name;
  }
  // Generic functions and functions of generic classes are read per instance.
  EXPECT_EQ(runtime_func(w.b, "core", "clone_value")->is_generic, 1);
  // A map literal of Strings: the instance's "new" makes the map, "set" stores a pair.
  Type* str = runtime_class_type(w.b, "type", "String");
  Class* map = nullptr;
  Outcome o = run([&] { map = get_generic_class(w.b, runtime_class(w.b, "type", "HashMap"), {str, str}); });
  ASSERT_FALSE(o.failed) << o.out;
  Func* map_new = map->get_function("new");
  Func* map_set = map->get_function("set");
  ASSERT_NE(map_new, nullptr);
  ASSERT_NE(map_set, nullptr);
  o = run([&] {
    read_function_types(map_new);
    read_function_types(map_set);
  });
  ASSERT_FALSE(o.failed) << o.out;
  EXPECT_EQ(map_new->return_type, map->get_type());
  EXPECT_EQ(arg_count(map_set), 3u);
  EXPECT_EQ(map_set->args[1]->type, str);

  // The template passes the command line to `main` as it is.
  EXPECT_EQ(runtime_func(w.b, "core", "cli_args")->return_type, runtime_array_string_type(w.b));
  // The results the allocation code relies on.
  EXPECT_EQ(runtime_class_func(w.b, "gc", "Pool", "init")->return_type, runtime_class_type(w.b, "gc", "Pool"));
  EXPECT_EQ(runtime_func(w.b, "mem", "alloc_ob")->return_type, runtime_class_type(w.b, "type", "ptr"));
  EXPECT_EQ(runtime_class_func(w.b, "gc", "Pool", "get")->return_type, runtime_class_type(w.b, "type", "ptr"));
}

TEST(RuntimeContract, Globals) {
  RuntimeWorld w;
  ASSERT_FALSE(w.stages.failed) << w.stages.out;
  for (auto [ns, name] : {std::pair{"coro", "current_coro"}, {"coro", "gc_stack_sp"}, {"gc", "pools"}}) {
    Global* g = nullptr;
    // Copied by name: clang 14, the sanitizer build's compiler, cannot capture a binding.
    Outcome o = run([&, ns = ns, name = name] { g = runtime_global(w.b, ns, name); });
    ASSERT_FALSE(o.failed) << ns << ":" << name << " " << o.error;
    ASSERT_NE(g->type, nullptr) << name;
    EXPECT_EQ(g->type->size() % 8, 0u) << name;
  }
  // The stable stack indexes the pools by size class.
  EXPECT_EQ(runtime_global(w.b, "gc", "pools")->type->kind, TYPE_ARRAY);
}

}  // namespace
}  // namespace tesk::s1test
