#pragma once
#include <llvm-c/Types.h>

namespace tesk {

// Tells the optimiser how large each new class object is: a pool hands out objects
// of its item size (the `ALC_<size>__` global names it), zeroed, 8-byte aligned and
// alive while referenced. Reads of their fields may then move out of loops even
// where a failed check could end the loop first.
void mark_new_objects(LLVMModuleRef module);


// Takes out the copies mark_new_objects made, once the optimiser is done with them.
void drop_object_copies(LLVMModuleRef module);

}  // namespace tesk
