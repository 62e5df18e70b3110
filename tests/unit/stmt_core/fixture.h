#pragma once
// Function bodies read by the statement reader over a small program: the class tests'
// build (runtime fixture read by the real loaders, Stage 1, a gc namespace) with the
// number types of the value tests, the gc functions that stores call, then Stage 2.2 to
// 2.4. `read_body` runs the statement reader over one function's body the way Stage 3.1
// does, without the GC frame; `dump` prints the statements compactly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../expr_values/fixture.h"
#include "model/signatures.h"
#include "stmt/statements.h"

namespace tesk::stmttest {

using typetest::Outcome;
using typetest::run;

inline const char* kGcFuncs =
    "fn share_null_check(value: ptr) {\n}\n"
    "fn property_update(object: ptr, slot: ptr, value: ptr) {\n}\n"
    "class Pool {\n"
    "    item_size: uint\n"
    "    static fn init(item_size: uint, props_func: ptr, free_func: ptr) Pool {\n"
    "    }\n"
    "    fn get() ptr {\n"
    "    }\n"
    "}\n";

struct Body {
  Func* func = nullptr;
  FuncAst* ast = nullptr;
  Outcome out;
  Scope* scope() const { return ast->scope; }
};

struct World : classtest::World {
  Outcome setup;

  explicit World(std::initializer_list<std::string> main_decls) : classtest::World(main_decls) {
    file(valtest::kNumberTypes, b->tesk_package->namespaces["type"]);
    file(valtest::kStringAdd);
    file(kGcFuncs, gc_ns);
    scan_queue();
    setup = run([this] {
      for (size_t i = 0; i < b->extends.size(); i++) read_extend(b, b->extends[i]);
      read_all_class_bodies(b);
      determine_class_sizes(b);
      for (Unit* u : b->units)
        for (size_t i = 0; i < u->funcs.size(); i++) read_function_types(u->funcs[i]);
      for (Global* g : b->globals) read_global_type(g);
    });
    EXPECT_FALSE(setup.failed) << setup.out;
  }

  Func* fn(std::string_view n) {
    Identifier* id = name(n);
    EXPECT_NE(id, nullptr) << n;
    return id ? id->func : nullptr;
  }

  // Stage 3.1 of the function without its GC frame.
  Body read_body(std::string_view n) {
    Body r;
    r.func = fn(n);
    r.out = run([&] {
      r.ast = r.func->init_scope();
      Parser* p = new_parser(r.func->body_chunk, nullptr);
      p->context->unit = r.func->unit;
      p->context->func = r.func;
      read_statements(p, r.ast->scope, 0);
    });
    return r;
  }
};

inline std::string vdesc(Value* v);

inline std::string vlist(const std::vector<Value*>& list) {
  std::string r;
  for (Value* item : list) r += (r.empty() ? "" : ", ") + vdesc(item);
  return r;
}

// A short text of a value: constants, locals, groups, operators, calls; the Type after ":".
inline std::string vdesc(Value* v) {
  if (!v) return "(none)";
  std::string r;
  switch (v->kind) {
    case VAL_INT: r = std::to_string(v->number); break;
    case VAL_FLOAT: r = "0.0"; break;
    case VAL_BOOL: r = v->flag ? "true" : "false"; break;
    case VAL_NULL: r = "null"; break;
    case VAL_DECL: r = v->decl->name.empty() ? "_" : v->decl->name; break;
    case VAL_GLOBAL: r = "@" + v->global->name; break;
    case VAL_PROP: r = vdesc(v->op1) + "." + v->property->name; break;
    case VAL_GROUP: r = "(" + vlist(v->values) + ")"; break;
    case VAL_MATH: r = "math" + std::to_string(v->number) + "(" + vdesc(v->op1) + ", " + vdesc(v->op2) + ")"; break;
    case VAL_RETURN_VALUE: r = "item" + std::to_string(v->number) + "(" + vdesc(v->op1) + ")"; break;
    case VAL_REFERENCE: r = "&" + vdesc(v->op1); break;
    case VAL_CALL: r = "call(" + vlist(v->values) + ")"; break;
    case VAL_FUNC: r = "fn " + v->func->name; break;
    case VAL_CAST: r = "cast(" + vdesc(v->op1) + ")"; break;
    default: r = "kind" + std::to_string(v->kind); break;
  }
  return r + ":" + (v->type ? v->type->to_text() : "?");
}

inline std::string dump(const std::vector<AstNode*>& list);

inline std::string ndesc(AstNode* n) {
  switch (n->kind) {
    case AST_VALUE: return "value " + vdesc(n->value);
    case AST_DECLARE: return "declare " + (n->decl->name.empty() ? "_" : n->decl->name) + " = " + vdesc(n->value);
    case AST_RETURN: return n->value ? "return " + vdesc(n->value) : "return";
    case AST_ASSIGN: return "assign " + vdesc(n->value) + " = " + vdesc(n->value2);
    case AST_COMMENT: return "comment " + n->text;
    case AST_SCOPE: return "scope{" + dump(n->scope->ast) + "}";
    case AST_VSCOPE_RETURN: return "vscope_return";
    case AST_UNREACHABLE: return "unreachable";
    case AST_BREAK: return "break";
    case AST_CONTINUE: return "continue";
    default: return "ast" + std::to_string(n->kind);
  }
}

inline std::string dump(const std::vector<AstNode*>& list) {
  std::string r;
  for (AstNode* n : list) r += (r.empty() ? "" : "; ") + ndesc(n);
  return r;
}

}  // namespace tesk::stmttest
