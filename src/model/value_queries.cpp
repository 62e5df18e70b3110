// Queries on the Type of a Value.
#include "model/value_queries.h"

#include "driver/build.h"
#include "expr/value.h"

namespace tesk {

Class* value_get_class(Value* v) {
  if (!v->type) return nullptr;
  if (Class* c = v->type->get_class()) return c;
  return v->type->sub ? v->type->sub->get_class() : nullptr;
}

bool value_is_multi(Value* v) { return v->type && v->type->kind == TYPE_MULTI; }

bool value_is_assignable(Value* v) {
  switch (v->kind) {
    case VAL_DECL:
    case VAL_PROP:
    case VAL_PTRV:
    case VAL_GLOBAL:
    case VAL_BUFFER_VALUE: return true;
    default: return false;
  }
}

bool value_needs_gc_buffer(Value* v) {
  if (!v->type || !v->type->is_gc()) return false;
  switch (v->kind) {
    case VAL_STRING:
    case VAL_DECL:
    case VAL_NULL:
    case VAL_BUFFER_VALUE: return false;
    default: return true;
  }
}

void value_mark_decl(Value* v) {
  if (v->kind == VAL_DECL && v->decl) v->decl->in_memory = 1;
}

bool value_can_fail(Value* v) { return v->err_code != nullptr; }

std::vector<Value*> value_split(Build* b, Value* v) {
  if (v->kind == VAL_GROUP) return v->values;
  if (v->type && v->type->kind == TYPE_MULTI && v->type->items) {
    std::vector<Value*> out;
    out.reserve(v->type->items->size());
    for (size_t i = 0; i < v->type->items->size(); i++) {
      Value* r = b->make_func_lived<Value>();
      r->kind = VAL_RETURN_VALUE;
      r->type = (*v->type->items)[i];
      r->op1 = v;
      r->pre_value = v;
      r->number = i;
      out.push_back(r);
    }
    return out;
  }
  return {v};
}

}  // namespace tesk
