#pragma once
// Assembly of one unit's whole IR file.
#include <string>

#include "ir/records.h"

namespace tesk {

// The unit's IR text: intrinsic declarations, globals, function declarations, string
// constants, then the used functions (identical bodies as aliases). Run once per unit
// after Stage 3.
std::string unit_ir_text(IrUnit* u);
void ir_alias(std::string& w, Func* func, Func* first);
void ir_intrinsics(std::string& w);

}  // namespace tesk
