#pragma once
// Queries on the Type of a Value that the value and statement readers make.
#include <vector>

#include "model/records.h"

namespace tesk {

Class* value_get_class(Value* v);
bool value_is_multi(Value* v);
bool value_is_assignable(Value* v);
// A GC reference that is not already held by a local, a string constant or null: it
// must be kept in a GC temporary while the expression runs.
bool value_needs_gc_buffer(Value* v);
void value_mark_decl(Value* v);
bool value_can_fail(Value* v);
// The values a multi-valued Value stands for (not kept on the value).
std::vector<Value*> value_split(Build* b, Value* v);

}  // namespace tesk
