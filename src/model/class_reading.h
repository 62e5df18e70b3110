#pragma once
// Stage 2 work that the model starts for classes it makes after Stage 2 (immutable
// variants, generic instances): class bodies, function signatures, generic instances.
#include <vector>

#include "model/records.h"

namespace tesk {

void read_class_body(Class* cls);
void read_class_mode(Class* cls);
void read_function_types(Func* func);
Class* get_generic_class(Build* b, Class* generic, const std::vector<Type*>& types);

}  // namespace tesk
