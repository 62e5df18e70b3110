// Object creation and class initialisation.
#include "driver/build.h"
#include "driver/errors.h"
#include "expr/access.h"
#include "expr/literals.h"
#include "expr/values.h"
#include "model/alloc_pools.h"
#include "model/records.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "model/types.h"
#include "stmt/ast.h"
#include "stmt/statements.h"

namespace tesk {

namespace {

void note_called(Func* f, Func* callee) {
  for (Func* c : f->called)
    if (c == callee) return;
  f->called.push_back(callee);
}

AstNode* append_node(Scope* s, u64 kind) {
  AstNode* n = s->build->make_func_lived<AstNode>();
  n->kind = kind;
  s->ast.push_back(n);
  return n;
}

void append_value(Scope* s, Value* v) { append_node(s, AST_VALUE)->value = v; }

}  // namespace

Value* value_new_object(ParseContext* ctx, Scope* scope, Class* cls) {
  Build* b = cls->build;
  Type* t = cls->get_type();
  Value* object;
  if (t->is_gc()) {
    Type* pointed = t;
    if ((t->kind == TYPE_POINTER || t->kind == TYPE_RAW_POINTER || t->kind == TYPE_REFERENCE) && t->sub) {
      pointed = t->count < 2 ? t->sub : array_type(t->build, t->sub, t->count);
    }
    if (pointed->size() == 0) {
      object = value_null(t);
    } else {
      AllocatorPool* pool = allocator_global(ctx, t);
      Func* get = runtime_class_func(b, "gc", "Pool", pool->free_func ? "get_vtable" : "get");
      note_called(context_get_func(ctx), get);
      std::vector<Value*> args{value_global(pool->global)};
      object = value_function_call(b, scope, value_func(get), args);
    }
  } else {
    Func* alloc = runtime_func(b, "mem", "alloc_ob");
    note_called(context_get_func(ctx), alloc);
    std::vector<Value*> args{value_int(cls->size, runtime_class_type(b, "type", "uint"))};
    object = value_function_call(b, scope, value_func(alloc), args);
  }
  return value_copy(object);
}

Value* value_class_init(ParseContext* ctx, Class* cls, Scope* parent, Value* object, OrderedMap<Value*>* props) {
  Func* func = context_get_func(ctx);
  bool listed = false;
  for (Class* c : func->used_classes) listed = listed || c == cls;
  if (!listed) func->used_classes.push_back(cls);
  if (cls->kind == CLASS_CLASS) func->allocates = 1;

  Type* t = cls->get_type();
  if (cls->size == 0) {
    Value* v = value_null(t);
    v->type = t;
    return v;
  }
  Build* b = parent->build;
  Scope* s = make_scope(SCOPE_BLOCK, b, parent);
  s->func = parent->func;
  if (!props) props = b->make_func_lived<OrderedMap<Value*>>();
  bool fresh = value_buffer_gc_props(s, *props);

  append_comment(s, "------- CLASS INIT: " + cls->display_name + " -------");
  append_comment(s, "Pre-define GC values");
  for (auto& [name, v] : *props) {
    if (v->kind != VAL_UNDEFINED && v->type && v->type->is_gc()) append_value(s, v);
  }
  append_comment(s, "Create base: " + cls->display_name);
  Value* base = object ? object : value_new_object(ctx, s, cls);
  if (t->is_gc()) {
    Value* copy = value_copy(base);
    copy->type = t;
    append_value(s, value_buffer_gc_value(s, copy, fresh));
  } else {
    append_value(s, base);
  }
  OrderedMap<Property*>& class_props = cls->get_props();
  for (auto& [name, v] : *props) {
    Property** prop = class_props.find(name);
    if (!prop) continue;
    append_comment(s, "Set prop: " + name);
    store_value(ctx, s, value_prop(*prop, base), v, 0, nullptr);
  }

  Value* v = b->make_func_lived<Value>();
  v->kind = VAL_CLASS_INIT;
  v->type = t;
  v->op1 = base;
  v->scope = s;
  v->prop_values = props;
  return v;
}

}  // namespace tesk
