#pragma once
// Stage 2.4: what Stage 1 skipped in the headers of functions, the types of globals and
// the values of enums, read once every type can be resolved.
#include <optional>
#include <string>
#include <string_view>

#include "model/records.h"

namespace tesk {

// The arguments, return types, error names and flags of a function, once. Errors are
// parse errors at the header.
void read_function_types(Func* func);
// The rules of the operator flags ("$to", "$eq", ...): n is the argument count without `this`.
void check_flag_function(Parser* p, Func* func, std::string_view flag, u64 n);
void read_global_type(Global* global);
// Checks the written values of an enum and numbers the items that have none.
void read_enum_values(Enum* en);

// The text under which the documentation shows a default value; nullopt stands for the
// error `complex` (a value that has no short text).
std::optional<std::string> value_doc_text(Value* value);

}  // namespace tesk
