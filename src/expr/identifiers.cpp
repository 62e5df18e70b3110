// Identifier values: what a resolved name stands for when it is read as a value.
#include <string>
#include <vector>

#include "driver/build.h"
#include "driver/errors.h"
#include "expr/access.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "lower/lowering.h"
#include "model/access.h"
#include "model/generics.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "model/type_reading.h"
#include "model/types.h"
#include "source/macro.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "tools/lsp.h"
#include "util/strings.h"

namespace tesk {

namespace {

[[noreturn]] void unhandled_identifier(Parser* p, u64 kind) {
  parse_error(p, "Unhandled identifier type (type: " + std::to_string(kind) + ") (compiler bug)");
}

void check_read_access(Parser* p, SourceFile* owning, AccessLevel access, std::string_view what) {
  SourceFile* accessing = p->chunk ? p->chunk->file : nullptr;
  if (!accessing) return;
  if (!check_access(accessing, owning, access, false).ok())
    parse_error(p, cat({"Cannot access this ", what, " because it's defined as private"}));
}

}  // namespace

void require_store_access(Parser* p, Value* target) {
  if (target->kind == VAL_GLOBAL && target->global) {
    require_access(p, target->global->access, target->global->file, true, "global");
  } else if (target->kind == VAL_PROP && target->property) {
    Property* prop = target->property;
    require_access(p, prop->access, prop->class_ ? prop->class_->file : nullptr, true, "property");
  }
}

namespace {

// The "." that must follow a compile-time identifier, with nothing before it.
void expect_dot(Parser* p) {
  next_token(p, false, false);
  if (!p->is(".")) parse_error(p, cat({"Expected token: '", ".", "', instead of: '", p->token(), "'"}));
}

Value* class_static_access(Parser* p, Scope* scope, Class* cls) {
  if (cls->is_generic) cls = read_class_generic_args(p, scope, cls);
  return read_class_static_access(p, cls, scope, 0);
}

// Type identifiers and type aliases continue into the static access of their class.
Value* type_static_access(Parser* p, Scope* scope, Type* type, u64 kind) {
  Class* cls = type ? type->get_class() : nullptr;
  if (!cls) unhandled_identifier(p, kind);
  return class_static_access(p, scope, cls);
}

Value* local_value(Parser* p, Scope* scope, Decl* decl) {
  Value* v = value_decl(decl);
  if (v->type && v->type->nullable && scope->is_not_null(decl)) v->type = v->type->get_not_null();

  Func* owner = nullptr;
  bool found = false;
  for (Scope* s = scope; s; s = s->parent) {
    if (s->kind != SCOPE_FUNCTION) continue;
    for (Decl* d : s->decls)
      if (d == decl) {
        found = true;
        break;
      }
    if (found) {
      owner = s->func;
      break;
    }
  }
  if (!owner) parse_error(p, "Cannot find variable function (bug)");
  Func* current = scope->get_func();
  if (!current) parse_error(p, "Missing variable function (bug)");
  if (owner == current) return v;

  // A closure names a local of an enclosing function: it reads its own copy.
  Decl* own = capture_outer_variable(decl, v->type, scope);
  return value_decl(own);
}

Value* func_value(Parser* p, Scope* scope, Func* func) {
  if (func->is_generic) func = read_function_generic_args(p, scope, func);
  Func* current = scope->get_func();
  if (!current) build_error(func->build, "Function call outside a function (bug)");
  bool listed = false;
  for (Func* f : current->called)
    if (f == func) listed = true;
  if (!listed) current->called.push_back(func);
  check_read_access(p, func->file, func->access, "function");
  return value_func(func);
}

Value* global_value(Parser* p, Scope* scope, Global* global) {
  check_read_access(p, global->file, global->access, "global");
  Func* current = p->context ? p->context->func : nullptr;
  if (!current) parse_error(p, "Missing function object in parser (bug)");
  current->used_globals.push_back(global);
  Value* v = value_global(global);
  if (!current->checks_globals || !global->ready_step) return v;
  // Start-up may run this code before the global's default: that use stops the program
  // with the global's name instead of seeing a zero.
  Build* b = p->build;
  Func* check = runtime_func(b, "core", "check_global_ready");
  v->pre_value = value_function_call(b, scope, value_func(check),
                                     {value_int(global->ready_step, core_type(b, "uint")),
                                      value_string_literal(global->display_name, p->context)});
  return v;
}

Value* property_value(Parser* p, Scope* scope, Identifier* id) {
  bool with_value = id->kind == IDENT_VALUE_PROPERTY;
  if (!id->prop) parse_error(p, "Missing property info for property identifier");
  if (with_value && !id->value) parse_error(p, "Missing property value for property identifier");
  expect_dot(p);
  if (p->at_cursor) {
    std::vector<std::string> names = {"name", "type"};
    if (with_value) names.push_back("value");
    lsp_complete_names(lsp_context(p->build), names);
  }
  next_token(p, false, false);
  if (p->is("name")) {
    ParseContext* ctx = p->context;
    if (!ctx || !ctx->unit) error_at(ctx, "Missing unit context");
    if (!ctx->func) error_at(ctx, "Missing function context");
    return value_string_literal(id->prop->name, ctx);
  }
  if (p->is("type")) {
    Identifier* type_id = new_identifier_type(p->build, id->prop->type);
    return value_of_identifier(p, scope, type_id);
  }
  if (with_value && p->is("value")) return id->value;
  if (with_value)
    parse_error(p, cat({"Expected token: '", "name", "', '", "type", "' or '", "value", "', instead of: '", p->token(),
                        "'"}));
  parse_error(p, cat({"Expected token: '", "name", "' or '", "type", "', instead of: '", p->token(), "'"}));
}

}  // namespace

Value* value_of_identifier(Parser* p, Scope* scope, Identifier* id) {
  switch (id->kind) {
    case IDENT_TYPE:
      if (!id->type) break;
      return type_static_access(p, scope, id->type, IDENT_TYPE);
    case IDENT_VALUE:
      if (!id->value) break;
      return id->value;
    case IDENT_DECL:
      if (!id->decl) break;
      return local_value(p, scope, id->decl);
    case IDENT_FUNC:
      if (!id->func) break;
      return func_value(p, scope, id->func);
    case IDENT_CLASS:
      if (!id->class_) break;
      check_read_access(p, id->class_->file, id->class_->access, "class");
      return class_static_access(p, scope, id->class_);
    case IDENT_GLOBAL:
      if (!id->global) break;
      return global_value(p, scope, id->global);
    case IDENT_ALIAS: {
      Alias* alias = id->alias;
      if (!alias) break;
      if (alias->kind == ALIAS_ALIAS) {
        if (!alias->target) unhandled_identifier(p, IDENT_ALIAS);
        return value_of_identifier(p, scope, alias->target);
      }
      if (alias->kind == ALIAS_VALUE) {
        check_read_access(p, alias->file, alias->access, "alias");
        if (!alias->chunk || !alias->file) unhandled_identifier(p, IDENT_ALIAS);
        // Read again at every use. Names resolve in the scope of the file that declares
        // it; the scope's parent is the use site, so calls in it belong to the current
        // function (the file scope alone has no function).
        Scope* in_file = new_scope(scope, SCOPE_BLOCK);
        in_file->outer = alias->file->scope;
        Parser* sub = sub_parser(p, alias->chunk);
        return read_value(sub, in_file, PRIO_ALL, 0);
      }
      return type_static_access(p, scope, alias->type, IDENT_ALIAS);
    }
    case IDENT_ENUM:
      if (!id->enum_) break;
      check_read_access(p, id->enum_->file, id->enum_->access, "enum");
      return read_enum_item(p, id->enum_);
    case IDENT_MACRO:
      if (!id->macro) break;
      return expand_macro(p, scope, id->macro);
    case IDENT_REPEAT: {
      expect_dot(p);
      next_token(p, false, false);
      if (!p->is("$length")) parse_error(p, cat({"Unexpected property: '", p->token(), "'"}));
      u64 count = id->repeat ? id->repeat->size() : 0;
      return value_int(count, runtime_class_type(p->build, "type", "uint"));
    }
    case IDENT_GROUP: {
      if (!id->group) break;
      expect_dot(p);
      next_token(p, false, false);
      if (p->kind != TOK_WORD)
        parse_error(p, cat({"Invalid identifier name: '", p->token(), "' | Expected syntax: [a-zA-Z_]"}));
      std::string word(p->token());
      Identifier** sub = id->group->find(word);
      if (!sub) parse_error(p, "Unknown sub-identifier '" + word + "'");
      return value_of_identifier(p, scope, *sub);
    }
    case IDENT_PROPERTY:
    case IDENT_VALUE_PROPERTY:
      return property_value(p, scope, id);
    default:
      break;
  }
  unhandled_identifier(p, id->kind);
}

}  // namespace tesk
