// match: built at parse time into a chain of ifs inside one inline scope. A match over
// an error code checks that every error the callee declares has a case.
#include <string>

#include "driver/build.h"
#include "driver/errors.h"
#include "expr/literals.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "model/scope.h"
#include "model/type_reading.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "stmt/control.h"
#include "stmt/statements.h"

namespace tesk {

Value* value_match_case(Parser* p, Value* match_value, Value* case_value) {
  Build* b = p->build;
  Value* left = match_value;
  Value* right = case_value;
  balance_number_types(b, left, right);
  if (!left->type->compat(right->type, 0))
    error_at(p->context, "Incompatible types. Passing a '" + right->type->to_text() + "' value to a '" +
                             left->type->to_text() + "' type");
  return value_compare(left, right, OP_EQ, core_type(b, "bool"));
}

Value* read_match(Parser* p, Scope* scope) {
  Build* b = p->build;
  Value* match_value = read_value(p, scope, PRIO_ALL, 0);

  // Errors of the matched code that no case names yet; null when the value is no error.
  ErrorMap* unhandled = nullptr;
  if (match_value->type && match_value->type->errors) unhandled = b->make<ErrorMap>(*match_value->type->errors);

  Type* result_type = nullptr;
  std::vector<Decl*> results;
  next_token(p, true, false, false);
  if (symbol_is(p, ":")) {
    next_token(p, true, false);
    result_type = read_type(p, scope, false, true);
    std::vector<Type*> types;
    if (result_type->kind == TYPE_MULTI && result_type->items)
      types = *result_type->items;
    else if (!kind_in(result_type->kind, KINDS_NO_VALUE))
      types.push_back(result_type);
    // A result type that holds no value: the match has no result.
    if (types.empty()) result_type = nullptr;
    for (Type* t : types) {
      Decl* d = new_decl(t, false, "");
      d->in_memory = 1;
      scope->add_decl(d);
      results.push_back(d);
    }
  }

  next_token(p, true, true);
  if (!symbol_is(p, "{")) parse_error(p, "Expected token: '{', instead of: '" + token_text(p) + "'");

  Scope* match_scope = new_scope(scope, SCOPE_BLOCK);
  Scope* outer = match_scope;
  Scope* then_scope = new_scope(outer, SCOPE_BINDING);
  Scope* else_scope = new_scope(outer, SCOPE_BINDING);
  bool had_default = false;
  u64 cases = 0;
  u64 leaving = 0;

  while (true) {
    next_token(p, true, true, false);
    if (symbol_is(p, "}")) break;
    if (had_default)
      parse_error(p,
                  "You cannot define cases after the 'default' case. You should move the 'default' case to the "
                  "bottom of the list.");

    Scope* case_scope;
    bool is_default = p->kind == TOK_WORD && p->is("default");
    if (is_default) {
      next_token(p, true, true);
      case_scope = outer;
    } else {
      push_type_hint(p, match_value->type);
      Value* case_value = read_value(p, outer, PRIO_ALL, 0);
      pop_type_hint(p);
      if (unhandled && case_value->type && case_value->type->kind == TYPE_ERROR_VALUE && case_value->type->errors &&
          !case_value->type->errors->empty())
        unhandled->erase(case_value->type->errors->entries().front().first);
      AstNode* n = b->make_func_lived<AstNode>();
      n->kind = AST_IF;
      n->value = value_match_case(p, match_value, case_value);
      n->scope = then_scope;
      n->else_scope = else_scope;
      outer->ast.push_back(n);
      case_scope = then_scope;
    }

    next_token(p, true, true);
    if (!symbol_is(p, "=>")) parse_error(p, "Expected token: '=>', instead of: '" + token_text(p) + "'");

    Scope* body_scope = new_scope(case_scope, SCOPE_BLOCK);
    Value* body = read_inline_scope_value(p, body_scope);
    bool leaves = body_scope->did_exit;

    if (result_type && !leaves) {
      Value* v = convert_value(value_inline_scope_result(body), p->context, case_scope, result_type);
      if (!result_type->compat(v->type, 0))
        error_at(p->context, "Incompatible types. Passing a '" + v->type->to_text() + "' value to a '" +
                                 result_type->to_text() + "' type");
      std::vector<Value*> items = value_items(v);
      for (size_t i = 0; i < results.size(); i++) {
        if (i >= items.size()) parse_error(p, "Missing match value (bug)");
        case_scope->ast.push_back(ast_declare_node(b, results[i], items[i]));
      }
    } else {
      append_value_statement(case_scope, body);
    }

    if (is_default) {
      had_default = true;
    } else {
      outer = else_scope;
      then_scope = new_scope(outer, SCOPE_BINDING);
      else_scope = new_scope(outer, SCOPE_BINDING);
    }
    cases++;
    if (leaves) leaving++;
  }
  next_token(p, true, true);

  if (cases == 0) parse_error(p, "The match statement must have atleast 1 case");
  if (!had_default) {
    if (!unhandled)
      parse_error(p, "The match statement must have a 'default' case because it does not cover all values");
    if (!unhandled->empty()) {
      std::string names;
      for (const auto& entry : *unhandled) {
        if (!names.empty()) names += ", ";
        names += entry.first;
      }
      parse_error(p, "Not all error cases have been handled. Unhandled errors: " + names);
    }
  }
  if (leaving == cases) {
    scope->did_exit = 1;
    scope->ends_unreachable = 1;
  }

  Value* match = value_inline_scope(match_scope, result_type ? result_type : void_type(b));
  if (!result_type) return match;

  std::vector<Value*> values;
  for (Decl* d : results) {
    Value* v = value_decl(d);
    v->pre_value = match;
    values.push_back(v);
  }
  return value_group(b, values, 0);
}

}  // namespace tesk
