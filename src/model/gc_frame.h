#pragma once
// Function-body work done by the statement and lowering code: GC frame layout and
// insertion, and the hidden local of a test entry.
#include "model/records.h"

namespace tesk {

void layout_gc_slots(Func* func);
void insert_gc_frame(Func* func);
void declare_test_entry(FuncAst* ast);

}  // namespace tesk
