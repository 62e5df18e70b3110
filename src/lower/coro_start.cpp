// `co`: the coroutine entry function and the start code. Both are Tesk text against the
// runtime's `coro` namespace, read in the generated-code file with the compiler objects
// they need bound to upper-case placeholder names.
#include <string>

#include "driver/build.h"
#include "driver/errors.h"
#include "lower/generated.h"
#include "lower/lowering.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "model/types.h"
#include "source/parse_error.h"

namespace tesk {

namespace {

struct ArgFlags {
  bool plain = false;
  bool gc = false;
};

ArgFlags arg_flags(FuncInfo* sig) {
  ArgFlags f;
  for (Type* t : sig->args) {
    if (t->is_gc())
      f.gc = true;
    else
      f.plain = true;
  }
  return f;
}

bool has_results(FuncInfo* sig) { return !sig->rets.empty() && sig->rets[0]->kind != TYPE_VOID; }

// Bytes of the plain values among `types`, laid out one after the other.
u64 plain_bytes(const std::vector<Type*>& types, u64 count) {
  u64 bytes = 0;
  for (u64 i = 0; i < count && i < types.size(); i++)
    if (!types[i]->is_gc()) bytes += types[i]->size();
  return bytes;
}

}  // namespace

std::string coro_entry_code(FuncInfo* sig) {
  ArgFlags flags = arg_flags(sig);
  bool results = has_results(sig);
  bool gc_results = false;
  if (results)
    for (Type* t : sig->rets) gc_results = gc_results || t->is_gc();

  TemplateText c;
  c.add(") {\n");
  c.add("let coro = CURRENT_CORO.@cast(CORO_CLASS)\n");
  if (flags.plain) c.add("let args = coro.args.@cast(ptr)\n");
  if (flags.gc || gc_results) c.add("let gc_args = coro.gc_args\n");
  for (u64 i = 0; i < sig->args.size(); i++) {
    if (sig->args[i]->is_gc()) {
      c.add("let arg").add_number(i).add(" = (gc_args.pop_first() !? null.@cast(GCPTR)).@cast(T").add_number(i).add(
          ")\n");
    } else {
      c.add("let arg").add_number(i).add(" = @ptrv(").add("args").add(", T").add_number(i).add(")\n");
      c.add("args").add(" += size_of(T").add_number(i).add(")\n");
    }
  }
  if (results) {
    c.add("let ");
    for (u64 i = 0; i < sig->rets.size(); i++) {
      if (i > 0) c.add(", ");
      c.add("retv").add_number(i);
    }
    c.add(" = ");
  }
  c.add("(coro.handler.@cast(HANDLER_TYPE))(");
  for (u64 i = 0; i < sig->args.size(); i++) {
    if (i > 0) c.add(", ");
    c.add("arg").add_number(i);
  }
  c.add(")");
  if (sig->can_error) {
    c.add(" ! {\n").add("  coro.error_code = E.@cast(u32)\n").add("  coro.error_msg = EMSG\n");
    c.add("  coro.complete()\n").add("  return\n").add("}\n");
  }
  c.add("\n");
  if (results) {
    u64 offset = 0;
    for (u64 i = 0; i < sig->rets.size(); i++) {
      Type* t = sig->rets[i];
      if (t->is_gc()) {
        c.add("gc_args.append(").add("retv").add_number(i).add(".@cast(GCPTR))\n");
      } else {
        c.add("@ptrv(coro.args + ").add_number(offset).add(", RT").add_number(i).add(") = retv").add_number(i).add(
            "\n");
        offset += t->size();
      }
    }
  }
  c.add("coro.complete()\n").add("}\n");
  return c.text;
}

std::string coro_start_code(FuncInfo* sig, u64 arg_count) {
  ArgFlags flags = arg_flags(sig);
  TemplateText c;
  c.add("<{\n");
  // The arguments, in order, before CORO_CLASS.new allocates: a GC argument (a closure,
  // the source of HANDLER, among them) is then held by a GC local, not a register.
  u64 count = arg_count < sig->args.size() ? arg_count : sig->args.size();
  for (u64 i = 0; i < count; i++)
    c.add("let co_arg").add_number(i).add(" : ARG_T_").add_number(i).add(" = ARG_V_").add_number(i).add("\n");
  // The byte buffer holds the plain arguments first and the plain results later: it
  // takes the larger of the two.
  u64 arg_bytes = plain_bytes(sig->args, sig->args.size());
  u64 result_bytes = has_results(sig) ? plain_bytes(sig->rets, sig->rets.size()) : 0;
  u64 bytes = arg_bytes > result_bytes ? arg_bytes : result_bytes;
  c.add("let coro = CORO_CLASS.new(HANDLER, START_FUNC, ").add_number(bytes).add(")\n");
  if (flags.plain) c.add("let args = coro.args.@cast(ptr)\n");
  if (flags.gc) c.add("let gc_args = coro.gc_args\n");
  for (u64 i = 0; i < count; i++) {
    if (sig->args[i]->is_gc()) {
      c.add("gc_args.append(co_arg").add_number(i).add(".@cast(GCPTR))\n");
    } else {
      c.add("@ptrv(").add("args").add(", ARG_T_").add_number(i).add(") = co_arg").add_number(i).add("\n");
      c.add("args").add(" += size_of(ARG_T_").add_number(i).add(")\n");
    }
  }
  c.add("AWAIT_LAST_FUNC()\n").add("return coro\n").add("}\n");
  return c.text;
}

Value* coro_start_template(Parser* p, Scope* scope, Value* call) {
  Build* b = p->build;
  SourceFile* file = generated_code_file(b);

  if (!call->op1) parse_error(p, "Missing function call on value (coro-bug)");
  Value* handler = call->op1;
  FuncInfo* sig = handler->type ? handler->type->func_info : nullptr;
  if (!sig) parse_error(p, "Missing function info (coro-bug)");

  // Arguments beyond the signature (an @infinite function's extras) are dropped.
  if (call->values.size() > sig->args.size()) call->values.resize(sig->args.size());
  // Classifying here stops at a class reference without a class, before anything is made.
  arg_flags(sig);

  Func* enclosing = nullptr;
  for (Scope* s = scope; s; s = s->parent) {
    if (s->kind == SCOPE_FUNCTION) {
      enclosing = s->func;
      break;
    }
  }
  if (!enclosing) parse_error(p, "Coroutine initalization outside a function");

  ParseContext* ctx = p->context;
  Scope* ph = template_detached_scope(b);
  template_bind(ctx, ph, "CORO_CLASS", new_identifier_class(b, runtime_class(b, "coro", "Coro")));
  template_bind(ctx, ph, "AWAIT_LAST_FUNC", new_identifier_func(b, runtime_func(b, "coro", "await_last")));
  template_bind(ctx, ph, "GCPTR", new_identifier_type(b, runtime_class_type(b, "gc", "GcPtr")));
  template_bind(ctx, ph, "HANDLER_TYPE", new_identifier_type(b, handler->type));
  template_bind(ctx, ph, "CURRENT_CORO", new_identifier_global(b, runtime_global(b, "coro", "current_coro")));
  for (u64 i = 0; i < sig->args.size(); i++)
    template_bind(ctx, ph, "T" + std::to_string(i), new_identifier_type(b, sig->args[i]));
  for (u64 i = 0; i < sig->rets.size(); i++)
    template_bind(ctx, ph, "RT" + std::to_string(i), new_identifier_type(b, sig->rets[i]));
  template_bind(ctx, ph, "HANDLER", new_identifier_value(b, handler));

  std::string entry_text = coro_entry_code(sig);
  Unit* unit = generated_code_unit(b);
  std::string name = enclosing->export_name + "__coro_" + std::to_string(enclosing->coro_counter);
  enclosing->coro_counter++;

  TemplateFunc entry = template_new_function(unit, file, name, ph, entry_text);
  entry.parser->context->func = entry.func;
  template_bind(ctx, ph, "START_FUNC", new_identifier_func(b, entry.func));
  enclosing->called.push_back(entry.func);
  template_read_header(entry);

  // The start code writes what the entry function reads: both follow the signature, so
  // ARG_T_ names the parameter's Type (the argument was converted to it).
  for (u64 i = 0; i < call->values.size(); i++) {
    template_bind(ctx, ph, "ARG_T_" + std::to_string(i), new_identifier_type(b, sig->args[i]));
    template_bind(ctx, ph, "ARG_V_" + std::to_string(i), new_identifier_value(b, call->values[i]));
  }
  std::string start_text = coro_start_code(sig, call->values.size());

  link_scope_parent(ph, scope);
  ph->func = scope->func;
  Value* v = template_read_value(p, ph, start_text);
  v->type = co_type(b, &sig->rets, sig->errors);
  return v;
}

}  // namespace tesk
