#pragma once
// A build for the type reader: the runtime package read from fixtures/runtime by the
// real loaders and Stage 1, a main namespace whose declarations come from literal
// texts (with a second namespace "geo"), and parsers over type texts in a file scope
// of the main namespace that uses "geo". Errors are printed and raised (watch mode).
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "driver/build.h"
#include "driver/build_driver.h"
#include "driver/errors.h"
#include "model/records.h"
#include "model/scope.h"
#include "model/type_reading.h"
#include "model/types.h"
#include "source/packages.h"
#include "source/parser.h"
#include "source/records.h"
#include "source/stage1.h"
#include "source/units.h"
#include "util/errors.h"

namespace tesk::typetest {

inline const std::string kRuntimeDir = std::string(TESK_SOURCE_DIR) + "/tests/unit/types/fixtures/runtime";

struct Outcome {
  bool failed = false;
  std::string out;    // everything printed
  std::string error;  // the "# Error: " text of a parse report, or a build error's message
};

template <typename F>
Outcome run(F&& f) {
  Outcome o;
  testing::internal::CaptureStdout();
  try {
    f();
  } catch (const ParseFailure&) {
    o.failed = true;
  } catch (const BuildFailure&) {
    o.failed = true;
  }
  std::fflush(stdout);
  o.out = testing::internal::GetCapturedStdout();
  size_t at = o.out.find("# Error: ");
  if (at != std::string::npos) {
    size_t end = o.out.find('\n', at);
    o.error = o.out.substr(at + 9, end - at - 9);
  } else if ((at = o.out.find("# Build error\n")) != std::string::npos) {
    size_t start = o.out.find('\n', o.out.find('\n', at) + 1) + 1;
    size_t end = o.out.find('\n', start);
    o.error = o.out.substr(start, end - start);
  }
  return o;
}

// Declarations of the main namespace that the tests name.
inline const char* kMainDecls =
    "class Vec {\n}\n"
    "struct Point {\n}\n"
    "class List[T] {\n}\n"
    "class Map[K, V] {\n}\n"
    "enum Color : u8 {\n  red\n}\n"
    "enum Plain {\n  a\n}\n"
    "type Count (Num)\n"
    "alias Num for int\n"
    "global counter : int\n"
    "fn helper() {\n}\n";

struct World {
  std::unique_ptr<Build> owner = std::make_unique<Build>();
  Build* b = owner.get();
  Unit* unit = nullptr;
  Package* main_pkg = nullptr;
  Namespace* main_ns = nullptr;
  Namespace* geo_ns = nullptr;
  int file_counter = 0;

  // main_decls: the texts of the main namespace's files, scanned and their aliases
  // resolved (every `alias` before any `type`, as Stage 2.1 does).
  explicit World(std::initializer_list<std::string> main_decls = {kMainDecls}) {
    b->watch_mode = 1;
    b->ptr_size = 8;
    b->single_unit = 1;
    b->project_dir = "/proj";
    b->target.os = "linux";
    b->target.arch = "x64";
    b->defines.set("OS", "linux");
    b->defines.set("ARCH", "x64");
    b->defines.set("GC_DEBUG", "0");
    unit = main_unit(b);
    main_pkg = new_package(b, "main");
    main_pkg->dir = "/proj";
    b->packages.set("/proj", main_pkg);
    main_ns = new_namespace(main_pkg, "main", "/proj", unit);
    main_pkg->namespaces.set("main", main_ns);
    b->main_namespace = main_ns;
    geo_ns = new_namespace(main_pkg, "geo", "/proj/geo", unit);
    main_pkg->namespaces.set("geo", geo_ns);

    Package* tesk = new_package(b, "tesk");
    set_package_dir(tesk, kRuntimeDir, true);
    b->tesk_package = tesk;
    for (const char* ns : {"type", "core", "io"}) get_namespace(tesk, ns);
    scan_queue();

    file("class Shape {\n}\n", geo_ns);
    for (const std::string& text : main_decls) file(text);
    scan_queue();
    for (Alias* a : b->aliases)
      if (a->kind == ALIAS_ALIAS) alias_outcomes[a->name] = run([a] { resolve_alias(a); });
    for (Alias* a : b->aliases)
      if (a->kind == ALIAS_TYPE) alias_outcomes[a->name] = run([a] { resolve_type_alias(a); });
  }

  // What each alias task of the constructor reported, by alias name.
  std::map<std::string, Outcome> alias_outcomes;

  void scan_queue() {
    Outcome o = run([this] {
      for (size_t i = 0; i < b->stage1_queue.size(); i++) stage_1_file(b->stage1_queue[i]);
    });
    EXPECT_FALSE(o.failed) << o.out;
    b->stage1_queue.clear();
  }

  // A loaded source file with the text as its content, queued for Stage 1.
  SourceFile* file(const std::string& text, Namespace* ns = nullptr) {
    if (!ns) ns = main_ns;
    SourceFile* f = b->make<SourceFile>();
    f->ns = ns;
    f->build = b;
    f->unit = ns->unit;
    f->path = ns->dir + "/f" + std::to_string(file_counter++) + ".tesk";
    f->text = text;
    f->scope = make_scope(SCOPE_FILE, b, ns->scope);
    f->scope->file = f;
    Chunk* c = b->make<Chunk>();
    c->build = b;
    c->file = f;
    c->content = f->text;
    f->chunk = c;
    b->loaded_files.set(f->path, f);
    b->stage1_queue.push_back(f);
    return f;
  }

  // A parser over the text in a file of the main namespace that has done `use geo`.
  Parser* parser(const std::string& text) {
    SourceFile* f = file(text);
    b->stage1_queue.pop_back();
    f->scope->identifiers.set("geo", new_identifier_namespace(b, geo_ns));
    return new_parser(f->chunk, nullptr);
  }
  Scope* scope_of(Parser* p) { return p->chunk->file->scope; }

  Identifier* name(std::string_view n) {
    Identifier** id = main_ns->scope->identifiers.find(n);
    return id ? *id : nullptr;
  }
  Class* cls(std::string_view n) {
    Identifier* id = name(n);
    return id ? id->class_ : nullptr;
  }
};

// One type read from a text: its display text, or the error's message.
struct Read {
  Type* type = nullptr;
  Outcome outcome;
  std::string text() const { return outcome.failed ? "error: " + outcome.error : type->to_text(); }
};

inline Read read_text(World& w, const std::string& text, bool allow_multi = false, Type* hint = nullptr) {
  Read r;
  Parser* p = w.parser(text);
  p->type_hint = hint;
  r.outcome = run([&] { r.type = read_type(p, w.scope_of(p), true, allow_multi); });
  return r;
}

}  // namespace tesk::typetest
