// Fixed-array initialisation, inline-scope results and map literals.
#include "driver/build.h"
#include "driver/errors.h"
#include "expr/access.h"
#include "expr/literals.h"
#include "expr/values.h"
#include "model/class_reading.h"
#include "model/records.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "model/types.h"
#include "stmt/ast.h"
#include "stmt/statements.h"

namespace tesk {

namespace {

Scope* child_scope(Scope* parent) {
  Scope* s = make_scope(SCOPE_BLOCK, parent->build, parent);
  s->func = parent->func;
  return s;
}

void append_value(Scope* s, Value* v) {
  AstNode* n = s->build->make_func_lived<AstNode>();
  n->kind = AST_VALUE;
  n->value = v;
  s->ast.push_back(n);
}

void note_called(Func* f, Func* callee) {
  for (Func* c : f->called)
    if (c == callee) return;
  f->called.push_back(callee);
}

// A class function of the class, else of the class it is a mode of.
Func* class_or_mode_function(Class* cls, std::string_view name) {
  for (Class* c = cls; c; c = c->mode_base) {
    if (Func** f = c->funcs.find(name)) return *f;
  }
  return nullptr;
}

}  // namespace

Value* value_array_init(ParseContext* ctx, Scope* parent, Value* storage, const std::vector<Value*>& elements,
                        Type* element, Type* array) {
  Type* uint = runtime_class_type(array->build, "type", "uint");
  Scope* s = child_scope(parent);
  append_value(s, storage);
  for (u64 i = 0; i < elements.size(); i++) {
    Value* target = value_ptrv(storage, element, value_int(i, uint));
    store_value(ctx, s, target, elements[i], 0, nullptr);
  }
  Value* v = array->build->make_func_lived<Value>();
  v->kind = VAL_ARRAY_INIT;
  v->type = array;
  v->op1 = storage;
  v->op2 = value_inline_scope(s, array);
  return v;
}

Value* value_inline_scope_result(Value* inline_scope) {
  Scope* scope = inline_scope->scope;
  if (!scope) build_error(inline_scope->type->build, "Missing scope value for inline scope token (bug)");
  if (scope->ast.empty()) return inline_scope;
  AstNode* last = scope->ast.back();
  if (last->kind != AST_VALUE || !last->value) return inline_scope;
  Value* v = last->value;
  std::vector<Value*> items;
  if (!v->items.empty()) {
    items = v->items;
  } else if (v->type && v->type->kind == TYPE_MULTI && v->type->items) {
    std::vector<Type*>& types = *v->type->items;
    for (u64 i = 0; i < types.size(); i++) items.push_back(value_return_value(v, i, types[i]));
  } else {
    items.push_back(v);
  }
  if (items.size() == 1) return value_copy(inline_scope, v);
  std::vector<Value*> copies;
  for (Value* item : items) copies.push_back(value_copy(inline_scope, item));
  Build* b = inline_scope->type->build;
  if (copies.empty()) {
    Value* g = value_group(b, copies, 0);
    g->type = void_type(b);
    return g;
  }
  return value_group(b, copies, 0);
}

Value* value_map_literal(Build* b, ParseContext* ctx, Scope* parent, const std::vector<Type*>& generic_types,
                         const ValuePairs& pairs) {
  Scope* s = child_scope(parent);
  Class* map_class = runtime_class(b, "type", "HashMap");
  Class* instance = get_generic_class(b, map_class, generic_types);
  Func* new_fn = class_or_mode_function(instance, "new");
  if (!new_fn) error_at(ctx, "Missing 'new' func");
  Func* set_fn = class_or_mode_function(instance, "set");
  if (!set_fn) error_at(ctx, "Missing 'set' func");
  Func* func = context_get_func(ctx);
  note_called(func, new_fn);
  note_called(func, set_fn);
  Value* map = value_function_call(b, s, value_func(new_fn), {});
  for (auto& [key, value] : pairs) {
    append_value(s, value_function_call(b, s, value_func(set_fn), {map, key, value}));
  }
  return value_copy(value_inline_scope(s, map->type), map);
}

}  // namespace tesk
