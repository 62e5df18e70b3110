// Classes: construction, names, Types, members, operator lookups and immutable variants.
#include "model/classes.h"

#include <string>
#include <vector>

#include "driver/build.h"
#include "driver/errors.h"
#include "model/class_reading.h"
#include "model/funcs.h"
#include "model/runtime.h"
#include "model/scope.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "source/records.h"
#include "source/units.h"

namespace tesk {

Class* new_class(Unit* unit, SourceFile* file, AccessLevel access, std::string_view name, u64 kind,
                 GenericNames* generic_names, Chunk* body) {
  Build* b = unit->build;
  Class* c = b->make<Class>();
  c->unit = unit;
  c->build = b;
  c->file = file;
  c->access = access;
  c->body = body;
  c->kind = kind;

  Scope* file_scope = file ? file->scope : nullptr;
  c->scope = make_scope(SCOPE_CLASS, b, file_scope);

  bool anonymous = name.empty();
  if (anonymous) {
    c->name = (kind == CLASS_STRUCT ? "anon_struct_" : "anon_class_") + std::to_string(b->anon_counter);
    b->anon_counter++;
  } else {
    c->name = std::string(name);
  }
  Namespace* ns = file ? file->ns : nullptr;
  c->export_name = ns ? export_name(ns, c->name) : c->name;

  Namespace* main_ns = get_main_namespace(b);
  Package* pkg = ns ? ns->package : nullptr;
  if (!pkg || pkg == main_ns->package || pkg->name == "tesk") {
    if (anonymous)
      c->display_name = kind == CLASS_STRUCT ? "<anonymous-struct>" : "<anonymous-class>";
    else
      c->display_name = c->name;
  } else {
    c->display_name = display_name(ns, c->name);
  }

  c->generic_names = generic_names;
  if (generic_names) {
    c->is_generic = 1;
    c->documented = 0;
    c->generic_instances = b->make<OrderedMap<Class*>>();
  } else {
    c->documented = 1;
  }

  b->classes.push_back(c);
  unit->classes.push_back(c);
  return c;
}

Type* Class::get_type() {
  if (type_cache) return type_cache;
  u64 tk = 0;
  switch (kind) {
    case CLASS_CLASS: tk = TYPE_CLASS; break;
    case CLASS_STRUCT: tk = TYPE_STRUCT; break;
    case CLASS_POINTER: tk = TYPE_RAW_POINTER; break;
    case CLASS_INTEGER: tk = TYPE_INT; break;
    case CLASS_FLOAT: tk = TYPE_FLOAT; break;
    case CLASS_BOOLEAN: tk = TYPE_BOOL; break;
    default: build_error(build, "Unknown type in function Class.get_type() (compiler bug)");
  }
  Type* t = new_type(build, tk);
  t->class_ = this;
  t->signed_ = signed_;
  t->imut = imut;
  if (is_structured()) {
    Type* ref = new_type(build, TYPE_POINTER);
    ref->sub = t;
    t = ref;
  }
  type_cache = t;
  return t;
}

// ---------------------------------------------------------------------------------
// Members

Property* Class::add_prop(std::string_view prop_name, Type* type) {
  Property* p = build->make<Property>();
  p->name = std::string(prop_name);
  p->type = type;
  p->class_ = this;
  p->access = ACCESS_DEFAULT;
  props.set(prop_name, p);
  return p;
}

Property* Class::get_prop(std::string_view prop_name) {
  if (Property** p = props.find(prop_name)) return *p;
  if (mode_base && !funcs.contains(prop_name)) {
    if (Property** p = mode_base->props.find(prop_name)) return *p;
  }
  return nullptr;
}

OrderedMap<Property*>& Class::get_props() {
  Class* root = this;
  while (root->mode_base) root = root->mode_base;
  return root->props;
}

Func* Class::get_function(std::string_view func_name) {
  if (Func** f = funcs.find(func_name)) return *f;
  if (mode_base) {
    if (Func** f = mode_base->funcs.find(func_name)) return *f;
  }
  return nullptr;
}

OrderedMap<Func*> Class::get_functions() {
  OrderedMap<Func*> out;
  if (mode_base)
    for (auto& [n, f] : mode_base->funcs) out.set(n, f);
  for (auto& [n, f] : funcs) out.set(n, f);
  return out;
}

Group* Class::get_group(std::string_view group_name) {
  if (Group** g = groups.find(group_name)) return *g;
  if (mode_base) {
    if (Group** g = mode_base->groups.find(group_name)) return *g;
  }
  return nullptr;
}

Func* Class::find_to_function(Type* wanted) {
  Class* wanted_class = wanted->get_class();
  for (Func* f : to_funcs) {
    Type* rt = f->return_type;
    if (!rt) continue;
    if (!wanted->compat(rt, 0)) continue;
    if (rt->get_class() != wanted_class) continue;
    return f;
  }
  return nullptr;
}

Func* Class::find_add_function(Type* right) {
  for (Func* f : add_funcs) {
    if (f->args.empty()) continue;
    if (f->args[0]->type->compat(right, 0)) return f;
  }
  Class* rc = right->get_class();
  if (!rc) return nullptr;
  for (Func* f : add_funcs) {
    if (f->args.empty()) continue;
    if (rc->find_to_function(f->args[0]->type)) return f;
  }
  return nullptr;
}

Func* find_operator_func(const std::vector<Func*>& funcs, Type* left, Type* right) {
  for (Func* f : funcs) {
    if (f->args.size() < 2) continue;
    if (f->args[0]->type->compat(left, 0) && f->args[1]->type->compat(right, 0)) return f;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------------
// Use

namespace {

bool holds_gc_refs_in(Type* t, std::vector<Class*>& seen) {
  if (!t) return false;
  if (t->is_gc()) return true;
  if (t->kind == TYPE_ARRAY) return holds_gc_refs_in(t->sub, seen);
  if (!t->is_inline_class() || !t->class_) return false;
  Class* c = t->class_;
  for (Class* s : seen)
    if (s == c) return false;
  seen.push_back(c);
  for (auto& [name, prop] : c->get_props())
    if (holds_gc_refs_in(prop->type, seen)) return true;
  return false;
}

[[noreturn]] void refuse_inline_value(Parser* p, Type* t, Chunk* at) {
  std::string message = "Inline values of a class that holds GC references are not supported: " + t->to_text();
  if (p) parse_error(p, message);
  Parser* q = new_parser(at, nullptr);
  set_chunk(q, at);
  parse_error(q, message);
}

}  // namespace

bool holds_gc_refs(Type* t) {
  std::vector<Class*> seen;
  return holds_gc_refs_in(t, seen);
}

void check_inline_value_type(Parser* p, Type* t, Chunk* at) {
  if (!t->is_inline_class() && t->kind != TYPE_ARRAY) return;
  Build* b = p->build;
  if (!b->sizes_done) {
    b->pending_inline_types.push_back({at, t});
    return;
  }
  if (holds_gc_refs(t)) refuse_inline_value(p, t, at);
}

void check_pending_inline_types(Build* b) {
  for (auto& [at, t] : b->pending_inline_types)
    if (holds_gc_refs(t)) refuse_inline_value(nullptr, t, at);
  b->pending_inline_types.clear();
}

void Class::mark_used() {
  if (used) return;
  if (!used_noted) build->new_class_used = 1;
  used = 1;
  used_noted = 1;
  if (unit) unit->used = 1;
  if (Func** f = funcs.find("gc_action")) (*f)->mark_used();
  if (Func** f = funcs.find("gc_free")) (*f)->mark_used();
}

// ---------------------------------------------------------------------------------
// Immutable variants

Class* Class::get_imut() {
  if (imut_variant) return imut_variant;
  Class* v = new_class(unit, file, access, name, kind, nullptr, body);
  v->name = "imut_" + name;
  v->export_name = "imut_" + export_name;
  v->display_name = "imut " + display_name;
  v->body = body;
  v->mutable_class = this;
  v->imut = 1;
  v->is_generic = is_generic;
  v->generic_names = generic_names;
  v->generic_types = generic_types;
  v->slice = slice;
  v->packed = packed;
  imut_variant = v;

  if (v->is_generic) {
    v->generic_instances = build->make<OrderedMap<Class*>>();
    return v;
  }
  if (v->generic_types && !v->generic_types->empty()) v->bind_generic_types();
  read_class_body(v);
  // Signatures of the functions read so far; the list is copied since reading may add.
  std::vector<Func*> fns;
  for (auto& [n, f] : v->funcs) fns.push_back(f);
  for (Func* f : fns) read_function_types(f);
  if (build->sizes_done && !v->determine_size())
    build_error(build, "Cannot determine class size of: " + v->get_type()->to_text());
  return v;
}

void check_offset_functions(Class* cls) {
  if (Func* f = cls->offset_func) {
    Build* b = cls->build;
    if (f->args.empty())
      build_error(b, "The $offset function '" + f->display_name + "' must have atleast 1 argument");
    std::vector<Type*> rets;
    Type* rt = f->return_type;
    if (rt) {
      if (rt->kind == TYPE_MULTI) {
        if (rt->items) rets = *rt->items;
      } else if (!kind_in(rt->kind, KINDS_NO_VALUE)) {
        rets.push_back(rt);
      }
    }
    if (rets.size() != 1) build_error(b, "The $offset function '" + f->display_name + "' can only have 1 return type");
    if (rets[0]->kind == TYPE_VOID)
      build_error(b, "The $offset function '" + f->display_name + "' cannot have a 'void' return type");
  }
  if (Func* g = cls->offset_assign_func) {
    if (g->args.size() < 2)
      build_error(cls->build, "The $offset_assign function '" + g->display_name + "' must have atleast 2 argument");
  }
}

}  // namespace tesk
