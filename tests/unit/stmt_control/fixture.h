#pragma once
// Control-flow statements over the statement tests' build, plus a runtime namespace
// "coro" with the `throw` function that cothrow calls. `body` reads one function's body
// and `cdump` prints its statements with the branches and loop bodies they hold.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../stmt_core/fixture.h"
#include "ir/records.h"
#include "model/class_sizes.h"
#include "model/signatures.h"
#include "source/units.h"
#include "stmt/control.h"

namespace tesk::ctltest {

using stmttest::Body;
using typetest::Outcome;
using typetest::run;

struct World : stmttest::World {
  explicit World(std::initializer_list<std::string> main_decls) : stmttest::World(main_decls) {
    Namespace* coro = new_namespace(b->tesk_package, "coro", typetest::kRuntimeDir + "/coro", unit);
    b->tesk_package->namespaces.set("coro", coro);
    file("fn throw(code: uint, msg: String) {\n}\n", coro);
    size_t before = unit->funcs.size();
    scan_queue();
    Outcome o = run([&] {
      for (size_t i = before; i < unit->funcs.size(); i++) read_function_types(unit->funcs[i]);
      // As after Stage 2.3 of a build: generic instances made by the signatures get
      // their sizes (and a slice its length and data).
      b->sizes_done = 1;
      determine_class_sizes(b);
    });
    EXPECT_FALSE(o.failed) << o.out;
  }
};

inline std::string cdump(const std::vector<AstNode*>& list);

inline std::string vd(Value* v);

inline std::string vds(const std::vector<Value*>& list) {
  std::string r;
  for (Value* item : list) r += (r.empty() ? "" : ", ") + vd(item);
  return r;
}

inline std::string scope_text(Scope* s) { return s ? "{" + cdump(s->ast) + "}" : "-"; }

// A short text of a value and its Type (after ":").
inline std::string vd(Value* v) {
  if (!v) return "(none)";
  std::string r;
  switch (v->kind) {
    case VAL_INT: r = std::to_string(i64(v->number)); break;
    case VAL_BOOL: r = v->flag ? "true" : "false"; break;
    case VAL_NULL: r = "null"; break;
    case VAL_STRING: r = "\"" + (v->string_const ? v->string_const->text : std::string("?")) + "\""; break;
    case VAL_DECL:
      r = v->decl->name.empty() ? "_" : v->decl->name;
      if (v->pre_value) r += "[" + vd(v->pre_value) + "]";
      break;
    case VAL_PROP: r = vd(v->op1) + "." + v->property->name; break;
    case VAL_GROUP: r = "(" + vds(v->values) + ")"; break;
    case VAL_MATH: r = "math" + std::to_string(v->number) + "(" + vd(v->op1) + ", " + vd(v->op2) + ")"; break;
    case VAL_COMPARE: r = "cmp" + std::to_string(v->number) + "(" + vd(v->op1) + ", " + vd(v->op2) + ")"; break;
    case VAL_NOT: r = "not(" + vd(v->op1) + ")"; break;
    case VAL_RETURN_VALUE: r = "item" + std::to_string(v->number) + "(" + vd(v->op1) + ")"; break;
    case VAL_CALL: r = "call " + (v->op1 && v->op1->func ? v->op1->func->name : std::string("?")) + "(" + vds(v->values) + ")"; break;
    case VAL_CAST: r = "cast(" + vd(v->op1) + ")"; break;
    case VAL_PTRV: r = "ptrv(" + vd(v->op1) + ", " + vd(v->op2) + ")"; break;
    case VAL_BUFFER_VALUE: r = "buf(" + vd(v->op1) + ")"; break;
    case VAL_COPY: r = "copy(" + (v->pre_value ? vd(v->pre_value) + " then " : std::string()) + vd(v->op1) + ")"; break;
    case VAL_COND: r = "cond(" + vd(v->op1) + ", " + vd(v->op2) + ")"; break;
    case VAL_THIS_OR_THAT: r = "either(" + vd(v->op1) + ", " + vd(v->op2) + ", " + vd(v->op3) + ")"; break;
    case VAL_INLINE_SCOPE: r = "inline" + scope_text(v->scope); break;
    default: r = "kind" + std::to_string(v->kind); break;
  }
  return r + ":" + (v->type ? v->type->to_text() : "?");
}

inline std::string nd(AstNode* n) {
  switch (n->kind) {
    case AST_VALUE: return "value " + vd(n->value);
    case AST_DECLARE: return "declare " + (n->decl->name.empty() ? "_" : n->decl->name) + " = " + vd(n->value);
    case AST_RETURN: return n->value ? "return " + vd(n->value) : "return";
    case AST_ASSIGN: return "assign " + vd(n->value) + " = " + vd(n->value2);
    case AST_COMMENT: return "// " + n->text;
    case AST_SCOPE: return "scope" + scope_text(n->scope);
    case AST_IF: return "if " + vd(n->value) + " " + scope_text(n->scope) + " else " + scope_text(n->else_scope);
    case AST_WHILE: return "while " + vd(n->value) + " " + scope_text(n->scope);
    case AST_EACH: return "each " + scope_text(n->scope);
    case AST_UNREACHABLE: return "unreachable";
    case AST_BREAK: return "break";
    case AST_CONTINUE: return "continue";
    default: return "ast" + std::to_string(n->kind);
  }
}

inline std::string cdump(const std::vector<AstNode*>& list) {
  std::string r;
  for (AstNode* n : list) r += (r.empty() ? "" : "; ") + nd(n);
  return r;
}

// The implicit return of a void function, left out of the texts below.
inline const char* kVoidEnd = "; value ():void; scope{}; return ():void";

// The body of function "f" of the declarations (without a void function's implicit
// return), or "error: " + the first reported message.
inline std::string body_of(const std::string& decls) {
  World w({decls});
  Body r = w.read_body("f");
  if (r.out.failed) return "error: " + r.out.error;
  std::string got = cdump(r.scope()->ast);
  std::string tail = kVoidEnd;
  if (got.size() >= tail.size() && got.compare(got.size() - tail.size(), tail.size(), tail) == 0)
    got.resize(got.size() - tail.size());
  return got;
}

struct Case {
  const char* decls;  // the function "f" and whatever it needs
  const char* want;   // cdump of f's body, or "error: " + message
};

}  // namespace tesk::ctltest
