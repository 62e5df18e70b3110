#pragma once
// Stage 2.4 on small sources: the type tests' build (runtime read by the real loaders,
// main declarations scanned by Stage 1) plus the runtime items that signatures and
// pools look up: core:TestResults, type:Array[T] and gc:Pool with its "get" function.
#include <gtest/gtest.h>

#include <string>

#include "../types/fixture.h"
#include "model/alloc_pools.h"
#include "model/funcs.h"
#include "model/runtime.h"
#include "model/signatures.h"
#include "source/stage1_scan.h"
#include "source/units.h"

namespace tesk::sigtest {

using typetest::Outcome;
using typetest::run;

struct SigWorld : typetest::World {
  Namespace* gc_ns = nullptr;
  Class* pool_class = nullptr;
  Func* pool_get = nullptr;

  explicit SigWorld(std::initializer_list<std::string> main_decls) : World(main_decls) {
    b->generated_unit = unit;
    Package* tesk = b->tesk_package;
    file("class TestResults {\n}\n", tesk->namespaces["core"]);
    file("class Array[T] {\n}\n", tesk->namespaces["type"]);
    gc_ns = new_namespace(tesk, "gc", typetest::kRuntimeDir + "/gc", unit);
    tesk->namespaces.set("gc", gc_ns);
    SourceFile* gc_file = file("class Pool {\n}\n", gc_ns);
    scan_queue();
    pool_class = (*gc_ns->scope->identifiers.find("Pool"))->class_;
    pool_get = class_func(pool_class, "fn get() ptr {\n}\n", gc_file);
  }

  Func* fn(std::string_view n) {
    Identifier* id = name(n);
    return id ? id->func : nullptr;
  }
  Global* global(std::string_view n) {
    Identifier* id = name(n);
    return id ? id->global : nullptr;
  }
  Enum* enum_(std::string_view n) {
    Identifier* id = name(n);
    return id ? id->enum_ : nullptr;
  }

  // A function of the class from "fn NAME(...) ... { }", made as a class body makes
  // it; "static fn" makes a static one.
  Func* class_func(Class* cls, const std::string& text, SourceFile* in = nullptr, Group* group = nullptr) {
    SourceFile* f = in;
    if (!f) {
      f = file(text);
      b->stage1_queue.pop_back();
    }
    Parser* p = new_parser(new_chunk(b, f, b->arena.save(text)), nullptr);
    p->context->unit = f->unit;
    bool is_static = false;
    next_token(p, true, true);
    if (p->is("static")) {
      is_static = true;
      next_token(p, true, true);
    }
    next_token(p, true, true);
    std::string fname = token_text(p);
    expect_token(p, "(", false, false);
    Func* func = new_func(cls->unit, f, f, ACCESS_DEFAULT, fname, nullptr, chunk_here(p), false);
    func->export_name = cls->export_name + "__" + fname;
    func->display_name = cls->display_name + "." + fname;
    func->class_ = cls;
    func->group = group;
    func->static_ = is_static;
    if (cls->scope) func->decl_scope->parent = cls->scope;
    func_scan_header(func, p);
    if (group)
      group->funcs.set(fname, func);
    else
      cls->funcs.set(fname, func);
    return func;
  }
};

// What a signature holds, in one line: "(a: int, b: String = "x") String !e => (..)".
inline std::string signature_text(Func* f) {
  std::string s = "(";
  bool first = true;
  for (FuncArg* a : f->args) {
    if (!first) s += ", ";
    first = false;
    s += a->name + ": " + (a->type ? a->type->to_text() : std::string("?"));
    if (a->default_) {
      std::string_view rest = a->default_->content.substr(a->default_->index);
      size_t end = 0;
      for (int depth = 0; end < rest.size(); end++) {
        if (rest[end] == '(') depth++;
        if (rest[end] == ')' && depth-- == 0) break;
      }
      s += " = " + std::string(rest.substr(0, end));
    }
    EXPECT_TRUE(a->decl && a->decl->is_arg && a->decl->name == a->name) << a->name;
  }
  if (f->varargs) s += first ? "@infinite" : ", @infinite";
  s += ") " + f->return_type->to_text();
  for (auto& [n, code] : *f->errors) s += " !" + n;
  if (f->can_error) s += " => " + f->ir_return_type->to_text();
  return s;
}

}  // namespace tesk::sigtest
