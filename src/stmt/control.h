#pragma once
// Control flow of function bodies: if chains, while and each loops, break and continue,
// throw and cothrow, the error handlers that follow calls of functions that can fail,
// and match.
#include <string>
#include <string_view>
#include <vector>

#include "expr/value.h"
#include "model/records.h"
#include "source/records.h"

namespace tesk {

// --- if, while, break, continue (loops.cpp) ------------------------------------------

// The parser stands after the word `if`; appends one AST_IF (the whole chain).
void read_if(Parser* p, Scope* scope);
// The parser stands after the word `while`; the body is read twice.
void read_while(Parser* p, Scope* scope);
// Nulls the loop's GC locals, records the locals unset on the way and appends AST_BREAK.
void read_break(ParseContext* ctx, Scope* scope);
void read_break_wrapper(Parser* p, Scope* scope);
// Also what every loop body ends with when it does not leave by itself.
void read_continue(Parser* p, Scope* scope);

// --- each (each.cpp) -----------------------------------------------------------------

void read_each(Parser* p, Scope* scope);
// One reading of an each body: makes and fills the loop scope and returns it.
// `length` is the slice length (null for `_next` loops); `unset` the first reading's
// continue facts (null in the first reading).
Scope* build_each_loop(Parser* p, Scope* scope, const std::vector<std::string>& names,
                       const std::vector<Type*>& step_types, const std::vector<Value*>& values, u8 slice,
                       u8 single, Decl* index, Value* length, const std::vector<Decl*>* unset);

// --- throw, cothrow (throw.cpp) ------------------------------------------------------

void read_throw(Parser* p, Scope* scope);
void read_cothrow(Parser* p, Scope* scope);

// --- error handlers on calls (handlers.cpp) ------------------------------------------

// The handler after a call of a function that can fail; gives the Value that replaces
// the call. `errors`: the errors map of the callee's signature.
Value* read_error_handler(Parser* p, Scope* scope, Value* call, ErrorMap* errors);
// A handler or match-case body into `scope`: "{" block or one statement.
Value* read_inline_scope_value(Parser* p, Scope* scope);
// value_mode true ("!?"): handler value or results; false ("!"): run handler on failure.
Value* value_on_error(Value* call, Value* results, Value* handler, u8 value_mode);
// "!!": panics with the message when the call failed; gives the call's results.
Value* panic_on_error(Parser* p, Scope* scope, Value* call, std::string_view message);
// "!>": returns the call's error from the current function; gives the call's results.
Value* pass_error_up(ParseContext* ctx, Scope* scope, Value* call);
// "->": binds the results to names and runs the body when the call succeeded.
Value* read_success_handler(Parser* p, Scope* scope, Value* call);

// --- match (match.cpp) ---------------------------------------------------------------

// The parser stands after the word `match`.
Value* read_match(Parser* p, Scope* scope);
// The bool Value: the match value equals the case value (plain equality, no $eq).
Value* value_match_case(Parser* p, Value* match_value, Value* case_value);

}  // namespace tesk
