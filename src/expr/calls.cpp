// Function calls: reading "(" arguments ")" after a value, the call node with its
// result items, closure calls, and the GC argument buffers.
#include <string>
#include <vector>

#include "driver/build.h"
#include "driver/errors.h"
#include "expr/access.h"
#include "expr/values.h"
#include "model/funcs.h"
#include "model/generics.h"
#include "model/runtime.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "stmt/control.h"

namespace tesk {

namespace {

void add_called(Func* caller, Func* callee) {
  for (Func* f : caller->called)
    if (f == callee) return;
  caller->called.push_back(callee);
}

bool needs_buffer(Scope* scope, Value* v) {
  if (!v->type || !v->type->is_gc()) return false;
  if (v->kind == VAL_STRING || v->kind == VAL_DECL || v->kind == VAL_NULL || v->kind == VAL_BUFFER_VALUE) return false;
  Func* f = scope->func;
  return f && !f->nobuffers;
}

// Whether evaluating `v` may run statements that assign a local of the caller: a value
// scope, a handler block, a reference handed to a callee. Closures copy what they
// capture, so a plain call cannot. Past `budget` nodes the answer is yes, which keeps
// the walk short on deep expressions.
bool may_assign_locals(Value* v, int& budget) {
  if (!v) return false;
  if (--budget < 0) return true;
  if (!v->pre_ast.empty() || v->kind == VAL_REFERENCE || v->kind == VAL_ASSIGN) return true;
  if (v->kind == VAL_CLASS_INIT && v->prop_values) {
    // Its scope holds only its own property stores; the values are what may assign.
    for (auto& entry : *v->prop_values)
      if (may_assign_locals(entry.second, budget)) return true;
    return false;
  }
  if (v->scope) return true;
  if (may_assign_locals(v->pre_value, budget) || may_assign_locals(v->op1, budget) ||
      may_assign_locals(v->op2, budget) || may_assign_locals(v->op3, budget))
    return true;
  for (Value* x : v->values)
    if (may_assign_locals(x, budget)) return true;
  return false;
}

bool may_assign_locals(Value* v) {
  int budget = 64;
  return may_assign_locals(v, budget);
}

// A GC local passed before a value that may assign that local: its old object would be
// held only in a register while the later value allocates, so it goes to a buffer too.
bool is_exposed_local(Scope* scope, Value* v) {
  if (v->kind != VAL_DECL || !v->type || !v->type->is_gc()) return false;
  Func* f = scope->func;
  return f && !f->nobuffers;
}

// `fresh`: a later value runs statements, whose ends free the temporaries they took;
// reusing one of those would let that value overwrite this buffer.
Value* make_buffer(Scope* scope, Value* v, bool fresh = false) {
  Func* f = scope->func;
  Decl* d = fresh ? f->new_temp_var(v->type, scope) : f->get_temp_var(v->type, scope);
  Value* bv = f->build->make_func_lived<Value>();
  bv->kind = VAL_BUFFER_VALUE;
  bv->op1 = v;
  bv->decl = d;
  bv->type = v->type;
  return bv;
}

}  // namespace

Value* read_call_on_value(Parser* p, Scope* scope, Value* callee, u8 after_co) {
  Func* current = scope->get_func();
  if (!current) parse_error(p, "Missing function in scope object (bug)");
  Type* callee_type = callee->type;
  if (!callee_type || !callee_type->func_info)
    parse_error(p, "Function call on a non-function value. Value type: " +
                       (callee_type ? callee_type->to_text() : std::string("none")));
  FuncInfo* info = callee_type->func_info;

  std::vector<Value*> args;
  if (callee->kind == VAL_FUNC && callee->op1) args.push_back(callee->op1);
  read_call_args(p, scope, callee, ")", args);

  if (callee->kind == VAL_FUNC && callee->func) {
    Func* func = callee->func;
    if (func->template_) {
      func = infer_generic_types(p, func, args);
      callee = value_func(func);
    }
    add_called(current, func);
    if (is_instance_code(func)) {
      if (!func->refusal.empty()) parse_error(p, func->refusal);
      if (!func->parsed) p->build->first_calls.try_emplace(func, Build::CallSite{chunk_here(p), current});
    }
    for (size_t i = args.size(); i < func->args.size(); i++) {
      FuncArg* arg = func->args[i];
      if (!arg->default_) break;
      args.push_back(check_call_arg(p, scope, func, arg, arg->default_));
    }
  } else {
    current->opaque_calls = 1;
  }

  if (args.size() < info->args.size())
    parse_error(p, "Not enough values to call this function. Function type: " + callee_type->to_text());

  if (callee->kind == VAL_FUNC && callee->func && callee->func->is_exit) {
    scope->did_exit = 1;
    scope->ends_unreachable = 1;
  }

  Value* call = value_function_call(p->build, scope, callee, std::move(args));
  if (info->can_error && !after_co) return read_error_handler(p, scope, call, info->errors);
  return call;
}

Value* value_function_call(Build* b, Scope* scope, Value* callee, std::vector<Value*> args) {
  if (!callee->type || !callee->type->func_info) build_error(b, "Function call on a non-function value");
  FuncInfo* info = callee->type->func_info;

  if (callee->kind == VAL_FUNC && callee->func) scope->note_call(callee->func);

  if (callee->type->kind == TYPE_FN) {
    // A closure is called through its function pointer, with itself as first argument.
    args.insert(args.begin(), callee);
    Class* closure = runtime_class(b, "core", "Closure");
    Property** outer = closure->props.find("outer_func");
    if (!outer) build_error(b, "Missing closure 'func' property (bug)");
    FuncInfo* fi = new_func_info(b);
    for (Value* a : args) fi->args.push_back(a->type);
    fi->rets = info->rets;
    if (info->errors) fi->errors = b->make<ErrorMap>(*info->errors);
    fi->infinite = info->infinite;
    fi->can_error = fi->errors && !fi->errors->empty();
    Value* fptr = value_prop(*outer, callee);
    fptr->type = fnptr_type(b, fi);
    callee = fptr;
    info = fi;
  }

  value_buffer_gc_args(scope, args);

  const std::vector<Type*>& rets = info->rets;
  Value* call = b->make_func_lived<Value>();
  call->kind = VAL_CALL;
  call->op1 = callee;
  call->values = std::move(args);
  call->type = multi_type(b, rets, false);

  if (rets.size() >= 2 || info->can_error) {
    for (size_t i = 0; i < rets.size(); i++) call->items.push_back(value_return_value(call, i, rets[i]));
  }
  if (info->can_error) {
    Type* u32 = runtime_class_type(b, "type", "u32");
    Type* str = runtime_class_type(b, "type", "String");
    call->err_code = value_return_value(call, rets.size(), u32);
    call->err_msg = value_return_value(call, rets.size() + 1, str);
    std::vector<Type*> all = rets;
    all.push_back(u32);
    all.push_back(str);
    call->type = multi_type(b, all, true);
  }
  return call;
}

void value_buffer_gc_args(Scope* scope, std::vector<Value*>& args) {
  // Locals before the last argument that may assign one are buffered as well.
  size_t assigning = 0;
  for (size_t i = args.size(); i > 1; i--) {
    if (may_assign_locals(args[i - 1])) {
      assigning = i - 1;
      break;
    }
  }
  for (size_t i = 0; i < args.size(); i++) {
    Value*& v = args[i];
    bool exposed = i < assigning;
    if (needs_buffer(scope, v) || (exposed && is_exposed_local(scope, v))) v = make_buffer(scope, v, exposed);
  }
}

bool value_buffer_gc_props(Scope* scope, OrderedMap<Value*>& values) {
  // GC values are all read before the object is made and the other values run: a local
  // among them is exposed to any value that may assign it.
  bool assigning = false;
  for (auto& entry : values) assigning = assigning || may_assign_locals(entry.second);
  for (auto& entry : values) {
    Value*& v = entry.second;
    if (needs_buffer(scope, v) || (assigning && is_exposed_local(scope, v))) v = make_buffer(scope, v, assigning);
  }
  return assigning;
}

Value* value_buffer_gc_value(Scope* scope, Value* v, bool fresh) {
  Func* f = scope->func;
  if (!f || f->nobuffers) return v;
  if (fresh) return make_buffer(scope, v, true);
  if (v->kind == VAL_BUFFER_VALUE && v->decl) {
    FuncAst* ast = f->get_ast();
    // A buffer whose temporary was released already: take the temporary back.
    if (ast->take_free_temp(v->decl)) return v;
  }
  return make_buffer(scope, v);
}

}  // namespace tesk
