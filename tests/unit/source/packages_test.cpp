// Packages, tesk.json, dependencies, namespaces, units and loaded files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "driver/name_hash.h"
#include "helpers.h"
#include "model/records.h"
#include "source/packages.h"
#include "source/units.h"
#include "tools/json.h"
#include "util/fs.h"

namespace tesk {
namespace {

using testutil::catch_error;
using testutil::error_line;
using testutil::TempDir;
using testutil::watch_build;

PackageConfig* config_of(Build* b, const std::string& json, const std::string& dir) {
  PackageConfig* c = b->make<PackageConfig>();
  c->json = json_parse(json).value;
  c->dir = dir;
  c->path = dir + "/tesk.json";
  return c;
}

std::unique_ptr<Build> build_in(const TempDir& t) {
  auto b = watch_build();
  b->cache_dir = t.dir("cache");
  b->project_dir = t.path;
  return b;
}

TEST(Packages, ValidVersion) {
  struct Case {
    const char* text;
    bool valid;
  } cases[] = {{"1.2.3", true},   {"10.0.22", true}, {"1.2", false},   {"1.2.3.4", false}, {"1.a.3", false},
               {"", false},       {"1..3", false},   {".1.2", false},  {"1.2.", false},    {"-1.2.3", false}};
  for (const Case& c : cases) EXPECT_EQ(valid_version(c.text), c.valid) << c.text;
}

TEST(Packages, ResolveDependency) {
  Build b;
  PackageConfig* c = config_of(&b,
                               R"({"dependencies": {
        "up": {"src": "../sibling"},
        "empty": {"src": ""},
        "nosrc": {"version": "1.2.3"},
        "hosted": {"src": "github.com/user/repo", "version": "1.2.3"},
        "badver": {"src": "github.com/user/repo", "version": "1.2"},
        "odd": {"src": "lib/x"}}})",
                               "/p/app");
  DependencyResult r = resolve_dependency(c, "up");
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.dir, "/p/app/../sibling");
  r = resolve_dependency(c, "hosted");
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.dir, "/p/app/vendor/github.com.user.repo/1.2.3");
  EXPECT_EQ(resolve_dependency(c, "missing").error, DependencyError::notfound);
  EXPECT_EQ(resolve_dependency(c, "empty").error, DependencyError::nosrc);
  EXPECT_EQ(resolve_dependency(c, "nosrc").error, DependencyError::nosrc);
  EXPECT_EQ(resolve_dependency(c, "badver").error, DependencyError::noversion);
  r = resolve_dependency(c, "odd");
  EXPECT_EQ(r.error, DependencyError::invalidsrc);
  EXPECT_EQ(r.message,
            "Invalid depedency 'src' for 'odd'. It should start with '.' for a directory, or with 'github.com/' for a "
            "hosted package");
  PackageConfig* none = config_of(&b, "{}", "/p");
  EXPECT_EQ(resolve_dependency(none, "up").error, DependencyError::notfound);
}

TEST(Packages, LoadDependencyErrors) {
  TempDir t;
  t.file("tesk.json", R"({"dependencies": {
      "gone": {"src": "./gone"},
      "bare": {"src": "./bare"},
      "empty": {"src": ""},
      "badver": {"src": "github.com/a/b", "version": "1.2"},
      "odd": {"src": "x"},
      "broken": {"src": "./broken"}}})");
  t.dir("bare");
  t.file("broken/tesk.json", "{nope");
  struct Case {
    const char* name;
    std::string message;
  } cases[] = {
      {"gone", "Have you installed all your dependencies? Package directory not found: " + t.path + "/./gone"},
      {"bare", "Package config not found: " + t.path + "/bare/tesk.json"},
      {"broken", "Invalid json syntax: " + t.path + "/broken/tesk.json"},
      {"empty", "The package named 'empty' has no valid 'src' defined in your dependencies"},
      {"badver", "The package named 'badver' has no valid 'version' defined in your dependencies"},
      {"missing", "No package named 'missing' found in your dependencies"},
      {"odd", "Invalid depedency 'src' for 'odd'. It should start with '.' for a directory, or with 'github.com/' for "
              "a hosted package"},
  };
  for (const Case& c : cases) {
    auto b = build_in(t);
    Package* main_pkg = new_package(b.get(), "main");
    set_package_dir(main_pkg, t.path, false);
    auto caught = catch_error([&] { load_dependency(main_pkg, c.name); });
    EXPECT_TRUE(caught.build_failure) << c.name;
    EXPECT_EQ(error_line(caught.out), c.message) << c.name;
  }
  auto b = build_in(t);
  Package* plain = new_package(b.get(), "plain");
  auto caught = catch_error([&] { load_dependency(plain, "x"); });
  EXPECT_EQ(error_line(caught.out), "Cannot load package 'x', missing config file");
}

