// Runtime-package lookups against a small runtime package read from disk
// (fixtures/runtime) by the real loaders and Stage 1.
#include "driver/stages.h"
#include "source/packages.h"
#include "source/units.h"
#include "world.h"

namespace tesk::test {
namespace {

const std::string kFixtures = std::string(TESK_SOURCE_DIR) + "/tests/unit/model/fixtures";

// A build whose runtime package is the fixture; namespaces core, io, type and gc are
// loaded as the driver loads the required ones, "coro" is configured but not loaded.
// The main namespace (fixtures/user) declares a String of its own.
struct FixtureBuild {
  std::unique_ptr<Build> owner = std::make_unique<Build>();
  Build* b = owner.get();

  FixtureBuild() {
    b->watch_mode = 1;
    b->ptr_size = 8;
    b->single_unit = 1;
    b->target.os = "linux";
    b->target.arch = "x64";
    Unit* unit = main_unit(b);
    Package* main_pkg = new_package(b, "main");
    main_pkg->dir = kFixtures + "/user";
    Namespace* main_ns = new_namespace(main_pkg, "main", kFixtures + "/user", unit);
    main_pkg->namespaces.set("main", main_ns);
    b->main_namespace = main_ns;
    Package* tesk = new_package(b, "tesk");
    set_package_dir(tesk, kFixtures + "/runtime", true);
    b->tesk_package = tesk;
    for (const char* ns : {"core", "io", "type", "gc"}) get_namespace(tesk, ns);
    load_source_dir(main_ns, unit);
    for (size_t i = 0; i < b->stage1_queue.size(); i++) stage_1_file(b->stage1_queue[i]);
  }
};

TEST(RuntimeLookups, Found) {
  FixtureBuild f;
  Build* b = f.b;
  Class* string_class = runtime_class(b, "type", "String");
  EXPECT_EQ(string_class->file->ns->package, b->tesk_package);
  EXPECT_EQ(runtime_string_type(b), string_class->get_type());
  EXPECT_EQ(runtime_class_type(b, "type", "String"), runtime_string_type(b));
  EXPECT_EQ(runtime_u32_type(b)->kind, TYPE_INT);
  EXPECT_EQ(runtime_u32_type(b)->size(), 4u);
  EXPECT_EQ(core_type(b, "ptr")->kind, TYPE_RAW_POINTER);
  EXPECT_EQ(runtime_func(b, "core", "panic")->name, "panic");
  EXPECT_EQ(runtime_global(b, "core", "run_count")->name, "run_count");
  Func* submit = runtime_func(b, "core", "panic");
  runtime_class(b, "core", "TestResults")->funcs.set("submit_entry", submit);
  EXPECT_EQ(runtime_class_func(b, "core", "TestResults", "submit_entry"), submit);
  EXPECT_EQ(string_type(b)->to_text(), "String");
}

TEST(RuntimeLookups, UserStringDoesNotChangeTheRuntimeOne) {
  FixtureBuild f;
  Build* b = f.b;
  Identifier* user = b->main_namespace->scope->identifiers["String"];
  ASSERT_NE(user, nullptr);
  ASSERT_NE(user->class_, nullptr);
  Class* runtime = runtime_class(b, "type", "String");
  EXPECT_NE(user->class_, runtime);
  EXPECT_EQ(runtime_class_type(b, "type", "String")->get_class(), runtime);
  EXPECT_EQ(string_type(b)->get_class(), runtime);
  // A lookup from user code finds the user's class first.
  EXPECT_EQ(find_identifier(b->main_namespace->scope, nullptr, "String"), user);
}

TEST(RuntimeLookups, FailureTable) {
  struct Case {
    const char* what;
    std::function<void(Build*)> lookup;
    const char* message;
  } cases[] = {
      {"no runtime package", [](Build* b) {
         b->tesk_package = nullptr;
         runtime_class(b, "type", "String");
       },
       "Cannot find tesk package (bug)"},
      {"namespace not in the package", [](Build* b) { runtime_class(b, "net", "Socket"); },
       "Compiler bug | Missing tesk namespace: net"},
      {"configured but not loaded", [](Build* b) { runtime_class(b, "coro", "Coro"); },
       "Compiler bug | Missing tesk namespace: coro"},
      {"missing name", [](Build* b) { runtime_class(b, "type", "Array"); },
       "Compiler bug | Missing tesk identifier: Array"},
      {"use names are not searched", [](Build* b) { runtime_func(b, "io", "String"); },
       "Compiler bug | Missing tesk identifier: String"},
      {"not a function", [](Build* b) { runtime_func(b, "type", "String"); },
       "Compiler bug | Identifier is not a function"},
      {"not a class", [](Build* b) { runtime_class(b, "type", "length_of"); },
       "Compiler bug | Identifier is not a class"},
      {"not a class (type)", [](Build* b) { runtime_class_type(b, "core", "panic"); },
       "Compiler bug | Identifier is not a class"},
      {"not a class (class func)", [](Build* b) { runtime_class_func(b, "core", "run_count", "x"); },
       "Compiler bug | Identifier is not a class"},
      {"not a global", [](Build* b) { runtime_global(b, "core", "panic"); },
       "Compiler bug | Identifier is not a global variable"},
      {"missing class function", [](Build* b) { runtime_class_func(b, "gc", "Pool", "get"); },
       "Compiler bug | Missing tesk class function: get"},
      {"group functions are not found", [](Build* b) {
         Class* pool = runtime_class(b, "gc", "Pool");
         Group* g = b->make<Group>();
         g->funcs.set("init", runtime_func(b, "core", "panic"));
         pool->groups.set("setup", g);
         runtime_class_func(b, "gc", "Pool", "init");
       },
       "Compiler bug | Missing tesk class function: init"},
      {"core type", [](Build* b) { core_type(b, "Map"); }, "Compiler bug | Missing tesk identifier: Map"},
      {"number type", [](Build* b) { number_type(b, 2, false, true); }, "Compiler bug | Missing tesk identifier: i16"},
      {"error code type", [](Build* b) {
         b->tesk_package->namespaces["type"]->scope->identifiers.erase("u32");
         error_code_type(b, new_error_map(b));
       },
       "Compiler bug | Missing tesk identifier: u32"},
      {"runtime default name", [](Build* b) { find_identifier(b->main_namespace->scope, nullptr, "print"); },
       "Compiler bug | Missing tesk identifier: print"},
      {"runtime default namespace", [](Build* b) {
         b->tesk_package->namespaces.erase("core");
         find_identifier(b->main_namespace->scope, nullptr, "exit");
       },
       "Compiler bug | Missing tesk namespace: core"},
  };
  for (const Case& c : cases) {
    FixtureBuild f;
    EXPECT_EQ(build_error_message([&] { c.lookup(f.b); }), c.message) << c.what;
  }
}

// Repeated lookups are served from a cache; after each change to the package or its
// namespaces a lookup must still give what a first lookup in a fresh build gives.
TEST(RuntimeLookups, RepeatedLookupsFollowChanges) {
  FixtureBuild f;
  Build* b = f.b;
  Scope* type_scope = b->tesk_package->namespaces["type"]->scope;
  Class* string_class = runtime_class(b, "type", "String");
  for (int i = 0; i < 3; i++) EXPECT_EQ(runtime_class(b, "type", "String"), string_class);
  // The name given by a temporary buffer rather than a literal.
  std::string name = "String";
  EXPECT_EQ(runtime_class(b, "type", std::string_view(name)), string_class);
  name = "Strong";
  EXPECT_EQ(build_error_message([&] { runtime_class(b, "type", std::string_view(name)); }),
            "Compiler bug | Missing tesk identifier: Strong");

  struct Step {
    const char* what;
    std::function<void()> change;
    const char* ns;
    const char* name;
    std::function<Identifier*()> expect;  // null: the lookup fails with message
    const char* message;
  } steps[] = {
      {"an earlier entry erased shifts positions",
       [&] { type_scope->identifiers.erase("int"); }, "type", "String",
       [&] { return *type_scope->identifiers.find("String"); }, nullptr},
      {"an erased name is missing", [] {}, "type", "int", nullptr, "Compiler bug | Missing tesk identifier: int"},
      {"an overwritten name gives the new identifier",
       [&] { type_scope->identifiers.set("String", new_identifier_func(b, runtime_func(b, "core", "panic"))); },
       "type", "String", [&] { return *type_scope->identifiers.find("String"); }, nullptr},
      {"a name set to null is missing", [&] { type_scope->identifiers.set("bool", nullptr); }, "type", "bool",
       nullptr, "Compiler bug | Missing tesk identifier: bool"},
      {"an earlier namespace erased", [&] { b->tesk_package->namespaces.erase("core"); }, "io", "println",
       [&] { return *b->tesk_package->namespaces["io"]->scope->identifiers.find("println"); }, nullptr},
      {"an erased namespace is missing", [] {}, "core", "panic", nullptr,
       "Compiler bug | Missing tesk namespace: core"},
      {"the package gone", [&] { b->tesk_package = nullptr; }, "io", "println", nullptr,
       "Cannot find tesk package (bug)"},
  };
  for (const Step& st : steps) {
    // Looked up once before the change so that a stale entry would be there to hit.
    build_error_message([&] { runtime_identifier(b, st.ns, st.name); });
    testing::internal::CaptureStdout();
    st.change();
    testing::internal::GetCapturedStdout();
    for (int i = 0; i < 2; i++) {
      if (st.expect) {
        Identifier* want = st.expect();
        ASSERT_NE(want, nullptr) << st.what;
        EXPECT_EQ(runtime_identifier(b, st.ns, st.name), want) << st.what;
      } else {
        EXPECT_EQ(build_error_message([&] { runtime_identifier(b, st.ns, st.name); }), st.message) << st.what;
      }
    }
  }
}

// Two builds in turn: the second never sees the first one's runtime items.
TEST(RuntimeLookups, EachBuildGetsItsOwnItems) {
  {
    FixtureBuild f;
    runtime_class(f.b, "type", "String");
  }
  FixtureBuild g;
  Class* second = runtime_class(g.b, "type", "String");
  EXPECT_EQ(second, (*g.b->tesk_package->namespaces["type"]->scope->identifiers.find("String"))->class_);
  EXPECT_EQ(second->file->ns->package, g.b->tesk_package);
}

TEST(RuntimeLookups, DefaultsResolveIntoRuntimeNamespaces) {
  FixtureBuild f;
  Build* b = f.b;
  Scope* s = b->main_namespace->scope;
  EXPECT_EQ(find_identifier(s, nullptr, "int")->class_, runtime_class(b, "type", "int"));
  EXPECT_EQ(find_identifier(s, nullptr, "panic")->func, runtime_func(b, "core", "panic"));
  EXPECT_EQ(find_identifier(s, nullptr, "println")->func, runtime_func(b, "io", "println"));
  EXPECT_EQ(find_identifier(s, nullptr, "run_count"), nullptr);  // not a default name
}

}  // namespace
}  // namespace tesk::test
