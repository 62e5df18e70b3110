// The GC property-visit function of a class: hands the address of each GC-reference
// property to the collector's callback, then lets the class's own `_props` visit the
// rest. Written as Tesk text against placeholders, read like any other function.
#include <string>

#include "driver/build.h"
#include "driver/errors.h"
#include "lower/generated.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "model/types.h"
#include "source/records.h"

namespace tesk {

namespace {

// Pointer to a class value, or fn. A class value without its class cannot be laid out:
// the process ends.
bool is_gc_property(Property* prop) {
  Type* t = prop->type;
  if (!t) return false;
  if (t->kind == TYPE_FN) return true;
  if (t->kind != TYPE_POINTER || !t->sub || t->sub->kind != TYPE_CLASS) return false;
  if (!t->sub->class_) fatal_build_error("Type has no class: " + t->to_text() + " (bug)");
  return true;
}

}  // namespace

Func* class_props_function(Class* cls) {
  if (cls->props_func) return cls->props_func;
  Func** own_entry = cls->funcs.find("_props");
  Func* own = own_entry ? *own_entry : nullptr;
  // Asked for every object made: a class without references is known not to need one.
  if (cls->no_gc_props) return own;

  TemplateText code;
  code.add("item: ptr, list: LIFO_TYPE, func: fnptr(ptr, LIFO_TYPE)()) {\n");
  bool any = false;
  for (auto& [name, prop] : cls->get_props()) {
    if (!is_gc_property(prop)) continue;
    any = true;
    code.add("func(item.@offset(").add_number(prop->offset).add("), list)\n");
  }
  if (!any) {
    cls->no_gc_props = 1;
    return own;
  }
  if (own) code.add("_PROPS(item.@cast(CLASS_TYPE), list, func)\n");
  code.add("}\n");

  Build* b = cls->build;
  Scope* placeholders = template_detached_scope(b);
  TemplateFunc t = template_new_function(cls->unit, cls->file, cls->name + ".LIST_PROPS", placeholders, code.text);
  t.func->reduced = 1;  // its locals get no GC frame slots
  ParseContext* ctx = b->make<ParseContext>();
  ctx->build = b;
  ctx->unit = t.func->unit;
  ctx->func = t.func;
  template_bind(ctx, placeholders, "LIFO_TYPE", new_identifier_type(b, runtime_class_type(b, "gc", "Lifo")));
  template_bind(ctx, placeholders, "CLASS_TYPE", new_identifier_type(b, cls->get_type()));
  if (own) template_bind(ctx, placeholders, "_PROPS", new_identifier_func(b, own));
  template_read_header(t);
  cls->props_func = t.func;
  return t.func;
}

}  // namespace tesk
