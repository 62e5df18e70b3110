#pragma once
#include <llvm-c/Types.h>

namespace tesk {

// Tells the optimiser that an Array's own fields (length, data) and its elements are
// different memory: the methods of Array tag their accesses to each, so a loop that
// stores elements keeps the length and the element block's address in registers.
// Element blocks are separate allocations and only ever reached through `data`.
void mark_array_accesses(LLVMModuleRef module);

// Tells the optimiser that different properties of objects are different memory:
// objects never overlap, so a property at one offset of an object reference and one
// at another offset of any object reference never meet. Only references read from
// frame slots, fields or elements, or returned by calls count; runtime functions,
// which view raw memory through classes, and raw pointer steps stay untagged.
void mark_property_accesses(LLVMModuleRef module);

}  // namespace tesk
