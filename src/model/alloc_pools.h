#pragma once
// Allocator pools: one thread-local gc:Pool global per GC size class and pair of GC
// functions, made the first time a function allocates an instance that needs it.
#include <string>

#include "model/records.h"

namespace tesk {

// The pool that instances of the Type (a class or struct reference, or the value type
// itself) come from; noted in the context function's used pools.
AllocatorPool* allocator_global(ParseContext* ctx, Type* type);
// The item size of the GC size class that holds values of the size.
u64 pool_item_size(u64 size, u64 ptr_size);
// "ALC_" + item size + "__" + props function + "__" + free function ("null" for none).
std::string pool_name(u64 item_size, Func* props_func, Func* free_func);

}  // namespace tesk
