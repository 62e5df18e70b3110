// Implicit conversion of a value to a wanted Type, and the results of a call.
#include "expr/values.h"

#include "driver/build.h"
#include "driver/errors.h"
#include "expr/access.h"
#include "lower/lowering.h"
#include "model/scope.h"
#include "model/types.h"
#include "source/records.h"

namespace tesk {

namespace {

// Kinds whose values may simply be seen as a raw pointer.
constexpr u64 KINDS_AS_RAW_POINTER = kind_bit(TYPE_POINTER) | kind_bit(TYPE_NULL) | kind_bit(TYPE_RAW_POINTER) |
                                     kind_bit(TYPE_FNPTR) | kind_bit(TYPE_FN) | kind_bit(TYPE_CO);

// The null closure of the first reading of a loop body: no wrapper is made then. It
// has the function's own arguments, like the closure of the second reading, so the
// callers' checks agree between the two readings.
Value* placeholder_closure(Type* fnptr) {
  Build* b = fnptr->build;
  FuncInfo* from = fnptr->func_info;
  FuncInfo* info = new_func_info(b);
  info->args = from->args;
  info->rets = from->rets;
  info->errors = new_error_map(b);
  if (from->errors) *info->errors = *from->errors;
  info->infinite = from->infinite;
  info->can_error = !info->errors->empty();
  return value_null_plain(fn_type(b, info));
}

Value* number_conversion(Value* value, Type* t, Type* w) {
  if (t->kind == TYPE_INT && w->kind == TYPE_FLOAT) return value_cast(value, w);
  u64 ts = t->size();
  u64 ws = w->size();
  if (w->kind == TYPE_FLOAT) return ts < ws ? value_cast(value, w) : value;
  if (ts < ws || (ts == ws && t->signed_ != w->signed_)) return value_cast(value, w);
  return value;
}

Value* multi_conversion(Value* value, ParseContext* ctx, Scope* scope, Type* t, Type* w) {
  std::vector<Value*> items;
  if (!value->items.empty()) {
    items = value->items;
  } else if (t->items) {
    items.reserve(t->items->size());
    for (size_t i = 0; i < t->items->size(); i++) items.push_back(value_return_value(value, i, (*t->items)[i]));
  } else {
    items.push_back(value);
  }
  if (items.size() != w->items->size()) return value;
  for (size_t i = 0; i < items.size(); i++) items[i] = convert_value(items[i], ctx, scope, (*w->items)[i]);
  // One item is that item itself; none is a group typed void.
  return value_group(t->build, items, 0);
}

}  // namespace

Value* convert_value(Value* value, ParseContext* ctx, Scope* scope, Type* want) {
  Type* t = value->type;
  Type* w = want;
  if (!t || !w) return value;
  if (w->kind == TYPE_VOID) return value;

  // A value held inline is passed on by reference.
  if (t->is_inline() && w->is_pointer_sized()) return value_reference(ctx, value, 0);

  if (t->kind == TYPE_FNPTR && w->kind == TYPE_FN) {
    if (!t->func_info) error_at(ctx, "Missing type function info");
    if (ctx->parser && ctx->parser->in_loop) {
      ctx->parser->build->loop_mode_effects++;
      return placeholder_closure(t);
    }
    return value_closure(ctx, value, {}, scope);
  }

  if (w->is_inline() && t->compat(w->get_ref(), 0)) {
    if (!t->is_pointer_sized()) return value;
    return value_load_inline(value);
  }

  if (!w->compat(t, 0)) {
    if (Class* cls = t->get_class()) {
      if (Func* to = cls->find_to_function(w)) {
        Value* call = value_function_call(t->build, scope, value_func(to), {value});
        call->type = w;
        return call;
      }
    }
  }

  if (t->is_number() && w->is_number()) return number_conversion(value, t, w);

  if (w->kind == TYPE_RAW_POINTER) {
    if (kind_in(t->kind, KINDS_AS_RAW_POINTER)) {
      value->type = w;
      return value;
    }
    if (t->kind == TYPE_INT) return value_cast(value, w);
  }

  if (w->kind == TYPE_MULTI && t->kind == TYPE_MULTI && w->items) return multi_conversion(value, ctx, scope, t, w);

  return value;
}

Value* call_result_values(Value* call) {
  if (call->kind != VAL_CALL || (!call->err_code && !call->err_msg)) return call;
  Type* ct = call->type;
  Build* b = ct->build;
  std::vector<Value*> results;
  if (!call->items.empty()) {
    results = call->items;
  } else if (ct->kind == TYPE_MULTI && ct->items) {
    // The error results start at the error code's index; items from there are no results.
    size_t n = ct->items->size();
    Value* code = call->err_code;
    if (code && code->kind == VAL_RETURN_VALUE && code->number < n) n = code->number;
    for (size_t i = 0; i < n; i++) results.push_back(value_return_value(call, i, (*ct->items)[i]));
  } else {
    results.push_back(call);
  }
  std::vector<Value*> list;
  list.reserve(results.size());
  for (Value* r : results)
    if (r != call->err_code && r != call->err_msg) list.push_back(r);
  return value_group(b, list, 0);
}

}  // namespace tesk
