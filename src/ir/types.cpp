#include "ir/types.h"

#include "driver/errors.h"
#include "model/records.h"
#include "source/records.h"

namespace tesk {

std::string ir_int_type(u64 size) {
  switch (size) {
    case 1: return "i8";
    case 2: return "i16";
    case 4: return "i32";
    case 8: return "i64";
  }
  return "-unknown-int-size-" + std::to_string(size);
}

std::string ir_float_type(u64 size) {
  if (size == 4) return "float";
  if (size == 8) return "double";
  return "-unknown-float-size-" + std::to_string(size);
}

std::string ir_type(Type* type) {
  switch (type->kind) {
    case TYPE_VOID: return "void";
    case TYPE_POINTER:
    case TYPE_NULL:
    case TYPE_RAW_POINTER:
    case TYPE_FNPTR:
    case TYPE_FN:
    case TYPE_CO:
    case TYPE_REFERENCE: return "ptr";
    case TYPE_STRUCT:
    case TYPE_CLASS: return "[" + std::to_string(type->size()) + " x i8]";
    case TYPE_INT: return ir_int_type(type->size());
    case TYPE_FLOAT: return ir_float_type(type->size());
    case TYPE_ARRAY:
      if (!type->sub) build_error(type->build, "Missing array-type in IR conversion (bug)");
      return "[" + std::to_string(type->count) + " x " + ir_type(type->sub) + "]";
    case TYPE_ERROR: return "i32";
    case TYPE_MULTI:
      if (!type->items) build_error(type->build, "Missing types for grouped types object (bug)");
      return ir_return_type(*type->items);
    case TYPE_BOOL: return "i1";
  }
  build_error(type->build, "Cannot convert type to IR-type: " + type->to_text());
}

std::string ir_return_type(const std::vector<Type*>& types) {
  if (types.empty()) return "void";
  if (types.size() == 1) return ir_type(types[0]);
  std::string r = "{";
  for (size_t i = 0; i < types.size(); i++) {
    if (i > 0) r += ", ";
    r += ir_type(types[i]);
  }
  r += "}";
  return r;
}

void ir_param(TextWriter& w, Type* type, std::string_view name) {
  w << ir_type(type) << " noundef";
  if (type->is_pointer_sized() && !type->nullable) w << " nonnull";
  if (!name.empty()) w << " " << name;
}

void ir_func_header(TextWriter& w, Func* func, bool declare, bool with_prefix) {
  if (with_prefix) w << "declare " << ir_type(func->ir_return_type) << " @" << func->export_name;
  w << "(";
  bool first = true;
  for (FuncArg* arg : func->args) {
    if (!first) w << ", ";
    first = false;
    Decl* d = arg->decl;
    if (declare) {
      ir_param(w, d->type, {});
    } else if (d->is_arg && d->in_memory) {
      ir_param(w, d->type, d->ir_name + "_init");
    } else {
      ir_param(w, d->type, d->ir_name);
    }
  }
  if (func->varargs) {
    if (!first) w << ", ";
    w << "...";
  }
  if (declare) {
    w << ")\n";
    return;
  }
  w << ")";
  if (func->inline_) w << " alwaysinline";
  if (func->hot) w << " hot";
  w << " {\n";
}

void declare_used_func(IrUnit* u, Func* func) {
  if (func->template_ || func->is_generic) return;
  if (!func->used) return;
  if (!func->no_body && func->unit == u->unit) return;
  if (u->funcs_set.count(func)) return;
  std::string name = "@" + func->export_name;
  if (u->names.contains(name)) return;
  u->names.set(name, 1);
  ir_func_header(u->decls, func, true, true);
  u->funcs.push_back(func);
  u->funcs_set.insert(func);
}

std::string ir_func_ref(IrUnit* u, Func* func) {
  declare_used_func(u, func);
  return "@" + func->export_name;
}

}  // namespace tesk
