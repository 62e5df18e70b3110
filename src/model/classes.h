#pragma once
// Class construction and the Stage 2.4 check of index-operator functions. The other
// class operations are member functions of Class (records.h).
#include <string_view>

#include "model/records.h"

namespace tesk {

// An empty name makes an anonymous class ("anon_class_N" / "anon_struct_N").
Class* new_class(Unit* unit, SourceFile* file, AccessLevel access, std::string_view name, u64 kind,
                 GenericNames* generic_names, Chunk* body);
void check_offset_functions(Class* cls);
// The type holds GC references itself or inline: a class reference, a `fn` value, or an
// inline class, struct or fixed array whose properties or items (transitively) do.
bool holds_gc_refs(Type* t);
// The collector does not trace inline values: reading `<C>` for a class C that holds GC
// references is refused at `at` (deferred until the class sizes are known).
void check_inline_value_type(Parser* p, Type* t, Chunk* at);
void check_pending_inline_types(Build* b);

}  // namespace tesk
