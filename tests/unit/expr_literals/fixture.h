#pragma once
// Literal values over the class tests' build: the runtime package read from its fixture
// by the real loaders, plus the runtime items that object creation, string interpolation,
// map literals and the GC intrinsics call (gc:Pool, gc property functions, mem:alloc_ob,
// mem:copy, type:HashMap, String.make_empty); main declarations from literal texts; class
// bodies, sizes and signatures read by the real stages; values read inside the body of a
// function `body` of the main namespace.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../classes/body_world.h"
#include "expr/access.h"
#include "expr/literals.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "model/funcs.h"
#include "model/scope.h"
#include "model/signatures.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "stmt/ast.h"

namespace tesk::literaltest {

using typetest::Outcome;
using typetest::run;

inline const char* kGcRuntime =
    "class Pool {\n"
    "    fn get() ptr {\n    }\n"
    "    fn get_vtable() ptr {\n    }\n"
    "}\n"
    "fn property_set(on: ptr, at: ptr, value: ptr) {\n}\n"
    "fn property_update(on: ptr, at: ptr, value: ptr) {\n}\n"
    "fn property_get(at: ptr) ptr {\n}\n"
    "fn property_remove(on: ptr, at: ptr) {\n}\n";

inline const char* kMemRuntime =
    "fn alloc_ob(size: uint) ptr {\n}\n"
    "fn copy(from: ptr, to: ptr, len: uint) {\n}\n";

inline const char* kTypeRuntime =
    "integer u64 unsigned 8 {}\n"
    "class HashMap[K, V] {\n"
    "    buckets: ptr\n"
    "    static fn new() HashMap[K, V] {\n    }\n"
    "    fn set(key: K, value: V) {\n    }\n"
    "}\n"
    "+ class Guard {\n"
    "    + open: int (0)\n"
    "    - secret: int (1)\n"
    "    ~ fixed: int (2)\n"
    "}\n"
    "extend String {\n"
    "    data: ptr\n"
    "    bytes: uint\n"
    "    static fn make_empty(len: uint) String {\n    }\n"
    "}\n";

struct World : classtest::BodyWorld {
  // geo_decls: a file of the namespace "geo" (which the body's file does not use).
  explicit World(std::initializer_list<std::string> main_decls, const std::string& geo_decls = "")
      : classtest::BodyWorld(main_decls) {
    b->generated_unit = unit;
    if (!geo_decls.empty()) file(geo_decls, geo_ns);
    Package* tesk = b->tesk_package;
    file("fn body() {\n}\n");
    file("class Closure {\n    outer_func: ptr\n}\n", tesk->namespaces["core"]);
    file(kGcRuntime, gc_ns);
    Namespace* mem = new_namespace(tesk, "mem", typetest::kRuntimeDir + "/mem", unit);
    tesk->namespaces.set("mem", mem);
    file(kMemRuntime, mem);
    file(kTypeRuntime, tesk->namespaces["type"]);
    scan_queue();
    Outcome bodies = read_bodies();
    EXPECT_FALSE(bodies.failed) << bodies.out;
    finish(false, false);
  }
};

using classtest::Got;

// A whole value expression read from the text, with an optional type hint and target.
inline Got read(World& w, const std::string& text, Type* hint = nullptr, Value* target = nullptr) {
  Got g;
  Parser* p = w.at(text);
  p->type_hint = hint;
  p->prefix_value = target;
  g.o = run([&] { g.v = read_value(p, w.scope, PRIO_ALL, 0); });
  return g;
}

inline std::string kinds_of(Scope* s) {
  std::string r;
  for (AstNode* n : s->ast) {
    if (!r.empty()) r += ' ';
    r += n->kind == AST_COMMENT ? "#" + n->text : std::to_string(n->kind);
  }
  return r;
}

}  // namespace tesk::literaltest
