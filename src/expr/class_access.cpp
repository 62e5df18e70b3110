// What may follow a name that denotes a type: static members and object literals of a
// class, enum items, and anonymous objects with their generated classes.
#include <string>
#include <vector>

#include "driver/build.h"
#include "driver/errors.h"
#include "tools/lsp.h"
#include "expr/access.h"
#include "expr/literals.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "model/access.h"
#include "model/classes.h"
#include "model/generics.h"
#include "model/runtime.h"
#include "source/macro.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "util/strings.h"

namespace tesk {

namespace {

[[noreturn]] void invalid_name(Parser* p) {
  parse_error(p, cat({"Invalid identifier name: '", p->token(), "' | Expected syntax: [a-zA-Z_]"}));
}

[[noreturn]] void expected(Parser* p, std::string_view want) {
  parse_error(p, cat({"Expected token: '", want, "', instead of: '", p->token(), "'"}));
}

SourceFile* parser_file(Parser* p) { return p->chunk ? p->chunk->file : nullptr; }

Func* parser_context_func(Parser* p) {
  Func* f = p->context ? p->context->func : nullptr;
  if (!f) parse_error(p, "Missing function object in parser (bug)");
  return f;
}

}  // namespace

Value* read_class_static_access(Parser* p, Class* cls, Scope* scope, u8 dot_read) {
  Build* b = p->build;
  if (cls->macros) {
    next_token(p, true, true, false);
    // In the class's own file "{" always starts an object literal.
    bool own_literal = p->is("{") && parser_context_func(p)->file == cls->file;
    if (!own_literal) {
      if (Macro** m = cls->macros->find(p->token())) return expand_macro(p, scope, *m);
    }
  }

  next_token(p, false, false, false);
  if (!p->is(".") && !dot_read) {
    if (cls->kind != CLASS_CLASS && cls->kind != CLASS_STRUCT)
      parse_error(p, cat({"Unexpected token: '", p->token(), "'"}));
    next_token(p, true, true);
    if (!p->is("{")) parse_error(p, "Expected '.' or '{' after a class name");
    return read_object_literal(p, scope, cls, nullptr);
  }
  if (p->is(".")) next_token(p, false, false);
  if (p->at_cursor) lsp_complete_class_members(lsp_context(b), cls, parser_file(p));

  if (next_token(p, false, false) != TOK_WORD) invalid_name(p);
  std::string name(p->token());
  bool at_name = p->at_cursor;

  Func* func = nullptr;
  Group** group = cls->groups.find(name);
  if (!group && cls->mode_base) group = cls->mode_base->groups.find(name);
  if (group) {
    if (p->at_cursor) lsp_define_group(lsp_context(b), *group);
    next_token(p, false, false);
    if (!p->is(".")) expected(p, ".");
    if (p->at_cursor) lsp_complete_group_functions(lsp_context(b), *group, parser_file(p));
    if (next_token(p, false, false) != TOK_WORD) invalid_name(p);
    name = std::string(p->token());
    at_name = p->at_cursor;
    if (Func** f = (*group)->funcs.find(name)) func = *f;
  }
  if (!func) func = cls->get_function(name);
  if (!func) parse_error(p, "There's no function named '" + name + "' in the class '" + cls->display_name + "'");

  if (at_name) lsp_define_func(lsp_context(b), func);
  if (func->is_generic) func = read_function_generic_args(p, scope, func);
  SourceFile* file = parser_file(p);
  if (file && !check_access(file, func->file, func->access, false).ok())
    parse_error(p, "Cannot access this function because it's defined as private");
  scope->note_call(func);

  Value* fv = value_func(func);
  if (func->no_args) return value_function_call(b, scope, fv, {});
  return fv;
}

Value* read_enum_item(Parser* p, Enum* en) {
  Build* b = p->build;
  next_token(p, false, false);
  if (!p->is(".")) expected(p, ".");
  if (p->at_cursor) lsp_complete_enum_values(lsp_context(b), en);
  if (next_token(p, false, false) != TOK_WORD) invalid_name(p);
  std::string name(p->token());
  Chunk** chunk = en->item_value_chunks.find(name);
  if (!chunk) parse_error(p, "Enum " + en->display_name + " does not have a value named: '" + name + "'");

  if (*chunk) {
    // Read again at every use, in the enum's file, with the enum's Type as hint.
    Type* type = en->get_type();
    Parser* sub = sub_parser(p, *chunk);
    push_type_hint(sub, type);
    Value* v = read_value(sub, en->file->scope, PRIO_ALL, 0);
    pop_type_hint(sub);
    v->type = type;
    return v;
  }
  u64* number = en->item_values.find(name);
  if (!number) parse_error(p, "Missing integer value for enum item (bug)");
  Type* type = (p->type_hint && p->type_hint->kind == TYPE_INT) ? p->type_hint : runtime_class_type(b, "type", "int");
  return value_int(*number, type);
}

Value* read_anonymous_object(Parser* p, Scope* scope) {
  Build* b = p->build;
  next_token(p, true, true);
  if (!p->is("{")) expected(p, "{");

  OrderedMap<Value*>* values = b->make_func_lived<OrderedMap<Value*>>();
  std::vector<Type*> types;
  for (;;) {
    next_token(p, true, true);
    while (p->is(",")) next_token(p, true, true);
    if (p->is("}")) break;
    if (p->kind != TOK_WORD) parse_error(p, cat({"Invalid property name: ", p->token()}));
    std::string name(p->token());
    if (values->contains(name)) parse_error(p, "Duplicate property name: " + name);
    next_token(p, true, false);
    if (!p->is(":")) expected(p, ":");
    Value* v = read_value(p, scope, PRIO_ALL, 0);
    types.push_back(v->type);
    values->set(name, v);
  }

  // One class per shape: the names with the export-form texts of their Types, in order.
  std::string shape;
  size_t i = 0;
  for (auto& [name, v] : *values) {
    shape += name;
    shape += ':';
    shape += types[i++]->to_text_ex(1);
    shape += ';';
  }
  Class* cls;
  if (Class** found = b->anon_object_classes.find(shape)) {
    cls = *found;
  } else {
    Func* func = parser_context_func(p);
    std::string cname = "custom_object_" + std::to_string(b->anon_object_classes.size());
    cls = new_class(func->unit, func->file, 292, cname, CLASS_CLASS, nullptr, nullptr);
    b->anon_object_classes.set(shape, cls);
    i = 0;
    for (auto& [name, v] : *values) {
      Property* prop = cls->add_prop(name, types[i++]);
      prop->access = 292;
    }
    if (!cls->determine_size()) parse_error(p, "Cannot determine class size of: " + cls->display_name);
  }
  return value_class_init(p->context, cls, scope, nullptr, values);
}

}  // namespace tesk
