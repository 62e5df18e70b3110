#include "tools/doc.h"

#include <cstdio>
#include <string>
#include <vector>

#include "driver/cli.h"
#include "driver/errors.h"
#include "driver/stages.h"
#include "expr/read_value.h"
#include "lower/generated.h"
#include "model/access.h"
#include "model/generics.h"
#include "model/runtime.h"
#include "model/signatures.h"
#include "model/types.h"
#include "source/parser.h"
#include "source/records.h"
#include "util/fs.h"
#include "util/strings.h"

namespace tesk {

namespace {

void write_out(std::string_view s) { std::fwrite(s.data(), 1, s.size(), stdout); }

JsonPtr generic_names_json(const GenericNames& names) {
  JsonPtr list = json_array();
  for (auto& [name, entry] : names) json_push(*list, json_string(name));
  return list;
}

// A generic function is documented through one instance for placeholder Types named
// after its generic names, listed under the function's plain name.
Func* doc_placeholder(Func* generic) {
  Build* b = generic->build;
  Func* inst = get_generic_function(generic, placeholder_types(b, *generic->generic_names), nullptr);
  inst->in_docs = 1;
  inst->name = generic->name;
  return inst;
}

bool is_generic_func(const Func* f) { return f->is_generic && f->generic_names; }

// The generic functions (not methods) a namespace declares, in declaration order.
std::vector<Func*> namespace_generic_funcs(Namespace* ns) {
  std::vector<Func*> out;
  if (!ns->scope) return out;
  for (auto& [name, id] : ns->scope->identifiers) {
    Func* f = id && id->kind == IDENT_FUNC ? id->func : nullptr;
    if (f && is_generic_func(f) && !f->class_ && f->unit == ns->unit) out.push_back(f);
  }
  return out;
}

// A generic class counts as declared for the documentation: its placeholder instance,
// made later under the same name, then takes over its entry and its place.
bool class_in_docs(const Class* c) { return c->documented || (c->is_generic && c->generic_names && !c->generic_base); }

JsonPtr doc_class_json(Class* c, Func* fake, bool no_private) {
  JsonPtr obj = json_object();
  json_set(*obj, "act", doc_act_json(c->access));
  JsonPtr props = json_object();
  JsonPtr funcs = json_object();
  json_set(*obj, "properties", props);
  json_set(*obj, "functions", funcs);
  if (c->mode_base) json_set(*obj, "mode_for", json_string(c->mode_base->get_type()->to_text()));
  if (c->generic_names && !c->generic_names->empty()) json_set(*obj, "generics", generic_names_json(*c->generic_names));

  u64 index = 0;
  for (auto& [name, prop] : c->get_props()) {
    u64 at = index++;
    if (no_private && is_private_access(prop->access)) continue;
    if (at == 0 && name == "_VTABLE") continue;
    JsonPtr p = json_object();
    json_set(*p, "type", json_string(prop->type ? prop->type->to_text() : std::string()));
    json_set(*p, "act", doc_act_json(prop->access));
    json_set(*props, prop->name, p);
  }
  for (auto& [name, f] : c->funcs) {
    if (no_private && is_private_access(f->access)) continue;
    doc_function_json(*funcs, is_generic_func(f) ? doc_placeholder(f) : f, fake);
  }
  return obj;
}

// The value of an argument's default, read inside the fake function with the names of
// the documented function's signature in reach.
Value* read_default_value(FuncArg* arg, Func* func, Func* fake) {
  Parser* p = new_parser(arg->default_, nullptr);
  p->context->func = fake;
  p->context->unit = fake->file ? fake->file->unit : fake->unit;
  push_type_hint(p, arg->type);
  Scope* body = fake->get_ast()->scope;
  body->outer = func->decl_scope;
  return read_value(p, body, PRIO_ALL, 0);
}

}  // namespace

JsonPtr doc_act_json(AccessLevel access) { return json_string(access_level_sign(access)); }

JsonPtr doc_default_value_json(Value* value) {
  std::optional<std::string> text = value_doc_text(value);
  return json_string(text ? *text : std::string("..."));
}

void doc_function_json(JsonValue& object, Func* func, Func* fake) {
  if (!func->in_docs) return;
  JsonPtr obj = json_object();
  json_set(object, func->name, obj);
  // The declared generic names, then those that `$T` arguments introduce.
  JsonPtr generics = json_array();
  std::vector<std::string_view> names;
  auto add_name = [&](std::string_view name) {
    for (std::string_view n : names)
      if (n == name) return;
    names.push_back(name);
    json_push(*generics, json_string(std::string(name)));
  };
  if (func->generic_names)
    for (auto& [name, entry] : *func->generic_names) add_name(name);
  for (FuncArg* arg : func->args)
    if (arg->is_generic) add_name(arg->generic_name);
  if (!names.empty()) json_set(*obj, "generics", generics);
  json_set(*obj, "act", doc_act_json(func->access));
  json_set(*obj, "is_static", json_bool(func->static_ != 0));

  JsonPtr args = json_array();
  for (size_t i = 0; i < func->args.size(); i++) {
    FuncArg* arg = func->args[i];
    // The receiver of a method is implied.
    if (i == 0 && func->class_ && !func->static_) continue;
    JsonPtr a = json_object();
    json_push(*args, a);
    json_set(*a, "name", json_string(arg->name));
    json_set(*a, "type", json_string(arg->type ? arg->type->to_text() : std::string()));
    if (arg->default_) json_set(*a, "default-value", doc_default_value_json(read_default_value(arg, func, fake)));
  }
  json_set(*obj, "arguments", args);
  json_set(*obj, "return-type", json_string(func->return_type ? func->return_type->to_text() : std::string()));
  JsonPtr errors = json_array();
  if (func->errors)
    for (auto& [name, code] : *func->errors) json_push(*errors, json_string(name));
  json_set(*obj, "errors", errors);
}

JsonPtr doc_tree(Build* b, bool no_private) {
  JsonPtr root = json_object();
  JsonPtr namespaces = json_object();
  json_set(*root, "namespaces", namespaces);

  Package* pkg = get_main_namespace(b)->package;
  Func* fake = generated_code_func(b);
  fake->init_scope();

  for (auto& [ns_name, ns] : pkg->namespaces) {
    JsonPtr ns_obj = json_object();
    JsonPtr classes = json_object();
    JsonPtr funcs = json_object();
    JsonPtr globals = json_object();
    json_set(*ns_obj, "classes", classes);
    json_set(*ns_obj, "functions", funcs);
    json_set(*ns_obj, "globals", globals);
    json_set(*namespaces, ns_name, ns_obj);
    Unit* unit = ns->unit;
    if (!unit) continue;
    // Their placeholder instances join the unit's function list, after the others.
    for (Func* f : namespace_generic_funcs(ns)) doc_placeholder(f);

    // Lists are walked by index: reading a default value may add to them.
    for (size_t i = 0; i < unit->classes.size(); i++) {
      Class* c = unit->classes[i];
      if (no_private && is_private_access(c->access)) continue;
      if (!class_in_docs(c)) continue;
      json_set(*classes, c->name, doc_class_json(c, fake, no_private));
    }
    for (size_t i = 0; i < unit->funcs.size(); i++) {
      Func* f = unit->funcs[i];
      if (f->class_) continue;
      if (no_private && is_private_access(f->access)) continue;
      doc_function_json(*funcs, f, fake);
    }
    for (size_t i = 0; i < unit->globals.size(); i++) {
      Global* g = unit->globals[i];
      if (no_private && is_private_access(g->access)) continue;
      JsonPtr obj = json_object();
      json_set(*obj, "act", doc_act_json(g->access));
      json_set(*obj, "type", json_string(g->type ? g->type->to_text() : std::string()));
      json_set(*obj, "shared", json_bool(g->shared != 0));
      json_set(*globals, g->name, obj);
    }
  }
  return root;
}

std::string doc_output_path(std::string_view path, bool markdown) {
  std::string_view suffix = markdown ? ".md" : ".json";
  while (ends_with(path, ".exe")) path.remove_suffix(4);
  std::string out(path);
  if (!ends_with(out, suffix)) out = cat({out, ".doc", suffix});
  return out;
}

void doc_command(Build* b) {
  bool no_private = cli_has_flag(b->cli, "--no-private");
  bool markdown = cli_has_flag(b->cli, "--markdown");
  JsonPtr root = doc_tree(b, no_private);
  std::string text = markdown ? doc_markdown(*root) : json_encode(*root, true);

  std::optional<std::string> out = cli_arg_value(b->cli, "-o", true);
  if (!out) {
    write_out(text);
    write_out("\n");
    return;
  }
  std::string path = doc_output_path(*out, markdown);
  if (!write_file(path, text)) {
    write_out(cat({"Failed to write file: ", path, "\n"}));
    exit_process(1);
  }
}

std::string doc_usage_text() {
  return "\n"
         "# The doc generator will generate documentation for all namespaces\n"
         "# that are defined found in the {directory}/tesk.json config\n"
         "\n"
         "# Basic usage:\n"
         " tesk doc {directory}\n"
         "\n"
         "# Output markdown instead of json\n"
         " tesk doc {directory} --markdown\n"
         "\n"
         "# Output to file\n"
         " tesk doc {directory} -o {path}\n"
         "\n"
         "# Ignore private fields\n"
         " tesk doc {directory} --no-private\n"
         "\n"
         "# You can also use any argument that's used for 'build'\n"
         " tesk doc {directory} --def \"X=Y\" --static -vvv ...\n"
         "\n";
}

void doc_usage(int code) {
  write_out(doc_usage_text());
  exit_process(code);
}

}  // namespace tesk
