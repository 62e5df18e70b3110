// `await`: waits for a coroutine and reads its results back out of the coroutine object,
// in the layout the entry function of `co` wrote them.
#include <string>

#include "driver/build.h"
#include "driver/errors.h"
#include "expr/values.h"
#include "lower/generated.h"
#include "lower/lowering.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "stmt/control.h"

namespace tesk {

namespace {

const char* zero_text(Type* t) { return t->is_pointer_sized() ? "null" : "0"; }

}  // namespace

std::string coro_await_code(const std::vector<Type*>& items) {
  u64 n = items.size();
  TemplateText c;
  c.add("<{\n").add("let coro = AWAIT_ON_VALUE.@cast(CORO_CLASS)\n").add("AWAIT_CORO_FUNC(coro)\n");
  c.add("if coro.error_code != 0 {\n");
  if (n > 0) {
    c.add("return ");
    for (u64 i = 0; i < n; i++) {
      if (i > 0) c.add(", ");
      c.add(zero_text(items[i])).add(".@cast(RETT").add_number(i).add(")");
    }
    c.add("\n");
  } else {
    c.add("  return 0\n");
  }
  c.add("}\n");
  u64 g = 0;
  u64 offset = 0;
  for (u64 i = 0; i < n; i++) {
    c.add("let retv").add_number(i).add(" = ");
    if (items[i]->is_gc()) {
      c.add("(coro.gc_args.get(").add_number(g).add(") !? null.@cast(GCPTR)).@cast(RETT").add_number(i).add(")\n");
      g++;
    } else {
      c.add("@ptrv(coro.args + ").add_number(offset).add(", RETT").add_number(i).add(")\n");
      offset += items[i]->size();
    }
  }
  if (n > 0) {
    c.add("return ");
    for (u64 i = 0; i < n; i++) {
      if (i > 0) c.add(", ");
      c.add("retv").add_number(i);
    }
    c.add("\n");
  } else {
    c.add("return 0\n");
  }
  c.add("}\n");
  return c.text;
}

Value* coro_await_template(Parser* p, Scope* scope, Value* co_value) {
  Build* b = p->build;
  generated_code_file(b);
  Func* func = p->context ? p->context->func : nullptr;
  if (!func) parse_error(p, "Missing function object in parser (bug)");
  Type* t = co_value->type;
  if (!t || t->kind != TYPE_CO) parse_error(p, "Cannot use await on this type: " + (t ? t->to_text() : std::string()));

  std::vector<Type*> items = t->items ? *t->items : std::vector<Type*>();
  ErrorMap* errors = t->errors ? t->errors : new_error_map(b);
  bool can_error = t->co_can_error;

  ParseContext* ctx = p->context;
  Scope* ph = template_child_scope(scope);
  Class* coro = runtime_class(b, "coro", "Coro");
  template_bind(ctx, ph, "CORO_CLASS", new_identifier_class(b, coro));
  template_bind(ctx, ph, "GCPTR", new_identifier_type(b, runtime_class_type(b, "gc", "GcPtr")));
  template_bind(ctx, ph, "AWAIT_ON_VALUE", new_identifier_value(b, co_value));
  Func* await_coro = runtime_func(b, "coro", "await_coro");
  template_bind(ctx, ph, "AWAIT_CORO_FUNC", new_identifier_func(b, await_coro));
  func->called.push_back(await_coro);
  for (u64 i = 0; i < items.size(); i++)
    template_bind(ctx, ph, "RETT" + std::to_string(i), new_identifier_type(b, items[i]));

  Value* r = template_read_value(p, ph, coro_await_code(items));

  Property* code = coro->get_prop("error_code");
  if (!code) parse_error(p, "Missing error_code property");
  Property* msg = coro->get_prop("error_msg");
  if (!msg) parse_error(p, "Missing error_msg property");
  // Typed by the property, immutable when the awaited value is. Both are read after the
  // template has run: a failed coroutine must reach AWAIT_CORO_FUNC too, or it is never
  // taken off the runtime's live list.
  r->err_code = value_copy(r, value_prop(code, co_value));
  r->err_msg = value_copy(r, value_prop(msg, co_value));

  if (can_error || peek_marker_token(p)) return read_error_handler(p, scope, r, errors);
  std::string message = "# Missing await error handler (" + p->chunk->file->path + " | line: " + std::to_string(p->line) + ")";
  return panic_on_error(p, scope, r, message);
}

}  // namespace tesk
