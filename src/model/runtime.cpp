// Lookups of runtime-package items. Nothing is cached: each call repeats the steps.
#include "model/runtime.h"

#include <string>

#include "driver/build.h"
#include "driver/errors.h"
#include "model/class_reading.h"
#include "model/types.h"
#include "source/records.h"

namespace tesk {

Package* get_tesk_package(Build* b) {
  if (!b->tesk_package) build_error(b, "Cannot find tesk package (bug)");
  return b->tesk_package;
}

Namespace* get_main_namespace(Build* b) {
  if (!b->main_namespace) build_error(b, "Cannot find main:main namespace (bug)");
  return b->main_namespace;
}

Identifier* runtime_identifier(Build* b, std::string_view ns, std::string_view name) {
  Package* pkg = get_tesk_package(b);
  Namespace** nsp = pkg->namespaces.find(ns);
  if (!nsp || !*nsp) build_error(b, "Compiler bug | Missing tesk namespace: " + std::string(ns));
  Scope* scope = (*nsp)->scope;
  Identifier** id = scope ? scope->identifiers.find(name) : nullptr;
  if (!id || !*id) build_error(b, "Compiler bug | Missing tesk identifier: " + std::string(name));
  return *id;
}

Func* runtime_func(Build* b, std::string_view ns, std::string_view name) {
  Identifier* id = runtime_identifier(b, ns, name);
  if (!id->func) build_error(b, "Compiler bug | Identifier is not a function");
  return id->func;
}

Class* runtime_class(Build* b, std::string_view ns, std::string_view name) {
  Identifier* id = runtime_identifier(b, ns, name);
  if (!id->class_) build_error(b, "Compiler bug | Identifier is not a class");
  return id->class_;
}

Global* runtime_global(Build* b, std::string_view ns, std::string_view name) {
  Identifier* id = runtime_identifier(b, ns, name);
  if (!id->global) build_error(b, "Compiler bug | Identifier is not a global variable");
  return id->global;
}

Func* runtime_class_func(Build* b, std::string_view ns, std::string_view class_name, std::string_view func_name) {
  Class* c = runtime_class(b, ns, class_name);
  Func** f = c->funcs.find(func_name);
  if (!f || !*f) build_error(b, "Compiler bug | Missing tesk class function: " + std::string(func_name));
  return *f;
}

Type* runtime_class_type(Build* b, std::string_view ns, std::string_view name) {
  return runtime_class(b, ns, name)->get_type();
}

Type* runtime_u32_type(Build* b) { return runtime_class_type(b, "type", "u32"); }
Type* runtime_string_type(Build* b) { return runtime_class_type(b, "type", "String"); }

Type* runtime_array_string_type(Build* b) {
  Class* array = runtime_class(b, "type", "Array");
  Class* inst = get_generic_class(b, array, {runtime_string_type(b)});
  return inst->get_type();
}

}  // namespace tesk
