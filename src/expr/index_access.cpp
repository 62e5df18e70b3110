// Index access: v[a, b] through the class's "$offset" / "$offset_assign" functions, or
// direct element access of fixed arrays and typed pointers.
#include <string>
#include <vector>

#include "driver/build.h"
#include "driver/errors.h"
#include "expr/access.h"
#include "expr/read_value.h"
#include "expr/values.h"
#include "model/scope.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "stmt/control.h"
#include "util/strings.h"

namespace tesk {

namespace {

Class* value_class(Value* v) { return v->type ? v->type->get_class() : nullptr; }

bool is_handler_token(Parser* p) {
  return p->is("!") || p->is("!?") || p->is("!>") || p->is("!!") || p->is("_") || p->is("->");
}

Value* direct_index(Parser* p, Scope* scope, Value* receiver) {
  if (receiver->type->kind == TYPE_ARRAY) receiver = value_reference(p->context, receiver, 0);
  Type* t = receiver->type;
  bool indexable = t->kind == TYPE_POINTER || t->kind == TYPE_RAW_POINTER || t->kind == TYPE_REFERENCE;
  if (!indexable || !t->sub) parse_error(p, "Type: '" + t->to_text() + "' has no '[]' get offset function");
  Value* index = read_value(p, scope, PRIO_ALL, 0);
  if (!index->type || index->type->kind != TYPE_INT)
    parse_error(p, "Invalid offset, expected an integer value instead of: " +
                       (index->type ? index->type->to_text() : std::string("none")));
  next_token(p, true, true);
  if (!p->is("]")) parse_error(p, cat({"Expected token: '", "]", "', instead of: '", p->token(), "'"}));
  return value_ptrv(receiver, t->sub, index);
}

}  // namespace

Func* class_offset_function(Value* v) {
  Class* c = value_class(v);
  if (!c) return nullptr;
  if (c->offset_func) return c->offset_func;
  return c->mode_base ? c->mode_base->offset_func : nullptr;
}

Func* class_offset_assign_function(Value* v) {
  Class* c = value_class(v);
  if (!c) return nullptr;
  if (c->offset_assign_func) return c->offset_assign_func;
  return c->mode_base ? c->mode_base->offset_assign_func : nullptr;
}

Value* read_index_access(Parser* p, Scope* scope, Value* receiver) {
  Build* b = p->build;
  Func* getter = class_offset_function(receiver);
  if (!getter) return direct_index(p, scope, receiver);

  Value* fv = value_func(getter);
  std::vector<Value*> args = {receiver};
  read_call_args(p, scope, fv, "]", args);

  next_token(p, true, true, false);
  if (p->is("=")) {
    Func* setter = class_offset_assign_function(receiver);
    if (!setter)
      parse_error(p, "Type: " + receiver->type->to_text() + " has no '[]' offset assign function");
    if (setter->args.empty()) parse_error(p, "Missing $offset_assign value argument");
    Type* want = setter->args.back()->type;
    next_token(p, true, true);
    push_type_hint(p, want);
    Value* v = read_value(p, scope, PRIO_ALL, 0);
    pop_type_hint(p);
    v = convert_value(v, p->context, scope, want);
    if (!want->compat(v->type, 0))
      error_at(p->context,
               "Incompatible types. Passing a '" + v->type->to_text() + "' value to a '" + want->to_text() + "' type");
    std::vector<Value*> set_args = args;
    set_args.push_back(v);
    return value_function_call(b, scope, value_func(setter), std::move(set_args));
  }

  Value* call = value_function_call(b, scope, fv, std::move(args));
  FuncInfo* info = fv->type->func_info;
  if (!info) build_error(b, "Missing function information (compiler bug)");
  if (!info->can_error) return call;

  next_token(p, true, false, false);
  if (is_handler_token(p)) return read_error_handler(p, scope, call, info->errors);

  // Without a handler a failed read gives the default of the results.
  Value* results = call_result_values(call);
  Value* fallback = value_default(results->type);
  if (!fallback) return results;
  if (fallback->type->is_pointer_sized()) fallback->type = fallback->type->get_nullable();
  if (!call->err_code) build_error(b, "Missing error code value (bug)");
  Value* failed = value_compare(call->err_code, value_int(0, call->err_code->type), OP_NE, core_type(b, "bool"));
  return value_this_or_that(failed, fallback, results, fallback->type);
}

}  // namespace tesk
