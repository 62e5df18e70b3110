// The statement reader: dispatches each statement of a block to its reader, reads value
// statements and assignments, and applies the rules at the end of a block.
#include "stmt/statements.h"

#include <algorithm>

#include "driver/build.h"
#include "driver/errors.h"
#include "expr/access.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "model/scope.h"
#include "model/types.h"
#include "source/compile_macro_parse.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "stmt/control.h"

namespace tesk {

// --- nodes -----------------------------------------------------------------------------

AstNode* ast_value_node(Build* b, Value* v) {
  AstNode* n = b->make_func_lived<AstNode>();
  n->kind = AST_VALUE;
  n->value = v;
  return n;
}

AstNode* ast_declare_node(Build* b, Decl* decl, Value* v) {
  AstNode* n = b->make_func_lived<AstNode>();
  n->kind = AST_DECLARE;
  n->decl = decl;
  n->value = v;
  return n;
}

AstNode* ast_assign_node(Build* b, Value* target, Value* stored) {
  AstNode* n = b->make_func_lived<AstNode>();
  n->kind = AST_ASSIGN;
  n->value = target;
  n->value2 = stored;
  return n;
}

void append_comment(Scope* scope, std::string_view text) {
  AstNode* n = scope->build->make_func_lived<AstNode>();
  n->kind = AST_COMMENT;
  n->text = std::string(text);
  scope->ast.push_back(n);
}

void append_value_statement(Scope* scope, Value* v) { scope->ast.push_back(ast_value_node(scope->build, v)); }

namespace {

AstNode* append_kind(Scope* scope, u64 kind) {
  AstNode* n = scope->build->make_func_lived<AstNode>();
  n->kind = kind;
  scope->ast.push_back(n);
  return n;
}

// OpCode of an assignment operator; 0 for "=", -1 when the symbol assigns nothing.
i64 assign_op(std::string_view t) {
  if (t == "=") return 0;
  if (t == "+=") return OP_ADD;
  if (t == "-=") return OP_SUB;
  if (t == "*=") return OP_MUL;
  if (t == "/=") return OP_DIV;
  if (t == "%=") return OP_MOD;
  if (t == "^=") return OP_BIT_XOR;
  if (t == "&=") return OP_BIT_AND;
  if (t == "|=") return OP_BIT_OR;
  return -1;
}

// Immutability sits on the class value Type; a class reference points at it.
bool is_immutable(Type* t) {
  if (!t) return false;
  if (t->imut) return true;
  return t->kind == TYPE_POINTER && t->sub && t->sub->is_inline_class() && t->sub->imut;
}

void read_value_statement(Parser* p, Scope* scope) {
  Value* left = read_value(p, scope, PRIO_ALL, 0);
  next_token(p, true, true, false);
  i64 op = p->kind == TOK_SYMBOL ? assign_op(p->token()) : -1;
  if (op < 0) {
    append_value_statement(scope, left);
    return;
  }
  next_token(p, true, true);
  Chunk* position = statement_chunk(p);

  push_type_hint(p, left->type);
  p->prefix_value = left;
  Value* right = read_value(p, scope, PRIO_ALL, 0);
  pop_type_hint(p);

  std::vector<Value*> lefts = value_items(left);
  std::vector<Value*> rights = value_items(right);
  if (lefts.size() > 1 && right->kind == VAL_GROUP) {
    // Every right value is read before the first store, so `(a, b) = (b, a)` swaps.
    for (size_t i = 0; i < rights.size() && i < lefts.size(); i++) {
      Value* item = rights[i];
      if (item->in_place || !item->type || kind_in(item->type->kind, KINDS_NO_VALUE)) continue;
      // Nameless: never reported as unused.
      Decl* temp = new_decl(item->type, false, "");
      scope->add_decl(temp);
      scope->ast.push_back(ast_declare_node(scope->build, temp, item));
      rights[i] = value_decl(temp);
    }
  }
  for (size_t i = 0; i < lefts.size(); i++) {
    if (i >= rights.size()) parse_error(p, "Right side does not return enough values");
    Value* target = lefts[i];
    if (target->kind == VAL_PROP && target->op1 && is_immutable(target->op1->type))
      parse_error(p, "Cannot assign a value to a immutable property");
    // A read-only global or property (a slice's length, say) is written only by its own
    // package.
    require_store_access(p, target);
    if (target->kind == VAL_DECL && target->decl) target->decl->in_memory = 1;
    Value* stored = op == 0 ? rights[i] : math_op_value(p, scope, u64(op), target, rights[i]);
    store_value(p->context, scope, target, stored, 0, position);
  }
}

// The return at the end of a function body that reaches its end: default values of the
// whole IR return Type (a function that can fail returns code 0 and a null message).
void append_implicit_return(Func* func, Scope* scope) {
  Type* rt = func->ir_return_type ? func->ir_return_type : func->return_type;
  std::vector<Type*> types;
  if (rt) {
    if (rt->kind == TYPE_MULTI && rt->items)
      types = *rt->items;
    else if (!kind_in(rt->kind, KINDS_NO_VALUE))
      types.push_back(rt);
  }
  std::vector<Value*> values;
  for (Type* t : types)
    if (Value* v = value_default(t)) values.push_back(v);
  append_return(func, scope, value_group(func->build, values, 0));
}

}  // namespace

std::vector<Value*> value_items(Value* v) {
  if (!v->items.empty()) return v->items;
  if (v->type && v->type->kind == TYPE_MULTI && v->type->items) {
    std::vector<Value*> out;
    const std::vector<Type*>& types = *v->type->items;
    out.reserve(types.size());
    for (size_t i = 0; i < types.size(); i++) out.push_back(value_return_value(v, i, types[i]));
    return out;
  }
  return {v};
}

Value* read_value_forward(Parser* p, Scope* scope) { return read_value(p, scope, 0, 0); }

Value* read_sub_scope(Parser* p, Scope* scope) {
  Scope* sub = new_scope(scope, SCOPE_BLOCK);
  read_statements(p, sub, 0);
  return value_inline_scope(sub, void_type(scope->build));
}

void read_statements(Parser* p, Scope* scope, u64 single) {
  NestingGuard level(p, NEST_BLOCK);
  ParseContext* ctx = p->context;
  Func* func = ctx ? ctx->func : nullptr;
  if (!func) error_at(ctx, "Missing function context");
  FuncAst* ast = func->get_ast();
  u64 temps = ast->temps_in_use.size();
  u64 count = 0;

  u64 pending = ast->dead_temps.size();
  std::vector<Decl*> dead;
  while (true) {
    // The GC buffers of the statement read last are dead. They are cleared before the
    // next statement, so that they do not keep their objects alive until reused. Those
    // of a block's last statement are cleared after the enclosing statement (the last
    // value of an inline scope may be its result).
    dead.clear();
    if (!func->reduced) {
      for (u64 i = temps; i < ast->temps_in_use.size(); i++)
        if (ast->temps_in_use[i]->is_gc) dead.push_back(ast->temps_in_use[i]);
      for (u64 i = pending; i < ast->dead_temps.size(); i++)
        if (std::find(dead.begin(), dead.end(), ast->dead_temps[i]) == dead.end()) dead.push_back(ast->dead_temps[i]);
    }
    ast->dead_temps.resize(pending);
    ast->release_temps(temps);
    if (scope->did_exit) {
      if (!single) skip_scope(p, "}");
      if (scope->ends_unreachable) append_kind(scope, AST_UNREACHABLE);
      break;
    }
    if (single && count > 0) break;

    u64 at_index = p->index, at_line = p->line, at_col = p->col;
    u64 kind = next_token(p, true, true);
    std::string_view t = p->token();
    count++;
    if (kind == TOK_SYMBOL && t == "}") {
      ast->dead_temps.insert(ast->dead_temps.end(), dead.begin(), dead.end());
    } else {
      for (Decl* d : dead) scope->ast.push_back(ast_assign_node(scope->build, value_decl(d), value_null(d->type)));
    }

    if (kind == TOK_WORD) {
      if (t == "let") {
        read_let(p, scope);
        continue;
      }
      if (t == "return") {
        read_return(p, scope);
        continue;
      }
      if (t == "while") {
        read_while(p, scope);
        continue;
      }
      if (t == "each") {
        read_each(p, scope);
        continue;
      }
      if (t == "if") {
        read_if(p, scope);
        continue;
      }
      if (t == "throw") {
        read_throw(p, scope);
        continue;
      }
      if (t == "cothrow") {
        read_cothrow(p, scope);
        continue;
      }
      if (t == "break") {
        read_break(ctx, scope);
        continue;
      }
      if (t == "continue") {
        read_continue(p, scope);
        continue;
      }
      if (t == "ir_comment") {
        read_ir_comment(p, scope);
        continue;
      }
    } else if (kind == TOK_AT_WORD) {
      if (t == "@return_empty") {
        scope->did_exit = 1;
        scope->ends_unreachable = 1;
        continue;
      }
      if (t == "@allocas") {
        if (!func->entrance) parse_error(p, "@allocas can only be used inside a function thats flagged with $entrance");
        AstNode* n = append_kind(scope, AST_SCOPE);
        n->scope = ast->prologue;
        continue;
      }
      if (t == "@INIT_ALLOCATORS") {
        read_init_allocators(p, scope);
        continue;
      }
    } else if (kind == TOK_SYMBOL) {
      if (t == "}") break;
      if (t == ";") continue;
      if (t == "#" && p->starts_line) {
        parse_compile_macro(p, scope);
        continue;
      }
      if (t == "{") {
        Scope* sub = new_scope(scope, SCOPE_BLOCK);
        read_statements(p, sub, 0);
        AstNode* n = append_kind(scope, AST_SCOPE);
        n->scope = sub;
        continue;
      }
    }

    p->index = at_index;
    p->line = at_line;
    p->col = at_col;
    read_value_statement(p, scope);
  }

  if (scope->must_return && !scope->did_exit) parse_error(p, "Missing 'return' statement");
  if (scope->kind == SCOPE_LOOP && !scope->did_exit) read_continue(p, scope);
  if (scope->kind == SCOPE_FUNCTION && !scope->did_exit) {
    Func* f = p->context ? p->context->func : nullptr;
    if (!f) parse_error(p, "Missing function object in parser (bug)");
    append_implicit_return(f, scope);
  }
}

}  // namespace tesk
