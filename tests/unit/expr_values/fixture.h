#pragma once
// Values over a small program: the class tests' build (runtime fixture read by the real
// loaders, Stage 1, a gc namespace with GcPtr) with the number types the balancing
// needs, then Stage 2.2 to 2.4 over the main declarations. `probe` gives a parse
// context and body scope of a function whose arguments are the locals that value
// texts name.
#include <gtest/gtest.h>

#include <string>

#include "../classes/fixture.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "model/signatures.h"
#include "model/types.h"
#include "source/parser.h"

namespace tesk::valtest {

using typetest::Outcome;
using typetest::run;

inline const char* kNumberTypes =
    "integer i8 signed 1 {}\n"
    "integer i16 signed 2 {}\n"
    "integer i64 signed 8 {}\n"
    "integer u64 unsigned 8 {}\n"
    "float f32 4 {}\n";

// A String that can be concatenated.
inline const char* kStringAdd =
    "extend String {\n"
    "    fn concat(other: String) String $add {\n"
    "    }\n"
    "}\n";

struct World : classtest::World {
  Func* func = nullptr;
  FuncAst* ast = nullptr;
  Scope* body = nullptr;
  ParseContext* ctx = nullptr;
  Outcome setup;

  // probe_args: the argument list of the probe function, without parentheses.
  explicit World(std::initializer_list<std::string> main_decls, const std::string& probe_args = "")
      : classtest::World(main_decls) {
    file(kNumberTypes, b->tesk_package->namespaces["type"]);
    file("fn probe(" + probe_args + ") {\n}\n");
    file(kStringAdd);
    scan_queue();
    setup = run([this] {
      for (size_t i = 0; i < b->extends.size(); i++) {
        Chunk* c = b->extends[i];
        read_extend(b, c);
      }
      read_all_class_bodies(b);
      determine_class_sizes(b);
      for (Unit* u : b->units)
        for (size_t i = 0; i < u->funcs.size(); i++) read_function_types(u->funcs[i]);
      for (Global* g : b->globals) read_global_type(g);
      func = (*main_ns->scope->identifiers.find("probe"))->func;
      ast = func->init_scope();
      body = ast->scope;
      ctx = b->make<ParseContext>();
      ctx->build = b;
      ctx->unit = func->unit;
      ctx->func = func;
    });
    EXPECT_FALSE(setup.failed) << setup.out;
  }

  Type* core(std::string_view n) { return core_type(b, n); }
  // The Type of a main-namespace class (a pointer for classes and structs).
  Type* class_type(std::string_view n) { return must_cls(n)->get_type(); }
  Decl* local(std::string_view n) { return (*body->identifiers.find(n))->decl; }
  Value* decl_value(std::string_view n) { return value_decl(local(n)); }
  // A function of a main-namespace class, or else of a class of the runtime "type".
  Func* method(std::string_view cls_name, std::string_view fn_name) {
    Class* c = cls(cls_name);
    if (!c) c = runtime_class(b, "type", cls_name);
    Func** f = c->funcs.find(fn_name);
    return f ? *f : nullptr;
  }

  // A parser over the text, in the probe's context and with its flags clear.
  Parser* parser(const std::string& text) {
    SourceFile* f = func->file;
    Parser* p = new_parser(new_chunk(b, f, b->arena.save(text)), nullptr);
    p->context->unit = func->unit;
    p->context->func = func;
    return p;
  }
  // A context whose parser stands at the start of a line, for errors reported there.
  ParseContext* parse_context(u8 in_loop = 0) {
    Parser* p = parser("x\n");
    p->in_loop = in_loop;
    return p->context;
  }

  // One value expression read by the value reader in the probe's body scope.
  Value* read(const std::string& text, Outcome* out = nullptr) {
    Value* v = nullptr;
    Parser* p = parser(text + "\n");
    Outcome o = run([&] { v = read_value(p, body, PRIO_ALL, 0); });
    if (out) *out = o;
    else
      EXPECT_FALSE(o.failed) << text << ": " << o.out;
    return v;
  }
};

// "error: " + message of a failing call, else "ok".
template <typename F>
std::string error_of(F&& f) {
  Outcome o = run(f);
  return o.failed ? "error: " + o.error : "ok";
}

inline std::string text(Type* t) { return t ? t->to_text() : "(none)"; }

}  // namespace tesk::valtest
