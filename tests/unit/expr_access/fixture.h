#pragma once
// Access values over the class tests' build: the runtime package read from its fixture
// by the real loaders, main declarations from literal texts, class bodies, sizes and
// signatures read by the real stages, and expressions read inside the body of a
// function `body` of the main namespace (its AST scope is the reading scope).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../classes/fixture.h"
#include "expr/access.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "model/funcs.h"
#include "model/scope.h"
#include "model/signatures.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"

namespace tesk::accesstest {

using typetest::Outcome;
using typetest::run;

struct World : classtest::World {
  Func* body = nullptr;
  Scope* scope = nullptr;
  Outcome setup;

  // The texts are main-namespace files; each must declare what the tests name. A
  // function `body` is added.
  explicit World(std::initializer_list<std::string> main_decls, const std::string& core_extra = "")
      : classtest::World(main_decls) {
    b->generated_unit = unit;
    Package* tesk = b->tesk_package;
    file("fn body() {\n}\n");
    file("class Pool {\n    fn get() ptr {\n    }\n}\n", gc_ns);
    file("class Closure {\n  outer_func: ptr\n}\n" + core_extra, tesk->namespaces["core"]);
    scan_queue();
    setup = run([this] {
      read_all_class_bodies(b);
      determine_class_sizes(b);
      for (Unit* u : b->units)
        for (size_t i = 0; i < u->funcs.size(); i++) read_function_types(u->funcs[i]);
      for (Global* g : b->globals) read_global_type(g);
      for (Enum* e : b->enums) read_enum_values(e);
      for (Class* c : b->classes) check_offset_functions(c);
    });
    EXPECT_FALSE(setup.failed) << setup.out;
    EXPECT_EQ(setup.error, "") << setup.out;
    body = fn("body");
    body->init_scope();
    scope = body->ast->scope;
  }

  Func* fn(std::string_view n) {
    Identifier* id = name(n);
    return id ? id->func : nullptr;
  }

  // A local of the body function.
  Decl* local(const std::string& n, Type* type) {
    Decl* d = new_decl(type, false, n);
    scope->add_decl(d);
    scope->identifiers.set(n, new_identifier_decl(b, d));
    return d;
  }

  Type* type(const std::string& text) {
    Parser* p = parser(text);
    return read_type(p, scope_of(p), true, false);
  }

  // A parser over the text in a main-namespace file, in the context of `body`.
  Parser* at(const std::string& text) {
    Parser* p = parser(text);
    p->context->func = body;
    p->context->unit = body->unit;
    return p;
  }
};

// What reading an expression gave: the Value, its kind and Type text, or the error.
struct Got {
  Value* v = nullptr;
  Outcome o;
  std::string text() const {
    if (o.failed) return "error: " + o.error;
    return std::to_string(v->kind) + " " + (v->type ? v->type->to_text() : std::string("-"));
  }
};

// The first identifier of the text resolved and read as a value, then the postfix
// parts: ".", "(" and "[" written directly after it.
inline Got read_access(World& w, const std::string& text, Type* hint = nullptr) {
  Got g;
  Parser* p = w.at(text);
  p->type_hint = hint;
  g.o = run([&] {
    Identifier* id = resolve_identifier(p, w.scope, true, true);
    Value* v = value_of_identifier(p, w.scope, id);
    for (;;) {
      next_token(p, false, false, false);
      if (p->is(".")) {
        next_token(p, false, false);
        v = read_dot_access(p, w.scope, v, 0);
      } else if (p->is("(")) {
        next_token(p, false, false);
        v = read_call_on_value(p, w.scope, v, 0);
      } else if (p->is("[")) {
        next_token(p, false, false);
        v = read_index_access(p, w.scope, v);
      } else {
        break;
      }
    }
    g.v = v;
  });
  return g;
}

}  // namespace tesk::accesstest
