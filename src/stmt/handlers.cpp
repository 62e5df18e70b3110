// Error handlers after calls of functions that can fail: "!", "!?", "!>", "!!", "_" and
// "->". Each builds the Value that stands for the call from then on.
#include <string>

#include "driver/build.h"
#include "driver/errors.h"
#include "expr/access.h"
#include "expr/literals.h"
#include "expr/values.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "stmt/control.h"
#include "stmt/statements.h"

namespace tesk {

namespace {

const char* const kHandlerTokens[] = {"!", "!?", "!>", "!!", "_", "->"};

const std::string& handler_token_list() {
  static const std::string list = [] {
    std::string s;
    for (const char* t : kHandlerTokens) {
      if (!s.empty()) s += ", ";
      s += "'";
      s += t;
      s += "'";
    }
    return s;
  }();
  return list;
}

bool is_handler_token(Parser* p) {
  if (p->kind != TOK_SYMBOL && p->kind != TOK_WORD) return false;
  for (const char* t : kHandlerTokens)
    if (p->is(t)) return true;
  return false;
}

// The declared results of a call that can fail, as a list. A call node keeps them as its
// items (none for a function without results).
std::vector<Value*> result_list(Value* call) {
  if (call->kind == VAL_CALL && call->err_code) return call->items;
  Value* results = call_result_values(call);
  if (results->kind == VAL_GROUP) return results->items;
  return value_items(results);
}

// Kinds of the values a function returns, in order: none for void, undefined and none.
std::vector<Type*> declared_results(Type* rt) {
  std::vector<Type*> out;
  if (!rt) return out;
  if (rt->kind == TYPE_MULTI && rt->items) return *rt->items;
  if (!kind_in(rt->kind, KINDS_NO_VALUE)) out.push_back(rt);
  return out;
}

// The handler starts by storing what it can read into GC temporaries: the message and
// the call's results stay rooted while the handler allocates. The temporaries are made
// before the handler's statements, so they belong to the enclosing statement and live
// through the whole handler.
void root_handler_values(Scope* hs, Value* call) {
  append_value_statement(hs, value_buffer_gc_value(hs, call->err_msg));
  // An awaited coroutine's results are read from its object later, not held here.
  if (call->kind != VAL_CALL) return;
  for (size_t i = 0; i < call->items.size(); i++) {
    Type* t = call->items[i]->type;
    // A node of its own: the call's result nodes are read on the success path.
    if (t && t->is_gc()) append_value_statement(hs, value_buffer_gc_value(hs, value_return_value(call, i, t)));
  }
}

// A void VAL_COND of the failure test and the handler, run before the call's results.
Value* results_after(Build* b, Value* call, Value* handler) {
  Value* cond = value_cond(value_error_check(b, call), handler);
  cond->type = void_type(b);
  return value_copy(cond, call_result_values(call));
}

}  // namespace

Value* read_error_handler(Parser* p, Scope* scope, Value* call, ErrorMap* errors) {
  if (!call->err_code) parse_error(p, "Error handler on a value that does not return errors");
  Build* b = p->build;

  next_token(p, true, false);
  if (!is_handler_token(p))
    parse_error(p, "Unexpected token: '" + token_text(p) + "', expected: " + handler_token_list());
  std::string tok = token_text(p);

  if (tok == "_") {
    Value* v = value_copy(call);
    v->type = void_type(b);
    return v;
  }
  if (tok == "->") return read_success_handler(p, scope, call);
  if (tok == "!>") return pass_error_up(p->context, scope, call);
  if (tok == "!!") {
    std::string path = p->chunk && p->chunk->file ? p->chunk->file->path : std::string();
    return panic_on_error(p, scope, call, "Error at: " + path + ":" + std::to_string(p->line));
  }

  // "!" and "!?"
  u8 value_mode = tok == "!?" ? 1 : 0;
  Scope* hs = new_scope(scope, SCOPE_BLOCK);
  Value* code = call->err_code;
  Value* msg = call->err_msg;
  if (!code) error_at(p->context, "Missing error code (bug)");
  if (!msg) error_at(p->context, "Missing error message (bug)");

  Value* e = value_copy(code);
  e->type = error_code_type(b, errors ? errors : new_error_map(b));
  hs->set_identifier(p->context, "E", new_identifier_value(b, e));
  hs->set_identifier(p->context, "EMSG", new_identifier_value(b, msg));
  append_value_statement(hs, code);
  root_handler_values(hs, call);

  Value* results = call_result_values(call);
  push_type_hint(p, results->type);
  Value* body = read_inline_scope_value(p, hs);
  Value* handler = value_inline_scope_result(body);
  pop_type_hint(p);

  if (value_mode) {
    Type* want = results->type->nullable_like(handler->type);
    handler = convert_value(handler, p->context, scope, want);
    if (!want->compat(handler->type, 0))
      error_at(p->context, "Incompatible types. Passing a '" + handler->type->to_text() + "' value to a '" +
                               want->to_text() + "' type");
  }
  return value_on_error(call, results, handler, value_mode);
}

Value* read_inline_scope_value(Parser* p, Scope* scope) {
  next_token(p, true, false, false);
  if (p->kind == TOK_BLANK || p->kind == TOK_EOF) parse_error(p, "Missing error value / code");
  if (symbol_is(p, "{")) {
    next_token(p, true, false);
    read_statements(p, scope, 0);
  } else {
    read_statements(p, scope, 1);
  }
  Build* b = scope->build;
  return value_inline_scope(scope, scope->did_exit ? none_type(b) : void_type(b));
}

Value* value_on_error(Value* call, Value* results, Value* handler, u8 value_mode) {
  Build* b = handler->type->build;
  Value* fail = value_error_check(b, call);
  if (value_mode) return value_this_or_that(fail, handler, results, handler->type);
  Value* cond = value_cond(fail, handler);
  if (handler->type->kind == TYPE_NONE) {
    // The handler always leaves: the results are there when the code goes on.
    cond->type = handler->type;
    return value_copy(cond, results);
  }
  cond->type = void_type(b);
  return cond;
}

Value* panic_on_error(Parser* p, Scope* scope, Value* call, std::string_view message) {
  if (!call->err_code) parse_error(p, "Error handler on non-function call value (3): " + std::to_string(call->kind));
  Build* b = p->build;
  Scope* hs = new_scope(scope, SCOPE_BLOCK);
  Value* handler = value_inline_scope(hs, void_type(b));
  Func* panic = runtime_func(b, "core", "panic");
  std::vector<Value*> args{value_string_literal(message, p->context)};
  append_value_statement(hs, value_function_call(b, scope, value_func(panic), std::move(args)));
  return results_after(b, call, handler);
}

Value* pass_error_up(ParseContext* ctx, Scope* scope, Value* call) {
  if (!call->err_code) error_at(ctx, "Error handler on non-function call value (4): " + std::to_string(call->kind));
  Func* func = context_get_func(ctx);
  // Returning the error from a function without error results would give it results
  // its callers do not expect.
  if (!func->can_error)
    error_at(ctx, "You cannot use '!>' in a function that does not return errors. Add the errors to the "
                  "function declaration or handle the error here.");
  Build* b = ctx->build;
  Scope* hs = new_scope(scope, SCOPE_BLOCK);
  Value* handler = value_inline_scope(hs, void_type(b));
  // The default results made below may allocate while the message is held.
  if (call->err_msg) root_handler_values(hs, call);

  std::vector<Value*> values;
  for (Type* t : declared_results(func->return_type))
    if (Value* v = value_default(t)) values.push_back(v);
  if (!call->err_code) error_at(ctx, "Missing error code (bug)");
  if (!call->err_msg) error_at(ctx, "Missing error message (bug)");
  values.push_back(call->err_code);
  values.push_back(call->err_msg);
  append_return(func, hs, value_group(b, values, 0));
  return results_after(b, call, handler);
}

Value* read_success_handler(Parser* p, Scope* scope, Value* call) {
  if (!call->err_code) parse_error(p, "Error handler on non-function call value (2): " + std::to_string(call->kind));
  Build* b = p->build;
  std::vector<Value*> results = result_list(call);

  bool parens = false;
  if (results.empty())
    parse_error(p, "You cannot use the '->' success handler on a function call that does not return a value");
  if (results.size() == 1) {
    next_token(p, true, true, false);
    if (symbol_is(p, "(")) {
      next_token(p, true, true);
      parens = true;
    }
  } else {
    next_token(p, true, true);
    if (!symbol_is(p, "(")) parse_error(p, "Expected token: '(', instead of: '" + token_text(p) + "'");
    parens = true;
  }

  Scope* body = new_scope(scope, SCOPE_BLOCK);
  Scope* binds = new_scope(scope, SCOPE_BINDING);
  for (size_t i = 0; i < results.size(); i++) {
    if (i > 0) {
      next_token(p, true, true);
      if (!symbol_is(p, ",")) parse_error(p, "Expected token: ',', instead of: '" + token_text(p) + "'");
    }
    next_token(p, true, true);
    if (p->kind != TOK_WORD)
      parse_error(p, "Expected a valid identifier name ([a-Z_]{1}[a-Z0-9_]*), found: '" + token_text(p) + "'");
    std::string name = token_text(p);
    Value* item = results[i];
    // Nameless and without a position: never reported as unused.
    Decl* d = new_decl(item->type, false, "");
    body->add_decl(d);
    if (binds->identifiers.contains(name)) error_at(p->context, "Name already used: " + name);
    binds->identifiers.set(name, new_identifier_decl(b, d));
    binds->ast.push_back(ast_declare_node(b, d, item));
  }
  if (parens) {
    next_token(p, true, true);
    if (!symbol_is(p, ")")) parse_error(p, "Expected token: ')', instead of: '" + token_text(p) + "'");
  }

  Scope* empty = new_scope(scope, SCOPE_BINDING);
  AstNode* n = b->make_func_lived<AstNode>();
  n->kind = AST_IF;
  n->value = value_not(value_error_check(b, call));
  n->scope = binds;
  n->else_scope = empty;
  body->ast.push_back(n);

  next_token(p, true, true);
  if (!symbol_is(p, ":") && !symbol_is(p, "{"))
    parse_error(p, "Expected token: ':' or '{', instead of: '" + token_text(p) + "'");
  read_statements(p, binds, symbol_is(p, ":") ? 1 : 0);
  return value_inline_scope(body, void_type(b));
}

}  // namespace tesk
