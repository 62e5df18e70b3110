#pragma once
// The functions the model calls in the layers above it, declared here so that the model
// includes nothing of theirs. Defined in stmt/gc_frame.cpp (the GC frame), lower/tests.cpp
// (the hidden test entry), lower/generated.cpp and lower/props_funcs.cpp.
#include "model/records.h"

namespace tesk {

void layout_gc_slots(Func* func);
void insert_gc_frame(Func* func);
void declare_test_entry(FuncAst* ast);
Func* generated_code_func(Build* b);
Func* class_props_function(Class* cls);

}  // namespace tesk
