#include "ir/data.h"

#include "driver/build.h"
#include "driver/errors.h"
#include "ir/context.h"
#include "ir/types.h"
#include "model/records.h"
#include "source/records.h"

namespace tesk {

StringConst* unit_string_const(Unit* unit, std::string_view text) {
  if (StringConst** found = unit->strings.find(text)) return *found;
  StringConst* sc = unit->build->make<StringConst>();
  sc->unit = unit;
  sc->text = std::string(text);
  sc->index = unit->string_counter++;
  unit->strings.set(text, sc);
  return sc;
}

void ir_string_global(IrUnit* u, StringConst* sc) {
  if (!sc->used || sc->emitted) return;
  sc->emitted = 1;
  static const char hex[] = "0123456789ABCDEF";
  u64 n = sc->text.size();
  TextWriter& w = u->strings_text;
  w << "@string.";
  w.append_u64(sc->index);
  w << " = private global <{ i64, i64, [";
  w.append_u64(n + 1);
  w << " x i8] }> <{ i64 0, i64 ";
  w.append_u64(n);
  w << ", [";
  w.append_u64(n + 1);
  w << " x i8] c\"";
  // Letters and digits stay; every other byte becomes \XX.
  std::string esc;
  esc.reserve(n * 3);
  for (unsigned char c : sc->text) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
      esc += static_cast<char>(c);
    } else {
      esc += '\\';
      esc += hex[c >> 4];
      esc += hex[c & 15];
    }
  }
  w << esc << "\\00\" }>\n";
}

void ir_declare_global(IrUnit* u, Global* g) {
  if (u->names.contains(g->ir_name)) return;
  u->names.set(g->ir_name, 1);
  u->globals.push_back(g);
  bool external = g->extern_ || g->unit != u->unit;
  if (!g->type) ir_error(u, "Missing IR global type (bug)");
  // A multi-value type has no single IR value a global could start with.
  if (g->type->kind == TYPE_MULTI)
    build_error(u->build, "A global cannot hold multiple values. Global: '" +
                              (g->display_name.empty() ? g->name : g->display_name) + "', type: '" +
                              g->type->to_text() + "'");
  TextWriter& w = u->globals_text;
  w << g->ir_name << " = " << (external ? "external " : "dso_local ");
  if (!g->shared) w << "thread_local(initialexec) ";
  w << "global " << ir_type(g->type);
  if (!external) w << " " << ir_zero_init(g->type);
  w << ", align 8\n";
}

void ir_vtable_global(IrUnit* u, Class* cls) {
  std::string name = cls->vtable_name();
  if (u->names.contains(name)) return;
  u->names.set(name, 1);
  Func* free_func = cls->get_function("gc_free");
  std::string free_ref = free_func ? ir_func_ref(u, free_func) : "null";
  TextWriter& w = u->globals_text;
  w << "@" << name << " = linkonce_odr constant { i64, ptr } { i64 ";
  w.append_u64(cls->size);
  w << ", ptr " << free_ref << " }, align 8\n";
}

std::string ir_zero_init(Type* type) {
  if (type->is_pointer_sized()) return "null";
  switch (type->kind) {
    case TYPE_STRUCT:
    case TYPE_CLASS: {
      u64 size = type->class_ ? type->class_->size : 0;
      std::string r = "[";
      r.reserve(size * 6 + 2);
      for (u64 i = 0; i < size; i++) {
        if (i > 0) r += ", ";
        r += "i8 0";
      }
      r += "]";
      return r;
    }
    case TYPE_ARRAY: {
      std::string r = "[";
      if (type->count > 0 && type->sub) {
        std::string item = ir_type(type->sub) + " " + ir_zero_init(type->sub);
        r.reserve(type->count * (item.size() + 2) + 2);
        for (u64 i = 0; i < type->count; i++) {
          if (i > 0) r += ", ";
          r += item;
        }
      }
      r += "]";
      return r;
    }
    case TYPE_FLOAT: return "0x0";
  }
  return "0";
}

}  // namespace tesk
