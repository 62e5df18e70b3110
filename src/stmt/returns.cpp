// Returns from functions and value scopes, and the exit sequence every return and
// throw goes through.
#include <string>
#include <vector>

#include "driver/build.h"
#include "driver/errors.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "lower/generated.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "stmt/statements.h"

namespace tesk {

namespace {

bool returns_nothing(Type* t) { return !t || kind_in(t->kind, KINDS_NO_VALUE); }

// Zero values of the Types a return Type stands for (none for void, undefined, none).
std::vector<Value*> default_results(Type* t) {
  std::vector<Type*> types;
  if (t && t->kind == TYPE_MULTI && t->items)
    types = *t->items;
  else if (!returns_nothing(t))
    types.push_back(t);
  std::vector<Value*> out;
  for (Type* item : types)
    if (Value* v = value_default(item)) out.push_back(v);
  return out;
}

AstNode* append_kind(Scope* scope, u64 kind) {
  AstNode* n = scope->build->make_func_lived<AstNode>();
  n->kind = kind;
  scope->ast.push_back(n);
  return n;
}

std::string incompatible(Type* have, Type* want) {
  return "Incompatible types. Passing a '" + have->to_text() + "' value to a '" + want->to_text() + "' type";
}

}  // namespace

void read_return(Parser* p, Scope* scope) {
  Scope* owner = scope;
  while (owner && owner->kind != SCOPE_FUNCTION && owner->kind != SCOPE_VALUE) owner = owner->parent;
  if (!owner) parse_error(p, "Unexpected 'return' statement");
  if (owner->kind == SCOPE_VALUE) {
    read_vscope_return(p, scope, owner);
    return;
  }
  ParseContext* ctx = p->context;
  Func* func = ctx ? ctx->func : nullptr;
  if (!func) parse_error(p, "Missing function object in parser (bug)");

  Type* rt = func->return_type;
  bool no_value = returns_nothing(rt) || (rt->kind == TYPE_MULTI && rt->items && rt->items->empty());
  if (no_value) {
    Type* full = func->ir_return_type ? func->ir_return_type : rt;
    append_return(func, scope, value_group(func->build, default_results(full), 0));
    return;
  }

  Type* saved_hint = p->type_hint;
  p->type_hint = rt;
  Value* v = read_value(p, scope, PRIO_ALL, 0);
  v = convert_value(v, ctx, scope, rt);
  p->type_hint = saved_hint;
  check_return_values(ctx, func, scope, v);
}

void check_return_values(ParseContext* ctx, Func* func, Scope* scope, Value* v) {
  Type* rt = func->return_type;
  if (!rt->compat(v->type, 0)) error_at(ctx, incompatible(v->type, rt));
  if (!func->can_error) {
    append_return(func, scope, v);
    return;
  }
  Build* b = func->build;
  std::vector<Value*> results;
  if (!v->items.empty()) {
    results = v->items;
  } else if (v->type->kind == TYPE_MULTI && v->type->items) {
    const std::vector<Type*>& types = *v->type->items;
    for (size_t i = 0; i < types.size(); i++) results.push_back(value_return_value(v, i, types[i]));
  } else {
    results.push_back(v);
  }
  results.push_back(value_int(0, runtime_class_type(b, "type", "u32")));
  results.push_back(value_null(runtime_class_type(b, "type", "String")));
  append_return(func, scope, value_group(b, results, 0));
}

void append_return(Func* func, Scope* scope, Value* v) {
  if (v) append_value_statement(scope, v);
  if (func->is_test) submit_test_entry(func, scope);
  if (!func->ast) build_error(func->build, "Missing function AST object (bug)");
  append_kind(scope, AST_SCOPE)->scope = func->ast->epilogue;
  append_kind(scope, AST_RETURN)->value = v;
  scope->did_exit = 1;
}

void append_throw(ParseContext* ctx, Scope* scope, Value* code, Value* msg) {
  Func* func = context_get_func(ctx);
  std::vector<Value*> results = default_results(func->return_type);
  results.push_back(code);
  results.push_back(msg);
  append_return(func, scope, value_group(func->build, results, 0));
}

void read_vscope_return(Parser* p, Scope* scope, Scope* vscope) {
  Value* v = read_value(p, scope, PRIO_ALL, 0);
  if (!vscope->vscope_type) {
    vscope->vscope_type = v->type;
  } else if (!vscope->vscope_type->compat(v->type, 0)) {
    error_at(p->context, incompatible(v->type, vscope->vscope_type));
  }
  vscope->vscope_values.push_back(v);
  append_value_statement(scope, v);
  append_kind(scope, AST_VSCOPE_RETURN);
  scope->did_exit = 1;
}

}  // namespace tesk
