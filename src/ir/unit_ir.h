#pragma once
// Assembly of one unit's whole IR file.
#include <string>

#include "ir/records.h"

namespace tesk {

// The unit's IR text: intrinsic declarations, globals, function declarations, string
// constants, then the used functions (identical bodies as aliases). Run once per unit
// after Stage 3.
std::string unit_ir_text(IrUnit* u);
// After unit_ir_text: gives back the functions' IR texts (and the alias map viewing
// them), which nothing reads once the unit's text is assembled.
void release_function_texts(IrUnit* u);
void ir_alias(std::string& w, Func* func, Func* first);
void ir_intrinsics(std::string& w);

}  // namespace tesk
