// `let` declarations and stores into assignable values.
#include <string>
#include <vector>

#include "driver/build.h"
#include "driver/errors.h"
#include "expr/access.h"
#include "expr/literals.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "model/type_reading.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "stmt/statements.h"

namespace tesk {

void read_let(Parser* p, Scope* scope) {
  ParseContext* ctx = p->context;
  Build* b = scope->build;

  // Names, each with its own Decl when a type is written.
  std::vector<std::string_view> names;
  std::vector<Decl*> decls;
  bool first = true;
  while (true) {
    if (!first) next_token(p, true, false);  // the ","
    first = false;
    next_token(p, true, true);
    if (p->kind != TOK_WORD) error_invalid_identifier(p);
    std::string_view name = p->token();
    names.push_back(name);
    Decl* decl = nullptr;
    next_token(p, true, false, false);
    if (p->kind == TOK_SYMBOL && p->is(":")) {
      next_token(p, true, false);
      Type* type = read_type(p, scope, false, false);
      decl = new_decl(type, false, name == "_" ? std::string_view() : name);
      decl->chunk = chunk_here(p);
    }
    decls.push_back(decl);
    next_token(p, true, false, false);
    if (!(p->kind == TOK_SYMBOL && p->is(","))) break;
  }

  next_token(p, true, true);
  if (!(p->kind == TOK_SYMBOL && p->is("=")))
    parse_error(p, "Expected token: '=', instead of: '" + token_text(p) + "'");
  Chunk* eq = statement_chunk(p);

  Type* saved_hint = p->type_hint;
  Value* target = nullptr;
  if (names.size() > 1) {
    std::vector<Value*> targets;
    targets.reserve(names.size());
    for (Decl* d : decls) targets.push_back(d ? value_decl(d) : value_null(ptr_type(b)));
    target = value_group(b, targets, 1);
  } else if (decls[0]) {
    target = value_decl(decls[0]);
  }
  if (target) {
    p->prefix_value = target;
    p->type_hint = target->type;
  }
  Value* right = read_value(p, scope, PRIO_ALL, 0);
  p->prefix_value = nullptr;
  p->type_hint = saved_hint;

  std::vector<Value*> items = value_items(right);
  if (items.size() < names.size()) {
    set_chunk(p, eq);
    parse_error(p, "Right side of '=' is not returning enough values to fit all your variables");
  }

  for (size_t i = 0; i < names.size(); i++) {
    Value* item = items[i];
    if (item->type && item->type->kind == TYPE_MULTI)
      parse_error(p, "You cannot assign multiple values to a single variable");
    Decl* decl = decls[i];
    std::string_view name = names[i];
    if (!decl) {
      // An untyped local of an inline value refers to it instead of copying it.
      if (item->type && item->type->is_inline() && value_is_assignable_kind(item))
        item = value_reference(ctx, item, 0);
      decl = new_decl(item->type, false, name == "_" ? std::string_view() : name);
      decl->chunk = chunk_here(p);
    }
    if (decl->type->kind == TYPE_VOID) parse_error(p, "You cannot declare a variable of type 'void'");
    if (name != "_") scope->set_identifier(ctx, name, new_identifier_decl(b, decl));
    scope->add_decl(decl);
    if (decl->type->nullable && item->type && !item->type->nullable) scope->set_not_null(decl);

    decl->used = 1;
    store_value(ctx, scope, value_decl(decl), item, 1, eq);
    // The declaring store is no use of the local.
    decl->used = 0;
  }
}

void store_value(ParseContext* ctx, Scope* scope, Value* target, Value* value, u8 declare, Chunk* position) {
  Build* b = scope->build;
  if (!value_is_assignable_kind(target)) error_at(ctx, "Cannot assign to left side value");
  if (value->in_place) {
    append_value_statement(scope, value);
    return;
  }
  if (value->kind == VAL_UNDEFINED) return;
  if (value->type && value->type->interior_ref)
    error_at(ctx, "You are not allowed to store this reference, you can only access it directly.");

  if (!declare && target->kind == VAL_DECL && target->decl) {
    Decl* decl = target->decl;
    decl->in_memory = 1;
    if (decl->type->nullable && value->type) {
      if (!value->type->nullable) {
        scope->set_not_null(decl);
      } else if (target->type && !target->type->nullable) {
        scope->set_maybe_null(decl);
        target->type = decl->type;
      }
    }
  }

  Value* converted = convert_value(value, ctx, scope, target->type);
  if (!target->type->compat(converted->type, 0)) {
    if (position && ctx->parser) set_chunk(ctx->parser, position);
    error_at(ctx, "Incompatible types. Passing a '" + converted->type->to_text() + "' value to a '" +
                      target->type->to_text() + "' type");
  }

  if (declare) {
    if (target->kind != VAL_DECL || !target->decl) error_at(ctx, "Missing declaration variable");
    scope->ast.push_back(ast_declare_node(b, target->decl, converted));
    return;
  }

  if (target->kind == VAL_GLOBAL && target->type->is_gc() && target->global && target->global->shared) {
    Func* check = runtime_func(b, "gc", "share_null_check");
    append_value_statement(scope, value_function_call(b, scope, value_func(check), {converted}));
    context_note_func(ctx, check);
  }
  if (target->kind == VAL_PROP && target->type->is_gc()) {
    context_note_func(ctx, runtime_func(b, "gc", "property_update"));
  }
  scope->ast.push_back(ast_assign_node(b, target, converted));
}

}  // namespace tesk