TEST(Packages, OneDirectoryIsOnePackage) {
  TempDir t;
  t.file("app/tesk.json", R"({"dependencies": {
      "a": {"src": "../dep"}, "b": {"src": "../link"}, "c": {"src": "../dep/"}}})");
  t.file("dep/tesk.json", "{}");
  ASSERT_EQ(::symlink((t.path + "/dep").c_str(), (t.path + "/link").c_str()), 0);
  auto b = build_in(t);
  Package* app = new_package(b.get(), "main");
  set_package_dir(app, t.path + "/app", false);
  Package* a = load_dependency(app, "a");
  EXPECT_EQ(a->dir, t.path + "/dep");
  EXPECT_EQ(a->name, "a");
  EXPECT_EQ(a->link_level, 0u);
  app->link_level = LINK_LEVEL_MAIN;
  Package* via_link = load_dependency(app, "b");
  Package* via_slash = load_dependency(app, "c");
  EXPECT_EQ(via_link, a);
  EXPECT_EQ(via_slash, a);
  EXPECT_EQ(a->name, "a");  // keeps its first name
  EXPECT_EQ(a->link_level, 2u);
  EXPECT_EQ(b->packages.size(), 2u);
  // A lower level never lowers it.
  Package* low = new_package(b.get(), "low");
  low->config = app->config;
  low->link_level = 1;
  EXPECT_EQ(load_dependency(low, "a"), a);
  EXPECT_EQ(a->link_level, 2u);
}

TEST(Packages, SameDirectoryTwiceIsABuildError) {
  TempDir t;
  auto b = build_in(t);
  set_package_dir(new_package(b.get(), "main"), t.path, false);
  auto caught = catch_error([&] { set_package_dir(new_package(b.get(), "x"), t.path, false); });
  EXPECT_EQ(error_line(caught.out), "Build error: There 2 packages with the same directory: " + t.path);
}

TEST(Packages, ReadJsonFile) {
  TempDir t;
  Build b;
  ConfigResult r = read_json_file(&b, t.path + "/none.json");
  EXPECT_EQ(r.config, nullptr);
  EXPECT_FALSE(r.invalid);
  r = read_json_file(&b, t.file("bad.json", "{\"a\": }"));
  EXPECT_EQ(r.config, nullptr);
  EXPECT_TRUE(r.invalid);
  r = read_json_file(&b, t.file("sub/ok.json", "{\"a\": 1}"));
  ASSERT_NE(r.config, nullptr);
  EXPECT_EQ(r.config->path, t.path + "/sub/ok.json");
  EXPECT_EQ(r.config->dir, t.path + "/sub");
}

