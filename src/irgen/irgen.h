#pragma once
// IR of one function (Stage 3.3) and of its statement lists.
#include <string>
#include <vector>

#include "ir/records.h"
#include "stmt/ast.h"
#include "util/fwd.h"

namespace tesk {

// Stage 3.3 of the function: writes its body and sets Func.ir_text; nothing is left
// active in the unit's IR context afterwards.
void build_func_ir(Func* func);
// Makes the function active, writes its statements and joins its blocks.
void ir_write_func(IrFunc* f);
// The function text from "(" to the closing "}" and blank line, kept in the unit's
// store until the unit is assembled.
std::string_view ir_join_blocks(IrFunc* f);

// Writes the nodes in order into the active block, moving it as control flow demands.
void ir_statements(IrUnit* u, std::vector<AstNode*>& nodes);
// Loops and branches; afterwards their after-block is active.
void ir_while(IrUnit* u, Value* cond, Scope* body);
void ir_each(IrUnit* u, Scope* body);
void ir_if(IrUnit* u, Value* cond, Scope* then_scope, Scope* else_scope);

}  // namespace tesk
