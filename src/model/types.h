#pragma once
// Type constructors and the core types of the runtime package. The operations on a
// Type record itself are its member functions (records.h).
#include <string_view>
#include <vector>

#include "model/records.h"

namespace tesk {

Type* new_type(Build* b, u64 kind);
Type* void_type(Build* b);
Type* null_type(Build* b);
Type* none_type(Build* b);
Type* generic_type(Build* b);  // the caller stores the parameter name
Type* fnptr_type(Build* b, FuncInfo* info);
Type* fn_type(Build* b, FuncInfo* info);
Type* array_type(Build* b, Type* sub, u64 count);
// items may be null (no result list written); both are stored, not copied.
Type* co_type(Build* b, std::vector<Type*>* items, ErrorMap* errors);
// Two or more items (or force): a multi; one item: that item; none: a new void.
Type* multi_type(Build* b, const std::vector<Type*>& items, bool force);
Type* error_code_type(Build* b, ErrorMap* errors);
Type* error_value_type(Build* b, std::string_view name, ErrorCode code);
Type* func_pointer_type(Func* func);
FuncInfo* new_func_info(Build* b);
ErrorMap* new_error_map(Build* b);

// Core types of the runtime namespace "type".
Type* core_type(Build* b, std::string_view name);
Type* string_type(Build* b);
Type* int_type(Build* b);
Type* f64_type(Build* b);
Type* ptr_type(Build* b);
Type* number_type(Build* b, u64 size, bool is_float, bool is_signed);

// "Incompatible types. Passing a '...' value to a '...' type" through error_at,
// reported at the chunk when one is given.
void check_type_compat(Type* want, Type* have, ParseContext* ctx, Chunk* chunk);

}  // namespace tesk
