#pragma once
#include <llvm-c/Types.h>

namespace tesk {

// Tells the optimiser that an Array's own fields (length, data) and its elements are
// different memory: the methods of Array tag their accesses to each, so a loop that
// stores elements keeps the length and the element block's address in registers.
// Element blocks are separate allocations and only ever reached through `data`.
void mark_array_accesses(LLVMModuleRef module);

}  // namespace tesk
