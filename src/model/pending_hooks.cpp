// Stand-ins for work of later stages that the model calls into. Each raises a build
// error until its real definition arrives; remove the stand-in then.
#include "driver/build.h"
#include "driver/errors.h"
#include "model/class_reading.h"
#include "model/gc_frame.h"
#include "model/lowering_hooks.h"
#include "model/scope.h"
#include "model/types.h"
#include "model/type_reading.h"
#include "source/records.h"

namespace tesk {

void layout_gc_slots(Func* func) { build_error(func->build, "layout_gc_slots not available yet"); }
void insert_gc_frame(Func* func) { build_error(func->build, "insert_gc_frame not available yet"); }
void declare_test_entry(FuncAst* ast) { build_error(ast->build, "declare_test_entry not available yet"); }

// The fake function without the generated-code file, which the lowering code brings.
Func* generated_code_func(Build* b) {
  if (!b->main_namespace) build_error(b, "Cannot find main:main namespace (bug)");
  if (!b->generated_unit) build_error(b, "Cannot find unit for generated functions (bug)");
  Func* f = b->make<Func>();
  f->unit = b->generated_unit;
  f->build = b;
  f->name = f->export_name = f->display_name = "fake";
  f->access = 0;
  f->return_type = f->ir_return_type = void_type(b);
  f->errors = new_error_map(b);
  f->decl_scope = make_scope(SCOPE_FUNCTION, b, nullptr);
  return f;
}

// Classes whose properties need a generated visit function wait for the lowering code.
Func* class_props_function(Class* cls) {
  if (cls->props_func) return cls->props_func;
  for (auto& [name, prop] : cls->get_props()) {
    if (prop->type && prop->type->is_gc()) build_error(cls->build, "class_props_function not available yet");
  }
  Func** own = cls->funcs.find("_props");
  return own ? *own : nullptr;
}

}  // namespace tesk
