// Generic classes and functions: instances are made per list of Types, keyed by the
// name hash of the Types' export-form texts, so the same Types written in different
// files give one instance while Types differing in nullability or `imut` do not.
#include "model/generics.h"

#include "driver/build.h"
#include "driver/errors.h"
#include "driver/name_hash.h"
#include "expr/value.h"
#include "model/class_reading.h"
#include "model/classes.h"
#include "model/funcs.h"
#include "model/scope.h"
#include "model/type_reading.h"
#include "model/types.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "util/strings.h"

namespace tesk {

namespace {

constexpr u64 EXPORT_FORM = 1;

[[noreturn]] void expected(Parser* p, std::string_view what) {
  parse_error(p, cat({"Expected token: '", what, "', instead of: '", p->token(), "'"}));
}

bool at_symbol(Parser* p, std::string_view text) { return p->kind == TOK_SYMBOL && p->is(text); }

}  // namespace

GenericNames* read_generic_names(Parser* p) {
  Build* b = p->build;
  GenericNames* names = b->make<GenericNames>();
  for (;;) {
    if (next_token(p, true, false) != TOK_WORD) error_invalid_identifier(p);
    std::string_view name = p->token();
    if (names->contains(name)) parse_error(p, "Duplicate name for generic type");
    GenericName* g = b->make<GenericName>();
    g->name = std::string(name);
    names->set(g->name, g);
    next_token(p, true, false);
    if (at_symbol(p, ":")) {
      next_token(p, true, false);
      while (p->kind == TOK_WORD && p->is("PROP_TYPE")) {
        g->prop_type = 1;
        next_token(p, true, false);
      }
    }
    if (at_symbol(p, ",")) continue;
    if (at_symbol(p, "]")) return names;
    parse_error(p, cat({"Unexpected token: ", p->token()}));
  }
}

const std::string& generic_display_name(const std::vector<Type*>& types, std::string& buf, bool export_form) {
  buf.clear();
  buf += "[";
  for (size_t i = 0; i < types.size(); i++) {
    if (i) buf += ", ";
    buf += types[i]->to_text_ex(export_form ? EXPORT_FORM : 0);
  }
  buf += "]";
  return buf;
}

std::vector<Type*> placeholder_types(Build* b, const GenericNames& names) {
  std::vector<Type*> types;
  types.reserve(names.size());
  for (auto& [name, gname] : names) {
    Type* t = generic_type(b);
    t->name = name;
    types.push_back(t);
  }
  return types;
}

std::string generic_instance_key(const std::vector<Type*>& types) {
  std::string buf;
  return name_hash_text(generic_display_name(types, buf, true));
}

// ---------------------------------------------------------------------------------
// Classes

Class* get_generic_class(Build* b, Class* generic, const std::vector<Type*>& types) {
  if (!generic->generic_instances) build_error(b, "Missing class generic list (bug)");
  std::string key = generic_instance_key(types);
  if (Class** found = generic->generic_instances->find(key)) return *found;

  Class* inst = new_class(generic->unit, generic->file, generic->access, generic->name + "__" + key, generic->kind,
                          nullptr, generic->body);
  std::string buf;
  inst->name_position = generic->name_position;
  inst->body = generic->body;
  inst->display_name = generic->display_name + generic_display_name(types, buf, false);
  inst->generic_base = generic;
  inst->imut = generic->imut;
  inst->async = generic->async;
  inst->generic_types = b->make<std::vector<Type*>>(types);
  inst->generic_names = generic->generic_names;
  inst->extends = generic->extends;
  inst->is_mode = generic->is_mode;
  inst->mode_chunk = generic->mode_chunk;
  inst->slice = generic->slice;
  inst->documented = 0;

  // Registered before its body is read: the body may use the instance itself.
  generic->generic_instances->set(key, inst);

  inst->bind_generic_types();
  if (inst->is_mode) read_class_mode(inst);
  read_class_body(inst);

  // Reading a signature may make further instances; walk copies of the lists.
  std::vector<Func*> funcs;
  for (auto& [name, f] : inst->funcs) funcs.push_back(f);
  for (auto& [name, g] : inst->groups)
    for (auto& [fname, f] : g->funcs) funcs.push_back(f);
  for (Func* f : funcs) read_function_types(f);

  if (b->sizes_done && !inst->determine_size())
    build_error(b, "Cannot determine class size of: " + inst->get_type()->to_text());
  return inst;
}

void Class::bind_generic_types() {
  if (!generic_types || generic_types->empty()) return;
  if (!generic_names) build_error(build, "Missing class generic names (bug), class: " + display_name);
  size_t i = 0;
  for (auto& [name, g] : *generic_names) {
    if (i >= generic_types->size()) break;
    scope->set_identifier_in_build(build, name, new_identifier_type(build, (*generic_types)[i]));
    i++;
  }
}

// ---------------------------------------------------------------------------------
// Functions

Func* read_function_generic_args(Parser* p, Scope* scope, Func* generic) {
  if (!generic->generic_names) parse_error(p, "Missing function generic names (bug).");
  if (!generic->generic_instances) parse_error(p, "Missing function generic list (bug).");
  next_token(p, false, false);
  if (!p->is("[")) expected(p, "[");
  std::vector<Type*> types;
  types.reserve(generic->generic_names->size());
  size_t left = generic->generic_names->size();
  for (size_t i = 0; i < generic->generic_names->size(); i++) {
    types.push_back(read_type(p, scope, false, false));
    left--;
    next_token(p, true, true);
    if (!p->is(left == 0 ? "]" : ",")) expected(p, left == 0 ? "]" : ",");
  }
  return get_generic_function(generic, types, nullptr);
}

Func* get_generic_function(Func* generic, const std::vector<Type*>& types, const std::vector<std::string>* extra) {
  Build* b = generic->build;
  if (!generic->generic_instances) generic->generic_instances = b->make<OrderedMap<Func*>>();
  std::string key = generic_instance_key(types);
  if (Func** found = generic->generic_instances->find(key)) return *found;

  Func* inst = new_func(generic->unit, generic->file, generic->code_file, generic->access,
                        generic->export_name + "__" + key, nullptr, generic->header, false);
  std::string buf;
  inst->name_position = generic->name_position;
  inst->display_name = generic->display_name + generic_display_name(types, buf, false);
  inst->is_exit = generic->is_exit;
  inst->static_ = generic->static_;
  inst->header = generic->header;
  inst->body_chunk = generic->body_chunk;
  inst->class_ = generic->class_;
  set_decl_scope_parent(inst, generic->decl_scope ? generic->decl_scope->parent : nullptr);
  inst->generic_names = generic->generic_names;
  inst->in_docs = 0;
  if (extra) inst->extra_generic_names = 1;

  generic->generic_instances->set(key, inst);

  Scope* scope = inst->decl_scope;
  auto bind = [&](const std::string& name, Type* type) {
    scope->set_identifier_in_build(b, name, new_identifier_type(b, type));
    inst->generic_types.set(name, type);
  };
  size_t i = 0;
  if (generic->generic_names) {
    for (auto& [name, g] : *generic->generic_names) {
      if (i >= types.size()) build_error(b, "Missing generic type (bug#1)");
      bind(name, types[i]);
      i++;
    }
  }
  if (extra) {
    for (const std::string& name : *extra) {
      if (i >= types.size()) build_error(b, "Missing generic type (bug#2)");
      bind(name, types[i]);
      i++;
    }
  }
  if (generic->class_)
    scope->set_identifier_in_build(b, "SELF", new_identifier_type(b, generic->class_->get_type()));

  read_function_types(inst);
  return inst;
}

Func* infer_generic_types(Parser* p, Func* generic, const std::vector<Value*>& args) {
  std::vector<Type*> types;
  for (auto& [name, t] : generic->generic_types) types.push_back(t);
  std::vector<std::string> extra;
  for (size_t i = 0; i < generic->args.size(); i++) {
    FuncArg* arg = generic->args[i];
    if (!arg->is_generic) continue;
    if (i >= args.size()) parse_error(p, "Missing function call arguments");
    types.push_back(args[i]->type);
    extra.push_back(arg->generic_name);
  }
  return get_generic_function(generic, types, &extra);
}

}  // namespace tesk
