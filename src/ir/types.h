#pragma once
// IR type texts and function heads, and the declarations of used functions.
#include <string>
#include <vector>

#include "ir/records.h"

namespace tesk {

std::string ir_type(Type* type);
std::string ir_return_type(const std::vector<Type*>& types);
std::string ir_int_type(u64 size);
std::string ir_float_type(u64 size);
// One parameter: type, " noundef", " nonnull" for a non-nullable pointer, the name.
void ir_param(TextWriter& w, Type* type, std::string_view name);
// declare and with_prefix both set: a whole "declare" line; both clear: the
// parameter part of a definition, from "(" to " {\n".
void ir_func_header(TextWriter& w, Func* func, bool declare, bool with_prefix);
void declare_used_func(IrUnit* u, Func* func);
// Declares the function in the unit when needed; returns "@" + its export name.
std::string ir_func_ref(IrUnit* u, Func* func);

}  // namespace tesk
