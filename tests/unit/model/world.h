#pragma once
// A small program model built in memory: the main package with namespaces "main" and
// "util", a dependency package "web" with namespace "net", and a runtime package "tesk"
// whose namespaces hold the number, bool, ptr and String classes and a few functions.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "driver/build.h"
#include "driver/errors.h"
#include "model/classes.h"
#include "model/funcs.h"
#include "model/records.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "model/types.h"
#include "source/parser.h"
#include "source/records.h"
#include "util/errors.h"

namespace tesk::test {

struct World {
  std::unique_ptr<Build> owner = std::make_unique<Build>();
  Build* b = owner.get();
  Package* main_pkg = nullptr;
  Package* tesk = nullptr;
  Package* web = nullptr;
  Namespace* main_ns = nullptr;
  Namespace* util_ns = nullptr;
  Namespace* net_ns = nullptr;
  Unit* unit = nullptr;
  SourceFile* main_file = nullptr;
  SourceFile* util_file = nullptr;
  SourceFile* net_file = nullptr;
  SourceFile* type_file = nullptr;

  Package* add_package(const std::string& name) {
    Package* p = b->make<Package>();
    p->build = b;
    p->name = name;
    p->dir = "/pkg/" + name;
    b->packages.set(p->dir, p);
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

  SourceFile* add_file(Namespace* ns, const std::string& path) {
    SourceFile* f = b->make<SourceFile>();
    f->ns = ns;
    f->build = b;
    f->unit = unit;
    f->path = path;
    f->scope = make_scope(SCOPE_FILE, b, ns->scope);
    f->scope->file = f;
    return f;
  }

  Class* runtime_number(const std::string& name, u64 kind, u64 size, bool is_signed) {
    Class* c = new_class(unit, type_file, 292, name, kind, nullptr, nullptr);
    c->size = size;
    c->signed_ = is_signed;
    type_file->ns->scope->identifiers.set(name, new_identifier_class(b, c));
    return c;
  }

  Func* runtime_function(Namespace* ns, const std::string& name) {
    SourceFile* f = add_file(ns, ns->dir + "/x.tesk");
    Func* fn = new_func(unit, f, f, 292, name, nullptr, nullptr, false);
    ns->scope->identifiers.set(name, new_identifier_func(b, fn));
    return fn;
  }

  World() {
    b->watch_mode = 1;  // errors raise instead of ending the process
    b->ptr_size = 8;
    unit = b->make<Unit>();
    unit->build = b;
    unit->name = "main";
    b->units.push_back(unit);

    main_pkg = add_package("main");
    main_ns = add_ns(main_pkg, "main");
    b->main_namespace = main_ns;
    util_ns = add_ns(main_pkg, "util");
    tesk = add_package("tesk");
    b->tesk_package = tesk;
    web = add_package("web");
    net_ns = add_ns(web, "net");

    main_file = add_file(main_ns, "/pkg/main/main.tesk");
    util_file = add_file(util_ns, "/pkg/main/util/u.tesk");
    net_file = add_file(net_ns, "/pkg/web/net/n.tesk");

    Namespace* type_ns = add_ns(tesk, "type");
    type_file = add_file(type_ns, "/pkg/tesk/type/t.tesk");
    add_ns(tesk, "core");
    add_ns(tesk, "io");
    add_ns(tesk, "gc");
    add_ns(tesk, "mem");

    for (auto [name, size, sign] : std::initializer_list<std::tuple<const char*, u64, bool>>{
             {"u8", 1, false}, {"i8", 1, true}, {"u16", 2, false}, {"i16", 2, true}, {"u32", 4, false},
             {"i32", 4, true}, {"u64", 8, false}, {"i64", 8, true}, {"uint", 8, false}, {"int", 8, true}})
      runtime_number(name, CLASS_INTEGER, size, sign);
    runtime_number("f32", CLASS_FLOAT, 4, true);
    runtime_number("f64", CLASS_FLOAT, 8, true);
    runtime_number("bool", CLASS_BOOLEAN, 1, false);
    runtime_number("ptr", CLASS_POINTER, 8, false);
    Class* s = runtime_number("String", CLASS_CLASS, 0, false);
    s->size = 24;
    runtime_function(tesk->namespaces["io"], "println");
    runtime_function(tesk->namespaces["core"], "panic");
  }

  Type* t(const char* name) { return runtime_class_type(b, "type", name); }

  Class* cls(SourceFile* f, const std::string& name, u64 kind = CLASS_CLASS) {
    Class* c = new_class(unit, f, 292, name, kind, nullptr, nullptr);
    f->ns->scope->identifiers.set(name, new_identifier_class(b, c));
    return c;
  }
  Class* cls(const std::string& name, u64 kind = CLASS_CLASS) { return cls(main_file, name, kind); }

  Func* func(const std::string& name, SourceFile* f = nullptr) {
    if (!f) f = main_file;
    return new_func(unit, f, f, 292, name, nullptr, nullptr, false);
  }

  // A parser over a text of its own, standing before the first token.
  Parser* parser(const std::string& text, SourceFile* f = nullptr) {
    std::string_view saved = b->arena.save(text);
    Chunk* c = new_chunk(b, f ? f : main_file, saved);
    return new_parser(c, nullptr);
  }
};

// Runs fn, which must end in a build error, and returns the error's message.
inline std::string build_error_message(const std::function<void()>& fn) {
  testing::internal::CaptureStdout();
  bool raised = false;
  try {
    fn();
  } catch (const BuildFailure&) {
    raised = true;
  } catch (const ExitRequest&) {
    raised = true;
  }
  std::string out = testing::internal::GetCapturedStdout();
  if (!raised) return "<no error>";
  // The box: "# Build error", a rule line, the message, a rule line.
  size_t a = out.find('\n', out.find("# Build error"));
  if (a == std::string::npos) return out;
  a = out.find('\n', a + 1);
  size_t e = out.rfind("\n---");
  if (a == std::string::npos || e == std::string::npos || e <= a) return out;
  return out.substr(a + 1, e - a - 1);
}

// Runs fn, which must end in a parse error, and returns the printed report.
inline std::string parse_error_report_of(const std::function<void()>& fn) {
  testing::internal::CaptureStdout();
  bool raised = false;
  try {
    fn();
  } catch (const ParseFailure&) {
    raised = true;
  }
  std::string out = testing::internal::GetCapturedStdout();
  return raised ? out : "<no error>";
}

// fatal errors end the process; tests see them as ExitRequest.
struct ExitThrows {
  ExitThrows() { set_exit_throws(true); }
  ~ExitThrows() { set_exit_throws(false); }
};

}  // namespace tesk::test