TEST(Namespaces, GetNamespaceLoadsItsTeskFiles) {
  TempDir t;
  t.file("tesk.json", R"({"namespaces": {"util": "src/util", "empty": "", "same": "src/./util"}})");
  t.file("src/util/b.txt", "");
  t.file("src/util/c.TESK", "");
  t.file("src/util/z.tesk", "z\n");
  t.file("src/util/a.tesk", "a\n\n");
  t.file("src/util/deeper/d.tesk", "");
  auto b = build_in(t);
  b->verbose = 1;
  Package* pkg = new_package(b.get(), "main");
  set_package_dir(pkg, t.path, false);
  Namespace* ns = get_namespace(pkg, "util");
  ASSERT_NE(ns, nullptr);
  EXPECT_EQ(get_namespace(pkg, "util"), ns);
  EXPECT_EQ(ns->dir, t.path + "/src/util");
  EXPECT_EQ(ns->package, pkg);
  EXPECT_EQ(ns->scope->kind, SCOPE_NAMESPACE);
  EXPECT_EQ(*b->namespace_dirs.find(ns->dir), ns);
  ASSERT_EQ(b->stage1_queue.size(), 2u);
  EXPECT_EQ(b->stage1_queue[0]->path, t.path + "/src/util/a.tesk");
  EXPECT_EQ(b->stage1_queue[1]->path, t.path + "/src/util/z.tesk");
  EXPECT_EQ(b->loaded_files.size(), 2u);
  EXPECT_EQ(b->loc_files, 3u);
  ASSERT_EQ(b->units.size(), 1u);
  EXPECT_EQ(ns->unit, b->units[0]);
  EXPECT_EQ(ns->unit->name, "util");
  EXPECT_EQ(ns->unit->o_path, b->cache_dir + "/util_" + name_hash_text(ns->dir) + ".o");

  SourceFile* f = b->stage1_queue[0];
  EXPECT_EQ(f->ns, ns);
  EXPECT_EQ(f->unit, ns->unit);
  EXPECT_EQ(f->scope->kind, SCOPE_FILE);
  EXPECT_EQ(f->scope->parent, ns->scope);
  EXPECT_EQ(f->scope->file, f);
  EXPECT_EQ(f->chunk->content, "a\n\n");
  EXPECT_EQ(f->chunk->content.data()[3], 0);
  EXPECT_EQ(f->chunk->index, 0u);
  EXPECT_EQ(f->chunk->line, 1u);
  EXPECT_EQ(f->chunk->col, 1u);
  EXPECT_EQ(f->chunk->token_len, 0u);
  EXPECT_EQ(f->chunk->file, f);

  EXPECT_EQ(get_namespace(pkg, "nope"), nullptr);
  EXPECT_EQ(get_namespace(pkg, "empty"), nullptr);
  auto caught = catch_error([&] { get_namespace_checked(pkg, "nope", nullptr); });
  EXPECT_TRUE(caught.build_failure);
  EXPECT_EQ(error_line(caught.out), "Package 'main' has no namespace named 'nope'");
  caught = catch_error([&] { get_namespace(pkg, "same"); });
  EXPECT_EQ(error_line(caught.out), "There are 2 namespaces pointing to the same directory. Namespace: 'main:same' | "
                                    "Directory: " + t.path + "/src/util");
}

TEST(Namespaces, CheckedLookupWithAParserIsAParseError) {
  TempDir t;
  auto b = build_in(t);
  Package* pkg = new_package(b.get(), "lib");
  Parser* p = testutil::text_parser(b.get(), "use lib:x");
  auto caught = catch_error([&] { get_namespace_checked(pkg, "x", p); });
  EXPECT_TRUE(caught.parse_failure);
  EXPECT_EQ(error_line(caught.out), "Package 'lib' has no namespace named 'x'");
}

TEST(Namespaces, LoadAllNamespacesInFileOrder) {
  TempDir t;
  t.file("tesk.json", R"({"namespaces": {"zeta": "z", "alpha": "a"}})");
  t.file("z/z.tesk", "");
  t.file("a/a.tesk", "");
  auto b = build_in(t);
  Package* pkg = new_package(b.get(), "main");
  set_package_dir(pkg, t.path, false);
  load_all_namespaces(pkg);
  ASSERT_EQ(pkg->namespaces.size(), 2u);
  EXPECT_EQ(pkg->namespaces.entries()[0].first, "zeta");
  EXPECT_EQ(b->stage1_queue[0]->path, t.path + "/z/z.tesk");

  t.file("bad/tesk.json", R"({"namespaces": {"gone": ""}})");
  Package* bad = new_package(b.get(), "bad");
  set_package_dir(bad, t.path + "/bad", true);
  auto caught = catch_error([&] { load_all_namespaces(bad); });
  EXPECT_TRUE(caught.build_failure);
  EXPECT_EQ(error_line(caught.out), "Package 'bad' has no namespace named 'gone'");
}

TEST(Units, FileNamesAndSingleUnit) {
  for (int single = 0; single < 2; single++) {
    TempDir t;
    t.file("tesk.json", R"({"namespaces": {"util": "util"}})");
    t.file("util/u.tesk", "");
    auto b = build_in(t);
    b->single_unit = static_cast<u8>(single);
    Unit* m = main_unit(b.get());
    EXPECT_EQ(main_unit(b.get()), m);
    std::string base = b->cache_dir + "/main_" + name_hash_text(b->project_dir);
    EXPECT_EQ(m->name, "main");
    EXPECT_EQ(m->o_path, base + ".o");
    EXPECT_EQ(m->ir_path, base + ".ir");
    EXPECT_EQ(m->prev_ir_path, base + "-prev.ir");
    EXPECT_EQ(m->json_path, base + ".json");
    Package* pkg = new_package(b.get(), "main");
    set_package_dir(pkg, t.path, false);
    Namespace* util = get_namespace(pkg, "util");
    if (single) {
      EXPECT_EQ(util->unit, m);
      EXPECT_EQ(b->units.size(), 1u);
    } else {
      EXPECT_NE(util->unit, m);
      EXPECT_EQ(b->units.size(), 2u);
      EXPECT_EQ(util->unit->ir_path, b->cache_dir + "/util_" + name_hash_text(t.path + "/util") + ".ir");
    }
  }
  // Two namespaces of one name in different directories get different files.
  Build b;
  b.cache_dir = "/c";
  EXPECT_NE(unit_for_namespace(&b, "core", "/a/core")->o_path, unit_for_namespace(&b, "core", "/b/core")->o_path);
}

