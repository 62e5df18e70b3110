// Closures: captured outer variables, the data class and the wrapper function.
#include <string>

#include "driver/build.h"
#include "driver/errors.h"
#include "expr/access.h"
#include "expr/literals.h"
#include "expr/values.h"
#include "irgen/irgen.h"
#include "lower/generated.h"
#include "lower/lowering.h"
#include "model/classes.h"
#include "model/funcs.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "model/types.h"
#include "stmt/control.h"
#include "stmt/stage3.h"
#include "stmt/statements.h"

namespace tesk {

namespace {

bool lists_decl(Scope* s, Decl* d) {
  if (d->listed_body == s->serial) return true;
  for (Decl* x : s->decls)
    if (x == d) return true;
  return false;
}

Class* closure_class(Build* b) { return runtime_class(b, "core", "Closure"); }

// Results R as one Type: void, the only Type, or a multi.
Type* results_type(Build* b, const std::vector<Type*>& rets) { return multi_type(b, rets, false); }

}  // namespace

Func* find_declaring_function(Decl* decl, Scope* scope) {
  for (Scope* s = scope; s; s = s->parent) {
    if (s->kind == SCOPE_FUNCTION && lists_decl(s, decl)) return s->func;
  }
  return nullptr;
}

Decl* capture_outer_variable(Decl* outer, Type* type, Scope* scope) {
  // Outermost (declaring) function first, the function being read last.
  std::vector<Func*> chain;
  for (Scope* s = scope; s; s = s->parent) {
    if (s->kind != SCOPE_FUNCTION) continue;
    if (Func* f = s->func) {
      if (s == f->get_ast()->scope) chain.insert(chain.begin(), f);
    }
    if (lists_decl(s, outer)) break;
  }
  if (outer->name.empty()) fatal_build_error("Missing extern variable name (bug)");

  Decl* current = outer;
  for (size_t i = 1; i < chain.size(); i++) {
    Func* f = chain[i];
    FuncAst* ast = f->get_ast();
    ast->captured.push_back(current);
    Decl* n = type->build->make<Decl>();
    n->name = outer->name;
    n->type = type;
    n->is_arg = 1;
    n->is_bind = 1;
    n->is_gc = type->is_gc();  // a class reference without a class ends the process here
    n->in_memory = type->is_inline();
    FuncArg* arg = type->build->make<FuncArg>();
    arg->name = outer->name;
    arg->type = type;
    arg->decl = n;
    f->args.push_back(arg);
    ast->scope->add_decl(n);
    if (!ast->scope->identifiers.find(outer->name)) {
      ast->scope->identifiers.set(outer->name, new_identifier_decl(type->build, n));
    }
    current = n;
  }
  return current;
}

Class* closure_data_class(Build* b, Unit* unit, const std::vector<Value*>& captured) {
  SourceFile* file = generated_code_file(b);
  Class* cls = new_class(unit, file, ACCESS_PUBLIC, "", CLASS_CLASS, nullptr, nullptr);
  for (size_t i = 0; i < captured.size(); i++) {
    Property* prop = cls->add_prop("data_" + std::to_string(i), captured[i]->type);
    prop->access = ACCESS_PUBLIC;
    captured[i]->closure_prop = prop;
  }
  if (!cls->determine_size()) build_error(b, "Cannot determine closure data class size (bug)");
  return cls;
}

Func* closure_function(Func* enclosing, Value* func_value, FuncInfo* info, Class* data_class,
                       const std::vector<Value*>& captured) {
  Build* b = enclosing->build;
  Func* w = new_func(enclosing->unit, enclosing->file, enclosing->file, ACCESS_PUBLIC, "", nullptr, nullptr, false);

  Class* closure = closure_class(b);
  FuncArg* closure_obj = w->add_arg("closure_obj", closure->get_type());

  // A function value that is no constant function travels in the data object too (see
  // value_closure); it is no argument of the closure function.
  Value* stored_callee = func_value->closure_prop ? func_value : nullptr;
  u64 data_count = data_class ? data_class->props.size() - (stored_callee ? 1 : 0) : 0;
  // The captured values are the trailing arguments of the closure function; a data class
  // with more of them than the function has arguments cannot come from this function.
  if (data_count > info->args.size()) build_error(b, "Closure data does not fit its function (bug)");
  u64 k = info->args.size() - data_count;
  for (u64 i = 0; i < k; i++) w->add_arg("arg" + std::to_string(i), info->args[i]);

  w->return_type = results_type(b, info->rets);
  std::vector<Type*> full = info->rets;
  if (info->can_error) {
    full.push_back(runtime_class_type(b, "type", "u32"));
    full.push_back(runtime_class_type(b, "type", "String"));
  }
  w->ir_return_type = results_type(b, full);
  w->can_error = info->can_error;
  w->errors = info->errors ? b->make<ErrorMap>(*info->errors) : new_error_map(b);
  w->varargs = info->infinite;

  ParseContext* ctx = context_for_func(w);
  w->init_scope();
  FuncAst* ast = w->get_ast();
  Scope* body = ast->scope;

  std::vector<Value*> args;
  args.reserve(w->args.size() - 1 + captured.size());
  for (size_t i = 1; i < w->args.size(); i++) args.push_back(value_decl(w->args[i]->decl));
  Value* callee = func_value;
  if (data_class && !captured.empty()) {
    Property** data = closure->props.find("data");
    if (!data) build_error(b, "Missing closure 'data' property (bug)");
    Value* obj = value_prop(*data, value_decl(closure_obj->decl));
    for (Value* c : captured) {
      if (c == stored_callee) {
        callee = value_prop(c->closure_prop, obj);
        callee->type = func_value->type;
      } else if (c->closure_prop) {
        args.push_back(value_prop(c->closure_prop, obj));
      }
    }
  }

  Value* call = value_function_call(b, body, callee, args);
  Value* results = call;
  if (info->can_error) results = pass_error_up(ctx, body, call);
  if (!info->rets.empty()) {
    check_return_values(ctx, w, body, results);
  } else {
    append_value_statement(body, results);
    std::vector<Value*> defaults;
    Type* frt = w->ir_return_type;
    if (frt->kind == TYPE_MULTI && frt->items) {
      for (Type* t : *frt->items)
        if (!kind_in(t->kind, KINDS_NO_VALUE)) defaults.push_back(value_default(t));
    } else if (!kind_in(frt->kind, KINDS_NO_VALUE)) {
      defaults.push_back(value_default(frt));
    }
    append_return(w, body, value_group(b, defaults, 0));
  }

  w->parsed = 1;
  layout_gc_slots(w);
  insert_gc_frame(w);
  build_func_ir(w);
  w->drop_ast();
  return w;
}

Value* value_closure(ParseContext* ctx, Value* func_value, const std::vector<Value*>& captured, Scope* scope) {
  FuncInfo* info = func_value->type ? func_value->type->func_info : nullptr;
  if (!info) error_at(ctx, "Trying to initalize closure for a non-function value");
  Build* b = ctx->build;
  Func* enclosing = scope->func;
  if (!enclosing) build_error(b, "Missing closure parent function (bug)");

  Type* gcptr = runtime_class_type(b, "gc", "GcPtr");
  Value* data = value_null(gcptr);
  Class* data_class = nullptr;
  // The wrapper is another function: it can name a constant function, but a function
  // pointer computed here (a local, a property, a call result) must reach it through
  // the data object, as the value after the captured ones.
  std::vector<Value*> stored = captured;
  if (func_value->kind != VAL_FUNC) stored.push_back(func_value);
  if (!stored.empty()) {
    data_class = closure_data_class(b, enclosing->unit, stored);
    auto* props = b->make_func_lived<OrderedMap<Value*>>();
    for (size_t i = 0; i < stored.size(); i++) props->set("data_" + std::to_string(i), stored[i]);
    data = value_class_init(ctx, data_class, scope, nullptr, props);
    data->type = gcptr;
  }

  Class* closure = closure_class(b);
  Func* w = closure_function(enclosing, func_value, info, data_class, stored);
  enclosing->called.push_back(w);

  Value* outer_func = value_func(w);
  auto* props = b->make_func_lived<OrderedMap<Value*>>();
  props->set("outer_func", outer_func);
  props->set("data", data);
  Value* obj = value_class_init(ctx, closure, scope, nullptr, props);

  FuncInfo* fi = new_func_info(b);
  for (size_t i = 1; i < w->args.size(); i++) fi->args.push_back(w->args[i]->type);
  fi->rets = info->rets;
  fi->errors = b->make<ErrorMap>(*w->errors);
  fi->infinite = w->varargs;
  fi->can_error = !fi->errors->empty();
  return value_cast(obj, fn_type(b, fi));
}

Value* value_closure_stub(ParseContext* ctx, Value* func_value, Scope* scope) {
  return value_closure(ctx, func_value, {}, scope);
}

}  // namespace tesk
