// Constructors of Value nodes, one per kind.
#include "expr/values.h"

#include "driver/build.h"
#include "driver/errors.h"
#include "model/scope.h"
#include "model/types.h"

namespace tesk {

namespace {

Value* new_value(Build* b, u64 kind, Type* type) {
  Value* v = b->make_func_lived<Value>();
  v->kind = kind;
  v->type = type;
  return v;
}

// Constructors without a Build argument allocate in the Build of a Type they carry.
Build* build_of(Type* t) { return t->build; }

Value* binary(u64 kind, Value* left, Value* right, u64 op, Type* type) {
  Value* v = new_value(build_of(type), kind, type);
  v->op1 = left;
  v->op2 = right;
  v->number = op;
  return v;
}

}  // namespace

Value* value_func(Func* func) {
  Value* v = new_value(func->build, VAL_FUNC, func_pointer_type(func));
  v->func = func;
  return v;
}

Value* value_string(Build* b, StringConst* sc) {
  Value* v = new_value(b, VAL_STRING, string_type(b));
  v->string_const = sc;
  return v;
}

Value* value_decl(Decl* decl) {
  Value* v = new_value(build_of(decl->type), VAL_DECL, decl->type);
  v->decl = decl;
  decl->used = 1;
  return v;
}

Value* value_prop(Property* prop, Value* object) {
  Type* t = prop->type;
  if (object->type && object->type->imut) t = t->get_imut();
  Value* v = new_value(build_of(prop->type), VAL_PROP, t);
  v->op1 = object;
  v->property = prop;
  return v;
}

Value* value_int(u64 number, Type* type) {
  Value* v = new_value(build_of(type), VAL_INT, type);
  v->number = number;
  return v;
}

Value* value_return_value(Value* multi, u64 index, Type* type) {
  Value* v = new_value(build_of(type), VAL_RETURN_VALUE, type);
  v->op1 = multi;
  v->pre_value = multi;
  v->number = index;
  return v;
}

Value* value_memcpy(Build* b, Value* dest, Value* src, Value* count) {
  Value* v = new_value(b, VAL_MEMCPY, void_type(b));
  v->op1 = dest;
  v->op2 = src;
  v->op3 = count;
  return v;
}

Value* value_math(Value* left, Value* right, u64 op, Type* type) { return binary(VAL_MATH, left, right, op, type); }

Value* value_compare(Value* left, Value* right, u64 op, Type* type) {
  return binary(VAL_COMPARE, left, right, op, type);
}

Value* value_and_or(Value* left, Value* right, u64 op, Type* type) {
  Value* v = binary(VAL_AND_OR, left, right, op, type);
  // "a || b" is false only when both are: facts of both false lists hold. "a && b"
  // likewise for the true lists. The other list of each operand no longer applies.
  bool is_or = op == OP_OR;
  std::vector<Decl*>& l = is_or ? left->false_decls : left->true_decls;
  std::vector<Decl*>& r = is_or ? right->false_decls : right->true_decls;
  if (l.empty()) {
    (is_or ? v->false_decls : v->true_decls) = r;
  } else {
    l.insert(l.end(), r.begin(), r.end());
    (is_or ? v->false_decls : v->true_decls) = l;
  }
  if (is_or) {
    left->true_decls.clear();
    right->true_decls.clear();
  } else {
    left->false_decls.clear();
    right->false_decls.clear();
  }
  return v;
}

Value* value_atomic(Value* target, Value* value, u64 op) {
  return binary(VAL_ATOMIC, target, value, op, target->type);
}

Value* value_atomic_store(Value* target, Value* value) {
  return binary(VAL_ATOMIC_STORE, target, value, 0, target->type);
}

Value* value_atomic_load(Value* target) {
  Value* v = new_value(build_of(target->type), VAL_ATOMIC_LOAD, target->type);
  v->op1 = target;
  return v;
}

Value* value_ptrv(Value* pointer, Type* element, Value* index) {
  Value* v = new_value(build_of(element), VAL_PTRV, element);
  v->op1 = pointer;
  v->op2 = index;
  v->element = element;
  return v;
}

Value* value_ptr_offset(Value* pointer, Value* offset, Type* element) {
  Build* b = build_of(pointer->type);
  Value* v = new_value(b, VAL_PTR_OFFSET, core_type(b, "ptr"));
  v->op1 = pointer;
  v->op2 = offset;
  v->element = element ? element : core_type(b, "u8");
  return v;
}

Value* value_incr(Value* target, u8 prefix) {
  Value* v = new_value(build_of(target->type), VAL_INCR, target->type);
  v->op1 = target;
  v->flag = prefix & 1;
  return v;
}

Value* value_decr(Value* target, u8 prefix) {
  Value* v = new_value(build_of(target->type), VAL_DECR, target->type);
  v->op1 = target;
  v->flag = prefix & 1;
  return v;
}

Value* value_bool(Build* b, u8 flag) {
  Value* v = new_value(b, VAL_BOOL, core_type(b, "bool"));
  v->flag = flag & 1;
  return v;
}

Value* value_cast(Value* value, Type* type) {
  Value* v = new_value(build_of(type), VAL_CAST, type);
  v->op1 = value;
  return v;
}

Value* value_not(Value* value) {
  Value* v = new_value(build_of(value->type), VAL_NOT, value->type);
  v->op1 = value;
  return v;
}

Value* value_global(Global* global) {
  if (!global->type) build_error(global->build, "Missing global type (bug). Name: " + global->name);
  Value* v = new_value(global->build, VAL_GLOBAL, global->type);
  v->global = global;
  return v;
}

Value* value_null(Type* type) { return new_value(build_of(type), VAL_NULL, type->get_nullable()); }

Value* value_null_plain(Type* type) { return new_value(build_of(type), VAL_NULL, type); }

Value* value_default(Type* type) {
  if (type->kind == TYPE_VOID) return nullptr;
  if (type->is_pointer_sized()) {
    Value* v = value_null(type);
    v->type = v->type->get_non_nullable();
    return v;
  }
  if (type->kind == TYPE_FLOAT) {
    Value* v = new_value(build_of(type), VAL_FLOAT, type);
    v->float_value = 0.0;
    return v;
  }
  return value_int(0, type);
}

Value* value_undefined(Build* b) { return new_value(b, VAL_UNDEFINED, void_type(b)); }

Value* value_stack_alloc(Build* b, u64 bytes) {
  Value* v = new_value(b, VAL_STACK_ALLOC, core_type(b, "ptr"));
  v->number = bytes;
  return v;
}

Value* value_this_or_that(Value* cond, Value* when_true, Value* when_false, Type* type) {
  Value* v = new_value(build_of(type), VAL_THIS_OR_THAT, type);
  v->op1 = cond;
  v->op2 = when_true;
  v->op3 = when_false;
  return v;
}

Value* value_group(Build* b, const std::vector<Value*>& values, u8 force) {
  if (values.size() == 1 && !(force & 1)) return values[0];
  std::vector<Type*> types;
  types.reserve(values.size());
  for (Value* item : values) types.push_back(item->type);
  Value* v = new_value(b, VAL_GROUP, multi_type(b, types, force & 1));
  v->values = values;
  v->items = values;
  return v;
}

Value* value_value_scope(Scope* scope, Value* phi) {
  Value* v = new_value(build_of(phi->type), VAL_VALUE_SCOPE, phi->type);
  v->scope = scope;
  v->op1 = phi;
  return v;
}

Value* value_setjmp(Build* b, Value* buffer) {
  Value* v = new_value(b, VAL_SETJMP, core_type(b, "i32"));
  v->op1 = buffer;
  return v;
}

Value* value_longjmp(Build* b, Value* buffer) {
  Value* v = new_value(b, VAL_LONGJMP, void_type(b));
  v->op1 = buffer;
  return v;
}

Value* value_symbol(std::string_view name, Type* type) {
  Value* v = new_value(build_of(type), VAL_SYMBOL, type);
  v->symbol = std::string(name);
  return v;
}

Value* value_assign(Value* target, Value* value) {
  Value* v = new_value(build_of(target->type), VAL_ASSIGN, target->type);
  v->op1 = target;
  v->op2 = value;
  return v;
}

Value* value_copy(Value* value) {
  Value* v = new_value(build_of(value->type), VAL_COPY, value->type);
  v->op1 = value;
  return v;
}

Value* value_copy(Value* pre_value, Value* value) {
  Value* v = value_copy(value);
  v->pre_value = pre_value;
  return v;
}

Value* value_cond(Value* cond, Value* value) {
  Value* v = new_value(build_of(value->type), VAL_COND, value->type);
  v->op1 = cond;
  v->op2 = value;
  return v;
}

Value* value_error_check(Build* b, Value* call) {
  Value* code = call->err_code;
  if (!code) build_error(b, "Missing error code value (bug)");
  Value* zero = value_int(0, code->type);
  return value_compare(code, zero, OP_NE, core_type(b, "bool"));
}

Value* value_inline_scope(Scope* scope, Type* type) {
  Value* v = new_value(build_of(type), VAL_INLINE_SCOPE, type);
  v->scope = scope;
  return v;
}

Value* value_phi(const std::vector<Value*>& values, Type* type) {
  Value* v = new_value(build_of(type), VAL_PHI, type);
  v->values = values;
  return v;
}

Value* value_reference(ParseContext* ctx, Value* value, u8 stable) {
  bool global = false;
  switch (value->kind) {
    case VAL_DECL:
    case VAL_PROP:
    case VAL_PTRV:
    case VAL_BUFFER_VALUE: break;
    case VAL_GLOBAL: global = true; break;
    default: error_at(ctx, "Trying to get reference from non-assignable value");
  }
  Type* t = value->type;
  Type* r;
  if (global || (stable & 1)) {
    r = t->get_ref();
  } else {
    r = t->get_reference();
    // A reference into a GC object may be used but must not be stored: the GC does
    // not trace interior pointers, so a kept one would not keep the object alive.
    if (t->is_inline() && value->kind == VAL_PROP && value->op1 && value->op1->type && value->op1->type->is_gc()) {
      r->interior_ref = 1;
    }
  }
  Value* v = new_value(build_of(t), VAL_REFERENCE, r);
  v->op1 = value;
  return v;
}

Value* value_load_inline(Value* value) {
  Type* t = value->type;
  if (!t || !t->is_pointer_sized()) return value;
  if (!kind_in(t->kind, KINDS_SUB_TEXT) || !t->sub) return value;
  Type* loaded = t->get_pointed();
  if (!loaded->is_inline()) return value;
  Value* v = new_value(build_of(t), VAL_LOAD_INLINE, loaded);
  v->op1 = value;
  return v;
}

}  // namespace tesk
