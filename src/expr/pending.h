#pragma once
// Services of the statement reader, the lowering and IR generation that expressions call.
// Until those subsystems arrive, each definition (pending.cpp) reports a build error.
#include <vector>

#include "expr/value.h"
#include "model/records.h"
#include "source/records.h"

namespace tesk {

// Statements into the scope's AST: mode 0 up to the closing "}" (consumed), mode 1 one
// statement.
void read_statements(Parser* p, Scope* scope, u64 mode);
// A `match` expression after the keyword.
Value* read_match(Parser* p, Scope* scope);
// The handler after a call of a function that can fail.
Value* read_error_handler(Parser* p, Scope* scope, Value* call, ErrorMap* errors);
// Stage 3.1 and 3.3 of one function.
void parse_function_ast(Func* func);
void build_func_ir(Func* func);
// `co call`, `await v`, `assert(v)`.
Value* coro_start_template(Parser* p, Scope* scope, Value* call);
Value* coro_await_template(Parser* p, Scope* scope, Value* co_value);
Value* read_assert(Parser* p, Scope* scope);
// The closure of an inline function that uses locals of enclosing functions.
Value* value_closure(ParseContext* ctx, Value* func_value, const std::vector<Value*>& captured, Scope* scope);
// A store of the value into the assignable target, appended to the scope (pending_e4.cpp).
void store_value(ParseContext* ctx, Scope* scope, Value* target, Value* value, u8 declare, Chunk* position);
// The Decl the current function uses for a local of an enclosing function.
Decl* capture_outer_variable(Decl* outer, Type* type, Scope* scope);

}  // namespace tesk
