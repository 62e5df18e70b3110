#pragma once
// An in-memory build for Stage 1: the main package with namespaces "main" and "util",
// a runtime package "tesk" (registered at the library directory, so `use tesk:...`
// finds it without reading the disk) with namespace "io", and source files made from
// literal texts. Errors are printed and raised, as in watch mode.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "driver/build.h"
#include "driver/errors.h"
#include "model/funcs.h"
#include "model/records.h"
#include "model/scope.h"
#include "source/parser.h"
#include "source/records.h"
#include "source/stage1.h"
#include "util/errors.h"
#include "util/fs.h"
#include "../types/fixture.h"

namespace tesk::s1test {

// Output capture is the same as in the type-reader tests.
using typetest::Outcome;
using typetest::run;

struct World {
  std::unique_ptr<Build> owner = std::make_unique<Build>();
  Build* b = owner.get();
  Unit* unit = nullptr;
  Package* main_pkg = nullptr;
  Package* tesk = nullptr;
  Namespace* main_ns = nullptr;
  Namespace* util_ns = nullptr;
  Namespace* io_ns = nullptr;
  int file_counter = 0;

  Package* add_package(const std::string& name, const std::string& dir) {
    Package* p = b->make<Package>();
    p->build = b;
    p->name = name;
    p->dir = dir;
    b->packages.set(dir, p);
    return p;
  }

  Namespace* add_ns(Package* pkg, const std::string& name) {
    Namespace* ns = b->make<Namespace>();
    ns->package = pkg;
    ns->build = b;
    ns->name = name;
    ns->dir = pkg->dir + "/" + name;
    ns->scope = make_scope(SCOPE_NAMESPACE, b, nullptr);
    ns->unit = unit;
    pkg->namespaces.set(name, ns);
    return ns;
  }

  World() {
    b->watch_mode = 1;
    b->ptr_size = 8;
    b->target.os = "linux";
    b->target.arch = "x64";
    b->defines.set("OS", "linux");
    b->defines.set("ARCH", "x64");
    b->defines.set("GC_DEBUG", "0");
    unit = b->make<Unit>();
    unit->build = b;
    unit->name = "main";
    b->units.push_back(unit);
    main_pkg = add_package("main", "/proj");
    main_ns = add_ns(main_pkg, "main");
    b->main_namespace = main_ns;
    util_ns = add_ns(main_pkg, "util");
    tesk = add_package("tesk", compiler_lib_dir());
    b->tesk_package = tesk;
    io_ns = add_ns(tesk, "io");
  }

  // A loaded source file with the text as its content, queued for Stage 1.
  SourceFile* file(const std::string& text, Namespace* ns = nullptr, std::string path = "") {
    if (!ns) ns = main_ns;
    if (path.empty()) path = ns->dir + "/f" + std::to_string(file_counter++) + ".tesk";
    SourceFile* f = b->make<SourceFile>();
    f->ns = ns;
    f->build = b;
    f->unit = ns->unit;
    f->path = path;
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

  // Scans a new file of the main namespace with the text.
  Outcome scan(const std::string& text, Namespace* ns = nullptr) {
    SourceFile* f = file(text, ns);
    return run([f] { stage_1_file(f); });
  }

  Identifier* name_in(Namespace* ns, std::string_view name) {
    Identifier** id = ns->scope->identifiers.find(name);
    return id ? *id : nullptr;
  }
  Identifier* name(std::string_view n) { return name_in(main_ns, n); }
};

}  // namespace tesk::s1test
