#pragma once
// Small readers that Stage 1 and the class-body reader share: generic name lists and
// the scan of a function header.
#include "model/records.h"
#include "source/records.h"

namespace tesk {

// Reads "T, U:PROP_TYPE]" after a "[" that was already read.
GenericNames* read_generic_names(Parser* p);
// Skips the rest of a function header after the "(" of its argument list (keeping the
// positions of the return type and the body) and skips the body.
void func_scan_header(Func* func, Parser* p);

}  // namespace tesk
