#pragma once
// IR operands of Values: dispatch on the value kind, the memo that writes each Value
// once, and the addresses of values that denote places in memory.
#include <string>

#include "expr/value.h"
#include "ir/records.h"

namespace tesk {

// Writes the IR the value needs into the active block and returns its operand. Only
// the operands it evaluates are memoised, not the value itself.
std::string ir_value(IrUnit* u, Value* value);
// ir_value once per Value; later calls return the first operand. Records the block
// that was active when the operand became available.
std::string ir_value_cached(IrUnit* u, Value* value);
// The pointer operand of a value that denotes a place (local, property, element, global).
std::string ir_assignable(IrUnit* u, Value* value);
std::string ir_assignable_cached(IrUnit* u, Value* value);

// Cases split by file: operands and places (value_ir.cpp), calls, operators, memory and
// aggregates (value_ops.cpp), values that open blocks (value_flow.cpp). Each returns the
// operand of the value whose head ir_value has already written.
std::string ir_value_op(IrUnit* u, Value* value);
std::string ir_value_flow(IrUnit* u, Value* value);

}  // namespace tesk
