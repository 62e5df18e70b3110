// Lookups of runtime-package items.
#include "model/runtime.h"

#include <new>
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

// Where a lookup found its result: the positions of the namespace in the package and of
// the name in the namespace's scope. A hit is taken only after checking that those
// entries still hold exactly the keys asked for, so it gives what a fresh lookup would,
// whatever was added, overwritten or erased since.
struct RuntimeSlot {
  Package* pkg = nullptr;
  u32 ns_pos = 0;
  u32 id_pos = 0;
};

namespace {

constexpr size_t kRuntimeSlots = 256;

size_t runtime_slot_index(std::string_view ns, std::string_view name) {
  size_t h = name.size() * 131 + ns.size();
  if (!name.empty()) h = h * 31 + u8(name[0]) * 7 + u8(name.back()) + u8(name[name.size() / 2]) * 3;
  if (!ns.empty()) h = h * 17 + u8(ns[0]);
  return h & (kRuntimeSlots - 1);
}

Identifier* runtime_cached(Package* pkg, const RuntimeSlot& slot, std::string_view ns, std::string_view name) {
  if (slot.pkg != pkg) return nullptr;
  const auto& nss = pkg->namespaces.entries();
  if (slot.ns_pos >= nss.size() || nss[slot.ns_pos].first != ns) return nullptr;
  Namespace* n = nss[slot.ns_pos].second;
  if (!n || !n->scope) return nullptr;
  const auto& ids = n->scope->identifiers.entries();
  if (slot.id_pos >= ids.size() || ids[slot.id_pos].first != name) return nullptr;
  return ids[slot.id_pos].second;
}

}  // namespace

Identifier* runtime_identifier(Build* b, std::string_view ns, std::string_view name) {
  Package* pkg = get_tesk_package(b);
  if (!b->runtime_slots) {
    b->runtime_slots = static_cast<RuntimeSlot*>(b->arena.alloc(kRuntimeSlots * sizeof(RuntimeSlot), alignof(RuntimeSlot)));
    for (size_t i = 0; i < kRuntimeSlots; i++) new (&b->runtime_slots[i]) RuntimeSlot();
  }
  RuntimeSlot& slot = b->runtime_slots[runtime_slot_index(ns, name)];
  if (Identifier* id = runtime_cached(pkg, slot, ns, name)) return id;
  size_t ns_pos = pkg->namespaces.index_of(ns);
  Namespace* n = ns_pos == OrderedMap<Namespace*>::npos ? nullptr : pkg->namespaces.entries()[ns_pos].second;
  if (!n) build_error(b, "Compiler bug | Missing tesk namespace: " + std::string(ns));
  Scope* scope = n->scope;
  size_t id_pos = scope ? scope->identifiers.index_of(name) : IdentifierMap::npos;
  Identifier* id = id_pos == IdentifierMap::npos ? nullptr : scope->identifiers.entries()[id_pos].second;
  if (!id) build_error(b, "Compiler bug | Missing tesk identifier: " + std::string(name));
  slot = RuntimeSlot{pkg, u32(ns_pos), u32(id_pos)};
  return id;
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
