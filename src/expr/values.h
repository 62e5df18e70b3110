#pragma once
// Constructors of Value nodes, implicit conversion, number balancing, math operators
// and string-literal values. Every constructor makes a new Value in the arena of the
// Build named by its arguments (or by the Type / record it is given).
#include <string_view>
#include <vector>

#include "expr/value.h"
#include "model/records.h"

namespace tesk {

// --- Value constructors -------------------------------------------------------------

// VAL_FUNC typed by a new fnptr Type carrying the function's signature.
Value* value_func(Func* func);
Value* value_string(Build* b, StringConst* sc);
// Marks the Decl used.
Value* value_decl(Decl* decl);
// Typed by the property's Type, immutable when read through an immutable object.
Value* value_prop(Property* prop, Value* object);
Value* value_int(u64 number, Type* type);
Value* value_return_value(Value* multi, u64 index, Type* type);
Value* value_memcpy(Build* b, Value* dest, Value* src, Value* count);
Value* value_math(Value* left, Value* right, u64 op, Type* type);
Value* value_compare(Value* left, Value* right, u64 op, Type* type);
// Also combines the narrowing lists of both operands.
Value* value_and_or(Value* left, Value* right, u64 op, Type* type);
Value* value_atomic(Value* target, Value* value, u64 op);
Value* value_atomic_store(Value* target, Value* value);
Value* value_atomic_load(Value* target);
Value* value_ptrv(Value* pointer, Type* element, Value* index);
// element null: u8.
Value* value_ptr_offset(Value* pointer, Value* offset, Type* element);
Value* value_incr(Value* target, u8 prefix);
Value* value_decr(Value* target, u8 prefix);
Value* value_bool(Build* b, u8 flag);
Value* value_cast(Value* value, Type* type);
Value* value_not(Value* value);
// "Missing global type (bug). Name: " when the Global's Type is not read yet.
Value* value_global(Global* global);
// Pointer-like Types become their nullable variant.
Value* value_null(Type* type);
Value* value_null_plain(Type* type);
// Zero value of the Type; null for void.
Value* value_default(Type* type);
Value* value_undefined(Build* b);
Value* value_stack_alloc(Build* b, u64 bytes);
Value* value_this_or_that(Value* cond, Value* when_true, Value* when_false, Type* type);
// One value without force: that value itself.
Value* value_group(Build* b, const std::vector<Value*>& values, u8 force);
Value* value_value_scope(Scope* scope, Value* phi);
Value* value_setjmp(Build* b, Value* buffer);
Value* value_longjmp(Build* b, Value* buffer);
Value* value_symbol(std::string_view name, Type* type);
Value* value_assign(Value* target, Value* value);
// The same operand, to be given another Type by the caller.
Value* value_copy(Value* value);
// The same with a value that is evaluated first (given first, as pre_value).
Value* value_copy(Value* pre_value, Value* value);
Value* value_cond(Value* cond, Value* value);
// True when the call failed: its error code != 0. "Missing error code value (bug)".
Value* value_error_check(Build* b, Value* call);
Value* value_inline_scope(Scope* scope, Type* type);
Value* value_phi(const std::vector<Value*>& values, Type* type);
// "Trying to get reference from non-assignable value" for other kinds.
Value* value_reference(ParseContext* ctx, Value* value, u8 stable);
// A load of the inline struct, class or array a pointer points to; else the value.
Value* value_load_inline(Value* value);

// --- Implicit conversion and call results -------------------------------------------

// Never reports incompatible Types: callers check Type.compat afterwards.
Value* convert_value(Value* value, ParseContext* ctx, Scope* scope, Type* want);
// The declared results of a call that can fail, without error code and message.
Value* call_result_values(Value* call);

// --- Numbers and math operators -----------------------------------------------------

// Brings two number operands to one Type; other operands come back as they are.
void balance_number_types(Build* b, Value*& left, Value*& right);
// Arithmetic, shift and bit operators: `$add` calls, pointer offsets, folded
// constants or VAL_MATH.
Value* math_op_value(Parser* p, Scope* scope, u64 op, Value* left, Value* right);

// --- String literals ----------------------------------------------------------------

// A VAL_STRING of the unit's constant for the text, noted as used by the function.
Value* value_string_literal(std::string_view text, ParseContext* ctx);

}  // namespace tesk
