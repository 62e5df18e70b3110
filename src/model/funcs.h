#pragma once
// Function, global, alias and enum construction; operator lookups. The other
// operations are member functions of the records (records.h).
#include <string_view>
#include <vector>

#include "model/records.h"

namespace tesk {

// An empty name makes an anonymous function ("anon_func_N", "<anonymous-function>").
Func* new_func(Unit* unit, SourceFile* file, SourceFile* code_file, AccessLevel access, std::string_view name,
               GenericNames* generic_names, Chunk* header, bool no_body);
Global* new_global(Unit* unit, SourceFile* file, AccessLevel access, std::string_view name,
                   std::string_view export_name, std::string_view display_name, Chunk* type_chunk,
                   Chunk* default_chunk, bool is_extern);
// Carries the allocation and opaque-call marks from every used function to all its
// callers, through cycles, until nothing changes (after the use-marking passes).
void propagate_call_marks(Build* b);
// A function of a generic class instance or a generic function instance: compiled for
// every instance, used or not.
inline bool is_instance_code(const Func* f) {
  return (f->class_ && f->class_->generic_base) || !f->generic_types.empty();
}
// First function of an operator list taking (left, right); null when none fits.
Func* find_operator_func(const std::vector<Func*>& funcs, Type* left, Type* right);

}  // namespace tesk
