#pragma once
// Lowering of closures, `co` and `await`: closures get a data class and a wrapper
// function; `co` and `await` are written as Tesk source against the runtime's `coro`
// namespace and read back in the generated-code file.
#include <string>
#include <vector>

#include "expr/value.h"
#include "model/records.h"
#include "source/records.h"

namespace tesk {

// --- closures -------------------------------------------------------------------------

// The function whose body scope declares the Decl, searching from the scope outwards
// through parent links; null stands for the error `not_found`.
Func* find_declaring_function(Decl* decl, Scope* scope);
// The Decl the current function uses for a local of an enclosing function: every closure
// between the declaring function and the use gets it as an extra trailing argument.
Decl* capture_outer_variable(Decl* outer, Type* type, Scope* scope);
// The closure value (a core:Closure object seen as a fn Type) of a function value and
// the values it captures (empty: nothing is captured).
Value* value_closure(ParseContext* ctx, Value* func_value, const std::vector<Value*>& captured, Scope* scope);
Value* value_closure_stub(ParseContext* ctx, Value* func_value, Scope* scope);
// The class holding the captured values as "data_0", "data_1", ...; sets each value's
// closure_prop.
Class* closure_data_class(Build* b, Unit* unit, const std::vector<Value*>& captured);
// The wrapper that unpacks the data object and calls the function value; its IR is
// written before this returns. data_class null: nothing is captured.
Func* closure_function(Func* enclosing, Value* func_value, FuncInfo* info, Class* data_class,
                       const std::vector<Value*>& captured);

// --- coroutines -----------------------------------------------------------------------

// `co call`: the start code's value scope, typed by the co Type of the call's signature.
Value* coro_start_template(Parser* p, Scope* scope, Value* call);
// `await v`: the await value scope with its error handler.
Value* coro_await_template(Parser* p, Scope* scope, Value* co_value);

// Template texts (exposed for tests). The entry function text starts just behind the
// "(" of an argument list; the start and await texts are one value scope each. Both
// sides of the argument layout classify by the signature's argument Types.
std::string coro_entry_code(FuncInfo* sig);
std::string coro_start_code(FuncInfo* sig, u64 arg_count);
std::string coro_await_code(const std::vector<Type*>& items);

}  // namespace tesk
