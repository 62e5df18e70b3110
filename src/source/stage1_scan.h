#pragma once
// The scan of a function header, shared by Stage 1 and the class-body reader.
#include "model/generics.h"  // read_generic_names
#include "model/records.h"
#include "source/records.h"

namespace tesk {

// Skips the rest of a function header after the "(" of its argument list (keeping the
// positions of the return type and the body) and skips the body.
void func_scan_header(Func* func, Parser* p);

}  // namespace tesk
