#pragma once
// Access values over the class tests' build: the runtime package read from its fixture
// by the real loaders, main declarations from literal texts, class bodies, sizes and
// signatures read by the real stages, and expressions read inside the body of a
// function `body` of the main namespace (its AST scope is the reading scope).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../classes/body_world.h"
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

struct World : classtest::BodyWorld {
  // The texts are main-namespace files; each must declare what the tests name. A
  // function `body` is added.
  explicit World(std::initializer_list<std::string> main_decls, const std::string& core_extra = "")
      : classtest::BodyWorld(main_decls) {
    b->generated_unit = unit;
    Package* tesk = b->tesk_package;
    file("fn body() {\n}\n");
    file("class Pool {\n    fn get() ptr {\n    }\n}\n", gc_ns);
    file("class Closure {\n  outer_func: ptr\n}\n" + core_extra, tesk->namespaces["core"]);
    scan_queue();
    finish(true, true);
    EXPECT_EQ(setup.error, "") << setup.out;
  }
};

using classtest::Got;

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
