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

}  // namespace tesk