TEST(Units, ExportAndDisplayNames) {
  struct Case {
    const char* package;
    const char* ns;
    const char* name;
    const char* export_form;
    const char* display_form;
  } cases[] = {
      {"main", "main", "run", "run", "run"},
      {"main", "util", "run", "util__run", "util:run"},
      {"tesk", "core", "String", "tesk__core__String", "tesk:core:String"},
      {"lib", "main", "run", "lib__run", "lib:run"},
  };
  for (const Case& c : cases) {
    Package pkg;
    pkg.name = c.package;
    Namespace ns;
    ns.package = &pkg;
    ns.name = c.ns;
    EXPECT_EQ(export_name(&ns, c.name), c.export_form);
    EXPECT_EQ(display_name(&ns, c.name), c.display_form);
  }
}

TEST(Files, LoadedTwiceAndUnreadable) {
  TempDir t;
  std::string path = t.file("main.tesk", "fn main() {}\n");
  auto b = build_in(t);
  Package* pkg = new_package(b.get(), "main");
  Namespace* ns = new_namespace(pkg, "main", t.path, main_unit(b.get()));
  SourceFile* f = load_namespace_file(ns, path, ns->unit);
  EXPECT_EQ(*b->loaded_files.find(path), f);
  EXPECT_EQ(b->loc_files, 0u);  // counted only when verbose
  auto caught = catch_error([&] { load_namespace_file(ns, path, ns->unit); });
  EXPECT_EQ(error_line(caught.out), "Tesk file loaded twice: " + path);
  caught = catch_error([&] { load_source_file(ns, t.path + "/none.tesk", ns->unit); });
  EXPECT_EQ(error_line(caught.out), "Unable to read file: " + t.path + "/none.tesk");
  EXPECT_EQ(b->stage1_queue.size(), 1u);
}

TEST(Files, VerboseLoadingLines) {
  TempDir t;
  t.file("tesk.json", R"({"namespaces": {"util": "util"}})");
  t.file("util/u.tesk", "");
  auto b = build_in(t);
  b->verbose = 3;
  testing::internal::CaptureStdout();
  Package* pkg = new_package(b.get(), "main");
  set_package_dir(pkg, t.path, false);
  get_namespace(pkg, "util");
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "> Set package directory: " + t.path + "\n> Load package config: " + t.path +
                     "/tesk.json\n> Init namespace: util => " + t.path + "/util\n# Loading files from: " + t.path +
                     "/util\n> Loading file: " + t.path + "/util/u.tesk\n");
}

TEST(Configs, FindPackageConfigSearchesUpwards) {
  TempDir t;
  t.file("proj/tesk.json", R"({"namespaces": {"deep": "a/b", "other": "a/bc"}})");
  std::string file = t.file("proj/a/b/c/main.tesk", "");
  Build b;
  ConfigResult r = find_package_config(&b, file);
  ASSERT_NE(r.config, nullptr);
  EXPECT_EQ(r.config->dir, t.path + "/proj");
  EXPECT_EQ(namespace_for_dir(r.config, file), std::optional<std::string>("deep"));
  std::string sibling = t.file("proj/a/bc/x.tesk", "");
  EXPECT_EQ(namespace_for_dir(r.config, sibling), std::optional<std::string>("other"));
  EXPECT_EQ(namespace_for_dir(r.config, t.file("proj/top.tesk", "")), std::nullopt);

  std::string lonely = t.file("free/x.tesk", "");
  EXPECT_EQ(find_package_config(&b, lonely).config, nullptr);

  t.file("broken/tesk.json", "[");
  EXPECT_TRUE(find_package_config(&b, t.file("broken/in/x.tesk", "")).invalid);
}

}  // namespace
}  // namespace tesk
