// Values between braces that initialise an aggregate: fixed-array elements, object
// literal properties, and the default value of one property.
#include <unordered_set>

#include "driver/build.h"
#include "driver/errors.h"
#include "expr/literals.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "model/access.h"
#include "model/records.h"
#include "model/scope.h"
#include "model/types.h"
#include "source/compile_macro_parse.h"
#include "source/parse_error.h"
#include "source/parser.h"

namespace tesk {

namespace {

// A slice literal without data is empty: its data pointer is null.
bool is_implicit_slice_data(Property* prop) { return prop->class_ && prop->class_->slice && prop->name == "data"; }

Value* convert_checked(ParseContext* ctx, Scope* scope, Value* v, Type* want) {
  v = convert_value(v, ctx, scope, want);
  if (!want->compat(v->type, 0)) {
    error_at(ctx, "Incompatible types. Passing a '" + v->type->to_text() + "' value to a '" + want->to_text() + "' type");
  }
  return v;
}

// The results a value contributes: a group's items, one per item of a multi-valued
// Type, or the value itself.
std::vector<Value*> value_results(Value* v) {
  if (!v->items.empty()) return v->items;
  if (v->type && v->type->kind == TYPE_MULTI && v->type->items) {
    std::vector<Value*> out;
    std::vector<Type*>& types = *v->type->items;
    for (u64 i = 0; i < types.size(); i++) out.push_back(value_return_value(v, i, types[i]));
    return out;
  }
  return {v};
}

// The property a literal entry names: through #loop the name may stand for a property.
std::string entry_property_name(Parser* p, Scope* scope, std::string name) {
  Identifier* id = find_identifier(scope, p, name);
  if (!id) return name;
  if ((id->kind == IDENT_PROPERTY || id->kind == IDENT_VALUE_PROPERTY) && id->prop) return id->prop->name;
  if (id->kind == IDENT_VALUE && id->value && id->value->kind == VAL_PROP && id->value->property) {
    return id->value->property->name;
  }
  return name;
}

}  // namespace

Value* read_fixed_array_values(Parser* p, Scope* scope, Value* target, Type* element, u64 count) {
  Build* b = p->build;
  ParseContext* ctx = p->context;
  Type* uint = core_type(b, "uint");
  Type* saved_hint = p->type_hint;
  p->type_hint = element;
  std::vector<Value*> elements;
  std::vector<Value*> last;
  bool any = false;
  while (true) {
    next_token(p, true, true, false);
    if (p->is("}")) break;
    if (p->is(",")) {
      next_token(p, true, true);
      continue;
    }
    if (p->is("...")) {
      next_token(p, true, true);
      if (!any) parse_error(p, "No value to repeat");
      for (u64 k = 0; elements.size() < count && !last.empty(); k++) elements.push_back(last[k % last.size()]);
      continue;
    }
    if (elements.size() >= count) parse_error(p, "Too many values");
    p->prefix_value = value_ptrv(target, element, value_int(elements.size(), uint));
    Value* v = read_value(p, scope, PRIO_ALL, 0);
    p->prefix_value = nullptr;
    any = true;
    last.clear();
    for (Value* item : value_results(v)) {
      if (elements.size() >= count) parse_error(p, "Too many values");
      // An element written in place has stored itself already; its conversion must
      // not make the store write it a second time.
      u8 in_place = item->in_place;
      item = convert_checked(ctx, scope, item, element);
      if (in_place) item->in_place = 1;
      elements.push_back(item);
      last.push_back(item);
    }
  }
  next_token(p, true, true);
  if (elements.size() < count) {
    parse_error(p, "Missing array values. Expected amount '" + std::to_string(count) + "', but found '" +
                       std::to_string(elements.size()) + "'");
  }
  p->type_hint = saved_hint;
  Type* array = array_type(b, element, elements.size());
  Value* init = value_array_init(ctx, scope, target, elements, element, array);
  return value_copy(init, target);
}

Value* read_object_literal(Parser* p, Scope* scope, Class* cls, Value* target) {
  ParseContext* ctx = p->context;
  OrderedMap<Property*>& props = cls->get_props();
  Value* object = target ? target : value_new_object(ctx, scope, cls);
  auto* values = p->build->make_func_lived<OrderedMap<Value*>>();
  next_token(p, true, true);
  while (!p->is("}")) {
    if (p->kind == TOK_EOF) error_unexpected_eof(p);
    if (p->is("#") && p->starts_line) {
      parse_compile_macro(p, scope);
      next_token(p, true, true);
      continue;
    }
    std::string name = entry_property_name(p, scope, token_text(p));
    Property** found = props.find(name);
    if (!found) parse_error(p, "There's no property named: '" + name + "'");
    Property* prop = *found;
    require_access(p, prop->access, prop->class_ ? prop->class_->file : cls->file, true, "property");
    if (values->contains(name)) parse_error(p, "Duplicate property name: " + name);
    expect_token(p, ":", true, false);
    push_type_hint(p, prop->type);
    p->prefix_value = value_prop(prop, object);
    Value* v = read_value(p, scope, PRIO_ALL, 0);
    p->prefix_value = nullptr;
    pop_type_hint(p);
    if (v->kind != VAL_UNDEFINED && !v->in_place) v = convert_checked(ctx, scope, v, prop->type);
    values->set(name, v);
    next_token(p, true, true);
    if (p->is(",")) next_token(p, true, true);
  }
  for (auto& [name, prop] : props) {
    if (values->contains(name)) continue;
    if (prop->lazy || is_implicit_slice_data(prop)) {
      Value* v = value_null(prop->type);
      if (v->type->nullable && v->type->is_pointer_sized()) v->type = v->type->get_non_nullable();
      values->set(name, v);
      continue;
    }
    Value* v = read_init_values(p, scope, object, prop);
    if (v->kind != VAL_UNDEFINED) values->set(name, v);
  }
  Value* result = value_class_init(ctx, cls, scope, object, values);
  result->type = cls->get_type();
  return result;
}

Value* read_init_values(Parser* p, Scope* scope, Value* object, Property* prop) {
  if (!prop->default_value) {
    if (prop->type->nullable) return value_null(prop->type);
    parse_error(p, "Missing value for property: " + prop->name);
  }
  Build* b = p->build;
  Scope* s = make_scope(SCOPE_BLOCK, b, scope);
  s->func = scope->func;
  s->outer = prop->class_ ? prop->class_->scope : nullptr;
  Parser* sub = new_parser(prop->default_value, p);
  push_type_hint(sub, prop->type);
  sub->prefix_value = value_prop(prop, object);
  Value* v = read_value(sub, s, PRIO_ALL, 0);
  sub->prefix_value = nullptr;
  if (v->kind != VAL_UNDEFINED && !v->in_place) v = convert_checked(sub->context, s, v, prop->type);
  pop_type_hint(sub);
  return v;
}

void collect_value_decl(Value* v, Value* into) {
  if (v->kind == VAL_DECL && v->decl) into->true_decls.push_back(v->decl);
}

void collect_value_decls(const std::vector<Decl*>& decls, Scope* into) {
  for (Decl* d : decls) {
    bool present = false;
    for (Decl* e : into->not_null) present = present || e == d;
    if (!present) into->not_null.push_back(d);
  }
}

}  // namespace tesk
