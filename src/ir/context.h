#pragma once
// The IR context of a unit: the active function and block, numbered blocks, stack
// allocations, temporaries and the fatal IR error.
#include <string>
#include <string_view>

#include "ir/records.h"

namespace tesk {

IrUnit* get_unit_ir(Unit* unit);
void set_active_ir_func(IrUnit* u, IrFunc* f);
void clear_active_ir_func(IrUnit* u);
IrFunc* active_ir_func(IrUnit* u);           // "Missing active func (bug)"
void set_active_ir_block(IrUnit* u, IrBlock* block);
IrBlock* active_ir_block(IrUnit* u);         // "Missing active block (bug)"
TextWriter& active_ir_text(IrUnit* u);       // "Missing active block (bug)"
// A new empty block named prefix + "_" + the function's block counter.
IrBlock* new_ir_block(IrFunc* f, std::string_view prefix);
// "alloca [size x i8], align 8" in the function's "start" block; returns the temporary.
std::string ir_alloca_bytes(IrFunc* f, u64 size);
std::string new_ir_temp(IrUnit* u);          // "Missing IR function"
[[noreturn]] void ir_error(IrUnit* u, std::string_view message);

}  // namespace tesk
