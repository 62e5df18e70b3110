#pragma once
// Instruction writers: each appends one or a few lines to the active block of the unit
// and returns the operand of its result, if it has one.
#include <string>
#include <string_view>
#include <vector>

#include "ir/records.h"

namespace tesk {

// Basic instructions
void ir_comment(IrUnit* u, std::string_view text);
void ir_br(IrUnit* u, IrBlock* target);
void ir_br_cond(IrUnit* u, std::string_view cond, IrBlock* if_true, IrBlock* if_false);
void ir_store(IrUnit* u, std::string_view ptr, std::string_view value, std::string_view type);
std::string ir_load(IrUnit* u, std::string_view ptr, std::string_view type);
void ir_ret(IrUnit* u, std::string_view value, std::string_view type);
void ir_ret_void(IrUnit* u);
std::string ir_gep_bytes(IrUnit* u, std::string_view base, i64 offset);
std::string ir_gep(IrUnit* u, std::string_view base, std::string_view element_type,
                   std::string_view index, std::string_view index_type);

// Calls: returns the result temporary, or "void" for a call without result.
std::string ir_call(IrUnit* u, std::string_view callee, FuncInfo* info, const std::vector<std::string>& args);
std::string ir_extract_value(IrUnit* u, std::string_view aggregate, std::string_view type, i64 index);

// Memory copy and atomic access
void ir_memcpy(IrUnit* u, std::string_view src, std::string_view dst, std::string_view length);
std::string ir_store_atomic(IrUnit* u, std::string_view ptr, std::string_view value, Type* type);
std::string ir_load_atomic(IrUnit* u, std::string_view ptr, Type* type);
// Alignment of an atomic access of the type: its own size. Types that LLVM cannot
// access atomically (bool, inline values, odd sizes) are a build error.
u64 ir_atomic_align(IrUnit* u, Type* type);
// The atomicrmw operation of an operator on a type ("add", "fsub", ...), or null
// when LLVM has none for it; the front end checks atomic operators with it.
const char* atomic_rmw_op(u64 op, Type* type);

// Arithmetic, comparison, short circuit
std::string ir_op(IrUnit* u, std::string_view left, std::string_view right, u64 op, Type* type, u8 atomic);
std::string ir_cmp(IrUnit* u, u64 op, std::string_view left, std::string_view right, Type* type);
std::string ir_and_or(IrUnit* u, u64 op, IrBlock* left_block, std::string_view left, IrBlock* right_start,
                      std::string_view right, IrBlock* right_end);

// Phi nodes and casts
std::string ir_phi(IrUnit* u, std::string_view v1, std::string_view b1, std::string_view v2,
                   std::string_view b2, std::string_view type);
std::string ir_phi_list(IrUnit* u, const std::vector<std::string>& values,
                        const std::vector<std::string>& blocks, std::string_view type);
std::string ir_cast(IrUnit* u, std::string_view value, Type* from, Type* to);

// Store of a GC reference into a property of an object; leaves "after_new_check" active.
std::string ir_write_barrier(IrUnit* u, std::string_view object, std::string_view prop_ptr, std::string_view value);

}  // namespace tesk
