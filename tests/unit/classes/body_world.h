#pragma once
// A class-test build whose main namespace has a function `body`: the stages after
// Stage 2.2 are run, and values are read inside `body` (its AST scope is the reading
// scope).
#include <gtest/gtest.h>

#include <string>

#include "expr/value.h"
#include "fixture.h"
#include "model/funcs.h"
#include "model/scope.h"
#include "model/signatures.h"
#include "model/types.h"
#include "source/parser.h"

namespace tesk::classtest {

struct BodyWorld : World {
  Func* body = nullptr;
  Scope* scope = nullptr;
  Outcome setup;

  explicit BodyWorld(std::initializer_list<std::string> main_decls) : World(main_decls) {}

  // Sizes and signatures (and with `offsets` the offset-function checks), then the
  // scope of `body`. The files must have been scanned and, unless `bodies`, the class
  // bodies are read here too.
  void finish(bool bodies, bool offsets) {
    setup = run([this, bodies, offsets] {
      if (bodies) read_all_class_bodies(b);
      determine_class_sizes(b);
      for (Unit* u : b->units)
        for (size_t i = 0; i < u->funcs.size(); i++) read_function_types(u->funcs[i]);
      for (Global* g : b->globals) read_global_type(g);
      for (Enum* e : b->enums) read_enum_values(e);
      if (offsets)
        for (Class* c : b->classes) check_offset_functions(c);
    });
    EXPECT_FALSE(setup.failed) << setup.out;
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

// What reading a value gave: the Value, its kind and Type text, or the error.
struct Got {
  Value* v = nullptr;
  Outcome o;
  std::string text() const {
    if (o.failed) return "error: " + o.error;
    return std::to_string(v->kind) + " " + (v->type ? v->type->to_text() : std::string("-"));
  }
};

}  // namespace tesk::classtest
